// Helpers shared by the function library files.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "context/context.h"
#include "script/exp_context.h"
#include "script/script_state.h"

namespace kvarn::script::lib {

// The numeric argument rule: INT and DBL as they are, a string its length, a LIST its
// total entry length, anything else 0.
inline double realArg(const Value& v) {
  switch (v.type()) {
  case LexemeType::Int: return static_cast<double>(v.asInt());
  case LexemeType::Dbl: return v.asDbl();
  case LexemeType::Str:
  case LexemeType::PStr:
  case LexemeType::EPStr:
  case LexemeType::List: return static_cast<double>(valueInteger(v));
  default: return 0;
  }
}
inline int64_t intArg(const Value& v) {
  if (v.type() == LexemeType::Int) return v.asInt();
  return valueInteger(v);
}

// A real as an INT, clamped to the 64-bit range (NaN gives 0).
inline int64_t clampToInt(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
  if (d <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(d);
}

inline void setText(Value& out, std::string_view s) {
  if (s.empty()) out.setView({});
  else out.setConcat(s, {});
}

// The program context of the expression; null when evaluated without one.
inline ProgramContext* program(ExprContext& ctx) { return static_cast<ProgramContext*>(ctx.program()); }

inline ProgramContext* needProgram(ExprContext& ctx, std::string_view fn) {
  ProgramContext* p = program(ctx);
  if (!p) ctx.setErrorf("Function %.*s() needs the program context", static_cast<int>(fn.size()), fn.data());
  return p;
}

// A message on the error output, for functions that report and still return a result.
inline void reportError(ExprContext& ctx, const std::string& text) {
  if (ProgramContext* p = program(ctx); p && p->output) addError(*p, text);
}

// A variable-parameter argument naming a user variable ('@' key).
inline bool isUserKey(const Value& v) { return v.isString() && !v.bytes().empty() && v.bytes()[0] == '@'; }

}  // namespace kvarn::script::lib
