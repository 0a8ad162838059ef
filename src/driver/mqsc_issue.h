// The one path by which an MQSC command leaves the program: the dispatcher and a
// script's foreach both issue through issueMqsc, which decides what becomes of the
// command (end of run, the start-up connection still owed, the command record) before
// the transport hands it to the current connection.
#pragma once
#include <memory>
#include <string_view>
#include <vector>

#include "context/context.h"
#include "context/local_command.h"

struct CommandRecord;

enum class MqscIssueOutcome {
  Answered,      // sent and answered without error
  Failed,        // refused, failed or timed out: the record says why
  EndOfRun,      // end or quit: nothing sent, the run ends
  NotConnected,  // the start-up connection it waited for could not be made
  Empty,         // no command
};

struct MqscIssue {
  MqscIssueOutcome outcome = MqscIssueOutcome::Empty;
  std::shared_ptr<CommandRecord> record;  // complete; none unless the command was handed on
};

// Issues one MQSC command from the user (IssueFromUser) or for a script's own use
// (IssueFromScript: its lines are kept quiet). With `keepRecords` the record keeps the
// response records the filters pass (a foreach walks them); otherwise they are let go
// as soon as they are laid out.
MqscIssue issueMqsc(ProgramContext &ctx, std::string_view text, IssueSource source, bool keepRecords = false);

// Makes the start-up connection when it is still owed (the first command that needs a
// queue manager). False when it was owed and could not be made.
bool makeOwedConnection(ProgramContext &ctx);

// The rows of end and quit.
std::vector<LocalCommand> endLocalCommands();
