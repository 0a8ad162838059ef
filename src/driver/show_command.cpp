// =show: each operand acted on in the order given. Operands that change the
// full-screen console are ignored in file mode, with one message for the command.
#include <pwd.h>
#include <unistd.h>

#include <climits>

#include "console/console_settings.h"
#include "context/context.h"
#include "context/output.h"
#include "driver/local_handlers.h"
#include "driver/synonyms.h"
#include "runtime/memory.h"
#include "runtime/scan.h"
#include "script/function_listing.h"
#include "transport/connection_commands.h"
#include "transport/fleet.h"

namespace {

std::string userName() {
  if (const passwd *pw = getpwuid(getuid()); pw && pw->pw_name) return pw->pw_name;
  return "Unknown";
}

std::string machineName() {
  char host[HOST_NAME_MAX + 1] = {};
  return gethostname(host, sizeof host) == 0 && host[0] ? host : "Unknown";
}

std::string platformName(int platform) {
  static const struct {
    int value;
    const char *name;
  } kPlatforms[] = {
      {1, "z/OS"}, {2, "OS/2"}, {3, "Unix"},      {4, "OS/400"}, {5, "Windows"}, {11, "Windows"},
      {12, "VMS"}, {13, "NSS"}, {15, "Open TP1"}, {18, "VM"},    {23, "TPF"},    {27, "VSE"},
  };
  for (const auto &p : kPlatforms)
    if (p.value == platform) return p.name;
  return std::to_string(platform);
}

// on, off, or (no value, anything else) the other way round.
bool switched(const ParsedItem &item, bool current) {
  if (scanEqualsNoCase(item.value, "on")) return true;
  if (scanEqualsNoCase(item.value, "off")) return false;
  return !current;
}

void showKeyInfo(ProgramContext &ctx, const ParsedCommand &, const ParsedItem &item) {
  consoleSettingsOf(ctx).view.showKeys = switched(item, consoleSettingsOf(ctx).view.showKeys);
}

void showParseInfo(ProgramContext &ctx, const ParsedCommand &, const ParsedItem &item) {
  consoleSettingsOf(ctx).view.showParse = switched(item, consoleSettingsOf(ctx).view.showParse);
}

void selectScreen(ProgramContext &ctx, const ParsedCommand &, const ParsedItem &item) {
  static const struct {
    const char *name;
    Screen screen;
  } kScreens[] = {{"mqsc", kScreenMqsc}, {"help", kScreenHelp}, {"sets", kScreenSettings}, {"keys", kScreenKeys}};
  Screen &screen = consoleSettingsOf(ctx).view.screen;
  if (scanEqualsNoCase(item.value, "next")) {
    screen = static_cast<Screen>((screen + 1) % kScreenCount);
    return;
  }
  screen = kScreenMqsc;
  for (const auto &s : kScreens)
    if (scanEqualsNoCase(item.value, s.name)) screen = s.screen;
}

void showNonEchoed(ProgramContext &ctx, const ParsedCommand &, const ParsedItem &item) {
  ctx.output->showHidden = scanEqualsNoCase(item.value, "yes");
}

void setScrollIndicators(ProgramContext &ctx, const ParsedCommand &, const ParsedItem &item) {
  SetResult r = applySetting(ctx.settings, "show", "scroll", item.value);
  if (r.error) return addError(ctx, r.message);
  if (!r.changed) return;
  ctx.settingsChanged = true;
  addInfo(ctx, r.message);
}

void showMachine(ProgramContext &ctx, const ParsedCommand &, const ParsedItem &) {
  for (const std::string &line : machineDetails(ctx)) addInfo(ctx, line);
}

// Functions whose names match the value (all without one); with `list` their comment
// block and body too.
void showFunctions(ProgramContext &ctx, const ParsedCommand &cmd, const ParsedItem &item) {
  for (const std::string &line : kvarn::script::cmdDescribeFunctions(ctx, scanTrim(item.value), cmd.has("list")))
    addInfo(ctx, line);
}

void showCommandHistory(ProgramContext &ctx, const ParsedCommand &, const ParsedItem &) {
  for (const auto &entry : consoleSettingsOf(ctx).history) addInfo(ctx, entry);
  addInfo(ctx, strFormat("%d command entries", static_cast<int>(consoleSettingsOf(ctx).history.size())));
}

void showSummary(ProgramContext &ctx, const ParsedCommand &, const ParsedItem &) {
  if (std::string line = commandSummaryLine(ctx, false); !line.empty()) addInfo(ctx, line);
}

void showMemory(ProgramContext &ctx, const ParsedCommand &, const ParsedItem &) {
  MemoryCounters m = CSMemoryCounters();
  addInfo(ctx, strFormat("Memory: Blocks:%d Allocs:%d Bytes:%d High:%d", m.blocksInUse, m.allocations, m.bytesInUse,
                         m.highWater));
}

void showConnections(ProgramContext &ctx, const ParsedCommand &, const ParsedItem &) {
  for (const std::string &line : connectionReport(ctx)) addInfo(ctx, line);
  for (const std::string &line : fleetReport(ctx)) addInfo(ctx, line);
}

struct ShowOperand {
  const char *name;
  bool screen;  // changes the console: ignored in file mode
  void (*act)(ProgramContext &ctx, const ParsedCommand &, const ParsedItem &item);
};

constexpr ShowOperand kShowOperands[] = {
    {"key", true, showKeyInfo},       {"scrn", true, selectScreen},           {"parse", true, showParseInfo},
    {"noecho", false, showNonEchoed}, {"scroll", true, setScrollIndicators},  {"machine", false, showMachine},
    {"func", false, showFunctions},   {"cmdhist", false, showCommandHistory}, {"summary", false, showSummary},
    {"memory", false, showMemory},    {"conns", false, showConnections},
};

}  // namespace

void cslDoShowCommand(ProgramContext &ctx, ParsedCommand &cmd, int) {
  bool ignoredReported = false;
  for (size_t i = 1; i < cmd.items.size(); ++i) {
    for (const ShowOperand &op : kShowOperands) {
      if (!scanEqualsNoCase(cmd.items[i].name, op.name)) continue;
      if (op.screen && ctx.fileMode()) {
        if (!ignoredReported) reportIgnoredInFileMode(ctx, cmd.text);
        ignoredReported = true;
      } else {
        op.act(ctx, cmd, cmd.items[i]);
      }
    }
  }
  consoleSettingsOf(ctx).view.redrawWanted = true;
}

std::vector<LocalCommand> showLocalCommands() {
  return {{"=show",
           "Display values or change what is shown on the screen",
           {{"key",
             "Changes whether the key pressed information is shown",
             {{"", "If no value is given the key information display is toggled"},
              {"on", "Switches on key pressed information"},
              {"off", "Switches off key pressed information"}},
             0,
             kUnlisted},
            {"parse",
             "Changes whether the command line parse info is shown",
             {{"", "If no value is given the parse display is toggled"},
              {"on", "Switches on parse information"},
              {"off", "Switches off parse information"}},
             0,
             kUnlisted},
            {"cmdhist", "Writes the command history to the screen", {}, 0, kUnlisted},
            {"memory", "Writes the memory usage to the screen", {}, 0, kUnlisted},
            {"conns", "Writes the connections to the screen", {}, 0, kUnlisted},
            {"func", "Show which functions are defined", {{"", ""}, {"<value>", ""}}},
            {"list", "Show the contents of functions", {}},
            {"machine", "Writes machine information to the screen", {}},
            {"noecho", "Show the non-echoed lines", kLocalYesNo},
            {"summary", "Writes the command issue summary to the screen", {}},
            {"scrn",
             "Changes what screen is shown",
             {{"!t", "<Screen>"},
              {"help", "Shows the help screen"},
              {"keys", "Shows the keys screen"},
              {"mqsc", "Shows the MQSC screen"},
              {"next", "Cycles round the available screens"},
              {"sets", "Shows the settings screen"}}},
            {"scroll", "Changes whether scroll indicators are shown", kLocalOnOff}},
           {},
           cslDoShowCommand}};
}

std::vector<std::string> machineDetails(ProgramContext &ctx) {
  static const std::string user = userName();
  static const std::string machine = machineName();
  std::vector<std::string> lines = {"Machine Details", "---------------", "User   : " + user, "Machine: " + machine,
                                    ""};
  AdministeredQmgr qm = administeredQmgr(ctx);
  if (qm.name.empty()) return lines;
  lines.insert(lines.end(),
               {"Administering Queue Manager", "---------------------------", "Qm           : " + qm.name,
                strFormat("Command Level: %d", qm.commandLevel), "Platform     : " + platformName(qm.platform)});
  if (qm.agentLevel) lines.push_back(strFormat("SARVOA Level : %d", qm.agentLevel));
  else if (ctx.trace.machine) lines.push_back("SARVOA Level : Inactive");
  return lines;
}
