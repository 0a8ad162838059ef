#include "transport/fleet.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "context/output.h"
#include "mqsc/command_record.h"
#include "runtime/scan.h"
#include "text/text.h"
#include "transport/connect.h"
#include "transport/connection.h"
#include "transport/exchange.h"
#include "transport/transport_host.h"
#include "transport/worker.h"

namespace {

// The command server takes MQSC text of at most 32,762 characters.
constexpr size_t kMaxMqscLength = 32762;

int defaultWait(ProgramContext &ctx) { return ctx.fileMode() ? ctx.settings.respwait : ctx.settings.respwaiti; }

// Hands one command to a member's worker (which must be idle); its sequence number.
uint32_t handToMember(ProgramContext &ctx, Connection &conn, const std::string &text, bool mqsc, IssueSource source,
                      const std::shared_ptr<CommandRecord> &record) {
  TransportState &t = transportOf(ctx);
  uint32_t seq = ++t.issuedSeq;
  if (record) {
    record->sequence = seq;
    std::lock_guard<std::mutex> lock(t.recordsMutex);
    t.records[seq] = record;
  }
  {
    OwnedMutexGuard guard(ctx.consoleLock);
    conn.commandText = text;
    conn.handedMqsc = mqsc;
    conn.issueSource = source;
    conn.handedSeq = seq;
  }
  conn.requestEvent.set();
  return seq;
}

bool memberIdle(const Connection &conn) { return conn.doneSeq >= conn.handedSeq; }

// Waits until `finished` holds or the deadline passes; while `progress` (what the
// members still awaited have received) grows, the deadline moves on by `extendSeconds`
// (0: never). False when the user stopped waiting.
template <typename Finished, typename Progress>
bool waitForMembers(ProgramContext &ctx, int64_t deadlineMs, int extendSeconds, Finished &&finished,
                    Progress &&progress) {
  if (ctx.fileMode() && ctx.output) ctx.output->flushStream();
  TransportState &t = transportOf(ctx);
  uint64_t seen = progress();
  for (;;) {
    if (finished()) return true;
    int64_t now = steadyMs();
    if (now >= deadlineMs) {
      uint64_t nowSeen = progress();
      if (extendSeconds <= 0 || nowSeen == seen) return true;
      seen = nowSeen;
      deadlineMs = now + extendSeconds * 1000L;
      continue;
    }
    long slice = static_cast<long>(std::min<int64_t>(deadlineMs - now, 1000));
    if (const TransportHost &host = transportHost(); host.whileWaiting) {
      slice = std::min(slice, 100L);
      if (host.whileWaiting(ctx)) return false;
    }
    t.fleetProgress.wait(slice);
  }
}

// The last error a member's connect reported.
std::string lastError(const std::vector<std::string> &lines) {
  for (auto it = lines.rbegin(); it != lines.rend(); ++it)
    if (!it->empty() && (*it)[0] == 'E') return it->substr(1);
  return "Connect failed";
}

// Members leave the fleet: they are listed (and freed) as any other connection again.
void releaseMembers(TransportState &t) {
  if (!t.fleet) return;
  for (FleetMember &m : t.fleet->members)
    if (m.conn) m.conn->fleetMember = false;
  t.fleet.reset();
  t.fleetCurrent = false;
}

}  // namespace

std::vector<std::string> splitQmgrList(std::string_view list, size_t maxLength) {
  std::vector<std::string> names;
  while (!list.empty()) {
    size_t comma = list.find(',');
    std::string_view name = scanTrim(list.substr(0, comma));
    if (maxLength > 0 && name.size() > maxLength) name = name.substr(0, maxLength);
    if (!name.empty()) names.emplace_back(name);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return names;
}

bool isDestructiveCommand(std::string_view text) {
  text = scanTrim(text);
  size_t end = 0;
  while (end < text.size() && !isScanSpace(text[end]) && text[end] != '(') ++end;
  std::string_view verb = text.substr(0, end);
  return scanEqualsNoCase(verb, "delete") || scanEqualsNoCase(verb, "clear") || scanEqualsNoCase(verb, "stop");
}

bool fleetIsDestination(ProgramContext &ctx) {
  if (!ctx.transport) return false;
  TransportState &t = transportOf(ctx);
  return t.fleet && t.fleetCurrent;
}

bool fleetConfirmsDestructive(ProgramContext &ctx) {
  TransportState &t = transportOf(ctx);
  return !t.fleet || !t.fleet->unconfirmedDestructive;
}

size_t fleetSize(ProgramContext &ctx) {
  TransportState &t = transportOf(ctx);
  return t.fleet ? t.fleet->members.size() : 0;
}

void setFleetDestination(ProgramContext &ctx, bool on) {
  TransportState &t = transportOf(ctx);
  t.fleetCurrent = on && t.fleet;
}

FleetConnectResult formFleet(ProgramContext &ctx, const std::vector<std::string> &names, bool unconfirmedDestructive) {
  TransportState &t = transportOf(ctx);
  FleetConnectResult result;
  if (t.fleet) disbandFleet(ctx, false);
  pruneEndedConnections(ctx);

  // 1. The members, each name once.
  auto fleet = std::make_unique<Fleet>();
  fleet->unconfirmedDestructive = unconfirmedDestructive;
  std::set<std::string> seen;
  for (const std::string &name : names)
    if (seen.insert(name).second && fleet->members.size() < kMaxFleetMembers) fleet->members.push_back({name});
  result.members = fleet->members.size();
  Connection templ;
  templ.copySettingsFrom(t.connectionTemplate);
  t.connectionTemplate.reset(ctx.fileMode());
  int waitSeconds = std::max(1, templ.waitSeconds);

  // 2. Connected a batch at a time: each member's worker runs its own connect.
  for (size_t first = 0; first < fleet->members.size(); first += kFleetConnectBatch) {
    size_t last = std::min(first + kFleetConnectBatch, fleet->members.size());
    std::vector<uint32_t> seqs(last - first, 0);
    for (size_t i = first; i < last; ++i) {
      FleetMember &m = fleet->members[i];
      auto conn = std::make_unique<Connection>();
      conn->copySettingsFrom(templ);
      conn->targetQmgr = conn->adminQmgr = m.name;
      conn->owner = &ctx;
      conn->fleetMember = true;
      Connection &c = *conn;
      {
        OwnedMutexGuard guard(ctx.consoleLock);
        t.connections.push_front(std::move(conn));
      }
      try {
        startWorker(ctx, c);
      } catch (const std::system_error &) {
        m.failure = "No thread could be started for the connection";
        m.reason = MQRC_UNEXPECTED_ERROR;
        OwnedMutexGuard guard(ctx.consoleLock);
        t.connections.pop_front();
        continue;
      }
      m.conn = &c;
      seqs[i - first] = handToMember(ctx, c, "=conn", false, IssueFromStartup, nullptr);
    }
    // A connect runs two inquiries of up to `wait` seconds each before it answers.
    int64_t deadline = steadyMs() + (2L * waitSeconds + 10) * 1000L;
    waitForMembers(
        ctx, deadline, 0,
        [&] {
          for (size_t i = first; i < last; ++i)
            if (fleet->members[i].conn && fleet->members[i].conn->doneSeq < seqs[i - first]) return false;
          return true;
        },
        [] { return uint64_t{0}; });
    // 3. Each member's messages in member order; one that has not answered is given up.
    for (size_t i = first; i < last; ++i) {
      FleetMember &m = fleet->members[i];
      if (!m.conn) {
        addError(ctx, strFormat("Connect to '%s' failed. %s", m.name.c_str(), m.failure.c_str()));
        continue;
      }
      if (m.conn->doneSeq < seqs[i - first]) {
        m.failure = "Timed out waiting for response";
        m.reason = MQRC_NO_MSG_AVAILABLE;
        addError(ctx, strFormat("Connect to '%s' timed out", m.name.c_str()));
        ctx.statusFlags |= kStatusConnectFailed;
        continue;
      }
      std::vector<std::string> lines = m.conn->memberLines.take();
      if (!m.conn->connected()) {
        m.failure = lastError(lines);
        m.reason = MQRC_Q_MGR_NOT_AVAILABLE;
        if (size_t at = m.failure.find("RC("); at != std::string::npos)
          m.reason = std::atoi(m.failure.c_str() + at + 3);
      } else {
        ++result.connected;
      }
      for (const std::string &line : lines) {
        std::string_view text = std::string_view(line).substr(1);
        if (line[0] == 'E') addError(ctx, text);
        else addInfo(ctx, text);
      }
    }
  }
  t.fleet = std::move(fleet);
  t.fleetCurrent = true;
  addInfo(ctx, strFormat("Fleet of %zu queue managers, %zu connected", result.members, result.connected));
  return result;
}

FleetOutcome issueFleetMqsc(ProgramContext &ctx, const std::shared_ptr<CommandRecord> &record, int waitSeconds) {
  TransportState &t = transportOf(ctx);
  Fleet &fleet = *t.fleet;
  record->sequence = ++t.issuedSeq;
  record->qmgr = "*";

  // 1. Every member that can be asked is handed the command; its record holds the
  //    answer until all are in.
  struct Part {
    FleetMember *member;
    std::shared_ptr<CommandRecord> record;
    uint32_t seq = 0;
    bool waiting = false;  // the member is still busy with an earlier command: handed on when idle
  };
  IssueSource source = record->kind == RecordKind::ScriptCommand ? IssueFromScript : IssueFromUser;
  auto handOn = [&](Part &p) {
    p.waiting = false;
    p.seq = handToMember(ctx, *p.member->conn, record->commandText, true, source, p.record);
  };
  std::vector<Part> parts;
  parts.reserve(fleet.members.size());
  for (FleetMember &m : fleet.members) {
    auto member = std::make_shared<CommandRecord>();
    member->commandText = record->commandText;
    member->kind = record->kind;
    member->isCurrentCommand = false;
    member->outputGroup = record->outputGroup;
    member->responsesHidden = record->responsesHidden;
    member->keepRecords = record->keepRecords;
    member->qmgr = m.name;
    member->fleetMember = true;
    member->output = heldForMerge();
    parts.push_back({&m, member});
    Connection *conn = m.conn;
    std::string why;
    int reason = 0;
    if (!conn || !conn->connected() || conn->disconnectPending) {
      why = m.failure.empty() ? "Not currently connected." : m.failure;
      reason = m.reason ? m.reason : MQRC_CONNECTION_BROKEN;
    } else if (record->commandText.size() > kMaxMqscLength) {
      why = strFormat("Command of %zu characters not sent: IBM MQ accepts at most %zu", record->commandText.size(),
                      kMaxMqscLength);
    }
    if (!why.empty()) {
      member->reason = reason;
      failRecord(ctx, *member, why);
      continue;
    }
    if (memberIdle(*conn)) handOn(parts.back());
    else parts.back().waiting = true;
  }

  // 2. All answer at once; one that is silent when the wait ends is timed out, as one
  //    connection's command is.
  auto complete = [&](const CommandRecord &r) {
    OwnedMutexGuard guard(ctx.displayLock);
    return r.complete();
  };
  int seconds = waitSeconds > 0 ? waitSeconds : defaultWait(ctx);
  bool stopped = !waitForMembers(
      ctx, steadyMs() + seconds * 1000L, seconds,
      [&] {
        bool all = true;
        for (Part &p : parts) {
          if (p.waiting && memberIdle(*p.member->conn)) handOn(p);
          all = all && !p.waiting && complete(*p.record);
        }
        return all;
      },
      [&] {
        // Records (and replies of other kinds) of the members still answering.
        OwnedMutexGuard guard(ctx.displayLock);
        uint64_t received = 0;
        for (const Part &p : parts)
          if (!p.record->complete()) received += p.record->receivedCount + p.record->responseText.size();
        return received;
      });
  for (Part &p : parts) {
    if (p.waiting) {  // never free to take it: as silent as a member that took it
      p.record->reason = MQRC_NO_MSG_AVAILABLE;
      failRecord(ctx, *p.record, stopped ? "Stopped waiting for response" : "Timed out waiting for response");
      continue;
    }
    if (p.seq == 0) continue;
    if (!complete(*p.record)) {
      forgetRecord(ctx, p.seq);
      p.record->reason = MQRC_NO_MSG_AVAILABLE;
      failRecord(ctx, *p.record, stopped ? "Stopped waiting for response" : "Timed out waiting for response");
    }
    // What its worker reported outside the record belongs to its part of the answer.
    if (memberIdle(*p.member->conn))
      for (const std::string &line : p.member->conn->memberLines.take()) {
        if (line[0] == 'E') addRecordError(ctx, *p.record, std::string_view(line).substr(1));
        else addRecordInfo(ctx, *p.record, std::string_view(line).substr(1));
      }
  }

  // 3. One answer, laid out as a sharing group's is.
  std::vector<MemberAnswer> answers;
  answers.reserve(parts.size());
  for (Part &p : parts) answers.push_back({p.member->name, p.record});
  return completeMergedAnswer(ctx, *record, answers) ? FleetOutcome::AllSucceeded : FleetOutcome::SomeFailed;
}

size_t disbandFleet(ProgramContext &ctx, bool report) {
  TransportState &t = transportOf(ctx);
  if (!t.fleet) return 0;
  std::vector<std::pair<Connection *, uint32_t>> asked;
  for (FleetMember &m : t.fleet->members) {
    Connection *c = m.conn;
    if (!c || !c->workerAlive) continue;
    // A member still busy with a command takes the disconnect after it.
    if (c->connected()) {
      asked.emplace_back(c, handToMember(ctx, *c, "=disc", false, IssueFromStartup, nullptr));
      c->disconnectPending = true;
    } else {
      c->closing = true;
      c->requestEvent.set();
    }
  }
  waitForMembers(
      ctx, steadyMs() + 10000L, 0,
      [&] {
        return std::all_of(asked.begin(), asked.end(), [](const auto &a) { return a.first->doneSeq >= a.second; });
      },
      [] { return uint64_t{0}; });
  size_t done = 0;
  for (auto &[c, seq] : asked) {
    if (c->doneSeq >= seq) ++done;
    c->memberLines.take();
    c->closing = true;
    c->requestEvent.set();
  }
  releaseMembers(t);
  if (report) addInfo(ctx, strFormat("Disconnected from %zu queue managers of the fleet", done));
  pruneEndedConnections(ctx);
  return done;
}

std::vector<std::string> fleetReport(ProgramContext &ctx) {
  std::vector<std::string> lines;
  if (!ctx.transport) return lines;
  TransportState &t = transportOf(ctx);
  if (!t.fleet) return lines;
  size_t connected = 0;
  for (const FleetMember &m : t.fleet->members) connected += m.conn && m.conn->connected() ? 1 : 0;
  lines.push_back(strFormat("FLEET MEMBERS(%zu) CONNECTED(%zu)%s", t.fleet->members.size(), connected,
                            t.fleetCurrent ? " Current" : ""));
  for (const FleetMember &m : t.fleet->members) {
    const Connection *c = m.conn;
    std::string state;
    if (c && c->connected()) state = memberIdle(*c) ? "Connected" : "Busy";
    else if (c && c->workerAlive && c->doneSeq < c->handedSeq) state = "Connecting";
    else state = "Failed: " + (m.failure.empty() ? std::string("Not currently connected.") : m.failure);
    lines.push_back(strFormat("  MEMBER(%s) %s", m.name.c_str(), state.c_str()));
  }
  return lines;
}
