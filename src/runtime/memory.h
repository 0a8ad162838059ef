// Room runtime (the bottom): counted memory, locks, the ordered index, buffers, text
// scanners, line reading, paths, stop signals, command launching and the trace sink.
// May include: runtime/ only.
//
// Counted memory. Every allocation of the program (CSGetMem and every C++ new)
// goes through one counted path, so the figures =show prints are true for the
// whole program, not just for the blocks KVARN asked for by name.
#pragma once
#include <cstddef>
#include <cstdint>

struct MemoryCounters {
  int32_t blocksInUse;  // blocks handed out and not yet returned
  int32_t allocations;  // allocations made since start
  int32_t bytesInUse;   // totals including headers
  int32_t highWater;    // high-water mark of bytesInUse
};

// A block of at least `size` bytes, not cleared, or nullptr when memory is exhausted
// (the counters are then unchanged).
void *CSGetMem(size_t size);
void CSFreeMem(void *block);

MemoryCounters CSMemoryCounters();  // clamped to INT32_MAX when a figure outgrows 32 bits

// The same figures unclamped (a long run can make more than 2^31 allocations).
struct MemoryCounters64 {
  int64_t blocksInUse;
  int64_t allocations;
  int64_t bytesInUse;
  int64_t highWater;
};
MemoryCounters64 CSMemoryCounters64();

// Restarts the high-water mark from the bytes now in use, so that the peak of one piece
// of work can be measured on its own.
void CSMemoryResetHighWater();

// The recorded total (request + kMemBlockOverhead) and allocation class (1 or 2) of a
// live block from CSGetMem; 0 for nullptr.
size_t CSBlockTotal(const void *block);
int CSBlockClass(const void *block);

// Bytes the header adds to the recorded total of every block.
inline constexpr size_t kMemBlockOverhead = 68;

// The program's exit code for storage that could not be had (the internal-failure code).
constexpr int kStorageExitCode = 130;
// Where storage runs out with nothing left to catch it (a thread's own loop): what was
// written goes out, the storage message follows on standard error, and the process
// ends with kStorageExitCode instead of aborting.
[[noreturn]] void exitForStorage();
