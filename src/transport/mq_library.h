// Loading the IBM MQ libraries: one process-wide entry table per binding kind,
// filled at most once from the library found by the search below.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "mqi/mqi.h"

struct ProgramContext;

struct MqEntryTable {
#define KVARN_TRANSPORT_ENTRY(name, params) PFN_##name name = nullptr;
  KVARN_MQI_ENTRY_POINTS(KVARN_TRANSPORT_ENTRY)
#undef KVARN_TRANSPORT_ENTRY
  void *handle = nullptr;
  bool bundled = false;  // the simulated queue manager's library shipped with KVARN
  bool loaded() const { return MQCONN != nullptr; }
};

enum class MqBinding { Server, Client };

// The library file names of IBM MQ on Linux.
const char *mqLibraryName(MqBinding binding);

// The first of IBM MQ's library variables (MQM_DLL_PATH, MQIC_DLL_PATH,
// MQ_INSTALLATION_PATH) that is set, or nullptr when none is.
const char *mqLibraryVariableSet();

// The private directory, relative to the directory of the kvarn executable, that holds
// the simulated queue manager's libraries: the same in a build tree (build/bin and
// build/lib/kvarn) and in an installed tree (<prefix>/bin and <prefix>/lib/kvarn). It
// is never on the loader's search path, so it cannot shadow IBM MQ for other programs.
inline constexpr const char *kShippedLibraryDir = "../lib/kvarn";

// Where the library of a binding kind is looked for, in order: the DLL_PATH variable
// of the kind, else $MQ_INSTALLATION_PATH/lib64, else /opt/mqm/lib64; the libraries
// shipped with the program (<programDir>/../lib/kvarn) come last, and only when none of
// IBM MQ's library variables is set. `programDir` empty: the directory of the running
// executable.
std::vector<std::string> mqLibraryCandidates(MqBinding binding, const std::string &programDir = "");

// The library a connection of a binding kind would load: the first candidate that
// exists. error 0: `path` exists (`shipped` when it is the simulator's); ENOENT with an
// empty path: no library anywhere; otherwise IBM MQ's variables name a place without
// it (`path`, with `reason`). `trace`, when given, hears each place tried.
struct MqLibraryChoice {
  int error = 0;
  std::string path;
  bool shipped = false;
  std::string reason;
};
MqLibraryChoice chooseMqLibrary(MqBinding binding, const std::function<void(const std::string &)> &trace = {});

struct MqLoadResult {
  int error = 0;       // 0 loaded; ENOENT with no path: no library anywhere; else why it failed
  std::string path;    // the library that failed to load
  std::string reason;  // the loader's reason
};

// The entry table of a binding kind, loaded on first need. The shipped libraries are
// used only when no IBM MQ library exists in any place searched: one that exists but
// cannot be loaded (or lacks a required entry point) is a failure, never a reason to
// fall back to the simulator. A failure leaves the table unloaded so the next connect
// tries again.
// With MQACCESS_DEBUG set, each place tried is reported on `ctx`'s output (standard
// output when there is none).
MqLoadResult loadMqLibrary(MqBinding binding, MqEntryTable *&table, ProgramContext *ctx = nullptr);
