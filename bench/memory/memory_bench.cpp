// Cost of counted allocation. Every C++ allocation of the program goes through the
// counted path (the global operator new is replaced), so its overhead is paid
// everywhere. Measured: CSGetMem/CSFreeMem and plain new/delete, beside malloc/free
// called directly as the reference, with one thread and with two threads allocating at
// once (the counters are shared atomics, so two threads contend for them).
//
// Two patterns per size: a pair (allocate, touch, free at once) and a batch (allocate
// 1,000 blocks, then free them all), which keeps many blocks live as real callers do.
// When a batch frees more than the C library's trim threshold (128 KiB by default) at
// the top of the heap, the library hands the memory back to the system and takes it
// again for the next batch; the 68 bytes each counted block adds can push a batch over
// that line (1,000 x 100 bytes), which the figures then show as a large ratio. Run with
// GLIBC_TUNABLES=glibc.malloc.trim_threshold=67108864 to see the cost without it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "runtime/memory.h"

namespace {

using Clock = std::chrono::steady_clock;

struct ViaCSGetMem {
  static constexpr const char *name = "CSGetMem/CSFreeMem";
  static void *get(size_t n) { return CSGetMem(n); }
  static void put(void *p) { CSFreeMem(p); }
};

struct ViaNew {
  static constexpr const char *name = "new/delete";
  static void *get(size_t n) { return new char[n]; }
  static void put(void *p) { delete[] static_cast<char *>(p); }
};

struct ViaMalloc {
  static constexpr const char *name = "malloc/free";
  static void *get(size_t n) { return std::malloc(n); }
  static void put(void *p) { std::free(p); }
};

constexpr size_t kBatch = 1000;

// The blocks go through a volatile pointer so the compiler cannot pair and drop them.
template <typename A>
void pairs(size_t size, long count) {
  for (long i = 0; i < count; ++i) {
    void *volatile p = A::get(size);
    if (!p) std::abort();
    static_cast<char *>(p)[0] = static_cast<char>(i);
    A::put(p);
  }
}

template <typename A>
void batches(size_t size, long count) {
  std::vector<void *> live(kBatch);
  for (long done = 0; done < count; done += static_cast<long>(kBatch)) {
    for (auto &p : live) {
      p = A::get(size);
      if (!p) std::abort();
      static_cast<char *>(p)[0] = 1;
    }
    for (auto *p : live) A::put(p);
  }
}

// Nanoseconds per allocate+free pair, each of `threads` threads doing `count` of them.
template <typename A>
double measure(bool batched, size_t size, long count, int threads) {
  auto work = [=] { batched ? batches<A>(size, count) : pairs<A>(size, count); };
  work();  // warm the allocator's caches for this size
  auto start = Clock::now();
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (auto &t : pool) t.join();
  double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  return ns / static_cast<double>(count);  // per pair, as seen by one thread
}

void row(bool batched, size_t size, int threads, long count) {
  double ref = measure<ViaMalloc>(batched, size, count, threads);
  double cs = measure<ViaCSGetMem>(batched, size, count, threads);
  double nw = measure<ViaNew>(batched, size, count, threads);
  std::printf("%-6s %6zu %7d | %7.1f | %7.1f %5.2f | %7.1f %5.2f\n", batched ? "batch" : "pair", size, threads, ref, cs,
              cs / ref, nw, nw / ref);
}

}  // namespace

int main(int argc, char **argv) {
  const long count = argc > 1 ? std::atol(argv[1]) : 500'000;
  std::printf("nanoseconds per allocate+free, per thread; ratio to malloc/free measured in the same run\n");
  std::printf("(%ld pairs per thread; batches of %zu live blocks)\n\n", count, kBatch);
  std::printf("%-6s %6s %7s | %7s | %-13s | %-13s\n", "kind", "bytes", "threads", "malloc", "CSGetMem  x",
              "new       x");
  for (bool batched : {false, true})
    for (size_t size : {16, 100, 1000})
      for (int threads : {1, 2}) row(batched, size, threads, count);
  std::printf("\n(a large batch ratio is the C library trimming the heap between batches: see the note at the top\n"
              " of memory_bench.cpp)\n");
  MemoryCounters c = CSMemoryCounters();
  std::printf("\nafter the run: Blocks:%d Allocs:%d Bytes:%d High:%d\n", c.blocksInUse, c.allocations, c.bytesInUse,
              c.highWater);
  return 0;
}
