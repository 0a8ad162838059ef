#include "context/echo.h"

#include "context/context.h"

bool echoVisible(const ProgramContext &ctx, const InputSource *source, int issueSource, EchoKind kind) {
  if (issueSource == IssueFromStartup) return false;
  const InputSource *src = source ? source : (ctx.input ? ctx.input : ctx.mainInput.get());
  if (!src) return true;
  const EchoSwitches &e = src->echo;
  if (!e.input || src->lineUnlogged) return false;
  if (kind == EchoKind::Statement) return src->prompting ? e.langcon : e.lang;
  // Commands of the bootstrap file run quietly; its statements follow their switches.
  return e.cmds && !ctx.runningBootstrap;
}

void echoCommandLine(ProgramContext &ctx, const InputSource *source, std::string_view text, int issueSource,
                     EchoKind kind, bool noCopy) {
  if (issueSource == IssueFromStartup) return;
  addCommandEcho(ctx, text, echoVisible(ctx, source, issueSource, kind), noCopy);
}
