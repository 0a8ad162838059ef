// Debug mode's cost when the debugger does not stop: the executor calls its hook before
// every statement, which in run mode only looks for a breakpoint. The same script of
// `passes` loop passes runs with -! (a breakpoint set past the script's end, then `run`)
// and without, each `rounds` times; the best time of each and their ratio are printed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

using Clock = std::chrono::steady_clock;

namespace {

// Runs kvarn with standard input from a file and its output thrown away; the seconds
// it took.
double runKvarn(std::vector<std::string> args, const std::string& stdinPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, stdinPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string program = KVARN_BINARY;
  std::vector<char*> argv{program.data()};
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  auto t0 = Clock::now();
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start " + program);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  ::waitpid(pid, &status, 0);
  double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  if (!WIFEXITED(status)) throw std::runtime_error("kvarn did not end normally");
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  long passes = argc > 1 ? std::atol(argv[1]) : 1000000;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  std::string dir = (std::filesystem::temp_directory_path() / ("kvarn_bench_debugger." + std::to_string(getpid())));
  std::filesystem::create_directories(dir + "/cfg");
  ::setenv("KVARNCFG", (dir + "/cfg").c_str(), 1);
  ::setenv("HOME", dir.c_str(), 1);
  std::string script = dir + "/loop.kvx", commands = dir + "/commands.txt", none = dir + "/empty.txt";
  std::ofstream(script) << "@i = 0\n@sum = 0\nwhile (@i < " << passes
                        << ")\n  @i = @i + 1\n  @sum = @sum + @i\nendwhile\nprint 'sum', @sum\n";
  std::ofstream(commands) << "bp 999\nrun\n";
  std::ofstream(none) << "";
  double plain = 1e9, debugged = 1e9;
  for (int r = 0; r < rounds; ++r) {
    plain = std::min(plain, runKvarn({"-x", "-f", "-i", script}, none));
    debugged = std::min(debugged, runKvarn({"-x", "-f", "-!", "-i", script}, commands));
  }
  std::printf("script of %ld loop passes, best of %d\n", passes, rounds);
  std::printf("  without -!              %8.3f s\n", plain);
  std::printf("  with -!, run mode       %8.3f s\n", debugged);
  std::printf("  ratio (with / without)  %8.3f\n", debugged / plain);
  std::filesystem::remove_all(dir);
  return 0;
}
