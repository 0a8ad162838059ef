// The local command dispatcher: a command beginning with '=' is checked against the
// local command table and handed to its row's handler.
#include "ccdtmode/ccdt_mode.h"
#include "context/context.h"
#include "context/echo.h"
#include "context/output.h"
#include "context/trace.h"
#include "driver/dispatch.h"
#include "driver/local_table.h"
#include "driver/mqsc_issue.h"

namespace {

constexpr size_t kMaxLocalCommand = 1000;
// A command that names many queue managers (=fleet) may be longer.
constexpr size_t kMaxListCommand = 64 * 1024;

size_t lengthLimit(std::string_view command) {
  size_t start = command.find_first_not_of(" \t");
  if (start == std::string_view::npos) return kMaxLocalCommand;
  size_t end = command.find_first_of(" \t(", start);
  const LocalCommand *row = findLocalCommand(command.substr(start, end == std::string_view::npos ? end : end - start));
  return row && row->takesLongLists ? kMaxListCommand : kMaxLocalCommand;
}

}  // namespace

void cslIssueLocalCommand(ProgramContext &ctx, InputSource *source, std::string_view text, int issueSource) {
  std::string command(text);
  if (command.size() >= lengthLimit(command)) {
    addCommandEcho(ctx, command, true);
    addError(ctx, "Command too long");
    return;
  }
  TraceScope trace(ctx, "cslIssueLocalCommand", command);
  ParsedCommand parsed;
  SyntaxResult check = checkLocalCommand(command, parsed);
  if (!check.ok) {
    if (!check.help) addCommandEcho(ctx, command, true);
    for (const auto &line : check.lines) check.help ? addInfo(ctx, line) : addError(ctx, line);
    return;
  }
  // =echo echoes itself (by the switches as they were before it); the echo of =output
  // stays out of the file it opens.
  const std::string &name = parsed.command->name;
  if (name != "=echo") echoCommandLine(ctx, source, command, issueSource, EchoKind::Command, name == "=output");
  if (parsed.command->leavesCcdtMode && inCcdtMode(ctx)) leaveCcdtMode(ctx);
  if (parsed.command->usesConnection && !makeOwedConnection(ctx)) return;
  if (parsed.command->handler) {
    parsed.command->handler(ctx, parsed, issueSource);
  } else if (issueSource == IssueFromUser) {
    addError(ctx, "Unrecognised command");
  }
}
