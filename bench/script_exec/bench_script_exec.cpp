// The statement executor under load.
//
//   bench_script_exec [iterations] [lines]
//
// 1. A while loop of `iterations` passes (default 10,000,000) doing arithmetic, string
//    and array work, compiled and run by the executor, beside the same loop in Lua 5.4
//    (when built with it) and in Python 3 (when python3 is on PATH), in the same run.
// 2. A command file of `lines` assignments (default 1,000,000) run in a child process,
//    beside the same file at a tenth of the length: peak memory of each, which stays flat
//    when run statements are freed as execution moves on.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/script_bench.h"

#include "script/compiler.h"
#include "script/executor.h"
#include "script/resolver.h"
#include "script/script_state.h"

using namespace kvarn::script;

namespace {

struct Program {
  ProgramContext ctx;
  FILE* sink = std::fopen("/dev/null", "w");
  Program() {
    ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, sink, sink);
    ctx.mode |= kModeFile;
    ctx.mainInput = std::make_unique<InputSource>();
    ctx.mainInput->echo.input = false;
  }
  ~Program() {
    ctx.script.reset();
    ctx.output.reset();
    std::fclose(sink);
  }
  void run(InputSource& src) { cmdRunSource(ctx, src); }
  std::string value(const char* name) {
    Value v;
    std::string key(name), text, error;
    scriptReadVariable(ctx, key, v);
    valueToText(v, 0, text, error);
    return text;
  }
};

const char* kScript = "@i = 0\n@s = 0\n@t = ''\n"
                      "while (@i < %ld)\n"
                      "  @i = @i + 1\n"
                      "  @s = @s + @i %% 7 * 3\n"
                      "  @a[@i %% 100 + 1] = @s\n"
                      "  @t = SUBSTR('abcdefghij', @i %% 10 + 1, 1)\n"
                      "endwhile\n";

double runKvarn(long n, std::string& check) {
  Program p;
  char text[512];
  std::snprintf(text, sizeof text, kScript, n);
  InputSource& src = *p.ctx.mainInput;
  src.isString = true;
  src.text = text;
  src.readLine = cmdReadStringLine;
  double t0 = benchSeconds();
  p.run(src);
  double t = benchSeconds() - t0;
  check = p.value("@s") + " " + p.value("@t");
  return t;
}

#ifdef KVARN_BENCH_LUA
double runLua(long n, std::string& check) {
  const char* script = "local n = ...\nlocal i, s, t, a = 0, 0, '', {}\n"
                       "while i < n do\n  i = i + 1\n  s = s + i % 7 * 3\n  a[i % 100 + 1] = s\n"
                       "  t = string.sub('abcdefghij', i % 10 + 1, i % 10 + 1)\nend\nreturn tostring(s) .. ' ' .. t\n";
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  double t0 = benchSeconds();
  luaL_loadstring(L, script);
  lua_pushinteger(L, n);
  lua_call(L, 1, 1);
  double t = benchSeconds() - t0;
  check = lua_tostring(L, -1);
  lua_close(L);
  return t;
}
#endif

double runPython(long n, std::string& check) {
  char command[1024];
  std::snprintf(command, sizeof command,
                "python3 -c \"\n"
                "i, s, t, a = 0, 0, '', {}\n"
                "while i < %ld:\n"
                "    i = i + 1\n"
                "    s = s + i %% 7 * 3\n"
                "    a[i %% 100 + 1] = s\n"
                "    t = 'abcdefghij'[i %% 10:i %% 10 + 1]\n"
                "print(s, t)\n\" 2>/dev/null",
                n);
  return runPythonCommand(command, check);
}

// Runs `lines` assignments in a child process; returns its peak resident set in kB.
long peakOfAssignments(long lines, double& seconds) {
  char path[] = "/tmp/bench_script_exec_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return -1;
  FILE* f = fdopen(fd, "w");
  for (long i = 0; i < lines; ++i) std::fprintf(f, "@v%ld = %ld * 2 + 1\n", i % 1000, i);
  std::fclose(f);
  double t0 = benchSeconds();
  pid_t pid = fork();
  if (pid == 0) {
    Program p;
    InputSource& src = *p.ctx.mainInput;
    src.stream = std::fopen(path, "r");
    src.name = path;
    src.readLine = [](ProgramContext&, InputSource& s) {
      char buf[256];
      if (!std::fgets(buf, sizeof buf, s.stream)) return false;
      s.line = buf;
      if (!s.line.empty() && s.line.back() == '\n') s.line.pop_back();
      ++s.lineNumber;
      return true;
    };
    p.run(src);
    std::fclose(src.stream);
    _exit(0);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  seconds = benchSeconds() - t0;
  unlink(path);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  long n = argc > 1 ? std::atol(argv[1]) : 10000000;
  long lines = argc > 2 ? std::atol(argv[2]) : 1000000;

  std::string kcheck, pcheck;
  double tk = runKvarn(n, kcheck);
  std::printf("loop of %ld passes (arithmetic, string, array)\n", n);
  std::printf("  KVARN    %8.3f s   %s\n", tk, kcheck.c_str());
#ifdef KVARN_BENCH_LUA
  std::string lcheck;
  double tl = runLua(n, lcheck);
  std::printf("  Lua 5.4  %8.3f s   %s   KVARN/Lua    %.2fx\n", tl, lcheck.c_str(), tk / tl);
#else
  std::printf("  Lua 5.4  not built in (install liblua5.4-dev)\n");
#endif
  double tp = runPython(n, pcheck);
  if (tp > 0) std::printf("  Python 3 %8.3f s   %s   KVARN/Python %.2fx\n", tp, pcheck.c_str(), tk / tp);
  else std::printf("  Python 3 not available\n");

  double small = 0, large = 0;
  long peakSmall = peakOfAssignments(lines / 10, small);
  long peakLarge = peakOfAssignments(lines, large);
  std::printf("command file of assignments\n");
  std::printf("  %8ld lines  %7.3f s  peak %6ld kB\n", lines / 10, small, peakSmall);
  std::printf("  %8ld lines  %7.3f s  peak %6ld kB   peak ratio %.2fx for %ldx the lines\n", lines, large, peakLarge,
              peakSmall > 0 ? static_cast<double>(peakLarge) / static_cast<double>(peakSmall) : 0.0, 10L);
  return 0;
}
