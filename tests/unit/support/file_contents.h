// Test support: everything written so far to a stdio stream opened for update (a
// tmpfile), read back from its start.
#pragma once
#include <cstdio>
#include <string>

inline std::string contentsOf(FILE *f) {
  std::fflush(f);
  std::rewind(f);
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  return out;
}
