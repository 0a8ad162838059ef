// Loads a 10,000-channel table, changes one channel and saves it, in the binary
// and the JSON form. Each step runs in a child process so its peak memory is its
// own; copying the same file with cp is measured beside it as the reference.
//
//   bench_ccdt [channels] [directory]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "ccdt/binary_table.h"
#include "ccdt/json_table.h"

using namespace kvarn::ccdt;

namespace {

struct Figures {
  double seconds = 0;
  long peakKiB = 0;
  bool ok = false;
};

// Runs a command in a fresh process and reports its wall time and peak resident
// memory, so the figures hold the step alone and nothing of this process.
Figures measure(const std::vector<std::string> &command) {
  std::vector<char *> args;
  for (const auto &arg : command) args.push_back(const_cast<char *>(arg.c_str()));
  args.push_back(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t child = ::fork();
  if (child == 0) {
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(child, &status, 0, &usage);
  Figures f;
  f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
  if (argc == 5 && std::string(argv[1]) == "--step") {  // one measured step, in its own process
    int which = std::atoi(argv[4]);
    return std::string(argv[2]) == "binary" ? changeBinary(argv[3], which) : changeJson(argv[3], which);
  }
  int channels = argc > 1 ? std::atoi(argv[1]) : 10000;
  std::string directory = argc > 2 ? argv[2] : std::filesystem::temp_directory_path().string();
  std::string work = directory + "/kvarn-bench-ccdt-" + std::to_string(::getpid());
  std::filesystem::create_directories(work);
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
  std::error_code ec;
  std::filesystem::remove_all(work, ec);
  return 0;
}
