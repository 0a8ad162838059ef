// Runs arbitrary script text through the real compiler and executor in file mode.
// The input is the command file; lines "--- NAME" start files it may =import (they
// live in a scratch folder). The host is a stand-in: MQSC commands are recorded with a
// made-up outcome, foreach gets a few canned DISPLAY records, print, fprint and wait
// run as the dispatcher runs them, `<@var>` groups are substituted as the dispatcher
// does, and =import runs; other local commands are only recorded. Every file name is
// mapped into the scratch folder, SYSTEM/FOPEN/WAIT/GETKEY are harmless stand-ins, and
// a statement budget ends scripts that would run for ever.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "../support/fuzz_standins.h"
#include "context/context.h"
#include "context/output.h"
#include "context/status.h"
#include "driver/host_wiring.h"
#include "driver/input_lines.h"
#include "driver/local_handlers.h"
#include "driver/synonyms.h"
#include "runtime/scan.h"
#include "script/compiler.h"
#include "script/executor.h"
#include "script/import.h"
#include "script/script_host.h"
#include "script/script_state.h"

using namespace kvarn::script;

namespace {

std::vector<std::string> issued;  // what reached the host, for nothing but to exist

// A few records of the shape the driver keeps for a DISPLAY: the record's first line
// and its attribute lines joined by '\n'.
std::vector<ResponseRecord> cannedRecords(std::string_view command) {
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

bool parseImport(ProgramContext& ctx, std::string_view text, ImportRequest& request) {
  if (!parseImportCommand(ctx, text, request)) return false;
  if (!scanTrim(request.file).empty()) request.file = kvarn::fuzz::scratchPath(scanTrim(request.file));
  return true;
}

void issueCommand(ProgramContext& ctx, std::string_view text) {
  std::string command(scanTrim(text));
  if (command.empty()) return;
  if (cmdRunSubstituted(ctx, command)) return;
  if (issued.size() < 64) issued.push_back(command);
  if (command[0] == '=') {
    ImportRequest request;
    if (parseImport(ctx, command, request)) cmdImportCommand(ctx, request);
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

bool collectRecords(ProgramContext& ctx, std::string_view command, std::vector<ResponseRecord>& records) {
  if (command.size() % 7 == 6) {  // a command that failed
    addError(ctx, "AMQ8147: IBM MQ object not found.");
    return false;
  }
  records = cannedRecords(command);
  return true;
}

void installHost() {
  static const bool done = [] {
    ProgramContext scratch;
    wireRooms(scratch);
    ScriptHost host = scriptHost();
    host.issueCommand = issueCommand;
    host.collectRecords = collectRecords;
    host.parseImport = parseImport;
    host.ensureConnected = nullptr;
    scriptSetHost(std::move(host));
    kvarn::fuzz::neuterScriptFunctions();
    return true;
  }();
  (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  installHost();
  kvarn::fuzz::SplitInput input = kvarn::fuzz::splitInput(std::string_view(reinterpret_cast<const char*>(data), size));
  kvarn::fuzz::clearScratch();
  kvarn::fuzz::writeScratchFiles(input);
  issued.clear();
  {
    ProgramContext ctx;
    if (!kvarn::fuzz::prepareFileModeContext(ctx)) return 0;
    InputSource& main = *ctx.mainInput;
    main.echo.lang = true;
    main.echo.func = true;
    ctx.input = &main;
    kvarn::fuzz::setStatementBudget(ctx);
    if (!input.main.empty()) {
      main.stream = fmemopen(input.main.data(), input.main.size(), "r");
      if (!main.stream) return 0;
      main.ownsStream = true;
      main.readLine = readFileLine;
      cmdRunSource(ctx, main);
    }
    (void)scriptState(ctx).closeAllFiles();
  }
  return 0;
}
