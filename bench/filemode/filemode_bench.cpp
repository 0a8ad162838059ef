// KVARN in file mode displaying many queues from a qmsim server over a client channel
// (TCP loopback): for each queue count, DISPLAY QLOCAL(<prefix>.*) ALL run as a whole
// KVARN process (kvarn -f -i file, standard output to a file) three ways: as it is,
// with the modifiers of an everyday query (=WHERE over the depth and the description,
// =SORTD), and as JSON Lines (-o json). For each run: KVARN's own CPU time and peak
// resident size (from wait4, the server's work is not in them), its wall time, the
// bytes it wrote, and the records it showed, checked against the queues defined.
// The reference, in the same rounds: the same display requested straight through the
// MQI over a client connection (an MQCMD_ESCAPE request, replies got in arrival order
// from a read-ahead reply queue until MQCFC_LAST), its wall time and the CPU time this
// process spent on it. The queues are defined through the MQI, a window of requests
// in flight; the time that takes is shown but is qmsim's, not KVARN's.
// With KVARN_BENCH_BEFORE naming another kvarn (an older build), every KVARN run is
// repeated with it in the same rounds, so one run gives a before/after table.
// Rounds: KVARN_BENCH_ROUNDS (default 3); CPU and wall are the best of the rounds, the
// peak resident size the largest.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
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
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "mqi/mqi.h"
#include "support/mq_api.h"

extern char** environ;

using kvarn::mqi::setField;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kQmgr = "QMFILEBENCH";
// KVARN and the MQI requester take their reply queues from this model: the default
// model's MAXDEPTH(5000) would lose replies to a display of more queues than that
// whenever the reader fell behind the command server.
const char* const kReplyModel = "BENCH.REPLY.MODEL";
// Every queue's MAXDEPTH is over 1200, so this keeps the payroll half, sorted.
const char* const kWhere = " =WHERE(MAXDEPTH > 1200 AND DESCR LK 'PAY*') =SORTD(MAXDEPTH)";

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

double cpuSeconds(const rusage& u) {
  auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
  return s(u.ru_utime) + s(u.ru_stime);
}

// The queues: half are payroll queues; their maximum depths differ, so a sort has work.
long maxDepthOf(long i) { return 5000 + (i * 7919) % 95000; }
bool isPayroll(long i) { return i % 2 == 0; }
// Every fourth queue holds a message or three.
long messagesFor(long i) { return i % 4 == 0 ? 1 + i % 3 : 0; }
// What kWhere keeps.
bool keptByWhere(long i) { return isPayroll(i) && maxDepthOf(i) > 1200; }

std::string queueName(const std::string& prefix, long i) {
  char name[64];
  std::snprintf(name, sizeof name, "%s.Q%06ld", prefix.c_str(), i);
  return name;
}

std::string defineText(const std::string& prefix, long i) {
  return "DEFINE QLOCAL(" + queueName(prefix, i) + ") MAXDEPTH(" + std::to_string(maxDepthOf(i)) + ") DESCR('" +
         (isPayroll(i) ? "PAYROLL" : "benchmark") + " queue " + std::to_string(i) + "')";
}

// --- processes --------------------------------------------------------------------------

struct ChildRun {
  double wall = 0, cpu = 0;
  long peakKiB = 0;
  int status = -1;
};

// Peak memory is read through a small launcher: this program started again with
// --measure, which starts the program and reports its rusage. A child spawned from a
// large process inherits that process's peak in ru_maxrss when it calls exec (Linux
// keeps the larger of the old and new address space's peaks); the launcher is small,
// so the figure is the program's own.
int measureChild(int argc, char** argv) {
  // argv: --measure <result file> <program> <args...>
  if (argc < 4) return 2;
  pid_t pid;
  int spawned = posix_spawn(&pid, argv[3], nullptr, nullptr, argv + 3, environ);
  if (spawned != 0) return 127;
  int status = 0;
  struct rusage usage {};
  while (::wait4(pid, &status, 0, &usage) < 0)
    if (errno != EINTR) return 126;
  FILE* out = std::fopen(argv[2], "w");
  if (!out) return 125;
  std::fprintf(out, "%.6f %ld %d\n", cpuSeconds(usage), usage.ru_maxrss,
               WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  std::fclose(out);
  return 0;
}

// Runs a program with standard output (and error) to files and waits for it; the
// figures are the child's alone.
ChildRun runChild(const std::string& program, std::vector<std::string> args, const std::string& stdoutPath,
                  const std::string& stderrPath = "/dev/null") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  static int runs = 0;
  std::string result = (std::filesystem::temp_directory_path() /
                        ("kvarn-bench-rusage-" + std::to_string(::getpid()) + "-" + std::to_string(++runs)))
                           .string();
  std::vector<std::string> launch{self, "--measure", result, program};
  launch.insert(launch.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : launch) argv.push_back(a.data());
  argv.push_back(nullptr);
  ChildRun run;
  auto t0 = Clock::now();
  pid_t pid;
  int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawned));
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) throw std::runtime_error("waitpid failed: " + std::string(std::strerror(errno)));
  run.wall = since(t0);
  std::ifstream figures(result);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !(figures >> run.cpu >> run.peakKiB >> run.status))
    throw std::runtime_error("cannot measure " + program);
  std::filesystem::remove(result);
  return run;
}

size_t countLines(const std::string& path, const char* start) {
  std::ifstream in(path);
  std::string line;
  size_t n = 0, len = std::strlen(start);
  while (std::getline(in, line)) n += line.compare(0, len, start) == 0;
  return n;
}

std::string firstLines(const std::string& path, int lines) {
  std::ifstream in(path);
  std::string line, out;
  while (lines-- > 0 && std::getline(in, line)) out += "  " + line + "\n";
  return out;
}

// The qmsim server: started in the background, stopped by the destructor whatever
// happened in between.
class QmsimServer {
 public:
  QmsimServer(const std::string& build, const std::string& home) : qmsim_(build + "/bin/qmsim"), home_(home) {
    if (runChild(qmsim_, {"create", kQmgr}, "/dev/null").status != 0) throw std::runtime_error("qmsim create failed");
    if (runChild(qmsim_, {"start", kQmgr, "--port", "0", "--bind", "127.0.0.1", "--background"}, "/dev/null").status !=
        0)
      throw std::runtime_error("qmsim start failed");
    std::ifstream in(home_ + "/" + kQmgr + "/qmsim.pid");
    long pid = 0;
    if (!(in >> pid >> port_) || pid <= 0 || port_ <= 0) {
      runChild(qmsim_, {"stop", kQmgr}, "/dev/null");
      throw std::runtime_error("no pid and port in qmsim.pid");
    }
    pid_ = static_cast<pid_t>(pid);
  }
  ~QmsimServer() {
    if (runChild(qmsim_, {"stop", kQmgr}, "/dev/null").status == 0) return;
    // Not stopped in qmsim's own time: ask once more and give it a while longer.
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 300 && ::kill(pid_, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (::kill(pid_, 0) == 0) std::fprintf(stderr, "bench_filemode: qmsim server %d still running\n", int(pid_));
  }
  QmsimServer(const QmsimServer&) = delete;
  QmsimServer& operator=(const QmsimServer&) = delete;
  int port() const { return port_; }

 private:
  std::string qmsim_, home_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// --- the MQI requester ----------------------------------------------------------------

struct DisplayFigures {
  size_t replies = 0, bytes = 0;
  double wall = 0, cpu = 0;
};

// The MQSC text of an escape reply (MQCACF_ESCAPE_TEXT), or "" when it has none.
std::string_view escapeText(const char* message, size_t length) {
  size_t at = sizeof(MQCFH);
  while (at + 12 <= length) {
    MQLONG head[3];
    std::memcpy(head, message + at, sizeof head);
    if (head[1] < 12 || at + static_cast<size_t>(head[1]) > length) break;
    if (head[0] == MQCFT_STRING && head[2] == MQCACF_ESCAPE_TEXT && head[1] >= MQCFST_STRUC_LENGTH_FIXED) {
      MQLONG stringLength;
      std::memcpy(&stringLength, message + at + 16, sizeof stringLength);
      size_t room = static_cast<size_t>(head[1]) - MQCFST_STRUC_LENGTH_FIXED;
      return {message + at + MQCFST_STRUC_LENGTH_FIXED, std::min(room, static_cast<size_t>(std::max(0, stringLength)))};
    }
    at += static_cast<size_t>(head[1]);
  }
  return {};
}

// One client connection to the server: requests put to the command queue, replies
// got in arrival order from a dynamic queue of kReplyModel opened with read ahead.
class MqiClient {
 public:
  MqiClient(bench::MqApi& api, int port) : api_(api) {
    MQCNO cno = kvarn::mqi::defaultCNO();
    MQCD cd = kvarn::mqi::defaultClientConnCD();
    setField(cd.ChannelName, "SYSTEM.DEF.SVRCONN");
    setField(cd.ConnectionName, "127.0.0.1(" + std::to_string(port) + ")");
    cno.Version = MQCNO_VERSION_2;
    cno.ClientConnPtr = &cd;
    char name[48];
    setField(name, kQmgr);
    MQLONG cc, rc;
    api_.MQCONNX(name, &cno, &hconn_, &cc, &rc);
    bench::check("MQCONNX", cc, rc);
    command_ = bench::openQueue(api_, hconn_, "SYSTEM.ADMIN.COMMAND.QUEUE", MQOO_OUTPUT);
    buffer_.resize(65536);
  }
  ~MqiClient() {
    MQLONG cc, rc;
    api_.MQDISC(&hconn_, &cc, &rc);
  }
  MqiClient(const MqiClient&) = delete;
  MqiClient& operator=(const MqiClient&) = delete;

  void openReplies(const char* model) {
    reply_ = bench::openQueue(api_, hconn_, model, MQOO_INPUT_EXCLUSIVE | MQOO_READ_AHEAD, &replyName_);
  }

  // Commands answered without records (DEFINE and the like), `window` of them in
  // flight at a time; a reply that is not MQCC_OK ends the run with its text.
  void pipeline(const std::vector<std::string>& commands, size_t window) {
    size_t sent = 0, answered = 0;
    while (answered < commands.size()) {
      while (sent < commands.size() && sent - answered < window) send(commands[sent++]);
      MQLONG length = next();
      MQCFH h;
      std::memcpy(&h, buffer_.data(), sizeof h);
      if (h.CompCode != MQCC_OK)
        throw std::runtime_error("request failed, reason " + std::to_string(h.Reason) + ": " +
                                 std::string(escapeText(buffer_.data(), static_cast<size_t>(length))));
      answered += h.Control == MQCFC_LAST;
    }
  }

  // Puts `count` small messages to a queue.
  void put(const std::string& queue, long count) {
    MQOD od = kvarn::mqi::defaultOD();
    setField(od.ObjectName, queue);
    char body[] = "bench";
    for (long n = 0; n < count; ++n) {
      MQMD md = kvarn::mqi::defaultMD();
      MQPMO pmo = kvarn::mqi::defaultPMO();
      pmo.Options = MQPMO_NO_SYNCPOINT;
      MQLONG cc, rc;
      api_.MQPUT1(hconn_, &od, &md, &pmo, sizeof body - 1, body, &cc, &rc);
      bench::check("MQPUT1", cc, rc);
    }
  }

  // One display: its wall time and this process's CPU time from the put of the request
  // to the reply marked last. `inspect`, when given, sees each reply's text and length
  // (and its time is in the figures: a display inspected is not one to time).
  DisplayFigures display(const std::string& mqsc, const std::function<void(std::string_view, size_t)>& inspect = {}) {
    DisplayFigures f;
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    auto t0 = Clock::now();
    MQBYTE24 requestId;
    send(mqsc, &requestId);
    for (;;) {
      MQMD md;
      MQLONG length = next(&md);
      if (std::memcmp(md.CorrelId, requestId, sizeof requestId) != 0)
        throw std::runtime_error("a reply of another request on the reply queue");
      ++f.replies;
      f.bytes += static_cast<size_t>(length);
      MQCFH h;
      std::memcpy(&h, buffer_.data(), sizeof h);
      if (inspect) inspect(escapeText(buffer_.data(), static_cast<size_t>(length)), static_cast<size_t>(length));
      if (h.Control == MQCFC_LAST) break;
    }
    f.wall = since(t0);
    ::getrusage(RUSAGE_SELF, &after);
    f.cpu = cpuSeconds(after) - cpuSeconds(before);
    return f;
  }

 private:
  // Puts one MQSC command as an escape request.
  void send(const std::string& mqsc, MQBYTE24* msgId = nullptr) {
    struct {
      MQCFH h;
      MQCFIN type;
    } head{};
    head.h = {MQCFT_COMMAND, MQCFH_STRUC_LENGTH, MQCFH_VERSION_1, MQCMD_ESCAPE, 1, MQCFC_LAST, 0, 0, 2};
    head.type = {MQCFT_INTEGER, MQCFIN_STRUC_LENGTH, MQIACF_ESCAPE_TYPE, MQET_MQSC};
    MQLONG padded = static_cast<MQLONG>((mqsc.size() + 3) / 4 * 4);
    MQCFST text{MQCFT_STRING, MQCFST_STRUC_LENGTH_FIXED + padded, MQCACF_ESCAPE_TEXT, MQCCSI_DEFAULT,
                static_cast<MQLONG>(mqsc.size())};
    message_.assign(reinterpret_cast<const char*>(&head), sizeof head);
    message_.append(reinterpret_cast<const char*>(&text), MQCFST_STRUC_LENGTH_FIXED);
    message_ += mqsc;
    message_.append(static_cast<size_t>(padded) - mqsc.size(), ' ');
    MQMD md = kvarn::mqi::defaultMD();
    md.MsgType = MQMT_REQUEST;
    std::memcpy(md.Format, MQFMT_ADMIN, 8);
    setField(md.ReplyToQ, replyName_);
    MQPMO pmo = kvarn::mqi::defaultPMO();
    pmo.Options = MQPMO_NO_SYNCPOINT | MQPMO_NEW_MSG_ID;
    MQLONG cc, rc;
    api_.MQPUT(hconn_, command_, &md, &pmo, static_cast<MQLONG>(message_.size()), message_.data(), &cc, &rc);
    bench::check("MQPUT", cc, rc);
    if (msgId) std::memcpy(*msgId, md.MsgId, sizeof *msgId);
  }

  // Gets the next reply into buffer_, growing it for a long one; returns its length.
  MQLONG next(MQMD* mdOut = nullptr) {
    for (;;) {
      MQMD md = kvarn::mqi::defaultMD();
      MQGMO gmo = kvarn::mqi::defaultGMO();
      gmo.Options = MQGMO_WAIT | MQGMO_NO_SYNCPOINT | MQGMO_CONVERT;
      gmo.WaitInterval = 60000;
      MQLONG length = 0, cc, rc;
      api_.MQGET(hconn_, reply_, &md, &gmo, static_cast<MQLONG>(buffer_.size()), buffer_.data(), &length, &cc, &rc);
      if (rc == MQRC_TRUNCATED_MSG_FAILED) {
        buffer_.resize(static_cast<size_t>(length) + 4096);
        continue;
      }
      bench::check("MQGET", cc, rc);
      if (static_cast<size_t>(length) < sizeof(MQCFH)) throw std::runtime_error("a reply shorter than its header");
      if (mdOut) *mdOut = md;
      return length;
    }
  }

  bench::MqApi& api_;
  MQHCONN hconn_ = MQHC_UNUSABLE_HCONN;
  MQHOBJ command_ = MQHO_NONE, reply_ = MQHO_NONE;
  std::string replyName_, message_;
  std::vector<char> buffer_;
};

// Defines `queues` queues named <prefix>.Qnnnnnn and puts their messages.
void defineQueues(MqiClient& mqi, const std::string& prefix, long queues) {
  std::vector<std::string> commands;
  commands.reserve(static_cast<size_t>(queues));
  for (long i = 0; i < queues; ++i) commands.push_back(defineText(prefix, i));
  mqi.pipeline(commands, 200);
  for (long i = 0; i < queues; ++i)
    if (messagesFor(i) > 0) mqi.put(queueName(prefix, i), messagesFor(i));
}

// Whether a reply's text is a record kWhere keeps: DESCR starting PAY, MAXDEPTH over 1200.
bool replyKept(std::string_view text) {
  auto value = [&](std::string_view keyword) -> std::string_view {
    for (size_t at = text.find(keyword); at != std::string_view::npos; at = text.find(keyword, at + 1)) {
      if (at > 0 && text[at - 1] != ' ' && text[at - 1] != '\n') continue;
      size_t start = at + keyword.size(), end = text.find(')', start);
      if (end != std::string_view::npos) return text.substr(start, end - start);
    }
    return {};
  };
  return value("DESCR(").substr(0, 3) == "PAY" && std::atol(std::string(value("MAXDEPTH(")).c_str()) > 1200;
}

// --- KVARN's runs -----------------------------------------------------------------------

struct Workload {
  const char* label;
  const char* suffix;        // after the DISPLAY command
  const char* outputOption;  // "" or the -o value
  const char* recordStart;   // how a shown record's first line starts
};
const Workload kWorkloads[] = {
    {"DISPLAY QLOCAL(<prefix>.*) ALL", "", "", "AMQ8409I"},
    {"  =WHERE(...) =SORTD(MAXDEPTH)", kWhere, "", "AMQ8409I"},
    {"  -o json", "", "json", "{\"kind\":\"record\""},
};
constexpr size_t kWorkloadCount = sizeof kWorkloads / sizeof kWorkloads[0];

struct KvarnFigures {
  double wall = 1e9, cpu = 1e9;
  long peakKiB = 0;
  uintmax_t outputBytes = 0;
  size_t shown = 0;
};

struct Binary {
  const char* name;  // "after" or "before"
  std::string path;
};

// Everything measured for one queue count.
struct SizeResult {
  long queues = 0;
  size_t replies = 0, replyBytes = 0, keptRecords = 0, keptBytes = 0;
  double mqiWall = 1e9, mqiCpu = 1e9;
  std::vector<KvarnFigures> kvarn[kWorkloadCount];  // per binary
};

class Bench {
 public:
  Bench(std::string dir, int port, int rounds, std::vector<Binary> binaries)
      : dir_(std::move(dir)), port_(port), rounds_(rounds), binaries_(std::move(binaries)) {}

  bool failed() const { return failed_; }

  SizeResult measure(MqiClient& mqi, const std::string& prefix, long queues) {
    SizeResult r;
    r.queues = queues;
    const std::string display = "DISPLAY QLOCAL(" + prefix + ".*) ALL";
    size_t expectedKept = 0;
    for (long i = 0; i < queues; ++i) expectedKept += keptByWhere(i);
    // An untimed display first: it warms the server and tells which replies =WHERE keeps.
    DisplayFigures survey = mqi.display(display, [&](std::string_view text, size_t bytes) {
      if (!replyKept(text)) return;
      ++r.keptRecords;
      r.keptBytes += bytes;
    });
    r.replies = survey.replies;
    r.replyBytes = survey.bytes;
    if (survey.replies != static_cast<size_t>(queues) || r.keptRecords != expectedKept)
      fail("the MQI display answered %zu replies (%zu kept by =WHERE), not %ld (%zu)", survey.replies, r.keptRecords,
           queues, expectedKept);
    for (auto& perBinary : r.kvarn) perBinary.assign(binaries_.size(), KvarnFigures{});
    std::ofstream(dir_ + "/display.in") << display << "\n";
    std::ofstream(dir_ + "/where.in") << display << kWhere << "\n";
    for (int round = 0; round < rounds_; ++round) {
      DisplayFigures direct = mqi.display(display);
      if (direct.replies != static_cast<size_t>(queues))
        fail("the MQI display answered %zu replies, not %ld", direct.replies, queues);
      r.mqiWall = std::min(r.mqiWall, direct.wall);
      r.mqiCpu = std::min(r.mqiCpu, direct.cpu);
      for (size_t w = 0; w < kWorkloadCount; ++w) {
        // Before and after take turns at going first.
        for (size_t n = 0; n < binaries_.size(); ++n) {
          size_t b = (n + static_cast<size_t>(round)) % binaries_.size();
          size_t expected = kWorkloads[w].suffix[0] ? expectedKept : static_cast<size_t>(queues);
          runKvarn(binaries_[b], kWorkloads[w], expected, r.kvarn[w][b]);
        }
      }
    }
    return r;
  }

 private:
  template <typename... A>
  void fail(const char* format, A... args) {
    std::fprintf(stderr, "bench_filemode: ");
    std::fprintf(stderr, format, args...);
    std::fprintf(stderr, "\n");
    failed_ = true;
  }

  void runKvarn(const Binary& binary, const Workload& w, size_t expected, KvarnFigures& best) {
    // A client connection to the server's port, the reply queue from kReplyModel.
    const std::string conname = "conname(127.0.0.1(" + std::to_string(port_) + "))";
    const std::string input = dir_ + (w.suffix[0] ? "/where.in" : "/display.in");
    std::vector<std::string> args{"-f", "-m", kQmgr, "-l", "-d", conname, "-r", kReplyModel, "-i", input};
    if (w.outputOption[0]) args.insert(args.end(), {"-o", w.outputOption});
    const std::string out = dir_ + "/kvarn.out", err = dir_ + "/kvarn.err";
    ChildRun run = runChild(binary.path, args, out, err);
    best.wall = std::min(best.wall, run.wall);
    best.cpu = std::min(best.cpu, run.cpu);
    best.peakKiB = std::max(best.peakKiB, run.peakKiB);
    best.outputBytes = std::filesystem::file_size(out);
    best.shown = countLines(out, w.recordStart);
    if (run.status != 0 || best.shown != expected)
      fail("%s kvarn, %s: exit code %d, %zu records shown of %zu; output begins:\n%s%s", binary.name,
           w.label + std::strspn(w.label, " "), run.status, best.shown, expected, firstLines(out, 6).c_str(),
           firstLines(err, 6).c_str());
  }

  std::string dir_;
  int port_;
  int rounds_;
  std::vector<Binary> binaries_;
  bool failed_ = false;
};

// --- the report -------------------------------------------------------------------------

// Sizes in MiB throughout: ru_maxrss counts KiB.
double mib(double bytes) { return bytes / 1048576.0; }

void printSize(const SizeResult& r, const std::vector<Binary>& binaries) {
  std::printf("\n%ld queues: one display is %zu replies, %.2f MiB; =WHERE keeps %zu records, %.2f MiB of replies\n",
              r.queues, r.replies, mib(static_cast<double>(r.replyBytes)), r.keptRecords,
              mib(static_cast<double>(r.keptBytes)));
  std::printf("  direct MQI requester (client, read ahead): wall %.3f s, CPU %.3f s\n", r.mqiWall, r.mqiCpu);
  std::printf("  %-32s %-6s %8s %8s %9s %10s %8s %9s %9s\n", "KVARN -f", "build", "CPU s", "wall s", "peak MiB",
              "output MiB", "records", "CPU/MQI", "wall/MQI");
  for (size_t w = 0; w < kWorkloadCount; ++w)
    for (size_t b = 0; b < binaries.size(); ++b) {
      const KvarnFigures& k = r.kvarn[w][b];
      std::printf("  %-32s %-6s %8.3f %8.3f %9.1f %10.1f %8zu %9.1f %9.1f\n", b == 0 ? kWorkloads[w].label : "",
                  binaries[b].name, k.cpu, k.wall, k.peakKiB / 1024.0, mib(static_cast<double>(k.outputBytes)), k.shown,
                  k.cpu / r.mqiCpu, k.wall / r.mqiWall);
    }
}

// The figures the aims speak of, for one queue count and one build.
struct AimFigures {
  double plainCpuPer10k, plainPeakMib, whereCpuRatio, whereGrowthPerKept, wherePeakPerKept, jsonCpuRatio, cpuVsMqi,
      wallVsMqi;
};

AimFigures aimFigures(const SizeResult& r, size_t b) {
  const KvarnFigures &plain = r.kvarn[0][b], &where = r.kvarn[1][b], &json = r.kvarn[2][b];
  const double kept = static_cast<double>(r.keptBytes);
  return {plain.cpu * 10000.0 / static_cast<double>(r.queues),
          plain.peakKiB / 1024.0,
          where.cpu / plain.cpu,
          static_cast<double>(where.peakKiB - plain.peakKiB) * 1024.0 / kept,
          where.peakKiB * 1024.0 / kept,
          json.cpu / plain.cpu,
          plain.cpu / r.mqiCpu,
          plain.wall / r.mqiWall};
}

void printSummary(const std::vector<SizeResult>& results, const std::vector<Binary>& binaries) {
  struct Aim {
    const char* what;
    const char* aim;  // "" for a figure shown for information
    double AimFigures::*figure;
    const char* format;
    bool (*meets)(double);
  };
  const Aim aims[] = {
      {"plain: KVARN CPU per 10,000 records", "<= 0.10 s", &AimFigures::plainCpuPer10k, "%.3f s",
       [](double f) { return f <= 0.10; }},
      {"plain: peak RSS", "< 32 MiB", &AimFigures::plainPeakMib, "%.1f MiB", [](double f) { return f < 32; }},
      {"=WHERE/=SORTD: CPU / plain CPU", "<= 1.10", &AimFigures::whereCpuRatio, "%.2f",
       [](double f) { return f <= 1.10; }},
      {"=WHERE/=SORTD: peak growth over plain / kept bytes", "< 2", &AimFigures::whereGrowthPerKept, "%.2f",
       [](double f) { return f < 2; }},
      {"=WHERE/=SORTD: peak / kept bytes", "", &AimFigures::wherePeakPerKept, "%.2f", nullptr},
      {"JSON: CPU / text CPU", "<= 1.10", &AimFigures::jsonCpuRatio, "%.2f", [](double f) { return f <= 1.10; }},
      {"plain: KVARN CPU / MQI requester CPU", "", &AimFigures::cpuVsMqi, "%.1f", nullptr},
      {"plain: KVARN wall / MQI requester wall", "", &AimFigures::wallVsMqi, "%.1f", nullptr},
  };
  std::printf("\nSummary: the figures beside their aims\n");
  std::printf("  %-52s %-10s", "", "aim");
  for (const Binary& b : binaries) std::printf(" %18s", b.name);
  std::printf("\n");
  for (const SizeResult& r : results) {
    std::printf("  %ld queues\n", r.queues);
    for (const Aim& aim : aims) {
      std::printf("    %-50s %-10s", aim.what, aim.aim);
      for (size_t b = 0; b < binaries.size(); ++b) {
        double f = aimFigures(r, b).*aim.figure;
        char cell[48];
        int n = std::snprintf(cell, sizeof cell, aim.format, f);
        if (aim.meets && n > 0)
          std::snprintf(cell + n, sizeof cell - static_cast<size_t>(n), " %s", aim.meets(f) ? "pass" : "FAIL");
        std::printf(" %18s", cell);
      }
      std::printf("\n");
    }
  }
}

int usage() {
  std::fprintf(stderr, "usage: bench_filemode [queues...]   (default 10000 100000)\n"
                       "  KVARN_BENCH_ROUNDS  rounds of each measurement (default 3)\n"
                       "  KVARN_BENCH_BEFORE  another kvarn executable measured beside this build's\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--measure") == 0) return measureChild(argc, argv);
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) {
    char* end = nullptr;
    long n = std::strtol(argv[i], &end, 10);
    if (*argv[i] == '\0' || *end != '\0' || n < 1 || n > 999999) return usage();
    sizes.push_back(n);
  }
  if (sizes.empty()) sizes = {10000, 100000};
  const char* roundsText = std::getenv("KVARN_BENCH_ROUNDS");
  int rounds = roundsText && *roundsText ? std::atoi(roundsText) : 3;
  if (rounds < 1) return usage();
  std::vector<Binary> binaries{{"after", KVARN_BINARY}};
  if (const char* before = std::getenv("KVARN_BENCH_BEFORE"); before && *before) {
    if (::access(before, X_OK) != 0) {
      std::fprintf(stderr, "bench_filemode: KVARN_BENCH_BEFORE: %s is not an executable\n", before);
      return 2;
    }
    binaries.push_back({"before", before});
  }

  std::string build = BENCH_BUILD_DIR;
  char home[] = "/tmp/kvarn-filemode-bench-XXXXXX";
  if (!::mkdtemp(home)) return 1;
  std::string dir = home;
  ::setenv("KVARN_QMSIM_HOME", (dir + "/qmsim").c_str(), 1);
  ::setenv("KVARNCFG", (dir + "/cfg").c_str(), 1);
  ::setenv("HOME", dir.c_str(), 1);
  // IBM MQ's variables would send KVARN past the simulator's library.
  for (const char* name : {"MQM_DLL_PATH", "MQIC_DLL_PATH", "MQ_INSTALLATION_PATH"}) ::unsetenv(name);
  std::filesystem::create_directories(dir + "/cfg");
  int rc = 0;
  try {
    QmsimServer server(build, dir + "/qmsim");
    bench::MqApi api(build + "/lib/kvarn/libmqic_r.so");
    {
      MqiClient setup(api, server.port());
      setup.openReplies("SYSTEM.DEFAULT.MODEL.QUEUE");
      setup.pipeline({std::string("DEFINE QMODEL(") + kReplyModel + ") DEFTYPE(TEMPDYN) MAXDEPTH(999999999)"}, 1);
    }
    MqiClient requester(api, server.port());
    requester.openReplies(kReplyModel);

    std::printf("KVARN -f against a qmsim server over a client channel (TCP loopback), best of %d rounds\n", rounds);
    for (const Binary& b : binaries) std::printf("  %-6s %s\n", b.name, b.path.c_str());
    Bench bench(dir, server.port(), rounds, binaries);
    std::vector<SizeResult> results;
    for (size_t s = 0; s < sizes.size(); ++s) {
      const std::string prefix = "FM" + std::to_string(s + 1);
      auto t0 = Clock::now();
      defineQueues(requester, prefix, sizes[s]);
      std::printf("\n%ld queues %s.* defined through the MQI with their messages in %.1f s\n", sizes[s], prefix.c_str(),
                  since(t0));
      std::fflush(stdout);
      results.push_back(bench.measure(requester, prefix, sizes[s]));
      printSize(results.back(), binaries);
      std::fflush(stdout);
    }
    printSummary(results, binaries);
    if (bench.failed()) rc = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_filemode: %s\n", e.what());
    rc = 1;
  }
  std::filesystem::remove_all(dir);
  return rc;
}
