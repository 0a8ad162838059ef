#include "driver/input_lines.h"
#include "ccdtmode/ccdt_mode.h"

#include <cstring>
#include <string>

#include "context/context.h"
#include "context/output.h"
#include "context/trace.h"
#include "driver/prompt.h"
#include "runtime/line_reader.h"
#include "runtime/scan.h"
#include "runtime/signals.h"

namespace {

void showPrompt(ProgramContext &ctx) {
  PromptState state;
  state.ccdtMode = inCcdtMode(ctx);
  std::string prompt = expandPrompt(ctx.settings.prompt, state);
  ctx.output->addLine(prompt, kStyleInfo | kStyleOpen | kStyleNoCopy);
}

std::string sourceName(const InputSource &src) { return src.name.empty() ? std::string("standard input") : src.name; }

// A line that is never run: reported with where it stands, counted as a failed command
// (so stop-on-error and the exit code see it), and skipped.
void refuseLine(ProgramContext &ctx, const InputSource &src, const char *why) {
  addError(ctx, strFormat("Line %u of '%s' %s and was skipped", src.lineNumber, sourceName(src).c_str(), why));
  countCommand(ctx, false);
}

}  // namespace

bool readFileLine(ProgramContext &ctx, InputSource &src) {
  if ((ctx.mode & kModeEndAtStdin) && src.stream == stdin) {
    ctx.quit = true;
    return false;
  }
  if (!src.stream || src.endOfInput || src.readError) return false;
  for (;;) {
    if (stopRequested()) {
      noteStopSignal(ctx);
      return false;
    }
    if (src.prompting) showPrompt(ctx);
    LineRead r = readLineCapped(src.stream, src.line, kMaxLineLength);
    if (src.prompting) ctx.output->closeOpenLine();  // the terminal echoed the Enter
    switch (r.status) {
    case LineStatus::Line:
      ++src.lineNumber;
      if (src.line.find('\0') != std::string::npos) {
        refuseLine(ctx, src, "contains a NUL character");
        continue;
      }
      if (size_t cr = src.line.find('\r'); cr != std::string::npos) src.line.resize(cr);
      return true;
    case LineStatus::TooLong:
      ++src.lineNumber;
      refuseLine(ctx, src, strFormat("is longer than %zu characters", kMaxLineLength).c_str());
      continue;
    case LineStatus::End: src.endOfInput = true; return false;
    case LineStatus::Stopped: noteStopSignal(ctx); return false;
    case LineStatus::Error:
      src.readError = true;
      addError(ctx,
               strFormat("Error reading from file '%s' - %s", sourceName(src).c_str(), std::strerror(r.errorNumber)));
      ctx.statusFlags |= kStatusInternalFailure;
      return false;
    }
  }
}
