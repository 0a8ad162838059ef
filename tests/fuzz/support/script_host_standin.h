// The stand-in host of the fuzz targets that run whole scripts: MQSC commands are
// recorded with a made-up outcome, foreach gets a few canned DISPLAY records, print,
// fprint and wait run as the dispatcher runs them, `<@var>` groups are substituted as the
// dispatcher does, and =import runs with its file mapped into the scratch folder; other
// local commands are only recorded. And the run of a text as the main input of file mode.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "../support/fuzz_standins.h"
#include "context/context.h"
#include "context/response_record.h"
#include "context/status.h"
#include "driver/host_wiring.h"
#include "driver/input_lines.h"
#include "driver/local_handlers.h"
#include "runtime/scan.h"
#include "script/executor.h"
#include "script/import.h"
#include "script/script_host.h"
#include "script/script_state.h"

namespace kvarn::fuzz {

// What reached the host, for nothing but to exist.
inline std::vector<std::string>& issuedCommands() {
  static std::vector<std::string> issued;
  return issued;
}

// A few records of the shape the driver keeps for a DISPLAY: the record's first line
// and its attribute lines joined by '\n'.
inline std::vector<ResponseRecord> cannedRecords(std::string_view command) {
  static const ResponseRecord kRecords[] = {
      {"AMQ8409I: Display Queue details.\n   QUEUE(APP.IN)                           TYPE(QLOCAL)\n"
       "   CURDEPTH(12)                            MAXDEPTH(5000)\n   DESCR(Inbound (orders))                 "
       "QTIME( , )",
       "", false},
      {"AMQ8409I: Display Queue details.\n   QUEUE(APP.OUT)                          TYPE(QLOCAL)\n"
       "   CURDEPTH(0)                             MAXDEPTH(999999999)\n   QTIME(10,20)",
       "QM2", false},
      {"AMQ8414I: Display Channel details.\n   CHANNEL(TO.QM2)                         CHLTYPE(SDR)\n"
       "   CONNAME(host(1414))                     XMITQ(QM2)",
       "", false},
  };
  size_t n = command.size() % 4;  // 0 to 3 records, depending on the command
  return std::vector<ResponseRecord>(kRecords, kRecords + n);
}

inline bool standinParseImport(ProgramContext& ctx, std::string_view text, script::ImportRequest& request) {
  if (!parseImportCommand(ctx, text, request)) return false;
  if (!scanTrim(request.file).empty()) request.file = scratchPath(scanTrim(request.file));
  return true;
}

inline void standinIssueCommand(ProgramContext& ctx, std::string_view text) {
  using namespace script;
  std::string command(scanTrim(text));
  if (command.empty()) return;
  if (cmdRunSubstituted(ctx, command)) return;
  if (issuedCommands().size() < 64) issuedCommands().push_back(command);
  if (command[0] == '=') {
    ImportRequest request;
    if (standinParseImport(ctx, command, request)) cmdImportCommand(ctx, request);
    return;
  }
  size_t end = 0;
  while (end < command.size() && !isScanSpace(command[end]) && command[end] != '(') ++end;
  std::string_view word(command.data(), end);
  if (scanEqualsNoCase(word, "print") || scanEqualsNoCase(word, "fprint"))
    return cmdRunPrint(ctx, command, word.size() == 6);
  if (scanEqualsNoCase(word, "wait")) return cmdRunWait(ctx, command);
  // An MQSC command: it succeeds or fails by its length, and a DISPLAY leaves its
  // first record as the one attributes are read from.
  ScriptState& state = scriptState(ctx);
  LatestCommand& latest = state.latestCommand;
  latest.recorded = true;
  latest.succeeded = command.size() % 3 != 0;
  latest.responses = latest.succeeded ? 1 : 0;
  latest.responseText.clear();
  latest.responseText.append(latest.succeeded ? "AMQ8006I: IBM MQ queue created." : "AMQ8405I: Syntax error detected.");
  if (!latest.succeeded) ctx.statusFlags |= kStatusCommandFailed;
  std::vector<ResponseRecord> records = cannedRecords(command);
  if (scanEqualsNoCase(word, "dis") || scanEqualsNoCase(word, "display")) {
    if (records.empty()) state.lastDisplayed.reset();
    else state.lastDisplayed = records.back();
  }
}

inline bool standinCollectRecords(ProgramContext& ctx, std::string_view command, std::vector<ResponseRecord>& records) {
  if (command.size() % 7 == 6) {  // a command that failed
    addError(ctx, "AMQ8147: IBM MQ object not found.");
    return false;
  }
  records = cannedRecords(command);
  return true;
}

// Installs the stand-in host once per process, over the driver's wiring.
inline void installStandinScriptHost() {
  static const bool done = [] {
    ProgramContext scratch;
    wireRooms(scratch);
    script::ScriptHost host = script::scriptHost();
    host.issueCommand = standinIssueCommand;
    host.collectRecords = standinCollectRecords;
    host.parseImport = standinParseImport;
    host.ensureConnected = nullptr;
    script::scriptSetHost(std::move(host));
    neuterScriptFunctions();
    return true;
  }();
  (void)done;
}

// Runs `text` as the main input of a context made by prepareFileModeContext, statements
// echoed as file mode echoes them with its echo switches on (or not echoed, `echo` false).
inline void runMainText(ProgramContext& ctx, std::string& text, bool echo = true) {
  InputSource& main = *ctx.mainInput;
  main.echo.lang = echo;
  main.echo.func = echo;
  ctx.input = &main;
  if (text.empty()) return;
  main.stream = fmemopen(text.data(), text.size(), "r");
  if (!main.stream) return;
  main.ownsStream = true;
  main.readLine = readFileLine;
  script::cmdRunSource(ctx, main);
}

}  // namespace kvarn::fuzz
