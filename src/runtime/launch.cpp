// Running operating-system commands, waiting or not.
#include "runtime/launch.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <new>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

std::string errnoText(const char *format, int err) {
  const char *name = strerrorname_np(err);
  char text[256];
  std::snprintf(text, sizeof text, format, name ? name : "EUNKNOWN", err);
  return text;
}

std::string commandFailed(int err) {
  std::string text = "Command failed RC(" + std::to_string(err) + ") ";
  std::string reason = std::strerror(err);
  text += reason.substr(0, reason.find_first_of("\r\n"));
  return text;
}

bool isBlank(const std::string &s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

void writeErrno(int fd, int err) {
  ssize_t ignored = ::write(fd, &err, sizeof err);
  (void)ignored;
}

// In the grandchild: after fork only async-signal-safe calls until exec.
[[noreturn]] void execDetached(const char *const argv[], int reportFd) {
  int devNull = ::open("/dev/null", O_RDWR);
  if (devNull >= 0) {
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(devNull, STDOUT_FILENO);
    ::dup2(devNull, STDERR_FILENO);
    if (devNull > STDERR_FILENO) ::close(devNull);
  }
  // Everything but the standard streams closes on exec, so the command does not hold
  // on to our sockets and files; the report pipe stays usable until then.
  if (::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
    for (int fd = STDERR_FILENO + 1; fd < 1024; ++fd)
      if (fd != reportFd) ::close(fd);
  ::signal(SIGPIPE, SIG_DFL);
  ::execve("/bin/sh", const_cast<char *const *>(argv), environ);
  writeErrno(reportFd, errno);
  ::_exit(127);
}

}  // namespace

std::string runCommandAndWait(const std::string &command, int *exitStatus) {
  if (exitStatus) *exitStatus = -1;
  if (isBlank(command)) {
    // Nothing to run: only say whether there is an interpreter at all.
    if (std::system(nullptr) == 0)
      return errnoText("system() call, command interpreter is not found, errno=%s(%d)\n", ENOENT);
    if (exitStatus) *exitStatus = 0;
    return {};
  }
  errno = 0;
  int status = std::system(command.c_str());
  if (status == -1) {
    int err = errno;
    if (err == ENOENT) return errnoText("system() call, command interpreter is not found, errno=%s(%d)\n", err);
    return errnoText("system() call set errno=%s(%d)\n", err);
  }
  if (exitStatus) {
    if (WIFEXITED(status)) *exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) *exitStatus = 128 + WTERMSIG(status);
    else *exitStatus = status;
  }
  return {};
}

std::string startCommand(const std::string &command) {
  try {
    if (isBlank(command)) return "No command supplied";
    const char *argv[] = {"sh", "-c", command.c_str(), nullptr};

    // The grandchild reports a failed exec through this pipe; a clean exec closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return commandFailed(errno);

    // Fork twice so the command is adopted by init and never lingers as our zombie.
    pid_t child = ::fork();
    if (child < 0) {
      int err = errno;
      ::close(report[0]);
      ::close(report[1]);
      return commandFailed(err);
    }
    if (child == 0) {
      ::close(report[0]);
      ::setsid();
      pid_t grandchild = ::fork();
      if (grandchild < 0) {
        writeErrno(report[1], errno);
        ::_exit(1);
      }
      if (grandchild == 0) execDetached(argv, report[1]);
      ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    int err = 0;
    ssize_t got;
    while ((got = ::read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {}
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof err) && err != 0) return commandFailed(err);
    return {};
  } catch (const std::bad_alloc &) { return "Not enough memory"; }
}
