// Diagnostic trace switched on by the letters of -D: lines of the output buffer with
// the trace style, which file mode writes to standard error.
#pragma once
#include <string>
#include <string_view>

struct ProgramContext;
struct TraceSwitches;

// Sets the switches from the -D letters; unknown letters are ignored.
void setTraceLetters(TraceSwitches &t, std::string_view letters);

// One trace line (standard error before the output buffer exists).
void traceLine(ProgramContext &ctx, std::string_view text);

// Writes "name 'arg'\n" (or "name\n") on entry and "name (Return) 'arg'\n" on exit
// when the d letter is on.
class TraceScope {
 public:
  TraceScope(ProgramContext &ctx, const char *name, const std::string &arg = {}, bool quoted = true);
  ~TraceScope();
  TraceScope(const TraceScope &) = delete;
  TraceScope &operator=(const TraceScope &) = delete;

 private:
  ProgramContext &ctx_;
  bool on_;
  const char *name_;
  std::string arg_;
  bool quoted_;
};

// "Point A" ... start-up markers with the d letter.
void tracePoint(ProgramContext &ctx, char point);
