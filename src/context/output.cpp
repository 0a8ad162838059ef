#include "context/output.h"

#include "runtime/text_columns.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>

#include "context/context.h"
#include "context/json_lines.h"
#include "context/settings.h"
#include "runtime/scan.h"
#include "runtime/signals.h"

// ---- lines --------------------------------------------------------------------------------

struct OutputLineFactory {
  static OutputLinePtr make(std::string_view text) {
    void *block = ::operator new(sizeof(OutputLine) + text.size());
    auto *line = new (block) OutputLine();
    line->length = static_cast<uint32_t>(text.size());
    std::memcpy(static_cast<char *>(block) + sizeof(OutputLine), text.data(), text.size());
    return OutputLinePtr(line);
  }
};

void OutputLineDeleter::operator()(OutputLine *line) const {
  line->~OutputLine();
  ::operator delete(line);
}

namespace {

bool hasTimeStamp(std::string_view text) { return commandTimeStampLength(text) != 0; }

// The display commands: their groups hold records that scripts and find look at.
bool isDisplayCommand(std::string_view text) {
  text.remove_prefix(commandTimeStampLength(text));
  return scanStartsWithNoCase(text, "dis") ||
         (scanStartsWithNoCase(text, "reset") && scanContainsNoCase(text, "qstats"));
}

// Rows a line takes at `width` columns, as the console paints it.
uint32_t rowsAt(const OutputLine &line, uint32_t width) { return textRows(line.text(), width); }

}  // namespace

// ---- one screen ---------------------------------------------------------------------------

// The lines are not in order of their groups: a command still in flight answers after
// later commands have started. Every line before a group's command line belongs to an
// earlier group, though, so the first line of a group or a later one is the first line
// numbered at least that.
size_t ScreenLines::firstLineOf(uint32_t commandNumber) const {
  for (size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i]->commandNumber >= commandNumber) return i;
  return lines_.size();
}

const OutputLine *ScreenLines::commandLine(uint32_t commandNumber) const {
  size_t i = firstLineOf(commandNumber);
  if (i == lines_.size()) return nullptr;
  const OutputLine &line = *lines_[i];
  return line.commandNumber == commandNumber && line.startsGroup() ? &line : nullptr;
}

void ScreenLines::append(OutputLinePtr line) {
  line->rowIndex = lines_.empty() ? 0 : lines_.back()->rowIndex + lines_.back()->rows;
  rows_ += line->rows;
  lines_.push_back(std::move(line));
}

void ScreenLines::dropOldestAbove(uint64_t maxRows) {
  while (rows_ > maxRows && lines_.size() > 1) {
    rows_ -= lines_.front()->rows;
    lines_.pop_front();
  }
}

void ScreenLines::dropGroupsBefore(uint32_t commandNumber) {
  while (!lines_.empty() && lines_.front()->commandNumber < commandNumber) {
    rows_ -= lines_.front()->rows;
    lines_.pop_front();
  }
}

void ScreenLines::truncate(size_t keep) {
  while (lines_.size() > keep) {
    rows_ -= lines_.back()->rows;
    lines_.pop_back();
  }
}

void ScreenLines::relayout(uint32_t width) {
  uint64_t row = 0;
  for (auto &line : lines_) {
    line->rowIndex = row;
    line->rows = rowsAt(*line, width);
    row += line->rows;
  }
  rows_ = row;
}

void ScreenLines::clear() {
  lines_.clear();
  rows_ = 0;
}

// ---- the buffer ---------------------------------------------------------------------------

OutputBuffer::OutputBuffer(OwnedMutex &lock, FILE *out, FILE *err) : lock_(lock), out_(out), err_(err) {}

OutputBuffer::~OutputBuffer() { closeCopyFile(); }

uint32_t OutputBuffer::addLine(Screen screen, std::string_view text, uint32_t style, uint32_t group) {
  // Echoed commands and trace may carry a connection password: never shown, copied or kept.
  std::string masked;
  if (style & (kStyleGroupStart | kStyleTrace | kStyleDiagnostic)) {
    masked = scanMaskPasswords(text);
    text = masked;
  }
  OwnedMutexGuard guard(lock_);
  uint32_t number = group;
  if (style & kStyleGroupStart) number = ++commandCounter_;
  else if (number == 0) number = currentGroup_;
  if (screen == kScreenMqsc && (style & kStyleGroupStart)) currentGroup_ = number;

  // The =output file holds what the output shows: hidden lines stay out of both.
  bool hidden = (style & kStyleHidden) && !showHidden;
  if (screen == kScreenMqsc) {
    if (jsonOutput()) addJsonLine(text, style, hidden);
    else writeLine(text, style, hidden);
  }
  if (!keep_ && !listener_) return number;

  OutputLinePtr line = OutputLineFactory::make(text);
  line->style = style;
  line->commandNumber = number;
  line->rows = rowsAt(*line, width_);
  if (style & kStyleGroupStart) {
    if (isDisplayCommand(text)) line->flags |= kLineDisplayCommand;
    if (hasTimeStamp(text)) line->flags |= kLineTimestamped;
  }
  if (listener_) listener_(screen, *line);
  if (keep_) {
    ScreenLines &lines = screens_[screen];
    lines.append(std::move(line));
    if (screen == kScreenMqsc) lines.dropOldestAbove(maxRows_);
  }
  return number;
}

void OutputBuffer::detachStreams() {
  OwnedMutexGuard guard(lock_);
  if (out_ && outOpen_) std::fputc('\n', out_);
  if (out_) std::fflush(out_);
  out_ = err_ = nullptr;
  outOpen_ = false;
}

void OutputBuffer::keepLines(bool keep, uint64_t maxRows) {
  OwnedMutexGuard guard(lock_);
  keep_ = keep;
  maxRows_ = maxRows;
}

void OutputBuffer::setWidth(uint32_t width) {
  OwnedMutexGuard guard(lock_);
  width_ = width;
  for (auto &s : screens_) s.relayout(width);
}

void OutputBuffer::purgeBefore(uint32_t commandNumber) {
  OwnedMutexGuard guard(lock_);
  ScreenLines &lines = screens_[kScreenMqsc];
  lines.dropGroupsBefore(commandNumber);
  lines.relayout(width_);
}

void OutputBuffer::setListener(std::function<void(Screen, const OutputLine &)> listener) {
  OwnedMutexGuard guard(lock_);
  listener_ = std::move(listener);
}

void OutputBuffer::followSettings(const Settings &settings) {
  OwnedMutexGuard guard(lock_);
  settings_ = &settings;
}

bool OutputBuffer::jsonOutput() const { return settings_ && settings_->json(); }

void OutputBuffer::writeLine(std::string_view text, uint32_t style, bool hidden) {
  if (hidden) return;
  writeOut(text, style);
  copyLine(text, style);
}

// JSON output: the pieces of a line are collected until the line is complete, then the
// line goes out as one object. Trace stays text on standard error.
void OutputBuffer::addJsonLine(std::string_view text, uint32_t style, bool hidden) {
  if (style & kStyleTrace) return writeOut(text, style);
  if ((style & kStyleNoCopy) && (style & (kStyleOpen | kStyleContinues))) {
    if (!hidden) writePrompt(text, style);
    return;
  }
  if (!(jsonOpen_ && (style & kStyleContinues))) {
    endJsonLine();
    jsonPendingLine_ = true;
    jsonPendingStyle_ = style & ~(kStyleOpen | kStyleContinues);
    jsonPendingHidden_ = hidden;
  }
  jsonPending_.append(text);
  jsonOpen_ = (style & kStyleOpen) != 0;
  if (!jsonOpen_) endJsonLine();
}

void OutputBuffer::endJsonLine() {
  if (!jsonPendingLine_) return;
  std::string object = jsonObjectForLine(jsonPending_, jsonPendingStyle_);
  jsonPending_.clear();
  jsonPendingLine_ = false;
  jsonOpen_ = false;
  if (!object.empty()) writeLine(object, jsonPendingStyle_, jsonPendingHidden_);
}

// A prompt or a question's echo is for the person at the terminal: standard error.
void OutputBuffer::writePrompt(std::string_view text, uint32_t style) {
  if (!err_) return;
  std::fwrite(text.data(), 1, text.size(), err_);
  if (!(style & kStyleOpen)) std::fputc('\n', err_);
  std::fflush(err_);
}

void OutputBuffer::writeOut(std::string_view text, uint32_t style) {
  FILE *stream = (style & kStyleTrace) ? err_ : out_;
  if (!stream) return;
  if (stream == out_ && streamFailed_) return;
  OutputWriteSection writing;
  // A line that does not continue an open one first ends it.
  if (outOpen_ && stream == out_ && !(style & kStyleContinues)) std::fputc('\n', out_);
  bool open = (style & kStyleOpen) != 0;
  bool ok =
      std::fwrite(text.data(), 1, text.size(), stream) == text.size() && (open || std::fputc('\n', stream) != EOF);
  if (stream == out_) {
    outOpen_ = open;
    // A prompt or question is seen before the answer is read; once the run is stopping,
    // each line goes out at once, so that a second signal finds nothing left unwritten.
    if (open || stopRequested()) ok = std::fflush(out_) == 0 && ok;
    if (!ok) streamFailure(errno);
  }
}

// Standard output is gone (disk full, closed): say so once where it can still be seen.
void OutputBuffer::streamFailure(int error) {
  if (streamFailed_) return;
  streamFailed_ = true;
  if (err_) std::fprintf(err_, "Error writing to standard output - %s\n", std::strerror(error));
}

void OutputBuffer::copyLine(std::string_view text, uint32_t style) {
  if (!copy_ || (style & (kStyleNoCopy | kStyleTrace))) return;
  // A new command flushes the copy of the last one, so a failing file is known at once.
  if ((style & kStyleGroupStart) && std::fflush(copy_) != 0) return copyFailure(errno);
  if (copyOpen_ && !(style & kStyleContinues) && std::fputc('\n', copy_) == EOF) return copyFailure(errno);
  bool open = (style & kStyleOpen) != 0;
  copyOpen_ = open;
  if (std::fwrite(text.data(), 1, text.size(), copy_) != text.size() || (!open && std::fputc('\n', copy_) == EOF))
    copyFailure(errno);
}

// The =output file stopped taking lines: say so once, on the screen, and stop copying
// rather than leave a file that silently lacks the rest of the run.
void OutputBuffer::copyFailure(int error) {
  if (!copy_) return;
  copyFailed_ = true;
  std::fclose(copy_);
  copy_ = nullptr;
  copyOpen_ = false;
  std::string text =
      strFormat("Error writing to output file '%s' - %s; the file is closed", copyPath_.c_str(), std::strerror(error));
  writeOut(jsonOutput() ? jsonObjectForLine(text, kStyleError) : text, kStyleError);
  if (keep_) {
    OutputLinePtr line = OutputLineFactory::make(text);
    line->style = kStyleError;
    line->commandNumber = currentGroup_;
    line->rows = rowsAt(*line, width_);
    screens_[kScreenMqsc].append(std::move(line));
  }
}

void OutputBuffer::closeOpenLine() {
  OwnedMutexGuard guard(lock_);
  endJsonLine();
  outOpen_ = false;
  if (copy_ && copyOpen_ && std::fputc('\n', copy_) == EOF) copyFailure(errno);
  copyOpen_ = false;
}

void OutputBuffer::flush() {
  OwnedMutexGuard guard(lock_);
  endJsonLine();
  flushStream();
  if (copy_ && std::fflush(copy_) != 0) copyFailure(errno);
}

void OutputBuffer::flushStream() {
  OwnedMutexGuard guard(lock_);
  OutputWriteSection writing;
  if (out_ && !streamFailed_ && std::fflush(out_) != 0) streamFailure(errno);
  if (err_) std::fflush(err_);
}

bool OutputBuffer::openCopyFile(const std::string &path, bool append) {
  OwnedMutexGuard guard(lock_);
  closeCopyFile();
  copy_ = std::fopen(path.c_str(), append ? "a" : "w");
  if (copy_) copyPath_ = path;
  return copy_ != nullptr;
}

void OutputBuffer::closeCopyFile() {
  OwnedMutexGuard guard(lock_);
  if (!copy_) return;
  // A line left open ends with the file: the next file starts with a line of its own.
  bool ended = !copyOpen_ || std::fputc('\n', copy_) != EOF;
  copyOpen_ = false;
  if (!ended || std::fflush(copy_) != 0) return copyFailure(errno);  // closes it
  std::fclose(copy_);
  copy_ = nullptr;
}

// ---- helpers ------------------------------------------------------------------------------

size_t commandTimeStampLength(std::string_view text) {
  constexpr size_t kStampLength = 11;  // "[hh:mm:ss] "
  bool stamped = text.size() >= kStampLength && text[0] == '[' && text[3] == ':' && text[6] == ':' && text[9] == ']' &&
                 text[10] == ' ';
  return stamped ? kStampLength : 0;
}

namespace {
thread_local CapturedMessages *capturedMessages = nullptr;

bool captured(char kind, std::string_view text) {
  if (!capturedMessages) return false;
  std::lock_guard<std::mutex> lock(capturedMessages->mutex);
  capturedMessages->lines.push_back(kind + std::string(text));
  return true;
}
}  // namespace

void captureMessagesOnThisThread(CapturedMessages *into) { capturedMessages = into; }

void addInfo(ProgramContext &ctx, std::string_view text) {
  if (!captured('I', text)) ctx.output->addLine(text, kStyleInfo);
}
void addError(ProgramContext &ctx, std::string_view text) {
  if (!captured('E', text)) ctx.output->addLine(text, kStyleError);
}
void addDiagnostic(ProgramContext &ctx, std::string_view text) { ctx.output->addLine(text, kStyleDiagnostic); }
void addTrace(ProgramContext &ctx, std::string_view text) { ctx.output->addLine(text, kStyleTrace); }

void addSummaryLine(ProgramContext &ctx, std::string_view text) {
  if (!ctx.settings.json()) return addInfo(ctx, text);
  ctx.output->addLine(jsonSummaryObject(ctx.issued, ctx.succeeded, ctx.failed, text), kStyleJson);
}

uint32_t addCommandEcho(ProgramContext &ctx, std::string_view text, bool visible, bool noCopy) {
  uint32_t style = kStyleCommand | (visible ? 0u : static_cast<uint32_t>(kStyleHidden)) |
                   (noCopy ? static_cast<uint32_t>(kStyleNoCopy) : 0u);
  if (!ctx.settings.on(kOptTimestamp)) return ctx.output->addLine(text, style);
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H:%M:%S", &tm);
  std::string line = "[" + std::string(stamp) + "] ";
  line.append(text);
  return ctx.output->addLine(line, style);
}
