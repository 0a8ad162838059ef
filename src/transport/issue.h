// Handing one command to the current connection's worker and waiting for its answer:
// an MQSC command with the command record the driver opened for it, or one of the
// connection commands the worker runs itself (=conn, =disc, =tolk, =mqsc, =clear and
// its steps).
#pragma once
#include <memory>
#include <string_view>

#include "context/context.h"

struct CommandRecord;
struct ProgramContext;

// MQSC: hands the record's command to the current connection and waits up to
// `waitSeconds` (0: respwait in file mode, respwaiti at the console). True when the
// command was answered and succeeded; the record is complete either way. The driver's
// MQSC path is the only caller.
bool cslIssueMQCommand(ProgramContext &ctx, const std::shared_ptr<CommandRecord> &record, int waitSeconds = 0);

struct ConnectionCommandArgs {
  IssueSource source = IssueFromUser;  // IssueFromStartup: an internal step, reported quietly
  bool connect = false;                // =conn: find or make the connection first
  bool disconnect = false;             // =disc: no further command is handed to it
  int waitSeconds = 0;
};

// A connection command. True when it was handed on and answered.
bool issueConnectionCommand(ProgramContext &ctx, std::string_view text, const ConnectionCommandArgs &args = {});

// Makes the connection matching the template current, creating it (and its worker) when
// none matches. 0, or the reason of a failure (2071, 2195).
int findOrCreateConnection(ProgramContext &ctx);
