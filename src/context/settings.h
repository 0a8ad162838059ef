// Program settings: the values, the table that drives =set, =colour, =cache and
// =show scroll, and the settings screen.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Switch bits of the options word.
enum OptionBits : uint32_t {
  kOptSound = 1,
  kOptMouseCursor = 2,
  kOptScroll = 4,
  kOptFormatting = 8,
  kOptAuthMsgs = 16,
  kOptWrap = 32,
  kOptTimestamp = 64,
  kOptCaseWhere = 128,
  kOptDisTotals = 256,
  kOptAutoSep = 512,
  kOptBright = 1024,
  kOptColours = 2048,
  kOptWeakCipher = 4096,
  kOptCaseSort = 8192,
};
inline constexpr uint32_t kOptionsMask = 0x3FFF;
inline constexpr uint32_t kOptionsDefault = 0xA4D;

inline constexpr int32_t kUnlimitedResponses = 999999999;
inline constexpr int kColourSlots = 11;

// The `outformat` setting: today's text layout, or one JSON object per line.
enum OutputFormat : int32_t { kOutputText = 0, kOutputJson = 1 };

enum Separator : int32_t { kSepMsg = 0, kSepNone = 1, kSepBlank = 2, kSepDotted = 3, kSepSolid = 4 };

struct ColourPair {
  int16_t fg;
  int16_t bg;
};

struct Settings {
  uint32_t options = kOptionsDefault;
  int32_t cmdhist = 50;
  int32_t colstyle = 0;
  int32_t columns = 0;
  int32_t colwidth = 20;
  int32_t defmaxresp = kUnlimitedResponses;
  std::string filepath;
  int32_t history = 20000;
  int32_t jsonfields = 2;
  int32_t listval = 0;
  int32_t outformat = kOutputText;  // chosen per run (-o, =set): not saved
  std::string prompt = "%eTOLK:%e%m>";
  int32_t respwait = 30;
  int32_t respwaiti = 2;
  int32_t detsep = kSepSolid;
  int32_t vercheck = 2;
  int64_t vercheckti = 0;      // time of the last version check; 0 = never
  std::string latver, latbld;  // latest version and build found
  int32_t maxagel = 60;
  int32_t maxager = 1800;
  ColourPair colours[kColourSlots] = {{7, 0}, {7, 4}, {6, -1}, {-1, -1}, {7, 1}, {1, 7},
                                      {7, 2}, {2, 1}, {7, -1}, {6, 1},   {2, -1}};

  bool on(uint32_t bit) const { return (options & bit) != 0; }
  bool json() const { return outformat == kOutputJson; }
};

enum class SettingType { Text = 1, Number = 2, Switch = 3, Choice = 4, Heading = 5, Special = 6, ColourSwitch = 7 };

struct ChoiceValue {
  const char *name;
  int32_t value;
};

struct SettingRow {
  const char *group;  // "set", "cache", "colour", "show"; nullptr for headings
  const char *name;   // for headings: the title
  SettingType type;
  const char *description;
  int32_t Settings::*number = nullptr;
  std::string Settings::*text = nullptr;
  size_t textSize = 0;  // field size; text is cut to textSize - 1
  uint32_t bit = 0;
  int32_t min = 0, max = 0;
  const ChoiceValue *choices = nullptr;  // terminated by {nullptr, 0}
  int colourSlot = -1;                   // colour choice rows
  bool background = false;
};

const std::vector<SettingRow> &settingTable();
const ChoiceValue *colourNames();
const char *colourName(int value);
int colourByName(std::string_view name);  // unknown names give the default colour (-1)

struct SetResult {
  bool changed = false;
  std::string message;  // "%s setting changed", or the error
  bool error = false;
};

// Applies one setting of `group` by name. Unknown names give changed=false and no message.
SetResult applySetting(Settings &s, std::string_view group, std::string_view name, std::string_view value);

// Value of a row as the settings screen shows it.
std::string settingValueText(const Settings &s, const SettingRow &row);
// The settings screen body: one line per row, headings as titles.
std::vector<std::string> settingsScreenLines(const Settings &s, bool terminalHasColour);

// Foreground/background of curses pairs 1..10 after the colour rules.
ColourPair effectiveColourPair(const Settings &s, int pair);
