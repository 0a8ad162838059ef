#include "context/settings.h"
#include "runtime/scan.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr ChoiceValue kColourNames[] = {{"default", -1}, {"black", 0},   {"blue", 1},   {"red", 4},   {"green", 2},
                                        {"cyan", 3},     {"magenta", 5}, {"yellow", 6}, {"white", 7}, {nullptr, 0}};
constexpr ChoiceValue kColStyles[] = {{"auto", 0}, {"fixed", 1}, {"content", 2}, {nullptr, 0}};
constexpr ChoiceValue kJsonFields[] = {{"all", 1}, {"min", 2}, {"date", 3}, {nullptr, 0}};
constexpr ChoiceValue kListVal[] = {{"peritem", 0}, {"one", 1}, {nullptr, 0}};
constexpr ChoiceValue kOutFormats[] = {{"text", kOutputText}, {"json", kOutputJson}, {nullptr, 0}};
constexpr ChoiceValue kSeparators[] = {{"msg", 0},    {"none", 1},  {"blank", 2},
                                       {"dotted", 3}, {"solid", 4}, {nullptr, 0}};
constexpr ChoiceValue kVerCheck[] = {{"no", 0}, {"version", 1}, {"build", 2}, {nullptr, 0}};

SettingRow heading(const char *title) { return SettingRow{nullptr, title, SettingType::Heading, nullptr}; }

SettingRow switchRow(const char *group, const char *name, uint32_t bit, const char *desc,
                     SettingType type = SettingType::Switch) {
  SettingRow r{group, name, type, desc};
  r.bit = bit;
  return r;
}

SettingRow numberRow(const char *group, const char *name, int32_t Settings::*field, int32_t min, int32_t max,
                     const char *desc, SettingType type = SettingType::Number) {
  SettingRow r{group, name, type, desc};
  r.number = field;
  r.min = min;
  r.max = max;
  return r;
}

SettingRow choiceRow(const char *group, const char *name, int32_t Settings::*field, const ChoiceValue *choices,
                     const char *desc) {
  SettingRow r{group, name, SettingType::Choice, desc};
  r.number = field;
  r.choices = choices;
  return r;
}

SettingRow textRow(const char *name, std::string Settings::*field, size_t size, const char *desc) {
  SettingRow r{"set", name, SettingType::Text, desc};
  r.text = field;
  r.textSize = size;
  return r;
}

SettingRow colourRow(const char *name, int slot, bool background) {
  SettingRow r{"colour", name, SettingType::Choice,
               background ? "Set the background colour" : "Set the foreground colour"};
  r.choices = kColourNames;
  r.colourSlot = slot;
  r.background = background;
  return r;
}

std::vector<SettingRow> buildTable() {
  std::vector<SettingRow> t;
  t.push_back(heading(""));
  t.push_back(heading("General Settings"));
  t.push_back(heading("----------------"));
  t.push_back(switchRow("set", "authmsgs", kOptAuthMsgs, "Set whether authorisation failure messages are displayed"));
  t.push_back(switchRow("set", "autosep", kOptAutoSep, "Set whether display of separators is conditional"));
  t.push_back(
      numberRow("set", "cmdhist", &Settings::cmdhist, 3, 1000, "Set the maximum number of command history entries"));
  t.push_back(choiceRow("set", "colstyle", &Settings::colstyle, kColStyles, "Set the style of columns"));
  t.push_back(
      numberRow("set", "columns", &Settings::columns, 1, 50, "Set the number of columns", SettingType::Special));
  t.push_back(numberRow("set", "colwidth", &Settings::colwidth, 5, 200, "Set the 'fixed' column width"));
  t.push_back(switchRow("set", "cssort", kOptCaseSort, "Set case sensitivity of =SORT() clause"));
  t.push_back(switchRow("set", "cswhere", kOptCaseWhere, "Set case sensitivity of =WHERE() clause"));
  t.push_back(numberRow("set", "defmaxresp", &Settings::defmaxresp, 1, kUnlimitedResponses,
                        "Set the default number of response to be shown for DISPLAY", SettingType::Special));
  t.push_back(
      switchRow("set", "distotals", kOptDisTotals, "Set whether totals should be displayed after DISPLAY command"));
  t.push_back(textRow("filepath", &Settings::filepath, 300, "Set the default import file path"));
  t.push_back(switchRow("set", "formatting", kOptFormatting, "Set whether MQSC output is formatted"));
  t.push_back(
      numberRow("set", "history", &Settings::history, 100, 1000000, "Set the maximum number of output history lines"));
  t.push_back(choiceRow("set", "jsonfields", &Settings::jsonfields, kJsonFields,
                        "Set the output format of the CCDT JSON file"));
  t.push_back(choiceRow("set", "listval", &Settings::listval, kListVal, "Set how MQSC lists are displayed"));
  t.push_back(switchRow("set", "mcursor", kOptMouseCursor, "Set whether mouse click sets cursor position"));
  t.push_back(choiceRow("set", "outformat", &Settings::outformat, kOutFormats,
                        "Set the output format: text, or json for one JSON object per line"));
  t.push_back(textRow("prompt", &Settings::prompt, 100, "Set the prompt format"));
  t.push_back(
      numberRow("set", "respwait", &Settings::respwait, 1, 1000, "Set the response wait in seconds in file mode"));
  t.push_back(
      numberRow("set", "respwaiti", &Settings::respwaiti, 1, 1000, "Set the response wait in seconds in the console"));
  t.push_back(switchRow("show", "scroll", kOptScroll, "Changes whether scroll indicators are shown"));
  t.push_back(choiceRow("set", "separator", &Settings::detsep, kSeparators, "Set the object list separator"));
  t.push_back(switchRow("set", "sound", kOptSound, "Set whether errors should cause a beep"));
  t.push_back(switchRow("set", "timestamp", kOptTimestamp, "Set whether timestamps are displayed alongside commands"));
  t.push_back(choiceRow("set", "vercheck", &Settings::vercheck, kVerCheck, "Set what the version check looks for"));
  t.push_back(switchRow("set", "weakciph", kOptWeakCipher, "Set whether weak cipher spec values are shown"));
  t.push_back(switchRow("set", "wrap", kOptWrap, "Set whether MQSC output is wrapped"));
  t.push_back(heading(""));
  t.push_back(heading("Object Cache Settings"));
  t.push_back(heading("---------------------"));
  t.push_back(numberRow("cache", "maxagel", &Settings::maxagel, 0, 500000,
                        "Set the maximum age of object cache for local Queue Managers"));
  t.push_back(numberRow("cache", "maxager", &Settings::maxager, 0, 500000,
                        "Set the maximum age of object cache for remote Queue Managers"));
  t.push_back(heading(""));
  t.push_back(heading("Colour Settings"));
  t.push_back(heading("---------------"));
  t.push_back(switchRow("colour", "bright", kOptBright, "Set whether colours should be bright or not"));
  t.push_back(switchRow("colour", "colours", kOptColours, "Set whether colours are shown", SettingType::ColourSwitch));
  static const struct {
    const char *name;
    int slot;
    bool background;
  } kColourRows[] = {{"fgcommand", 4, false}, {"bgcommand", 4, true}, {"fgdefault", 0, false}, {"bgdefault", 0, true},
                     {"fgerror", 1, false},   {"bgerror", 1, true},   {"fginput", 2, false},   {"bginput", 2, true},
                     {"fgmsgs", 10, false},   {"bgmsgs", 10, true},   {"fgoutput", 3, false},  {"bgoutput", 3, true},
                     {"fgprompt", 7, false},  {"bgprompt", 7, true},  {"fgscroll", 9, false},  {"bgscroll", 9, true}};
  for (const auto &c : kColourRows) t.push_back(colourRow(c.name, c.slot, c.background));
  return t;
}

bool allDigits(std::string_view v) {
  return !v.empty() && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool parseNumber(std::string_view v, int64_t &out) {
  if (!allDigits(v) || v.size() > 12) return false;
  out = 0;
  for (char c : v) out = out * 10 + (c - '0');
  return true;
}

std::string format(const char *fmt, const char *name, int32_t a, int32_t b) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, name, a, b);
  return buf;
}

int16_t &colourField(Settings &s, const SettingRow &row) {
  return row.background ? s.colours[row.colourSlot].bg : s.colours[row.colourSlot].fg;
}

SetResult setSpecial(Settings &s, const SettingRow &row, std::string_view value) {
  SetResult r;
  int64_t n = 0;
  bool isColumns = std::string_view(row.name) == "columns";
  const char *keyword = isColumns ? "auto" : "unlimited";
  int32_t keywordValue = isColumns ? 0 : kUnlimitedResponses;
  if (scanEqualsNoCase(value, keyword)) {
    s.*row.number = keywordValue;
  } else if (parseNumber(value, n) && (n == 0 || (n >= row.min && n <= row.max))) {
    s.*row.number = static_cast<int32_t>(n);
  } else {
    r.error = true;
    r.message = format(isColumns ? "Please enter a value for '%s' between %d and %d or 'auto'"
                                 : "Please enter a value for '%s' between %d and %d or 'unlimited'",
                       row.name, row.min, row.max);
    return r;
  }
  r.changed = true;
  return r;
}

SetResult setRow(Settings &s, const SettingRow &row, std::string_view value) {
  SetResult r;
  switch (row.type) {
  case SettingType::Text: {
    std::string v(value.substr(0, row.textSize - 1));
    s.*row.text = v;
    r.changed = true;
    break;
  }
  case SettingType::Number: {
    int64_t n = 0;
    if (!parseNumber(value, n) || n < row.min || n > row.max) {
      r.error = true;
      r.message = format("Please enter a value for '%s' between %d and %d", row.name, row.min, row.max);
      return r;
    }
    s.*row.number = static_cast<int32_t>(n);
    r.changed = true;
    break;
  }
  case SettingType::Switch:
  case SettingType::ColourSwitch:
    if (scanEqualsNoCase(value, "on")) s.options |= row.bit;
    else s.options &= ~row.bit;
    r.changed = true;
    break;
  case SettingType::Choice:
    for (const ChoiceValue *c = row.choices; c->name; ++c) {
      if (scanEqualsNoCase(value, c->name)) {
        if (row.colourSlot >= 0) colourField(s, row) = static_cast<int16_t>(c->value);
        else s.*row.number = c->value;
        r.changed = true;
        break;
      }
    }
    break;  // a name not in the list changes nothing and shows nothing
  case SettingType::Special: r = setSpecial(s, row, value); break;
  default:
    r.error = true;
    r.message = "Sorry, type not supported";
    return r;
  }
  if (r.changed) r.message = std::string(row.name) + " setting changed";
  return r;
}

}  // namespace

const std::vector<SettingRow> &settingTable() {
  static const std::vector<SettingRow> table = buildTable();
  return table;
}

const ChoiceValue *colourNames() { return kColourNames; }

const char *colourName(int value) {
  for (const ChoiceValue *c = kColourNames; c->name; ++c)
    if (c->value == value) return c->name;
  return "default";
}

int colourByName(std::string_view name) {
  for (const ChoiceValue *c = kColourNames; c->name; ++c)
    if (scanEqualsNoCase(name, c->name)) return c->value;
  return -1;
}

SetResult applySetting(Settings &s, std::string_view group, std::string_view name, std::string_view value) {
  for (const auto &row : settingTable()) {
    if (row.type == SettingType::Heading || group != row.group || !scanEqualsNoCase(name, row.name)) continue;
    return setRow(s, row, value);
  }
  return {};
}

std::string settingValueText(const Settings &s, const SettingRow &row) {
  switch (row.type) {
  case SettingType::Text: return s.*row.text;
  case SettingType::Number: return std::to_string(s.*row.number);
  case SettingType::Switch:
  case SettingType::ColourSwitch: return s.on(row.bit) ? "on" : "off";
  case SettingType::Choice: {
    int32_t v = row.colourSlot >= 0 ? (row.background ? s.colours[row.colourSlot].bg : s.colours[row.colourSlot].fg)
                                    : s.*row.number;
    for (const ChoiceValue *c = row.choices; c->name; ++c)
      if (c->value == v) return c->name;
    return std::to_string(v);
  }
  case SettingType::Special: {
    int32_t v = s.*row.number;
    if (std::string_view(row.name) == "columns" && v == 0) return "auto";
    if (v == kUnlimitedResponses) return "unlimited";
    return std::to_string(v);
  }
  default: return "";
  }
}

std::vector<std::string> settingsScreenLines(const Settings &s, bool terminalHasColour) {
  size_t width = 0;
  for (const auto &row : settingTable())
    if (row.type != SettingType::Heading) width = std::max(width, std::string_view(row.name).size());
  std::vector<std::string> lines;
  for (const auto &row : settingTable()) {
    if (row.type == SettingType::Heading) {
      lines.emplace_back(row.name);
      continue;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%-*s: ", static_cast<int>(width), row.name);
    std::string line = buf + settingValueText(s, row);
    if (row.type == SettingType::ColourSwitch && !terminalHasColour) line += " (Terminal does not support colours)";
    lines.push_back(std::move(line));
  }
  return lines;
}

ColourPair effectiveColourPair(const Settings &s, int pair) {
  ColourPair base = s.colours[0];
  ColourPair c = s.on(kOptColours) ? s.colours[pair] : base;
  if (c.fg == -1) c.fg = base.fg;
  if (c.bg == -1) c.bg = base.bg;
  if (c.fg == c.bg) c.fg = (c.bg == 7) ? 0 : 7;
  return c;
}
