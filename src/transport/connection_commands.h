// The local commands the transport answers (=conn, =disc, =tolk, =mqsc, =clear), as rows of the driver's local command table, and the disconnect at the end of
// a run.
#pragma once
#include <string>
#include <vector>

#include "context/local_command.h"
#include "mqsc/vocab.h"

struct ProgramContext;

std::vector<LocalCommand> transportLocalCommands();
// The operands of =conn, which fill the connection template.
std::vector<LocalOperand> connOperands();

// What =show tells of the connections: one line per connection, or "No current
// connections"; and the queue manager being administered (empty when none).
std::vector<std::string> connectionReport(ProgramContext &ctx);
struct AdministeredQmgr {
  std::string name;
  int commandLevel = 0;
  int platform = 0;
  int agentLevel = 0;
};
AdministeredQmgr administeredQmgr(ProgramContext &ctx);
// The oldest output group that a command still in flight writes to (0: none is).
uint32_t oldestGroupInFlight(ProgramContext &ctx);
// =cache purge: the current connection's cached object names are fetched afresh when
// next needed.
void markNameCachesStale(ProgramContext &ctx);
// The names of one kind of object on the current connection, for completion: from the
// connection's cache, fetched afresh (waiting up to the console's response wait) when it
// is older than the maximum age (maxagel, or maxager for a client connection). False,
// with "Can not access list of names.", when there is no connection to ask.
bool objectNames(ProgramContext &ctx, const NameListDef *kind, std::vector<std::string> &names, std::string &message);
// Disconnects every connection at the end of the run; false when a connection's
// threads had not ended after the wait (ten seconds each).
bool disconnectAllAtEnd(ProgramContext &ctx);
// Asks `question` (ending with "? ") and reads the answer from standard input: true for
// an answer beginning with y or Y.
bool askToContinue(ProgramContext &ctx, const std::string &question);
