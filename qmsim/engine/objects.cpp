#include "engine/objects.h"

#include <array>
#include <cstdlib>
#include <utility>

namespace qmsim {

std::string ObjectDef::get(const std::string& key, std::string_view fallback) const {
  auto it = attrs.find(key);
  return it == attrs.end() ? std::string(fallback) : it->second;
}

long ObjectDef::getInt(const std::string& key, long fallback) const {
  auto it = attrs.find(key);
  if (it == attrs.end() || it->second.empty()) return fallback;
  char* end = nullptr;
  long value = std::strtol(it->second.c_str(), &end, 10);
  return *end == '\0' ? value : fallback;
}

bool ObjectDef::isYes(const std::string& key, bool fallback) const {
  auto it = attrs.find(key);
  if (it == attrs.end()) return fallback;
  return it->second == "YES" || it->second == "ENABLED";
}

namespace {
constexpr std::array<std::pair<ObjectKind, std::string_view>, 13> kKindNames{{
    {ObjectKind::QMgr, "QMGR"},
    {ObjectKind::Queue, "QUEUE"},
    {ObjectKind::Channel, "CHANNEL"},
    {ObjectKind::Process, "PROCESS"},
    {ObjectKind::Namelist, "NAMELIST"},
    {ObjectKind::AuthInfo, "AUTHINFO"},
    {ObjectKind::Listener, "LISTENER"},
    {ObjectKind::Service, "SERVICE"},
    {ObjectKind::Topic, "TOPIC"},
    {ObjectKind::CommInfo, "COMMINFO"},
    {ObjectKind::Subscription, "SUB"},
    {ObjectKind::ChlAuth, "CHLAUTH"},
    {ObjectKind::AuthRec, "AUTHREC"},
}};
}  // namespace

std::string_view kindName(ObjectKind kind) {
  for (const auto& [k, name] : kKindNames)
    if (k == kind) return name;
  return "?";
}

std::optional<ObjectKind> kindFromName(std::string_view name) {
  for (const auto& [k, n] : kKindNames)
    if (n == name) return k;
  return std::nullopt;
}

Attributes defaultAttributes(ObjectKind kind, std::string_view type) {
  switch (kind) {
  case ObjectKind::Queue: {
    Attributes a{{"QTYPE", std::string(type)}, {"DESCR", ""}, {"DEFPSIST", "NO"}, {"DEFPRTY", "0"}, {"PUT", "ENABLED"}};
    if (type == "QLOCAL" || type == "QMODEL") {
      a.insert({{"MAXDEPTH", "5000"},
                {"MAXMSGL", "4194304"},
                {"GET", "ENABLED"},
                {"SHARE", "YES"},
                {"DEFSOPT", "SHARED"},
                {"USAGE", "NORMAL"}});
    }
    if (type == "QLOCAL") a["DEFTYPE"] = "PREDEFINED";
    if (type == "QMODEL") a["DEFTYPE"] = "TEMPDYN";
    if (type == "QALIAS") a.insert({{"TARGET", ""}, {"GET", "ENABLED"}, {"TARGTYPE", "QUEUE"}});
    if (type == "QREMOTE") a.insert({{"RNAME", ""}, {"RQMNAME", ""}, {"XMITQ", ""}});
    return a;
  }
  case ObjectKind::Channel:
    return {{"CHLTYPE", std::string(type)}, {"TRPTYPE", "TCP"}, {"DESCR", ""},
            {"MAXMSGL", "4194304"},         {"MCAUSER", ""},    {"CONNAME", ""}};
  default: return {{"DESCR", ""}};
  }
}

namespace {
ObjectDef makeObject(ObjectKind kind, std::string name, std::string_view type, Attributes extra = {}) {
  ObjectDef def{kind, std::move(name), defaultAttributes(kind, type)};
  for (auto& [k, v] : extra) def.attrs[k] = v;
  return def;
}
}  // namespace

std::vector<ObjectDef> defaultObjects() {
  using K = ObjectKind;
  std::vector<ObjectDef> objs;
  for (const char* q :
       {"SYSTEM.DEFAULT.LOCAL.QUEUE", "SYSTEM.ADMIN.COMMAND.QUEUE", "SYSTEM.DEAD.LETTER.QUEUE",
        "SYSTEM.ADMIN.QMGR.EVENT", "SYSTEM.ADMIN.CHANNEL.EVENT", "SYSTEM.ADMIN.PERFM.EVENT",
        "SYSTEM.ADMIN.CONFIG.EVENT", "SYSTEM.ADMIN.COMMAND.EVENT", "SYSTEM.ADMIN.LOGGER.EVENT",
        "SYSTEM.ADMIN.STATISTICS.QUEUE", "SYSTEM.ADMIN.ACCOUNTING.QUEUE", "SYSTEM.ADMIN.TRACE.ROUTE.QUEUE",
        "SYSTEM.ADMIN.ACTIVITY.QUEUE", "SYSTEM.DEFAULT.INITIATION.QUEUE", "SYSTEM.CHANNEL.INITQ",
        "SYSTEM.CHANNEL.SYNCQ", "SYSTEM.CLUSTER.COMMAND.QUEUE", "SYSTEM.CLUSTER.REPOSITORY.QUEUE"})
    objs.push_back(makeObject(K::Queue, q, "QLOCAL"));
  objs.push_back(makeObject(K::Queue, "SYSTEM.CLUSTER.TRANSMIT.QUEUE", "QLOCAL", {{"USAGE", "XMITQ"}}));
  objs.push_back(makeObject(K::Queue, "SYSTEM.DEFAULT.MODEL.QUEUE", "QMODEL"));
  objs.push_back(makeObject(K::Queue, "SYSTEM.MQSC.REPLY.QUEUE", "QMODEL"));
  objs.push_back(makeObject(K::Queue, "SYSTEM.MQEXPLORER.REPLY.MODEL", "QMODEL"));
  objs.push_back(
      makeObject(K::Queue, "SYSTEM.DURABLE.MODEL.QUEUE", "QMODEL", {{"DEFTYPE", "PERMDYN"}, {"DEFPSIST", "YES"}}));
  objs.push_back(makeObject(K::Queue, "SYSTEM.DEFAULT.ALIAS.QUEUE", "QALIAS"));
  objs.push_back(makeObject(K::Queue, "SYSTEM.DEFAULT.REMOTE.QUEUE", "QREMOTE"));
  for (auto [name, type] :
       std::initializer_list<std::pair<const char*, const char*>>{{"SYSTEM.DEF.SENDER", "SDR"},
                                                                  {"SYSTEM.DEF.SERVER", "SVR"},
                                                                  {"SYSTEM.DEF.RECEIVER", "RCVR"},
                                                                  {"SYSTEM.DEF.REQUESTER", "RQSTR"},
                                                                  {"SYSTEM.DEF.SVRCONN", "SVRCONN"},
                                                                  {"SYSTEM.DEF.CLNTCONN", "CLNTCONN"},
                                                                  {"SYSTEM.DEF.CLUSSDR", "CLUSSDR"},
                                                                  {"SYSTEM.DEF.CLUSRCVR", "CLUSRCVR"},
                                                                  {"SYSTEM.AUTO.RECEIVER", "RCVR"},
                                                                  {"SYSTEM.AUTO.SVRCONN", "SVRCONN"},
                                                                  {"SYSTEM.ADMIN.SVRCONN", "SVRCONN"}})
    objs.push_back(makeObject(K::Channel, name, type));
  objs.push_back(makeObject(K::Process, "SYSTEM.DEFAULT.PROCESS", ""));
  objs.push_back(makeObject(K::Namelist, "SYSTEM.DEFAULT.NAMELIST", ""));
  objs.push_back(makeObject(K::AuthInfo, "SYSTEM.DEFAULT.AUTHINFO.CRLLDAP", "", {{"AUTHTYPE", "CRLLDAP"}}));
  objs.push_back(makeObject(K::AuthInfo, "SYSTEM.DEFAULT.AUTHINFO.OCSP", "", {{"AUTHTYPE", "OCSP"}}));
  objs.push_back(makeObject(K::AuthInfo, "SYSTEM.DEFAULT.AUTHINFO.IDPWOS", "", {{"AUTHTYPE", "IDPWOS"}}));
  objs.push_back(makeObject(K::Listener, "SYSTEM.DEFAULT.LISTENER.TCP", "", {{"TRPTYPE", "TCP"}}));
  objs.push_back(makeObject(K::Service, "SYSTEM.DEFAULT.SERVICE", ""));
  objs.push_back(makeObject(K::Topic, "SYSTEM.BASE.TOPIC", "", {{"TOPICSTR", ""}}));
  objs.push_back(makeObject(K::Topic, "SYSTEM.DEFAULT.TOPIC", "", {{"TOPICSTR", ""}}));
  objs.push_back(makeObject(K::CommInfo, "SYSTEM.DEFAULT.COMMINFO.MULTICAST", ""));
  return objs;
}

ObjectDef defaultQMgrObject(const std::string& qmgrName) {
  return {ObjectKind::QMgr,
          qmgrName,
          {{"QMNAME", qmgrName},
           {"DESCR", ""},
           {"CMDLEVEL", "940"},
           {"PLATFORM", "UNIX"},
           {"CCSID", "1208"},
           {"COMMANDQ", "SYSTEM.ADMIN.COMMAND.QUEUE"},
           {"DEADQ", ""},
           {"MAXMSGL", "4194304"},
           {"MAXPRTY", "9"},
           {"CONNAUTH", ""}}};
}

bool validObjectName(std::string_view name, size_t maxLength) {
  if (name.empty() || name.size() > maxLength) return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '/' ||
              c == '_' || c == '%';
    if (!ok) return false;
  }
  return true;
}

}  // namespace qmsim
