#include "transport/mq_library.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "context/context.h"
#include "runtime/lock.h"
#include "runtime/path.h"

namespace {

std::string envText(const char *name) {
  const char *v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string executableDir() {
  char path[4096];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string p(path, static_cast<size_t>(n));
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? "." : p.substr(0, slash);
}

// An optional entry point the library lacks answers every call with
// MQCC_FAILED / MQRC_FUNCTION_NOT_SUPPORTED; its last two parameters are always
// the completion code and the reason.
template <typename F>
struct MissingEntry;
template <typename... A>
struct MissingEntry<void (*)(A...)> {
  static void call(A... args) {
    auto all = std::forward_as_tuple(args...);
    constexpr size_t n = sizeof...(A);
    *std::get<n - 2>(all) = MQCC_FAILED;
    *std::get<n - 1>(all) = MQRC_FUNCTION_NOT_SUPPORTED;
  }
};

bool isRequired(const char *name) {
  static const char *const kRequired[] = {"MQCONN", "MQDISC", "MQCMIT", "MQBACK", "MQPUT",  "MQGET",
                                          "MQPUT1", "MQINQ",  "MQSET",  "MQOPEN", "MQCLOSE"};
  for (const char *r : kRequired)
    if (std::strcmp(r, name) == 0) return true;
  return false;
}

// Fills the table from an opened library; false when a required entry is missing.
bool fillTable(MqEntryTable &t, void *handle) {
  MqEntryTable filled;
  bool complete = true;
#define KVARN_TRANSPORT_FETCH(name, params)                                                                            \
  filled.name = reinterpret_cast<PFN_##name>(::dlsym(handle, #name));                                                  \
  if (!filled.name) {                                                                                                  \
    if (isRequired(#name)) complete = false;                                                                           \
    else filled.name = &MissingEntry<PFN_##name>::call;                                                                \
  }
  KVARN_MQI_ENTRY_POINTS(KVARN_TRANSPORT_FETCH)
#undef KVARN_TRANSPORT_FETCH
  if (!complete) return false;
  filled.handle = handle;
  t = filled;
  return true;
}

MqEntryTable gServerTable, gClientTable;
CSLock gLoadLock;

struct LoadLockGuard {
  LoadLockGuard() { CSLockIt(gLoadLock); }
  ~LoadLockGuard() { CSUnlockIt(gLoadLock); }
};

}  // namespace

// IBM MQ's own variables: once one is set, the host has (or is meant to have) IBM MQ,
// and the simulator must never answer in its place. The first one set, or nullptr.
const char *mqLibraryVariableSet() {
  for (const char *name : {"MQM_DLL_PATH", "MQIC_DLL_PATH", "MQ_INSTALLATION_PATH"})
    if (!envText(name).empty()) return name;
  return nullptr;
}

namespace {

bool sameFile(const std::string &a, const std::string &b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string shippedLibrary(MqBinding binding, const std::string &programDir) {
  // The executable's directory is a resolved path, so dropping "bin/.." is exact.
  std::filesystem::path dir = programDir.empty() ? executableDir() : programDir;
  return (dir / kShippedLibraryDir / mqLibraryName(binding)).lexically_normal().string();
}

}  // namespace

const char *mqLibraryName(MqBinding binding) { return binding == MqBinding::Client ? "libmqic_r.so" : "libmqm_r.so"; }

std::vector<std::string> mqLibraryCandidates(MqBinding binding, const std::string &programDir) {
  std::string name = mqLibraryName(binding);
  std::vector<std::string> out;
  std::string dir = envText(binding == MqBinding::Client ? "MQIC_DLL_PATH" : "MQM_DLL_PATH");
  if (dir.empty()) {
    std::string install = envText("MQ_INSTALLATION_PATH");
    dir = install.empty() ? "/opt/mqm/lib64" : install + "/lib64";
  }
  out.push_back(joinPath(tidyDirectory(dir), name));
  if (mqLibraryVariableSet()) return out;
  std::string own = shippedLibrary(binding, programDir);
  if (own != out.front()) out.push_back(own);
  return out;
}

MqLibraryChoice chooseMqLibrary(MqBinding binding, const std::function<void(const std::string &)> &trace) {
  std::vector<std::string> candidates = mqLibraryCandidates(binding);
  const char *variable = mqLibraryVariableSet();
  std::string own = shippedLibrary(binding, "");
  for (size_t i = 0; i < candidates.size(); ++i) {
    const std::string &path = candidates[i];
    if (trace) trace(strFormat("Loading '%s'", path.c_str()));
    // A place without the library is passed over quietly; one that has it decides.
    if (::access(path.c_str(), F_OK) != 0) {
      int err = errno ? errno : ENOENT;
      if (trace) trace(strFormat("Load failed RC(%d) %s", err, std::strerror(err)));
      // With IBM MQ's variables set there is nowhere else to look: a mistyped setting is
      // a load failure, not a quiet switch to the simulator.
      if (variable && i + 1 == candidates.size())
        return {err, path, false,
                strFormat("%s; the simulated queue manager is not used while %s is set", std::strerror(err), variable)};
      continue;
    }
    // Our own library, whether found last or named by a variable pointing at it.
    return {0, path, path == own || sameFile(path, own), ""};
  }
  return {ENOENT, "", false, ""};
}

MqLoadResult loadMqLibrary(MqBinding binding, MqEntryTable *&table, ProgramContext *ctx) {
  MqEntryTable &t = binding == MqBinding::Client ? gClientTable : gServerTable;
  table = &t;
  LoadLockGuard guard;
  if (t.loaded()) return {};
  bool debug = std::getenv("MQACCESS_DEBUG") != nullptr;
  auto report = [ctx](const std::string &line) {
    if (ctx && ctx->output) addInfo(*ctx, line);
    else std::printf("%s\n", line.c_str());
  };
  MqLibraryChoice choice = chooseMqLibrary(binding, debug ? std::function<void(const std::string &)>(report) : nullptr);
  if (choice.error != 0) return {choice.error, choice.path, choice.reason};
  ::dlerror();
  void *handle = ::dlopen(choice.path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char *why = ::dlerror();
    MqLoadResult r{ENOEXEC, choice.path, why ? why : "unknown reason"};
    if (debug) report(strFormat("Load failed RC(%d) %s", r.error, r.reason.c_str()));
    return r;
  }
  if (!fillTable(t, handle)) {
    ::dlclose(handle);
    return {ENOEXEC, choice.path, "a required MQI entry point is missing"};
  }
  t.bundled = choice.shipped;
  return {};
}
