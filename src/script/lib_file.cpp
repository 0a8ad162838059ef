// Files opened by scripts: FOPEN, FGETS, FCLOSE. Identifiers count from 100 for the
// whole run; every file still open is closed at the end of the run.
#include <sys/stat.h>

#include <cerrno>

#include "script/functions.h"
#include "script/lib_support.h"
#include "script/variables.h"
#include "text/text.h"

namespace kvarn::script {

namespace {

using namespace lib;

constexpr size_t kMaxLine = 20000;

// C library mode texts: r, w or a, then any of '+', 'b', 'x'.
bool validMode(std::string_view mode) {
  if (mode.empty() || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) return false;
  return mode.substr(1).find_first_not_of("+bx") == std::string_view::npos && mode.size() <= 4;
}

bool fopenFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (ctx.checkMode()) {
    r.setInt(kFirstFileId);
    return true;
  }
  if (!a[0].isString() || !a[1].isString()) {
    ctx.setError("Function FOPEN() only accepts strings as arguments");
    return false;
  }
  ProgramContext* p = needProgram(ctx, "FOPEN");
  if (!p) return false;
  ScriptState& state = scriptState(*p);
  r.setInt(-1);
  std::string name(a[0].bytes()), mode(a[1].bytes());
  if (name.empty() || name.find('\0') != std::string::npos || !validMode(mode)) {
    state.lastErrno = EINVAL;
    return true;
  }
  // Close-on-exec, so commands started by SYSTEM() do not inherit the script's files.
  FILE* f = std::fopen(name.c_str(), (mode + "e").c_str());
  if (!f) {
    state.lastErrno = errno;
    return true;
  }
  struct stat st {};
  if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {  // Linux opens directories for reading
    std::fclose(f);
    state.lastErrno = EISDIR;
    return true;
  }
  r.setInt(state.addFile(f, name));
  return true;
}

bool fgetsFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (ctx.checkMode()) {
    r.setInt(0);
    return true;
  }
  ProgramContext* p = needProgram(ctx, "FGETS");
  if (!p) return false;
  ScriptState& state = scriptState(*p);
  int id = static_cast<int>(intArg(a[0]));
  ScriptFile* file = state.file(id);
  if (!file) {
    reportError(ctx, strFormat("File Identifier %d is not an open file", id));
    r.setInt(-2);
    return true;
  }
  std::string line;
  int c = 0;
  while (line.size() < kMaxLine && (c = std::getc(file->stream)) != EOF && c != '\n') line += static_cast<char>(c);
  if (c == EOF && line.empty()) {
    if (std::ferror(file->stream)) {
      state.lastErrno = errno;
      std::clearerr(file->stream);
      r.setInt(-2);
    } else {
      r.setInt(-1);
    }
    return true;
  }
  if (!isUserKey(a[1])) {
    reportError(ctx, "fgets() can not assign variable");
    r.setInt(-2);
    return true;
  }
  Value v = Value::view(line);
  if (!state.variables.set(a[1].bytes(), false, &v)) {
    reportError(ctx, "fgets() can not assign variable");
    r.setInt(-2);
    return true;
  }
  r.setInt(static_cast<int64_t>(line.size()));
  return true;
}

bool fcloseFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (ctx.checkMode()) {
    r.setInt(1);
    return true;
  }
  ProgramContext* p = needProgram(ctx, "FCLOSE");
  if (!p) return false;
  ScriptState& state = scriptState(*p);
  int id = static_cast<int>(intArg(a[0]));
  for (auto it = state.files.begin(); it != state.files.end(); ++it) {
    if (it->id != id) continue;
    // A close that could not write the file's text is a failure the script must see.
    int error = it->close();
    std::string failure = error ? fileCloseFailure(*it, error) : std::string();
    state.files.erase(it);
    if (error) {
      state.lastErrno = error;
      reportError(ctx, failure);
    }
    r.setInt(error ? 0 : 1);
    return true;
  }
  reportError(ctx, strFormat("fclose() issued against unopen fileid %d", id));
  r.setInt(0);
  return true;
}

constexpr OperatorDef kRows[] = {
    functionRow("FOPEN", 2, fopenFn),
    functionRow("FGETS", 2, fgetsFn, kSecondParamIsVariable),
    functionRow("FCLOSE", 1, fcloseFn),
};

}  // namespace

std::span<const OperatorDef> fileFunctionRows() { return kRows; }

}  // namespace kvarn::script
