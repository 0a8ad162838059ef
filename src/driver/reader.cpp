#include "driver/reader.h"

#include <cstring>
#include <string>

#include "context/context.h"
#include "driver/dispatch.h"
#include "context/output.h"
#include "driver/prompt.h"
#include "context/trace.h"
#include "runtime/line_reader.h"
#include "runtime/scan.h"
#include "runtime/signals.h"

namespace {

// Finds the first ';' outside quotes and brackets, or npos.
size_t findSeparator(std::string_view text) { return scanFindStatementEnd(text); }

void skipSeparators(std::string &text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ';' || text[i] == ' ' || text[i] == '\t')) ++i;
  text.erase(0, i);
}

std::string trimAll(std::string_view v) {
  std::string_view t = scanTrim(v);
  return std::string(t);
}

void showPrompt(ProgramContext &ctx) {
  PromptState state;
  state.ccdtMode = ctx.ccdtMode;
  std::string prompt = expandPrompt(ctx.settings.prompt, state);
  ctx.output->addLine(prompt, kStyleInfo | kStyleOpen | kStyleNoCopy);
}

std::string sourceName(const InputSource &src) {
  return src.name.empty() ? std::string("standard input") : src.name;
}

// A line that is never run: reported with where it stands, counted as a failed command
// (so stop-on-error and the exit code see it), and skipped.
void refuseLine(ProgramContext &ctx, const InputSource &src, const char *why) {
  addError(ctx, strFormat("Line %u of '%s' %s and was skipped", src.lineNumber, sourceName(src).c_str(), why));
  countCommand(ctx, false);
}

} // namespace

void noteStopSignal(ProgramContext &ctx) {
  ctx.quit = true;
  if (ctx.stopSignalNoted) return;
  ctx.stopSignalNoted = true;
  ctx.statusFlags |= kStatusInternalFailure;
  addError(ctx, strFormat("Run stopped by %s: no further input is read", stopSignalName(stopSignal())));
}

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
    if (src.prompting) ctx.output->closeOpenLine();   // the terminal echoed the Enter
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
    case LineStatus::End:
      src.endOfInput = true;
      return false;
    case LineStatus::Stopped:
      noteStopSignal(ctx);
      return false;
    case LineStatus::Error:
      src.readError = true;
      addError(ctx, strFormat("Error reading from file '%s' - %s", sourceName(src).c_str(), std::strerror(r.errorNumber)));
      ctx.statusFlags |= kStatusInternalFailure;
      return false;
    }
  }
}

bool readStringLine(ProgramContext &, InputSource &src) {
  if (src.textPos >= src.text.size()) {
    src.endOfInput = true;
    return false;
  }
  size_t nl = src.text.find('\n', src.textPos);
  size_t end = nl == std::string::npos ? src.text.size() : nl;
  src.line = src.text.substr(src.textPos, end - src.textPos);
  if (!src.line.empty() && src.line.back() == '\r') src.line.pop_back();
  src.textPos = nl == std::string::npos ? src.text.size() : nl + 1;
  ++src.lineNumber;
  return true;
}

bool cmdReadNextCommand(ProgramContext &ctx, InputSource &src, std::string &command) {
  TraceScope trace(ctx, "cmdReadNextCommand", {}, false);
  std::string collected;
  char previous = 0;          // the continuation character that ended the last piece
  while (true) {
    std::string piece;
    if (!src.rest.empty()) {
      piece.swap(src.rest);
    } else {
      if (!src.readLine || !src.readLine(ctx, src)) {
        command = trimAll(collected);
        return !command.empty();
      }
      std::string_view line = src.line;
      size_t first = line.find_first_not_of(" \t");
      if (first != std::string_view::npos && line[first] == '*' && previous == 0) continue;   // a comment
      piece = src.line;
    }
    if (size_t sep = findSeparator(piece); sep != std::string::npos) {
      src.rest = piece.substr(sep);
      skipSeparators(src.rest);
      piece.resize(sep);
    }
    // A trailing '-' or '+' continues the command on the next line.
    char cont = 0;
    size_t last = piece.find_last_not_of(" \t\r\n");
    if (last != std::string::npos && (piece[last] == '-' || piece[last] == '+')) {
      cont = piece[last];
      size_t cut = last;
      if (cont == '-' && last > 0 && piece[last - 1] == '+') cut = last - 1;
      piece.resize(cut);
    }
    if (previous == '-') {
      size_t end = piece.find_last_not_of(" \t");
      collected += end == std::string::npos ? std::string() : piece.substr(0, end + 1);
    } else {
      std::string t = cont == '-' ? piece : trimAll(piece);
      if (!collected.empty() && !t.empty()) collected += ' ';
      collected += t;
    }
    previous = cont;
    if (cont) continue;
    command = trimAll(collected);
    if (!command.empty()) return true;
    collected.clear();
  }
}

void cmdReadCommands(ProgramContext &ctx, InputSource &src) {
  TraceScope trace(ctx, "cmdReadCommands", {}, false);
  uint32_t failuresAtStart = ctx.failureEvents;
  std::string command;
  while (!ctx.quit && !ctx.interrupted) {
    if (stopRequested()) {
      noteStopSignal(ctx);
      break;
    }
    if (!cmdReadNextCommand(ctx, src, command)) break;
    cslIssueCommand(ctx, command);
    if (src.stopOnError && ctx.failureEvents != failuresAtStart) {
      if (&src == ctx.mainInput.get()) ctx.quit = true;
      break;
    }
  }
}

void runNestedSource(ProgramContext &ctx, InputSource &src) {
  src.parent = ctx.input;
  ctx.input = &src;
  cmdReadCommands(ctx, src);
  ctx.input = src.parent;
}
