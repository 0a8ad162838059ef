#include "console/history.h"

#include <algorithm>

#include "console/console_settings.h"
#include "console/console_state.h"
#include "console/editing.h"
#include "runtime/scan.h"

void addToHistory(ConsoleState &c, std::string_view command) { addCommandHistory(*c.ctx, command); }

void recallCommand(ConsoleState &c, int direction) {
  const std::vector<std::string> &history = consoleSettingsOf(*c.ctx).history;  // oldest first
  if (!c.recalling) {
    std::string key = commandUtf8(c.text.substr(0, std::min(c.cursor, c.text.size())));
    if (c.cursor > c.text.size()) key.append(c.cursor - c.text.size(), ' ');
    size_t lead = key.find_first_not_of(' ');
    key = lead == std::string::npos ? std::string() : key.substr(lead);
    c.recallContains = !key.empty() && key[0] == '#';
    c.recallKey = c.recallContains ? key.substr(1) : key;
    c.recallIndex = static_cast<int>(history.size());
    c.recalling = true;
  }
  std::string current = commandText(c);
  int index = c.recallIndex;
  for (;;) {
    index += direction;
    if (index < 0 || index >= static_cast<int>(history.size())) break;
    const std::string &entry = history[static_cast<size_t>(index)];
    if (scanEqualsNoCase(entry, current)) continue;
    bool match = c.recallContains ? scanContainsNoCase(entry, c.recallKey) : scanStartsWithNoCase(entry, c.recallKey);
    if (!match) continue;
    c.recallIndex = index;
    c.text = commandChars(entry);
    c.cursor = c.text.size();
    c.selecting = false;
    c.cursorInOutput = false;
    c.dirty = true;
    return;
  }
  const char *way = direction < 0 ? "previous" : "next";
  std::string text;
  if (c.recallKey.empty() && !c.recallContains) text = std::string("No ") + way + " command found";
  else if (c.recallContains)
    text = std::string("No ") + way + " command containing characters '" + c.recallKey + "' found";
  else text = std::string("No ") + way + " command matching prefix '" + c.recallKey + "' found";
  showMessage(c, text);
}
