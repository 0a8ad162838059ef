// The two recursive lock kinds: CSLock (CSLockIt/CSUnlockIt), used for the memory
// lock and the MQ library loader, and OwnedMutex, used for the console lock and the
// display lock of the ProgramContext. Both record their owner thread and a count.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

struct CSLock {
  std::mutex mutex;
  std::atomic<std::thread::id> owner{};
  uint32_t count = 0;
};

void CSLockIt(CSLock &lock);
// An unlock by a thread that does not own the lock, or with a zero count, is a
// broken invariant and goes to the fault record.
void CSUnlockIt(CSLock &lock);

// The memory lock: guards the loading of the IBM MQ libraries (and the memory figures).
CSLock &CSMemoryLock();

class OwnedMutex {
 public:
  bool create();   // false when the mutex cannot be created
  bool acquire();  // recursive; false if the wait fails or the mutex is not valid
  bool release();  // only by the owner; false otherwise
  bool valid() const { return valid_; }
  bool held() const { return held_.load(); }
  bool ownedByCaller() const;
  uint32_t recursion() const { return count_; }

 private:
  std::recursive_mutex mutex_;
  bool valid_ = false;
  std::atomic<bool> held_{false};
  std::atomic<std::thread::id> owner_{};
  uint32_t count_ = 0;
};

// RAII holder for either kind.
class OwnedMutexGuard {
 public:
  explicit OwnedMutexGuard(OwnedMutex &m) : m_(m), ok_(m.acquire()) {}
  ~OwnedMutexGuard() {
    if (ok_) m_.release();
  }
  OwnedMutexGuard(const OwnedMutexGuard &) = delete;
  OwnedMutexGuard &operator=(const OwnedMutexGuard &) = delete;
  bool ok() const { return ok_; }

 private:
  OwnedMutex &m_;
  bool ok_;
};
