// The statement executor under load.
//
//   bench_script_exec [passes...]        (default: 1000000 10000000)
//
// 1. Two while loops, each run for every pass count given, compiled and run in this process
//    through cmdRunSource, beside the same loop in Lua 5.4 (in this process through its C
//    API, `local` variables; when built with it) and in Python 3 (a child process, the
//    loop written at the top level of the program, as a script is; when python3 is on
//    PATH):
//      arithmetic  additions, multiplication, modulo and array stores, a string append
//                  every 1000th pass
//      string      a string built with STR() every pass, its length summed
//    Each run's CPU time (user + system) is compared: KVARN and Lua from
//    CLOCK_PROCESS_CPUTIME_ID around the run (compiling included), Python from wait4()
//    (starting the interpreter included; what starting it alone costs is measured too and
//    taken off for the aim, as the other two are timed around the run only). The three
//    results must agree. Aims: KVARN at most 0.5x Python's CPU and at most 3x Lua's.
// 2. A command file of assignments (`@v<i%1000> = <i> * 2 + 1`) at 100,000 and 1,000,000
//    lines, run by the kvarn program itself as a child (`kvarn -f -x -i <file>`), and
//    again through a two-line main file whose first line is `=import file(<file>)`. Peak
//    memory is the child's ru_maxrss from wait4(). Aim: the longer file's peak within 1.1x
//    of the shorter one's, on each path. Wall time of each run is shown.
// 3. Memory of a large array: a forked child fills `@a[i] = i` for i = 1..5,000,000;
//    bytes an element = (its peak - the peak of the same child filling none) / elements,
//    beside Lua's figure for a table of as many integers measured the same way. Aim: KVARN
//    under 100 bytes an element.
//
// The kvarn program run is $KVARN_BENCH_KVARN, else a `kvarn` beside this benchmark, else
// the one of this build. For quicker runs: KVARN_BENCH_LINES (the longer command file;
// the shorter is a tenth of it) and KVARN_BENCH_ELEMENTS (the array's elements).
// KVARN_BENCH_MEM_CAP_MB caps each kvarn child's address space (default 8192).
// Exit status 1 when a run failed or results disagree; a missed aim is only reported.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "support/script_bench.h"

#include "script/compiler.h"
#include "script/executor.h"
#include "script/resolver.h"
#include "script/script_state.h"

#ifndef KVARN_BENCH_KVARN_PATH
#define KVARN_BENCH_KVARN_PATH "kvarn"
#endif

using namespace kvarn::script;

namespace {

bool allGood = true;
double pythonStart = 0;  // CPU seconds of starting python3, measured once

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
  // Compiles and runs `text` as the main input.
  void run(const std::string& text) {
    InputSource& src = *ctx.mainInput;
    src.isString = true;
    src.text = text;
    src.readLine = cmdReadStringLine;
    cmdRunSource(ctx, src);
  }
  std::string value(const char* name) {
    Value v;
    std::string key(name), text, error;
    if (scriptReadVariable(ctx, key, v) != Resolution::Found) return "(no " + key + ")";
    valueToText(v, 0, text, error);
    return text;
  }
};

std::string withPasses(const char* format, long n) {
  char text[2048];
  std::snprintf(text, sizeof text, format, n);
  return text;
}

// One loop as KVARN, Lua and Python run it. The KVARN script leaves its result in @check;
// the Lua chunk returns it (its argument is the pass count); the Python program prints it
// (sys.argv[1] is the pass count).
struct Loop {
  const char* name;
  const char* kvarn;  // printf format, %ld = passes
  const char* lua;
  const char* python;
};

const Loop kLoops[] = {
    {"arithmetic",
     "@i = 0\n@s = 0\n@t = ''\n"
     "while (@i < %ld)\n"
     "  @i = @i + 1\n"
     "  @s = (@s + @i * 3) %% 1000003\n"
     "  @a[@i %% 1000 + 1] = @s\n"
     "  if (@i %% 1000 = 0)\n"
     "    @t = @t + 'x'\n"
     "  endif\n"
     "endwhile\n"
     "@check = STR(@s) + ' ' + STR(@a[1]) + ' ' + STR(STRLEN(@t))\n",
     "local n = ...\n"
     "local i, s, t, a = 0, 0, '', {}\n"
     "while i < n do\n"
     "  i = i + 1\n"
     "  s = (s + i * 3) % 1000003\n"
     "  a[i % 1000 + 1] = s\n"
     "  if i % 1000 == 0 then\n"
     "    t = t .. 'x'\n"
     "  end\n"
     "end\n"
     "return tostring(s) .. ' ' .. tostring(a[1]) .. ' ' .. tostring(#t)\n",
     "import sys\n"
     "n = int(sys.argv[1])\n"
     "i, s, t, a = 0, 0, '', {}\n"
     "while i < n:\n"
     "    i = i + 1\n"
     "    s = (s + i * 3) % 1000003\n"
     "    a[i % 1000 + 1] = s\n"
     "    if i % 1000 == 0:\n"
     "        t = t + 'x'\n"
     "print(str(s) + ' ' + str(a[1]) + ' ' + str(len(t)))\n"},
    {"string",
     "@i = 0\n@n = 0\n@t = ''\n"
     "while (@i < %ld)\n"
     "  @i = @i + 1\n"
     "  @t = 'item ' + STR(@i) + '/' + STR(@i %% 7)\n"
     "  @n = @n + STRLEN(@t)\n"
     "endwhile\n"
     "@check = STR(@n) + ' ' + @t\n",
     "local n = ...\n"
     "local i, k, t = 0, 0, ''\n"
     "while i < n do\n"
     "  i = i + 1\n"
     "  t = 'item ' .. tostring(i) .. '/' .. tostring(i % 7)\n"
     "  k = k + #t\n"
     "end\n"
     "return tostring(k) .. ' ' .. t\n",
     "import sys\n"
     "n = int(sys.argv[1])\n"
     "i, k, t = 0, 0, ''\n"
     "while i < n:\n"
     "    i = i + 1\n"
     "    t = 'item ' + str(i) + '/' + str(i % 7)\n"
     "    k = k + len(t)\n"
     "print(str(k) + ' ' + t)\n"},
};

double runKvarn(const std::string& script, std::string& check) {
  Program p;
  double t0 = benchCpuSeconds();
  p.run(script);
  double t = benchCpuSeconds() - t0;
  check = p.value("@check");
  return t;
}

#ifdef KVARN_BENCH_LUA
// Runs a chunk with `arg` as its argument; returns the CPU seconds, the chunk's result in
// `check` (an error's text when it failed).
double runLua(const char* chunk, long arg, std::string& check) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  double t0 = benchCpuSeconds();
  int rc = luaL_loadstring(L, chunk);
  if (rc == LUA_OK) {
    lua_pushinteger(L, arg);
    rc = lua_pcall(L, 1, 1, 0);
  }
  double t = benchCpuSeconds() - t0;
  const char* text = lua_tostring(L, -1);
  check = text ? text : "(no result)";
  if (rc != LUA_OK) check = "Lua error: " + check;
  lua_close(L);
  return t;
}
#endif

void runLoop(const Loop& loop, long n) {
  std::printf("loop \"%s\", %ld passes               CPU s   result\n", loop.name, n);
  std::string kcheck;
  double tk = runKvarn(withPasses(loop.kvarn, n), kcheck);
  std::printf("  KVARN     %9.3f   %s\n", tk, kcheck.c_str());
  bool same = true;
#ifdef KVARN_BENCH_LUA
  std::string lcheck;
  double tl = runLua(loop.lua, n, lcheck);
  std::printf("  Lua 5.4   %9.3f   %s\n", tl, lcheck.c_str());
  same = same && lcheck == kcheck;
#endif
  ChildRun py;
  std::string pcheck;
  bool havePython = runPythonProgram(loop.python, {std::to_string(n)}, py, pcheck);
  if (havePython) {
    std::printf("  Python 3  %9.3f   %s   (starting python3: %.3f of it)\n", py.cpu, pcheck.c_str(), pythonStart);
    same = same && pcheck == kcheck;
  } else {
    std::printf("  Python 3  not run (%s)\n", py.ending().c_str());
  }
  if (!same) {
    std::printf("  RESULTS DIFFER\n");
    allGood = false;
  }
  double pyLoop = py.cpu - pythonStart;
  if (havePython && pyLoop > 0) printAim("KVARN CPU / Python CPU less its start", tk / pyLoop, 0.5);
  else printNoAim("KVARN CPU / Python CPU less its start", "no Python 3");
#ifdef KVARN_BENCH_LUA
  if (tl > 0) printAim("KVARN CPU / Lua CPU", tk / tl, 3.0);
#else
  printNoAim("KVARN CPU / Lua CPU", "built without Lua 5.4");
#endif
}

// The kvarn program to run as a child.
std::string kvarnProgram() {
  if (const char* env = std::getenv("KVARN_BENCH_KVARN"); env && *env) return env;
  char self[PATH_MAX];
  ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
  if (len > 0) {
    std::string beside(self, static_cast<size_t>(len));
    beside = beside.substr(0, beside.rfind('/') + 1) + "kvarn";
    if (access(beside.c_str(), X_OK) == 0) return beside;
  }
  return KVARN_BENCH_KVARN_PATH;
}

// A scratch directory for the command files and the configuration of the kvarn children.
struct Scratch {
  std::string dir;
  Scratch() {
    char path[] = "/tmp/bench_script_exec_XXXXXX";
    if (mkdtemp(path)) dir = path;
    if (!dir.empty()) mkdir((dir + "/cfg").c_str(), 0700);
  }
  ~Scratch() {
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
  }
};

struct FileRun {
  ChildRun run;
  bool ok = false;
};

// Writes `lines` assignments to a file (then `print @v999`) and runs it through -i and
// through =import from a two-line main file (whose second line is `print @v0`). Each
// run's output must show the variables' last values.
void runCommandFile(const std::string& kvarn, const Scratch& scratch, long lines, FileRun& direct, FileRun& imported) {
  std::string file = scratch.dir + "/assign_" + std::to_string(lines) + ".kvx";
  std::string main = scratch.dir + "/main_" + std::to_string(lines) + ".kvx";
  FILE* f = std::fopen(file.c_str(), "w");
  FILE* m = std::fopen(main.c_str(), "w");
  if (!f || !m) {
    if (f) std::fclose(f);
    if (m) std::fclose(m);
    return;
  }
  long v0 = -1, v999 = -1;
  for (long i = 0; i < lines; ++i) {
    std::fprintf(f, "@v%ld = %ld * 2 + 1\n", i % 1000, i);
    if (i % 1000 == 0) v0 = i * 2 + 1;
    if (i % 1000 == 999) v999 = i * 2 + 1;
  }
  std::fprintf(f, "print @v999\n");
  std::fclose(f);
  std::fprintf(m, "=import file(%s)\nprint @v0\n", file.c_str());
  std::fclose(m);

  std::vector<std::string> env{"HOME=" + scratch.dir, "KVARNCFG=" + scratch.dir + "/cfg"};
  unsigned long long cap = static_cast<unsigned long long>(envNumber("KVARN_BENCH_MEM_CAP_MB", 8192)) << 20;
  direct.run = runChild({kvarn, "-f", "-x", "-i", file}, env, cap);
  direct.ok = direct.run.ran && direct.run.hasLine(std::to_string(v999));
  imported.run = runChild({kvarn, "-f", "-x", "-i", main}, env, cap);
  imported.ok =
      imported.run.ran && imported.run.hasLine(std::to_string(v999)) && imported.run.hasLine(std::to_string(v0));
  unlink(file.c_str());
  unlink(main.c_str());
}

void printFileRun(const char* how, long lines, const FileRun& r) {
  if (r.ok) {
    std::printf("  %-8s %8ld lines  wall %7.3f s  CPU %7.3f s  peak %9ld kB\n", how, lines, r.run.wall, r.run.cpu,
                r.run.peakKb);
  } else {
    std::printf("  %-8s %8ld lines  FAILED (%s, wall %.3f s, peak %ld kB)\n", how, lines, r.run.ending().c_str(),
                r.run.wall, r.run.peakKb);
    allGood = false;
  }
}

void commandFiles(const std::string& kvarn) {
  long large = envNumber("KVARN_BENCH_LINES", 1000000);
  long small = large / 10;
  if (small < 1000) small = 1000;
  Scratch scratch;
  if (scratch.dir.empty()) {
    std::printf("command file of assignments: no scratch directory\n");
    allGood = false;
    return;
  }
  FileRun directSmall, importSmall, directLarge, importLarge;
  runCommandFile(kvarn, scratch, small, directSmall, importSmall);
  runCommandFile(kvarn, scratch, large, directLarge, importLarge);
  std::printf("command file of assignments, run by %s\n", kvarn.c_str());
  printFileRun("-i", small, directSmall);
  printFileRun("-i", large, directLarge);
  printFileRun("=import", small, importSmall);
  printFileRun("=import", large, importLarge);
  auto aim = [&](const char* what, const FileRun& s, const FileRun& l) {
    if (s.ok && l.ok && s.run.peakKb > 0)
      printAim(what, static_cast<double>(l.run.peakKb) / static_cast<double>(s.run.peakKb), 1.1);
    else printNoAim(what, "a run failed");
  };
  std::string directWhat = "-i peak, " + std::to_string(large) + " / " + std::to_string(small) + " lines";
  std::string importWhat = "=import peak, " + std::to_string(large) + " / " + std::to_string(small) + " lines";
  aim(directWhat.c_str(), directSmall, directLarge);
  aim(importWhat.c_str(), importSmall, importLarge);
}

// Fills @a[1..n] in a forked child; its peak resident set in kB, -1 when it failed.
long kvarnArrayPeak(long n) {
  ChildRun r = runForked([n] {
    Program p;
    std::string script = "@i = 0\nwhile (@i < " + std::to_string(n) + ")\n  @i = @i + 1\n  @a[@i] = @i\nendwhile\n";
    script += n > 0 ? "@check = STR(@a[" + std::to_string(n) + "])\n" : "@check = STR(@i)\n";
    p.run(script);
    return p.value("@check");
  });
  return r.ran && r.exitCode == 0 && r.out == std::to_string(n) ? r.peakKb : -1;
}

#ifdef KVARN_BENCH_LUA
long luaArrayPeak(long n) {
  ChildRun r = runForked([n] {
    std::string check;
    runLua("local n = ...\nlocal a = {}\nfor i = 1, n do a[i] = i end\nreturn tostring(n > 0 and a[n] or 0)\n", n,
           check);
    return check;
  });
  return r.ran && r.exitCode == 0 && r.out == std::to_string(n) ? r.peakKb : -1;
}
#endif

void printPerElement(const char* who, long n, long empty, long full) {
  if (empty < 0 || full < 0) {
    std::printf("  %-9s FAILED\n", who);
    allGood = false;
    return;
  }
  double bytes = static_cast<double>(full - empty) * 1024.0 / static_cast<double>(n);
  std::printf("  %-9s peak %9ld kB, %7ld kB with none   %7.1f bytes an element\n", who, full, empty, bytes);
}

void arrayMemory() {
  long n = envNumber("KVARN_BENCH_ELEMENTS", 5000000);
  std::printf("array of %ld integers filled in a forked child\n", n);
  long kEmpty = kvarnArrayPeak(0), kFull = kvarnArrayPeak(n);
  printPerElement("KVARN", n, kEmpty, kFull);
#ifdef KVARN_BENCH_LUA
  long lEmpty = luaArrayPeak(0), lFull = luaArrayPeak(n);
  printPerElement("Lua 5.4", n, lEmpty, lFull);
#else
  std::printf("  Lua 5.4   not built in (install liblua5.4-dev)\n");
#endif
  if (kEmpty >= 0 && kFull >= 0) {
    double bytes = static_cast<double>(kFull - kEmpty) * 1024.0 / static_cast<double>(n);
    bool meets = bytes < 100.0;
    std::printf("  aim  %-44s %7.1f   (< 100)    %s\n", "KVARN bytes an element", bytes, meets ? "meets" : "misses");
  } else {
    printNoAim("KVARN bytes an element", "a run failed");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> passes;
  for (int i = 1; i < argc; ++i) {
    long n = std::atol(argv[i]);
    if (n < 1000) {
      std::fprintf(stderr, "usage: bench_script_exec [passes...]   (each at least 1000)\n");
      return 2;
    }
    passes.push_back(n);
  }
  if (passes.empty()) passes = {1000000, 10000000};

  pythonStart = pythonStartCpu();
  for (long n : passes)
    for (const Loop& loop : kLoops) runLoop(loop, n);
  commandFiles(kvarnProgram());
  arrayMemory();
  return allGood ? 0 : 1;
}
