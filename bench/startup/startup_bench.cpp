// Start-up cost: the median wall time of `kvarn -x -f < /dev/null` beside a bare
// process start (/bin/true), both measured in this run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

double runOnce(const std::vector<std::string> &argv) {
  std::vector<char *> args;
  for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
    std::perror("posix_spawn");
    std::exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  auto end = std::chrono::steady_clock::now();
  posix_spawn_file_actions_destroy(&actions);
  return std::chrono::duration<double, std::milli>(end - start).count();
}

} // namespace

int main(int argc, char **argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 200;
  std::string dir = "/tmp/kvarn-bench-startup-XXXXXX";
  if (!mkdtemp(dir.data())) return 1;
  setenv("KVARNCFG", dir.c_str(), 1);   // never read or write the user's configuration
  unsetenv("KVARN_BOOTSTRAP");
  // Interleave the two so that machine noise hits both alike.
  std::vector<double> kvarn, bare;
  for (int i = 0; i < runs; ++i) {
    kvarn.push_back(runOnce({KVARN_BINARY, "-x", "-f"}));
    bare.push_back(runOnce({"/bin/true"}));
  }
  std::sort(kvarn.begin(), kvarn.end());
  std::sort(bare.begin(), bare.end());
  double k = kvarn[kvarn.size() / 2], b = bare[bare.size() / 2];
  std::printf("startup: kvarn -x -f < /dev/null  median %.3f ms over %d runs\n", k, runs);
  std::printf("startup: /bin/true                median %.3f ms\n", b);
  std::printf("startup: cost above a bare process start %.3f ms (ratio %.2f)\n", k - b, k / b);
  rmdir(dir.c_str());
  return 0;
}
