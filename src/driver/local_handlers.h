// The local commands the driver owns, in files by concern: each file offers its rows
// (syntax, help and handler together) for the local command table (local_table.cpp).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "context/local_command.h"

struct ProgramContext;
namespace kvarn::script {
struct ImportRequest;
}

// setting_commands.cpp: =set, =colour, =cache.
std::vector<LocalCommand> settingLocalCommands();

// import_command.cpp: =import.
std::vector<LocalCommand> importLocalCommands();
// Reads an =import command's operands without reporting (the compiler carries an
// =import out while compiling); false when the command is not a valid =import.
bool parseImportCommand(ProgramContext &ctx, std::string_view text, kvarn::script::ImportRequest &request);

// ccdt_commands.cpp: =ccdt, =ccdtj, =merge.
std::vector<LocalCommand> ccdtLocalCommands();

// output_commands.cpp: what is echoed, counted and copied, and the line buffer
// (=echo, =count, =output, =cls, =purge).
std::vector<LocalCommand> outputLocalCommands();
// =cls: scrolls earlier output out of view with empty lines.
void clearScreen(ProgramContext &ctx);
// The summary line "MQSC Command summary - Issued: %u ..." for the given summary bits;
// `endOfRun` applies the non-zero conditions and ignores NONE. Empty when nothing is selected.
std::string commandSummaryLine(const ProgramContext &ctx, bool endOfRun);

// fleet_command.cpp: =fleet.
std::vector<LocalCommand> fleetLocalCommands();
// The queue managers named by the client-connection channels of a channel table
// (binary or JSON), each once, in table order. False, with `message`, when the table
// cannot be read.
bool ccdtQmgrNames(const std::string &path, std::vector<std::string> &names, std::string &message);
// The queue managers with a directory in `directory` (a qmsim home), sorted, each once
// (after those already in `names`). False, with `message`, when it cannot be read.
bool homeQmgrNames(const std::string &directory, std::vector<std::string> &names, std::string &message);

// repeat_command.cpp: =repeat at the console.
std::vector<LocalCommand> repeatLocalCommands();

// show_command.cpp: =show and its operands.
std::vector<LocalCommand> showLocalCommands();
// The machine details (=show machine, the end of the Help screen).
std::vector<std::string> machineDetails(ProgramContext &ctx);

// synonyms.cpp: =syn.
std::vector<LocalCommand> synonymLocalCommands();
