// The terminal under the console: curses opened on the wide-character library, the
// colour pairs of the settings' colour slots, and keystrokes read and translated from
// what curses reports into the key table's codes (the configuration's code space).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "console/console_settings.h"
#include "context/context.h"

struct ConsoleState;

// Opens curses on the terminal. False, with the reason, when it cannot (TERM unset,
// unknown or without cursor addressing).
bool openTerminal(ConsoleState &console, std::string &why);
// The same on given streams (a benchmark paints into /dev/null).
bool openTerminalOn(ConsoleState &console, FILE *out, FILE *in, std::string &why);
void closeTerminal(ConsoleState &console);
// The colour pairs from the settings (after =colour).
void applyColours(ConsoleState &console);
void beep(ConsoleState &console);

// One keystroke, as the input loop takes it.
struct Keystroke {
  enum Kind { None, Character, Key, Resize, Mouse, Wake } kind = None;
  char32_t character = 0;
  KeyStroke key;  // code and modifiers in the key table's numbering, or an escape sequence
  int mouseRow = 0, mouseColumn = 0;
  bool doubleClick = false;
};

// Waits up to `tenths` tenths of a second for a keystroke (or a wake-up from another
// thread, or a resize).
Keystroke readKeystroke(ConsoleState &console, int tenths);

// A window resize wakes the console's wait on `wakeFd` at once, whichever thread the
// signal reaches (curses' own handling of it still runs).
void watchResize(int wakeFd);
void stopWatchingResize();

// Sends text to the terminal's clipboard (OSC 52) when the terminal may take it.
void copyToTerminalClipboard(const std::string &text);
