#include "context/trace.h"

#include <cstdio>

#include "context/context.h"
#include "runtime/scan.h"

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

void traceLine(ProgramContext &ctx, std::string_view text) {
  if (ctx.output) {
    addTrace(ctx, text);
  } else {
    std::string masked = scanMaskPasswords(text);
    std::fwrite(masked.data(), 1, masked.size(), stderr);
    std::fputc('\n', stderr);
  }
}

TraceScope::TraceScope(ProgramContext &ctx, const char *name, const std::string &arg, bool quoted)
    : ctx_(ctx), on_(ctx.trace.dispatch), name_(name), arg_(arg), quoted_(quoted) {
  if (!on_) return;
  traceLine(ctx_, quoted_ ? strFormat("%s '%s'", name_, arg_.c_str()) : std::string(name_));
}

TraceScope::~TraceScope() {
  if (!on_) return;
  traceLine(ctx_, quoted_ ? strFormat("%s (Return) '%s'", name_, arg_.c_str()) : strFormat("%s (Return)", name_));
}

void tracePoint(ProgramContext &ctx, char point) {
  if (ctx.trace.dispatch) traceLine(ctx, strFormat("Point %c", point));
}
