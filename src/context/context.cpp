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

void addCommandHistory(ProgramContext &ctx, std::string_view command) {
  command = scanTrim(command);
  if (command.empty() || scanEqualsNoCase(command, "end") || scanEqualsNoCase(command, "quit")) return;
  auto &history = ctx.history;
  std::erase_if(history, [&](const std::string &entry) { return scanEqualsNoCase(entry, command); });
  history.emplace_back(command);
  size_t limit = static_cast<size_t>(std::max<int32_t>(ctx.settings.cmdhist, 1));
  if (history.size() > limit) history.erase(history.begin(), history.end() - static_cast<std::ptrdiff_t>(limit));
}
