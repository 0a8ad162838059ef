// Evaluations per second of compiled expressions, beside the same expressions run by
// Lua 5.4 in the same process: (a) a =WHERE filter over response records, (b) script
// arithmetic and string work over variables. Usage: bench_expr [evaluations]
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include "script/expr.h"

using namespace kvarn::script;

namespace {

struct Record {
  int64_t curdepth;
  std::string descr;
};

const std::vector<Record> kRecords = {
    {0, "payroll input"}, {12, "PAYMENTS OUT"}, {3, "orders"}, {7, "Pay slips"}, {0, "audit"}};

// Attributes bound to slots at compile time, read from the current record by slot.
class RecordResolver : public NameResolver {
 public:
  const Record* current = nullptr;
  bool bind(NameBinding& b, ExprContext& ctx) override {
    if (equalBytes(b.ref.name, "CURDEPTH", false)) b.ref.slot = 0;
    else if (equalBytes(b.ref.name, "DESCR", false)) b.ref.slot = 1;
    else {
      ctx.setErrorf("Unknown variable '%.*s'", static_cast<int>(b.ref.name.size()), b.ref.name.data());
      return false;
    }
    return true;
  }
  Resolution resolve(const VarRef& ref, std::span<const int32_t>, Value& out, ExprContext&) override {
    if (!current) return Resolution::Absent;
    if (ref.slot == 0) out.setInt(current->curdepth);
    else out.setView(current->descr);
    return Resolution::Found;
  }
};

// Script variables in slots.
class VariableResolver : public NameResolver {
 public:
  std::vector<std::string> names;
  std::vector<Value> values;
  bool bind(NameBinding& b, ExprContext& ctx) override {
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == b.ref.name) {
        b.ref.slot = static_cast<int32_t>(i);
        return true;
      }
    ctx.setErrorf("Variable '%.*s' is not defined in the current scope.", static_cast<int>(b.ref.name.size()),
                  b.ref.name.data());
    return false;
  }
  Resolution resolve(const VarRef& ref, std::span<const int32_t>, Value& out, ExprContext&) override {
    const Value& v = values[static_cast<size_t>(ref.slot)];
    if (v.isString()) out.setView(v.bytes());
    else out = v;
    return Resolution::Found;
  }
};

// CPU time of this thread: the machine may be shared, and wall time would charge us
// for other processes.
double cpuNow() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}
double seconds(double from) { return cpuNow() - from; }

constexpr int kRounds = 5;  // rounds alternate between engines; the best round counts

lua_State* newLua() {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  return L;
}

void luaRun(lua_State* L, const char* chunk) {
  if (luaL_dostring(L, chunk) != LUA_OK) {
    std::fprintf(stderr, "lua: %s\n", lua_tostring(L, -1));
    std::exit(1);
  }
}

double luaLoopRate(lua_State* L, const char* chunk, long n) {
  lua_pushinteger(L, n);
  lua_setglobal(L, "N");
  double t0 = cpuNow();
  luaRun(L, chunk);
  return static_cast<double>(n) / seconds(t0);
}

struct Rates {
  double ours = 0, luaInside = 0, luaCalled = 0;
  void keepBest(const Rates& r) {
    ours = std::max(ours, r.ours);
    luaInside = std::max(luaInside, r.luaInside);
    luaCalled = std::max(luaCalled, r.luaCalled);
  }
};

void report(const Rates& r) {
  std::printf("  %-34s %12.0f evals/s\n", "kvarn", r.ours);
  std::printf("  %-34s %12.0f evals/s   ratio lua/kvarn %.2f\n", "lua 5.4, loop in lua", r.luaInside,
              r.luaInside / r.ours);
  std::printf("  %-34s %12.0f evals/s   ratio lua/kvarn %.2f\n", "lua 5.4, one call per evaluation", r.luaCalled,
              r.luaCalled / r.ours);
}

CompiledExpr compileOrDie(const char* text, const ExprOptions& o) {
  std::string error;
  CompiledExpr expr = expParseExpression(text, o, error);
  if (!expr) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(1);
  }
  return expr;
}

void benchWhere(long n) {
  const char* text = "CURDEPTH > 0 AND DESCR LK 'PAY*'";
  std::printf("(a) =WHERE %s\n", text);
  RecordResolver resolver;
  ExprOptions o;
  o.table = &OperatorTable::whereOperators();
  o.resolver = &resolver;
  o.flags = kAllowAt;  // =WHERE: case-insensitive
  CompiledExpr expr = compileOrDie(text, o);

  lua_State* L = newLua();
  luaRun(L, "records = { {CURDEPTH=0, DESCR='payroll input'}, {CURDEPTH=12, DESCR='PAYMENTS OUT'},"
            " {CURDEPTH=3, DESCR='orders'}, {CURDEPTH=7, DESCR='Pay slips'}, {CURDEPTH=0, DESCR='audit'} }\n"
            "find = string.find\n"
            "filter = function(r) return r.CURDEPTH > 0 and find(r.DESCR, '^[Pp][Aa][Yy]') ~= nil end\n");
  lua_getglobal(L, "records");
  int records = lua_gettop(L);

  Rates best;
  long ourHits = 0, luaHits = 0;
  for (int round = 0; round < kRounds; ++round) {
    Rates r;
    Value v;
    double t0 = cpuNow();
    for (long i = 0; i < n; ++i) {
      resolver.current = &kRecords[static_cast<size_t>(i) % kRecords.size()];
      if (expEvaluate(*expr, v) && !expr->absentSignalled() && valueTruth(v)) ++ourHits;
    }
    r.ours = static_cast<double>(n) / seconds(t0);
    r.luaInside = luaLoopRate(L,
                              "local hits, recs, f, n = 0, records, filter, #records\n"
                              "for i = 0, N - 1 do if f(recs[i % n + 1]) then hits = hits + 1 end end\n",
                              n);
    // As an embedding would run it: one protected call per record from C.
    t0 = cpuNow();
    for (long i = 0; i < n; ++i) {
      lua_getglobal(L, "filter");
      lua_rawgeti(L, records, i % static_cast<long>(kRecords.size()) + 1);
      lua_pcall(L, 1, 1, 0);
      luaHits += lua_toboolean(L, -1);
      lua_pop(L, 1);
    }
    r.luaCalled = static_cast<double>(n) / seconds(t0);
    best.keepBest(r);
  }
  std::printf("  (matches: kvarn %ld, lua %ld)\n", ourHits, luaHits);
  lua_close(L);
  report(best);
}

void benchScript(long n) {
  const char* text = "(@a * 3 + @b - 7) % 11 > 4 AND @s + 'x' = 'abcx' OR @d / 2.5 > @a";
  std::printf("(b) script %s\n", text);
  VariableResolver resolver;
  resolver.names = {"@a", "@b", "@s", "@d"};
  resolver.values = {Value::integer(0), Value::integer(5), Value::view("abc"), Value::real(10.0)};
  ExprOptions o;
  o.resolver = &resolver;
  o.flags = kCaseSensitive | kAllowAt;  // script statements
  CompiledExpr expr = compileOrDie(text, o);

  lua_State* L = newLua();
  luaRun(L, "a, b, s, d = 0, 5, 'abc', 10.0\n"
            "expr = function() return (a * 3 + b - 7) % 11 > 4 and s .. 'x' == 'abcx' or d / 2.5 > a end\n");
  Rates best;
  long ourHits = 0, luaHits = 0;
  for (int round = 0; round < kRounds; ++round) {
    Rates r;
    Value v;
    double t0 = cpuNow();
    for (long i = 0; i < n; ++i) {
      resolver.values[0].setInt(i % 100);
      if (expEvaluate(*expr, v) && valueTruth(v)) ++ourHits;
    }
    r.ours = static_cast<double>(n) / seconds(t0);
    r.luaInside = luaLoopRate(L,
                              "local hits, f = 0, expr\n"
                              "for i = 0, N - 1 do a = i % 100; if f() then hits = hits + 1 end end\n",
                              n);
    t0 = cpuNow();
    for (long i = 0; i < n; ++i) {
      lua_pushinteger(L, i % 100);
      lua_setglobal(L, "a");
      lua_getglobal(L, "expr");
      lua_pcall(L, 0, 1, 0);
      luaHits += lua_toboolean(L, -1);
      lua_pop(L, 1);
    }
    r.luaCalled = static_cast<double>(n) / seconds(t0);
    best.keepBest(r);
  }
  std::printf("  (matches: kvarn %ld, lua %ld)\n", ourHits, luaHits);
  lua_close(L);
  report(best);
}

}  // namespace

int main(int argc, char** argv) {
  long total = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10'000'000;
  if (total < kRounds) total = 10'000'000;
  long n = total / kRounds;
  std::printf("%ld evaluations per engine and expression, in %d alternating rounds (best round, thread CPU time)\n",
              n * kRounds, kRounds);
  benchWhere(n);
  benchScript(n);
  return 0;
}
