// =ccdt, =ccdtj and =merge: entering CCDT mode and merging channel tables.
#include "context/context.h"
#include "context/output.h"
#include "driver/ccdt_versions.h"
#include "driver/local_handlers.h"
#include "runtime/scan.h"
#include "script/script_state.h"

namespace {

std::vector<LocalValue> ccdtVersionValues() {
  std::vector<LocalValue> v;
  const auto &table = ccdtVersionTable();
  for (auto it = table.rbegin(); it != table.rend(); ++it) {
    v.push_back({it->release, std::string("MQ ") + it->release + " Version", it->listed});
    if (std::string_view(it->release) == "5.2") break;
  }
  return v;
}

std::vector<LocalOperand> ccdtOperands() {
  return {{"file", "CCDT file name", kLocalAnyValue}, {"version", "CCDT version", ccdtVersionValues()}};
}

// =ccdt and =ccdtj: the version is checked as -V checks it; the mode itself comes with
// the CCDT commands, and until then nothing of a channel table may reach a queue manager.
// The commands after =ccdt were written for a channel table: a command file stops here
// (as -j and -n stop the run before it starts), and at the console the rest of what is
// running (a script, the rest of the line) is dropped while the user is told.
void doCcdt(ProgramContext &ctx, ParsedCommand &cmd, int) {
  if (cmd.has("version")) {
    int version = 0;
    switch (parseCcdtVersion(cmd.value("version"), version)) {
    case CcdtVersionParse::Ok: break;
    case CcdtVersionParse::UnknownName: addError(ctx, ccdtVersionListMessage()); break;
    case CcdtVersionParse::OutOfRange: addError(ctx, scanTrim(ccdtVersionRangeMessage())); break;
    }
  }
  addError(ctx, "CCDT mode is not available in this build");
  kvarn::script::scriptState(ctx).errorFlag = true;
  if (ctx.mainInput && ctx.mainInput->prompting) {
    ctx.interrupted = true;
    return;
  }
  addError(ctx, "Command file processing terminated due to error");
  ctx.statusFlags |= kStatusInternalFailure;
  ctx.quit = true;
}

void doMerge(ProgramContext &ctx, ParsedCommand &cmd, int) {
  if (!ctx.ccdtMode) return addError(ctx, "The merge command should be issued while in CCDT mode");
  if (!cmd.has("ccdt")) return addError(ctx, "Please enter a CCDT parameter");
  if (!cmd.has("channel")) return addError(ctx, "Please enter a CHANNEL parameter");
  if (scanTrim(cmd.value("channel")).empty()) return addError(ctx, "The CHANNEL parameter should not be empty");
}

}  // namespace

std::vector<LocalCommand> ccdtLocalCommands() {
  return {
      {"=ccdt", "Go into local CCDT edit mode (Binary)", ccdtOperands(), {}, doCcdt},
      {"=ccdtj", "Go into local CCDT edit mode (JSON)", ccdtOperands(), {}, doCcdt},
      {"=merge",
       "Merge CCDT files",
       {{"ccdt", "CCDT file name", kLocalAnyValue},
        {"channel", "Channels to copy", kLocalAnyValue},
        {"replace", "Whether to replace same named channels", kLocalYesNo}},
       {},
       doMerge},
  };
}
