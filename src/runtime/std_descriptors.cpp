#include "runtime/std_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

}  // namespace

void holdStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (isOpen(fd)) continue;
    int flags = fd == STDERR_FILENO ? O_WRONLY : O_RDONLY;
    // open() returns the lowest free number, which is `fd` since the ones below it are held.
    int got = ::open("/dev/null", flags);
    if (got >= 0 && got != fd) {
      ::dup2(got, fd);
      ::close(got);
    }
  }
}
