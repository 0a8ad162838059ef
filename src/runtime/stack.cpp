#include "runtime/stack.h"

#include <pthread.h>

namespace {

// The lowest address of this thread's stack, read once per thread.
const char *stackLow() {
  thread_local const char *low = [] {
    pthread_attr_t attr;
    void *addr = nullptr;
    size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return static_cast<const char *>(nullptr);
    pthread_attr_getstack(&attr, &addr, &size);
    pthread_attr_destroy(&attr);
    return static_cast<const char *>(addr);
  }();
  return low;
}

} // namespace

size_t stackRemaining() {
  char here = 0;
  const char *low = stackLow();
  if (!low || &here < low) return static_cast<size_t>(-1) / 2;
  return static_cast<size_t>(&here - low);
}
