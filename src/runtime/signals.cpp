#include "runtime/signals.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>

namespace {

volatile std::sig_atomic_t gStopSignal = 0;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onStopSignal(int sig) {
  if (gStopSignal != 0) {
    // Asked twice: the user wants out now.
    std::signal(sig, SIG_DFL);
    std::raise(sig);
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

} // namespace

void installStopSignals() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = onStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;
  for (int s : kStopSignals) sigaction(s, &sa, nullptr);
}

int stopSignal() { return gStopSignal; }
bool stopRequested() { return gStopSignal != 0; }
void resetStopSignal() { gStopSignal = 0; }

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

StopSignalsBlocked::~StopSignalsBlocked() {
  pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}
