#include "cmdserver/admin_commands.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

#include "cmdserver/exec_support.h"
#include "cmdserver/response.h"

namespace qmsim::cmdserver {

namespace {

// A keyword a command takes: the values it accepts (none listed: any one value), or
// a bare keyword.
struct Keyword {
  const char* name;
  std::vector<const char*> values;
  bool bare = false;
  bool required = false;
};

using Action = std::function<MqscResponse(ExecContext&, const MqscCommand&)>;

struct AdminCommand {
  const char* verb;
  std::vector<const char*> objects;  // the object keyword and its synonyms
  bool named;                        // the object keyword takes a name in brackets
  const char* syntax;
  std::vector<Keyword> keywords;
  Action act;
};

std::string kv(const std::string& k, const std::string& v) { return k + "(" + (v.empty() ? " " : v) + ")"; }

std::string param(const MqscCommand& cmd, const char* keyword, const std::string& fallback = "") {
  const MqscParam* p = cmd.find(keyword);
  return p && p->items.size() == 1 ? p->items[0] : fallback;
}

std::string nameOf(const MqscCommand& cmd) { return cmd.objectParam ? cmd.objectParam->value() : ""; }

std::string connectionId(ConnId id) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(id));
  return buf;
}

// --- what each command does -------------------------------------------------------------------

// qmsim keeps no retained publications, so there is never one to clear.
MqscResponse clearTopicString(ExecContext&, const MqscCommand& cmd) {
  return unexpectedError(MQRCCF_NO_RETAINED_MSG, "TOPICSTR(" + nameOf(cmd) + ")", Fault::NotFound);
}

// Telemetry channels and security policies need components a plain installation lacks.
MqscResponse componentMissing(ExecContext&, const MqscCommand& cmd) {
  return unexpectedError(MQRC_FUNCTION_NOT_SUPPORTED, cmd.object + "(" + nameOf(cmd) + ")", Fault::NotAllowed);
}

MqscResponse displayAuthService(ExecContext&, const MqscCommand&) {
  return single(detailRecord("AMQ8881I: Display authority service details.",
                             {"SERVCOMP(MQSeries.UNIX.auth.service)", "IFVER(6)", "UIDSUPP(YES)"}));
}

// Applications by name, with the number of their connections. No uniform cluster is
// simulated, so none is balanced or moved.
MqscResponse displayApplicationStatus(ExecContext& ctx, const MqscCommand& cmd) {
  std::string pattern = nameOf(cmd);
  std::string type = param(cmd, "TYPE", "APPL");
  std::map<std::string, long> counts;
  for (const auto& c : ctx.qm.connections())
    if (genericMatch(pattern, c.params.applName)) ++counts[c.params.applName];
  MqscResponse r;
  for (const auto& [appl, count] : counts)
    r.items.push_back(detailRecord("AMQ8932I: Display application status details.",
                                   {kv("APPLNAME", appl), kv("TYPE", type), "CLUSTER( )",
                                    kv("COUNT", std::to_string(count)), "MOVCOUNT(0)", "BALANCED(NOTAPPLIC)"}));
  if (r.items.empty()) return notFound(pattern, "APSTATUS(" + pattern + ")");
  return r;
}

// Accepted as IBM accepts it; the repository manager has no cluster to act on.
MqscResponse refreshCluster(ExecContext&, const MqscCommand&) {
  return single(message("AMQ8557I", "Refresh Cluster command accepted.", Fault::None, "QMGR"));
}

MqscResponse resetCluster(ExecContext&, const MqscCommand& cmd) {
  if (!cmd.find("QMNAME") == !cmd.find("QMID")) return syntaxError(cmd.text, "");
  return single(message("AMQ8556I", "Reset Cluster command accepted.", Fault::None, "QMGR"));
}

MqscResponse refreshQMgr(ExecContext& ctx, const MqscCommand& cmd) {
  std::string type = param(cmd, "TYPE");
  if (type == "CONFIGEV" && ctx.qm.qmgrObject().get("CONFIGEV") != "ENABLED")
    return unexpectedError(MQRCCF_EVENTS_DISABLED, "QMGR", Fault::NotAllowed);
  if (type == "EXPIRY") ctx.qm.discardExpiredMessages(param(cmd, "NAME", "*"));
  return single(message("AMQ8574I", "Refresh Queue Manager command accepted.", Fault::None, "QMGR"));
}

// The log is circular: there is no log to advance, reduce or archive.
MqscResponse resetQMgr(ExecContext&, const MqscCommand& cmd) {
  std::string type = param(cmd, "TYPE");
  if (type == "ADVANCELOG" || type == "REDUCELOG")
    return unexpectedError(MQRCCF_LOG_TYPE_ERROR, "QMGR", Fault::NotAllowed);
  if (type == "PUBSUB" && !cmd.find("CHILD") && !cmd.find("PARENT")) return syntaxError(cmd.text, "");
  return single(message("AMQ8575I", "Reset Queue Manager command accepted.", Fault::None, "QMGR"));
}

MqscResponse setLog(ExecContext&, const MqscCommand&) {
  return unexpectedError(MQRCCF_LOG_TYPE_ERROR, "LOG", Fault::NotAllowed);
}

MqscResponse startChannelInitiator(ExecContext& ctx, const MqscCommand& cmd) {
  std::string queue = param(cmd, "INITQ", "SYSTEM.CHANNEL.INITQ");
  auto def = ctx.qm.object(ObjectKind::Queue, queue);
  if (!def || def->queueType() != "QLOCAL") return notFound(queue, "QLOCAL(" + queue + ")");
  return single(message("AMQ8024I", "IBM MQ channel initiator started.", Fault::None, "CHINIT"));
}

MqscResponse stopConnection(ExecContext& ctx, const MqscCommand& cmd) {
  std::string id = nameOf(cmd);
  for (const auto& c : ctx.qm.connections()) {
    if (connectionId(c.id) != id) continue;
    // The queue manager's own connections (the command server's) are not stopped.
    if (c.params.channel.empty() && c.params.applName == "qmsim command server")
      return unexpectedError(MQRCCF_CONN_NOT_STOPPED, "CONN(" + id + ")", Fault::NotAllowed);
    ctx.qm.disconnect(c.id);
    return single(message("AMQ8458I", "Stop connection command accepted.", Fault::None, "CONN(" + id + ")"));
  }
  return unexpectedError(MQRCCF_CONNECTION_ID_ERROR, "CONN(" + id + ")", Fault::NotFound);
}

const std::vector<AdminCommand>& table() {
  static const std::vector<Keyword> policy = {{"SIGNALG", {"NONE", "MD5", "SHA1", "SHA256", "SHA384", "SHA512"}},
                                              {"ENCALG", {}},
                                              {"RECIP", {}},
                                              {"SIGNER", {}},
                                              {"ENFORCE", {}, true},
                                              {"TOLERATE", {}, true},
                                              {"KEYREUSE", {}},
                                              {"ACTION", {}}};
  static const std::vector<AdminCommand> t = {
      {"CLEAR",
       {"TOPICSTR"},
       true,
       "  CLEAR TOPICSTR( string ) CLRTYPE( RETAINED ) [ SCOPE( LOCAL | ALL ) ]",
       {{"CLRTYPE", {"RETAINED"}, false, true}, {"SCOPE", {"LOCAL", "ALL"}}},
       clearTopicString},
      {"DISPLAY",
       {"APSTATUS"},
       true,
       "  DISPLAY APSTATUS( generic_application_name ) [ TYPE( APPL | QMGR | LOCAL ) ]",
       {{"TYPE", {"APPL", "QMGR", "LOCAL"}},
        {"ALL", {}, true},
        {"APPLNAME", {}, true},
        {"COUNT", {}, true},
        {"MOVCOUNT", {}, true},
        {"BALANCED", {}, true},
        {"CLUSTER", {}, true}},
       displayApplicationStatus},
      {"DISPLAY",
       {"AUTHSERV"},
       false,
       "  DISPLAY AUTHSERV [ ALL ] [ IFVER ] [ UIDSUPP ]",
       {{"ALL", {}, true}, {"IFVER", {}, true}, {"UIDSUPP", {}, true}, {"SERVCOMP", {}}},
       displayAuthService},
      {"SET", {"POLICY"}, true, "  SET POLICY( policy_name ) [ attribute( value ) ... ]", policy, componentMissing},
      {"DISPLAY", {"POLICY"}, true, "  DISPLAY POLICY( policy_name )", {}, componentMissing},
      {"DELETE", {"POLICY"}, true, "  DELETE POLICY( policy_name )", {}, componentMissing},
      {"PURGE",
       {"CHANNEL", "CHL"},
       true,
       "  PURGE CHANNEL( channel_name ) [ CLIENTID( string ) ]",
       {{"CLIENTID", {}}},
       componentMissing},
      {"REFRESH",
       {"CLUSTER"},
       true,
       "  REFRESH CLUSTER( generic_cluster_name ) [ REPOS( YES | NO ) ]",
       {{"REPOS", {"YES", "NO"}}},
       refreshCluster},
      {"RESET",
       {"CLUSTER"},
       true,
       "  RESET CLUSTER( cluster_name ) ACTION( FORCEREMOVE ) QMNAME( qmgr_name ) | QMID( qmid )"
       " [ QUEUES( YES | NO ) ]",
       {{"ACTION", {"FORCEREMOVE"}, false, true}, {"QMNAME", {}}, {"QMID", {}}, {"QUEUES", {"YES", "NO"}}},
       resetCluster},
      {"REFRESH",
       {"QMGR"},
       false,
       "  REFRESH QMGR TYPE( CONFIGEV | EXPIRY | EARLY | PROXYSUB ) [ NAME( generic_name ) ]"
       " [ OBJECT( object_type ) ] [ INCLINT( integer ) ]",
       {{"TYPE", {"CONFIGEV", "EXPIRY", "EARLY", "PROXYSUB"}, false, true},
        {"NAME", {}},
        {"OBJECT", {}},
        {"INCLINT", {}}},
       refreshQMgr},
      {"RESET",
       {"QMGR"},
       false,
       "  RESET QMGR TYPE( ADVANCELOG | STATISTICS | PUBSUB | REDUCELOG ) [ CHILD( name ) | PARENT( name ) ]",
       {{"TYPE", {"ADVANCELOG", "STATISTICS", "PUBSUB", "REDUCELOG"}, false, true},
        {"CHILD", {}},
        {"PARENT", {}},
        {"ACTION", {"UNSUBSCRIBE", "DISCARD"}}},
       resetQMgr},
      {"SET",
       {"LOG"},
       false,
       "  SET LOG ARCHIVED( log_extent_name ) | ALL",
       {{"ARCHIVED", {}}, {"ALL", {}, true}},
       setLog},
      {"START", {"CHINIT"}, false, "  START CHINIT [ INITQ( q_name ) ]", {{"INITQ", {}}}, startChannelInitiator},
      {"STOP", {"CONN"}, true, "  STOP CONN( connection_identifier )", {}, stopConnection},
  };
  return t;
}

const AdminCommand* find(const std::string& verb, const std::string& object) {
  for (const auto& c : table())
    if (c.verb == verb && std::find(c.objects.begin(), c.objects.end(), object) != c.objects.end()) return &c;
  return nullptr;
}

// The segment at fault, or empty when the command is well formed.
std::optional<std::string> checkKeywords(const AdminCommand& c, const MqscCommand& cmd) {
  if (c.named != cmd.objectParam.has_value()) return cmd.text;
  if (c.named && (cmd.objectParam->items.size() != 1 || cmd.objectParam->items[0].empty())) return cmd.text;
  for (const auto& p : cmd.params) {
    if (p.keyword == "CMDSCOPE") continue;
    auto k = std::find_if(c.keywords.begin(), c.keywords.end(), [&](const Keyword& k) { return p.keyword == k.name; });
    if (k == c.keywords.end() || k->bare == p.hasValue) return segmentUpTo(cmd, p.keyword);
    if (k->bare) continue;
    if (p.items.size() != 1) return segmentUpTo(cmd, p.keyword);
    if (!k->values.empty() &&
        std::none_of(k->values.begin(), k->values.end(), [&](const char* v) { return p.items[0] == v; }))
      return segmentUpTo(cmd, p.keyword);
  }
  for (const auto& k : c.keywords)
    if (k.required && !cmd.find(k.name)) return cmd.text;
  return std::nullopt;
}

}  // namespace

std::optional<MqscResponse> runAdminCommand(ExecContext& ctx, const std::string& verb, const MqscCommand& cmd) {
  if (ctx.zos) return std::nullopt;
  const AdminCommand* c = find(verb, cmd.object);
  if (!c) return std::nullopt;
  if (auto bad = checkKeywords(*c, cmd)) return syntaxError(*bad, c->syntax);
  return c->act(ctx, cmd);
}

}  // namespace qmsim::cmdserver
