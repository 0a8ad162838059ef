// The one rule for echoing a command line. A line that is not echoed is still added to
// the output, hidden (=show noecho(yes) shows it); lines the program issues itself at
// start-up are not added at all.
#pragma once
#include <string_view>

#include "context/context.h"

enum class EchoKind { Command, Statement };

// Whether the echo of a line from `source` (nullptr: the current source) is visible.
// Inline: a script asks it for every statement it runs.
inline bool echoVisible(const ProgramContext &ctx, const InputSource *source, int issueSource,
                        EchoKind kind = EchoKind::Command) {
  if (issueSource == IssueFromStartup) return false;
  const InputSource *src = source ? source : (ctx.input ? ctx.input : ctx.mainInput.get());
  if (!src) return true;
  const EchoSwitches &e = src->echo;
  if (!e.input || src->lineUnlogged) return false;
  if (kind == EchoKind::Statement) return src->prompting ? e.langcon : e.lang;
  // Commands of the bootstrap file run quietly; its statements follow their switches.
  return e.cmds && !ctx.runningBootstrap;
}

// Adds the echo of `text` by that rule; `noCopy` keeps it out of the =output file.
void echoCommandLine(ProgramContext &ctx, const InputSource *source, std::string_view text, int issueSource,
                     EchoKind kind = EchoKind::Command, bool noCopy = false);
