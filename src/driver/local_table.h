// The table of local (=) commands. It drives the syntax check, the on-line help and
// dispatch, in the way tmux's command entries do: one row per command, each offered
// complete (handler included) by the subsystem that answers it.
#pragma once
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "context/local_command.h"

struct ProgramContext;
struct InputSource;

// The rows every subsystem offers, joined once and in listing order.
const std::vector<LocalCommand> &localCommandTable();
const LocalCommand *findLocalCommand(std::string_view name);

struct SyntaxResult {
  bool ok = false;
  bool help = false;               // a "?" asked for help: `lines` holds it
  std::vector<std::string> lines;  // error or help lines
};

// Splits `text` into items and checks them against the table.
SyntaxResult checkLocalCommand(std::string_view text, ParsedCommand &out);

// "=?" : the list of commands.
std::vector<std::string> localCommandList();

// The order =? lists the commands in; a row it does not name follows them.
std::span<const char *const> localCommandListingOrder();
