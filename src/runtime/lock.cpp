// The recursive locks.
#include "runtime/lock.h"

#include "runtime/fault.h"

#include <system_error>

void CSLockIt(CSLock &lock) {
  const auto me = std::this_thread::get_id();
  if (lock.owner.load() == me && lock.count != 0) {
    ++lock.count;
    return;
  }
  lock.mutex.lock();
  lock.owner.store(me);
  lock.count = 1;
}

void CSUnlockIt(CSLock &lock) {
  if (lock.owner.load() != std::this_thread::get_id() || lock.count == 0) CS_FAULT(lock.count);
  if (--lock.count == 0) {
    lock.owner.store(std::thread::id{});
    lock.mutex.unlock();
  }
}

CSLock &CSMemoryLock() {
  // Constant-initialised, so it is usable from any static constructor.
  static CSLock memoryLock;
  return memoryLock;
}

bool OwnedMutex::create() {
  valid_ = true;  // std::recursive_mutex is ready once constructed
  return true;
}

bool OwnedMutex::ownedByCaller() const { return held_.load() && owner_.load() == std::this_thread::get_id(); }

bool OwnedMutex::acquire() {
  if (!valid_) return false;
  try {
    mutex_.lock();
  } catch (const std::system_error &) { return false; }
  owner_.store(std::this_thread::get_id());
  ++count_;
  held_.store(true);
  return true;
}

bool OwnedMutex::release() {
  if (!valid_ || !ownedByCaller() || count_ == 0) return false;
  if (--count_ == 0) {
    held_.store(false);
    owner_.store(std::thread::id{});
  }
  mutex_.unlock();
  return true;
}
