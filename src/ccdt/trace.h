// Diagnostic trace of the channel tables, written to stderr. The driver sets the
// bits from its debug option; everything is off by default.
#pragma once

namespace kvarn::ccdt {

enum TraceBit : unsigned {
  kTraceFiles = 1,    // environment variables consulted and the file opened
  kTraceSpace = 2,    // segments visited while looking for space
  kTraceRecords = 4,  // one line per channel record read or written
  kTraceFields = 8,   // every field of those records
};

void setTraceBits(unsigned bits);
bool traceEnabled(unsigned bit);

}  // namespace kvarn::ccdt
