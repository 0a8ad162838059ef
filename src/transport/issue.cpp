#include "transport/issue.h"

#include <cctype>
#include <string>

#include "context/context.h"
#include "context/output.h"
#include "context/trace.h"
#include "mqsc/command_record.h"
#include "runtime/scan.h"
#include "runtime/timezone.h"
#include "transport/connect.h"
#include "transport/connection.h"
#include "transport/exchange.h"
#include "transport/worker.h"

namespace {

// The command server takes MQSC text of at most 32,762 characters.
constexpr size_t kMaxMqscLength = 32762;

// The first word of a command and the one after it, each ended by a blank or '('.
std::string_view nthWord(std::string_view text, size_t n) {
  size_t i = 0;
  for (size_t k = 0;; ++k) {
    while (i < text.size() && isScanSpace(text[i])) ++i;
    if (i >= text.size()) return {};
    size_t start = i;
    while (i < text.size() && !isScanSpace(text[i]) && text[i] != '(') ++i;
    if (k == n) return text.substr(start, i - start);
    while (i < text.size() && !isScanSpace(text[i])) ++i;
  }
}

// TOLK's displays of statistics and accounting want the local time zone.
std::string applyTolkTimeZone(ProgramContext &ctx, std::string_view text) {
  std::string out(text);
  if (!transportOf(ctx).tolkMode) return out;
  std::string_view verb = nthWord(text, 0), object = nthWord(text, 1);
  if (!(scanEqualsNoCase(verb, "dis") || scanEqualsNoCase(verb, "display"))) return out;
  static const char *const kTimed[] = {"statq", "acctq", "events", "statmqi", "statchl", "acctmqi"};
  bool timed = false;
  for (const char *w : kTimed) timed = timed || scanEqualsNoCase(object, w);
  if (!timed) return out;
  std::string upper = out;
  for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper.find("TZ(") == std::string::npos) out += strFormat(" TZ(%d)", timeZoneBiasMinutes() * 60);
  return out;
}

int defaultWait(ProgramContext &ctx) { return ctx.fileMode() ? ctx.settings.respwait : ctx.settings.respwaiti; }

// One command handed to the current connection's worker.
struct HandOver {
  std::string_view text;
  std::shared_ptr<CommandRecord> record;  // MQSC; none for a connection command
  IssueSource source = IssueFromUser;
  bool connect = false;
  bool disconnect = false;
  int waitSeconds = 0;
};

enum class HandOverOutcome { Answered, Failed, TimedOut };

// Fails the command before it reaches the worker: in its record, or as an error line.
HandOverOutcome refuse(ProgramContext &ctx, const HandOver &h, std::string_view why) {
  if (h.record) {
    failRecord(ctx, *h.record, why);
    forgetRecord(ctx, h.record->sequence);
  } else if (!why.empty()) {
    addError(ctx, why);
  }
  return HandOverOutcome::Failed;
}

HandOverOutcome handOver(ProgramContext &ctx, const HandOver &h) {
  if (ctx.trace.dispatch)
    traceLine(ctx, strFormat("cslIssueMQCommand '%.*s'", static_cast<int>(h.text.size()), h.text.data()));
  TransportState &t = transportOf(ctx);
  int waitSeconds = h.waitSeconds > 0 ? h.waitSeconds : defaultWait(ctx);

  // 1. A connect finds or makes its connection; one already connected is the answer.
  if (h.connect) {
    int reason = findOrCreateConnection(ctx);
    if (reason != 0) {
      t.lastReason = reason;
      ctx.statusFlags |= kStatusConnectFailed;
      return HandOverOutcome::Failed;
    }
    if (t.current->connected()) return HandOverOutcome::Answered;
  }

  // 2. The command takes the next sequence number; an MQSC command's record is listed
  //    among the commands in flight, where the reply reader finds it.
  uint32_t seq = ++t.issuedSeq;
  Connection &conn = *t.current;
  if (h.record) {
    h.record->sequence = seq;
    h.record->qmgr = conn.adminQmgr.empty() ? conn.connectedQmgr : conn.adminQmgr;
    std::lock_guard<std::mutex> lock(t.recordsMutex);
    t.records[seq] = h.record;
  }

  // 3. A longer command than the command server takes is refused whole rather than
  //    cut or sent to fail there; so is any command without a usable connection.
  if (h.record && h.text.size() > kMaxMqscLength)
    return refuse(
        ctx, h,
        strFormat("Command of %zu characters not sent: IBM MQ accepts at most %zu", h.text.size(), kMaxMqscLength));
  if ((!conn.connected() || conn.disconnectPending) && !h.connect) {
    bool internalDisconnect = h.disconnect && h.source == IssueFromStartup;
    return refuse(ctx, h, internalDisconnect ? "" : "Not currently connected.");
  }

  // 4. The worker takes it when it is idle.
  {
    OwnedMutexGuard guard(ctx.consoleLock);
    if (t.submittedSeq > t.processedSeq) {
      traceStatus(ctx, "NOTC");
      return refuse(ctx, h,
                    conn.commandLevel == 0 ? "Still waiting for response to command level query"
                                           : "Previous command has not completed yet");
    }
    conn.commandText = applyTolkTimeZone(ctx, h.text);
    conn.handedMqsc = h.record != nullptr;
    conn.issueSource = h.source;
    if (h.disconnect) conn.disconnectPending = true;
    conn.handedSeq = seq;
    t.submittedSeq = seq;
  }
  traceStatus(ctx, "MQCW");
  conn.requestEvent.set();

  // 5. Wait for the answer. A connect runs two inquiries of up to `wait` seconds each
  //    before it answers. A command that times out goes on; a late answer is dropped
  //    with its record.
  int64_t waitMs = h.connect ? (2L * waitSeconds + 10) * 1000L : waitSeconds * 1000L;
  WaitOutcome waited = waitForResponse(ctx, conn, steadyMs() + waitMs, h.record != nullptr);
  // Released: the reply reader completes the record as the rest arrives.
  if (waited == WaitOutcome::Released) return HandOverOutcome::Answered;
  if (waited != WaitOutcome::Answered) {
    forgetRecord(ctx, seq);
    if (h.record) failRecord(ctx, *h.record, t.lastErrorText);
    else addError(ctx, t.lastErrorText);
    return HandOverOutcome::TimedOut;
  }
  if (h.record) {
    if (!h.record->complete()) failRecord(ctx, *h.record, "");
    forgetRecord(ctx, seq);
    return h.record->succeeded ? HandOverOutcome::Answered : HandOverOutcome::Failed;
  }
  if (h.connect && !conn.connected()) return HandOverOutcome::Failed;
  return HandOverOutcome::Answered;
}

}  // namespace

bool cslIssueMQCommand(ProgramContext &ctx, const std::shared_ptr<CommandRecord> &record, int waitSeconds) {
  HandOver h;
  h.text = record->commandText;
  h.record = record;
  h.source = record->kind == RecordKind::ScriptCommand ? IssueFromScript : IssueFromUser;
  h.waitSeconds = waitSeconds;
  return handOver(ctx, h) == HandOverOutcome::Answered;
}

bool issueConnectionCommand(ProgramContext &ctx, std::string_view text, const ConnectionCommandArgs &args) {
  HandOver h;
  h.text = scanTrim(text);
  if (h.text.empty()) return false;
  h.source = args.source;
  h.connect = args.connect;
  h.disconnect = args.disconnect;
  h.waitSeconds = args.waitSeconds;
  return handOver(ctx, h) == HandOverOutcome::Answered;
}

int findOrCreateConnection(ProgramContext &ctx) {
  TransportState &t = transportOf(ctx);
  pruneEndedConnections(ctx);
  OwnedMutexGuard guard(ctx.consoleLock);
  // One queue manager is the destination now, not the fleet; a fleet's members stay its own.
  t.fleetCurrent = false;
  for (auto &owned : t.connections) {
    Connection &c = *owned;
    if (!c.workerAlive || c.fleetMember || !connectionMatches(c, t.connectionTemplate)) continue;
    if (t.current == &c) {
      if (!c.connectedQmgr.empty())
        addInfo(ctx, strFormat("Already using connection to '%s'", c.connectedQmgr.c_str()));
    } else {
      t.current = &c;
      addInfo(ctx, strFormat("Switching to '%s'", c.connectedQmgr.c_str()));
    }
    t.connectionTemplate.reset(ctx.fileMode());
    return 0;
  }
  auto conn = std::make_unique<Connection>();
  conn->copySettingsFrom(t.connectionTemplate);
  conn->owner = &ctx;
  t.connectionTemplate.reset(ctx.fileMode());
  Connection &c = *conn;
  t.connections.push_front(std::move(conn));
  try {
    startWorker(ctx, c);
  } catch (const std::system_error &) {
    t.connections.pop_front();
    t.current = &t.connectionTemplate;
    return MQRC_UNEXPECTED_ERROR;
  }
  t.current = &c;
  return 0;
}
