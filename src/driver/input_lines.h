// The read-line operations of input sources: the plain line reader of files and
// standard input, and the reader of string sources. The script compiler turns the
// lines into commands (script/compiler.h).
#pragma once
#include <string>

struct ProgramContext;
struct InputSource;

// The longest input line read: far beyond any MQSC command (IBM's limit is 32,762
// characters) or script statement; a longer line is reported and skipped whole.
inline constexpr size_t kMaxLineLength = 1024 * 1024;

// The file-mode read-line operation: fills src.line; false at end of input.
bool readFileLine(ProgramContext &ctx, InputSource &src);
