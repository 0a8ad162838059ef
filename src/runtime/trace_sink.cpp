#include "runtime/trace_sink.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

std::atomic<TraceSink> gSink{nullptr};
std::atomic<void *> gSinkContext{nullptr};

void toStandardError(void *, std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
}

} // namespace

void setTraceSink(TraceSink sink, void *context) {
  gSinkContext.store(context);
  gSink.store(sink);
}

void traceWritef(const char *fmt, ...) {
  thread_local std::string pending;
  va_list ap;
  va_start(ap, fmt);
  char small[512];
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n < 0) {
    va_end(ap);
    return;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    pending.append(small, static_cast<size_t>(n));
  } else {
    size_t old = pending.size();
    pending.resize(old + static_cast<size_t>(n) + 1);
    std::vsnprintf(pending.data() + old, static_cast<size_t>(n) + 1, fmt, ap);
    pending.resize(old + static_cast<size_t>(n));
  }
  va_end(ap);
  TraceSink sink = gSink.load();
  void *context = gSinkContext.load();
  if (!sink) sink = toStandardError;
  size_t start = 0;
  for (size_t nl; (nl = pending.find('\n', start)) != std::string::npos; start = nl + 1)
    sink(context, std::string_view(pending.data() + start, nl - start));
  pending.erase(0, start);
}
