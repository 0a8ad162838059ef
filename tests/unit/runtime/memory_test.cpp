// Counted memory: the figures =show prints must be true for the whole program.
#include "runtime/memory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

// Under AddressSanitizer an impossible request must come back as null, as it does
// from the C library, instead of stopping the test.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }

TEST(Memory, AllocAndFreeKeepsInUseButNotHistory) {
  MemoryCounters before = CSMemoryCounters();
  void *p = CSGetMem(1000);
  ASSERT_NE(p, nullptr);
  MemoryCounters during = CSMemoryCounters();
  EXPECT_EQ(during.blocksInUse, before.blocksInUse + 1);
  EXPECT_EQ(during.allocations, before.allocations + 1);
  EXPECT_EQ(during.bytesInUse, before.bytesInUse + 1000 + 68);
  EXPECT_GE(during.highWater, during.bytesInUse);
  CSFreeMem(p);
  MemoryCounters after = CSMemoryCounters();
  EXPECT_EQ(after.blocksInUse, before.blocksInUse);
  EXPECT_EQ(after.bytesInUse, before.bytesInUse);
  EXPECT_EQ(after.allocations, before.allocations + 1);
  EXPECT_GE(after.highWater, during.bytesInUse);
}

TEST(Memory, HeaderRecordsTotalAndClass) {
  void *small = CSGetMem(231);  // total 299: still small
  void *large = CSGetMem(232);  // total 300: large
  void *empty = CSGetMem(0);
  ASSERT_TRUE(small && large && empty);
  EXPECT_EQ(CSBlockTotal(small), 299u);
  EXPECT_EQ(CSBlockClass(small), 1);
  EXPECT_EQ(CSBlockTotal(large), 300u);
  EXPECT_EQ(CSBlockClass(large), 2);
  EXPECT_EQ(CSBlockTotal(empty), 68u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(small) % 16, 0u) << "operator new needs 16-byte alignment";
  static_cast<char *>(large)[231] = 'x';  // the whole request is usable
  CSFreeMem(small);
  CSFreeMem(large);
  CSFreeMem(empty);
  CSFreeMem(nullptr);
}

TEST(Memory, ExhaustedRequestReturnsNullAndCountsNothing) {
  MemoryCounters before = CSMemoryCounters();
  EXPECT_EQ(CSGetMem(SIZE_MAX), nullptr);
  EXPECT_EQ(CSGetMem(SIZE_MAX - 10), nullptr);
  MemoryCounters after = CSMemoryCounters();
  EXPECT_EQ(after.blocksInUse, before.blocksInUse);
  EXPECT_EQ(after.allocations, before.allocations);
  EXPECT_EQ(after.bytesInUse, before.bytesInUse);
}

TEST(Memory, EveryCxxAllocationIsCounted) {
  MemoryCounters before = CSMemoryCounters();
  auto *n = new int(5);
  auto arr = std::make_unique<char[]>(500);
  std::string s(1000, 'x');
  MemoryCounters during = CSMemoryCounters();
  EXPECT_EQ(during.blocksInUse, before.blocksInUse + 3);
  EXPECT_EQ(during.bytesInUse - before.bytesInUse, (int)(sizeof(int) + 500 + 1001 + 3 * 68));
  delete n;
  arr.reset();
  s = std::string();
  s.shrink_to_fit();
  MemoryCounters after = CSMemoryCounters();
  EXPECT_EQ(after.blocksInUse, before.blocksInUse);
  EXPECT_EQ(after.bytesInUse, before.bytesInUse);
  EXPECT_EQ(after.allocations, before.allocations + 3);
}

TEST(Memory, FailedNewThrowsAndNothrowReturnsNull) {
  MemoryCounters before = CSMemoryCounters();
  size_t huge = SIZE_MAX / 2;
  EXPECT_THROW(
      {
        auto *p = new char[huge];
        delete[] p;
      },
      std::bad_alloc);
  EXPECT_EQ((new (std::nothrow) char[huge]), nullptr);
  EXPECT_EQ(CSMemoryCounters().blocksInUse, before.blocksInUse);
}

TEST(Memory, CountersStayConsistentAcrossThreads) {
  MemoryCounters before = CSMemoryCounters();
  constexpr int kThreads = 4, kRounds = 20000;
  {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([] {
        for (int i = 0; i < kRounds; ++i) {
          void *p = CSGetMem(16 + i % 700);
          CSFreeMem(p);
        }
      });
    for (auto &t : threads) t.join();
  }
  MemoryCounters after = CSMemoryCounters();
  EXPECT_EQ(after.blocksInUse, before.blocksInUse);
  EXPECT_EQ(after.bytesInUse, before.bytesInUse);
  // std::thread itself allocates, so at least our own allocations were counted.
  EXPECT_GE(after.allocations - before.allocations, kThreads * kRounds);
}

TEST(MemoryDeathTest, DoubleFreeGoesToTheFaultRecord) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        void *p = CSGetMem(32);
        CSFreeMem(p);
        CSFreeMem(p);
      },
      "");
}
