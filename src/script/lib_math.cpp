// Numbers: SQRT, POWER, MAX, MIN, FLOOR, CEIL, ROUND, RANDOM, SEEDRAND.
#include <cstdlib>

#include "script/functions.h"
#include "script/lib_support.h"
#include "text/text.h"

namespace kvarn::script {

namespace {

using namespace lib;

bool sqrtFn(ExprContext&, std::span<Value> a, Value& r) {
  r.setDbl(std::sqrt(realArg(a[0])));
  return true;
}
bool powerFn(ExprContext&, std::span<Value> a, Value& r) {
  r.setDbl(std::pow(realArg(a[0]), realArg(a[1])));
  return true;
}

bool extremum(std::span<Value> a, Value& r, bool largest) {
  double best = 0;
  bool any = false;
  for (const Value& v : a) {
    if (v.isNotSet()) break;
    double d = realArg(v);
    if (!any || (largest ? d > best : d < best)) best = d;
    any = true;
  }
  r.setDbl(best);
  return true;
}
bool maxFn(ExprContext&, std::span<Value> a, Value& r) { return extremum(a, r, true); }
bool minFn(ExprContext&, std::span<Value> a, Value& r) { return extremum(a, r, false); }

bool floorFn(ExprContext&, std::span<Value> a, Value& r) {
  r.setInt(clampToInt(std::floor(realArg(a[0]))));
  return true;
}
bool ceilFn(ExprContext&, std::span<Value> a, Value& r) {
  r.setInt(clampToInt(std::ceil(realArg(a[0]))));
  return true;
}
bool roundFn(ExprContext&, std::span<Value> a, Value& r) {
  double d = realArg(a[0]);
  r.setInt(clampToInt(d >= 0 ? d + 0.5 : d - 0.5));
  return true;
}

bool randomFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  int64_t lo = intArg(a[0]), hi = intArg(a[1]);
  if (ctx.checkMode()) {
    r.setInt(lo);
    return true;
  }
  if (lo > hi) {
    reportError(ctx, strFormat("Random number range minimum %lld is greater than maximum %lld",
                               static_cast<long long>(lo), static_cast<long long>(hi)));
    r.setInt(lo);
    return true;
  }
  // Unsigned span: the full 64-bit range does not overflow.
  uint64_t span = static_cast<uint64_t>(hi) - static_cast<uint64_t>(lo) + 1;
  uint64_t pick = static_cast<uint64_t>(std::rand());
  r.setInt(static_cast<int64_t>(static_cast<uint64_t>(lo) + (span ? pick % span : pick)));
  return true;
}

bool seedrandFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (!ctx.checkMode()) std::srand(static_cast<unsigned>(intArg(a[0])));
  r.setInt(1);
  return true;
}

constexpr OperatorDef kRows[] = {
    functionRow("SQRT", 1, sqrtFn),   functionRow("POWER", 2, powerFn),   functionRow("MAX", -1, maxFn),
    functionRow("MIN", -1, minFn),    functionRow("FLOOR", 1, floorFn),   functionRow("CEIL", 1, ceilFn),
    functionRow("ROUND", 1, roundFn), functionRow("RANDOM", 2, randomFn), functionRow("SEEDRAND", 1, seedrandFn),
};

}  // namespace

std::span<const OperatorDef> mathFunctionRows() { return kRows; }

}  // namespace kvarn::script
