// The local commands of the transport (=conn, =disc, =tolk, =mqsc, =clear) and the
// start-up and end-of-run hooks the driver calls.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include <unistd.h>

#include "transport/connection_commands.h"

#include "context/context.h"
#include "context/local_command.h"
#include "context/output.h"
#include "context/trace.h"
#include "text/text.h"
#include "transport/connect.h"
#include "transport/connection.h"
#include "transport/exchange.h"
#include "transport/fleet.h"
#include "transport/issue.h"

std::vector<LocalOperand> connOperands() {
  return {
      {"qm", "Queue Manager name to administer", kLocalAnyValue},
      {"via", "Queue Manager to connect to if no direct connection", kLocalAnyValue},
      {"client", "Make a client connection", {}},
      {"ccdturl", "URL location of CCDT file", kLocalAnyValue},
      {"cmdq", "The name of the command queue", kLocalAnyValue},
      {"replyq", "The name of the reply queue to use", kLocalAnyValue},
      {"replypfx", "The prefix value for the temporary reply queue name", kLocalAnyValue},
      {"wait", "Wait time for a valid connection", kLocalNumber},
      {"user", "Connection User Identifier", kLocalAnyValue},
      {"pwd", "Connection Password", kLocalAnyValue},
      {"channel", "Client channel name", kLocalAnyValue},
      {"conname", "Client channel connection name", kLocalAnyValue},
      {"sslciph", "Client channel SSL/TLS cipher specification", kLocalAnyValue},
      {"certlabl", "SSL/TLS Certificate label", kLocalAnyValue},
      {"scyexit", "Client channel security exit", kLocalAnyValue},
      {"scydata", "Client channel security exit data", kLocalAnyValue},
      {"sendexit", "Client channel send exit", kLocalAnyValue},
      {"senddata", "Client channel send exit data", kLocalAnyValue},
      {"rcvexit", "Client channel receive exit", kLocalAnyValue},
      {"rcvdata", "Client channel receive exit data", kLocalAnyValue},
      {"sharecnv", "Client channel share conversation value", kLocalNumber},
      {"comphdr", "Compress headers", {{"system", "System compression"}}},
      {"compmsg",
       "Compress message",
       {{"rle", "Run Length Encoding"}, {"zlibfast", "ZLIB (Fast)"}, {"zlibhigh", "ZLIB (High)"}}},
  };
}

namespace {

std::vector<LocalOperand> clearOperands() {
  return {{"confirm", "Set whether KVARN should confirm command", kLocalYesNo},
          {"depth", "Set maximum depth not requiring confirmation", kLocalNumber},
          {"qlocal", "Set queue name to clear", kLocalAnyValue}};
}

// =conn: the template is filled in, then the connection found or made.
void cslDoConnectCommand(ProgramContext &ctx, ParsedCommand &cmd, int issueSource) {
  TraceScope trace(ctx, "cslDoConnectCommand", "", false);
  IssueSource source = static_cast<IssueSource>(issueSource);
  if (!readyConnectTemplate(ctx, cmd, source)) return;
  ConnectionCommandArgs args;
  args.source = source;
  args.connect = true;
  args.waitSeconds = transportOf(ctx).connectionTemplate.waitSeconds;
  issueConnectionCommand(ctx, cmd.text, args);
}

void doDisc(ProgramContext &ctx, ParsedCommand &cmd, int) {
  if (fleetIsDestination(ctx)) {
    disbandFleet(ctx, true);
    return;
  }
  ConnectionCommandArgs args;
  args.disconnect = true;
  issueConnectionCommand(ctx, cmd.text, args);
}
void doTolk(ProgramContext &ctx, ParsedCommand &cmd, int) { issueConnectionCommand(ctx, cmd.text); }
void doMqsc(ProgramContext &ctx, ParsedCommand &cmd, int) { issueConnectionCommand(ctx, cmd.text); }

}  // namespace

bool askToContinue(ProgramContext &ctx, const std::string &question) {
  ctx.output->addLine(question, kStyleInfo | kStyleOpen);
  char reply[302];
  bool answered = std::fgets(reply, sizeof reply, stdin) != nullptr;
  // An answer read from a file or pipe is not echoed by a terminal: show it, so that
  // the output records the question and its answer on one line.
  std::string shown = answered ? std::string(reply, std::strcspn(reply, "\r\n")) : "";
  if (isatty(STDIN_FILENO)) ctx.output->closeOpenLine();
  else ctx.output->addLine(shown, kStyleInfo | kStyleContinues);
  return answered && (reply[0] == 'Y' || reply[0] == 'y');
}

namespace {

void doClear(ProgramContext &ctx, ParsedCommand &cmd, int) {
  std::string queue = cmd.value("qlocal");
  if (queue.empty()) {
    addError(ctx, "Please enter a QLOCAL parameter");
    return;
  }
  bool confirm = !scanEqualsNoCase(cmd.value("confirm", "yes"), "no");
  int threshold = cmd.has("depth") ? std::atoi(cmd.value("depth").c_str()) : 1000;
  TransportState &t = transportOf(ctx);
  auto issue = [&](const char *verb) {
    t.queueReply = QueueCommandReply{};
    return issueConnectionCommand(ctx, strFormat("%s qlocal(%s)", verb, queue.c_str()));
  };
  if (!issue("=clear")) {
    countCommand(ctx, false);
    return;
  }
  int reason = t.queueReply.reason;
  if (reason == 0) {
    addInfo(ctx, strFormat("AMQ8022I: IBM MQ queue '%s' cleared.", queue.c_str()));
    countCommand(ctx, true);
    return;
  }
  if (reason != MQRCCF_OBJECT_OPEN) {
    addError(ctx,
             strFormat("AMQ8147: Error clearing queue '%s' - %s", queue.c_str(), reason < 0 ? "" : reasonText(reason)));
    countCommand(ctx, false);
    return;
  }
  // The queue is open: empty it by getting every message instead.
  if (!issue("qdepth") || t.queueReply.reason != 0) {
    int why = t.queueReply.reason;
    addError(ctx, strFormat("AMQ8147: Error inquiring current depth of '%s' - %s", queue.c_str(),
                            why < 0 ? "" : reasonText(why)));
    countCommand(ctx, false);
    return;
  }
  int depth = t.queueReply.depth;
  if (depth == 0) {
    addInfo(ctx, strFormat("AMQ8022I: IBM MQ queue '%s' appears to be empty.", queue.c_str()));
    countCommand(ctx, true);
    return;
  }
  if (confirm && depth >= threshold &&
      !askToContinue(ctx, strFormat("Queue contains %d messages - continue? ", depth))) {
    addInfo(ctx, "AMQ8022I: Clear command cancelled.");
    return;
  }
  if (!issue("qempty") || t.queueReply.reason != 0) {
    int why = t.queueReply.reason;
    addError(ctx, strFormat("AMQ8147: Error emptying queue '%s' - %s", queue.c_str(), why < 0 ? "" : reasonText(why)));
    countCommand(ctx, false);
    return;
  }
  addInfo(ctx, strFormat("AMQ8022I: %d messages removed from queue '%s'", t.emptiedCount, queue.c_str()));
  countCommand(ctx, true);
}

}  // namespace

int disconnectAll(ProgramContext &ctx) {
  if (!ctx.transport) return 1;
  // A fleet's members disconnect side by side; one still busy is left to close.
  disbandFleet(ctx, false);
  TransportState &t = transportOf(ctx);
  std::vector<Connection *> live;
  {
    OwnedMutexGuard guard(ctx.consoleLock);
    for (auto &c : t.connections)
      if (c->workerAlive) live.push_back(c.get());
  }
  for (Connection *c : live) {
    {
      OwnedMutexGuard guard(ctx.consoleLock);
      if (!c->workerAlive) continue;
      t.current = c;
    }
    ConnectionCommandArgs args;
    args.source = IssueFromStartup;
    args.disconnect = true;
    if (c->connected()) {
      c->disconnectPending = false;  // let the internal =disc through
      issueConnectionCommand(ctx, "=disc", args);
    }
    c->disconnectPending = true;
    c->closing = true;
    c->requestEvent.set();
  }
  // Each in turn gets up to ten seconds to end; one stuck in the MQ library (a queue
  // manager that stopped answering) is left behind rather than waited for.
  int result = 1;
  for (Connection *c : live) {
    for (int i = 0; i < 2000 && !c->ended(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!c->ended()) result = 0;
  }
  {
    OwnedMutexGuard guard(ctx.consoleLock);
    t.current = &t.connectionTemplate;
  }
  pruneEndedConnections(ctx);
  return result;
}

std::vector<LocalCommand> transportLocalCommands() {
  std::vector<LocalCommand> rows = {
      {"=conn", "Connect to a Queue manager", connOperands(), {}, cslDoConnectCommand, kListed, false, kLeavesCcdtMode},
      {"=disc", "Disconnect from a Queue Manager", {}, {}, doDisc, kListed, kUsesConnection, kLeavesCcdtMode},
      {"=tolk",
       "Direct commands to TOLK",
       {{"cmdq", "The name of the command queue", kLocalAnyValue}},
       {},
       doTolk,
       kListed,
       kUsesConnection,
       kLeavesCcdtMode},
      {"=mqsc", "Direct commands to MQ", {}, {}, doMqsc, kListed, kUsesConnection, kLeavesCcdtMode},
      {"=clear", "Clear local queue", clearOperands(), {}, doClear, kListed, kUsesConnection},
      // The steps =clear issues to the connection's worker: known to the syntax check,
      // never run from the command line.
      {"qdepth", "Query Queue Depth", clearOperands(), {}, nullptr, kUnlisted},
      {"qempty", "Empty Queue", clearOperands(), {}, nullptr, kUnlisted},
  };
  return rows;
}

std::vector<std::string> connectionReport(ProgramContext &ctx) {
  TransportState &t = transportOf(ctx);
  std::vector<std::string> lines;
  OwnedMutexGuard guard(ctx.consoleLock);
  for (const auto &c : t.connections) {
    if (!c->workerAlive) continue;
    lines.push_back(strFormat("CONN(%s) HCONN(%d,%d) TID(%d,%d) %s",
                              (c->targetQmgr.empty() ? c->connectedQmgr : c->targetQmgr).c_str(),
                              static_cast<int>(c->commandHconn), static_cast<int>(c->replyHconn), c->workerTid.load(),
                              c->readerTid.load(), c->disconnectPending ? "Disconnecting" : ""));
  }
  if (lines.empty()) lines.push_back("No current connections");
  return lines;
}

AdministeredQmgr administeredQmgr(ProgramContext &ctx) {
  TransportState &t = transportOf(ctx);
  OwnedMutexGuard guard(ctx.consoleLock);
  const Connection &c = *t.current;
  if (!c.connected()) return {};
  return {c.adminQmgr, c.commandLevel.load(), c.platform, c.agentLevel};
}

uint32_t oldestGroupInFlight(ProgramContext &ctx) {
  TransportState &t = transportOf(ctx);
  std::lock_guard<std::mutex> lock(t.recordsMutex);
  uint32_t oldest = 0;
  for (const auto &[seq, record] : t.records)
    if (record && record->outputGroup != 0 && (oldest == 0 || record->outputGroup < oldest))
      oldest = record->outputGroup;
  return oldest;
}

void markNameCachesStale(ProgramContext &ctx) {
  TransportState &t = transportOf(ctx);
  OwnedMutexGuard guard(ctx.consoleLock);
  for (NameCache &cache : t.current->nameCaches) cache.filled = 0;
}

bool disconnectAllAtEnd(ProgramContext &ctx) { return disconnectAll(ctx) != 0; }

bool objectNames(ProgramContext &ctx, const NameListDef *kind, std::vector<std::string> &names, std::string &message) {
  names.clear();
  if (!kind || !ctx.transport) {
    message = "Can not access list of names.";
    return false;
  }
  TransportState &t = transportOf(ctx);
  Connection &conn = *t.current;
  if (!conn.connected()) {
    message = "Can not access list of names.";
    return false;
  }
  auto cachedAt = [&]() -> std::time_t {
    OwnedMutexGuard guard(ctx.displayLock);
    for (const NameCache &cache : conn.nameCaches)
      if (cache.descriptor == kind) return cache.filled;
    return 0;
  };
  std::time_t filled = cachedAt();
  int maxAge = conn.clientBinding ? ctx.settings.maxager : ctx.settings.maxagel;
  if (filled == 0 || std::time(nullptr) - filled > maxAge) {
    ConnectionCommandArgs args;
    args.source = IssueFromStartup;
    issueConnectionCommand(ctx, std::string("refreshnames ") + kind->kind, args);
    // The names arrive on the reply reader after the request is put.
    int64_t deadline = steadyMs() + 1000L * std::max(1, ctx.settings.respwaiti);
    while (cachedAt() == filled && steadyMs() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the rest of a multi-message answer
  }
  OwnedMutexGuard guard(ctx.displayLock);
  for (const NameCache &cache : conn.nameCaches)
    if (cache.descriptor == kind) names = cache.names;
  std::sort(names.begin(), names.end());
  return true;
}
