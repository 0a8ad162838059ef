// The fault record: a broken internal invariant writes
//   "cstrap line %d file %s (%s) value %d\n"
// as the whole content of $TMPDIR/cstrap.txt (default /tmp) and stops the process
// with a debugger trap.
#pragma once

[[noreturn]] void CSFault(int line, const char *file, long value);
#define CS_FAULT(value) CSFault(__LINE__, __FILE__, static_cast<long>(value))

// The path of the fault file (for tests).
const char *CSFaultFilePath();
