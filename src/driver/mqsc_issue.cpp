#include "driver/mqsc_issue.h"

#include "ccdtmode/ccdt_mode.h"
#include "driver/dispatch.h"
#include "mqsc/command_record.h"
#include "runtime/scan.h"
#include "transport/connection.h"
#include "transport/connection_commands.h"
#include "transport/exchange.h"
#include "transport/fleet.h"
#include "transport/issue.h"

namespace {

bool isEndOfRun(std::string_view word) { return scanEqualsNoCase(word, "end") || scanEqualsNoCase(word, "quit"); }

std::string_view firstWord(std::string_view text) {
  size_t end = 0;
  while (end < text.size() && !isScanSpace(text[end]) && text[end] != '(') ++end;
  return text.substr(0, end);
}

// end and quit are not sent: they take a sequence number and end the run.
void endRun(ProgramContext &ctx) {
  ++transportOf(ctx).issuedSeq;
  ctx.quit = true;
}

void doEnd(ProgramContext &ctx, ParsedCommand &, int) { endRun(ctx); }

}  // namespace

bool makeOwedConnection(ProgramContext &ctx) {
  if (!(ctx.startupState & kStartupConnectPending)) return true;
  ctx.startupState &= ~kStartupConnectPending;
  cslIssueLocalCommand(ctx, nullptr, ctx.implicitConnectCommand, IssueFromStartup);
  return ctx.transport && (transportOf(ctx).current->connected() || fleetIsDestination(ctx));
}

MqscIssue issueMqsc(ProgramContext &ctx, std::string_view text, IssueSource source, bool keepRecords) {
  MqscIssue issued;
  std::string_view command = scanTrim(text);

  // 1. end and quit end the run; an empty command does nothing.
  if (isEndOfRun(firstWord(command))) {
    endRun(ctx);
    issued.outcome = MqscIssueOutcome::EndOfRun;
    return issued;
  }
  if (command.empty()) return issued;
  RecordKind kind = source == IssueFromScript ? RecordKind::ScriptCommand : RecordKind::UserCommand;

  // 2. In CCDT mode the command edits the channel table; nothing reaches a queue manager.
  if (inCcdtMode(ctx)) {
    issued.record = openCommandRecord(ctx, command, kind);
    issued.record->keepRecords = keepRecords;
    issued.record->sequence = ++transportOf(ctx).issuedSeq;  // numbered as a queue manager's command is
    bool answered = cslIssueCcdtCommand(ctx, *issued.record);
    issued.outcome = answered ? MqscIssueOutcome::Answered : MqscIssueOutcome::Failed;
    return issued;
  }

  // 3. The first command that needs a queue manager makes the start-up connection.
  if (!makeOwedConnection(ctx)) {
    issued.outcome = MqscIssueOutcome::NotConnected;
    return issued;
  }

  // 4. The command record collects what comes back.
  issued.record = openCommandRecord(ctx, command, kind);
  issued.record->keepRecords = keepRecords;

  // 5. A command that deletes, clears or stops goes to a whole fleet only when the
  //    user typing it confirms it, or =fleet confirm(no) allowed it beforehand; from a
  //    file or a pipe it is refused.
  bool fleet = fleetIsDestination(ctx);
  if (fleet && isDestructiveCommand(command) && fleetConfirmsDestructive(ctx)) {
    bool typed = !ctx.fileMode() || (ctx.input && ctx.input->prompting);
    bool go = typed && askToContinue(ctx, strFormat("Send '%s' to %zu queue managers - continue? ",
                                                    issued.record->commandText.c_str(), fleetSize(ctx)));
    if (!go) {
      issued.record->sequence = ++transportOf(ctx).issuedSeq;
      issued.record->tallied = !typed;  // refused counts as failed; the user's no is no failure
      failRecord(ctx, *issued.record,
                 typed ? "Command cancelled"
                       : "Not sent to the fleet: DELETE, CLEAR and STOP need =fleet confirm(no) in file mode");
      issued.outcome = MqscIssueOutcome::Failed;
      return issued;
    }
  }

  // 6. The transport hands it to the current connection, or to every member of the
  //    fleet, and waits for the answer.
  bool answered =
      fleet ? issueFleetMqsc(ctx, issued.record) == FleetOutcome::AllSucceeded : cslIssueMQCommand(ctx, issued.record);
  issued.outcome = answered ? MqscIssueOutcome::Answered : MqscIssueOutcome::Failed;
  return issued;
}

std::vector<LocalCommand> endLocalCommands() {
  return {
      {"end", "End the program", {}, {}, doEnd},
      {"quit", "End the program", {}, {}, doEnd},
  };
}
