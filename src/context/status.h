// Outcome bits of a run and the exit code computed from them.
#pragma once
#include <cstdint>

#include "runtime/memory.h"

enum StatusBits : uint32_t {
  kStatusConnectFailed = 1,
  kStatusCommandFailed = 2,
  kStatusCommandSucceeded = 4,
  kStatusMqCallFailed = 8,
  kStatusInternalFailure = 16,  // storage could not be obtained, or an internal failure
};

enum ExitCodes : int {
  kExitAllSucceeded = 0,
  kExitNothingIssued = 64,
  kExitMixed = 65,
  kExitConnectFailed = 128,
  kExitMqCallFailed = 129,
  kExitInternalFailure = 130,
  kExitAllFailed = 131,
  kExitBadCommandLine = 132,
  kExitOther = 255,
};
// The runtime ends a run that ran out of storage with the internal-failure code.
static_assert(kStorageExitCode == kExitInternalFailure);

inline int exitCodeFromStatus(uint32_t flags) {
  if (flags & kStatusConnectFailed) return kExitConnectFailed;
  if (flags & kStatusInternalFailure) return kExitInternalFailure;
  if (flags & kStatusMqCallFailed) return kExitMqCallFailed;
  switch (flags) {
  case 0: return kExitNothingIssued;
  case kStatusCommandFailed: return kExitAllFailed;
  case kStatusCommandSucceeded: return kExitAllSucceeded;
  case kStatusCommandFailed | kStatusCommandSucceeded: return kExitMixed;
  default: return kExitOther;
  }
}
