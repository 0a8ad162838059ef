// Request/reply round trips as KVARN makes them: put a request on one queue, a
// responder gets it and puts the reply, correlated by the request's message id, on
// a dynamic reply queue, and the requester gets the reply by correlation id. Measured
// in server bindings and over TCP on loopback, beside a reference: the same hand-off
// between two threads through a mutex and condition variable, in this process.
#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
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

struct Figures {
  double perSecond = 0;
  double p50 = 0, p90 = 0, p99 = 0;  // microseconds
};

Figures summarise(std::vector<double>& micros, double seconds) {
  std::sort(micros.begin(), micros.end());
  auto at = [&](double q) { return micros[static_cast<size_t>(q * static_cast<double>(micros.size() - 1))]; };
  return {static_cast<double>(micros.size()) / seconds, at(0.50), at(0.90), at(0.99)};
}

// --- reference: two threads and two in-memory queues ---------------------------------
struct HandOff {
  std::mutex mu;
  std::condition_variable cv;
  std::deque<std::string> items;
  void push(std::string s) {
    {
      std::lock_guard lk(mu);
      items.push_back(std::move(s));
    }
    cv.notify_one();
  }
  std::string pop() {
    std::unique_lock lk(mu);
    cv.wait(lk, [&] { return !items.empty(); });
    std::string s = std::move(items.front());
    items.pop_front();
    return s;
  }
};

Figures referenceRun(int rounds) {
  HandOff requests, replies;
  std::thread responder([&] {
    for (int i = 0; i < rounds; ++i) replies.push("reply to " + requests.pop());
  });
  std::vector<double> micros;
  auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    auto t0 = Clock::now();
    requests.push("request " + std::to_string(i));
    replies.pop();
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  responder.join();
  return summarise(micros, seconds);
}

// --- qmsim through the MQI ---------------------------------------------------------------
using Api = bench::MqApi;
using bench::check;
using bench::openQueue;

MQHCONN connect(Api& api, int port) {
  MQCNO cno = kvarn::mqi::defaultCNO();
  MQCD cd = kvarn::mqi::defaultClientConnCD();
  if (port) {
    setField(cd.ChannelName, "SYSTEM.DEF.SVRCONN");
    setField(cd.ConnectionName, "127.0.0.1(" + std::to_string(port) + ")");
    cno.Version = MQCNO_VERSION_2;
    cno.ClientConnPtr = &cd;
  }
  char name[48];
  setField(name, port ? "" : "QMBENCH");  // over TCP: whichever the server hosts
  MQHCONN h;
  MQLONG cc, rc;
  api.MQCONNX(name, &cno, &h, &cc, &rc);
  check("MQCONNX", cc, rc);
  return h;
}

Figures mqRun(Api& api, int port, int rounds) {
  const char* requestQueue = "SYSTEM.DEFAULT.LOCAL.QUEUE";
  MQHCONN requester = connect(api, port);
  std::string replyQueue;
  MQHOBJ replyIn =
      openQueue(api, requester, "SYSTEM.DEFAULT.MODEL.QUEUE", MQOO_INPUT_EXCLUSIVE | MQOO_READ_AHEAD, &replyQueue);
  MQHOBJ requestOut = openQueue(api, requester, requestQueue, MQOO_OUTPUT);

  std::thread responder([&] {
    MQHCONN h = connect(api, port);
    MQHOBJ in = openQueue(api, h, requestQueue, MQOO_INPUT_SHARED);
    MQHOBJ out = openQueue(api, h, replyQueue, MQOO_OUTPUT);
    std::vector<char> buffer(4096);
    for (int i = 0; i < rounds; ++i) {
      MQMD md = kvarn::mqi::defaultMD();
      MQGMO gmo = kvarn::mqi::defaultGMO();
      gmo.Options = MQGMO_WAIT | MQGMO_NO_SYNCPOINT;
      gmo.WaitInterval = 10000;
      MQLONG len, cc, rc;
      api.MQGET(h, in, &md, &gmo, static_cast<MQLONG>(buffer.size()), buffer.data(), &len, &cc, &rc);
      check("responder MQGET", cc, rc);
      MQMD reply = kvarn::mqi::defaultMD();
      reply.MsgType = MQMT_REPLY;
      std::memcpy(reply.CorrelId, md.MsgId, 24);
      std::memcpy(reply.Format, MQFMT_ADMIN, 8);
      MQPMO pmo = kvarn::mqi::defaultPMO();
      pmo.Options = MQPMO_NO_SYNCPOINT;
      char text[] = "AMQ8409I: Display Queue details.   QUEUE(SYSTEM.DEFAULT.LOCAL.QUEUE) CURDEPTH(0)";
      api.MQPUT(h, out, &reply, &pmo, sizeof text - 1, text, &cc, &rc);
      check("responder MQPUT", cc, rc);
    }
    MQLONG cc, rc;
    api.MQDISC(&h, &cc, &rc);
  });

  std::vector<double> micros;
  std::vector<char> buffer(4096);
  auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    auto t0 = Clock::now();
    MQMD md = kvarn::mqi::defaultMD();
    md.MsgType = MQMT_REQUEST;
    std::memcpy(md.Format, MQFMT_STRING, 8);
    char id[32];
    std::snprintf(id, sizeof id, "KVARNBENCH%014d", i);
    std::memcpy(md.MsgId, id, 24);
    setField(md.ReplyToQ, replyQueue);
    MQPMO pmo = kvarn::mqi::defaultPMO();
    pmo.Options = MQPMO_NO_SYNCPOINT | MQPMO_FAIL_IF_QUIESCING;
    char text[] = "DISPLAY QLOCAL(SYSTEM.DEFAULT.LOCAL.QUEUE) CURDEPTH";
    MQLONG cc, rc, len;
    api.MQPUT(requester, requestOut, &md, &pmo, sizeof text - 1, text, &cc, &rc);
    check("MQPUT", cc, rc);
    MQMD want = kvarn::mqi::defaultMD();
    std::memcpy(want.CorrelId, md.MsgId, 24);
    MQGMO gmo = kvarn::mqi::defaultGMO();
    gmo.Options = MQGMO_WAIT | MQGMO_NO_SYNCPOINT | MQGMO_FAIL_IF_QUIESCING | MQGMO_CONVERT;
    gmo.WaitInterval = 10000;
    api.MQGET(requester, replyIn, &want, &gmo, static_cast<MQLONG>(buffer.size()) - 1, buffer.data(), &len, &cc, &rc);
    check("MQGET", cc, rc);
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  responder.join();
  MQLONG cc, rc;
  api.MQDISC(&requester, &cc, &rc);
  return summarise(micros, seconds);
}

int runProgram(const std::string& program, std::vector<std::string> args, pid_t* background = nullptr,
               int* port = nullptr) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
    throw std::runtime_error("cannot start " + program);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  std::string out;
  char c;
  while (::read(fds[0], &c, 1) == 1) {
    out += c;
    if (background && c == '\n' && out.find(" port ") != std::string::npos) break;
  }
  ::close(fds[0]);
  if (background) {
    *background = pid;
    *port = std::atoi(out.c_str() + out.find(" port ") + 6);
    return 0;
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void print(const char* name, const Figures& f, const Figures& ref) {
  std::printf("%-34s %10.0f round trips/s  p50 %8.1f us  p90 %8.1f us  p99 %8.1f us  (%.1fx the reference time)\n",
              name, f.perSecond, f.p50, f.p90, f.p99, ref.perSecond / f.perSecond);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 5000;
  if (rounds < 10) {
    std::fprintf(stderr, "usage: bench_qmsim [round trips, at least 10]\n");
    return 2;
  }
  std::string build = QMSIM_BENCH_BUILD_DIR;
  char home[] = "/tmp/qmsim-bench-XXXXXX";
  if (!::mkdtemp(home)) return 1;
  ::setenv("KVARN_QMSIM_HOME", home, 1);
  ::signal(SIGPIPE, SIG_IGN);
  int rc = 0;
  pid_t server = -1;
  try {
    std::printf("qmsim request/reply, %d round trips each\n", rounds);
    Figures ref = referenceRun(rounds);
    print("reference: two-thread hand-off", ref, ref);
    Api serverApi(build + "/lib/kvarn/libmqm_r.so");
    print("server bindings (in process)", mqRun(serverApi, 0, rounds), ref);
    // Client bindings reach a queue manager in a qmsim server process.
    if (runProgram(build + "/bin/qmsim", {"create", "QMBENCH2"}) != 0) throw std::runtime_error("qmsim create failed");
    int port = 0;
    runProgram(build + "/bin/qmsim", {"start", "QMBENCH2", "--port", "0"}, &server, &port);
    Api clientApi(build + "/lib/kvarn/libmqic_r.so");
    print("client bindings (TCP loopback)", mqRun(clientApi, port, rounds), ref);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_qmsim: %s\n", e.what());
    rc = 1;
  }
  if (server > 0) {
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
  }
  std::filesystem::remove_all(home);
  return rc;
}
