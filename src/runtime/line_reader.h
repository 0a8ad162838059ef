// Reading text lines of any length up to a cap. A line is never cut into pieces: one
// longer than the cap is consumed up to its newline without being stored, so input
// without newlines (a binary file, /dev/zero) costs no memory.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

enum class LineStatus {
  Line,     // `line` holds the next line, without its newline
  TooLong,  // a line longer than the cap was skipped; `line` is empty
  End,      // end of input, nothing read
  Error,    // a read error; `errorNumber` tells why
  Stopped,  // a stop signal arrived while reading
};

struct LineRead {
  LineStatus status = LineStatus::End;
  int errorNumber = 0;
};

LineRead readLineCapped(FILE *stream, std::string &line, size_t maxLength);
