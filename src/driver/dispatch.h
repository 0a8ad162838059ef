// Per-command dispatch: cslIssueCommand routes one complete command to the local
// command dispatcher, the MQSC path or the statements that live here.
#pragma once
#include <string>
#include <string_view>

struct ProgramContext;
struct InputSource;
struct CommandRecord;

// Issue kinds passed with every command handed to a connection.
enum IssueKind : int {
  IssueMqsc = 1,
  IssueKindFromUser = 2,
  IssueKindFromStartup = 3,
  IssueScriptMqsc = 4,
  IssueScriptLocal = 5,
};

void cslIssueCommand(ProgramContext &ctx, std::string_view text);

// `source` is the input source the command came from (nullptr: none); `issueSource`
// is IssueFromUser or IssueFromStartup.
void cslIssueLocalCommand(ProgramContext &ctx, InputSource *source, std::string_view text, int issueSource);

struct MqCommandArgs {
  void *resultTarget = nullptr;
  int issueKind = IssueMqsc;
  bool connect = false;
  bool disconnect = false;
  int waitSeconds = 0;            // 0: respwait (file mode) or respwaiti (console)
  void *contextValue = nullptr;
  CommandRecord **record = nullptr;
};

// Hands an MQSC (or connection) command to the current connection. Returns nonzero
// when the command was handed on and answered, 0 on failure or time-out.
int cslIssueMQCommand(ProgramContext &ctx, std::string_view text, const MqCommandArgs &args = {});

// Runs `text` as a string input source (initial commands, synonyms).
void runStringSource(ProgramContext &ctx, const std::string &text, const std::string &name = "");
