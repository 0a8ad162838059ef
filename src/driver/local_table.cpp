#include "driver/local_table.h"

#include <algorithm>
#include <cctype>

#include "console/key_commands.h"
#include "context/output.h"
#include "driver/local_handlers.h"
#include "driver/mqsc_issue.h"
#include "runtime/scan.h"
#include "transport/connection_commands.h"

namespace {

// The listing keeps the order users know; rows are found by name, so this order only
// places them.
constexpr const char *kListingOrder[] = {
    "=cache", "=ccdt",   "=ccdtj", "=cls",    "=clear",  "qdepth", "qempty",   "=colour", "=conn",
    "=count", "=disc",   "=echo",  "=fleet",  "=import", "=key",   "=keyname", "=merge",  "=tolk",
    "=mqsc",  "=output", "=purge", "=repeat", "=set",    "=show",  "=syn",     "end",     "quit",
};

size_t listingPosition(const std::string &name) {
  const auto *it = std::find_if(std::begin(kListingOrder), std::end(kListingOrder),
                                [&](const char *listed) { return name == listed; });
  return static_cast<size_t>(it - std::begin(kListingOrder));
}

std::vector<LocalCommand> buildTable() {
  std::vector<LocalCommand> table;
  for (const auto &family :
       {settingLocalCommands(), outputLocalCommands(), importLocalCommands(), ccdtLocalCommands(),
        repeatLocalCommands(), showLocalCommands(), synonymLocalCommands(), transportLocalCommands(),
        fleetLocalCommands(), endLocalCommands(), consoleLocalCommands()})
    table.insert(table.end(), family.begin(), family.end());
  std::stable_sort(table.begin(), table.end(), [](const LocalCommand &a, const LocalCommand &b) {
    return listingPosition(a.name) < listingPosition(b.name);
  });
  return table;
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

}  // namespace

const std::vector<LocalCommand> &localCommandTable() {
  static const std::vector<LocalCommand> table = buildTable();
  return table;
}

std::span<const char *const> localCommandListingOrder() { return kListingOrder; }

const LocalCommand *findLocalCommand(std::string_view name) {
  for (const auto &row : localCommandTable())
    if (scanEqualsNoCase(row.name, name)) return &row;
  return nullptr;
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
    if (i == 0 && !item.hasValue) continue;  // the own value may always be left out
    if (std::string e = checkItem(rule, item); !e.empty()) return errorResult(e);
  }
  if (help) return helpResult(commandHelp(*cmd));
  SyntaxResult ok;
  ok.ok = true;
  return ok;
}
