// Stand-in for the command transport until it is linked in: "end" and "quit" end
// the run, and every other MQSC command finds no connection.
#include <cstring>
#include <strings.h>

#include "driver/context.h"
#include "driver/dispatch.h"
#include "driver/local_table.h"
#include "driver/output.h"
#include "driver/startup_hooks.h"
#include "runtime/scan.h"

namespace {
std::string_view firstWordOf(std::string_view text) {
  text = scanTrim(text);
  size_t end = 0;
  while (end < text.size() && !isScanSpace(text[end]) && text[end] != '(') ++end;
  return text.substr(0, end);
}
bool isWord(std::string_view a, const char *b) {
  return a.size() == std::strlen(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

void doConn(ProgramContext &ctx, ParsedCommand &, int issueSource) {
  // Until the command transport exists a connection can only be recorded as pending.
  if (issueSource == IssueFromStartup && ctx.implicitConnect && (ctx.startupState & kStartupInProgress)) {
    ctx.startupState |= kStartupConnectPending;
    return;
  }
  if (issueSource == IssueFromUser) addError(ctx, "Unrecognised command");
}

} // namespace

int cslIssueMQCommand(ProgramContext &ctx, std::string_view text, const MqCommandArgs &args) {
  if (ctx.trace.dispatch) std::fprintf(stderr, "cslIssueMQCommand '%.*s'\n", static_cast<int>(text.size()), text.data());
  std::string_view word = firstWordOf(text);
  if (isWord(word, "end") || isWord(word, "quit")) {
    ctx.quit = true;
    return 1;
  }
  if (scanTrim(text).empty()) return 0;
  // No command transport is linked in: every MQSC command finds no connection.
  if (args.issueKind != IssueKindFromStartup) addError(ctx, "Not currently connected.");
  countCommand(ctx, false);
  return 0;
}


void registerTransportHandlers() { setLocalHandler("=conn", doConn); }

void disconnectAllAtEnd(ProgramContext &) {}
