// Stand-ins shared by the fuzz targets that run whole scripts and local commands: a
// per-process scratch folder that every file name is mapped into, the input split into
// a main text and importable files, a statement budget, and script functions that would
// reach the outside world (SYSTEM, FOPEN, WAIT, GETKEY) replaced by harmless ones.
#pragma once

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../support/scratch_folder.h"
#include "context/context.h"
#include "context/output.h"
#include "script/functions.h"
#include "script/lib_support.h"
#include "script/script_state.h"

namespace kvarn::fuzz {

// ---- scratch folder ---------------------------------------------------------------------

// Any name a script or command gives becomes one plain file name inside the scratch
// folder: no separators, no "." or "..", no home-folder expansion.
inline std::string scratchPath(std::string_view name) {
  std::string safe;
  for (char c : name.substr(0, 48))
    safe += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_') ? c : '_';
  if (safe.empty() || safe[0] == '.') safe.insert(0, 1, '_');
  return scratchDir() + "/" + safe;
}

// Where the run's output goes: nowhere, or standard output when KVARN_FUZZ_SHOW is set
// (for looking at what an input does).
inline FILE* shownOutput() {
  static FILE* out = std::getenv("KVARN_FUZZ_SHOW") ? stdout : nullptr;
  return out;
}

// ---- the input --------------------------------------------------------------------------

// The input is a main text and files: a line "--- NAME" starts the file NAME.
struct SplitInput {
  std::string main;
  std::vector<std::pair<std::string, std::string>> files;
};

inline SplitInput splitInput(std::string_view text) {
  SplitInput out;
  std::string* into = &out.main;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
    std::string_view line = text.substr(pos, end - pos);
    if (line.substr(0, 4) == "--- " && out.files.size() < 8) {
      std::string_view name = line.substr(4);
      while (!name.empty() && (name.back() == '\n' || name.back() == '\r' || name.back() == ' ')) name.remove_suffix(1);
      out.files.emplace_back(std::string(name), std::string());
      into = &out.files.back().second;
    } else {
      into->append(line);
    }
    pos = end;
  }
  return out;
}

inline void writeScratchFiles(const SplitInput& input) {
  for (const auto& [name, text] : input.files) std::ofstream(scratchPath(name), std::ios::binary) << text;
}

// ---- statement budget -------------------------------------------------------------------

// A script may loop for ever: the run quits after this many statements.
constexpr int kStatementBudget = 1000;

// A context set up as file mode sets it up, with no connection made at start-up and
// output written to `out` (by default shown only when the target is asked to show it);
// false when its locks fail.
inline bool prepareFileModeContext(ProgramContext& ctx, FILE* out = shownOutput()) {
  ctx.mode |= kModeFile;
  ctx.startupState = 0;
  ctx.implicitConnect = false;
  ctx.defaultFilePath = scratchDir();
  if (!ctx.consoleLock.create() || !ctx.displayLock.create()) return false;
  ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, out, out);
  ctx.mainInput = std::make_unique<InputSource>();
  return true;
}

inline void setStatementBudget(ProgramContext& ctx) {
  script::scriptState(ctx).statementHook = [left = kStatementBudget](ProgramContext& c, script::CommandNode&,
                                                                     script::HookEvent event) mutable {
    if (event == script::HookEvent::Statement && --left <= 0) c.quit = true;
  };
}

// ---- functions that reach the outside world ---------------------------------------------

namespace standin {

using namespace script;

// SYSTEM: the argument checks, never a command.
inline bool system(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (a.empty() || a.size() > 2) {
    ctx.setError("Function system() accepts one or two parameters");
    return false;
  }
  r.setInt(1);
  return true;
}

// WAIT and GETKEY end at once, as if the time ran out with no key.
inline bool wait(ExprContext&, std::span<Value>, Value& r) {
  r.setInt(1);
  return true;
}
inline bool getkey(ExprContext&, std::span<Value>, Value& r) {
  r.setInt(0);
  return true;
}

// FOPEN: reading opens the file of that name in the scratch folder; writing goes to a
// small memory buffer, so that a write past its end fails the way a full disk does.
inline bool fopen(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (ctx.checkMode()) {
    r.setInt(kFirstFileId);
    return true;
  }
  if (!a[0].isString() || !a[1].isString()) {
    ctx.setError("Function FOPEN() only accepts strings as arguments");
    return false;
  }
  ProgramContext* p = lib::needProgram(ctx, "FOPEN");
  if (!p) return false;
  ScriptState& state = scriptState(*p);
  r.setInt(-1);
  std::string name(a[0].bytes()), mode(a[1].bytes());
  bool validMode = !mode.empty() && mode.size() <= 4 && (mode[0] == 'r' || mode[0] == 'w' || mode[0] == 'a') &&
                   mode.find_first_not_of("+bx", 1) == std::string::npos;
  if (name.empty() || name.find('\0') != std::string::npos || !validMode) {
    state.lastErrno = EINVAL;
    return true;
  }
  bool readOnly = mode[0] == 'r' && mode.find('+') == std::string::npos;
  FILE* f = readOnly ? std::fopen(scratchPath(name).c_str(), "r") : fmemopen(nullptr, 4096, "w+");
  if (!f) {
    state.lastErrno = errno;
    return true;
  }
  r.setInt(state.addFile(f, name));
  return true;
}

}  // namespace standin

// Replaces the handlers of the script function table's outside-world rows. The rows
// live in the table's own vector, so they may be changed in place before any script runs.
inline void neuterScriptFunctions() {
  static const bool done = [] {
    for (const script::OperatorDef& row : script::scriptFunctionTable().rows()) {
      auto& r = const_cast<script::OperatorDef&>(row);
      if (r.name == "SYSTEM") r.handler = standin::system;
      else if (r.name == "FOPEN") r.handler = standin::fopen;
      else if (r.name == "WAIT") r.handler = standin::wait;
      else if (r.name == "GETKEY") r.handler = standin::getkey;
    }
    return true;
  }();
  (void)done;
}

}  // namespace kvarn::fuzz
