#include "cmdserver/status_display.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "cmdserver/exec_support.h"
#include "cmdserver/model.h"
#include "engine/admission.h"

namespace qmsim::cmdserver {

namespace {

using Clock = std::chrono::system_clock;

std::string kv(const std::string& k, const std::string& v) { return k + "(" + (v.empty() ? " " : v) + ")"; }
std::string kv(const std::string& k, long v) { return k + "(" + std::to_string(v) + ")"; }

std::string nameOf(const MqscCommand& cmd, bool& ok) {
  ok = cmd.objectParam && cmd.objectParam->items.size() == 1 && !cmd.objectParam->items[0].empty();
  return ok ? cmd.objectParam->items[0] : "";
}

// Only the keywords in allowed (and CMDSCOPE and the like) may follow.
std::optional<MqscResponse> checkParams(const MqscCommand& cmd, std::initializer_list<const char*> allowed,
                                        const std::string& syntax) {
  for (const auto& p : cmd.params) {
    if (p.keyword == "CMDSCOPE" || p.keyword == "ALL" || p.keyword == "WHERE") continue;
    bool ok = false;
    for (const char* a : allowed) ok |= p.keyword == a;
    if (!ok) return syntaxError(segmentUpTo(cmd, p.keyword), syntax);
  }
  return std::nullopt;
}

std::string hexConn(ConnId id) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(id));
  return buf;
}

MqscResponse queueStatus(ExecContext& ctx, const MqscCommand& cmd) {
  const std::string syntax = "  DISPLAY QSTATUS( generic_q_name ) [ TYPE( QUEUE | HANDLE ) ] [ ALL ]";
  bool ok = false;
  std::string pattern = nameOf(cmd, ok);
  if (!ok) return syntaxError(cmd.text, syntax);
  if (auto bad = checkParams(cmd, {"TYPE", "CURDEPTH", "IPPROCS", "OPPROCS", "UNCOM", "MONITOR", "OPENTYPE"}, syntax))
    return *bad;
  std::string type = "QUEUE";
  if (const MqscParam* t = cmd.find("TYPE")) {
    if (t->items.size() != 1 || (t->items[0] != "QUEUE" && t->items[0] != "HANDLE"))
      return syntaxError(segmentUpTo(cmd, "TYPE"), syntax);
    type = t->items[0];
  }
  MqscResponse r;
  auto conns = type == "HANDLE" ? ctx.qm.connections() : std::vector<ConnectionInfo>{};
  for (const auto& def : ctx.qm.objects(ObjectKind::Queue, pattern)) {
    if (def.queueType() != "QLOCAL") continue;
    auto st = ctx.qm.queueStatus(def.name);
    if (!st) continue;
    if (type == "QUEUE") {
      r.items.push_back(
          detailRecord("AMQ8450I: Display queue status details.",
                       {kv("QUEUE", def.name), "TYPE(QUEUE)", kv("CURDEPTH", st->depth), kv("IPPROCS", st->openInput),
                        kv("OPPROCS", st->openOutput), std::string("UNCOM(") + (st->uncommitted ? "YES" : "NO") + ")"},
                       "CSQM452I"));
      continue;
    }
    for (const auto& c : conns)
      for (const auto& h : c.handles) {
        if (h.objectName != def.name) continue;
        bool input = h.options & (MQOO_INPUT_AS_Q_DEF | MQOO_INPUT_SHARED | MQOO_INPUT_EXCLUSIVE);
        std::string in = !input ? "NO" : (h.options & MQOO_INPUT_EXCLUSIVE) ? "EXCL" : "SHARED";
        r.items.push_back(
            detailRecord("AMQ8450I: Display queue status details.",
                         {kv("QUEUE", def.name), "TYPE(HANDLE)", kv("APPLTAG", c.params.applName), "APPLTYPE(USER)",
                          std::string("BROWSE(") + (h.options & MQOO_BROWSE ? "YES" : "NO") + ")",
                          kv("CHANNEL", c.params.channel), kv("CONNAME", c.params.connName), "INPUT(" + in + ")",
                          std::string("INQUIRE(") + (h.options & MQOO_INQUIRE ? "YES" : "NO") + ")",
                          std::string("OUTPUT(") + (h.options & MQOO_OUTPUT ? "YES" : "NO") + ")",
                          kv("PID", static_cast<long>(::getpid())),
                          std::string("SET(") + (h.options & MQOO_SET ? "YES" : "NO") + ")",
                          kv("USERID", c.params.userId), kv("CONN", hexConn(c.id))},
                         "CSQM452I"));
      }
  }
  if (r.items.empty()) return notFound(pattern, "QSTATUS(" + pattern + ")");
  return r;
}

MqscResponse runtimeStatus(ExecContext& ctx, const MqscCommand& cmd, ObjectKind kind,
                           std::map<std::string, RuntimeState::Running>& table, const std::string& header,
                           const std::string& nameKw) {
  bool ok = false;
  std::string pattern = nameOf(cmd, ok);
  if (!ok) return syntaxError(cmd.text, "  DISPLAY " + cmd.object + "( generic_name ) [ ALL ]");
  MqscResponse r;
  std::lock_guard lk(ctx.state.mu);
  for (const auto& [name, run] : table) {
    bool shown = run.status == "RUNNING" ||
                 (kind == ObjectKind::Channel && (run.status == "RETRYING" || run.status == "STOPPED"));
    if (!genericMatch(pattern, name) || !shown) continue;
    auto def = ctx.qm.object(kind, name);
    std::vector<std::string> attrs = {kv(nameKw, name)};
    if (kind == ObjectKind::Channel) {
      std::string type = def ? def->get("CHLTYPE") : "";
      attrs.insert(attrs.end(),
                   {kv("CHLTYPE", type), kv("CONNAME", def ? def->get("CONNAME") : ""), "CURRENT", kv("RQMNAME", ""),
                    kv("STATUS", run.status), run.status == "RUNNING" ? "SUBSTATE(MQGET)" : "SUBSTATE( )",
                    kv("XMITQ", def ? def->get("XMITQ") : ""), kv("CHSTADA", mqscDate(run.since)),
                    kv("CHSTATI", mqscTime(run.since))});
    } else {
      attrs.insert(attrs.end(), {kv("STATUS", run.status), kv("PID", static_cast<long>(::getpid())),
                                 kv("STARTDA", mqscDate(run.since)), kv("STARTTI", mqscTime(run.since)),
                                 kv("DESCR", def ? def->get("DESCR") : "")});
      if (kind == ObjectKind::Listener)
        attrs.insert(attrs.end(),
                     {kv("TRPTYPE", def ? def->get("TRPTYPE", "TCP") : "TCP"),
                      kv("CONTROL", def ? def->get("CONTROL", "MANUAL") : "MANUAL"),
                      kv("IPADDR", def ? def->get("IPADDR") : ""), kv("PORT", def ? def->get("PORT", "0") : "0"),
                      kv("BACKLOG", def ? def->get("BACKLOG", "0") : "0")});
    }
    r.items.push_back(detailRecord(header, std::move(attrs), kind == ObjectKind::Channel ? "CSQM422I" : "CSQM423I"));
  }
  if (r.items.empty()) {
    if (kind == ObjectKind::Channel)
      return single(message("AMQ8420I", "Channel Status not found.", Fault::NotFound, "CHSTATUS(" + pattern + ")"));
    return notFound(pattern, cmd.object + "(" + pattern + ")");
  }
  return r;
}

MqscResponse connStatus(ExecContext& ctx, const MqscCommand& cmd) {
  bool ok = false;
  std::string pattern = nameOf(cmd, ok);
  if (!ok) return syntaxError(cmd.text, "  DISPLAY CONN( generic_connection_id ) [ TYPE( CONN | HANDLE | ALL ) ]");
  MqscResponse r;
  for (const auto& c : ctx.qm.connections()) {
    std::string id = hexConn(c.id);
    if (!genericMatch(pattern, id)) continue;
    r.items.push_back(detailRecord(
        "AMQ8276I: Display Connection details.",
        {kv("CONN", id), kv("EXTCONN", "414D5143" + hexConn(c.id)), "TYPE(CONN)",
         kv("PID", static_cast<long>(::getpid())), kv("APPLTAG", c.params.applName), "APPLTYPE(USER)", "ASTATE(NONE)",
         kv("CHANNEL", c.params.channel), kv("CONNAME", c.params.connName), kv("USERID", c.params.userId),
         kv("CONNOPTS", c.params.channel.empty() ? "MQCNO_SHARED_BINDING" : "MQCNO_HANDLE_SHARE_BLOCK"),
         "UOWSTATE(NONE)", "URTYPE(QMGR)"},
        "CSQM201I"));
  }
  if (r.items.empty()) return notFound(pattern, "CONN(" + pattern + ")");
  return r;
}

MqscResponse qmgrStatus(ExecContext& ctx, const MqscCommand& cmd) {
  auto conns = ctx.qm.connections();
  return single(
      detailRecord("AMQ8705I: Display Queue Manager Status Details.",
                   {kv("QMNAME", ctx.qm.name()), "TYPE(QMGR)", "STATUS(RUNNING)", "CHINIT(RUNNING)", "CMDSERV(RUNNING)",
                    kv("CONNS", static_cast<long>(conns.size())), kv("STARTDA", mqscDate(ctx.state.started)),
                    kv("STARTTI", mqscTime(ctx.state.started)), "HA( )", "INSTANCE( )", kv("INSTDESC", ""),
                    "INSTPATH(/opt/mqm)", "LDAPCONN(INACTIVE)", "STANDBY(NOPERMIT)"},
                   "CSQM201I"));
}

MqscResponse pubsubStatus(ExecContext& ctx, const MqscCommand& cmd) {
  long subs = static_cast<long>(ctx.qm.objects(ObjectKind::Subscription).size());
  long topics = static_cast<long>(ctx.qm.objects(ObjectKind::Topic).size());
  return single(detailRecord(
      "AMQ8723I: Display pub/sub status details.",
      {kv("QMNAME", ctx.qm.name()), "TYPE(LOCAL)", "STATUS(ACTIVE)", kv("SUBCOUNT", subs), kv("TPCOUNT", topics)},
      "CSQM201I"));
}

MqscResponse subStatus(ExecContext& ctx, const MqscCommand& cmd) {
  bool ok = false;
  std::string pattern = nameOf(cmd, ok);
  if (!ok) return syntaxError(cmd.text, "  DISPLAY SBSTATUS( generic_name ) [ ALL ]");
  MqscResponse r;
  for (const auto& s : ctx.qm.objects(ObjectKind::Subscription)) {
    if (!genericMatch(pattern, s.name)) continue;
    r.items.push_back(detailRecord("AMQ8099I: IBM MQ subscription status inquired.",
                                   {kv("SUB", s.name), kv("SUBID", s.get("SUBID")), "DURABLE(YES)", "SUBTYPE(ADMIN)",
                                    kv("RESMDATE", s.get("ALTDATE")), kv("RESMTIME", s.get("ALTTIME")), "LMSGDATE( )",
                                    "LMSGTIME( )", "ACTCONN(000000000000000000000000000000000000000000000000)",
                                    "NUMMSGS(0)", kv("SUBUSER", s.get("SUBUSER"))},
                                   "CSQM420I"));
  }
  if (r.items.empty()) return notFound(pattern, "SBSTATUS(" + pattern + ")");
  return r;
}

MqscResponse topicStatus(ExecContext& ctx, const MqscCommand& cmd) {
  bool ok = false;
  std::string pattern = nameOf(cmd, ok);
  if (!ok) return syntaxError(cmd.text, "  DISPLAY TPSTATUS( topic_string ) [ TYPE( TOPIC | SUB | PUB ) ]");
  MqscResponse r;
  // One pass over the topics and subscriptions: each topic string with the topic object
  // that administers it and its subscription count (a pass per string made a display of
  // a few thousand topics take minutes).
  struct TopicString {
    std::string admin;
    long subs = 0;
  };
  std::map<std::string, TopicString> strings;
  for (const auto& t : ctx.qm.objects(ObjectKind::Topic)) strings[t.get("TOPICSTR")].admin = t.name;
  for (const auto& s : ctx.qm.objects(ObjectKind::Subscription)) ++strings[s.get("TOPICSTR")].subs;
  for (const auto& [str, topic] : strings) {
    if (!(pattern == "#" || pattern == "*" || genericMatch(pattern, str))) continue;
    r.items.push_back(detailRecord("AMQ8754I: Display topic status details.",
                                   {kv("TOPICSTR", str), kv("ADMIN", topic.admin), "CLUSTER( )", "COMMINFO( )",
                                    "DEFPRESP(SYNC)", "DEFPRTY(0)", "DEFPSIST(NO)", "DURSUB(YES)", "PUB(ENABLED)",
                                    "SUB(ENABLED)", kv("SUBCOUNT", topic.subs), "PUBCOUNT(0)", "RETAINED(NO)"},
                                   "CSQM421I"));
  }
  if (r.items.empty()) return notFound(pattern, "TPSTATUS(" + pattern + ")");
  return r;
}

struct StatusRow {
  const char* object;
  const char* alias;
};

}  // namespace

std::optional<MqscResponse> displayStatus(ExecContext& ctx, const MqscCommand& cmd) {
  const std::string& o = cmd.object;
  if (o == "QSTATUS" || o == "QS") return queueStatus(ctx, cmd);
  if (o == "CHSTATUS" || o == "CHS")
    return runtimeStatus(ctx, cmd, ObjectKind::Channel, ctx.state.channels, "AMQ8417I: Display Channel Status details.",
                         "CHANNEL");
  if (o == "LSSTATUS")
    return runtimeStatus(ctx, cmd, ObjectKind::Listener, ctx.state.listeners,
                         "AMQ8631I: Display listener status details.", "LISTENER");
  if (o == "SVSTATUS")
    return runtimeStatus(ctx, cmd, ObjectKind::Service, ctx.state.services, "AMQ8632I: Display service status details.",
                         "SERVICE");
  if (o == "CONN") return connStatus(ctx, cmd);
  if (o == "QMSTATUS") return qmgrStatus(ctx, cmd);
  if (o == "PUBSUB") return pubsubStatus(ctx, cmd);
  if (o == "SBSTATUS" || o == "SBS") return subStatus(ctx, cmd);
  if (o == "TPSTATUS" || o == "TPS") return topicStatus(ctx, cmd);
  if (o == "CLUSQMGR" || o == "TCLUSTER") {
    bool ok = false;
    std::string pattern = nameOf(cmd, ok);
    if (!ok)
      return syntaxError(cmd.text, "  DISPLAY " + o +
                                       (o == "CLUSQMGR" ? "( generic_qmgr_name )" : "( generic_topic_name )") +
                                       " [ ALL ]");
    return notFound(pattern, o + "(" + pattern + ")");  // no clusters are simulated
  }
  return std::nullopt;
}

// --- START and STOP -------------------------------------------------------------------------------

namespace {

// The channel named is of a type the command does not act on (AMQ9547E is the remote
// partner's type, reported when a channel starts).
MqscResponse typeNotSuitable(const std::string& zosObject) {
  return single(
      message("AMQ9502E", "Type of channel not suitable for action requested.", Fault::NotAllowed, zosObject));
}

// Channels that call their partner: those that wait for it (a server with no
// connection name) do not.
bool initiates(const ObjectDef& def) {
  std::string type = def.get("CHLTYPE");
  return type == "SDR" || type == "RQSTR" || type == "CLUSSDR" || (type == "SVR" && !def.get("CONNAME").empty());
}

}  // namespace

// Whether the first address of a connection name (host(port), port 1414 when
// omitted) takes a TCP connection within a short wait.
bool reachable(const std::string& conname) {
  std::string first = conname.substr(0, conname.find(','));
  std::string host = first, port = "1414";
  if (size_t open = first.find('('); open != std::string::npos) {
    size_t close = first.find(')', open);
    if (close == std::string::npos) return false;
    host = first.substr(0, open);
    port = first.substr(open + 1, close - open - 1);
  }
  while (!host.empty() && host.back() == ' ') host.pop_back();
  if (host.empty() || port.empty()) return false;
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &res) != 0 || !res) return false;
  bool ok = false;
  for (addrinfo* a = res; a && !ok; a = a->ai_next) {
    int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (rc == 0) {
      ok = true;
    } else if (errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int err = 0;
      socklen_t len = sizeof err;
      ok = ::poll(&p, 1, 500) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
    ::close(fd);
  }
  ::freeaddrinfo(res);
  return ok;
}

MqscResponse startStop(ExecContext& ctx, const MqscCommand& cmd, const std::string& verb) {
  struct Row {
    const char* object;
    const char* alias;
    ObjectKind kind;
    std::map<std::string, RuntimeState::Running> RuntimeState::*table;
    const char* started;
    const char* stopped;
  };
  static const Row rows[] = {
      {"CHANNEL", "CHL", ObjectKind::Channel, &RuntimeState::channels, "AMQ8018I: Start IBM MQ channel accepted.",
       "AMQ8019I: Stop IBM MQ channel accepted."},
      {"LISTENER", "LSTR", ObjectKind::Listener, &RuntimeState::listeners,
       "AMQ8021I: Request to start IBM MQ listener accepted.", "AMQ8706I: Request to stop IBM MQ listener accepted."},
      {"SERVICE", "", ObjectKind::Service, &RuntimeState::services, "AMQ8733I: Request to start Service accepted.",
       "AMQ8735I: Request to stop Service accepted."},
  };
  const Row* row = nullptr;
  for (const auto& r : rows)
    if (cmd.object == r.object || (*r.alias && cmd.object == r.alias)) row = &r;
  if (!row) {
    std::string syntax = "  " + verb + " CHANNEL | LISTENER | SERVICE";
    return syntaxError(cmd.verb + (cmd.object.empty() ? "" : " " + cmd.object), syntax);
  }
  bool ok = false;
  std::string name = nameOf(cmd, ok);
  std::string syntax = "  " + verb + " " + row->object + "( name )";
  if (!ok) return syntaxError(cmd.text, syntax);
  for (const auto& p : cmd.params)
    if (p.keyword != "CMDSCOPE" && p.keyword != "MODE" && p.keyword != "STATUS" && p.keyword != "CHLDISP" &&
        p.keyword != "IGNSTATE")
      return syntaxError(segmentUpTo(cmd, p.keyword), syntax);
  // IGNSTATE(YES): starting what runs, or stopping what does not, is no error.
  bool ignoreState = false;
  if (const MqscParam* ig = cmd.find("IGNSTATE")) {
    if (ig->items.size() != 1 || (ig->items[0] != "YES" && ig->items[0] != "NO"))
      return syntaxError(segmentUpTo(cmd, "IGNSTATE"), syntax);
    ignoreState = ig->items[0] == "YES";
  }
  std::string zo = std::string(row->object) + "(" + name + ")";
  auto def = ctx.qm.object(row->kind, name);
  if (!def) {
    // The channel code, not the object code, answers a start of a channel never defined.
    if (verb == "START" && row->kind == ObjectKind::Channel)
      return single(message("AMQ8227E", "Channel " + name + " not found.", Fault::NotFound, zo));
    return notFound(name, zo);
  }
  std::string startsAs = "RUNNING";
  if (verb == "START" && row->kind == ObjectKind::Channel) {
    std::string type = def->get("CHLTYPE");
    if (type == "CLNTCONN") return typeNotSuitable(zo);
    // A channel that waits for its partner is only enabled again: it has no status
    // until the partner starts it.
    if (type == "RCVR" || type == "SVRCONN" || type == "CLUSRCVR") {
      std::lock_guard lk(ctx.state.mu);
      if (auto it = ctx.state.channels.find(name); it != ctx.state.channels.end() && it->second.status == "STOPPED")
        ctx.state.channels.erase(it);
      return single(message("AMQ8018I", "Start IBM MQ channel accepted.", Fault::None, zo));
    }
    // A channel that calls out keeps retrying while its partner does not answer.
    if (initiates(*def) && !reachable(def->get("CONNAME"))) startsAs = "RETRYING";
  }
  std::string stopStatus = "STOPPED";
  if (const MqscParam* st = cmd.find("STATUS")) {
    if (st->items.size() != 1 || (st->items[0] != "STOPPED" && st->items[0] != "INACTIVE"))
      return syntaxError(segmentUpTo(cmd, "STATUS"), syntax);
    stopStatus = st->items[0];
  }
  std::lock_guard lk(ctx.state.mu);
  auto& table = ctx.state.*(row->table);
  auto& entry = table[name];
  std::string msg = verb == "START" ? row->started : row->stopped;
  if (verb == "START") {
    bool running = entry.status == "RUNNING" || (row->kind == ObjectKind::Channel && entry.status == "RETRYING");
    if (running && row->kind == ObjectKind::Channel && !ignoreState)
      return single(message("AMQ9514E", "Channel '" + name + "' is in use.", Fault::InUse, zo));
    // A second start of a running listener is refused, as a stop of a stopped one is.
    if (running && row->kind == ObjectKind::Listener && !ignoreState)
      return single(message("AMQ8730W", "Listener already active.", Fault::InUse, zo));
    if (!running) entry = {startsAs, Clock::now()};
  } else {
    bool active = entry.status == "RUNNING" || (row->kind == ObjectKind::Channel && entry.status == "RETRYING");
    if (!active && ignoreState) {
      if (entry.status.empty()) table.erase(name);
      size_t colon = msg.find(": ");
      return single(message(msg.substr(0, colon), msg.substr(colon + 2), Fault::None, zo));
    }
    if (!active) {
      if (row->kind == ObjectKind::Channel)
        return single(message("AMQ9533E", "Channel '" + name + "' is not currently active.", Fault::NotActive, zo));
      if (row->kind == ObjectKind::Listener)
        return single(message("AMQ8731W", "Listener not active.", Fault::NotActive, zo));
      return single(message("AMQ8736E", "Service '" + name + "' is not running.", Fault::NotActive, zo));
    }
    if (row->kind == ObjectKind::Channel && stopStatus == "INACTIVE") table.erase(name);
    else entry = {"STOPPED", Clock::now()};
  }
  size_t colon = msg.find(": ");
  return single(message(msg.substr(0, colon), msg.substr(colon + 2), Fault::None, zo));
}

// --- RESET, RESOLVE and PING CHANNEL; SUSPEND and RESUME QMGR ---------------------------------------

MqscResponse channelAction(ExecContext& ctx, const MqscCommand& cmd, const std::string& verb) {
  if (cmd.object != "CHANNEL" && cmd.object != "CHL") {
    std::string objects = verb == "PING" ? "QMGR | CHANNEL" : verb == "RESET" ? "CHANNEL | QSTATS" : "CHANNEL";
    return syntaxError(cmd.verb + (cmd.object.empty() ? "" : " " + cmd.object), "  " + verb + " " + objects);
  }
  std::string syntax = "  " + verb + " CHANNEL( channel_name )";
  if (verb == "RESET") syntax += " [ SEQNUM( integer ) ]";
  if (verb == "RESOLVE") syntax += " ACTION( COMMIT | BACKOUT )";
  if (verb == "PING") syntax += " [ DATALEN( integer ) ]";
  bool ok = false;
  std::string name = nameOf(cmd, ok);
  if (!ok || name.size() > 20) return syntaxError(cmd.text, syntax);
  for (const auto& p : cmd.params) {
    if (p.keyword == "CMDSCOPE" || p.keyword == "CHLDISP") continue;
    long n = 0;
    bool number = p.items.size() == 1 && !p.items[0].empty() &&
                  p.items[0].find_first_not_of("0123456789") == std::string::npos && p.items[0].size() <= 9;
    if (number) n = std::stol(p.items[0]);
    bool good = (verb == "RESET" && p.keyword == "SEQNUM" && number && n >= 1) ||
                (verb == "PING" && p.keyword == "DATALEN" && number && n >= 16 && n <= 32768) ||
                (verb == "RESOLVE" && p.keyword == "ACTION" && p.items.size() == 1 &&
                 (p.items[0] == "COMMIT" || p.items[0] == "BACKOUT"));
    if (!good) return syntaxError(segmentUpTo(cmd, p.keyword), syntax);
  }
  if (verb == "RESOLVE" && !cmd.find("ACTION")) return syntaxError(cmd.text, syntax);
  std::string zo = "CHANNEL(" + name + ")";
  auto def = ctx.qm.object(ObjectKind::Channel, name);
  if (!def) return notFound(name, zo);
  std::string type = def->get("CHLTYPE");
  bool clientType = type == "SVRCONN" || type == "CLNTCONN";
  bool sends = type == "SDR" || type == "SVR" || type == "CLUSSDR";
  if (clientType || (verb != "RESET" && !sends)) return typeNotSuitable(zo);
  std::string status;
  {
    std::lock_guard lk(ctx.state.mu);
    auto it = ctx.state.channels.find(name);
    if (it != ctx.state.channels.end()) status = it->second.status;
  }
  bool active = status == "RUNNING" || status == "RETRYING";
  if (verb == "RESET") return single(message("AMQ8023I", "IBM MQ channel reset.", Fault::None, zo));
  if (active) return single(message("AMQ9514E", "Channel '" + name + "' is in use.", Fault::InUse, zo));
  if (verb == "RESOLVE") return single(message("AMQ8025I", "IBM MQ channel resolved.", Fault::None, zo));
  std::string conname = def->get("CONNAME");
  if (conname.empty() || !reachable(conname))
    return single(
        message("AMQ9202E", "Remote host '" + conname + "' not available, retry later.", Fault::NotActive, zo));
  return single(message("AMQ8020I", "Ping IBM MQ channel complete.", Fault::None, zo));
}

MqscResponse suspendResume(ExecContext& ctx, const MqscCommand& cmd, const std::string& verb) {
  std::string syntax = "  " + verb + " QMGR CLUSTER( cluster_name ) | CLUSNL( namelist_name )" +
                       (verb == "SUSPEND" ? " [ MODE( QUIESCE | FORCE ) ]" : "");
  if (cmd.object != "QMGR" || cmd.objectParam)
    return syntaxError(cmd.verb + (cmd.object.empty() ? "" : " " + cmd.object), syntax);
  const MqscParam* cluster = cmd.find("CLUSTER");
  const MqscParam* clusnl = cmd.find("CLUSNL");
  if (!cluster == !clusnl) return syntaxError(cmd.text, syntax);
  for (const auto& p : cmd.params) {
    bool good =
        p.keyword == "CMDSCOPE" ||
        ((p.keyword == "CLUSTER" || p.keyword == "CLUSNL") && p.items.size() == 1 && validObjectName(p.items[0], 48)) ||
        (verb == "SUSPEND" && p.keyword == "MODE" && p.items.size() == 1 &&
         (p.items[0] == "QUIESCE" || p.items[0] == "FORCE"));
    if (!good) return syntaxError(segmentUpTo(cmd, p.keyword), syntax);
  }
  if (clusnl && !ctx.qm.object(ObjectKind::Namelist, clusnl->items[0]))
    return notFound(clusnl->items[0], "NAMELIST(" + clusnl->items[0] + ")");
  // Accepted as IBM accepts it; with no cluster to leave or rejoin there is nothing more to do.
  if (verb == "SUSPEND")
    return single(message("AMQ8559I", "Suspend Queue Manager Cluster command accepted.", Fault::None, "QMGR"));
  return single(message("AMQ8558I", "Resume Queue Manager Cluster command accepted.", Fault::None, "QMGR"));
}

// --- CHLAUTH ---------------------------------------------------------------------------------------

namespace {

// A record is stored under "profile TYPE identity" so SET can find it again.
const char* kChlauthTypes[] = {"BLOCKUSER", "BLOCKADDR", "SSLPEERMAP", "ADDRESSMAP", "USERMAP", "QMGRMAP"};

std::string identityKeyword(const std::string& type) {
  if (type == "BLOCKUSER") return "USERLIST";
  if (type == "BLOCKADDR") return "ADDRLIST";
  if (type == "SSLPEERMAP") return "SSLPEER";
  if (type == "ADDRESSMAP") return "ADDRESS";
  if (type == "USERMAP") return "CLNTUSER";
  return "QMNAME";
}

std::vector<std::string> chlauthAttrs(const ObjectDef& rec, bool all) {
  std::string type = rec.get("TYPE");
  std::vector<std::string> a = {kv("CHLAUTH", rec.get("PROFILE")), kv("TYPE", type)};
  std::string idk = identityKeyword(type);
  a.push_back(kv(idk, rec.get(idk)));
  if (type != "BLOCKUSER" && type != "BLOCKADDR") {
    a.push_back(kv("USERSRC", rec.get("USERSRC", "CHANNEL")));
    if (!rec.get("MCAUSER").empty() || all) a.push_back(kv("MCAUSER", rec.get("MCAUSER")));
  }
  if (all) {
    a.push_back(kv("DESCR", rec.get("DESCR")));
    a.push_back(kv("CUSTOM", rec.get("CUSTOM")));
    a.push_back(kv("ALTDATE", rec.get("ALTDATE")));
    a.push_back(kv("ALTTIME", rec.get("ALTTIME")));
  }
  if (type != "BLOCKUSER" && type != "BLOCKADDR" && all) a.push_back(kv("CHCKCLNT", rec.get("CHCKCLNT", "ASQMGR")));
  if (type != "BLOCKUSER" && type != "BLOCKADDR" && all) a.push_back(kv("WARN", rec.get("WARN", "NO")));
  return a;
}

ObjectDef chlauthRecord(const std::string& profile, const std::string& type, const std::string& identity) {
  std::string idk = identityKeyword(type);
  return ObjectDef{ObjectKind::ChlAuth,
                   profile + " " + type + " " + identity,
                   {{"PROFILE", profile}, {"TYPE", type}, {idk, identity}}};
}

}  // namespace

void ensureDefaultChlauth(QueueManager& qm) {
  if (!qm.objects(ObjectKind::ChlAuth).empty() || qm.qmgrObject().get("CHLAUTHINIT") == "YES") return;
  ObjectDef a = chlauthRecord("SYSTEM.ADMIN.SVRCONN", "ADDRESSMAP", "*");
  a.attrs["USERSRC"] = "CHANNEL";
  a.attrs["DESCR"] = "Default rule to allow MQ Explorer access";
  ObjectDef b = chlauthRecord("SYSTEM.*", "ADDRESSMAP", "*");
  b.attrs["USERSRC"] = "NOACCESS";
  b.attrs["DESCR"] = "Default rule to disable all SYSTEM channels";
  ObjectDef c = chlauthRecord("*", "BLOCKUSER", "*MQADMIN");
  c.attrs["DESCR"] = "Default rule to disallow privileged users";
  for (auto& r : {a, b, c}) qm.define(r, true);
  qm.alterQMgr({{"CHLAUTHINIT", "YES"}});  // created once: records the user removes stay removed
}

namespace {

// The one record a connection with the channel, address and client user given would
// meet, or the user id it would run under when none applies.
MqscResponse runCheck(ExecContext& ctx, const MqscCommand& cmd, const std::string& channel, const std::string& syntax) {
  const MqscParam* address = cmd.find("ADDRESS");
  const MqscParam* user = cmd.find("CLNTUSER");
  bool named = channel.find('*') == std::string::npos;
  if (!named || !address || address->items.size() != 1 || (!user && !cmd.find("QMNAME") && !cmd.find("SSLPEER")))
    return syntaxError(cmd.text, syntax);
  admission::ClientHello hello{channel, address->items[0], user && user->items.size() == 1 ? user->items[0] : "", "",
                               std::nullopt};
  auto rules = ctx.qm.objects(ObjectKind::ChlAuth);
  if (const ObjectDef* rec = admission::mappingRecord(hello, rules))
    return single(detailRecord("AMQ8878I: Display channel authentication record details.",
                               chlauthAttrs(*rec, cmd.find("ALL") != nullptr), "CSQM448I"));
  auto def = ctx.qm.object(ObjectKind::Channel, channel);
  std::string mcaUser = def && !def->get("MCAUSER").empty() ? def->get("MCAUSER") : hello.assertedUser;
  return single(message("AMQ9783I", "Channel will run using MCAUSER('" + mcaUser + "').", Fault::None,
                        "CHLAUTH(" + channel + ")"));
}

}  // namespace

MqscResponse displayChlauth(ExecContext& ctx, const MqscCommand& cmd) {
  const std::string syntax = "  DISPLAY CHLAUTH( generic_channel_name ) [ TYPE( type ) ] [ ALL ]";
  bool ok = false;
  std::string pattern = nameOf(cmd, ok);
  if (!ok) return syntaxError(cmd.text, syntax);
  if (auto bad = checkParams(
          cmd, {"TYPE", "MATCH", "ADDRESS", "CLNTUSER", "SSLPEER", "QMNAME", "DESCR", "USERSRC", "MCAUSER"}, syntax))
    return *bad;
  std::string typeFilter;
  if (const MqscParam* t = cmd.find("TYPE"); t && t->items.size() == 1 && t->items[0] != "ALL")
    typeFilter = t->items[0];
  bool all = cmd.find("ALL") != nullptr;
  std::string match = "GENERIC";
  if (const MqscParam* m = cmd.find("MATCH")) {
    static const std::set<std::string> kinds = {"GENERIC", "EXACT", "ALL", "RUNCHECK"};
    if (m->items.size() != 1 || !kinds.count(m->items[0])) return syntaxError(segmentUpTo(cmd, "MATCH"), syntax);
    match = m->items[0];
  }
  if (match == "RUNCHECK") return runCheck(ctx, cmd, pattern, syntax);
  MqscResponse r;
  for (const auto& rec : ctx.qm.objects(ObjectKind::ChlAuth)) {
    // GENERIC: the name given is a pattern over the profiles; EXACT: the profile named;
    // ALL: every profile that covers the channel named.
    const std::string profile = rec.get("PROFILE");
    bool selected = match == "EXACT" ? profile == pattern
                    : match == "ALL" ? admission::channelProfileMatches(profile, pattern)
                                     : genericMatch(pattern, profile);
    if (!selected) continue;
    if (!typeFilter.empty() && rec.get("TYPE") != typeFilter) continue;
    r.items.push_back(
        detailRecord("AMQ8878I: Display channel authentication record details.", chlauthAttrs(rec, all), "CSQM448I"));
  }
  if (r.items.empty())
    return single(
        message("AMQ8884E", "Channel authentication record not found.", Fault::NotFound, "CHLAUTH(" + pattern + ")"));
  return r;
}

MqscResponse setChlauth(ExecContext& ctx, const MqscCommand& cmd) {
  const std::string syntax =
      "  SET CHLAUTH( channel_name ) TYPE( BLOCKUSER | BLOCKADDR | SSLPEERMAP | ADDRESSMAP | USERMAP | QMGRMAP )\n"
      "      [ ACTION( ADD | REPLACE | REMOVE | REMOVEALL ) ] [ identity ] [ USERSRC( MAP | NOACCESS | CHANNEL ) ]\n"
      "      [ MCAUSER( user ) ] [ DESCR( text ) ]";
  bool ok = false;
  std::string profile = nameOf(cmd, ok);
  const MqscParam* t = cmd.find("TYPE");
  if (!ok || profile.size() > 48) return syntaxError(cmd.text, syntax);
  if (!t || t->items.size() != 1 ||
      std::find(std::begin(kChlauthTypes), std::end(kChlauthTypes), t->items[0]) == std::end(kChlauthTypes))
    return syntaxError(segmentUpTo(cmd, "TYPE"), syntax);
  std::string type = t->items[0];
  std::string idk = identityKeyword(type);
  std::string action = "REPLACE";
  if (const MqscParam* a = cmd.find("ACTION")) {
    if (a->items.size() != 1) return syntaxError(segmentUpTo(cmd, "ACTION"), syntax);
    action = a->items[0];
    if (action != "ADD" && action != "REPLACE" && action != "REMOVE" && action != "REMOVEALL")
      return syntaxError(segmentUpTo(cmd, "ACTION"), syntax);
  }
  std::map<std::string, std::string> values;
  for (const auto& p : cmd.params) {
    static const std::set<std::string> known = {"TYPE",     "ACTION",   "USERSRC",  "MCAUSER", "DESCR",    "CUSTOM",
                                                "CHCKCLNT", "WARN",     "CMDSCOPE", "ADDRESS", "CLNTUSER", "SSLPEER",
                                                "QMNAME",   "USERLIST", "ADDRLIST", "SSLCERTI"};
    if (!known.count(p.keyword) || !p.hasValue) return syntaxError(segmentUpTo(cmd, p.keyword), syntax);
    if (p.keyword == "TYPE" || p.keyword == "ACTION" || p.keyword == "CMDSCOPE") continue;
    values[p.keyword] = p.value();
  }
  if (values.count("USERSRC")) {
    const std::string& u = values["USERSRC"];
    if (u != "MAP" && u != "NOACCESS" && u != "CHANNEL") return syntaxError(segmentUpTo(cmd, "USERSRC"), syntax);
  }
  std::string zo = "CHLAUTH(" + profile + ")";
  if (action == "REMOVEALL") {
    for (const auto& rec : ctx.qm.objects(ObjectKind::ChlAuth))
      if (rec.get("PROFILE") == profile && rec.get("TYPE") == type) ctx.qm.remove(ObjectKind::ChlAuth, rec.name, false);
    return single(message("AMQ8877I", "IBM MQ channel authentication record set.", Fault::None, zo));
  }
  if (!values.count(idk)) return syntaxError(cmd.text, syntax);
  ObjectDef rec = chlauthRecord(profile, type, values[idk]);
  auto existing = ctx.qm.object(ObjectKind::ChlAuth, rec.name);
  if (action == "REMOVE") {
    if (!existing) return single(message("AMQ8884E", "Channel authentication record not found.", Fault::NotFound, zo));
    ctx.qm.remove(ObjectKind::ChlAuth, rec.name, false);
    return single(message("AMQ8877I", "IBM MQ channel authentication record set.", Fault::None, zo));
  }
  if (existing && action == "ADD")
    return single(message("AMQ8885E", "Channel authentication record already exists.", Fault::AlreadyExists, zo));
  if ((type == "ADDRESSMAP" || type == "USERMAP" || type == "SSLPEERMAP" || type == "QMGRMAP") &&
      !values.count("USERSRC"))
    values["USERSRC"] = "MAP";
  if (values["USERSRC"] == "MAP" && values["MCAUSER"].empty() && type != "BLOCKUSER" && type != "BLOCKADDR")
    return syntaxError(cmd.text, syntax);
  if (existing) rec.attrs = existing->attrs;
  for (auto& [k, v] : values) rec.attrs[k] = v;
  Outcome o = ctx.qm.define(rec, true);
  if (!o.ok()) return unexpectedError(o.reason, zo);
  return single(message("AMQ8877I", "IBM MQ channel authentication record set.", Fault::None, zo));
}

}  // namespace qmsim::cmdserver
