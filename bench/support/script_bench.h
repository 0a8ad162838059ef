// What the script benchmarks share: a monotonic clock in seconds and, when built with
// Lua 5.4 (KVARN_BENCH_LUA), Lua's C API for the reference runs.
#pragma once
#include <time.h>

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
