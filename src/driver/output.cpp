#include "driver/output.h"

#include <cstdarg>
#include <ctime>

#include "driver/context.h"

OutputSink::~OutputSink() { closeCopyFile(); }

void OutputSink::addLine(ProgramContext &ctx, std::string_view text, uint32_t style) {
  OwnedMutexGuard guard(ctx.displayLock);
  bool hidden = (style & kStyleHidden) && !showHidden;
  if (!hidden) {
    std::fwrite(text.data(), 1, text.size(), stream_);
    std::fputc('\n', stream_);
  }
  copyLine(text);
}

void OutputSink::flush() {
  std::fflush(stream_);
  if (copy_) std::fflush(copy_);
}

bool OutputSink::openCopyFile(const std::string &path, bool append) {
  closeCopyFile();
  copy_ = std::fopen(path.c_str(), append ? "a" : "w");
  return copy_ != nullptr;
}

void OutputSink::closeCopyFile() {
  if (copy_) std::fclose(copy_);
  copy_ = nullptr;
}

void OutputSink::copyLine(std::string_view text) {
  if (!copy_) return;
  if (skipCopy_) {
    skipCopy_ = false;
    return;
  }
  std::fwrite(text.data(), 1, text.size(), copy_);
  std::fputc('\n', copy_);
}

void addInfo(ProgramContext &ctx, std::string_view text) { ctx.output->addLine(ctx, text, kStyleInfo); }
void addError(ProgramContext &ctx, std::string_view text) { ctx.output->addLine(ctx, text, kStyleError); }
void addDiagnostic(ProgramContext &ctx, std::string_view text) { ctx.output->addLine(ctx, text, kStyleDiagnostic); }

void addCommandEcho(ProgramContext &ctx, std::string_view text, bool visible) {
  uint32_t style = kStyleCommand | (visible ? 0u : static_cast<uint32_t>(kStyleHidden));
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
