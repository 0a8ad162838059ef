// What the script benchmarks share: a monotonic clock in seconds, a Python 3 reference
// run and, when built with Lua 5.4 (KVARN_BENCH_LUA), Lua's C API for the reference runs.
#pragma once
#include <time.h>

#include <cstdio>
#include <string>

#ifdef KVARN_BENCH_LUA
extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}
#endif

inline double benchSeconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Runs `command` (a python3 -c command line) and returns its wall time in seconds, the
// first line it printed in `check`; a negative time when it could not run.
inline double runPythonCommand(const char* command, std::string& check) {
  double t0 = benchSeconds();
  FILE* p = popen(command, "r");
  if (!p) return -1;
  char buf[256] = {};
  if (!std::fgets(buf, sizeof buf, p)) buf[0] = 0;
  int status = pclose(p);
  double t = benchSeconds() - t0;
  check = buf;
  while (!check.empty() && check.back() == '\n') check.pop_back();
  return status == 0 ? t : -1;
}
