#include "ccdt/file_io.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "ccdt/status.h"

namespace kvarn::ccdt {

namespace {

// Closes a descriptor on every path out of a function.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor &) = delete;
  FileDescriptor &operator=(const FileDescriptor &) = delete;
  ~FileDescriptor() { release(); }
  int get() const { return fd_; }
  int release() {
    int rc = 0;
    if (fd_ >= 0 && ::close(fd_) != 0) rc = errno;
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

std::string directoryOf(const std::string &path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

int readWholeFile(const std::string &path, std::string &content) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0)
    return (errno == ENOENT || errno == EACCES || errno == ENOTDIR || errno == EISDIR || errno == ENAMETOOLONG)
               ? kStoreNoFile
               : errno;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return kStoreNoSize;
  if (!S_ISREG(st.st_mode)) return kStoreNoFile;
  content.clear();
  content.reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  return 0;
}

int64_t fileModifiedTime(const std::string &path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_mtime);
}

std::string replacementTarget(const std::string &path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  std::error_code ec;
  auto target = std::filesystem::weakly_canonical(path, ec);
  return ec ? path : target.string();
}

int writeFileDurably(const std::string &path, std::string_view content, const std::string &modeFrom) {
  FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) return errno;
  auto fail = [&](int rc) {
    fd.release();
    ::unlink(path.c_str());
    return rc;
  };
  struct stat st {};
  if (!modeFrom.empty() && ::stat(modeFrom.c_str(), &st) == 0) ::fchmod(fd.get(), st.st_mode & 07777);
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = ::write(fd.get(), content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd.get()) != 0) return fail(errno);
  if (int rc = fd.release(); rc != 0) {
    ::unlink(path.c_str());
    return rc;
  }
  return 0;
}

int renameDurably(const std::string &from, const std::string &to) {
  if (::rename(from.c_str(), to.c_str()) != 0) return errno;
  FileDescriptor dir(::open(directoryOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
  return 0;
}

int replaceFile(const std::string &path, std::string_view content) {
  std::string target = replacementTarget(path);
  std::string temporary = target + "_tmp";
  if (int rc = writeFileDurably(temporary, content, target); rc != 0) return rc;
  if (int rc = renameDurably(temporary, target); rc != 0) {
    ::unlink(temporary.c_str());
    return rc;
  }
  return 0;
}

FileStamp fileStamp(const std::string &path) {
  FileStamp stamp;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return stamp;
  stamp.exists = true;
  stamp.device = static_cast<uint64_t>(st.st_dev);
  stamp.inode = static_cast<uint64_t>(st.st_ino);
  stamp.size = static_cast<int64_t>(st.st_size);
  stamp.modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return stamp;
}

int checkReplaceable(const std::string &path) {
  std::string target = replacementTarget(path);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (::access(target.c_str(), W_OK) != 0) return errno;
    // A file marked read-only for everyone is meant to stay as it is, even for root.
    if ((st.st_mode & 0222) == 0) return EACCES;
  }
  if (::access(directoryOf(target).c_str(), W_OK | X_OK) != 0) return errno;
  return 0;
}

}  // namespace kvarn::ccdt
