// An auto-reset event: set wakes one waiter (or the next one to wait) and clears.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

class AutoResetEvent {
 public:
  void set() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      signalled_ = true;
    }
    cv_.notify_one();
  }
  // True when the event was set within `ms` milliseconds (negative: no limit).
  bool wait(long ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (ms < 0) cv_.wait(lock, [this] { return signalled_; });
    else if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signalled_; })) return false;
    signalled_ = false;
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
};
