#include "runtime/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::string RegularFile::reason() const {
  switch (status) {
  case RegularFileStatus::Opened: return "";
  case RegularFileStatus::NotRegular: return isDirectory ? std::strerror(EISDIR) : "Not a regular file";
  case RegularFileStatus::Missing: return std::strerror(ENOENT);
  case RegularFileStatus::Failed: return std::strerror(error);
  }
  return "";
}

RegularFile openRegularFile(const std::string &path) {
  RegularFile r;
  // O_NONBLOCK: opening a fifo for reading returns at once instead of waiting for a writer.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    r.error = errno;
    r.status = r.error == ENOENT ? RegularFileStatus::Missing : RegularFileStatus::Failed;
    return r;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    r.error = errno;
    r.status = RegularFileStatus::Failed;
    ::close(fd);
    return r;
  }
  if (!S_ISREG(st.st_mode)) {
    r.status = RegularFileStatus::NotRegular;
    r.isDirectory = S_ISDIR(st.st_mode);
    r.error = r.isDirectory ? EISDIR : EINVAL;
    ::close(fd);
    return r;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  r.stream = ::fdopen(fd, "r");
  if (!r.stream) {
    r.error = errno;
    r.status = RegularFileStatus::Failed;
    ::close(fd);
    return r;
  }
  r.size = static_cast<int64_t>(st.st_size);
  r.status = RegularFileStatus::Opened;
  return r;
}
