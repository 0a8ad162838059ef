// Loading the IBM MQ libraries: one process-wide entry table per binding kind,
// filled at most once from the library found by the search below.
#pragma once
#include <string>
#include <vector>

#include "mqi/mqi.h"

struct MqEntryTable {
#define KVARN_TRANSPORT_ENTRY(name, params) PFN_##name name = nullptr;
  KVARN_MQI_ENTRY_POINTS(KVARN_TRANSPORT_ENTRY)
#undef KVARN_TRANSPORT_ENTRY
  void *handle = nullptr;
  bool loaded() const { return MQCONN != nullptr; }
};

enum class MqBinding { Server, Client };

// The library file names of IBM MQ on Linux.
const char *mqLibraryName(MqBinding binding);

// Where the library of a binding kind is looked for, in order: the DLL_PATH variable
// of the kind, else $MQ_INSTALLATION_PATH/lib64, else /opt/mqm/lib64; the libraries
// shipped beside the program (<programDir>/../lib) come last. `programDir` empty:
// the directory of the running executable.
std::vector<std::string> mqLibraryCandidates(MqBinding binding, const std::string &programDir = "");

// The entry table of a binding kind, loaded on first need. Returns 0 when loaded,
// 11 when a required entry point is missing, or the system error of the last load
// that failed. A failure leaves the table unloaded so the next connect tries again.
int loadMqLibrary(MqBinding binding, MqEntryTable *&table);
