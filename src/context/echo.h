// The one rule for echoing a command line. A line that is not echoed is still added to
// the output, hidden (=show noecho(yes) shows it); lines the program issues itself at
// start-up are not added at all.
#pragma once
#include <string_view>

struct ProgramContext;
struct InputSource;

enum class EchoKind { Command, Statement };

// Whether the echo of a line from `source` (nullptr: the current source) is visible.
bool echoVisible(const ProgramContext &ctx, const InputSource *source, int issueSource,
                 EchoKind kind = EchoKind::Command);

// Adds the echo of `text` by that rule; `noCopy` keeps it out of the =output file.
void echoCommandLine(ProgramContext &ctx, const InputSource *source, std::string_view text, int issueSource,
                     EchoKind kind = EchoKind::Command, bool noCopy = false);
