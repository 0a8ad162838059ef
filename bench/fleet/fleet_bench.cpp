// A fleet of qmsim servers (one process each), every one with the same N queues: one
// KVARN run (kvarn -f -i file) sends DISPLAY QLOCAL(BENCH.*) CURDEPTH to the whole fleet
// at once, then the same command to each member in turn over its own connection, a few
// rounds over. The times are read from KVARN's standard output as it comes: a marker line
// printed before each command reaches this program when KVARN writes its output out at
// the start of the command's wait, so the time between one marker and the next is the
// command before it (its answer laid out and written included). The connections are
// made before the first marker: no connect is in any figure.
// Printed: the fleet's time, each member's own time (its best round), the slowest of
// them and the members one after another, with the aims: the fleet at most 1.5 times
// the slowest member, and at least 5 times faster than one after another. Measured
// twice: with the servers answering at once (on a small machine they and KVARN share
// the same cores, so the fleet's time is the servers' work added up), and with each
// server holding every reply 20 ms (KVARN_BENCH_LATENCY_MS), as queue managers on other
// machines do.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

// Runs a program to its end with its output thrown away; its exit status.
int run(const std::vector<std::string> &args) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char *> argv;
  std::vector<std::string> copy = args;
  for (auto &a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(spawned));
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs kvarn on a command file and stamps each marker line ("@@...") of its output with
// the time it arrived, in seconds from the start. Also counts the record lines.
struct Stamped {
  std::vector<std::pair<std::string, double>> marks;
  size_t records = 0;
  int status = -1;
};

Stamped runStamped(const std::string &kvarn, const std::string &commands) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<std::string> args{kvarn, "-f", "-x", "-i", commands};
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  auto t0 = Clock::now();
  pid_t pid;
  int spawned = posix_spawn(&pid, kvarn.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (spawned != 0) throw std::runtime_error("cannot start kvarn");
  Stamped out;
  std::string pending;
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    double at = std::chrono::duration<double>(Clock::now() - t0).count();
    pending.append(buffer, static_cast<size_t>(n));
    size_t start = 0;
    for (size_t nl; (nl = pending.find('\n', start)) != std::string::npos; start = nl + 1) {
      std::string_view line(pending.data() + start, nl - start);
      if (line.starts_with("@@")) out.marks.emplace_back(std::string(line.substr(2)), at);
      else if (line.starts_with("QSGQM(") || line.starts_with("QUEUE(")) ++out.records;
    }
    pending.erase(0, start);
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) break;
  out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

std::string memberName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "QMFL%02d", i + 1);
  return name;
}

// The qmsim servers, stopped however the benchmark ends.
struct Servers {
  std::string qmsim;
  std::vector<std::string> names;
  ~Servers() {
    for (const std::string &name : names) run({qmsim, "stop", name});
  }
};

}  // namespace

int main(int argc, char **argv) {
  int members = argc > 1 ? std::atoi(argv[1]) : 20;
  int queues = argc > 2 ? std::atoi(argv[2]) : 1000;
  int rounds = 3;
  if (const char *r = std::getenv("KVARN_BENCH_ROUNDS")) rounds = std::max(1, std::atoi(r));
  if (members < 1 || queues < 1) {
    std::fprintf(stderr, "usage: bench_fleet [members] [queues]\n");
    return 2;
  }
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("kvarn-bench-fleet-" + std::to_string(::getpid()));
  fs::create_directories(dir / "cfg");
  ::setenv("KVARN_QMSIM_HOME", (dir / "qmsim").c_str(), 1);
  ::setenv("KVARNCFG", (dir / "cfg").c_str(), 1);
  ::setenv("HOME", dir.c_str(), 1);
  const std::string kvarn = KVARN_BINARY;
  int result = 0;
  try {
    Servers servers;
    servers.qmsim = std::string(BENCH_BUILD_DIR) + "/bin/qmsim";
    std::string list;
    for (int i = 0; i < members; ++i) {
      std::string name = memberName(i);
      if (run({servers.qmsim, "create", name}) != 0) throw std::runtime_error("qmsim create failed");
      list += (i ? "," : "") + name;
    }
    auto startServers = [&](int latencyMs) {
      for (const std::string &name : servers.names) run({servers.qmsim, "stop", name});
      servers.names.clear();
      for (int i = 0; i < members; ++i) {
        std::string name = memberName(i);
        if (run({servers.qmsim, "start", name, "--port", "0", "--bind", "127.0.0.1", "--latency",
                 std::to_string(latencyMs), "--background"}) != 0)
          throw std::runtime_error("qmsim start failed");
        servers.names.push_back(name);
      }
    };
    startServers(0);

    // 1. The queues, defined on every member at once by a fleet.
    {
      std::ofstream define(dir / "define.in");
      define << "=fleet qm(" << list << ")\n";
      for (int q = 0; q < queues; ++q) {
        char name[32];
        std::snprintf(name, sizeof name, "BENCH.Q%06d", q);
        define << "DEFINE QLOCAL(" << name << ") MAXDEPTH(" << 1000 + q % 9000 << ") REPLACE\n";
      }
    }
    auto t0 = Clock::now();
    Stamped defined = runStamped(kvarn, (dir / "define.in").string());
    double defineSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    if (defined.status != 0) throw std::runtime_error("defining the queues failed");
    std::printf("bench_fleet: %d queue managers (qmsim servers), %d queues each; %d DEFINE QLOCAL sent to the fleet "
                "in %.2f s\n",
                members, queues, queues, defineSeconds);

    // 2. The measured runs: connections first, then rounds of the fleet and the members;
    //    once with the servers answering at once, once as if each were a network away.
    struct Figures {
      double fleet = 1e9, sequential = 1e9, slowest = 0, fastest = 0;
    };
    auto measure = [&](int latencyMs) {
      const char *display = "DISPLAY QLOCAL(BENCH.*) CURDEPTH\n";
      {
        std::ofstream m(dir / "measure.in");
        for (int i = 0; i < members; ++i) m << "=conn qm(" << memberName(i) << ")\n";
        m << "=fleet qm(" << list << ")\n";
        for (int r = 0; r < rounds; ++r) {
          m << "=fleet\nprint '@@F" << r << "'\n" << display;
          for (int i = 0; i < members; ++i)
            m << "=conn qm(" << memberName(i) << ")\nprint '@@S" << r << "." << i << "'\n" << display;
          m << "print '@@E" << r << "'\nDISPLAY QMGR QMNAME\n";
        }
      }
      Stamped measured = runStamped(kvarn, (dir / "measure.in").string());
      std::map<std::string, double> at;
      for (auto &[mark, time] : measured.marks) at[mark] = time;
      size_t expected = static_cast<size_t>(rounds) * members * queues * 2;
      if (measured.records != expected)
        throw std::runtime_error("records shown: " + std::to_string(measured.records) + ", expected " +
                                 std::to_string(expected));
      Figures f;
      std::vector<double> bestMember(static_cast<size_t>(members), 1e9);
      std::printf("\nservers reply %s:\n", latencyMs
                                               ? ("after " + std::to_string(latencyMs) + " ms (a network away)").c_str()
                                               : "at once (they share this machine's cores with KVARN)");
      for (int r = 0; r < rounds; ++r) {
        std::string R = std::to_string(r);
        double fleet = at.at("S" + R + ".0") - at.at("F" + R);
        double sequential = at.at("E" + R) - at.at("S" + R + ".0");
        double slowest = 0;
        for (int i = 0; i < members; ++i) {
          std::string next = i + 1 < members ? "S" + R + "." + std::to_string(i + 1) : "E" + R;
          double own = at.at(next) - at.at("S" + R + "." + std::to_string(i));
          bestMember[static_cast<size_t>(i)] = std::min(bestMember[static_cast<size_t>(i)], own);
          slowest = std::max(slowest, own);
        }
        std::printf("  round %d: fleet %.3f s, slowest member %.3f s, members one after another %.3f s\n", r + 1, fleet,
                    slowest, sequential);
        f.fleet = std::min(f.fleet, fleet);
        f.sequential = std::min(f.sequential, sequential);
      }
      f.slowest = *std::max_element(bestMember.begin(), bestMember.end());
      f.fastest = *std::min_element(bestMember.begin(), bestMember.end());
      std::printf("  %-42s %10s\n", "DISPLAY QLOCAL(BENCH.*) CURDEPTH", "best (s)");
      std::printf("  %-42s %10.3f\n", "fleet, all members at once", f.fleet);
      std::printf("  %-42s %10.3f\n", "one member alone, slowest", f.slowest);
      std::printf("  %-42s %10.3f\n", "one member alone, fastest", f.fastest);
      std::printf("  %-42s %10.3f\n", "members one after another", f.sequential);
      double toSlowest = f.fleet / f.slowest, speedUp = f.sequential / f.fleet;
      std::printf("  fleet / slowest member:     %5.2fx  (aim: at most 1.5x)   %s\n", toSlowest,
                  toSlowest <= 1.5 ? "met" : "NOT MET");
      std::printf("  one after another / fleet:  %5.2fx  (aim: at least 5x)    %s\n", speedUp,
                  speedUp >= 5 ? "met" : "NOT MET");
    };
    std::printf("(cores online: %ld; the %d servers and KVARN share them)\n", ::sysconf(_SC_NPROCESSORS_ONLN), members);
    measure(0);
    int latency = 20;
    if (const char *l = std::getenv("KVARN_BENCH_LATENCY_MS")) latency = std::max(1, std::atoi(l));
    startServers(latency);
    measure(latency);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "bench_fleet: %s\n", e.what());
    result = 1;
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return result;
}
