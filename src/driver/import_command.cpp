// =import: a command file run as an input source of its own.
#include "context/context.h"
#include "context/output.h"
#include "context/trace.h"
#include "driver/local_handlers.h"
#include "driver/local_table.h"
#include "runtime/path.h"
#include "runtime/scan.h"
#include "script/import.h"
#include "script/parameters.h"
#include "script/script_state.h"

namespace {

kvarn::script::ImportRequest importRequest(const ParsedCommand &cmd) {
  kvarn::script::ImportRequest r;
  r.file = cmd.value("file");
  r.hasParms = cmd.has("parms");
  r.parms = cmd.value("parms");
  r.quiet = cmd.has("quiet");
  r.stopOnFailure = cmd.has("sof");
  r.keepHistory = cmd.has("cmdhist");
  return r;
}

void cslDoImportCommand(ProgramContext &ctx, ParsedCommand &cmd, int) {
  kvarn::script::cmdImportCommand(ctx, importRequest(cmd));
}

// ---- CCDT mode entry points ------------------------------------------------------------------

// Every release from 5.2 on is accepted, newest first; help lists only the releases
// the version table marks for display.

}  // namespace

std::vector<LocalCommand> importLocalCommands() {
  return {{"=import",
           "Import commands from a file",
           {{"cmdhist", "Keep command history", {}},
            {"file", "Import file name", kLocalAnyValue},
            {"parms", "Parmeters passed to the import file", kLocalAnyValue},
            {"quiet", "Does not display commands", {}},
            {"sof", "Stop on first first failure", {}}},
           {},
           cslDoImportCommand}};
}

bool parseImportCommand(ProgramContext &, std::string_view text, kvarn::script::ImportRequest &request) {
  ParsedCommand parsed;
  SyntaxResult check = checkLocalCommand(std::string(text), parsed);
  if (!check.ok || !parsed.command || parsed.command->name != "=import") return false;
  request = importRequest(parsed);
  return true;
}
