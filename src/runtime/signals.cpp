#include "runtime/signals.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <unistd.h>

#include <atomic>

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Output sections open in any thread, and the second signal waiting for them to end.
std::atomic<int> gWriting{0};
std::atomic<int> gExitSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "used in a signal handler");

// Ends the process by the signal's default action. kill() rather than raise(): the
// last section may end on a thread that blocks the stop signals.
void endBySignal(int sig) {
  std::signal(sig, SIG_DFL);
  ::kill(::getpid(), sig);
}

extern "C" void onStopSignal(int sig) {
  if (gStopSignal != 0) {
    // Asked twice: the user wants out now, once the line being written is complete.
    gExitSignal.store(sig);
    if (gWriting.load() == 0) endBySignal(sig);
    return;
  }
  gStopSignal = sig;
}

sigset_t stopSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kStopSignals) sigaddset(&set, s);
  return set;
}

}  // namespace

void installStopSignals() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = onStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;
  for (int s : kStopSignals) sigaction(s, &sa, nullptr);
}

int stopSignal() { return gStopSignal; }
void resetStopSignal() {
  gStopSignal = 0;
  gExitSignal.store(0);
}

const char *stopSignalName(int sig) {
  switch (sig) {
  case SIGINT: return "SIGINT";
  case SIGTERM: return "SIGTERM";
  case SIGHUP: return "SIGHUP";
  default: return "signal";
  }
}

StopSignalsBlocked::StopSignalsBlocked() {
  sigset_t set = stopSet();
  pthread_sigmask(SIG_BLOCK, &set, &saved_);
}

StopSignalsBlocked::~StopSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

OutputWriteSection::OutputWriteSection() { gWriting.fetch_add(1); }

OutputWriteSection::~OutputWriteSection() {
  if (gWriting.fetch_sub(1) == 1) {
    if (int sig = gExitSignal.load()) endBySignal(sig);
  }
}
