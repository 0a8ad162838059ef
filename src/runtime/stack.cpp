#include "runtime/stack.h"

#include <pthread.h>

#include "runtime/signals.h"

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

struct StackJob {
  const std::function<int()> *body;
  int result = 0;
};

extern "C" void *runStackJob(void *arg) {
  auto *job = static_cast<StackJob *>(arg);
  job->result = (*job->body)();
  return nullptr;
}

}  // namespace

size_t stackRemaining() {
  char here = 0;
  const char *low = stackLow();
  if (!low || &here < low) return static_cast<size_t>(-1) / 2;
  return static_cast<size_t>(&here - low);
}

int runWithLargeStack(size_t bytes, const std::function<int()> &body) {
  StackJob job{&body};
  for (size_t size = bytes; size >= (size_t{16} << 20); size /= 4) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) break;
    pthread_t thread;
    bool started =
        pthread_attr_setstacksize(&attr, size) == 0 && pthread_create(&thread, &attr, runStackJob, &job) == 0;
    pthread_attr_destroy(&attr);
    if (!started) continue;
    StopSignalsBlocked blocked;
    pthread_join(thread, nullptr);
    return job.result;
  }
  return body();
}
