#include "context/context.h"

InputSource::~InputSource() {
  if (ownsStream && stream) std::fclose(stream);
}

ProgramContext::ProgramContext() = default;
ProgramContext::~ProgramContext() = default;

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
