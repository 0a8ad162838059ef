// Stopping a run on SIGINT, SIGTERM or SIGHUP without losing what it has done: the
// first signal only asks the run to stop (the reader stops reading, the command in
// flight settles, the output and summary are written); a second one ends the process
// at once, except that a line of output being written is finished first (see
// OutputWriteSection). Worker threads start with these signals blocked so that they
// reach the main thread and interrupt its read.
#pragma once
#include <signal.h>

#include <csignal>

#include <new>
#include <thread>

#include "runtime/memory.h"

// Installs the handlers (without SA_RESTART, so a blocked read returns EINTR).
void installStopSignals();
// The signal that asked the run to stop, or 0.
int stopSignal();
inline volatile std::sig_atomic_t gStopSignal = 0;  // set by the handlers
inline bool stopRequested() { return gStopSignal != 0; }
// "SIGINT", "SIGTERM", "SIGHUP" or "signal N".
const char *stopSignalName(int sig);
// Forgets a stop request (tests).
void resetStopSignal();

// Held while a line of output is written or flushed: a second stop signal arriving
// meanwhile ends the process only when the last section ends, so that standard output
// never ends in the middle of a line (or of a JSON object).
class OutputWriteSection {
 public:
  OutputWriteSection();
  ~OutputWriteSection();
  OutputWriteSection(const OutputWriteSection &) = delete;
  OutputWriteSection &operator=(const OutputWriteSection &) = delete;
};

// A thread that never receives the stop signals.
template <typename F>
std::thread startThreadWithoutStopSignals(F &&body);

// ---- implementation ----
struct StopSignalsBlocked {
  StopSignalsBlocked();
  ~StopSignalsBlocked();
  StopSignalsBlocked(const StopSignalsBlocked &) = delete;
  StopSignalsBlocked &operator=(const StopSignalsBlocked &) = delete;

 private:
  sigset_t saved_;
};

template <typename F>
std::thread startThreadWithoutStopSignals(F &&body) {
  StopSignalsBlocked blocked;  // the new thread inherits the mask
  return std::thread([run = std::forward<F>(body)]() mutable {
    try {
      run();
    } catch (const std::bad_alloc &) { exitForStorage(); }
  });
}
