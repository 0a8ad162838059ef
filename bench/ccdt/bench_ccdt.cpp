// Two measurements of the channel tables, in the binary and the JSON form, with
// N channels (default 10,000):
//   1. Load the table, change one channel and save it; copying the same file with cp
//      is the reference.
//   2. The command path: KVARN in file mode defines the N channels with DEFINE
//      CHANNEL commands in CCDT mode and shows them with DISPLAY CHANNEL(*) ALL. The
//      reference is the storage layer doing the same work without the command layer:
//      the N channels written through the table API, saved once and all read back.
//      Beside it, the bytes KVARN wrote, which show how often it saved the table.
// Every step runs in a child process so its peak memory is its own.
//
//   bench_ccdt [channels [directory [runs]]]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ccdt/binary_table.h"
#include "ccdt/json_table.h"

using namespace kvarn::ccdt;

namespace {

struct Figures {
  double seconds = 0;
  long peakKiB = 0;
  bool ok = false;
  long long charsWritten = -1;  // wchar of /proc/<pid>/io; -1 when it could not be read
};

// The wchar line of /proc/<pid>/io: every byte the process handed to write() and its
// kin, whatever the file. Readable while the process is a zombie not yet reaped.
long long charsWrittenBy(pid_t pid) {
  std::ifstream io("/proc/" + std::to_string(pid) + "/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value)
    if (key == "wchar:") return value;
  return -1;
}

// Runs a command in a fresh process and reports its wall time and peak resident
// memory, so the figures hold the step alone and nothing of this process. Standard
// output and error go to the files given ("" keeps this process's own).
Figures measure(const std::vector<std::string> &command, const std::string &out = "", const std::string &err = "") {
  std::vector<char *> args;
  for (const auto &arg : command) args.push_back(const_cast<char *>(arg.c_str()));
  args.push_back(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t child = ::fork();
  if (child == 0) {
    int in = ::open("/dev/null", O_RDONLY);
    if (in >= 0) ::dup2(in, 0);
    for (auto [fd, path] : {std::pair{1, &out}, std::pair{2, &err}}) {
      if (path->empty()) continue;
      int file = ::open(path->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (file < 0 || ::dup2(file, fd) < 0) ::_exit(126);
    }
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  Figures f;
  if (child < 0) return f;
  // The child is left a zombie until its I/O counters have been read.
  siginfo_t info{};
  ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT);
  f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.charsWritten = charsWrittenBy(child);
  int status = 0;
  struct rusage usage {};
  ::wait4(child, &status, 0, &usage);
  f.peakKiB = usage.ru_maxrss;
  f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return f;
}

ChannelDefinition sampleChannel(int i) {
  ChannelDefinition d = clientConnectionDefaults();
  char name[32];
  std::snprintf(name, sizeof name, "BENCH.CHL.%05d", i);
  d.channelName = name;
  d.connectionName = "mqhost" + std::to_string(i % 97) + ".example.com(" + std::to_string(1414 + i % 10) + ")";
  d.qmgrName = "QM" + std::to_string(i % 13);
  d.description = "Benchmark channel " + std::to_string(i);
  d.sslCipherSpec = "TLS_AES_256_GCM_SHA384";
  return d;
}

int buildTables(int channels, const std::string &binaryPath, const std::string &jsonPath) {
  std::unique_ptr<BinaryTable> table;
  std::string message;
  if (BinaryTable::open(binaryPath, BinaryTable::Mode::Update, table, message) != 0) return 1;
  JsonTable json;
  for (int i = 0; i < channels; ++i) {
    ChannelDefinition d = sampleChannel(i);
    if (table->writeChannel(d, 0, message) != 0) return 1;
    json.insert(static_cast<size_t>(i), d);
  }
  if (table->close(message) != 0) return 1;
  std::vector<std::string> ignored;
  JsonTable target;
  target.read(jsonPath, false, ignored);
  for (size_t i = 0; i < json.channels().size(); ++i) target.insert(i, json.channels()[i].def);
  return target.save(JsonFields::Min, message) == 0 ? 0 : 1;
}

int changeBinary(const std::string &path, int which) {
  std::unique_ptr<BinaryTable> table;
  std::string message;
  if (BinaryTable::open(path, BinaryTable::Mode::Update, table, message) != 0) return 1;
  ChannelDefinition d;
  if (table->readChannel(sampleChannel(which).channelName, d, message) != 0) return 1;
  d.description = "changed by the benchmark";
  if (table->writeChannel(d, 0, message) != 0) return 1;
  return table->close(message) == 0 ? 0 : 1;
}

int changeJson(const std::string &path, int which) {
  JsonTable table;
  std::vector<std::string> messages;
  if (table.read(path, false, messages) != 0 || table.channels().size() <= static_cast<size_t>(which)) return 1;
  ChannelDefinition d = table.channels()[static_cast<size_t>(which)].def;
  d.description = "changed by the benchmark";
  table.replace(static_cast<size_t>(which), d);
  std::string message;
  return table.save(JsonFields::Min, message) == 0 ? 0 : 1;
}

// The storage layer's share of the command path: the channels written one by one
// through the table API into a table that does not exist yet, saved once, and every
// channel read back, as DISPLAY CHANNEL(*) ALL reads them.
int storageBinary(int channels, const std::string &path) {
  std::unique_ptr<BinaryTable> table;
  std::string message;
  if (BinaryTable::open(path, BinaryTable::Mode::Update, table, message) != 0) return 1;
  for (int i = 0; i < channels; ++i)
    if (table->writeChannel(sampleChannel(i), 0, message) != 0) return 1;
  if (table->save(message) != 0) return 1;
  table->rewind();
  ChannelDefinition d;
  int read = 0;
  size_t bytes = 0;
  while (table->readNextChannel(d, message) == 0) {
    ++read;
    bytes += d.connectionName.size() + d.description.size();
  }
  if (read != channels || bytes == 0) return 1;
  return table->close(message) == 0 ? 0 : 1;
}

int storageJson(int channels, const std::string &path) {
  JsonTable table;
  std::vector<std::string> messages;
  if (table.read(path, false, messages) != 0) return 1;
  for (int i = 0; i < channels; ++i) table.insert(static_cast<size_t>(i), sampleChannel(i));
  std::string message;
  if (table.save(JsonFields::Min, message) != 0) return 1;
  // The display takes a copy of each channel held; so does this.
  int read = 0;
  size_t bytes = 0;
  for (const JsonChannel &c : table.channels()) {
    ChannelDefinition d = c.def;
    ++read;
    bytes += d.connectionName.size() + d.description.size();
  }
  return read == channels && bytes > 0 ? 0 : 1;
}

// The command file for KVARN: the mode on the table, the N channels of sampleChannel,
// then the display of them all.
std::string commandFile(const char *form, const std::string &table, int channels) {
  std::string text = std::string(std::string(form) == "binary" ? "=ccdt" : "=ccdtj") + " file(" + table + ")\n";
  for (int i = 0; i < channels; ++i) {
    ChannelDefinition d = sampleChannel(i);
    text += "DEFINE CHANNEL(" + d.channelName + ") CHLTYPE(CLNTCONN) CONNAME('" + d.connectionName + "') QMNAME(" +
            d.qmgrName + ") DESCR('" + d.description + "') SSLCIPH(" + d.sslCipherSpec + ")\n";
  }
  return text + "DISPLAY CHANNEL(*) ALL\n";
}

size_t countLines(const std::string &path, const char *start) {
  std::ifstream in(path);
  std::string line;
  size_t n = 0, length = std::strlen(start);
  while (std::getline(in, line)) n += line.compare(0, length, start) == 0;
  return n;
}

uintmax_t sizeOf(const std::string &path) {
  std::error_code ec;
  uintmax_t size = std::filesystem::file_size(path, ec);
  return ec ? 0 : size;
}

void removeTable(const std::string &path) {
  std::error_code ec;
  for (const char *suffix : {"", "_tmp", "_bak", ".unsaved"}) std::filesystem::remove(path + suffix, ec);
}

// Runs the command path and the storage layer alternately, `runs` times each, on a
// fresh table every time. False when a run failed or showed the wrong channels.
bool compareCommandPath(const char *form, const std::string &self, const std::string &work, int channels, int runs) {
  bool binary = std::string(form) == "binary";
  std::string table = work + (binary ? "/cmd/AMQCLCHL.TAB" : "/cmd/ccdt.json");
  std::string storageTable = work + (binary ? "/api/AMQCLCHL.TAB" : "/api/ccdt.json");
  std::string commands = work + "/commands.mqsc", out = work + "/kvarn.out", err = work + "/kvarn.err";
  std::ofstream(commands) << commandFile(form, table, channels);
  Figures bestCommand, bestStorage;
  uintmax_t outputBytes = 0, errorBytes = 0, tableBytes = 0, storageTableBytes = 0;
  bool ok = true;
  for (int run = 0; run < runs; ++run) {
    for (int step = 0; step < 2; ++step) {
      if ((run + step) % 2 == 0) {
        removeTable(table);
        Figures f = measure({KVARN_BINARY, "-f", "-x", "-i", commands}, out, err);
        size_t defined = countLines(out, "AMQ8016:"), shown = countLines(out, "AMQ8414:");
        if (!f.ok || defined != static_cast<size_t>(channels) || shown != static_cast<size_t>(channels)) {
          std::fprintf(stderr, "%s: KVARN %s, %zu channels defined and %zu shown of %d; see %s and %s\n", form,
                       f.ok ? "ran" : "FAILED", defined, shown, channels, out.c_str(), err.c_str());
          ok = false;
        }
        if (run == 0 || f.seconds < bestCommand.seconds) {
          bestCommand = f;
          outputBytes = sizeOf(out);
          errorBytes = sizeOf(err);
          tableBytes = sizeOf(table);
        }
      } else {
        removeTable(storageTable);
        Figures f = measure({self, "--storage", form, std::to_string(channels), storageTable});
        if (!f.ok) {
          std::fprintf(stderr, "%s: the storage layer's run FAILED\n", form);
          ok = false;
        }
        if (run == 0 || f.seconds < bestStorage.seconds) bestStorage = f;
        storageTableBytes = sizeOf(storageTable);
      }
    }
  }
  std::printf("%-6s command path  %8.3f s %8ld KiB%s\n", form, bestCommand.seconds, bestCommand.peakKiB,
              bestCommand.ok ? "" : " FAILED");
  std::printf("       storage layer %8.3f s %8ld KiB%s\n", bestStorage.seconds, bestStorage.peakKiB,
              bestStorage.ok ? "" : " FAILED");
  double timeRatio = bestCommand.seconds / bestStorage.seconds;
  std::printf("       command path / storage layer: time x%.2f (aim: under x2%s), memory x%.2f\n", timeRatio,
              timeRatio < 2 ? ", met" : ", NOT met",
              static_cast<double>(bestCommand.peakKiB) / static_cast<double>(bestStorage.peakKiB));
  // What KVARN wrote apart from its output is the table: a save per command would
  // show as about N/2 tables' worth, one save per second and one at the end as a few.
  std::printf("       table %.1f KiB (storage layer's %.1f KiB)", static_cast<double>(tableBytes) / 1024.0,
              static_cast<double>(storageTableBytes) / 1024.0);
  if (bestCommand.charsWritten < 0 || tableBytes == 0) {
    std::printf("; the bytes KVARN wrote could not be read\n");
  } else {
    long long tableWrites =
        bestCommand.charsWritten - static_cast<long long>(outputBytes) - static_cast<long long>(errorBytes);
    std::printf("; KVARN wrote %.1f MiB, %.1f MiB of it output, the rest = %.2f x the table\n",
                static_cast<double>(bestCommand.charsWritten) / 1048576.0,
                static_cast<double>(outputBytes + errorBytes) / 1048576.0,
                static_cast<double>(tableWrites) / static_cast<double>(tableBytes));
  }
  return ok;
}

void report(const char *form, const std::string &path, const Figures &change, const Figures &cp,
            const Figures &cpSync) {
  std::printf("%-6s %8.1f KiB | load+change+save %7.4f s %7ld KiB%s | cp %7.4f s %7ld KiB | cp+sync %7.4f s | "
              "time x%.1f of cp, x%.1f of cp+sync; memory x%.1f of cp\n",
              form, static_cast<double>(std::filesystem::file_size(path)) / 1024.0, change.seconds, change.peakKiB,
              change.ok ? "" : " FAILED", cp.seconds, cp.peakKiB, cpSync.seconds, change.seconds / cp.seconds,
              change.seconds / cpSync.seconds, static_cast<double>(change.peakKiB) / static_cast<double>(cp.peakKiB));
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 5 && std::string(argv[1]) == "--build") return buildTables(std::atoi(argv[2]), argv[3], argv[4]);
  if (argc == 5 && std::string(argv[1]) == "--storage")
    return std::string(argv[2]) == "binary" ? storageBinary(std::atoi(argv[3]), argv[4])
                                            : storageJson(std::atoi(argv[3]), argv[4]);
  if (argc == 5 && std::string(argv[1]) == "--step") {  // one measured step, in its own process
    int which = std::atoi(argv[4]);
    return std::string(argv[2]) == "binary" ? changeBinary(argv[3], which) : changeJson(argv[3], which);
  }
  int channels = argc > 1 ? std::atoi(argv[1]) : 10000;
  std::string directory = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
  int runs = argc > 3 ? std::atoi(argv[3]) : 3;
  if (runs < 1) {
    std::fprintf(stderr, "usage: bench_ccdt [channels [directory [runs]]]\n");
    return 2;
  }
  std::string work = directory + "/kvarn-bench-ccdt-" + std::to_string(::getpid());
  std::filesystem::create_directories(work + "/cmd");
  std::filesystem::create_directories(work + "/api");
  // KVARN reads and writes its settings here, not in the user's own.
  ::setenv("HOME", work.c_str(), 1);
  ::setenv("KVARNCFG", (work + "/cfg").c_str(), 1);
  std::filesystem::create_directories(work + "/cfg");
  std::string binaryPath = work + "/AMQCLCHL.TAB";
  std::string jsonPath = work + "/ccdt.json";
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  // The tables are built in a child too: a forked child's peak counts the pages it
  // shares with this process, which must therefore stay small.
  if (channels < 1 || !measure({self, "--build", std::to_string(channels), binaryPath, jsonPath}).ok) {
    std::fprintf(stderr, "could not build the tables in %s\n", work.c_str());
    return 1;
  }
  std::printf("%d channels, best of 5 runs each\n", channels);
  for (const char *form : {"binary", "json"}) {
    const std::string &path = std::string(form) == "binary" ? binaryPath : jsonPath;
    Figures best, bestCp, bestCpSync;
    for (int run = 0; run < 5; ++run) {
      std::string which = std::to_string((run * 2371) % channels);
      Figures change = measure({self, "--step", form, path, which});
      Figures cp = measure({"cp", path, path + ".copy"});
      Figures cpSync = measure({"sh", "-c", "cp \"$0\" \"$0.copy\" && sync \"$0.copy\"", path});
      if (run == 0 || change.seconds < best.seconds) best = change;
      if (run == 0 || cp.seconds < bestCp.seconds) bestCp = cp;
      if (run == 0 || cpSync.seconds < bestCpSync.seconds) bestCpSync = cpSync;
    }
    report(form, path, best, bestCp, bestCpSync);
  }
  std::printf("\n%d channels defined by DEFINE CHANNEL in KVARN -f, then DISPLAY CHANNEL(*) ALL, beside the storage "
              "layer\nwriting them, saving once and reading them all back; best of %d runs each\n",
              channels, runs);
  bool ok = true;
  for (const char *form : {"binary", "json"}) ok = compareCommandPath(form, self, work, channels, runs) && ok;
  // A failed run's files stay for a look.
  if (!ok) return 1;
  std::error_code ec;
  std::filesystem::remove_all(work, ec);
  return 0;
}
