// The local commands the driver owns, in files by concern: each file offers its rows
// (syntax, help and handler together) for the local command table (local_table.cpp).
#pragma once
#include <vector>

#include "context/local_command.h"

// local_commands.cpp: =set, =colour, =cache; =import; =ccdt, =ccdtj, =merge.
std::vector<LocalCommand> settingLocalCommands();
std::vector<LocalCommand> importLocalCommands();
std::vector<LocalCommand> ccdtLocalCommands();

// output_commands.cpp: what is echoed, counted and copied, and the line buffer
// (=echo, =count, =output, =cls, =purge).
std::vector<LocalCommand> outputLocalCommands();
// =cls: scrolls earlier output out of view with empty lines.
void clearScreen(ProgramContext &ctx);

// repeat_command.cpp: =repeat at the console.
std::vector<LocalCommand> repeatLocalCommands();

// show_command.cpp: =show and its operands.
std::vector<LocalCommand> showLocalCommands();

// synonyms.cpp: =syn.
std::vector<LocalCommand> synonymLocalCommands();
