// Script values under load: array assignments, string building and SORT of 100,000
// elements through the variable store, the resolver and the function library, beside
// the same work done by a reference in the same run (Lua 5.4 when built with it, plain
// C++ containers otherwise) and by Python 3 when python3 is on PATH.
//
//   bench_script_values [elements]       (default 100000)
//
// Each is timed in CPU (user + system): KVARN and the reference with
// CLOCK_PROCESS_CPUTIME_ID around the work, Python as a child from wait4() (starting the
// interpreter included; what starting it alone costs is shown beside). The results must
// agree (exit status 1 otherwise). Aim: KVARN at most 2x Lua's CPU.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "support/script_bench.h"

#include "script/resolver.h"
#include "script/script_state.h"

using namespace kvarn::script;

namespace {

CompiledExpr compile(ProgramContext& ctx, const char* text) {
  std::string error;
  CompiledExpr e = expParseExpression(text, scriptExprOptions(ctx, kCaseSensitive | kAllowAt | kNoCheck), error);
  if (!e) {
    std::fprintf(stderr, "compile '%s': %s\n", text, error.c_str());
    std::exit(1);
  }
  return e;
}

void evalInto(ProgramContext& ctx, ExprContext& e, std::string_view name, int32_t sub) {
  Value v;
  std::string error;
  std::span<const int32_t> subs(&sub, sub ? 1 : 0);
  if (!expEvaluate(e, v) || !scriptAssign(ctx, name, subs, v, error)) {
    std::fprintf(stderr, "evaluation failed: %s%s\n", e.error().c_str(), error.c_str());
    std::exit(1);
  }
}

// The workload as a script would run it, one statement at a time.
double runKvarn(int n, std::string& check) {
  ProgramContext ctx;
  ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, stdout, stderr);
  CompiledExpr square = compile(ctx, "@i * 2");
  CompiledExpr build = compile(ctx, "@s + SUBSTR('abcdefghij', @i % 10 + 1, 1)");
  CompiledExpr mix = compile(ctx, "(@i * 7919) % 100003");
  CompiledExpr sort = compile(ctx, "SORT(@r)");
  CompiledExpr probe = compile(ctx, "STR(@a[@n]) + ':' + STR(@r[1]) + ':' + STR(@r[@n]) + ':' + STR(STRLEN(@s))");
  Value iv;
  std::string error;
  double t0 = benchCpuSeconds();
  evalInto(ctx, *compile(ctx, "''"), "@s", 0);
  for (int i = 1; i <= n; ++i) {
    iv.setInt(i);
    scriptAssign(ctx, "@i", {}, iv, error);
    evalInto(ctx, *square, "@a", i);
    if (i <= 20000) evalInto(ctx, *build, "@s", 0);
    evalInto(ctx, *mix, "@r", i);
  }
  Value ok;
  expEvaluate(*sort, ok);
  iv.setInt(n);
  scriptAssign(ctx, "@n", {}, iv, error);
  Value out;
  expEvaluate(*probe, out);
  double t = benchCpuSeconds() - t0;
  check.assign(out.bytes());
  return t;
}

#ifdef KVARN_BENCH_LUA
double runReference(int n, std::string& check) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  const char* script = "local n = ...\n"
                       "local a, r, s = {}, {}, ''\n"
                       "local letters = 'abcdefghij'\n"
                       "for i = 1, n do\n"
                       "  a[i] = i * 2\n"
                       "  if i <= 20000 then local k = i % 10 + 1; s = s .. letters:sub(k, k) end\n"
                       "  r[i] = (i * 7919) % 100003\n"
                       "end\n"
                       "table.sort(r)\n"
                       "return a[n] .. ':' .. r[1] .. ':' .. r[n] .. ':' .. #s\n";
  double t0 = benchCpuSeconds();
  luaL_loadstring(L, script);
  lua_pushinteger(L, n);
  lua_call(L, 1, 1);
  check = lua_tostring(L, -1);
  double t = benchCpuSeconds() - t0;
  lua_close(L);
  return t;
}
const char* kReference = "Lua 5.4";
#else
double runReference(int n, std::string& check) {
  double t0 = benchCpuSeconds();
  std::map<int, long long> a;
  std::vector<long long> r;
  std::string s;
  for (int i = 1; i <= n; ++i) {
    a[i] = i * 2LL;
    if (i <= 20000) s += "abcdefghij"[i % 10];
    r.push_back((i * 7919LL) % 100003);
  }
  std::stable_sort(r.begin(), r.end());
  check = std::to_string(a[n]) + ":" + std::to_string(r.front()) + ":" + std::to_string(r.back()) + ":" +
          std::to_string(s.size());
  return benchCpuSeconds() - t0;
}
const char* kReference = "C++ std::map/vector";
#endif

// The same work in Python 3, run as a child: its CPU seconds, negative when there is no
// python3 or it failed.
double runPython(int n, std::string& check) {
  const char* program = "import sys\n"
                        "n = int(sys.argv[1])\n"
                        "a, r, s = {}, {}, ''\n"
                        "letters = 'abcdefghij'\n"
                        "for i in range(1, n + 1):\n"
                        "    a[i] = i * 2\n"
                        "    if i <= 20000:\n"
                        "        k = i % 10 + 1\n"
                        "        s = s + letters[k - 1:k]\n"
                        "    r[i] = (i * 7919) % 100003\n"
                        "rs = sorted(r.values())\n"
                        "print(str(a[n]) + ':' + str(rs[0]) + ':' + str(rs[-1]) + ':' + str(len(s)))\n";
  ChildRun run;
  if (!runPythonProgram(program, {std::to_string(n)}, run, check)) return -1;
  return run.cpu;
}

}  // namespace

int main(int argc, char** argv) {
  int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  if (n < 1) n = 100000;
  std::string kvarnCheck, refCheck, pythonCheck;
  double ref = runReference(n, refCheck);
  double kv = runKvarn(n, kvarnCheck);
  double py = runPython(n, pythonCheck);
  double pyStart = py > 0 ? pythonStartCpu() : 0;
  std::printf("script values, %d elements (array assignments, string building, SORT)   CPU s\n", n);
  std::printf("  KVARN    %8.3f   result %s\n", kv, kvarnCheck.c_str());
  std::printf("  %-8s %8.3f   result %s\n", kReference, ref, refCheck.c_str());
  if (py > 0)
    std::printf("  Python 3 %8.3f   result %s   (starting python3: %.3f of it)\n", py, pythonCheck.c_str(), pyStart);
  else std::printf("  Python 3 not run\n");
  bool same = kvarnCheck == refCheck && (py <= 0 || pythonCheck == kvarnCheck);
  if (!same) std::printf("  RESULTS DIFFER\n");
  std::printf("  ratio KVARN / %s: %.2f\n", kReference, ref > 0 ? kv / ref : 0.0);
  if (py > pyStart) std::printf("  ratio KVARN / Python 3 less its start: %.2f\n", kv / (py - pyStart));
#ifdef KVARN_BENCH_LUA
  if (ref > 0) printAim("KVARN CPU / Lua CPU", kv / ref, 2.0);
  else printNoAim("KVARN CPU / Lua CPU", "no Lua time");
#else
  printNoAim("KVARN CPU / Lua CPU", "built without Lua 5.4");
#endif
  return same ? 0 : 1;
}
