#include "transport/exchange.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "context/context.h"
#include "context/output.h"
#include "context/trace.h"
#include "runtime/scan.h"
#include "runtime/signals.h"
#include "runtime/timezone.h"
#include "transport/connection.h"
#include "transport/mq_library.h"
#include "transport/request_id.h"
#include "transport/transport_host.h"

namespace {
// How long a command holds the console before an answer still arriving is left to go on.
constexpr int64_t kEarlyReleaseMs = 3000;
}  // namespace

namespace {

void readerLoop(ProgramContext &ctx, Connection &conn) {
  conn.readerTid = static_cast<int>(::gettid());
  getResponses(ctx, conn, 0, -1);
  // The reply connection is the reader's own: it closes it on the way out.
  if (conn.replyHconn != kNoHconn) {
    MQLONG cc, rc;
    conn.entryTable->MQDISC(&conn.replyHconn, &cc, &rc);
    conn.replyHconn = kNoHconn;
  }
  conn.closing = true;
  conn.readerRunning = false;
  conn.readerEnded.set();
  conn.requestEvent.set();
}

// Routes one response to its handler; true when it was the last of its request.
bool routeResponse(ProgramContext &ctx, Connection &conn, const RequestId &id, const MQMD &md, const uint8_t *data,
                   size_t length) {
  switch (id.handler) {
  case kHandlerMqsc: {
    std::shared_ptr<CommandRecord> record = recordFor(ctx, id.sequence);
    if (!record) return true;
    bool last = handleMqscResponse(ctx, *record, targetOf(ctx, conn), md, data, length);
    if (last) forgetRecord(ctx, id.sequence);
    return last;
  }
  case kHandlerNameCache: {
    // The console reads the names while they arrive: both sides hold the display lock.
    OwnedMutexGuard guard(ctx.displayLock);
    if (id.context >= conn.nameCaches.size()) return true;
    return handleNameCacheReply(ctx, conn.nameCaches[id.context], id.sequence, md, data, length);
  }
  case kHandlerQmgrLevel: {
    QmgrLevelReply reply;
    bool last = handleQmgrLevelReply(ctx, reply, md, data, length);
    // A version 3 inquiry is answered by a data message and a summary message; only
    // what a message carries is taken, so the summary does not wipe the level out.
    if (!reply.failed) {
      if (reply.commandLevel) conn.commandLevel = reply.commandLevel;
      if (reply.platform) conn.platform = reply.platform;
      if (reply.agentLevel) conn.agentLevel = reply.agentLevel;
      if (reply.agentFeatures) conn.agentFeatures = reply.agentFeatures;
    }
    if (ctx.trace.status)
      traceLine(ctx,
                strFormat(reply.failed ? "Query Command Level failed RC(%d)" : "Query Command Level worked CMDLVL(%d)",
                          reply.failed ? reply.reason : reply.commandLevel));
    return last;
  }
  case kHandlerTolkLevel: {
    TolkLevelReply reply;
    bool last = handleTolkLevelReply(ctx, reply, md, data, length);
    if (!reply.failed) {
      conn.tolkCommandLevel = reply.commandLevel;
      conn.capabilities.applyTolkLevel(reply.commandLevel);
    }
    if (ctx.trace.status)
      traceLine(ctx, strFormat(reply.failed ? "Query TOLK Command Level failed RC(%d)"
                                            : "Query TOLK Command Level worked CMDLVL(%d)",
                               reply.failed ? reply.reason : reply.commandLevel));
    return last;
  }
  case kHandlerNamelistMerge:
  case kHandlerClearQueue:
  case kHandlerQueueDepth: {
    std::lock_guard<std::mutex> lock(conn.pendingMutex);
    if (!conn.pendingReply || conn.pendingComplete) return true;
    bool last = conn.pendingReply(md, data, length);
    if (last) {
      conn.pendingComplete = true;
      conn.pendingDone.notify_all();
    }
    return last;
  }
  default: return false;
  }
}

}  // namespace

const char *reasonName(long reason) { return reasonText(reason); }

void forgetRecord(ProgramContext &ctx, uint32_t sequence) {
  TransportState &t = transportOf(ctx);
  std::lock_guard<std::mutex> lock(t.recordsMutex);
  t.records.erase(sequence);
}

void failRecord(ProgramContext &ctx, CommandRecord &record, std::string_view text) {
  {
    OwnedMutexGuard guard(ctx.displayLock);
    record.marks |= kMarkError;
  }
  if (!text.empty()) addRecordError(ctx, record, text);
  completeCommandRecord(ctx, record);
}

void showStatus(ProgramContext &ctx, const std::string &text, int delaySeconds) {
  if (const TransportHost &host = transportHost(); host.showStatus) host.showStatus(ctx, text, delaySeconds);
}

void traceStatus(ProgramContext &ctx, const char *tag) {
  if (!ctx.trace.status) return;
  TransportState &t = transportOf(ctx);
  traceLine(ctx, strFormat("STS: %s Req(%d,%d,%d,%d,%d,%d) Sts(%X,%X)", tag, static_cast<int>(t.issuedSeq.load()),
                           static_cast<int>(t.submittedSeq.load()), static_cast<int>(t.processedSeq.load()),
                           static_cast<int>(t.putSeq.load()), static_cast<int>(t.answeredSeq.load()),
                           static_cast<int>(t.completedSeq.load()), ctx.statusFlags, ctx.mode));
}

std::shared_ptr<CommandRecord> recordFor(ProgramContext &ctx, uint32_t sequence) {
  TransportState &t = transportOf(ctx);
  std::lock_guard<std::mutex> lock(t.recordsMutex);
  auto it = t.records.find(sequence);
  return it == t.records.end() ? nullptr : it->second;
}

void reportError(ProgramContext &ctx, const Connection &conn, std::string_view text) {
  std::shared_ptr<CommandRecord> record = recordFor(ctx, conn.handedSeq);
  if (record && !record->complete()) {
    {
      OwnedMutexGuard guard(ctx.displayLock);
      record->marks |= kMarkError;
    }
    addRecordError(ctx, *record, text);
  } else {
    addError(ctx, text);
  }
}

MqscTarget targetOf(ProgramContext &ctx, const Connection &conn) {
  MqscTarget target;
  target.platform = conn.platform < 0 ? 0 : conn.platform;
  target.commandLevel = conn.commandLevel < 0 ? 0 : conn.commandLevel.load();
  target.capabilities = conn.capabilities;
  target.tolkMode = transportOf(ctx).tolkMode;
  target.tolkCommandLevel = conn.tolkCommandLevel;
  target.connectedQmgr = conn.connectedQmgr;
  target.adminQmgr = conn.adminQmgr;
  return target;
}

bool openCommandQueue(ProgramContext &ctx, int queue, Connection &conn) {
  TransportState &t = transportOf(ctx);
  MQHOBJ &hobj = queue == kTolkCommandQueue ? conn.tolkQueueHobj : conn.commandQueueHobj;
  if (hobj != kNoHobj) return true;
  const std::string &name = queue == kTolkCommandQueue ? t.tolkCommandQueue : conn.commandQueue;
  MQOD od = kvarn::mqi::defaultOD();
  kvarn::mqi::setField(od.ObjectName, name);
  kvarn::mqi::setField(od.ObjectQMgrName, conn.adminQmgr);
  MQLONG cc = 0, rc = 0;
  showStatus(ctx,
             strFormat("Opening command queue '%s/%s' on '%s'", conn.adminQmgr.c_str(), name.c_str(),
                       conn.connectedQmgr.c_str()),
             2);
  conn.entryTable->MQOPEN(conn.commandHconn, &od, MQOO_OUTPUT, &hobj, &cc, &rc);
  showStatus(ctx, "");
  if (cc == MQCC_FAILED) {
    hobj = kNoHobj;
    t.lastReason = rc;
    reportError(ctx, conn,
                strFormat("Error opening command queue '%s/%s' on '%s' RC(%ld) %s", conn.adminQmgr.c_str(),
                          name.c_str(), conn.connectedQmgr.c_str(), static_cast<long>(rc), reasonName(rc)));
    ctx.statusFlags |= kStatusMqCallFailed;
    return false;
  }
  return true;
}

bool putRequest(ProgramContext &ctx, Connection &conn, int queue, uint32_t sequence, const void *message, MQMD &md,
                size_t length, uint16_t handler, uint64_t contextValue, int syncWaitSeconds) {
  TransportState &t = transportOf(ctx);
  if (conn.commandHconn == kNoHconn) {
    reportError(ctx, conn, "Not currently connected.");
    return false;
  }
  if (!openCommandQueue(ctx, queue, conn)) return false;
  kvarn::mqi::setField(md.ReplyToQ, conn.replyQueue);
  md.MsgType = MQMT_REQUEST;
  md.Report = MQRO_NONE;
  RequestId id{t.runStamp, sequence, contextValue, static_cast<uint16_t>(handler < kHandlerSlots ? handler : 0)};
  encodeRequestId(id, md.MsgId);
  MQPMO pmo = kvarn::mqi::defaultPMO();
  pmo.Options = MQPMO_NO_SYNCPOINT | MQPMO_FAIL_IF_QUIESCING;
  MQLONG cc = 0, rc = 0;
  MQHOBJ hobj = queue == kTolkCommandQueue ? conn.tolkQueueHobj : conn.commandQueueHobj;
  conn.entryTable->MQPUT(conn.commandHconn, hobj, &md, &pmo, static_cast<MQLONG>(length), const_cast<void *>(message),
                         &cc, &rc);
  if (cc == MQCC_FAILED) {
    const std::string &name = queue == kTolkCommandQueue ? t.tolkCommandQueue : conn.commandQueue;
    t.lastReason = rc;
    reportError(ctx, conn,
                strFormat("Error putting to %s/%s RC(%ld) %s", conn.connectedQmgr.c_str(), name.c_str(),
                          static_cast<long>(rc), reasonName(rc)));
    ctx.statusFlags |= kStatusMqCallFailed;
    return false;
  }
  raiseSeq(t.putSeq, sequence);
  traceStatus(ctx, "PUTW");
  if (syncWaitSeconds != 0) getResponses(ctx, conn, sequence, syncWaitSeconds < 0 ? -1 : syncWaitSeconds * 1000L);
  return true;
}

void getResponses(ProgramContext &ctx, Connection &conn, uint32_t awaitedSeq, long waitMs) {
  TransportState &t = transportOf(ctx);
  bool finite = waitMs >= 0;
  MQGMO gmo = kvarn::mqi::defaultGMO();
  gmo.Options = MQGMO_NO_SYNCPOINT | MQGMO_FAIL_IF_QUIESCING | MQGMO_CONVERT;
  if (waitMs != 0) {
    gmo.Options |= MQGMO_WAIT;
    gmo.WaitInterval = waitMs < 0 ? MQWI_UNLIMITED : static_cast<MQLONG>(waitMs);
  }
  if (conn.replyBuffer.empty()) conn.replyBuffer.resize(4096);
  for (;;) {
    MQMD md = kvarn::mqi::defaultMD();
    MQLONG length = 0, cc = 0, rc = 0;
    conn.entryTable->MQGET(conn.replyHconn, conn.replyInputHobj, &md, &gmo,
                           static_cast<MQLONG>(conn.replyBuffer.size() - 1), conn.replyBuffer.data(), &length, &cc,
                           &rc);
    if (conn.closing && (!finite || cc == MQCC_FAILED)) return;
    if (cc != MQCC_FAILED) {
      if (!isOwnReply(md.CorrelId, t.runStamp)) continue;
      size_t size = std::min(static_cast<size_t>(std::max<MQLONG>(length, 0)), conn.replyBuffer.size() - 1);
      conn.replyBuffer[size] = '\0';
      ++t.responseCount;
      RequestId id = decodeRequestId(md.CorrelId);
      // A reply the worker waits for itself (queue commands, a namelist merge) does not
      // end the command: the worker does, once it has finished with it. Released early,
      // the command thread would hand over its next command while the worker still runs
      // this one, and the worker's bookkeeping would then mark that command as done.
      bool workerAwaits = !finite && (id.handler == kHandlerNamelistMerge || id.handler == kHandlerClearQueue ||
                                      id.handler == kHandlerQueueDepth);
      if (id.sequence > t.answeredSeq && !workerAwaits) {
        raiseSeq(t.answeredSeq, id.sequence);
        if (t.processedSeq < id.sequence) raiseSeq(t.processedSeq, id.sequence);
        traceStatus(ctx, "GETR");
      }
      bool last = routeResponse(ctx, conn, id, md, reinterpret_cast<const uint8_t *>(conn.replyBuffer.data()), size);
      if (last) {
        if (finite) {
          raiseSeq(t.completedSeq, id.sequence);
          // This connection's own request: another's may have raised the counter.
          if (id.sequence >= awaitedSeq) return;
        } else if (!workerAwaits && id.sequence > t.completedSeq) {
          raiseSeq(t.completedSeq, id.sequence);
          t.lastReason = 0;
          conn.responseEvent.set();
        }
        if (!finite) t.fleetProgress.set();
      }
      continue;
    }
    if (rc == MQRC_NO_MSG_AVAILABLE && finite) return;
    if (rc == MQRC_TRUNCATED_MSG_FAILED) {
      size_t grown = ((static_cast<size_t>(length) + 4096) / 4096) * 4096;
      conn.replyBuffer.resize(std::max(grown, conn.replyBuffer.size() + 4096));
      continue;
    }
    if (rc == MQRC_HCONN_ERROR && conn.closing) return;
    std::string text = rc == MQRC_CONNECTION_BROKEN ? "Connection to Queue Manager has been broken"
                       : rc == MQRC_Q_MGR_QUIESCING ? "Queue Manager is ending, disconnecting"
                       : rc == MQRC_Q_MGR_STOPPING
                           ? "Queue Manager is stopping, disconnecting"
                           : strFormat("Error getting from %s/%s RC(%ld) %s", conn.connectedQmgr.c_str(),
                                       conn.replyQueue.c_str(), static_cast<long>(rc), reasonName(rc));
    t.lastReason = rc;
    ctx.statusFlags |= kStatusMqCallFailed;
    reportError(ctx, conn, text);
    return;
  }
}

WaitOutcome waitForResponse(ProgramContext &ctx, Connection &conn, int64_t deadlineMs, bool extend) {
  TransportState &t = transportOf(ctx);
  // What is shown so far is written out before a wait that may be long.
  if (ctx.fileMode() && ctx.output) ctx.output->flushStream();
  uint32_t seenResponses = t.responseCount;
  const uint32_t responsesAtStart = t.responseCount;
  const int64_t startMs = steadyMs();
  t.waiting = true;
  for (;;) {
    long slice = t.submittedSeq > t.completedSeq ? 1000 : 60000;
    slice = std::min(slice, 2000L);
    int64_t now = steadyMs();
    if (now >= deadlineMs) {
      if (extend && t.responseCount != seenResponses) {
        seenResponses = t.responseCount;
        int seconds = ctx.fileMode() ? ctx.settings.respwait : ctx.settings.respwaiti;
        deadlineMs = now + seconds * 1000L;
        continue;
      }
      t.waiting = false;
      t.lastErrorText = "Timed out waiting for response";
      t.lastReason = MQRC_NO_MSG_AVAILABLE;  // as a get that waited and found nothing
      return WaitOutcome::TimedOut;
    }
    slice = std::min<long>(slice, static_cast<long>(deadlineMs - now));
    const TransportHost &host = transportHost();
    if (host.whileWaiting) {
      slice = std::min(slice, 100L);
      if (host.whileWaiting(ctx)) {
        t.waiting = false;
        t.lastErrorText = "Stopped waiting for response";
        t.lastReason = MQRC_NO_MSG_AVAILABLE;
        return WaitOutcome::Stopped;
      }
    }
    // A long answer that has begun to arrive goes on without the command thread, so the
    // user can read and scroll it (and type the next command) meanwhile.
    if (extend && host.mayReleaseEarly && now - startMs >= kEarlyReleaseMs && t.responseCount != responsesAtStart &&
        host.mayReleaseEarly(ctx)) {
      t.waiting = false;
      raiseSeq(t.releasedSeq, t.submittedSeq);
      traceStatus(ctx, "RELS");
      return WaitOutcome::Released;
    }
    if (conn.responseEvent.wait(slice) && t.answeredSeq >= t.submittedSeq) {
      t.waiting = false;
      traceStatus(ctx, "RESP");
      return WaitOutcome::Answered;
    }
  }
}

void startReader(ProgramContext &ctx, Connection &conn) {
  conn.readerRunning = true;
  try {
    conn.reader = startThreadWithoutStopSignals([&ctx, &conn] { readerLoop(ctx, conn); });
  } catch (...) {
    conn.readerRunning = false;
    throw;
  }
}

bool awaitReply(ProgramContext &ctx, Connection &conn, uint32_t seq, const PreparedRequest &request,
                const std::function<bool(const MQMD &, const uint8_t *, size_t)> &onReply, int waitSeconds) {
  {
    std::lock_guard<std::mutex> lock(conn.pendingMutex);
    conn.pendingReply = onReply;
    conn.pendingComplete = false;
  }
  MQMD md = kvarn::mqi::defaultMD();
  kvarn::mqi::setField(md.Format, request.format);
  int queue = request.queue == CommandQueue::Tolk ? kTolkCommandQueue : kMqCommandQueue;
  bool put =
      putRequest(ctx, conn, queue, seq, request.message.data(), md, request.message.size(), request.handler, 0, 0);
  std::unique_lock<std::mutex> lock(conn.pendingMutex);
  bool done = put && conn.pendingDone.wait_for(lock, std::chrono::seconds(std::max(1, waitSeconds)), [&] {
    return conn.pendingComplete || conn.closing;
  }) && conn.pendingComplete;
  conn.pendingReply = nullptr;
  if (put && !done && !conn.closing) reportError(ctx, conn, "Timed out waiting for response");
  return done;
}

namespace {
TransportHost &hostSlot() {
  static TransportHost host;
  return host;
}
}  // namespace

void transportSetHost(TransportHost host) { hostSlot() = std::move(host); }
const TransportHost &transportHost() { return hostSlot(); }
