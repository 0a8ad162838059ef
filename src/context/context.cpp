#include "context/context.h"

#include <algorithm>

#include "runtime/scan.h"
#include "runtime/signals.h"

InputSource::~InputSource() {
  if (ownsStream && stream) std::fclose(stream);
}

ProgramContext::ProgramContext() = default;
ProgramContext::~ProgramContext() = default;

void noteStopSignal(ProgramContext &ctx) {
  ctx.quit = true;
  if (ctx.stopSignalNoted) return;
  ctx.stopSignalNoted = true;
  ctx.statusFlags |= kStatusInternalFailure;
  addError(ctx, strFormat("Run stopped by %s: no further input is read", stopSignalName(stopSignal())));
  // Everything shown so far goes out now: a second signal may end the process at once.
  if (ctx.output) ctx.output->flushStream();
}

void countCommand(ProgramContext &ctx, bool succeeded) {
  ++ctx.issued;
  if (succeeded) {
    ++ctx.succeeded;
    ctx.statusFlags |= kStatusCommandSucceeded;
  } else {
    ++ctx.failed;
    ++ctx.failureEvents;
    ctx.statusFlags |= kStatusCommandFailed;
    ctx.mode |= kModeCommandFailed;
  }
}
