// What the console keeps from run to run, in the configuration file: the command
// history, the user's key names and key assignments; and what =show asks of the screen.
// Kept in the program context in file mode too, where =key, =keyname and the
// configuration file work on them without a screen.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "context/context.h"
#include "context/output.h"

// A keystroke: a curses key code with its modifier mask (1 Shift, 2 Ctrl, 4 Alt), or
// the bytes of a terminal escape sequence (code 0).
struct KeyStroke {
  uint32_t code = 0;
  uint32_t modifiers = 0;
  std::string escape;
  bool empty() const { return code == 0 && modifiers == 0 && escape.empty(); }
  bool operator==(const KeyStroke &) const = default;
};

// A key name the user added (=keyname), kept in name order without regard to case.
struct KeyNameEntry {
  std::string name;
  std::string seq;   // the sequence as written in the configuration file
  KeyStroke stroke;  // what it reads as (empty when the text could not be read)
};

// A key whose assignment differs from its default: an action (empty: no action at
// all) or a command. Kept in byte order of the key name.
struct KeyBindingEntry {
  std::string key, action, command;
  uint32_t options = 0;  // a command key's flags (clear, noenter, nolog)
  bool isCommand = false;
};

// What the full-screen console shows, as =show sets it.
struct ConsoleView {
  int32_t rows = 25;  // lines of the screen
  Screen screen = kScreenMqsc;
  bool showKeys = false;   // the key-pressed information
  bool showParse = false;  // the command-line parse information
  bool redrawWanted = false;
  bool repeating = false;  // an =repeat is running
  std::string message;     // the command area's message ("Repeating command ...")
};

struct ConsoleSettings : ContextPart {
  std::vector<std::string> history;  // oldest first
  std::vector<KeyNameEntry> keyNames;
  std::vector<KeyBindingEntry> keyBindings;
  ConsoleView view;
};

// The console settings of a context, created on first use.
ConsoleSettings &consoleSettingsOf(ProgramContext &ctx);
const ConsoleSettings &consoleSettingsOf(const ProgramContext &ctx);

// Adds a command to the command history (newest last): empty commands, end and quit are
// not kept; one equal to an entry without regard to case replaces it as the newest, in
// its new letter case; the oldest entries go while there are more than the cmdhist setting.
void addCommandHistory(ProgramContext &ctx, std::string_view command);
