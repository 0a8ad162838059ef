// Runs arbitrary local command lines through the real dispatcher, with a context set up
// as file mode sets it up (no connection made at start-up). Each line of the input that
// begins with '=' is a local command; any other line runs only when it names a synonym.
// Lines "--- NAME" start files that =import may read from a scratch folder.
//
// Commands that would reach the outside world are held inside:
//   =fleet     replaced: its names are read (a channel table or a directory from the
//              scratch folder), nothing is connected.
//   =conn      replaced: a connection would load the MQ library (or the simulator, which
//              creates a queue manager under the home folder) and may open a network
//              connection. Without it every MQSC command, =disc, =tolk, =mqsc and =clear
//              meet "not connected", as they do in a run that never connected.
//   =import    its file name is mapped into the scratch folder (also when the compiler
//              carries an =import out itself);
//   =output    its file name is mapped into the scratch folder.
// =repeat, =cls, =purge and the console's key commands are refused in file mode by the
// program itself. Script text reached through imports and synonyms gets the shared
// stand-ins for SYSTEM, FOPEN, WAIT and GETKEY, and a statement budget.
#include <cstdint>
#include <string>
#include <string_view>

#include "../support/fuzz_standins.h"
#include "context/context.h"
#include "context/output.h"
#include "driver/dispatch.h"
#include "driver/host_wiring.h"
#include "driver/local_handlers.h"
#include "driver/local_table.h"
#include "driver/synonyms.h"
#include "runtime/scan.h"
#include "script/import.h"
#include "script/script_host.h"
#include "script/script_state.h"
#include "transport/fleet.h"

namespace {

LocalHandler realImport = nullptr;
LocalHandler realOutput = nullptr;

void mapFileOperand(ParsedCommand& cmd) {
  for (size_t i = 1; i < cmd.items.size(); ++i) {
    ParsedItem& item = cmd.items[i];
    if (!scanEqualsNoCase(item.name, "file")) continue;
    std::string_view name = scanTrim(item.value);
    if (!name.empty()) item.value = kvarn::fuzz::scratchPath(name);
  }
}

void importInScratch(ProgramContext& ctx, ParsedCommand& cmd, int issueSource) {
  mapFileOperand(cmd);
  realImport(ctx, cmd, issueSource);
}

void outputInScratch(ProgramContext& ctx, ParsedCommand& cmd, int issueSource) {
  mapFileOperand(cmd);
  realOutput(ctx, cmd, issueSource);
}

void noConnection(ProgramContext& ctx, ParsedCommand&, int) { addError(ctx, "Not currently connected."); }

// =fleet reads its members' names (the list, a channel table in the scratch folder) as
// the real command does, and connects to none of them.
void fleetNamesOnly(ProgramContext& ctx, ParsedCommand& cmd, int) {
  std::vector<std::string> names = splitQmgrList(cmd.value("qm"));
  std::string table = cmd.value("ccdt"), message;
  if (!scanTrim(table).empty() && !ccdtQmgrNames(kvarn::fuzz::scratchPath(scanTrim(table)), names, message))
    addError(ctx, message);
  std::string home = cmd.value("home");
  if (!scanTrim(home).empty() && !homeQmgrNames(kvarn::fuzz::scratchPath(scanTrim(home)), names, message))
    addError(ctx, message);
  addError(ctx, "Not currently connected.");
}

void install() {
  static const bool done = [] {
    ProgramContext scratch;
    wireRooms(scratch);
    // The program's one table of local commands is constant; the target swaps three of
    // its handlers for stand-ins that keep the commands inside (as it does the script's
    // SYSTEM, FOPEN, WAIT and GETKEY rows).
    auto swap = [](const char* name, LocalHandler standIn) {
      auto* row = const_cast<LocalCommand*>(findLocalCommand(name));
      if (!row || !row->handler) __builtin_trap();
      LocalHandler real = row->handler;
      row->handler = standIn;
      return real;
    };
    realImport = swap("=import", importInScratch);
    realOutput = swap("=output", outputInScratch);
    swap("=conn", noConnection);
    swap("=fleet", fleetNamesOnly);
    kvarn::script::ScriptHost host = kvarn::script::scriptHost();
    host.ensureConnected = nullptr;
    host.parseImport = [](ProgramContext& ctx, std::string_view text, kvarn::script::ImportRequest& request) {
      if (!parseImportCommand(ctx, text, request)) return false;
      if (!scanTrim(request.file).empty()) request.file = kvarn::fuzz::scratchPath(scanTrim(request.file));
      return true;
    };
    kvarn::script::scriptSetHost(std::move(host));
    kvarn::fuzz::neuterScriptFunctions();
    return true;
  }();
  (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  install();
  kvarn::fuzz::SplitInput input = kvarn::fuzz::splitInput(std::string_view(reinterpret_cast<const char*>(data), size));
  kvarn::fuzz::clearScratch();
  kvarn::fuzz::writeScratchFiles(input);
  {
    ProgramContext ctx;
    if (!kvarn::fuzz::prepareFileModeContext(ctx)) return 0;
    ctx.input = ctx.mainInput.get();
    kvarn::fuzz::setStatementBudget(ctx);
    std::string_view text = input.main;
    size_t pos = 0;
    while (pos < text.size() && !ctx.quit) {
      size_t nl = text.find('\n', pos);
      std::string line(text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos));
      pos = nl == std::string_view::npos ? text.size() : nl + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty() && line[0] == '=') cslIssueLocalCommand(ctx, ctx.input, line, IssueFromUser);
      else runSynonym(ctx, line);
    }
    (void)kvarn::script::scriptState(ctx).closeAllFiles();
    ctx.output->closeCopyFile();
  }
  return 0;
}
