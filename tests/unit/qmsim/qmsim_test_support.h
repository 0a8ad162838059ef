// Helpers for the qmsim tests: a fresh KVARN_QMSIM_HOME per test, the MQI loaded
// with dlopen exactly as KVARN loads it, and qmsim server processes that are
// always stopped.
#pragma once

#include <dlfcn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <stdexcept>
#include <string>
#include <vector>

#include "mqi/mqi.h"

namespace qmsim_test {

// A temporary directory set as KVARN_QMSIM_HOME for the life of the object.
class TempHome {
 public:
  TempHome() {
    char pattern[] = "/tmp/qmsim-test-XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    ::setenv("KVARN_QMSIM_HOME", pattern, 1);
    ::unsetenv("KVARN_QMSIM_DEFAULT");
    ::unsetenv("MQSERVER");
  }
  ~TempHome() {
    ::unsetenv("KVARN_QMSIM_HOME");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The MQ entry table, filled with dlsym as KVARN fills it.
struct MqApi {
#define QMSIM_TEST_ENTRY(name, params) PFN_##name name = nullptr;
  KVARN_MQI_ENTRY_POINTS(QMSIM_TEST_ENTRY)
#undef QMSIM_TEST_ENTRY
  void* handle = nullptr;

  // Loaded once per process and library, as KVARN does; never closed.
  static MqApi& load(const char* path) {
    static std::list<std::pair<std::string, MqApi>> loaded;
    for (auto& [p, api] : loaded)
      if (p == path) return api;
    MqApi* api = &loaded.emplace_back(path, MqApi{}).second;
    api->handle = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!api->handle) throw std::runtime_error(std::string("dlopen failed: ") + ::dlerror());
#define QMSIM_TEST_ENTRY(name, params) api->name = reinterpret_cast<PFN_##name>(::dlsym(api->handle, #name));
    KVARN_MQI_ENTRY_POINTS(QMSIM_TEST_ENTRY)
#undef QMSIM_TEST_ENTRY
    return *api;
  }
};

inline std::string buildPath(const char* relative) {
  const char* dir = std::getenv("KVARN_BUILD_DIR");
  return std::string(dir && *dir ? dir : QMSIM_TEST_BUILD_DIR) + "/" + relative;
}

struct RunResult {
  int exitCode = -1;
  std::string out;
};

// Runs the qmsim program to completion and collects stdout and stderr.
RunResult runQmsim(const std::vector<std::string>& args);

// A qmsim server process started in the foreground on a free loopback port.
class ServerProcess {
 public:
  ServerProcess(const std::vector<std::string>& qmgrs, const std::vector<std::string>& extraArgs = {});
  ~ServerProcess() { stop(); }
  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  // SIGTERM and wait; returns the exit status.
  int stop();
  void kill9();

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace qmsim_test
