// Reading commands from an input source: the plain line reader of file mode, and
// the loop that turns lines into commands (comments, ';' separators, '-' and '+'
// continuations) and hands each to cslIssueCommand.
#pragma once
#include <string>

struct ProgramContext;
struct InputSource;

inline constexpr size_t kLineBufferSize = 10000;

// The file-mode read-line operation: fills src.line; false at end of input.
bool readFileLine(ProgramContext &ctx, InputSource &src);
// The read-line operation of a string source.
bool readStringLine(ProgramContext &ctx, InputSource &src);

// The next complete command of `src` (continuations joined, ';' split); false at end.
bool cmdReadNextCommand(ProgramContext &ctx, InputSource &src, std::string &command);

// Runs `src` until its input ends, quit is set or stop-on-error fires.
void cmdReadCommands(ProgramContext &ctx, InputSource &src);

// Makes `src` the current source (its parent is the current one), runs it, and
// restores the previous source.
void runNestedSource(ProgramContext &ctx, InputSource &src);
