// The table of local (=) commands. It drives the syntax check, the on-line help and
// dispatch, in the way tmux's command entries do: one row per command.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "context/local_command.h"

struct ProgramContext;
struct InputSource;

struct LocalValue {
  std::string value;          // "!t" (type label), "<value>", "<number>", "" (no value), or a keyword
  std::string description;
  bool listed = true;         // shown when the values are listed (accepted either way)
};

enum LocalOperandFlags : unsigned { kOperandList = 1 };

// Rows the program uses itself, or that only diagnose it, are kept out of help and
// the command list.
inline constexpr bool kUnlisted = false;

struct LocalOperand {
  std::string name;
  std::string description;
  std::vector<LocalValue> values;   // empty: the operand takes no value
  unsigned flags = 0;
  bool listed = true;               // shown in help
};

struct LocalCommand {
  std::string name;
  std::string description;
  std::vector<LocalOperand> operands;
  std::vector<LocalValue> ownValues;  // values of the command's own bracketed value (none: it takes none)
  LocalHandler handler = nullptr;
  bool listed = true;                 // shown by =? and the Help screen
};

std::vector<LocalCommand> &localCommandTable();
const LocalCommand *findLocalCommand(std::string_view name);

struct SyntaxResult {
  bool ok = false;
  bool help = false;                   // a "?" asked for help: `lines` holds it
  std::vector<std::string> lines;      // error or help lines
};

// Splits `text` into items and checks them against the table.
SyntaxResult checkLocalCommand(std::string_view text, ParsedCommand &out);

// "=?" : the list of commands.
std::vector<std::string> localCommandList();

// Installs a handler for a row (subsystems register theirs at start-up).
void setLocalHandler(std::string_view name, LocalHandler handler);
