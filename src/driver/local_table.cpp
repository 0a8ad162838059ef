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
  return {{"file", "CCDT file name", kAnyValue}, {"version", "CCDT version", ccdtVersionValues()}};
}

std::vector<LocalOperand> clearOperands() {
  return {{"confirm", "Set whether KVARN should confirm command", kYesNo},
          {"depth", "Set maximum depth not requiring confirmation", kNumber},
          {"qlocal", "Set queue name to clear", kAnyValue}};
}

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
               {{"cmds", "Should KVARN count command success or fail", kYesNo},
                {"dspcmds", "Should DISPLAY commands be counted", kYesNo},
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
                {"cmds", "Are input commands echoed", kYesNo},
                {"func", "Are functions echoed", kYesNo},
                {"lang", "Are input language statements echoed", kYesNo},
                {"langcon", "Are input language statements from console echoed", kYesNo},
                {"resp", "Are command responses echoed", kYesNo},
                {"blank", "Are blank lines echoed", kYesNo}}});
  t.push_back({"=import", "Import commands from a file",
               {{"cmdhist", "Keep command history", {}},
                {"file", "Import file name", kAnyValue},
                {"parms", "Parmeters passed to the import file", kAnyValue},
                {"quiet", "Does not display commands", {}},
                {"sof", "Stop on first first failure", {}}}});
  t.push_back({"=key", "Set or clear a key action or command",
               {{"cmd", "Command to be issued by the key", kAnyValue},
                {"action", "Action to be performed by the key", kAnyValue},
                {"clear", "Clear the command line before the command is added", {}},
                {"name", "Key name (instead of the command's own value)", kAnyValue},
                {"noenter", "Add the command to the command line without entering it", {}},
                {"nolog", "Do not show the entered command in the output", {}}},
               {{"!t", "<Key>"}, {"<value>", ""}}});
  t.push_back({"=keyname", "Define or delete a key name",
               {{"seq", "Key sequence: 0x<code> [0x<modifiers>], hexadecimal bytes, # to capture, empty to delete",
                 kAnyValue}},
               {{"!t", "<Key name>"}, {"<value>", ""}}});
  t.push_back({"=merge", "Merge CCDT files",
               {{"ccdt", "CCDT file name", kAnyValue},
                {"channel", "Channels to copy", kAnyValue},
                {"replace", "Whether to replace same named channels", kYesNo}}});
  t.push_back({"=tolk", "Direct commands to TOLK", {{"cmdq", "The name of the command queue", kAnyValue}}});
  t.push_back({"=mqsc", "Direct commands to MQ", {}});
  t.push_back({"=output", "Set output file settings",
               {{"append", "Should the file be appended to", kYesNo}, {"file", "Output file name", kAnyValue}}});
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
                {"noecho", "Show the non-echoed lines", kYesNo},
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

// What a value is checked against: an operand's row, or the command's own value.
struct ValueRule {
  const std::string &name;
  const std::vector<LocalValue> &values;
  unsigned flags;
};

ValueRule ownValueRule(const LocalCommand &cmd) { return {cmd.name, cmd.ownValues, 0}; }
ValueRule operandRule(const LocalOperand &op) { return {op.name, op.values, op.flags}; }

std::string checkValue(const ValueRule &rule, const std::string &value) {
  for (const auto &v : rule.values) {
    if (v.value == "<value>") return "";
    if (v.value == "<number>")
      return isNumber(value) ? ""
                             : strFormat("Please specify a number as a value for parameter '%s'", rule.name.c_str());
  }
  for (const auto &v : rule.values)
    if (v.value != "!t" && !v.value.empty() && scanEqualsNoCase(v.value, value)) return "";
  // A yes/no switch takes on/off as well, as every switch does; anything else is refused
  // rather than guessed, so that a mistyped "of" never turns a switch on.
  bool yesNo = rule.values.size() == 2 && rule.values[0].value == "yes" && rule.values[1].value == "no";
  if (yesNo && (scanEqualsNoCase(value, "on") || scanEqualsNoCase(value, "off"))) return "";
  return strFormat("Unrecognised value '%.*s' for '%s' parameter", static_cast<int>(value.size()), value.data(),
                   rule.name.c_str());
}

std::string noValuesMessage(const ValueRule &rule) {
  return strFormat("Parameter '%s' does not have any values", rule.name.c_str());
}

std::string checkItem(const ValueRule &rule, const ParsedItem &item) {
  if (!item.hasValue) {
    if (rule.values.empty()) return "";
    for (const auto &v : rule.values)
      if (v.value.empty()) return "";
    return strFormat("Missing value for parameter '%s'", item.name.c_str());
  }
  if (rule.values.empty()) return noValuesMessage(rule);
  if (!(rule.flags & kOperandList)) return checkValue(rule, item.value);
  size_t start = 0;
  while (start <= item.value.size()) {
    size_t comma = item.value.find(',', start);
    std::string part = item.value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    part.erase(0, part.find_first_not_of(" ,\r\n"));
    part.erase(part.find_last_not_of(" ,\r\n") + 1);
    if (!part.empty())
      if (std::string err = checkValue(rule, part); !err.empty()) return err;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return "";
}

// The rows of a listing in the one help format: " name - description", names padded.
std::vector<std::string> helpRows(std::vector<std::string> lines,
                                  const std::vector<std::pair<std::string, std::string>> &rows) {
  size_t width = 0;
  for (const auto &[name, description] : rows) width = std::max(width, name.size());
  for (const auto &[name, description] : rows)
    lines.push_back(strFormat("%*s%-*s - %s", 1, "", static_cast<int>(width), name.c_str(), description.c_str()));
  return lines;
}

// A value row as help shows it: placeholders by the rule's type label ("<age>").
std::pair<std::string, std::string> valueHelpRow(const LocalValue &v, const std::string &label) {
  bool placeholder = v.value == "<value>" || v.value == "<number>";
  std::string shown = v.value.empty() ? "(no value)" : placeholder && !label.empty() ? label : v.value;
  std::string description = v.description;
  if (description.empty() && v.value == "<value>") description = "Any text";
  if (description.empty() && v.value == "<number>") description = "A number";
  return {shown, description};
}

std::vector<std::string> valueHelp(const ValueRule &rule) {
  std::string label = !rule.values.empty() && rule.values[0].value == "!t" ? rule.values[0].description : "";
  std::vector<std::pair<std::string, std::string>> rows;
  for (const auto &v : rule.values)
    if (v.value != "!t" && v.listed) rows.push_back(valueHelpRow(v, label));
  return helpRows({"where values are:"}, rows);
}

std::vector<std::string> commandHelp(const LocalCommand &cmd) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const auto &op : cmd.operands)
    if (op.listed) rows.emplace_back(op.name, op.description);
  if (rows.empty())
    return {"Command syntax:", strFormat("\"%s\" - %s", cmd.name.c_str(), cmd.description.c_str()),
            "The command has no parameters"};
  return helpRows({"Command syntax:", strFormat("\"%s <parms>\" - %s", cmd.name.c_str(), cmd.description.c_str()),
                   "where <parms> are:"},
                  rows);
}

const LocalOperand *findOperand(const LocalCommand &cmd, std::string_view name) {
  for (const auto &op : cmd.operands)
    if (scanEqualsNoCase(op.name, name)) return &op;
  return nullptr;
}

SyntaxResult helpResult(std::vector<std::string> lines) { return {false, true, std::move(lines)}; }
SyntaxResult errorResult(std::string line) { return {false, false, {std::move(line)}}; }

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
  std::vector<std::pair<std::string, std::string>> rows;
  for (const auto &row : localCommandTable())
    if (row.listed) rows.emplace_back(row.name, row.description);
  return helpRows({"Commands available are:"}, rows);
}

SyntaxResult checkLocalCommand(std::string_view text, ParsedCommand &out) {
  out = ParsedCommand{};
  out.text = std::string(text);
  if (scanTrim(text) == "=?") return helpResult(localCommandList());
  bool help = false;
  if (std::string err = splitLocalItems(text, out.items, help); !err.empty()) return errorResult(err);
  if (out.items.empty()) return help ? helpResult(localCommandList()) : SyntaxResult{};
  const LocalCommand *cmd = findLocalCommand(out.items[0].name);
  if (!cmd) return errorResult(strFormat("Unrecognised command '%s'", out.items[0].name.c_str()));
  out.command = cmd;
  for (size_t i = 0; i < out.items.size(); ++i) {
    const ParsedItem &item = out.items[i];
    const LocalOperand *op = i == 0 ? nullptr : findOperand(*cmd, item.name);
    if (i > 0 && !op) return errorResult(strFormat("Unrecognised parameter '%s'", item.name.c_str()));
    ValueRule rule = op ? operandRule(*op) : ownValueRule(*cmd);
    if (item.hasValue && item.value == "?")
      return rule.values.empty() ? errorResult(noValuesMessage(rule)) : helpResult(valueHelp(rule));
    if (i == 0 && !item.hasValue) continue;   // the own value may always be left out
    if (std::string e = checkItem(rule, item); !e.empty()) return errorResult(e);
  }
  if (help) return helpResult(commandHelp(*cmd));
  SyntaxResult ok;
  ok.ok = true;
  return ok;
}
