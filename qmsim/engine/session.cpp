#include "engine/session.h"

#include <cstring>

namespace qmsim {

using kvarn::mqi::fieldText;
using kvarn::mqi::setField;

Outcome Session::connect(Registry& registry, std::shared_ptr<QueueManager> qm, const ConnectParams& params,
                         std::unique_ptr<Session>& session) {
  ConnId conn = 0;
  Outcome o = qm->connect(params, conn);
  if (!o.ok()) return o;
  session.reset(new Session(registry, std::move(qm), conn, params));
  return o;
}

Session::Session(Registry& registry, std::shared_ptr<QueueManager> home, ConnId conn, ConnectParams params)
    : registry_(registry), home_(std::move(home)), homeConn_(conn), params_(std::move(params)) {}

Session::~Session() { disconnect(); }

bool Session::lookup(MQHOBJ hobj, Target& target) const {
  std::lock_guard lk(mu_);
  auto it = handles_.find(hobj);
  if (it == handles_.end()) return false;
  target = it->second;
  return true;
}

Outcome Session::connectionTo(const std::shared_ptr<QueueManager>& qm, ConnId& conn) {
  std::lock_guard lk(mu_);
  auto it = routed_.find(qm->name());
  if (it != routed_.end() && it->second.first == qm) {
    conn = it->second.second;
    return {};
  }
  Outcome o = qm->connect(params_, conn);
  if (o.ok()) routed_[qm->name()] = {qm, conn};
  return o;
}

Outcome Session::open(MQOD& od, MQLONG options, MQHOBJ& hobj) {
  std::optional<RouteRequest> route;
  MQHOBJ engineHobj = MQHO_NONE;
  Target target{home_, homeConn_, MQHO_NONE};
  Outcome o = home_->open(homeConn_, od, options, engineHobj, &route);
  if (!o.ok() && route) {
    // The queue lives on another queue manager: reachable if this process hosts it.
    auto other = registry_.find(route->qmgr);
    if (!other || other == home_) return o;
    ConnId conn = 0;
    if (Outcome c = connectionTo(other, conn); !c.ok()) return c;
    MQOD routedOd = od;
    setField(routedOd.ObjectName, route->queue);
    setField(routedOd.ObjectQMgrName, "");
    o = other->open(conn, routedOd, options, engineHobj, nullptr);
    if (!o.ok()) return o;
    if (od.Version >= MQOD_VERSION_3) {
      std::memcpy(od.ResolvedQName, routedOd.ResolvedQName, 48);
      std::memcpy(od.ResolvedQMgrName, routedOd.ResolvedQMgrName, 48);
    }
    target = Target{other, conn, MQHO_NONE};
  }
  if (!o.ok()) return o;
  target.hobj = engineHobj;
  std::lock_guard lk(mu_);
  hobj = nextHobj_++;
  handles_[hobj] = target;
  return o;
}

Outcome Session::close(MQHOBJ& hobj, MQLONG options) {
  Target t;
  if (!lookup(hobj, t)) return Outcome::fail(MQRC_HOBJ_ERROR);
  Outcome o = t.qm->close(t.conn, t.hobj, options);
  if (o.ok()) {
    std::lock_guard lk(mu_);
    handles_.erase(hobj);
    hobj = MQHO_UNUSABLE_HOBJ;
  }
  return o;
}

Outcome Session::put(MQHOBJ hobj, MQMD& md, MQPMO& pmo, std::string_view data) {
  Target t;
  if (!lookup(hobj, t)) return Outcome::fail(MQRC_HOBJ_ERROR);
  // A blank ReplyToQMgr names the queue manager the application is connected to, even
  // when the message goes on to another one: its replies must find their way back.
  if (!fieldText(md.ReplyToQ).empty() && fieldText(md.ReplyToQMgr).empty()) setField(md.ReplyToQMgr, home_->name());
  return t.qm->put(t.conn, t.hobj, md, pmo, data);
}

Outcome Session::put1(MQOD& od, MQMD& md, MQPMO& pmo, std::string_view data) {
  MQHOBJ hobj = MQHO_NONE;
  MQLONG options = MQOO_OUTPUT | (pmo.Options & MQPMO_FAIL_IF_QUIESCING ? MQOO_FAIL_IF_QUIESCING : 0);
  if (Outcome o = open(od, options, hobj); !o.ok()) return o;
  Outcome o = put(hobj, md, pmo, data);
  close(hobj, MQCO_NONE);
  return o;
}

Outcome Session::get(MQHOBJ hobj, MQMD& md, MQGMO& gmo, MQLONG bufferLength, char* buffer, MQLONG& dataLength,
                     const CancelCheck& cancelled, bool nonPersistentOnly) {
  Target t;
  if (!lookup(hobj, t)) return Outcome::fail(MQRC_HOBJ_ERROR);
  return t.qm->get(t.conn, t.hobj, md, gmo, bufferLength, buffer, dataLength, cancelled, nonPersistentOnly);
}

Outcome Session::inquire(MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<MQLONG> intAttrs,
                         std::span<char> charAttrs) {
  Target t;
  if (!lookup(hobj, t)) return Outcome::fail(MQRC_HOBJ_ERROR);
  return t.qm->inquire(t.conn, t.hobj, selectors, intAttrs, charAttrs);
}

Outcome Session::set(MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<const MQLONG> intAttrs,
                     std::span<const char> charAttrs) {
  Target t;
  if (!lookup(hobj, t)) return Outcome::fail(MQRC_HOBJ_ERROR);
  return t.qm->set(t.conn, t.hobj, selectors, intAttrs, charAttrs);
}

Outcome Session::commit() {
  Outcome o = home_->commit(homeConn_);
  std::lock_guard lk(mu_);
  for (auto& [n, r] : routed_) r.first->commit(r.second);
  return o;
}

Outcome Session::backout() {
  Outcome o = home_->backout(homeConn_);
  std::lock_guard lk(mu_);
  for (auto& [n, r] : routed_) r.first->backout(r.second);
  return o;
}

void Session::disconnect() {
  std::map<std::string, std::pair<std::shared_ptr<QueueManager>, ConnId>> routed;
  {
    std::lock_guard lk(mu_);
    if (disconnected_) return;
    disconnected_ = true;
    routed.swap(routed_);
    handles_.clear();
  }
  home_->disconnect(homeConn_);
  for (auto& [n, r] : routed) r.first->disconnect(r.second);
}

}  // namespace qmsim
