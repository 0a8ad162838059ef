// KVARN end to end in file mode, against a qmsim server in server bindings:
//   1. N DEFINE QLOCAL commands read from a file (commands per second);
//   2. DISPLAY QLOCAL(*) ALL over N queues (seconds, KVARN's peak memory), as it is,
//      with the modifiers of an everyday query (=WHERE over the depth and the
//      description, =SORTD), and with -o json, beside the bytes of the replies.
// Beside each, the references measured in the same run: the same MQSC requests put
// straight to the command queue through the MQI and their replies got by correlation
// id, one at a time, which is qmsim's own cost (command server, journal, socket):
// once with the replies got by CorrelId on the requesting connection, once the way
// KVARN gets them (a second connection, read ahead, arrival order).
// KVARN's figure includes starting the program, connecting and writing the output.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mqi/mqi.h"
#include "support/mq_api.h"

extern char** environ;

using kvarn::mqi::setField;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kQmgr = "QMFILEBENCH";
// Both requesters take their reply queues from this model: the default model's
// MAXDEPTH(5000) would lose replies to a display of more queues than that whenever
// the reader fell behind the command server.
const char* const kReplyModel = "BENCH.REPLY.MODEL";

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Half the queues are payroll queues; their maximum depths differ, so a sort has work.
std::string defineText(const char* prefix, long i) {
  char text[160];
  std::snprintf(text, sizeof text, "DEFINE QLOCAL(%s.Q%06ld) MAXDEPTH(%ld) DESCR('%s queue %ld')", prefix, i,
                5000 + (i * 7919) % 95000, i % 2 ? "benchmark" : "PAYROLL", i);
  return text;
}

std::string queueName(const std::string& prefix, long i) {
  char name[64];
  std::snprintf(name, sizeof name, "%s.Q%06ld", prefix.c_str(), i);
  return name;
}

// Every fourth queue holds a message or three.
long messagesFor(long i) { return i % 4 == 0 ? 1 + i % 3 : 0; }

struct ChildRun {
  double seconds = 0;
  long peakKiB = 0;
  int status = -1;
};

// Runs a program with standard output to a file and waits for it.
ChildRun runChild(const std::string& program, std::vector<std::string> args, const std::string& stdoutPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  ChildRun run;
  auto t0 = Clock::now();
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start " + program);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  run.seconds = since(t0);
  run.peakKiB = usage.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// A requester speaking to the command server directly, one request at a time. Either
// the plain way, replies got by CorrelId on the requesting connection; or KVARN's way,
// replies got in arrival order on a second connection from a reply queue opened with
// read ahead (a reader of its own beside the connection that puts the requests).
class RawRequester {
 public:
  RawRequester(bench::MqApi& api, const char* replyModel, bool kvarnsWay = false) : api_(api), kvarnsWay_(kvarnsWay) {
    hconn_ = connect();
    replyHconn_ = kvarnsWay ? connect() : hconn_;
    command_ = bench::openQueue(api_, hconn_, "SYSTEM.ADMIN.COMMAND.QUEUE", MQOO_OUTPUT);
    reply_ = bench::openQueue(api_, replyHconn_, replyModel, MQOO_INPUT_EXCLUSIVE | (kvarnsWay ? MQOO_READ_AHEAD : 0),
                              &replyName_);
    buffer_.resize(65536);
  }
  ~RawRequester() {
    MQLONG cc, rc;
    if (replyHconn_ != hconn_) api_.MQDISC(&replyHconn_, &cc, &rc);
    api_.MQDISC(&hconn_, &cc, &rc);
  }

  // Puts `count` small messages to a queue.
  void put(const std::string& queue, long count) {
    MQHOBJ hobj = bench::openQueue(api_, hconn_, queue, MQOO_OUTPUT);
    char body[] = "bench";
    for (long n = 0; n < count; ++n) {
      MQMD md = kvarn::mqi::defaultMD();
      MQPMO pmo = kvarn::mqi::defaultPMO();
      pmo.Options = MQPMO_NO_SYNCPOINT;
      MQLONG cc, rc;
      api_.MQPUT(hconn_, hobj, &md, &pmo, sizeof body - 1, body, &cc, &rc);
      bench::check("MQPUT", cc, rc);
    }
    MQLONG cc, rc;
    api_.MQCLOSE(hconn_, &hobj, MQCO_NONE, &cc, &rc);
  }

  size_t lastReplyBytes() const { return replyBytes_; }

  // Sends one MQSC command as an escape request; returns the number of replies.
  size_t request(const std::string& mqsc) {
    struct {
      MQCFH h;
      MQCFIN type;
    } head{};
    head.h = {MQCFT_COMMAND, MQCFH_STRUC_LENGTH, MQCFH_VERSION_1, MQCMD_ESCAPE, 1, MQCFC_LAST, 0, 0, 2};
    head.type = {MQCFT_INTEGER, MQCFIN_STRUC_LENGTH, MQIACF_ESCAPE_TYPE, MQET_MQSC};
    MQLONG padded = static_cast<MQLONG>((mqsc.size() + 3) / 4 * 4);
    MQCFST text{MQCFT_STRING, MQCFST_STRUC_LENGTH_FIXED + padded, MQCACF_ESCAPE_TEXT, MQCCSI_DEFAULT,
                static_cast<MQLONG>(mqsc.size())};
    std::string message(reinterpret_cast<const char*>(&head), sizeof head);
    message.append(reinterpret_cast<const char*>(&text), MQCFST_STRUC_LENGTH_FIXED);
    message += mqsc;
    message.append(static_cast<size_t>(padded) - mqsc.size(), ' ');
    MQMD md = kvarn::mqi::defaultMD();
    md.MsgType = MQMT_REQUEST;
    std::memcpy(md.Format, MQFMT_ADMIN, 8);
    setField(md.ReplyToQ, replyName_);
    MQPMO pmo = kvarn::mqi::defaultPMO();
    pmo.Options = MQPMO_NO_SYNCPOINT | MQPMO_NEW_MSG_ID;
    MQLONG cc, rc;
    api_.MQPUT(hconn_, command_, &md, &pmo, static_cast<MQLONG>(message.size()), message.data(), &cc, &rc);
    bench::check("MQPUT", cc, rc);
    size_t replies = 0;
    replyBytes_ = 0;
    for (;;) {
      MQMD want = kvarn::mqi::defaultMD();
      MQGMO gmo = kvarn::mqi::defaultGMO();
      gmo.Options = MQGMO_WAIT | MQGMO_NO_SYNCPOINT | MQGMO_CONVERT;
      if (!kvarnsWay_) {
        std::memcpy(want.CorrelId, md.MsgId, 24);
        gmo.MatchOptions = MQMO_MATCH_CORREL_ID;
        gmo.Version = MQGMO_VERSION_2;
      }
      gmo.WaitInterval = 30000;
      MQLONG length = 0;
      api_.MQGET(replyHconn_, reply_, &want, &gmo, static_cast<MQLONG>(buffer_.size()), buffer_.data(), &length, &cc,
                 &rc);
      if (rc == MQRC_TRUNCATED_MSG_FAILED) {
        buffer_.resize(static_cast<size_t>(length) + 4096);
        continue;
      }
      bench::check("MQGET", cc, rc);
      ++replies;
      replyBytes_ += static_cast<size_t>(length);
      MQCFH reply;
      std::memcpy(&reply, buffer_.data(), sizeof reply);
      if (reply.Control == MQCFC_LAST) return replies;
    }
  }

 private:
  MQHCONN connect() {
    MQCNO cno = kvarn::mqi::defaultCNO();
    char name[48];
    setField(name, kQmgr);
    MQHCONN h;
    MQLONG cc, rc;
    api_.MQCONNX(name, &cno, &h, &cc, &rc);
    bench::check("MQCONNX", cc, rc);
    return h;
  }

  bench::MqApi& api_;
  bool kvarnsWay_;
  MQHCONN hconn_ = MQHC_UNUSABLE_HCONN, replyHconn_ = MQHC_UNUSABLE_HCONN;
  MQHOBJ command_ = MQHO_NONE, reply_ = MQHO_NONE;
  std::string replyName_;
  std::vector<char> buffer_;
  size_t replyBytes_ = 0;
};

size_t countLines(const std::string& path, const char* start) {
  std::ifstream in(path);
  std::string line;
  size_t n = 0, len = std::strlen(start);
  while (std::getline(in, line)) n += line.compare(0, len, start) == 0;
  return n;
}

void runQmsim(const std::string& build, std::vector<std::string> args) {
  ChildRun r = runChild(build + "/bin/qmsim", std::move(args), "/dev/null");
  if (r.status != 0) throw std::runtime_error("qmsim failed");
}

}  // namespace

int main(int argc, char** argv) {
  long queues = argc > 1 ? std::atol(argv[1]) : 10000;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (queues < 1 || rounds < 1) {
    std::fprintf(stderr, "usage: bench_filemode [queues [rounds]]\n");
    return 2;
  }
  std::string build = BENCH_BUILD_DIR;
  char home[] = "/tmp/kvarn-filemode-bench-XXXXXX";
  if (!::mkdtemp(home)) return 1;
  std::string dir = home;
  ::setenv("KVARN_QMSIM_HOME", (dir + "/qmsim").c_str(), 1);
  ::setenv("KVARNCFG", (dir + "/cfg").c_str(), 1);
  ::setenv("HOME", dir.c_str(), 1);
  std::filesystem::create_directories(dir + "/cfg");
  int rc = 0;
  bool started = false;
  try {
    runQmsim(build, {"create", kQmgr});
    runQmsim(build, {"start", kQmgr, "--no-tcp", "--background"});
    started = true;
    bench::MqApi api(build + "/lib/libmqm_r.so");
    RawRequester(api, "SYSTEM.DEFAULT.MODEL.QUEUE")
        .request(std::string("DEFINE QMODEL(") + kReplyModel + ") DEFTYPE(TEMPDYN) MAXDEPTH(999999999)");
    RawRequester oneConnection(api, kReplyModel), twoConnections(api, kReplyModel, true);

    std::printf("KVARN in file mode against a qmsim server (server bindings), %ld queues, best of %d rounds\n", queues,
                rounds);
    // The three are measured in alternating rounds, each defining a fresh set of queues,
    // so that all see the same machine and, over the rounds, queue managers of the
    // same sizes.
    struct Best {
      double define = 1e9, display = 1e9;
    } direct1, direct2, kvarn;
    // KVARN's displays of its own queues: as they are, with modifiers, as JSON.
    struct Display {
      const char* label;
      std::vector<std::string> args;
      std::string suffix;
      const char* recordStart;
      double seconds = 1e9;
      long peakKiB = 0;
      size_t outputBytes = 0;
    } displays[] = {
        {"DISPLAY QLOCAL(*) ALL", {}, "", "AMQ8409I"},
        {"  =WHERE(CURDEPTH > 0 AND DESCR LK 'PAY*') =SORTD(MAXDEPTH)",
         {},
         " =WHERE(CURDEPTH > 0 AND DESCR LK 'PAY*') =SORTD(MAXDEPTH)",
         "AMQ8409I"},
        {"  -o json", {"-o", "json"}, "", "{\"kind\":\"record\""},
    };
    size_t replyBytes = 0;
    auto directRound = [&](RawRequester& raw, const std::string& prefix, Best& best) {
      auto t0 = Clock::now();
      for (long i = 0; i < queues; ++i) raw.request(defineText(prefix.c_str(), i));
      best.define = std::min(best.define, since(t0));
      t0 = Clock::now();
      size_t replies = raw.request("DISPLAY QLOCAL(" + prefix + ".Q*) ALL");
      best.display = std::min(best.display, since(t0));
      return replies == static_cast<size_t>(queues);
    };
    auto kvarnRound = [&](const std::string& prefix) {
      std::ofstream(dir + "/define.in") << [&] {
        std::string all;
        for (long i = 0; i < queues; ++i) all += defineText(prefix.c_str(), i) + "\n";
        return all;
      }();
      ChildRun define =
          runChild(KVARN_BINARY, {"-f", "-m", kQmgr, "-r", kReplyModel, "-i", dir + "/define.in"}, dir + "/define.out");
      kvarn.define = std::min(kvarn.define, define.seconds);
      size_t created = countLines(dir + "/define.out", "AMQ8006I");
      long matching = 0;
      for (long i = 0; i < queues; ++i) {
        if (messagesFor(i) > 0) oneConnection.put(queueName(prefix, i), messagesFor(i));
        matching += messagesFor(i) > 0 && i % 2 == 0;
      }
      twoConnections.request("DISPLAY QLOCAL(" + prefix + ".Q*) ALL");
      replyBytes = twoConnections.lastReplyBytes();
      bool ok = define.status == 0 && created == static_cast<size_t>(queues);
      for (Display& d : displays) {
        std::ofstream(dir + "/display.in") << "DISPLAY QLOCAL(" << prefix << ".Q*) ALL" << d.suffix << "\n";
        std::vector<std::string> args{"-f", "-m", kQmgr, "-r", kReplyModel, "-i", dir + "/display.in"};
        args.insert(args.end(), d.args.begin(), d.args.end());
        ChildRun display = runChild(KVARN_BINARY, args, dir + "/display.out");
        d.seconds = std::min(d.seconds, display.seconds);
        d.peakKiB = std::max(d.peakKiB, display.peakKiB);
        d.outputBytes = std::filesystem::file_size(dir + "/display.out");
        size_t shown = countLines(dir + "/display.out", d.recordStart);
        size_t expected = static_cast<size_t>(d.suffix.empty() ? queues : matching);
        if (display.status != 0 || shown != expected) {
          std::fprintf(stderr, "bench_filemode: %s exits %d, %zu of %zu shown\n", d.label, display.status, shown,
                       expected);
          ok = false;
        }
      }
      if (!ok) std::fprintf(stderr, "bench_filemode: KVARN exits %d, %zu created\n", define.status, created);
      return ok;
    };
    for (int round = 0; round < rounds; ++round) {
      // The queue manager grows with every set defined: the order turns each round.
      std::string tag = std::to_string(round);
      for (int step = 0; step < 3; ++step) {
        bool ok = true;
        switch ((round + step) % 3) {
        case 0: ok = directRound(oneConnection, "RAW" + tag, direct1); break;
        case 1: ok = directRound(twoConnections, "RAWB" + tag, direct2); break;
        default: ok = kvarnRound("KV" + tag); break;
        }
        if (!ok) {
          std::fprintf(stderr, "bench_filemode: round %d step %d incomplete\n", round, step);
          rc = 1;
        }
      }
    }
    kvarn.display = displays[0].seconds;
    std::printf("                        direct, plain way    direct, KVARN's way      KVARN -f   "
                "KVARN time / direct (plain, KVARN's way)\n");
    std::printf("DEFINE QLOCAL           %14.0f /s   %16.0f /s   %10.0f /s   %.2f  %.2f\n", queues / direct1.define,
                queues / direct2.define, queues / kvarn.define, kvarn.define / direct1.define,
                kvarn.define / direct2.define);
    std::printf("DISPLAY QLOCAL(*) ALL   %14.3f s    %16.3f s    %10.3f s    %.2f  %.2f\n", direct1.display,
                direct2.display, kvarn.display, kvarn.display / direct1.display, kvarn.display / direct2.display);
    const double replyMb = static_cast<double>(replyBytes) / 1e6;
    std::printf("\nKVARN -f, whole run, replies of one display %.1f MB\n", replyMb);
    std::printf("%-62s %8s %10s %10s %15s %12s\n", "", "seconds", "output MB", "peak MB", "peak / replies",
                "vs DISPLAY");
    for (const Display& d : displays)
      std::printf("%-62s %8.3f %10.1f %10.1f %15.2f %12.2f\n", d.label, d.seconds, d.outputBytes / 1e6,
                  d.peakKiB / 1024.0, d.peakKiB / 1024.0 / replyMb, d.seconds / displays[0].seconds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_filemode: %s\n", e.what());
    rc = 1;
  }
  if (started) runChild(build + "/bin/qmsim", {"stop", kQmgr}, "/dev/null");
  std::filesystem::remove_all(dir);
  return rc;
}
