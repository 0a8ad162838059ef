// Handlers of the local commands owned by the driver; installed into the local
// command table at start-up.
#pragma once
#include <string>
#include <vector>

struct ProgramContext;

void registerDriverHandlers();

// The summary line "MQSC Command summary - Issued: %u ..." for the given summary bits;
// `endOfRun` applies the non-zero conditions and ignores NONE. Empty when nothing is selected.
std::string commandSummaryLine(const ProgramContext &ctx, bool endOfRun);

// Splits a parameter text at commas outside quotes and brackets (=import parms, synonyms).
std::vector<std::string> splitParameters(const std::string &text);

// Expands a synonym invocation; returns false when `text` is not one.
bool runSynonym(ProgramContext &ctx, const std::string &text);
