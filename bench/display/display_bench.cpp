// The cost of laying out a large DISPLAY: a DISPLAY QLOCAL(*) ALL command record of
// 10,000 records, fed as the distributed command server sends it (one escape reply per
// record, attributes two to a line), is completed through the display layout into an
// output buffer writing to /dev/null. The reference, measured in the same run, is the
// same record completed with its lines written as received. Feeding the replies is not
// timed: only the completion, which runs the filters, the sort and the layout.
//
// Each case also reports the peak of the memory the command took, from its first reply
// to the end of its layout (counted memory: every allocation of the program), beside
// the bytes of the replies themselves; and JSON output is measured beside the text
// layout of the same record.
#include <algorithm>
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
#include "runtime/memory.h"

namespace {

// The attributes of one local queue as DISPLAY QLOCAL ALL returns them.
std::vector<std::string> queueAttributes(int i) {
  const std::string n = std::to_string(i);
  return {"QUEUE(APP.BENCH.QUEUE." + n + ")",
          "TYPE(QLOCAL)",
          "ACCTQ(QMGR)",
          "ALTDATE(2026-03-14)",
          "ALTTIME(10.15." + std::to_string(10 + i % 50) + ")",
          "BOQNAME( )",
          "BOTHRESH(0)",
          "CLUSNL( )",
          "CLUSTER( )",
          "CLCHNAME( )",
          "CLWLPRTY(0)",
          "CLWLRANK(0)",
          "CLWLUSEQ(QMGR)",
          "CRDATE(2026-01-02)",
          "CRTIME(08.00.00)",
          "CURDEPTH(" + std::to_string(i % 5 == 0 ? 0 : (i * 37) % 1000) + ")",
          "CUSTOM( )",
          "DEFBIND(OPEN)",
          "DEFPRTY(0)",
          "DEFPSIST(NO)",
          "DEFPRESP(SYNC)",
          "DEFREADA(NO)",
          "DEFSOPT(SHARED)",
          "DEFTYPE(PREDEFINED)",
          std::string(i % 2 ? "DESCR(Benchmark queue " : "DESCR(PAYROLL queue ") + n + ")",
          "DISTL(NO)",
          "GET(ENABLED)",
          "HARDENBO",
          "IMGRCOVQ(QMGR)",
          "INITQ( )",
          "IPPROCS(" + std::to_string(i % 3) + ")",
          "MAXDEPTH(" + std::to_string(5000 + (i * 7919) % 95000) + ")",
          "MAXMSGL(4194304)",
          "MAXFSIZE(DEFAULT)",
          "MONQ(QMGR)",
          "MSGDLVSQ(PRIORITY)",
          "NOTRIGGER",
          "NPMCLASS(NORMAL)",
          "OPPROCS(" + std::to_string(i % 2) + ")",
          "PROCESS( )",
          "PUT(ENABLED)",
          "PROPCTL(COMPAT)",
          "QDEPTHHI(80)",
          "QDEPTHLO(20)",
          "QDPHIEV(DISABLED)",
          "QDPLOEV(DISABLED)",
          "QDPMAXEV(ENABLED)",
          "QSVCIEV(NONE)",
          "QSVCINT(999999999)",
          "RETINTVL(999999999)",
          "SCOPE(QMGR)",
          "SHARE",
          "STATQ(QMGR)",
          "STREAMQ( )",
          "STRMQOS(BESTEF)",
          "TRIGDATA( )",
          "TRIGDPTH(1)",
          "TRIGMPRI(0)",
          "TRIGTYPE(FIRST)",
          "USAGE(NORMAL)"};
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
  std::vector<std::vector<uint8_t>> replies;  // all but the last carry MQCFC_NOT_LAST

  Bench(int records, FILE *sink) {
    ctx.displayLock.create();
    ctx.consoleLock.create();
    ctx.mode |= kModeFile;
    ctx.outputWidth = 132;
    ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, sink, sink);
    ctx.output->followSettings(ctx.settings);
    target.platform = MQPL_UNIX;
    target.commandLevel = 940;
    std::memcpy(md.Format, MQFMT_ADMIN, 8);
    InitialiseCommandFields();
    for (int i = 0; i < records; ++i) {
      auto item = qmsim::cmdserver::detailRecord("AMQ8409I: Display Queue details.", queueAttributes(i));
      replies.push_back(escapeReply(qmsim::cmdserver::layoutDistributed(item), i + 1 == records));
    }
  }

  size_t replyBytes() const {
    size_t bytes = 0;
    for (const auto &r : replies) bytes += r.size();
    return bytes;
  }

  struct Figures {
    double seconds = 0;     // the completion: filters, sort and layout
    int64_t peakBytes = 0;  // memory the command took at its peak, replies decoded and laid out
  };

  // Prepares and feeds the command untimed, then times its completion.
  Figures run(const std::string &command, bool layout) {
    MqscHost host = displayMqscHost();
    if (!layout) host.layout = nullptr;
    mqscSetHost(host);
    Figures figures;
    const int64_t baseline = CSMemoryCounters64().bytesInUse;
    CSMemoryResetHighWater();
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
    completeCommandRecord(ctx, record);  // already complete: does nothing
    ctx.output->flush();
    const auto end = std::chrono::steady_clock::now();
    if (!record.complete()) {
      std::fprintf(stderr, "%s: record not completed\n", command.c_str());
      std::exit(1);
    }
    figures.seconds = std::chrono::duration<double>(end - start).count();
    figures.peakBytes = CSMemoryCounters64().highWater - baseline;
    return figures;
  }

  // The best time and the largest peak of `repeats` runs.
  Figures best(const std::string &command, bool layout, int repeats) {
    Figures best;
    for (int r = 0; r < repeats; ++r) {
      const Figures f = run(command, layout);
      if (best.seconds == 0 || f.seconds < best.seconds) best.seconds = f.seconds;
      best.peakBytes = std::max(best.peakBytes, f.peakBytes);
    }
    return best;
  }
};

double mb(int64_t bytes) { return static_cast<double>(bytes) / 1e6; }

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
  const std::string modifiers = " =WHERE(CURDEPTH > 0 AND DESCR LK 'PAY*') =SORTD(MAXDEPTH)";
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
  const double replyMb = mb(static_cast<int64_t>(bench.replyBytes()));
  std::printf("DISPLAY QLOCAL(*) ALL, %d records of %zu attributes, best of %d, output width %d, replies %.1f MB\n",
              records, queueAttributes(0).size(), repeats, static_cast<int>(bench.ctx.outputWidth), replyMb);
  const Bench::Figures asReceived = bench.best(command, false, repeats);
  auto rate = [&](const Bench::Figures &f) { return records / f.seconds; };
  for (const Case &c : cases) {
    bench.ctx.settings.colstyle = c.colstyle;
    const Bench::Figures laidOut = bench.best(command + c.clause, true, repeats);
    std::printf("%-32s %10.0f records/s   reference as received %10.0f records/s   ratio %.2f\n", c.label,
                rate(laidOut), rate(asReceived), asReceived.seconds > 0 ? laidOut.seconds / asReceived.seconds : 0);
  }

  // The display with the modifiers of an everyday query, beside the same display without
  // them and beside the replies: seconds of the layout, and the command's peak memory;
  // and JSON output beside the text layout. The three alternate within each round, so
  // that all see the same machine.
  bench.ctx.settings.colstyle = 0;
  Bench::Figures plain, modified, json;
  auto keepBest = [](Bench::Figures &best, const Bench::Figures &f) {
    if (best.seconds == 0 || f.seconds < best.seconds) best.seconds = f.seconds;
    best.peakBytes = std::max(best.peakBytes, f.peakBytes);
  };
  for (int r = 0; r < repeats; ++r) {
    keepBest(plain, bench.run(command, true));
    keepBest(modified, bench.run(command + modifiers, true));
    bench.ctx.settings.outformat = kOutputJson;
    keepBest(json, bench.run(command, true));
    bench.ctx.settings.outformat = kOutputText;
  }
  std::printf("\n%-58s %8s %12s %16s\n", "layout alone (auto columns)", "seconds", "peak MB", "peak / replies");
  auto row = [&](const std::string &label, const Bench::Figures &f) {
    std::printf("%-58s %8.3f %12.1f %16.2f", label.c_str(), f.seconds, mb(f.peakBytes), mb(f.peakBytes) / replyMb);
  };
  row(command, plain);
  std::printf("\n");
  row(command + modifiers, modified);
  std::printf("   modifiers / plain %.2f\n", modified.seconds / plain.seconds);
  row(command + " (-o json)", json);
  std::printf("   JSON / text %.2f\n", json.seconds / plain.seconds);
  std::fclose(sink);
  return 0;
}
