#include "cmdserver/command_server.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "cmdserver/pcf_commands.h"
#include "cmdserver/status_display.h"
#include "cmdserver/zos.h"

namespace qmsim::cmdserver {

namespace {

using kvarn::mqi::fieldText;
using kvarn::mqi::setField;

// Per queue manager: whether the command server should run, and its state.
struct Control {
  std::mutex mu;
  std::condition_variable_any changed;
  bool running = true;
  bool attached = false;
  std::weak_ptr<QueueManager> owner;  // a new queue manager at the same address gets a fresh one
  RuntimeState state;
};

std::mutex gMu;
std::map<const QueueManager*, std::shared_ptr<Control>> gControls;
std::map<std::string, std::weak_ptr<Control>> gByName;

std::shared_ptr<Control> controlFor(const QueueManager& qm) {
  std::lock_guard lk(gMu);
  auto& c = gControls[&qm];
  if (!c || (c->attached && c->owner.expired())) c = std::make_shared<Control>();
  gByName[qm.name()] = c;
  return c;
}

MQMD replyDescriptor(const MQMD& request, const char* format) {
  MQMD md = kvarn::mqi::defaultMD();
  md.MsgType = MQMT_REPLY;
  std::memcpy(md.Format, format, 8);
  const MQBYTE* correl = (request.Report & MQRO_PASS_CORREL_ID) ? request.CorrelId : request.MsgId;
  std::memcpy(md.CorrelId, correl, sizeof md.CorrelId);
  if (request.Report & MQRO_PASS_MSG_ID) std::memcpy(md.MsgId, request.MsgId, sizeof md.MsgId);
  md.Persistence = request.Persistence == MQPER_PERSISTENT ? MQPER_PERSISTENT : MQPER_NOT_PERSISTENT;
  md.Priority = request.Priority >= 0 && request.Priority <= 9 ? request.Priority : 0;
  md.Encoding = MQENC_NATIVE;
  md.CodedCharSetId = request.CodedCharSetId > 0 ? request.CodedCharSetId : 1208;
  return md;
}

std::vector<Reply> wrap(const MQMD& request, std::vector<std::string> bodies, const char* format) {
  std::vector<Reply> out;
  for (auto& b : bodies) out.push_back({replyDescriptor(request, format), std::move(b)});
  return out;
}

}  // namespace

std::vector<Reply> handleRequest(QueueManager& qm, RuntimeState& state, const MQMD& request, std::string_view body,
                                 bool toTolk) {
  ExecContext ctx{qm, state, fieldText(request.UserIdentifier), isZos(qm)};
  std::string format = fieldText(request.Format, 8);
  bool pcfFormat = format == "MQADMIN" || format == "MQPCF";
  if (ctx.zos && !toTolk && !pcfFormat) {
    std::string text(body);
    while (!text.empty() && (text.back() == '\0' || text.back() == ' ' || text.back() == '\n')) text.pop_back();
    return wrap(request, answerZos(ctx, text), "MQCMD1  ");
  }
  MQCFH blank{};
  blank.Type = MQCFT_COMMAND;
  blank.Version = MQCFH_VERSION_1;
  if (!pcfFormat) return wrap(request, {pcfError(blank, MQRCCF_MD_FORMAT_ERROR)}, MQFMT_ADMIN);
  PcfRequest req;
  MQLONG badParam = 0;
  if (MQLONG reason = parsePcf(body, req, badParam)) {
    MQCFH h = body.size() >= sizeof(MQCFH) ? req.header : blank;
    if (h.Type != MQCFT_COMMAND && h.Type != MQCFT_COMMAND_XR) h.Type = MQCFT_COMMAND;
    return wrap(request, {pcfError(h, reason, badParam)}, MQFMT_ADMIN);
  }
  return wrap(request, toTolk ? answerTolk(ctx, req) : answerPcf(ctx, req), MQFMT_ADMIN);
}

RuntimeState& runtimeStateFor(QueueManager& qm) { return controlFor(qm)->state; }

namespace {

// Puts a reply on a local reply queue. A full queue is waited on while its reader
// drains it (a requester reading a long display as fast as it can must not lose its
// end); after a minute without room the request's remaining replies are dropped.
void putWaitingForRoom(QueueManager& qm, ConnId conn, MQHOBJ hobj, MQPMO& pmo, Reply& reply, const CancelCheck& cancel,
                       bool& abandoned) {
  auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!abandoned && qm.put(conn, hobj, reply.md, pmo, reply.data).reason == MQRC_Q_FULL) {
    if (cancel() || std::chrono::steady_clock::now() >= giveUp) abandoned = true;
    else std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Puts a request's replies to its reply queue, on this queue manager or on another one
// this process hosts, the queue opened once for all of them. A reply that cannot be
// delivered is dropped, as there is no one to tell.
void deliver(QueueManager& qm, ConnId conn, const MQMD& request, std::vector<Reply>& replies,
             const CancelCheck& cancel) {
  std::string replyQ = fieldText(request.ReplyToQ);
  std::string replyQMgr = fieldText(request.ReplyToQMgr);
  if (replyQ.empty() || replies.empty()) return;
  auto optionsFor = [](const Reply& reply) {
    MQPMO pmo = kvarn::mqi::defaultPMO();
    pmo.Options = MQPMO_NO_SYNCPOINT | (reply.md.MsgId[0] ? 0 : MQPMO_NEW_MSG_ID);
    return pmo;
  };
  MQOD od = kvarn::mqi::defaultOD();
  setField(od.ObjectName, replyQ);
  setField(od.ObjectQMgrName, replyQMgr == qm.name() ? "" : replyQMgr);
  std::optional<RouteRequest> route;
  MQHOBJ hobj = MQHO_NONE;
  Outcome o = qm.open(conn, od, MQOO_OUTPUT, hobj, &route);
  if (o.ok()) {
    bool abandoned = false;
    for (Reply& reply : replies) {
      MQPMO pmo = optionsFor(reply);
      putWaitingForRoom(qm, conn, hobj, pmo, reply, cancel, abandoned);
    }
    qm.close(conn, hobj, MQCO_NONE);
    return;
  }
  if (!route) return;
  auto other = Registry::process().find(route->qmgr);
  if (!other) return;
  ConnId oc = 0;
  if (!other->connect(ConnectParams{"qmsim command server", "mqm", "", ""}, oc).ok()) return;
  MQOD rod = kvarn::mqi::defaultOD();
  setField(rod.ObjectName, route->queue);
  if (other->open(oc, rod, MQOO_OUTPUT, hobj).ok()) {
    for (Reply& reply : replies) {
      MQPMO pmo = optionsFor(reply);
      other->put(oc, hobj, reply.md, pmo, reply.data);
    }
    other->close(oc, hobj, MQCO_NONE);
  }
  other->disconnect(oc);
}

// Gets the next request from hobj, growing the buffer for long ones.
Outcome nextRequest(QueueManager& qm, ConnId conn, MQHOBJ hobj, MQLONG wait, const CancelCheck& cancel, MQMD& md,
                    std::string& buffer) {
  for (;;) {
    md = kvarn::mqi::defaultMD();
    MQGMO gmo = kvarn::mqi::defaultGMO();
    // Under syncpoint, so a request taken just as the server was stopped can go back.
    gmo.Options = MQGMO_SYNCPOINT | MQGMO_FAIL_IF_QUIESCING | (wait ? MQGMO_WAIT : 0);
    gmo.WaitInterval = wait;
    MQLONG length = 0;
    Outcome o = qm.get(conn, hobj, md, gmo, static_cast<MQLONG>(buffer.size()), buffer.data(), length, cancel);
    if (o.ok()) {
      buffer.resize(static_cast<size_t>(length));
      return o;
    }
    if (o.reason != MQRC_TRUNCATED_MSG_FAILED) return o;
    buffer.resize(static_cast<size_t>(length));
  }
}

void serve(std::stop_token stop, QueueManager* qm, std::shared_ptr<Control> control) {
  auto running = [&] {
    std::lock_guard lk(control->mu);
    return control->running;
  };
  while (!stop.stop_requested() && !qm->stopping()) {
    {
      std::unique_lock lk(control->mu);
      control->changed.wait(lk, stop, [&] { return control->running; });
    }
    if (stop.stop_requested()) return;
    ConnId conn = 0;
    if (!qm->connect(ConnectParams{"qmsim command server", "mqm", "", ""}, conn).ok()) return;
    auto openInput = [&](const char* name) {
      MQOD od = kvarn::mqi::defaultOD();
      setField(od.ObjectName, name);
      MQHOBJ h = MQHO_NONE;
      return qm->open(conn, od, MQOO_INPUT_SHARED | MQOO_FAIL_IF_QUIESCING, h).ok() ? h : MQHO_NONE;
    };
    MQHOBJ command = openInput(kCommandQueue);
    MQHOBJ tolk = openInput(kTolkCommandQueue);
    CancelCheck cancel = [&] { return stop.stop_requested() || !running(); };
    std::string buffer;
    while (!stop.stop_requested() && running() && (command != MQHO_NONE || tolk != MQHO_NONE)) {
      bool any = false;
      for (MQHOBJ h : {command, tolk}) {
        if (h == MQHO_NONE) continue;
        buffer.resize(std::max<size_t>(buffer.capacity(), 65536));
        MQMD md;
        MQLONG wait = tolk == MQHO_NONE ? MQWI_UNLIMITED : (h == command ? 50 : 0);
        Outcome o = nextRequest(*qm, conn, h, wait, cancel, md, buffer);
        if (o.ok() && !running()) {
          qm->backout(conn);  // stopped while it waited: the request stays for the next start
          break;
        }
        if (o.ok()) qm->commit(conn);
        if (!o.ok()) {
          if (o.reason != MQRC_NO_MSG_AVAILABLE && o.reason != MQRC_CONNECTION_BROKEN) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));  // queue gone or stopping
            if (qm->stopping()) break;
          }
          continue;
        }
        any = true;
        std::vector<Reply> replies = handleRequest(*qm, control->state, md, buffer, h == tolk);
        deliver(*qm, conn, md, replies, cancel);
      }
      if (!any && command == MQHO_NONE && tolk != MQHO_NONE) std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (qm->stopping()) break;
    }
    qm->disconnect(conn);  // closes the queues, so their open counts show the server has gone
    if (command == MQHO_NONE && tolk == MQHO_NONE && running()) {
      // No command queue (it was deleted): look again later.
      std::unique_lock lk(control->mu);
      control->changed.wait_for(lk, stop, std::chrono::seconds(1), [] { return false; });
    }
  }
}

}  // namespace

void attach(const std::shared_ptr<QueueManager>& qm) {
  auto control = controlFor(*qm);
  {
    std::lock_guard lk(control->mu);
    if (control->attached) return;
    control->attached = true;
    control->owner = qm;
  }
  ensureDefaultChlauth(*qm);
  QueueManager* raw = qm.get();
  qm->startService([raw, control](std::stop_token stop) { serve(stop, raw, control); });
}

bool setRunning(const std::string& qmgrName, bool running) {
  std::shared_ptr<Control> control;
  {
    std::lock_guard lk(gMu);
    auto it = gByName.find(qmgrName);
    if (it != gByName.end()) control = it->second.lock();
  }
  if (!control) return false;
  {
    std::lock_guard lk(control->mu);
    control->running = running;
  }
  control->changed.notify_all();
  return true;
}

bool isRunning(const std::string& qmgrName) {
  std::lock_guard lk(gMu);
  auto it = gByName.find(qmgrName);
  auto control = it == gByName.end() ? nullptr : it->second.lock();
  if (!control) return false;
  std::lock_guard lk2(control->mu);
  return control->running && control->attached;
}

void installIn(Registry& registry) {
  registry.setHostListener([](const std::shared_ptr<QueueManager>& qm) { attach(qm); });
}

}  // namespace qmsim::cmdserver
