// The recursive locks: owner rules and recursion across threads.
#include "runtime/lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Polls until `flag` is set or a generous limit passes; never asserts a timing.
bool eventually(const std::atomic<bool> &flag) {
  for (int i = 0; i < 5000 && !flag.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return flag.load();
}

void settle() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }

}  // namespace

TEST(CSLock, TakenTwiceMustBeReleasedTwice) {
  CSLock lock;
  CSLockIt(lock);
  CSLockIt(lock);
  EXPECT_EQ(lock.count, 2u);

  std::atomic<bool> taken{false};
  std::thread other([&] {
    CSLockIt(lock);
    taken = true;
    CSUnlockIt(lock);
  });
  CSUnlockIt(lock);
  settle();
  EXPECT_FALSE(taken.load()) << "another thread got the lock after one of two releases";
  CSUnlockIt(lock);
  EXPECT_TRUE(eventually(taken));
  other.join();
  EXPECT_EQ(lock.count, 0u);
  EXPECT_EQ(lock.owner.load(), std::thread::id{});
}

TEST(CSLock, MemoryLockIsRecursiveForItsOwner) {
  CSLock &m = CSMemoryLock();
  EXPECT_EQ(&m, &CSMemoryLock());
  CSLockIt(m);
  CSLockIt(m);
  CSUnlockIt(m);
  CSUnlockIt(m);
  EXPECT_EQ(m.count, 0u);
}

TEST(CSLockDeathTest, BadUnlockGoesToTheFaultRecord) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        CSLock lock;
        CSUnlockIt(lock);
      },
      "");
  EXPECT_DEATH(
      {
        CSLock lock;
        std::thread t([&] { CSLockIt(lock); });
        t.join();
        CSUnlockIt(lock);  // owned by the finished thread
      },
      "");
}

TEST(OwnedMutex, OnlyCreatedMutexCanBeAcquired) {
  OwnedMutex m;
  EXPECT_FALSE(m.acquire());
  EXPECT_FALSE(m.release());
  ASSERT_TRUE(m.create());
  EXPECT_TRUE(m.valid());
  EXPECT_TRUE(m.acquire());
  EXPECT_TRUE(m.release());
}

TEST(OwnedMutex, RecursiveAndOnlyTheOwnerReleases) {
  OwnedMutex m;
  ASSERT_TRUE(m.create());
  ASSERT_TRUE(m.acquire());
  ASSERT_TRUE(m.acquire());
  EXPECT_TRUE(m.held());
  EXPECT_TRUE(m.ownedByCaller());
  EXPECT_EQ(m.recursion(), 2u);

  std::atomic<bool> foreignRelease{true};
  std::atomic<bool> taken{false};
  std::thread other([&] {
    EXPECT_FALSE(m.ownedByCaller());
    foreignRelease = m.release();
    {
      OwnedMutexGuard g(m);
      EXPECT_TRUE(g.ok());
      taken = true;
      EXPECT_EQ(m.recursion(), 1u);
    }
  });
  settle();
  EXPECT_FALSE(taken.load());
  EXPECT_TRUE(m.release());
  settle();
  EXPECT_FALSE(taken.load()) << "the last release had not happened yet";
  EXPECT_TRUE(m.release());
  EXPECT_FALSE(m.release()) << "nothing left to release";
  EXPECT_TRUE(eventually(taken));
  other.join();
  EXPECT_FALSE(foreignRelease.load());
  EXPECT_FALSE(m.held());
  EXPECT_EQ(m.recursion(), 0u);
}
