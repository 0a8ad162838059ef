// Per-command dispatch: cslIssueCommand routes one complete command to the local
// command dispatcher, the MQSC path (mqsc_issue.h) or the statements that live here.
#pragma once
#include <string>
#include <string_view>

struct ProgramContext;
struct InputSource;

struct CommandRecord;

void cslIssueCommand(ProgramContext &ctx, std::string_view text);

// Keeps what scripts read of the latest MQSC command (_cmdok, _responses, _lastcmdresp,
// _matches and the attributes of the last record shown).
void noteCommandRecord(ProgramContext &ctx, CommandRecord &record);

// `source` is the input source the command came from (nullptr: none); `issueSource`
// is IssueFromUser or IssueFromStartup.
void cslIssueLocalCommand(ProgramContext &ctx, InputSource *source, std::string_view text, int issueSource);

// Runs `text` as a string input source (initial commands, synonyms).
void runStringSource(ProgramContext &ctx, const std::string &text, const std::string &name = "");
