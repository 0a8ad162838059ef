// =echo, =count and =output decide what is echoed, counted and copied; =cls and =purge
// act on the console's line buffer.
#include <sys/stat.h>

#include <algorithm>

#include "console/console_settings.h"
#include "context/context.h"
#include "context/echo.h"
#include "context/output.h"
#include "driver/local_handlers.h"
#include "driver/synonyms.h"
#include "runtime/path.h"
#include "runtime/scan.h"
#include "script/parameters.h"
#include "transport/connection_commands.h"

namespace {

// A switch the syntax check let through: yes/on, or no/off.
bool isYes(const ParsedItem &item) {
  return !scanEqualsNoCase(item.value, "no") && !scanEqualsNoCase(item.value, "off");
}

uint32_t summaryBits(const std::string &list) {
  static const struct {
    const char *name;
    uint32_t bit;
  } kBits[] = {{"default", kSummaryDefault}, {"none", kSummaryNone}, {"fail", kSummaryFail},
               {"failnz", kSummaryFailNZ},   {"ok", kSummaryOk},     {"oknz", kSummaryOkNZ},
               {"total", kSummaryTotal}};
  uint32_t bits = 0;
  for (const std::string &item : kvarn::script::splitParameters(list))
    for (const auto &b : kBits)
      if (scanEqualsNoCase(scanTrim(item), b.name)) bits |= b.bit;
  return bits;
}

// A command file being read must not become the =output file: replacing it would
// lose the commands still to come, appending to it would feed the run its own output.
bool isBeingRead(const ProgramContext &ctx, const std::string &path) {
  struct stat target {};
  if (stat(path.c_str(), &target) != 0) return false;
  for (const InputSource *src = ctx.input; src; src = src->parent) {
    struct stat st {};
    if (src->stream && fstat(fileno(src->stream), &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino)
      return true;
  }
  return false;
}

}  // namespace

void cslDoCountCommand(ProgramContext &ctx, ParsedCommand &cmd, int) {
  CountSettings &c = ctx.counting;
  for (size_t i = 1; i < cmd.items.size(); ++i) {
    const ParsedItem &item = cmd.items[i];
    if (scanEqualsNoCase(item.name, "cmds")) c.cmds = isYes(item);
    else if (scanEqualsNoCase(item.name, "dspcmds")) c.dspcmds = isYes(item);
    else if (scanEqualsNoCase(item.name, "emptydsp")) c.emptydspFails = scanEqualsNoCase(item.value, "fail");
    else if (scanEqualsNoCase(item.name, "summary")) c.summary = summaryBits(item.value);
  }
}

// Sets the switches of the current input source; =echo echoes itself afterwards, shown
// only when cmds was on before it and still is.
void cslDoEchoCommand(ProgramContext &ctx, ParsedCommand &cmd, int issueSource) {
  static const struct {
    const char *name;
    bool EchoSwitches::*field;
  } kSwitches[] = {{"input", &EchoSwitches::input}, {"cmds", &EchoSwitches::cmds},       {"func", &EchoSwitches::func},
                   {"lang", &EchoSwitches::lang},   {"langcon", &EchoSwitches::langcon}, {"resp", &EchoSwitches::resp},
                   {"blank", &EchoSwitches::blank}};
  InputSource *src = ctx.input ? ctx.input : ctx.mainInput.get();
  EchoSwitches &echo = src->echo;
  bool cmdsBefore = echo.cmds;
  for (size_t i = 1; i < cmd.items.size(); ++i)
    for (const auto &s : kSwitches)
      if (scanEqualsNoCase(cmd.items[i].name, s.name)) echo.*s.field = isYes(cmd.items[i]);
  if (issueSource == IssueFromStartup) return;
  addCommandEcho(ctx, cmd.text, cmdsBefore && echoVisible(ctx, src, issueSource));
}

void cslDoOutputCommand(ProgramContext &ctx, ParsedCommand &cmd, int) {
  ctx.output->closeCopyFile();
  bool append = scanEqualsNoCase(cmd.value("append"), "yes");
  std::string file = expandHome(scanTrim(cmd.value("file")));
  if (file.empty()) return;
  if (isBeingRead(ctx, file))
    return addError(ctx, strFormat("Can not open output file '%s' - it is being read as a command file", file.c_str()));
  if (!ctx.output->openCopyFile(file, append)) addError(ctx, strFormat("Can not open output file '%s'", file.c_str()));
}

// Scrolls earlier output out of view without deleting it.
void clearScreen(ProgramContext &ctx) {
  for (int32_t i = 1; i < consoleSettingsOf(ctx).view.rows; ++i) ctx.output->addLine("", kStyleInfo);
}

void cslDoClsCommand(ProgramContext &ctx, ParsedCommand &cmd, int) {
  if (ctx.fileMode()) return reportIgnoredInFileMode(ctx, cmd.text);
  clearScreen(ctx);
}

// Drops the output from the oldest end up to the first line a command still in flight
// writes to (and never the =purge command's own line).
void cslDoPurgeCommand(ProgramContext &ctx, ParsedCommand &cmd, int) {
  if (ctx.fileMode()) return reportIgnoredInFileMode(ctx, cmd.text);
  uint32_t keepFrom = ctx.output->currentCommandNumber();
  if (uint32_t busy = oldestGroupInFlight(ctx); busy != 0) keepFrom = std::min(keepFrom, busy);
  ctx.output->purgeBefore(keepFrom);
  consoleSettingsOf(ctx).view.redrawWanted = true;
}

std::vector<LocalCommand> outputLocalCommands() {
  return {
      {"=cls", "Clear the screen", {}, {}, cslDoClsCommand},
      {"=count",
       "Change count settings",
       {{"cmds", "Should KVARN count command success or fail", kLocalYesNo},
        {"dspcmds", "Should DISPLAY commands be counted", kLocalYesNo},
        {"emptydsp",
         "Should empty display commands count as a failure",
         {{"fail", "An empty DISPLAY commmand should be regarded as a fail"},
          {"ok", "An empty DISPLAY commmand should be regarded as OK"}}},
        {"summary",
         "What command summary should be displayed",
         {{"default", "Display the default command summary"},
          {"fail", "Display the count of failed commands"},
          {"failnz", "Display the count of failed commands only if non-zero"},
          {"none", "Don't display the command summary"},
          {"ok", "Display the count of successful commands"},
          {"oknz", "Display the count of successful commands only if non-zero"},
          {"total", "Display the count of commands issued"}},
         kOperandList}},
       {},
       cslDoCountCommand},
      {"=echo",
       "Change echo settings",
       {{"input",
         "Overall input line echo setting",
         {{"no", "Echo of input is off"}, {"setting", "Echo of input is set by individual settings"}}},
        {"cmds", "Are input commands echoed", kLocalYesNo},
        {"func", "Are functions echoed", kLocalYesNo},
        {"lang", "Are input language statements echoed", kLocalYesNo},
        {"langcon", "Are input language statements from console echoed", kLocalYesNo},
        {"resp", "Are command responses echoed", kLocalYesNo},
        {"blank", "Are blank lines echoed", kLocalYesNo}},
       {},
       cslDoEchoCommand},
      {"=output",
       "Set output file settings",
       {{"append", "Should the file be appended to", kLocalYesNo}, {"file", "Output file name", kLocalAnyValue}},
       {},
       cslDoOutputCommand},
      {"=purge", "Purge command history", {}, {}, cslDoPurgeCommand},
  };
}

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
