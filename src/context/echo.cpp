#include "context/echo.h"

#include "context/context.h"

void echoCommandLine(ProgramContext &ctx, const InputSource *source, std::string_view text, int issueSource,
                     EchoKind kind, bool noCopy) {
  if (issueSource == IssueFromStartup) return;
  addCommandEcho(ctx, text, echoVisible(ctx, source, issueSource, kind), noCopy);
}
