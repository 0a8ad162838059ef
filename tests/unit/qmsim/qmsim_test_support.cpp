#include "qmsim_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace qmsim_test {

namespace {

pid_t spawnQmsim(const std::vector<std::string>& args, int& readFd) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  std::string program = buildPath("bin/qmsim");
  std::vector<char*> argv{program.data()};
  std::vector<std::string> copies = args;
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (rc != 0) {
    ::close(pipeFds[0]);
    throw std::runtime_error("cannot start " + program);
  }
  readFd = pipeFds[0];
  return pid;
}

}  // namespace

RunResult runQmsim(const std::vector<std::string>& args) {
  int fd = -1;
  pid_t pid = spawnQmsim(args, fd);
  RunResult result;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) result.out.append(buf, static_cast<size_t>(n));
  ::close(fd);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

ServerProcess::ServerProcess(const std::vector<std::string>& qmgrs, const std::vector<std::string>& extraArgs) {
  std::vector<std::string> args{"start"};
  args.insert(args.end(), qmgrs.begin(), qmgrs.end());
  args.insert(args.end(), {"--port", "0"});
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  int fd = -1;
  pid_ = spawnQmsim(args, fd);
  // The server announces "... running on 127.0.0.1 port N." once it listens.
  std::string out;
  char c;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    if (::read(fd, &c, 1) != 1) break;
    out += c;
    if (c == '\n') {
      size_t at = out.find(" port ");
      if (at != std::string::npos) {
        port_ = std::atoi(out.c_str() + at + 6);
        break;
      }
    }
  }
  ::close(fd);  // later output goes nowhere; the server ignores SIGPIPE on its sockets only
  if (port_ == 0) {
    stop();
    throw std::runtime_error("qmsim server did not start: " + out);
  }
}

int ServerProcess::stop() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void ServerProcess::kill9() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace qmsim_test
