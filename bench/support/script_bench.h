// What the script benchmarks share: clocks (wall and this process's CPU), child processes
// measured through wait4() (CPU time, peak resident set, standard output), a forked child
// running a piece of this program, the Python 3 reference run, the aim lines and, when built
// with Lua 5.4 (KVARN_BENCH_LUA), Lua's C API for the reference runs.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#ifdef KVARN_BENCH_LUA
extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}
#endif

// Monotonic wall clock, seconds.
inline double benchSeconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// CPU time (user + system, all threads) of this process so far, seconds.
inline double benchCpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// What a child process cost, from wait4(): CPU (user + system), wall time around it, its
// peak resident set, what it wrote on standard output, and how it ended.
struct ChildRun {
  bool ran = false;   // it was started and ended by exit (any status), not by a signal
  int exitCode = -1;  // its exit status when it ran
  int signal = 0;     // the signal that ended it, else 0
  double cpu = 0;     // seconds
  double wall = 0;    // seconds
  long peakKb = 0;    // ru_maxrss
  std::string out;    // standard output

  // The first line of standard output.
  std::string firstLine() const {
    std::string line = out.substr(0, out.find('\n'));
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    return line;
  }
  // True when standard output has `line` as a whole line.
  bool hasLine(const std::string& line) const {
    size_t at = 0;
    while (at <= out.size()) {
      size_t end = out.find('\n', at);
      if (end == std::string::npos) end = out.size();
      if (out.compare(at, end - at, line) == 0) return true;
      at = end + 1;
    }
    return false;
  }
  // How it ended, for a failure line.
  std::string ending() const {
    if (signal) return "ended by signal " + std::to_string(signal);
    if (!ran) return "could not be started";
    return "exit status " + std::to_string(exitCode);
  }
};

namespace script_bench_detail {

inline void readAll(int fd, std::string& into) {
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) into.append(buf, static_cast<size_t>(n));
    else if (n < 0 && errno == EINTR) continue;
    else break;
  }
}

// Waits for `pid` (its standard output on `fd`, read to the end first) and fills `run`.
inline void collect(pid_t pid, int fd, double started, ChildRun& run) {
  readAll(fd, run.out);
  ::close(fd);
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {}
  run.wall = benchSeconds() - started;
  run.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  run.peakKb = usage.ru_maxrss;
  if (WIFEXITED(status)) {
    run.exitCode = WEXITSTATUS(status);
    run.ran = run.exitCode != 127;  // 127: the exec failed
  } else if (WIFSIGNALED(status)) {
    run.signal = WTERMSIG(status);
  }
}

// In a fresh child: standard input and error on /dev/null, standard output on `out`.
inline void childStreams(int out) {
  int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    ::dup2(null, 0);
    ::dup2(null, 2);
    if (null > 2) ::close(null);
  }
  ::dup2(out, 1);
  if (out > 2) ::close(out);
}

}  // namespace script_bench_detail

// Forks a child whose standard output (and error) go to a pipe; in the child runs `child`,
// which must not return. The parent collects the child's output, CPU and peak.
template <class Child>
inline ChildRun runInChild(Child&& child) {
  ChildRun run;
  int fds[2];
  if (::pipe(fds) != 0) return run;
  std::fflush(nullptr);
  double started = benchSeconds();
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return run;
  }
  if (pid == 0) {
    ::close(fds[0]);
    child(fds[1]);
    _exit(127);
  }
  ::close(fds[1]);
  script_bench_detail::collect(pid, fds[0], started, run);
  return run;
}

// Runs a program (looked up on PATH when it has no '/') with `env` added to the environment
// (NAME=value) and its address space capped at `addressCapBytes` when not 0, so a runaway
// run fails instead of taking the machine's memory.
inline ChildRun runChild(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                         unsigned long long addressCapBytes = 0) {
  if (argv.empty()) return ChildRun{};
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  return runInChild([&](int out) {
    script_bench_detail::childStreams(out);
    for (const auto& e : env) ::putenv(const_cast<char*>(e.c_str()));
    if (addressCapBytes) {
      rlimit cap{addressCapBytes, addressCapBytes};
      ::setrlimit(RLIMIT_AS, &cap);
    }
    ::execvp(args[0], args.data());
  });
}

// Runs `body` in a forked copy of this process; what it returns comes back as the child's
// standard output. The child's peak resident set counts what `body` made resident.
inline ChildRun runForked(const std::function<std::string()>& body) {
  return runInChild([&](int out) {
    std::string result = body();
    const char* p = result.data();
    size_t left = result.size();
    while (left > 0) {
      ssize_t n = ::write(out, p, left);
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
    _exit(0);
  });
}

// Runs a Python 3 program (`python3 -c program args...`): its CPU comes from wait4() and
// includes starting the interpreter; `check` gets the first line it printed. False when
// there is no python3 or the program failed.
inline bool runPythonProgram(const std::string& program, const std::vector<std::string>& args, ChildRun& run,
                             std::string& check) {
  std::vector<std::string> argv{"python3", "-c", program};
  argv.insert(argv.end(), args.begin(), args.end());
  run = runChild(argv);
  check = run.firstLine();
  return run.ran && run.exitCode == 0;
}

// CPU seconds python3 takes to start and end with nothing to do (the median of five runs),
// to set beside a run's CPU, which includes it; 0 when there is no python3.
inline double pythonStartCpu() {
  std::vector<double> cpu;
  for (int i = 0; i < 5; ++i) {
    ChildRun run = runChild({"python3", "-c", "pass"});
    if (!run.ran || run.exitCode != 0) return 0;
    cpu.push_back(run.cpu);
  }
  std::sort(cpu.begin(), cpu.end());
  return cpu[cpu.size() / 2];
}

// One aim: "aim  <what>  <ratio>x (aim <= <limit>x)  meets|misses".
inline bool printAim(const char* what, double ratio, double limit) {
  bool meets = ratio <= limit;
  std::printf("  aim  %-44s %7.2fx  (<= %.2fx)  %s\n", what, ratio, limit, meets ? "meets" : "misses");
  return meets;
}

// An aim that could not be measured, and why.
inline void printNoAim(const char* what, const char* why) {
  std::printf("  aim  %-44s not measured (%s)\n", what, why);
}

// A number from the environment, else `fallback`.
inline long envNumber(const char* name, long fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  char* end = nullptr;
  long n = std::strtol(v, &end, 10);
  return (end && *end == '\0' && n > 0) ? n : fallback;
}
