// The fault record. It runs when an internal invariant is already broken (the heap may
// be damaged), so it builds everything on the stack and uses only plain system calls.
#include "runtime/fault.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char kBuildStamp[] = __DATE__ " " __TIME__;

void faultPath(char *out, size_t size) {
  const char *dir = std::getenv("TMPDIR");
  if (!dir || !*dir) dir = "/tmp";
  size_t len = std::strlen(dir);
  const char *sep = (len > 0 && dir[len - 1] == '/') ? "" : "/";
  std::snprintf(out, size, "%s%scstrap.txt", dir, sep);
}

const char *baseName(const char *file) {
  if (!file) return "?";
  const char *slash = std::strrchr(file, '/');
  return slash ? slash + 1 : file;
}

}  // namespace

const char *CSFaultFilePath() {
  thread_local char path[4096];
  faultPath(path, sizeof path);
  return path;
}

void CSFault(int line, const char *file, long value) {
  char path[4096];
  faultPath(path, sizeof path);
  char text[1024];
  int n = std::snprintf(text, sizeof text, "cstrap line %d file %s (%s) value %ld\n", line, baseName(file), kBuildStamp,
                        value);
  if (n < 0) n = 0;
  if (static_cast<size_t>(n) >= sizeof text) n = sizeof text - 1;
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd >= 0) {
    ssize_t done = 0;
    while (done < n) {
      ssize_t w = ::write(fd, text + done, static_cast<size_t>(n - done));
      if (w <= 0) break;
      done += w;
    }
    ::close(fd);
  }
  std::raise(SIGTRAP);
  __builtin_trap();  // SIGTRAP ignored or handled: stop anyway
}
