// Handing one command to the current connection: the MQSC path of the dispatcher, and
// the connection commands (=conn, =disc, =tolk, =mqsc, =clear) the worker runs.
#pragma once
#include <memory>
#include <string_view>

struct CommandRecord;
struct ProgramContext;
struct ParsedCommand;

// Issue kinds passed with every command handed to a connection.
enum IssueKind : int {
  IssueMqsc = 1,
  IssueKindFromUser = 2,
  IssueKindFromStartup = 3,
  IssueScriptMqsc = 4,
  IssueScriptLocal = 5,
};

struct MqCommandArgs {
  void *resultTarget = nullptr;
  int issueKind = IssueMqsc;
  bool connect = false;
  bool disconnect = false;
  int waitSeconds = 0;            // 0: respwait (file mode) or respwaiti (console)
  void *contextValue = nullptr;
  std::shared_ptr<CommandRecord> *record = nullptr;   // receives the command record (MQSC)
};

// Hands an MQSC (or connection) command to the current connection. Returns nonzero
// when the command was handed on and answered, 0 on failure or time-out.
int cslIssueMQCommand(ProgramContext &ctx, std::string_view text, const MqCommandArgs &args = {});
