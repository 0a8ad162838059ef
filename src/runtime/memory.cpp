// Counted memory: CSGetMem/CSFreeMem and the program-wide operator new/delete.
//
// Every block carries a 64-byte header in front of the caller's bytes; the recorded
// total is the request plus kMemBlockOverhead. The counters are lock-free atomics
// because every C++ allocation of the program passes through here. They are kept as
// 64-bit values inside so that a long run cannot wrap them; the 32-bit figures are
// clamped when they are read.
#include "runtime/memory.h"

#include <cstdio>
#include <cstdlib>

#include "runtime/fault.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>

namespace {

constexpr uint32_t kLiveMagic = 0x4B564D42;   // "KVMB"
constexpr uint32_t kFreedMagic = 0x46524545;  // "FREE"
constexpr size_t kHeaderSize = 64;
constexpr size_t kSmallLimit = 300;

struct alignas(16) BlockHeader {
  uint32_t magic;
  uint32_t allocClass;  // 1: small request, 2: large (or small that needed a retry)
  uint64_t total;       // requested + kMemBlockOverhead
  uint64_t requested;
  unsigned char reserved[kHeaderSize - 24];
};
static_assert(sizeof(BlockHeader) == kHeaderSize, "the block header is 64 bytes");

std::atomic<int64_t> gBlocksInUse{0};
std::atomic<int64_t> gAllocations{0};
std::atomic<int64_t> gBytesInUse{0};
std::atomic<int64_t> gHighWater{0};

int32_t clamp32(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

void countAllocation(int64_t total) {
  gBlocksInUse.fetch_add(1, std::memory_order_relaxed);
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  int64_t now = gBytesInUse.fetch_add(total, std::memory_order_relaxed) + total;
  int64_t high = gHighWater.load(std::memory_order_relaxed);
  while (now > high && !gHighWater.compare_exchange_weak(high, now, std::memory_order_relaxed)) {}
}

BlockHeader *headerOf(void *block) {
  return reinterpret_cast<BlockHeader *>(static_cast<unsigned char *>(block) - kHeaderSize);
}

// operator new must call the new-handler until it gives up, then throw.
void *newCounted(size_t size) {
  for (;;) {
    if (void *p = CSGetMem(size)) return p;
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

void *newCountedNoThrow(size_t size) noexcept {
  try {
    return newCounted(size);
  } catch (...) { return nullptr; }
}

}  // namespace

void *CSGetMem(size_t size) {
  if (size > SIZE_MAX - kMemBlockOverhead) return nullptr;
  const size_t total = size + kMemBlockOverhead;
  uint32_t allocClass = total < kSmallLimit ? 1 : 2;
  void *raw = std::malloc(total);
  if (!raw && allocClass == 1) {
    raw = std::malloc(total);  // one retry; the block then counts as large
    allocClass = 2;
  }
  if (!raw) return nullptr;
  auto *h = static_cast<BlockHeader *>(raw);
  h->magic = kLiveMagic;
  h->allocClass = allocClass;
  h->total = total;
  h->requested = size;
  countAllocation(static_cast<int64_t>(total));
  return static_cast<unsigned char *>(raw) + kHeaderSize;
}

void CSFreeMem(void *block) {
  if (!block) return;
  BlockHeader *h = headerOf(block);
  // A block that was not handed out here, or is freed twice, would corrupt the
  // figures and the heap: that is a broken invariant, not a recoverable error.
  if (h->magic != kLiveMagic) CS_FAULT(h->magic);
  h->magic = kFreedMagic;
  gBlocksInUse.fetch_sub(1, std::memory_order_relaxed);
  gBytesInUse.fetch_sub(static_cast<int64_t>(h->total), std::memory_order_relaxed);
  std::free(h);
}

MemoryCounters CSMemoryCounters() {
  MemoryCounters c;
  c.blocksInUse = clamp32(gBlocksInUse.load(std::memory_order_relaxed));
  c.allocations = clamp32(gAllocations.load(std::memory_order_relaxed));
  c.bytesInUse = clamp32(gBytesInUse.load(std::memory_order_relaxed));
  c.highWater = clamp32(gHighWater.load(std::memory_order_relaxed));
  return c;
}

MemoryCounters64 CSMemoryCounters64() {
  return {gBlocksInUse.load(std::memory_order_relaxed), gAllocations.load(std::memory_order_relaxed),
          gBytesInUse.load(std::memory_order_relaxed), gHighWater.load(std::memory_order_relaxed)};
}

void CSMemoryResetHighWater() {
  gHighWater.store(gBytesInUse.load(std::memory_order_relaxed), std::memory_order_relaxed);
}

size_t CSBlockTotal(const void *block) { return block ? headerOf(const_cast<void *>(block))->total : 0; }

int CSBlockClass(const void *block) {
  return block ? static_cast<int>(headerOf(const_cast<void *>(block))->allocClass) : 0;
}

// The program-wide replacements. The std::align_val_t forms stay with the library:
// they use their own aligned allocator and never meet these.
void *operator new(size_t size) { return newCounted(size); }
void *operator new[](size_t size) { return newCounted(size); }
void *operator new(size_t size, const std::nothrow_t &) noexcept { return newCountedNoThrow(size); }
void *operator new[](size_t size, const std::nothrow_t &) noexcept { return newCountedNoThrow(size); }
void operator delete(void *p) noexcept { CSFreeMem(p); }
void operator delete[](void *p) noexcept { CSFreeMem(p); }
void operator delete(void *p, size_t) noexcept { CSFreeMem(p); }
void operator delete[](void *p, size_t) noexcept { CSFreeMem(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { CSFreeMem(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { CSFreeMem(p); }

void exitForStorage() {
  std::fflush(stdout);
  std::fputs("No storage.\n", stderr);
  std::_Exit(kStorageExitCode);
}
