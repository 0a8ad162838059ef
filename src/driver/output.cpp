#include "driver/output.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>

#include "driver/context.h"

OutputSink::~OutputSink() { closeCopyFile(); }

void OutputSink::addLine(ProgramContext &ctx, std::string_view text, uint32_t style) {
  OwnedMutexGuard guard(ctx.displayLock);
  bool hidden = (style & kStyleHidden) && !showHidden;
  if (!hidden) writeToStream(text);
  if (style & kStyleNoCopy) return;
  // A new command flushes the copy of the last one, so a failing file is known at once.
  if (copy_ && (style & kStyleCommand) && std::fflush(copy_) != 0) copyFailure(errno);
  copyLine(text);
}

void OutputSink::flush() {
  if (stream_ && std::fflush(stream_) != 0) streamFailure(errno);
  if (copy_ && std::fflush(copy_) != 0) copyFailure(errno);
}

void OutputSink::writeToStream(std::string_view text) {
  if (!stream_ || streamFailed_) return;
  if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size() || std::fputc('\n', stream_) == EOF)
    streamFailure(errno);
}

// Standard output is gone (disk full, closed): say so once where it can still be seen.
void OutputSink::streamFailure(int error) {
  if (streamFailed_) return;
  streamFailed_ = true;
  std::fprintf(stderr, "Error writing to standard output - %s\n", std::strerror(error));
}

// The =output file stopped taking lines: say so once, on the screen, and stop copying
// rather than leave a file that silently lacks the rest of the run.
void OutputSink::copyFailure(int error) {
  if (!copy_) return;
  copyFailed_ = true;
  std::fclose(copy_);
  copy_ = nullptr;
  writeToStream(strFormat("Error writing to output file '%s' - %s; the file is closed", copyPath_.c_str(),
                          std::strerror(error)));
}

bool OutputSink::openCopyFile(const std::string &path, bool append) {
  closeCopyFile();
  copy_ = std::fopen(path.c_str(), append ? "a" : "w");
  if (copy_) copyPath_ = path;
  return copy_ != nullptr;
}

void OutputSink::closeCopyFile() {
  if (!copy_) return;
  FILE *f = copy_;
  if (std::fflush(f) != 0) {
    copyFailure(errno);   // closes it
    return;
  }
  copy_ = nullptr;
  std::fclose(f);
}

void OutputSink::copyLine(std::string_view text) {
  if (!copy_) return;
  if (std::fwrite(text.data(), 1, text.size(), copy_) != text.size() || std::fputc('\n', copy_) == EOF)
    copyFailure(errno);
}

void addInfo(ProgramContext &ctx, std::string_view text) { ctx.output->addLine(ctx, text, kStyleInfo); }
void addError(ProgramContext &ctx, std::string_view text) { ctx.output->addLine(ctx, text, kStyleError); }
void addDiagnostic(ProgramContext &ctx, std::string_view text) { ctx.output->addLine(ctx, text, kStyleDiagnostic); }

void addCommandEcho(ProgramContext &ctx, std::string_view text, bool visible, bool noCopy) {
  uint32_t style = kStyleCommand | (visible ? 0u : static_cast<uint32_t>(kStyleHidden)) |
                   (noCopy ? static_cast<uint32_t>(kStyleNoCopy) : 0u);
  if (!ctx.settings.on(kOptTimestamp)) {
    ctx.output->addLine(ctx, text, style);
    return;
  }
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H:%M:%S", &tm);
  std::string line = "[" + std::string(stamp) + "] ";
  line.append(text);
  ctx.output->addLine(ctx, line, style);
}

std::string strFormat(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
  va_end(ap);
  return out;
}
