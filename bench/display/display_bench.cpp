// The cost of laying out a large DISPLAY: a DISPLAY QLOCAL(*) ALL command record of
// 10,000 records, fed as the distributed command server sends it (one escape reply per
// record, attributes two to a line), is completed through the display layout into an
// output buffer writing to /dev/null. The reference, measured in the same run, is the
// same record completed with its lines written as received. Feeding the replies is not
// timed: only the completion, which runs the filters, the sort and the layout.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cmdserver/response.h"
#include "context/context.h"
#include "context/output.h"
#include "context/settings.h"
#include "display/layout.h"
#include "mqi/mqi.h"
#include "mqsc/command_record.h"
#include "mqsc/pcf_message.h"
#include "mqsc/request.h"
#include "mqsc/response.h"

namespace {

// The attributes of one local queue as DISPLAY QLOCAL ALL returns them.
std::vector<std::string> queueAttributes(int i) {
  const std::string n = std::to_string(i);
  return {"QUEUE(APP.BENCH.QUEUE." + n + ")", "TYPE(QLOCAL)", "ACCTQ(QMGR)", "ALTDATE(2026-03-14)",
          "ALTTIME(10.15." + std::to_string(10 + i % 50) + ")", "BOQNAME( )", "BOTHRESH(0)", "CLUSNL( )",
          "CLUSTER( )", "CLCHNAME( )", "CLWLPRTY(0)", "CLWLRANK(0)", "CLWLUSEQ(QMGR)", "CRDATE(2026-01-02)",
          "CRTIME(08.00.00)", "CURDEPTH(" + std::to_string(i % 5 == 0 ? 0 : (i * 37) % 1000) + ")", "CUSTOM( )",
          "DEFBIND(OPEN)", "DEFPRTY(0)", "DEFPSIST(NO)", "DEFPRESP(SYNC)", "DEFREADA(NO)", "DEFSOPT(SHARED)",
          "DEFTYPE(PREDEFINED)", "DESCR(Benchmark queue " + n + ")", "DISTL(NO)", "GET(ENABLED)", "HARDENBO",
          "IMGRCOVQ(QMGR)", "INITQ( )", "IPPROCS(" + std::to_string(i % 3) + ")",
          "MAXDEPTH(" + std::to_string(5000 + (i * 7919) % 95000) + ")", "MAXMSGL(4194304)", "MAXFSIZE(DEFAULT)",
          "MONQ(QMGR)", "MSGDLVSQ(PRIORITY)", "NOTRIGGER", "NPMCLASS(NORMAL)", "OPPROCS(" + std::to_string(i % 2) + ")",
          "PROCESS( )", "PUT(ENABLED)", "PROPCTL(COMPAT)", "QDEPTHHI(80)", "QDEPTHLO(20)", "QDPHIEV(DISABLED)",
          "QDPLOEV(DISABLED)", "QDPMAXEV(ENABLED)", "QSVCIEV(NONE)", "QSVCINT(999999999)", "RETINTVL(999999999)",
          "SCOPE(QMGR)", "SHARE", "STATQ(QMGR)", "STREAMQ( )", "STRMQOS(BESTEF)", "TRIGDATA( )", "TRIGDPTH(1)",
          "TRIGMPRI(0)", "TRIGTYPE(FIRST)", "USAGE(NORMAL)"};
}

// One escape reply carrying `text`, as the command server answers.
std::vector<uint8_t> escapeReply(const std::string &text, bool last) {
  std::vector<uint8_t> bytes =
      PcfBuilder(MQCMD_ESCAPE).addInteger(MQIACF_ESCAPE_TYPE, MQET_MQSC).addString(MQCACF_ESCAPE_TEXT, text).take();
  MQCFH h;
  std::memcpy(&h, bytes.data(), sizeof h);
  h.Type = MQCFT_RESPONSE;
  h.Control = last ? MQCFC_LAST : MQCFC_NOT_LAST;
  std::memcpy(bytes.data(), &h, sizeof h);
  return bytes;
}

struct Bench {
  ProgramContext ctx;
  MqscTarget target;
  MQMD md = kvarn::mqi::defaultMD();
  std::vector<std::vector<uint8_t>> replies;   // all but the last carry MQCFC_NOT_LAST

  Bench(int records, FILE *sink) {
    ctx.displayLock.create();
    ctx.consoleLock.create();
    ctx.mode |= kModeFile;
    ctx.outputWidth = 132;
    ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, sink, sink);
    target.platform = MQPL_UNIX;
    target.commandLevel = 940;
    std::memcpy(md.Format, MQFMT_ADMIN, 8);
    InitialiseCommandFields();
    for (int i = 0; i < records; ++i) {
      auto item = qmsim::cmdserver::detailRecord("AMQ8409I: Display Queue details.", queueAttributes(i));
      replies.push_back(escapeReply(qmsim::cmdserver::layoutDistributed(item), i + 1 == records));
    }
  }

  // Prepares and feeds the command untimed, then times its completion: seconds.
  double run(const std::string &command, bool layout) {
    installDisplay();
    if (!layout) setCommandLayout({});
    CommandRecord record;
    record.commandText = command;
    std::string text = command;
    if (prepareMqscCommand(ctx, target, record, text, nullptr).outcome != PrepareOutcome::Send) {
      std::fprintf(stderr, "%s: not sent\n", command.c_str());
      std::exit(1);
    }
    // The last reply completes the record, so it is the one timed.
    for (size_t i = 0; i + 1 < replies.size(); ++i)
      handleMqscResponse(ctx, record, target, md, replies[i].data(), replies[i].size());
    const auto start = std::chrono::steady_clock::now();
    handleMqscResponse(ctx, record, target, md, replies.back().data(), replies.back().size());
    completeCommandRecord(ctx, record);   // already complete: does nothing
    ctx.output->flush();
    const auto end = std::chrono::steady_clock::now();
    if (!record.complete()) {
      std::fprintf(stderr, "%s: record not completed\n", command.c_str());
      std::exit(1);
    }
    return std::chrono::duration<double>(end - start).count();
  }

  // The best of `repeats` runs, in records per second.
  double rate(const std::string &command, bool layout, int repeats) {
    double best = 0;
    for (int r = 0; r < repeats; ++r) {
      const double seconds = run(command, layout);
      if (best == 0 || seconds < best) best = seconds;
    }
    return static_cast<double>(replies.size()) / best;
  }
};

}  // namespace

int main(int argc, char **argv) {
  const int records = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
  if (records < 1 || repeats < 1) {
    std::fprintf(stderr, "usage: bench_display [records >= 1] [repeats >= 1]\n");
    return 2;
  }
  FILE *sink = std::fopen("/dev/null", "w");
  if (!sink) {
    std::perror("/dev/null");
    return 1;
  }
  Bench bench(records, sink);
  const std::string command = "DISPLAY QLOCAL(*) ALL";
  struct Case {
    const char *label;
    const char *clause;
    int colstyle;
  } cases[] = {
      {"content columns", "", 2},
      {"fixed columns", "", 1},
      {"content, =WHERE(CURDEPTH > 0)", " =WHERE(CURDEPTH > 0)", 2},
      {"content, =SORT(MAXDEPTH)", " =SORT(MAXDEPTH)", 2},
  };
  std::printf("DISPLAY QLOCAL(*) ALL, %d records of %zu attributes, best of %d, output width %d\n", records,
              queueAttributes(0).size(), repeats, static_cast<int>(bench.ctx.outputWidth));
  for (const Case &c : cases) {
    bench.ctx.settings.colstyle = c.colstyle;
    const double laidOut = bench.rate(command + c.clause, true, repeats);
    const double asReceived = bench.rate(command, false, repeats);
    std::printf("%-32s %10.0f records/s   reference as received %10.0f records/s   ratio %.2f\n", c.label, laidOut,
                asReceived, asReceived / laidOut);
  }
  std::fclose(sink);
  return 0;
}
