#include "transport/worker.h"

#include <unistd.h>

#include <string>

#include "context/context.h"
#include "context/output.h"
#include "mqsc/command_record.h"
#include "mqsc/request.h"
#include "runtime/signals.h"
#include "transport/connect.h"
#include "transport/connection.h"
#include "transport/exchange.h"
#include "transport/worker_commands.h"

namespace {

// The namelist round trip of a command being prepared, on the worker thread.
class WorkerExchange : public MqscExchange {
 public:
  WorkerExchange(ProgramContext &ctx, Connection &conn, uint32_t seq) : ctx_(ctx), conn_(conn), seq_(seq) {}
  bool inquire(const PreparedRequest &request,
               const std::function<bool(const MQMD &, const uint8_t *, size_t)> &onReply) override {
    return awaitReply(ctx_, conn_, seq_, request, onReply, conn_.waitSeconds);
  }

 private:
  ProgramContext &ctx_;
  Connection &conn_;
  uint32_t seq_;
};

// MQSC: prepare, then put. False when nothing was put (the record is then complete).
bool handOnMqsc(ProgramContext &ctx, Connection &conn, uint32_t seq, const std::string &commandText) {
  TransportState &t = transportOf(ctx);
  std::shared_ptr<CommandRecord> record = recordFor(ctx, seq);
  if (!record) return false;
  std::string text = commandText;
  WorkerExchange exchange(ctx, conn, seq);
  PrepareResult prepared = prepareMqscCommand(ctx, targetOf(ctx, conn), *record, text, &exchange);
  if (prepared.outcome != PrepareOutcome::Send) {
    completeCommandRecord(ctx, *record);
    forgetRecord(ctx, seq);
    return false;
  }
  MQMD md = kvarn::mqi::defaultMD();
  kvarn::mqi::setField(md.Format, prepared.request.format);
  int queue = prepared.request.queue == CommandQueue::Tolk || t.tolkMode ? kTolkCommandQueue : kMqCommandQueue;
  if (!putRequest(ctx, conn, queue, seq, prepared.request.message.data(), md, prepared.request.message.size(),
                  prepared.request.handler, seq, 0)) {
    failRecord(ctx, *record, "");  // putRequest has reported why; the command counts as failed
    forgetRecord(ctx, seq);
    return false;
  }
  if (prepared.request.expectsNoReply) {
    completeWithoutReply(ctx, *record);
    forgetRecord(ctx, seq);
    return false;
  }
  return true;
}

void workerLoop(ProgramContext &ctx, Connection &conn) {
  conn.workerTid = static_cast<int>(::gettid());
  TransportState &t = transportOf(ctx);
  for (;;) {
    long timeout = t.submittedSeq <= t.answeredSeq ? 600000 : 10000;
    conn.requestEvent.wait(timeout);
    uint32_t seq;
    std::string text;
    bool mqsc;
    IssueSource source;
    {
      // Only what was handed to this connection: the members of a fleet take their
      // commands side by side.
      OwnedMutexGuard guard(ctx.consoleLock);
      if (conn.handedSeq <= conn.takenSeq) {
        if (conn.closing) break;
        continue;
      }
      seq = conn.handedSeq;
      conn.takenSeq = seq;
      text = conn.commandText;
      mqsc = conn.handedMqsc;
      source = conn.issueSource;
    }
    traceStatus(ctx, "NEWR");
    t.commandStartMs = steadyMs();
    // A fleet member's messages are shown with its fleet's answer, in member order.
    captureMessagesOnThisThread(conn.fleetMember ? &conn.memberLines : nullptr);
    if (mqsc) {
      bool handedOn = !conn.closing && handOnMqsc(ctx, conn, seq, text);
      OwnedMutexGuard guard(ctx.consoleLock);
      raiseSeq(t.processedSeq, seq);
      traceStatus(ctx, "PUTC");
      if (!handedOn) {
        raiseSeq(t.answeredSeq, seq);
        conn.responseEvent.set();
      }
    } else {
      bool internal = source == IssueFromStartup;
      runWorkerCommand(ctx, conn, text, internal);
      OwnedMutexGuard guard(ctx.consoleLock);
      raiseSeq(t.processedSeq, internal ? seq : t.issuedSeq.load());
      raiseSeq(t.answeredSeq, seq);
      raiseSeq(t.completedSeq, seq);
      traceStatus(ctx, internal ? "INTL" : "LCLC");
      conn.responseEvent.set();
    }
    captureMessagesOnThisThread(nullptr);
    conn.doneSeq = seq;
    t.fleetProgress.set();
    if (conn.closing && conn.commandHconn == kNoHconn) break;
  }
  bool wasCurrent;
  {
    OwnedMutexGuard guard(ctx.consoleLock);
    wasCurrent = t.current == &conn;
  }
  if (conn.commandHconn != kNoHconn) disconnectQmgr(ctx, conn, false);
  {
    // Only what was handed to this connection is settled here: by now the command
    // thread may have handed its next command to another connection.
    OwnedMutexGuard guard(ctx.consoleLock);
    if ((wasCurrent || conn.handedSeq > t.answeredSeq) && t.lastReason != 6124) t.lastReason = MQRC_Q_MGR_NOT_AVAILABLE;
    raiseSeq(t.answeredSeq, conn.handedSeq);
    raiseSeq(t.completedSeq, conn.handedSeq);
    raiseSeq(t.processedSeq, conn.handedSeq);
    if (t.current == &conn) t.current = &t.connectionTemplate;
  }
  conn.workerAlive = false;
  conn.responseEvent.set();
  t.fleetProgress.set();
}

}  // namespace

void startWorker(ProgramContext &ctx, Connection &conn) {
  conn.workerAlive = true;
  try {
    conn.worker = startThreadWithoutStopSignals([&ctx, &conn] { workerLoop(ctx, conn); });
  } catch (...) {
    conn.workerAlive = false;
    throw;
  }
}
