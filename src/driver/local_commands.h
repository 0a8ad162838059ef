// The local command dispatcher, and what other parts of the program ask of the local
// commands the driver owns.
#pragma once
#include <string>
#include <string_view>
#include <vector>

struct ProgramContext;
namespace kvarn::script {
struct ImportRequest;
}

// The summary line "MQSC Command summary - Issued: %u ..." for the given summary bits;
// `endOfRun` applies the non-zero conditions and ignores NONE. Empty when nothing is selected.
std::string commandSummaryLine(const ProgramContext &ctx, bool endOfRun);

// Reads an =import command's operands without reporting (the compiler carries an
// =import out while compiling); false when the command is not a valid =import.
bool parseImportCommand(ProgramContext &ctx, std::string_view text, kvarn::script::ImportRequest &request);

// Expands a synonym invocation; returns false when `text` is not one.
bool runSynonym(ProgramContext &ctx, const std::string &text);
