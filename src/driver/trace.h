// Diagnostic trace switched on by the letters of -D, written to standard error.
#pragma once
#include <string>
#include <string_view>

struct ProgramContext;
struct TraceSwitches;

// Sets the switches from the -D letters; unknown letters are ignored.
void setTraceLetters(TraceSwitches &t, std::string_view letters);

// Writes "name 'arg'\n" (or "name\n") on entry and "name (Return) 'arg'\n" on exit
// when the d letter is on.
class TraceScope {
public:
  TraceScope(ProgramContext &ctx, const char *name, const std::string &arg = {}, bool quoted = true);
  ~TraceScope();
  TraceScope(const TraceScope &) = delete;
  TraceScope &operator=(const TraceScope &) = delete;

private:
  bool on_;
  const char *name_;
  std::string arg_;
  bool quoted_;
};

// "Point A" ... start-up markers with the d letter.
void tracePoint(ProgramContext &ctx, char point);
