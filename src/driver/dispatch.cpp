#include "driver/dispatch.h"

#include "context/context.h"
#include "context/echo.h"
#include "context/output.h"
#include "driver/local_handlers.h"
#include "driver/mqsc_issue.h"
#include "driver/synonyms.h"
#include "driver/unhandled_check.h"
#include "mqsc/command_record.h"
#include "runtime/scan.h"
#include "script/compiler.h"
#include "script/executor.h"
#include "script/script_state.h"

namespace {

std::string_view firstWord(std::string_view command) {
  size_t end = 0;
  while (end < command.size() && !isScanSpace(command[end]) && command[end] != '(') ++end;
  return command.substr(0, end);
}

// File mode: what a command showed is written out when it ends, so a run that is
// stopped (or killed by a second signal) has lost nothing of the commands it did.
struct WrittenAtCommandEnd {
  ProgramContext &ctx;
  ~WrittenAtCommandEnd() {
    if (ctx.fileMode() && ctx.output) ctx.output->flushStream();
  }
};

}  // namespace

void cslIssueCommand(ProgramContext &ctx, std::string_view text) {
  std::string command(scanTrim(text));
  if (command.empty()) return;
  WrittenAtCommandEnd written{ctx};
  if (runSynonym(ctx, command)) return;
  if (command == "!unhandled!") {
    runUnhandledAttributeCheck(ctx);
    return;
  }
  if (kvarn::script::cmdRunSubstituted(ctx, command)) return;
  switch (command[0]) {
  case '/':
    // Find works on the console's output buffer; file mode has nothing to search.
    return;
  case '=': cslIssueLocalCommand(ctx, ctx.input, command, IssueFromUser); return;
  default: break;
  }
  std::string_view word = firstWord(command);
  if (scanEqualsNoCase(word, "print") || scanEqualsNoCase(word, "fprint"))
    return kvarn::script::cmdRunPrint(ctx, command, word.size() == 6);
  if (scanEqualsNoCase(word, "wait")) return kvarn::script::cmdRunWait(ctx, command);
  echoCommandLine(ctx, nullptr, command, IssueFromUser);
  MqscIssue issued = issueMqsc(ctx, command, IssueFromUser);
  if (issued.record) noteCommandRecord(ctx, *issued.record);
}

void noteCommandRecord(ProgramContext &ctx, CommandRecord &record) {
  OwnedMutexGuard guard(ctx.displayLock);
  kvarn::script::ScriptState &state = kvarn::script::scriptState(ctx);
  kvarn::script::LatestCommand &latest = state.latestCommand;
  latest.recorded = true;
  latest.succeeded = record.succeeded;
  latest.responses = record.receivedCount;
  latest.responseText = std::move(record.responseText);
  // Scripts read attributes from the last record shown for the user's command.
  if (record.shownAsCurrent) {
    if (record.lastShown.text.empty()) state.lastDisplayed.reset();
    else state.lastDisplayed = std::move(record.lastShown);
    state.matched = record.matched;
  }
}

void runStringSource(ProgramContext &ctx, const std::string &text, const std::string &name) {
  InputSource src;
  InputSource *parent = ctx.input ? ctx.input : ctx.mainInput.get();
  src.name = name;
  src.isString = true;
  src.text = text;
  src.echo = parent->echo;
  src.echo.blank = false;
  src.stopOnError = parent->stopOnError;
  src.readLine = kvarn::script::cmdReadStringLine;
  kvarn::script::cmdRunSource(ctx, src);
}
