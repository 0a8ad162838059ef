#include "runtime/line_reader.h"

#include <cerrno>

#include "runtime/signals.h"

namespace {

struct StreamLock {
  explicit StreamLock(FILE *f) : f_(f) { flockfile(f_); }
  ~StreamLock() { funlockfile(f_); }
  FILE *f_;
};

}  // namespace

LineRead readLineCapped(FILE *stream, std::string &line, size_t maxLength) {
  line.clear();
  StreamLock lock(stream);
  bool any = false, tooLong = false;
  for (;;) {
    int c = getc_unlocked(stream);
    if (c == EOF) {
      if (ferror_unlocked(stream)) {
        int err = errno;
        // Only the stop signals interrupt a read; what was read of this line is dropped.
        if (err == EINTR && stopRequested()) return {LineStatus::Stopped, 0};
        if (err == EINTR) {
          clearerr_unlocked(stream);
          continue;
        }
        return {LineStatus::Error, err};
      }
      if (!any) return {LineStatus::End, 0};
      break;  // a last line without a newline
    }
    any = true;
    if (c == '\n') break;
    if (tooLong) {
      if (stopRequested()) return {LineStatus::Stopped, 0};
      continue;
    }
    if (line.size() >= maxLength) {
      tooLong = true;
      line.clear();
      line.shrink_to_fit();
      continue;
    }
    line.push_back(static_cast<char>(c));
  }
  return {tooLong ? LineStatus::TooLong : LineStatus::Line, 0};
}
