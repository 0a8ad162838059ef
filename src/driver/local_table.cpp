#include "driver/local_table.h"

#include <algorithm>
#include <cctype>

#include "driver/ccdt_versions.h"
#include "context/output.h"
#include "context/settings.h"
#include "runtime/scan.h"

namespace {



const std::vector<LocalValue> kAnyValue = {{"<value>", ""}};
const std::vector<LocalValue> kNumber = {{"<number>", ""}};
const std::vector<LocalValue> kYesNo = {{"yes", "Option is active"}, {"no", "Option is not active"}};
const std::vector<LocalValue> kOnOff = {{"on", "Sets value on"}, {"off", "Sets value off"}};

std::vector<LocalValue> numberOf(const char *label, const char *description) {
  return {{"!t", label}, {"<number>", description}};
}

std::vector<LocalValue> settingValues(const SettingRow &row) {
  switch (row.type) {
  case SettingType::Switch:
  case SettingType::ColourSwitch: return kOnOff;
  case SettingType::Number: return kNumber;
  case SettingType::Choice: {
    std::vector<LocalValue> v;
    for (const ChoiceValue *c = row.choices; c->name; ++c) v.push_back({c->name, ""});
    return v;
  }
  default: return kAnyValue;
  }
}

std::vector<LocalOperand> settingOperands(std::string_view group) {
  std::vector<LocalOperand> ops;
  for (const auto &row : settingTable())
    if (row.type != SettingType::Heading && group == row.group)
      ops.push_back({row.name, row.description ? row.description : "", settingValues(row)});
  return ops;
}

std::vector<LocalOperand> connOperands() {
  return {
      {"qm", "Queue Manager name to administer", kAnyValue},
      {"via", "Queue Manager to connect to if no direct connection", kAnyValue},
      {"client", "Make a client connection", {}},
      {"ccdturl", "URL location of CCDT file", kAnyValue},
      {"cmdq", "The name of the command queue", kAnyValue},
      {"replyq", "The name of the reply queue to use", kAnyValue},
      {"replypfx", "The prefix value for the temporary reply queue name", kAnyValue},
      {"wait", "Wait time for a valid connection", kNumber},
      {"user", "Connection User Identifier", kAnyValue},
      {"pwd", "Connection Password", kAnyValue},
      {"channel", "Client channel name", kAnyValue},
      {"conname", "Client channel connection name", kAnyValue},
      {"sslciph", "Client channel SSL/TLS cipher specification", kAnyValue},
      {"certlabl", "SSL/TLS Certificate label", kAnyValue},
      {"scyexit", "Client channel security exit", kAnyValue},
      {"scydata", "Client channel security exit data", kAnyValue},
      {"sendexit", "Client channel send exit", kAnyValue},
      {"senddata", "Client channel send exit data", kAnyValue},
      {"rcvexit", "Client channel receive exit", kAnyValue},
      {"rcvdata", "Client channel receive exit data", kAnyValue},
      {"sharecnv", "Client channel share conversation value", kNumber},
      {"comphdr", "Compress headers", {{"system", "System compression"}}},
      {"compmsg", "Compress message",
       {{"rle", "Run Length Encoding"}, {"zlibfast", "ZLIB (Fast)"}, {"zlibhigh", "ZLIB (High)"}}},
  };
}

std::vector<LocalValue> ccdtVersionValues() {
  std::vector<LocalValue> v;
  const auto &table = ccdtVersionTable();
  for (auto it = table.rbegin(); it != table.rend(); ++it) {
    if (std::string_view(it->release) < "5.2" && std::string_view(it->release).size() == 3) continue;
    v.push_back({it->release, std::string("MQ ") + it->release + " Version"});
  }
  return v;
}

std::vector<LocalOperand> ccdtOperands() {
  return {{"file", "CCDT file name", kAnyValue}, {"version", "CCDT version", ccdtVersionValues()}};
}

std::vector<LocalOperand> clearOperands() {
  return {{"confirm", "Set whether KVARN should confirm command", kYesNo},
          {"depth", "Set maximum depth not requiring confirmation", kNumber},
          {"qlocal", "Set queue name to clear", kAnyValue}};
}

std::vector<LocalValue> yesNo() { return {{"yes", ""}, {"no", ""}}; }

std::vector<LocalCommand> buildTable() {
  std::vector<LocalCommand> t;
  t.push_back({"=cache", "Change the object cache settings",
               {{"maxager", "Set the maximum age of object cache for remote Queue Managers",
                 numberOf("<age>", "  Valid values between 0 and 500000 seconds")},
                {"maxagel", "Set the maximum age of object cache for local Queue Managers",
                 numberOf("<age>", "  Valid values between 0 and 500000 seconds")},
                {"purge", "Discard the current cache contents", {}}}});
  t.push_back({"=ccdt", "Go into local CCDT edit mode (Binary)", ccdtOperands()});
  t.push_back({"=ccdtj", "Go into local CCDT edit mode (JSON)", ccdtOperands()});
  t.push_back({"=cls", "Clear the screen", {}});
  t.push_back({"=clear", "Clear local queue", clearOperands()});
  t.push_back({"qdepth", "Query Queue Depth", clearOperands(), {}, nullptr, kUnlisted});
  t.push_back({"qempty", "Empty Queue", clearOperands(), {}, nullptr, kUnlisted});
  t.push_back({"=colour", "Change colour settings", settingOperands("colour")});
  t.push_back({"=conn", "Connect to a Queue manager", connOperands()});
  t.push_back({"=count", "Change count settings",
               {{"cmds", "Should KVARN count command success or fail", yesNo()},
                {"dspcmds", "Should DISPLAY commands be counted", yesNo()},
                {"emptydsp", "Should empty display commands count as a failure",
                 {{"fail", "An empty DISPLAY commmand should be regarded as a fail"},
                  {"ok", "An empty DISPLAY commmand should be regarded as OK"}}},
                {"summary", "What command summary should be displayed",
                 {{"default", "Display the default command summary"},
                  {"fail", "Display the count of failed commands"},
                  {"failnz", "Display the count of failed commands only if non-zero"},
                  {"none", "Don't display the command summary"},
                  {"ok", "Display the count of successful commands"},
                  {"oknz", "Display the count of successful commands only if non-zero"},
                  {"total", "Display the count of commands issued"}},
                 kOperandList}}});
  t.push_back({"=disc", "Disconnect from a Queue Manager", {}});
  t.push_back({"=echo", "Change echo settings",
               {{"input", "Overall input line echo setting",
                 {{"no", "Echo of input is off"}, {"setting", "Echo of input is set by individual settings"}}},
                {"cmds", "Are input commands echoed", yesNo()},
                {"func", "Are functions echoed", yesNo()},
                {"lang", "Are input language statements echoed", yesNo()},
                {"langcon", "Are input language statements from console echoed", yesNo()},
                {"resp", "Are command responses echoed", yesNo()},
                {"blank", "Are blank lines echoed", yesNo()}}});
  t.push_back({"=import", "Import commands from a file",
               {{"cmdhist", "Keep command history", {}},
                {"file", "Import file name", kAnyValue},
                {"parms", "Parmeters passed to the import file", kAnyValue},
                {"quiet", "Does not display commands", {}},
                {"sof", "Stop on first first failure", {}}}});
  t.push_back({"=key", "Set or clear a key action or command",
               {{"cmd", "Command to be issued by the key", kAnyValue},
                {"action", "Action to be performed by the key", kAnyValue},
                {"clear", "Clear the key assignment", {}},
                {"name", "Key name", kAnyValue},
                {"noenter", "Do not enter the command", {}},
                {"nolog", "Do not log the command", {}}},
               {{"!t", "<Key>"}, {"<value>", ""}}});
  t.push_back({"=keyname", "Define or delete a key name", {{"seq", "Key sequence", kAnyValue}},
               {{"!t", "<Key name>"}, {"<value>", ""}}});
  t.push_back({"=merge", "Merge CCDT files",
               {{"ccdt", "CCDT file name", kAnyValue},
                {"channel", "Channels to copy", kAnyValue},
                {"replace", "Whether to replace same named channels", yesNo()}}});
  t.push_back({"=tolk", "Direct commands to TOLK", {{"cmdq", "The name of the command queue", kAnyValue}}});
  t.push_back({"=mqsc", "Direct commands to MQ", {}});
  t.push_back({"=output", "Set output file settings",
               {{"append", "Should the file be appended to", yesNo()}, {"file", "Output file name", kAnyValue}}});
  t.push_back({"=purge", "Purge command history", {}});
  t.push_back({"=repeat", "Issue a command repeatedly",
               {{"clear", "Clear screen before issuing command", {}},
                {"cmd", "Command to enter", kAnyValue},
                {"delay", "Delay between successive invocations",
                 numberOf("<delay>", "Number of seconds between invocations")},
                {"keep", "Keep last command response", {}},
                {"history", "Keep history of all responses", {}}}});
  t.push_back({"=set", "Change various program settings", settingOperands("set")});
  t.push_back({"=show", "Display values or change what is shown on the screen",
               {{"key", "Changes whether the key pressed information is shown",
                 {{"", "If no value is given the key information display is toggled"},
                  {"on", "Switches on key pressed information"},
                  {"off", "Switches off key pressed information"}}, 0, kUnlisted},
                {"parse", "Changes whether the command line parse info is shown",
                 {{"", "If no value is given the parse display is toggled"},
                  {"on", "Switches on parse information"},
                  {"off", "Switches off parse information"}}, 0, kUnlisted},
                {"cmdhist", "Writes the command history to the screen", {}, 0, kUnlisted},
                {"memory", "Writes the memory usage to the screen", {}, 0, kUnlisted},
                {"conns", "Writes the connections to the screen", {}, 0, kUnlisted},
                {"func", "Show which functions are defined", {{"", ""}, {"<value>", ""}}},
                {"list", "Show the contents of functions", {}},
                {"machine", "Writes machine information to the screen", {}},
                {"noecho", "Show the non-echoed lines", yesNo()},
                {"summary", "Writes the command issue summary to the screen", {}},
                {"scrn", "Changes what screen is shown",
                 {{"!t", "<Screen>"},
                  {"help", "Shows the help screen"},
                  {"keys", "Shows the keys screen"},
                  {"mqsc", "Shows the MQSC screen"},
                  {"next", "Cycles round the available screens"},
                  {"sets", "Shows the settings screen"}}},
                {"scroll", "Changes whether scroll indicators are shown", kOnOff}}});
  t.push_back({"=syn", "Set or clear a command synonym",
               {{"cmd", "Command which should be issued instead", kAnyValue}},
               {{"!t", "<Synonym>"}, {"<value>", ""}}});
  t.push_back({"end", "End the program", {}});
  t.push_back({"quit", "End the program", {}});
  return t;
}

bool isNumber(std::string_view v) {
  return !v.empty() && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string checkValue(const LocalOperand &op, const std::string &value) {
  for (const auto &v : op.values) {
    if (v.value == "<value>") return "";
    if (v.value == "<number>")
      return isNumber(value) ? "" : strFormat("Please specify a number as a value for parameter '%s'", op.name.c_str());
  }
  for (const auto &v : op.values)
    if (v.value != "!t" && !v.value.empty() && scanEqualsNoCase(v.value, value)) return "";
  return strFormat("Unrecognised value '%.*s' for '%s' parameter", static_cast<int>(value.size()), value.data(),
                   op.name.c_str());
}

std::string checkOperand(const LocalOperand &op, const ParsedItem &item) {
  if (!item.hasValue) {
    if (op.values.empty()) return "";
    for (const auto &v : op.values)
      if (v.value.empty()) return "";
    return strFormat("Missing value for parameter '%s'", item.name.c_str());
  }
  if (op.values.empty()) return strFormat("Parameter '%s' does not have any values", item.name.c_str());
  if (!(op.flags & kOperandList)) return checkValue(op, item.value);
  size_t start = 0;
  while (start <= item.value.size()) {
    size_t comma = item.value.find(',', start);
    std::string part = item.value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    auto trimmed = part;
    trimmed.erase(0, trimmed.find_first_not_of(" ,\r\n"));
    trimmed.erase(trimmed.find_last_not_of(" ,\r\n") + 1);
    if (!trimmed.empty())
      if (std::string err = checkValue(op, trimmed); !err.empty()) return err;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return "";
}

size_t longestName(const std::vector<LocalOperand> &ops) {
  size_t w = 0;
  for (const auto &op : ops)
    if (op.listed) w = std::max(w, op.name.size());
  return w;
}

std::vector<std::string> valueHelp(const LocalOperand &op) {
  std::vector<std::string> lines{"where values are:"};
  size_t w = 0;
  for (const auto &v : op.values)
    if (v.value != "!t") w = std::max(w, v.value.size());
  for (const auto &v : op.values) {
    if (v.value == "!t") continue;
    lines.push_back(strFormat(" %-*s - %s", static_cast<int>(w), v.value.c_str(), v.description.c_str()));
  }
  return lines;
}

std::vector<std::string> commandHelp(const LocalCommand &cmd) {
  std::vector<std::string> lines{"Command syntax:"};
  bool anyOperand = std::any_of(cmd.operands.begin(), cmd.operands.end(),
                                [](const LocalOperand &op) { return op.listed; });
  if (!anyOperand) {
    lines.push_back(strFormat("\"%s\" - %s", cmd.name.c_str(), cmd.description.c_str()));
    lines.push_back("The command has no parameters");
    return lines;
  }
  lines.push_back(strFormat("\"%s <parms>\" - %s", cmd.name.c_str(), cmd.description.c_str()));
  lines.push_back("where <parms> are:");
  int w = static_cast<int>(longestName(cmd.operands));
  for (const auto &op : cmd.operands)
    if (op.listed) lines.push_back(strFormat(" %-*s - %s", w, op.name.c_str(), op.description.c_str()));
  return lines;
}

const LocalOperand *findOperand(const LocalCommand &cmd, std::string_view name) {
  for (const auto &op : cmd.operands)
    if (scanEqualsNoCase(op.name, name)) return &op;
  return nullptr;
}

} // namespace

std::vector<LocalCommand> &localCommandTable() {
  static std::vector<LocalCommand> table = buildTable();
  return table;
}

const LocalCommand *findLocalCommand(std::string_view name) {
  for (const auto &row : localCommandTable())
    if (scanEqualsNoCase(row.name, name)) return &row;
  return nullptr;
}

void setLocalHandler(std::string_view name, LocalHandler handler) {
  for (auto &row : localCommandTable())
    if (scanEqualsNoCase(row.name, name)) row.handler = handler;
}

std::vector<std::string> localCommandList() {
  std::vector<std::string> lines{"Commands available are:"};
  size_t w = 0;
  for (const auto &row : localCommandTable())
    if (row.listed) w = std::max(w, row.name.size());
  for (const auto &row : localCommandTable())
    if (row.listed)
      lines.push_back(strFormat("%*s%-*s - %s", 1, "", static_cast<int>(w), row.name.c_str(), row.description.c_str()));
  return lines;
}

SyntaxResult checkLocalCommand(std::string_view text, ParsedCommand &out) {
  SyntaxResult r;
  out = ParsedCommand{};
  out.text = std::string(text);
  std::string_view trimmed = scanTrim(text);
  if (trimmed == "=?") {
    r.help = true;
    r.lines = localCommandList();
    return r;
  }
  bool help = false;
  std::string err = splitLocalItems(text, out.items, help);
  if (!err.empty()) {
    r.lines.push_back(err);
    return r;
  }
  if (out.items.empty()) {
    if (help) {
      r.help = true;
      r.lines = localCommandList();
    }
    return r;
  }
  const LocalCommand *cmd = findLocalCommand(out.items[0].name);
  if (!cmd) {
    r.lines.push_back(strFormat("Unrecognised command '%s'", out.items[0].name.c_str()));
    return r;
  }
  out.command = cmd;
  if (help && out.items.size() == 1) {
    r.help = true;
    r.lines = commandHelp(*cmd);
    return r;
  }
  for (size_t i = 1; i < out.items.size(); ++i) {
    const ParsedItem &item = out.items[i];
    const LocalOperand *op = findOperand(*cmd, item.name);
    if (!op) {
      r.lines.push_back(strFormat("Unrecognised parameter '%s'", item.name.c_str()));
      return r;
    }
    if (item.hasValue && item.value == "?") {
      r.help = true;
      r.lines = valueHelp(*op);
      return r;
    }
    if (std::string e = checkOperand(*op, item); !e.empty()) {
      r.lines.push_back(e);
      return r;
    }
  }
  if (help) {
    r.help = true;
    r.lines = commandHelp(*cmd);
    return r;
  }
  r.ok = true;
  return r;
}
