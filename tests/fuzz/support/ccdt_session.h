// Shared by the two channel-table fuzz targets: runs a sequence of CCDT-mode commands
// against a table file made from the input, then checks what the mode left on disk.
//
// The input is a table image, optionally followed by commands and by a second table:
//
//   <table image>
//   %%commands
//   DEFINE CHANNEL(A) CHLTYPE(CLNTCONN) CONNAME('h(1)')
//   =merge json * replace
//   %%source
//   <image of the table =merge reads>
//
// An input starting with "%%commands\n" has no table file at all (the mode creates
// it). Command lines are MQSC commands for the mode, or one of these:
//   =merge SOURCE [PATTERN] [replace]   SOURCE: self (the table itself), json (the
//                                        source image as a JSON table), tab (as a binary
//                                        table), anything else a missing file
//   =ccdt [VERSION]                      enters the mode again on the same table, with
//                                        the version setting (0 to 12) when given
//   =jsonfields N                        the jsonfields setting (1 all, 2 min, 3 date)
//   =save                                writes pending changes now
//   =external                            another program replaces the table file with
//                                        the source image
//
// Whenever the mode has written the table, it must read back through the storage layer
// (a table that was not read whole must not have been written at all); after the run
// it must hold what the mode held, and changes kept aside must read too. A failed
// check aborts, so that the fuzzer keeps the input.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../support/scratch_folder.h"
#include "ccdt/binary_table.h"
#include "ccdt/file_io.h"
#include "ccdt/json_table.h"
#include "ccdt/status.h"
#include "ccdtmode/ccdt_mode.h"
#include "context/context.h"
#include "context/output.h"
#include "mqsc/command_record.h"

namespace kvarn::fuzz::ccdt {

using namespace kvarn::ccdt;

// A run stays short: the smoke pass replays thousands of inputs.
inline constexpr size_t kMaxCommandLines = 48;
inline constexpr size_t kMaxLineLength = 2048;

// ---- scratch folder ---------------------------------------------------------------------

inline std::string scratchPath(std::string_view name) { return scratchDir() + "/" + std::string(name); }

inline void writeFile(const std::string &path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The file's bytes, or nullopt when it does not exist.
inline std::optional<std::string> fileBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- the input --------------------------------------------------------------------------

struct SessionInput {
  std::string_view table;
  bool tableExists = true;
  std::vector<std::string> commands;
  bool hasSource = false;
  std::string_view source;
};

inline SessionInput splitSession(std::string_view input) {
  static constexpr std::string_view kCommands = "%%commands\n";
  static constexpr std::string_view kSource = "\n%%source\n";
  SessionInput out;
  std::string_view commands;
  if (input.starts_with(kCommands)) {
    out.tableExists = false;
    commands = input.substr(kCommands.size());
  } else if (size_t at = input.find("\n" + std::string(kCommands)); at != std::string_view::npos) {
    out.table = input.substr(0, at);
    commands = input.substr(at + 1 + kCommands.size());
  } else {
    out.table = input;
    return out;
  }
  if (size_t at = commands.find(kSource); at != std::string_view::npos) {
    out.hasSource = true;
    out.source = commands.substr(at + kSource.size());
    commands = commands.substr(0, at);
  }
  size_t pos = 0;
  while (pos < commands.size() && out.commands.size() < kMaxCommandLines) {
    size_t nl = commands.find('\n', pos);
    size_t end = nl == std::string_view::npos ? commands.size() : nl;
    std::string_view line = commands.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) out.commands.emplace_back(line.substr(0, kMaxLineLength));
    pos = end + 1;
  }
  return out;
}

// Words of a harness line, blank-separated.
inline std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    size_t start = pos;
    while (pos < line.size() && line[pos] != ' ') ++pos;
    if (pos > start) out.push_back(line.substr(start, pos - start));
  }
  return out;
}

// ---- failing ----------------------------------------------------------------------------

[[noreturn]] inline void fail(const char *what, const std::string &detail = {}) {
  std::fprintf(stderr, "ccdt session check failed: %s\n%s\n", what, detail.c_str());
  std::abort();
}

// ---- what a table holds -----------------------------------------------------------------

// A binary table read the way the mode reads it: the channels in key order (a record
// that cannot be decoded stands as its error code and message), then the
// authentication-information records.
struct BinaryContents {
  int openRc = kOk;
  std::string openMessage;
  std::vector<std::pair<int, ChannelDefinition>> channels;
  std::vector<std::string> problems;
  int crlRc = kOk, ocspRc = kOk;
  CrlList crl;
  OcspList ocsp;
  bool clean() const { return openRc == kOk && problems.empty() && crlRc == kOk && ocspRc == kOk; }
};

inline void readBinaryContents(BinaryTable &table, BinaryContents &out) {
  table.rewind();
  std::string message;
  for (size_t guard = 0; guard < 100000; ++guard) {
    ChannelDefinition def;
    int rc = table.readNextChannel(def, message);
    if (rc == kErrEndOfList) break;
    if (rc != kOk) {
      out.problems.push_back(message);
      out.channels.emplace_back(rc, ChannelDefinition{});
    } else {
      out.channels.emplace_back(rc, std::move(def));
    }
  }
  out.crlRc = table.readCrl(out.crl, message);
  out.ocspRc = table.readOcsp(out.ocsp, message);
}

inline BinaryContents binaryFileContents(const std::string &path) {
  BinaryContents out;
  std::unique_ptr<BinaryTable> table;
  out.openRc = BinaryTable::open(path, BinaryTable::Mode::Read, table, out.openMessage);
  if (out.openRc != kOk) return out;
  readBinaryContents(*table, out);
  std::string ignored;
  table->close(ignored);
  return out;
}

inline bool sameCrl(const CrlList &a, const CrlList &b) {
  return a.description == b.description && a.alterTime == b.alterTime && a.entries == b.entries;
}
inline bool sameOcsp(const OcspList &a, const OcspList &b) {
  return a.description == b.description && a.alterTime == b.alterTime && a.urls == b.urls;
}

inline bool sameContents(const BinaryContents &a, const BinaryContents &b) {
  return a.channels == b.channels && a.crlRc == b.crlRc && a.ocspRc == b.ocspRc && sameCrl(a.crl, b.crl) &&
         sameOcsp(a.ocsp, b.ocsp);
}

// Reader messages that mean a JSON table was not read whole: the mode then refuses to
// change it. A warning (an escape the reader could not take) does not stop the mode,
// but a table the mode wrote itself never deserves one.
inline bool isJsonReadProblem(const std::string &line) {
  return line.starts_with("At line ") || line.find("does not appear to") != std::string::npos ||
         line.starts_with("No storage");
}
inline bool isJsonWarning(const std::string &line) { return line.starts_with("Warning"); }

inline std::string joined(const std::vector<std::string> &lines) {
  std::string out;
  for (const std::string &l : lines) out += l + "\n";
  return out;
}

// ---- the run ----------------------------------------------------------------------------

inline void issue(ProgramContext &ctx, const std::string &line) {
  std::shared_ptr<CommandRecord> record = openCommandRecord(ctx, line, RecordKind::UserCommand);
  if (record->commandText.empty()) return;
  cslIssueCcdtCommand(ctx, *record);
  if (!record->complete()) fail("command record left incomplete", line);
}

inline void runHarnessLine(ProgramContext &ctx, TableForm form, const std::string &tablePath,
                           const std::vector<std::string_view> &w) {
  if (w[0] == "=merge") {
    std::string_view which = w.size() > 1 ? w[1] : "self";
    std::string source = which == "self"   ? tablePath
                         : which == "json" ? scratchPath("source.json")
                         : which == "tab"  ? scratchPath("source.tab")
                                           : scratchPath("missing.tab");
    std::string_view pattern = w.size() > 2 ? w[2] : "*";
    bool replace = w.size() > 3 && (w[3] == "replace" || w[3] == "REPLACE");
    ccdtMerge(ctx, source, pattern, replace);
  } else if (w[0] == "=ccdt") {
    std::optional<int> version;
    if (w.size() > 1) version = (std::atoi(std::string(w[1].substr(0, 3)).c_str()) % 13 + 13) % 13;
    enterCcdtMode(ctx, form, tablePath, version);
  } else if (w[0] == "=jsonfields") {
    if (w.size() > 1)
      ctx.settings.jsonfields = 1 + ((std::atoi(std::string(w[1].substr(0, 3)).c_str()) - 1) % 3 + 3) % 3;
  } else if (w[0] == "=save") {
    saveCcdtTable(ctx);
  }
}

// Before the mode is left: once its pending changes are written, the file holds what
// the mode holds, unless another program changed it after the mode last looked.
inline void checkHeldAgainstFile(ProgramContext &ctx, TableForm form, bool changedOutside) {
  CcdtModeState &state = ccdtModeOf(ctx);
  if (!saveCcdtTable(ctx) || state.dirty || !state.loaded) return;
  if (fileStamp(state.path) != state.stamp) {
    if (changedOutside) return;
    fail("the mode takes the table it wrote itself for another program's", state.path);
  }
  if (form == TableForm::Json) {
    if (!state.damage.empty()) return;
    // The file is the table held as last written, or (written with another jsonfields
    // setting, or never) holds the same channels; altered times aside.
    std::optional<std::string> text = fileBytes(state.path);
    if (text && *text == state.json.render(static_cast<JsonFields>(ctx.settings.jsonfields))) return;
    JsonTable onDisk;
    std::vector<std::string> messages;
    if (text) onDisk.readText(*text, state.path, 0, messages);
    std::string held = state.json.render(JsonFields::Min);
    if (onDisk.render(JsonFields::Min) != held)
      fail("the JSON file differs from the table held after saving", held + "\n----\n" + text.value_or("(none)"));
    return;
  }
  if (!state.binary) return;
  BinaryContents held;
  readBinaryContents(*state.binary, held);
  BinaryContents onDisk = binaryFileContents(state.path);
  if (onDisk.openRc != kOk) fail("the saved binary table does not open", onDisk.openMessage);
  if (!sameContents(held, onDisk)) fail("the binary file differs from the table held after saving", state.path);
}

// The table file as it was last put there from outside the mode, and whether the
// storage layer read it without a problem.
struct Baseline {
  std::optional<std::string> bytes;
  bool readable = true;
};

inline Baseline baselineOf(TableForm form, const std::string &path) {
  Baseline b;
  b.bytes = fileBytes(path);
  if (!b.bytes) return b;
  if (form == TableForm::Binary) {
    b.readable = binaryFileContents(path).clean();
    return b;
  }
  JsonTable table;
  std::vector<std::string> messages;
  if (table.read(path, false, messages) != kOk) b.readable = false;
  for (const std::string &m : messages)
    if (isJsonReadProblem(m)) b.readable = false;
  return b;
}

// Reads a JSON table the mode wrote: false with the reader's messages when it was not
// read whole.
inline bool jsonReadsBack(const std::string &path, std::string &messages) {
  JsonTable back;
  std::vector<std::string> lines;
  int rc = back.read(path, false, lines);
  messages = joined(lines);
  if (rc != kOk) return false;
  for (const std::string &m : lines)
    if (isJsonReadProblem(m) || isJsonWarning(m)) return false;
  return true;
}

// A table the mode changed reads back through the storage layer; one that was not
// read whole was not changed at all. `checked` is the file as last checked.
inline void checkWritten(TableForm form, const std::string &path, const Baseline &baseline,
                         std::optional<std::string> &checked) {
  std::optional<std::string> now = fileBytes(path);
  if (now == checked) return;
  checked = now;
  if (!now || now == baseline.bytes) return;
  if (baseline.bytes && !baseline.readable && form == TableForm::Json)
    fail("a JSON table read with errors was written over", *baseline.bytes + "\n----\n" + *now);
  if (form == TableForm::Binary) {
    BinaryContents back = binaryFileContents(path);
    if (back.openRc != kOk) fail("the written binary table does not open", back.openMessage);
    if (baseline.readable && !back.clean())
      fail("the written binary table has records that do not read", joined(back.problems));
    return;
  }
  std::string messages;
  if (!jsonReadsBack(path, messages)) fail("the written JSON table does not read back", messages + *now);
}

// Enters CCDT mode on the table (written to the scratch folder unless the input has
// none), runs the commands, saves and leaves, then checks the files left behind.
//
// "=external" stands for another program: it puts the source image in place of the
// table file (a new file renamed over it), which the mode must notice.
inline void runSession(TableForm form, std::string_view input) {
  clearScratch();
  SessionInput in = splitSession(input);
  const std::string tablePath = scratchPath(form == TableForm::Json ? "table.json" : "table.tab");
  if (in.tableExists) writeFile(tablePath, in.table);
  if (in.hasSource) {
    writeFile(scratchPath("source.json"), in.source);
    writeFile(scratchPath("source.tab"), in.source);
  }
  Baseline baseline = baselineOf(form, tablePath);
  std::optional<std::string> checked = baseline.bytes;
  bool changedOutside = false;

  {
    ProgramContext ctx;
    ctx.mode |= kModeFile;
    ctx.startupState = 0;
    ctx.implicitConnect = false;
    if (!ctx.consoleLock.create() || !ctx.displayLock.create()) return;
    static FILE *shown = std::getenv("KVARN_FUZZ_SHOW") ? stdout : nullptr;
    ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, shown, shown);

    enterCcdtMode(ctx, form, tablePath, std::nullopt);
    for (const std::string &line : in.commands) {
      std::vector<std::string_view> w = words(line);
      if (w.empty()) continue;
      if (w[0] == "=external") {
        const std::string replacement = scratchPath("external");
        writeFile(replacement, in.source);
        std::filesystem::rename(replacement, tablePath);
        baseline = baselineOf(form, tablePath);
        checked = baseline.bytes;
        changedOutside = true;
      } else if (w[0].starts_with("=")) {
        runHarnessLine(ctx, form, tablePath, w);
      } else {
        issue(ctx, line);
      }
      // Every state the file passes through must hold, not only the last.
      checkWritten(form, tablePath, baseline, checked);
    }
    checkHeldAgainstFile(ctx, form, changedOutside);
    leaveCcdtMode(ctx);
    if (inCcdtMode(ctx)) fail("still in CCDT mode after leaving it");
  }

  // Changes kept aside from a table another program had changed are readable too.
  const std::string aside = tablePath + ".unsaved";
  if (fileBytes(aside)) {
    std::string messages;
    if (form == TableForm::Binary) {
      BinaryContents kept = binaryFileContents(aside);
      if (kept.openRc != kOk) fail("the changes kept aside do not open", kept.openMessage);
    } else if (!jsonReadsBack(aside, messages)) {
      fail("the changes kept aside do not read back", messages);
    }
  }

  checkWritten(form, tablePath, baseline, checked);
}

}  // namespace kvarn::fuzz::ccdt
