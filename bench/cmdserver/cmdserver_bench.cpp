// Measures the command server's request handling without the transport: DEFINE
// requests per second and the time to produce every reply of DISPLAY QLOCAL(*) ALL
// over N queues, beside the part-1 reference, a put and get round trip on the
// engine, measured in the same run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cmdserver/command_server.h"
#include "cmdserver/pcf.h"

using namespace qmsim;
using namespace qmsim::cmdserver;
using Clock = std::chrono::steady_clock;

namespace {

std::string escape(const std::string& text) {
  return PcfWriter(MQCFT_COMMAND, 1, MQCMD_ESCAPE, 1, true, 0, 0)
      .integer(MQIACF_ESCAPE_TYPE, MQET_MQSC)
      .string(MQCACF_ESCAPE_TEXT, text)
      .finish();
}

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

}  // namespace

int main(int argc, char** argv) {
  long queues = argc > 1 ? std::atol(argv[1]) : 10000;
  if (queues < 1) queues = 10000;
  std::string error;
  auto qm = QueueManager::open("BENCH", "", error);  // in memory: measures the server, not the disk
  if (!qm) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  RuntimeState state;
  MQMD md = kvarn::mqi::defaultMD();
  md.MsgType = MQMT_REQUEST;
  std::memcpy(md.Format, MQFMT_ADMIN, 8);

  // Reference: put and get of one small message on the engine.
  ConnId conn = 0;
  qm->connect({"bench", "bench", "", ""}, conn);
  MQOD od = kvarn::mqi::defaultOD();
  kvarn::mqi::setField(od.ObjectName, "SYSTEM.DEFAULT.LOCAL.QUEUE");
  MQHOBJ h = MQHO_NONE;
  qm->open(conn, od, MQOO_OUTPUT | MQOO_INPUT_SHARED, h);
  const long rounds = 100000;
  auto t0 = Clock::now();
  char buffer[64];
  for (long i = 0; i < rounds; ++i) {
    MQMD pmd = kvarn::mqi::defaultMD();
    MQPMO pmo = kvarn::mqi::defaultPMO();
    qm->put(conn, h, pmd, pmo, "ping");
    MQMD gmd = kvarn::mqi::defaultMD();
    MQGMO gmo = kvarn::mqi::defaultGMO();
    MQLONG length = 0;
    qm->get(conn, h, gmd, gmo, sizeof buffer, buffer, length);
  }
  double refRate = rounds / seconds(t0);

  t0 = Clock::now();
  for (long i = 0; i < queues; ++i) {
    char text[96];
    std::snprintf(text, sizeof text, "DEFINE QLOCAL(BENCH.Q%06ld) MAXDEPTH(1000) DESCR('queue %ld')", i, i);
    handleRequest(*qm, state, md, escape(text), false);
  }
  double defineRate = queues / seconds(t0);

  t0 = Clock::now();
  auto replies = handleRequest(*qm, state, md, escape("DISPLAY QLOCAL(BENCH.Q*) ALL"), false);
  double displayTime = seconds(t0);
  size_t bytes = 0;
  for (const auto& r : replies) bytes += r.data.size();

  std::printf("engine put+get round trips (reference): %10.0f per second\n", refRate);
  std::printf("DEFINE QLOCAL requests:                 %10.0f per second (%.3f of the reference rate)\n", defineRate,
              defineRate / refRate);
  std::printf("DISPLAY QLOCAL(*) ALL over %ld queues:  %10.3f s for %zu replies, %zu bytes (%.1f round trips' time per "
              "reply)\n",
              queues, displayTime, replies.size(), bytes, displayTime / replies.size() * refRate);
  qm->disconnect(conn);
  qm->stop();
  return replies.size() == static_cast<size_t>(queues) ? 0 : 1;
}
