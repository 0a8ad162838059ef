// The fuzz targets' scratch folder: one per process, memory-backed when possible (the
// table writers sync every file), emptied before each input and removed at exit.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace kvarn::fuzz {

inline const std::string &scratchDir() {
  // Never destroyed: the folder is removed at exit, after static objects may be gone.
  static const std::string *dir = [] {
    const char *tmp = std::getenv("TMPDIR");
    std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (tmp && *tmp ? tmp : "/tmp");
    auto *pattern = new std::string(base + "/kvarn-fuzz-scratch-XXXXXX");
    if (!mkdtemp(pattern->data())) std::abort();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(*dir, ec);
    });
    return pattern;
  }();
  return *dir;
}

inline void clearScratch() {
  std::error_code ec;
  for (const auto &entry : std::filesystem::directory_iterator(scratchDir(), ec))
    std::filesystem::remove_all(entry.path(), ec);
}

}  // namespace kvarn::fuzz
