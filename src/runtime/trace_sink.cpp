#include "runtime/trace_sink.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "text/text.h"

namespace {

std::atomic<TraceSink> gSink{nullptr};
std::atomic<void *> gSinkContext{nullptr};

void toStandardError(void *, std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
}

}  // namespace

void setTraceSink(TraceSink sink, void *context) {
  gSinkContext.store(context);
  gSink.store(sink);
}

void traceWritef(const char *fmt, ...) {
  thread_local std::string pending;
  va_list ap;
  va_start(ap, fmt);
  pending += vstrFormat(fmt, ap);
  va_end(ap);
  TraceSink sink = gSink.load();
  void *context = gSinkContext.load();
  if (!sink) sink = toStandardError;
  size_t start = 0;
  for (size_t nl; (nl = pending.find('\n', start)) != std::string::npos; start = nl + 1)
    sink(context, std::string_view(pending.data() + start, nl - start));
  pending.erase(0, start);
}
