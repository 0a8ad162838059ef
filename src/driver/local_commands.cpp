#include "driver/local_commands.h"

#include "context/context.h"
#include "context/echo.h"
#include "context/output.h"
#include "context/settings.h"
#include "context/trace.h"
#include "driver/ccdt_versions.h"
#include "driver/dispatch.h"
#include "driver/local_handlers.h"
#include "driver/local_table.h"
#include "driver/mqsc_issue.h"
#include "driver/reader.h"
#include "driver/synonyms.h"
#include "runtime/path.h"
#include "runtime/scan.h"
#include "script/import.h"
#include "script/parameters.h"
#include "script/script_state.h"
#include "transport/local_commands.h"

namespace {

constexpr size_t kMaxLocalCommand = 1000;

// ---- settings: =set, =colour, =cache ---------------------------------------------------

bool applyOperands(ProgramContext &ctx, ParsedCommand &cmd, const char *group) {
  bool any = false;
  for (size_t i = 1; i < cmd.items.size(); ++i) {
    const ParsedItem &item = cmd.items[i];
    SetResult r = applySetting(ctx.settings, group, item.name, item.value);
    if (r.error) {
      addError(ctx, r.message);
      continue;
    }
    if (!r.changed) continue;
    any = true;
    ctx.settingsChanged = true;
    addInfo(ctx, r.message);
    if (scanEqualsNoCase(item.name, "filepath")) ctx.defaultFilePath = tidyDirectory(ctx.settings.filepath);
  }
  return any;
}

void doSet(ProgramContext &ctx, ParsedCommand &cmd, int) { applyOperands(ctx, cmd, "set"); }

void doColour(ProgramContext &ctx, ParsedCommand &cmd, int) {
  if (ctx.fileMode()) {
    reportIgnoredInFileMode(ctx, cmd.text);
    return;
  }
  applyOperands(ctx, cmd, "colour");
}

void doCache(ProgramContext &ctx, ParsedCommand &cmd, int) {
  for (size_t i = 1; i < cmd.items.size(); ++i) {
    const ParsedItem &item = cmd.items[i];
    if (scanEqualsNoCase(item.name, "purge")) {
      markNameCachesStale(ctx);
      addInfo(ctx, "Object cache purged");
      continue;
    }
    SetResult r = applySetting(ctx.settings, "cache", item.name, item.value);
    if (r.error) addError(ctx, r.message);
    else if (r.changed) {
      ctx.settingsChanged = true;
      addInfo(ctx, r.message);
    }
  }
}

// =set and =colour offer a settings group's rows as they stand in the settings table.
std::vector<LocalValue> settingValues(const SettingRow &row) {
  switch (row.type) {
  case SettingType::Switch:
  case SettingType::ColourSwitch: return kLocalOnOff;
  case SettingType::Number: return kLocalNumber;
  case SettingType::Choice: {
    std::vector<LocalValue> v;
    for (const ChoiceValue *c = row.choices; c->name; ++c) v.push_back({c->name, ""});
    return v;
  }
  default: return kLocalAnyValue;
  }
}

std::vector<LocalOperand> settingOperands(std::string_view group) {
  std::vector<LocalOperand> ops;
  for (const auto &row : settingTable())
    if (row.type != SettingType::Heading && group == row.group)
      ops.push_back({row.name, row.description ? row.description : "", settingValues(row)});
  return ops;
}

// =cache names its ages in its own order and shows their range in seconds; the
// description and the range are the settings table's.
LocalOperand cacheAgeOperand(std::string_view name) {
  for (const auto &row : settingTable())
    if (row.group && std::string_view(row.group) == "cache" && name == row.name)
      return {row.name, row.description,
              localNumberOf("<age>", strFormat("  Valid values between %d and %d seconds", row.min, row.max))};
  return {std::string(name), "", kLocalNumber};
}

// ---- =import --------------------------------------------------------------------------------

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

} // namespace

std::string commandSummaryLine(const ProgramContext &ctx, bool endOfRun) {
  uint32_t bits = ctx.counting.summary;
  if (endOfRun) bits &= ~kSummaryNone;
  else if (bits & kSummaryNone) return "";
  if (bits == 0) bits = kSummaryDefault;
  if (bits & kSummaryDefault) bits |= kSummaryTotal | kSummaryOk | kSummaryFail;
  bool total = bits & kSummaryTotal;
  bool ok = (bits & kSummaryOk) || ((bits & kSummaryOkNZ) && (!endOfRun || ctx.succeeded != 0));
  bool fail = (bits & kSummaryFail) || ((bits & kSummaryFailNZ) && (!endOfRun || ctx.failed != 0));
  if (!total && !ok && !fail) return "";
  std::string line = "MQSC Command summary - ";
  if (total) line += strFormat("Issued: %u ", ctx.issued);
  if (ok) line += strFormat("Success: %u ", ctx.succeeded);
  if (fail) line += strFormat("Fail: %u ", ctx.failed);
  return line;
}

bool runSynonym(ProgramContext &ctx, const std::string &text) {
  SynonymCall call = matchSynonym(ctx, text);
  if (!call.synonym) return false;
  for (const std::string &line : call.errors) addError(ctx, line);
  if (!call.errors.empty()) return true;
  if (call.hasParameters) kvarn::script::setScriptParameters(ctx, call.parameters);
  SynonymRun running(ctx, *call.synonym);
  runStringSource(ctx, call.synonym->command, call.synonym->name);
  return true;
}

std::vector<LocalCommand> settingLocalCommands() {
  return {
      {"=cache", "Change the object cache settings",
       {cacheAgeOperand("maxager"), cacheAgeOperand("maxagel"), {"purge", "Discard the current cache contents", {}}},
       {}, doCache},
      {"=colour", "Change colour settings", settingOperands("colour"), {}, doColour},
      {"=set", "Change various program settings", settingOperands("set"), {}, doSet},
  };
}

std::vector<LocalCommand> importLocalCommands() {
  return {{"=import", "Import commands from a file",
           {{"cmdhist", "Keep command history", {}},
            {"file", "Import file name", kLocalAnyValue},
            {"parms", "Parmeters passed to the import file", kLocalAnyValue},
            {"quiet", "Does not display commands", {}},
            {"sof", "Stop on first first failure", {}}},
           {}, cslDoImportCommand}};
}

std::vector<LocalCommand> ccdtLocalCommands() {
  return {
      {"=ccdt", "Go into local CCDT edit mode (Binary)", ccdtOperands(), {}, doCcdt},
      {"=ccdtj", "Go into local CCDT edit mode (JSON)", ccdtOperands(), {}, doCcdt},
      {"=merge", "Merge CCDT files",
       {{"ccdt", "CCDT file name", kLocalAnyValue},
        {"channel", "Channels to copy", kLocalAnyValue},
        {"replace", "Whether to replace same named channels", kLocalYesNo}},
       {}, doMerge},
  };
}

void cslIssueLocalCommand(ProgramContext &ctx, InputSource *source, std::string_view text, int issueSource) {
  std::string command(text);
  if (command.size() >= kMaxLocalCommand) {
    addCommandEcho(ctx, command, true);
    addError(ctx, "Command too long");
    return;
  }
  TraceScope trace(ctx, "cslIssueLocalCommand", command);
  ParsedCommand parsed;
  SyntaxResult check = checkLocalCommand(command, parsed);
  if (!check.ok) {
    if (!check.help) addCommandEcho(ctx, command, true);
    for (const auto &line : check.lines) check.help ? addInfo(ctx, line) : addError(ctx, line);
    return;
  }
  // =echo echoes itself (by the switches as they were before it); the echo of =output
  // stays out of the file it opens.
  const std::string &name = parsed.command->name;
  if (name != "=echo") echoCommandLine(ctx, source, command, issueSource, EchoKind::Command, name == "=output");
  if (parsed.command->usesConnection && !makeOwedConnection(ctx)) return;
  if (parsed.command->handler) {
    parsed.command->handler(ctx, parsed, issueSource);
  } else if (issueSource == IssueFromUser) {
    addError(ctx, "Unrecognised command");
  }
}

bool parseImportCommand(ProgramContext &, std::string_view text, kvarn::script::ImportRequest &request) {
  ParsedCommand parsed;
  SyntaxResult check = checkLocalCommand(std::string(text), parsed);
  if (!check.ok || !parsed.command || parsed.command->name != "=import") return false;
  request = importRequest(parsed);
  return true;
}
