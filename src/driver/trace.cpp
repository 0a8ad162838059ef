#include "driver/trace.h"

#include <cstdio>

#include "driver/context.h"

void setTraceLetters(TraceSwitches &t, std::string_view letters) {
  for (char c : letters) {
    t.any = true;
    switch (c) {
    case 'b': t.before = true; break;
    case 'd': t.dispatch = true; break;
    case 'e': t.expr = true; break;
    case 'g': t.general = true; break;
    case 'k': t.keys = true; break;
    case 'm': t.machine = true; break;
    case 'P': t.pcf = t.machine = true; break;
    case 's': t.status = true; break;
    case 't': t.stmtHook = true; break;
    default: break;
    }
  }
}

TraceScope::TraceScope(ProgramContext &ctx, const char *name, const std::string &arg, bool quoted)
    : on_(ctx.trace.dispatch), name_(name), arg_(arg), quoted_(quoted) {
  if (!on_) return;
  if (quoted_)
    std::fprintf(stderr, "%s '%s'\n", name_, arg_.c_str());
  else
    std::fprintf(stderr, "%s\n", name_);
}

TraceScope::~TraceScope() {
  if (!on_) return;
  if (quoted_)
    std::fprintf(stderr, "%s (Return) '%s'\n", name_, arg_.c_str());
  else
    std::fprintf(stderr, "%s (Return)\n", name_);
}

void tracePoint(ProgramContext &ctx, char point) {
  if (ctx.trace.dispatch) std::fprintf(stderr, "Point %c\n", point);
}
