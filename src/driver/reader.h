// Reading commands from an input source: the plain line reader of file mode, and
// the loop that turns lines into commands (comments, ';' separators, '-' and '+'
// continuations) and hands each to cslIssueCommand.
#pragma once
#include <string>

struct ProgramContext;
struct InputSource;

// The longest input line read: far beyond any MQSC command (IBM's limit is 32,762
// characters) or script statement; a longer line is reported and skipped whole.
inline constexpr size_t kMaxLineLength = 1024 * 1024;

// The file-mode read-line operation: fills src.line; false at end of input.
bool readFileLine(ProgramContext &ctx, InputSource &src);
// A stop signal arrived: ends the run (once reported) with a failing exit code.
void noteStopSignal(ProgramContext &ctx);
// The read-line operation of a string source.
bool readStringLine(ProgramContext &ctx, InputSource &src);

// The next complete command of `src` (continuations joined, ';' split); false at end.
bool cmdReadNextCommand(ProgramContext &ctx, InputSource &src, std::string &command);

// Runs `src` until its input ends, quit is set or stop-on-error fires.
void cmdReadCommands(ProgramContext &ctx, InputSource &src);

// Makes `src` the current source (its parent is the current one), runs it, and
// restores the previous source.
void runNestedSource(ProgramContext &ctx, InputSource &src);
