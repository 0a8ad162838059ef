#include "cmdserver/authrec.h"

#include <algorithm>

#include "cmdserver/exec_support.h"

namespace qmsim::cmdserver {

namespace {

namespace au = authority;

const char* kObjtypes = "AUTHINFO | CHANNEL | CLNTCONN | COMMINFO | LISTENER | NAMELIST | PROCESS | QUEUE | QMGR | "
                        "RQMNAME | SERVICE | TOPIC";

std::string syntaxOf(const std::string& verb) {
  std::string s = "  " + verb + " AUTHREC [ PROFILE( profile_name ) ] OBJTYPE( " + std::string(kObjtypes) +
                  " )\n      PRINCIPAL( principal_name ) | GROUP( group_name )";
  if (verb == "SET") s += "\n      [ AUTHADD( authority, ... ) ] [ AUTHRMV( authority, ... ) ] [ SERVCOMP( name ) ]";
  if (verb == "DISPLAY") s += " [ MATCH( PROFILE | EXACT | MEMBERSHIP ) ] [ SERVCOMP( name ) ] [ ALL ]";
  return s;
}

// The object kind an explicit profile of this type must name, when there is one.
std::optional<ObjectKind> objectKindOf(const std::string& objtype) {
  static const std::map<std::string, ObjectKind> kinds = {
      {"QUEUE", ObjectKind::Queue},       {"CHANNEL", ObjectKind::Channel},   {"CLNTCONN", ObjectKind::Channel},
      {"PROCESS", ObjectKind::Process},   {"NAMELIST", ObjectKind::Namelist}, {"AUTHINFO", ObjectKind::AuthInfo},
      {"LISTENER", ObjectKind::Listener}, {"SERVICE", ObjectKind::Service},   {"TOPIC", ObjectKind::Topic},
      {"COMMINFO", ObjectKind::CommInfo}};
  auto it = kinds.find(objtype);
  if (it == kinds.end()) return std::nullopt;
  return it->second;
}

bool objectExists(const QueueManager& qm, const std::string& objtype, const std::string& name) {
  auto kind = objectKindOf(objtype);
  if (!kind) return true;
  auto def = qm.object(*kind, name);
  if (!def) return false;
  if (objtype == "CLNTCONN") return def->get("CHLTYPE") == "CLNTCONN";
  if (objtype == "CHANNEL") return def->get("CHLTYPE") != "CLNTCONN";
  return true;
}

bool validProfile(const std::string& p) {
  if (p.empty() || p.size() > 48) return false;
  return std::all_of(p.begin(), p.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '/' ||
           c == '_' || c == '%' || c == '*' || c == '?';
  });
}

// What the authority commands name: profile, type and entity, checked.
struct Subject {
  std::string profile, objtype, entity;
  bool group = false;
  bool hasEntity = false;
};

// Reads PROFILE/OBJNAME, OBJTYPE, PRINCIPAL and GROUP; returns the keyword at fault.
std::optional<std::string> readSubject(const MqscCommand& cmd, const std::string& nameKeyword, bool typeRequired,
                                       bool entityRequired, bool nameRequired, Subject& s) {
  const MqscParam* type = cmd.find("OBJTYPE");
  if (type) {
    if (type->items.size() != 1 || !au::objtypeValue(type->items[0])) return "OBJTYPE";
    s.objtype = type->items[0];
  } else if (typeRequired) {
    return std::string();
  }
  if (const MqscParam* p = cmd.find(nameKeyword)) {
    if (p->items.size() != 1 || !validProfile(p->items[0])) return nameKeyword;
    s.profile = p->items[0];
  } else if (nameRequired && s.objtype != "QMGR") {
    return std::string();
  }
  if (s.objtype == "QMGR") s.profile = au::kQMgrProfile;
  const MqscParam* principal = cmd.find("PRINCIPAL");
  const MqscParam* group = cmd.find("GROUP");
  if (principal && group) return "GROUP";
  if (const MqscParam* e = principal ? principal : group) {
    if (e->items.size() != 1 || e->items[0].empty() || e->items[0].size() > 64) return e->keyword;
    s.entity = e->items[0];
    s.group = e == group;
    s.hasEntity = true;
  } else if (entityRequired) {
    return std::string();
  }
  return std::nullopt;
}

std::optional<std::string> onlyKeywords(const MqscCommand& cmd, std::initializer_list<const char*> allowed) {
  for (const auto& p : cmd.params) {
    bool ok = p.keyword == "CMDSCOPE";
    for (const char* a : allowed) ok |= p.keyword == a;
    if (!ok) return p.keyword;
  }
  return std::nullopt;
}

// Fails on a name that is unknown or does not apply to the type.
bool readAuthorities(const MqscParam* p, const std::string& objtype, std::set<std::string>& out) {
  if (!p) return true;
  if (p->items.empty()) return false;
  for (const auto& name : p->items)
    if (!au::expand(name, objtype, out)) return false;
  return true;
}

MqscResponse notFoundAuth(const std::string& zo) {
  return single(message("AMQ8459I", "Not found.", Fault::NotFound, zo));
}

}  // namespace

std::vector<authority::Record> authRecords(const QueueManager& qm) {
  std::vector<au::Record> out;
  for (const auto& def : qm.objects(ObjectKind::AuthRec))
    if (auto r = au::fromObject(def)) out.push_back(std::move(*r));
  return out;
}

AuthChange changeAuthority(QueueManager& qm, const std::string& objtype, const std::string& profile,
                           const std::string& entity, bool group, const std::set<std::string>& add,
                           const std::set<std::string>& remove) {
  if (!au::isGeneric(profile) && objtype != "QMGR" && !objectExists(qm, objtype, profile))
    return AuthChange::NoSuchObject;
  au::Record r{profile, objtype, entity, group, {}};
  if (auto existing = qm.object(ObjectKind::AuthRec, au::storageName(objtype, group, entity, profile)))
    if (auto old = au::fromObject(*existing)) r.auths = old->auths;
  r.auths.insert(add.begin(), add.end());
  for (const auto& a : remove) r.auths.erase(a);
  return qm.define(au::toObject(r), true).ok() ? AuthChange::Done : AuthChange::StoreFailed;
}

AuthChange deleteAuthority(QueueManager& qm, const std::string& objtype, const std::string& profile,
                           const std::string& entity, bool group) {
  std::string name = au::storageName(objtype, group, entity, profile);
  if (!qm.object(ObjectKind::AuthRec, name)) return AuthChange::NotFound;
  return qm.remove(ObjectKind::AuthRec, name, false).ok() ? AuthChange::Done : AuthChange::StoreFailed;
}

std::set<std::string> effectiveAuthority(const QueueManager& qm, const std::string& objtype,
                                         const std::string& objectName, const std::string& entity, bool group) {
  auto records = authRecords(qm);
  std::string name = objtype == "QMGR" ? au::kQMgrProfile : objectName;
  std::set<std::string> groups = group ? std::set<std::string>{entity} : au::groupsOf(entity);
  std::set<std::string> held;
  if (groups.count("mqm")) {
    for (const auto& a : au::names())
      if (au::appliesTo(a, objtype)) held.insert(a.mqsc);
    return held;
  }
  if (!group) held = au::entityAuthority(records, objtype, name, entity, false);
  for (const auto& g : groups) {
    auto more = au::entityAuthority(records, objtype, name, g, true);
    held.insert(more.begin(), more.end());
  }
  return held;
}

std::vector<authority::Record> selectRecords(const QueueManager& qm, const std::string& profile, bool exact,
                                             const std::string& objtype, const std::string& entity, bool group,
                                             bool membership) {
  std::set<std::string> groups;
  if (!entity.empty() && membership && !group) groups = au::groupsOf(entity);
  std::vector<au::Record> out;
  for (auto& r : authRecords(qm)) {
    if (!objtype.empty() && r.objtype != objtype) continue;
    if (!profile.empty()) {
      bool match = r.profile == profile || (!exact && au::profileMatches(r.profile, profile));
      if (!match) continue;
    }
    if (!entity.empty()) {
      bool same = r.entity == entity && r.group == group;
      bool member = r.group && groups.count(r.entity);
      if (!same && !member) continue;
    }
    out.push_back(std::move(r));
  }
  return out;
}

MqscResponse setAuthrec(ExecContext& ctx, const MqscCommand& cmd) {
  const std::string syntax = syntaxOf("SET");
  auto fail = [&](const std::string& kw) { return syntaxError(segmentUpTo(cmd, kw), syntax); };
  if (cmd.objectParam) return fail("AUTHREC");
  if (auto bad = onlyKeywords(cmd, {"PROFILE", "OBJTYPE", "PRINCIPAL", "GROUP", "AUTHADD", "AUTHRMV", "SERVCOMP"}))
    return fail(*bad);
  Subject s;
  if (auto bad = readSubject(cmd, "PROFILE", true, true, true, s)) return fail(*bad);
  std::set<std::string> add, remove;
  const MqscParam* addParam = cmd.find("AUTHADD");
  const MqscParam* rmvParam = cmd.find("AUTHRMV");
  if (!addParam && !rmvParam) return fail("");
  if (!readAuthorities(addParam, s.objtype, add)) return fail("AUTHADD");
  if (!readAuthorities(rmvParam, s.objtype, remove)) return fail("AUTHRMV");
  for (const auto& a : add)
    if (remove.count(a)) return fail("AUTHRMV");  // granted and revoked at once
  std::string zo = "AUTHREC(" + s.profile + ")";
  switch (changeAuthority(ctx.qm, s.objtype, s.profile, s.entity, s.group, add, remove)) {
  case AuthChange::Done: return single(message("AMQ8862I", "IBM MQ authority record set.", Fault::None, zo));
  case AuthChange::NoSuchObject: return notFound(s.profile, zo);
  default: return unexpectedError(MQRC_RESOURCE_PROBLEM, zo);
  }
}

MqscResponse deleteAuthrec(ExecContext& ctx, const MqscCommand& cmd) {
  const std::string syntax = syntaxOf("DELETE");
  auto fail = [&](const std::string& kw) { return syntaxError(segmentUpTo(cmd, kw), syntax); };
  if (cmd.objectParam) return fail("AUTHREC");
  if (auto bad = onlyKeywords(cmd, {"PROFILE", "OBJTYPE", "PRINCIPAL", "GROUP", "SERVCOMP"})) return fail(*bad);
  Subject s;
  if (auto bad = readSubject(cmd, "PROFILE", true, true, true, s)) return fail(*bad);
  std::string zo = "AUTHREC(" + s.profile + ")";
  switch (deleteAuthority(ctx.qm, s.objtype, s.profile, s.entity, s.group)) {
  case AuthChange::Done: return single(message("AMQ8863I", "IBM MQ authority record deleted.", Fault::None, zo));
  case AuthChange::NotFound: return notFoundAuth(zo);
  default: return unexpectedError(MQRC_RESOURCE_PROBLEM, zo);
  }
}

MqscResponse displayAuthrec(ExecContext& ctx, const MqscCommand& cmd) {
  const std::string syntax = syntaxOf("DISPLAY");
  auto fail = [&](const std::string& kw) { return syntaxError(segmentUpTo(cmd, kw), syntax); };
  if (cmd.objectParam) return fail("AUTHREC");
  if (auto bad = onlyKeywords(cmd, {"PROFILE", "OBJTYPE", "PRINCIPAL", "GROUP", "MATCH", "SERVCOMP", "ALL", "AUTHLIST",
                                    "ENTITY", "ENTTYPE"}))
    return fail(*bad);
  for (const char* bare : {"ALL", "AUTHLIST", "ENTITY", "ENTTYPE"})
    if (const MqscParam* p = cmd.find(bare); p && p->hasValue) return fail(bare);
  Subject s;
  if (auto bad = readSubject(cmd, "PROFILE", false, false, false, s)) return fail(*bad);
  std::string match = "PROFILE";
  if (const MqscParam* m = cmd.find("MATCH")) {
    if (m->items.size() != 1 || (m->items[0] != "PROFILE" && m->items[0] != "EXACT" && m->items[0] != "MEMBERSHIP"))
      return fail("MATCH");
    match = m->items[0];
  }
  if (match == "MEMBERSHIP" && (!s.hasEntity || s.group)) return fail("MATCH");  // it asks about a principal
  MqscResponse r;
  for (const auto& rec :
       selectRecords(ctx.qm, s.profile, match == "EXACT", s.objtype, s.entity, s.group, match == "MEMBERSHIP")) {
    r.items.push_back(detailRecord("AMQ8864I: Display authority record details.",
                                   {"PROFILE(" + rec.profile + ")", "ENTITY(" + rec.entity + ")",
                                    std::string("ENTTYPE(") + (rec.group ? "GROUP" : "PRINCIPAL") + ")",
                                    "OBJTYPE(" + rec.objtype + ")", "AUTHLIST(" + au::authList(rec.auths) + ")"}));
  }
  if (r.items.empty()) return notFoundAuth("AUTHREC(" + s.profile + ")");
  return r;
}

MqscResponse displayEntauth(ExecContext& ctx, const MqscCommand& cmd) {
  const std::string syntax =
      "  DISPLAY ENTAUTH PRINCIPAL( principal_name ) | GROUP( group_name ) OBJNAME( object_name )\n"
      "      OBJTYPE( " +
      std::string(kObjtypes) + " ) [ SERVCOMP( name ) ] [ ALL ]";
  auto fail = [&](const std::string& kw) { return syntaxError(segmentUpTo(cmd, kw), syntax); };
  if (cmd.objectParam) return fail("ENTAUTH");
  if (auto bad = onlyKeywords(
          cmd, {"OBJNAME", "OBJTYPE", "PRINCIPAL", "GROUP", "SERVCOMP", "ALL", "AUTHLIST", "ENTITY", "ENTTYPE"}))
    return fail(*bad);
  Subject s;
  if (auto bad = readSubject(cmd, "OBJNAME", true, true, true, s)) return fail(*bad);
  if (au::isGeneric(s.profile)) return fail("OBJNAME");  // authority is asked of one object
  std::string objectName = s.objtype == "QMGR" ? ctx.qm.name() : s.profile;
  if (!objectExists(ctx.qm, s.objtype, objectName) && s.objtype != "QMGR")
    return notFound(objectName, "ENTAUTH(" + objectName + ")");
  auto held = effectiveAuthority(ctx.qm, s.objtype, objectName, s.entity, s.group);
  return single(detailRecord("AMQ8866I: Display entity authority details.",
                             {"OBJNAME(" + objectName + ")", "ENTITY(" + s.entity + ")",
                              std::string("ENTTYPE(") + (s.group ? "GROUP" : "PRINCIPAL") + ")",
                              "OBJTYPE(" + s.objtype + ")", "AUTHLIST(" + au::authList(held) + ")"}));
}

MqscResponse refreshSecurity(ExecContext& ctx, const MqscCommand& cmd) {
  const std::string syntax = "  REFRESH SECURITY [ TYPE( ALL | AUTHSERV | CONNAUTH | SSL ) ]";
  // REFRESH SECURITY(*) is the older form scripts still use.
  if (cmd.objectParam && (cmd.objectParam->items.size() != 1 || cmd.objectParam->items[0] != "*"))
    return syntaxError(segmentUpTo(cmd, cmd.object), syntax);
  for (const auto& p : cmd.params) {
    if (p.keyword == "CMDSCOPE") continue;
    if (p.keyword != "TYPE" || p.items.size() != 1) return syntaxError(segmentUpTo(cmd, p.keyword), syntax);
    const std::string& t = p.items[0];
    if (t != "ALL" && t != "AUTHSERV" && t != "CONNAUTH" && t != "SSL")
      return syntaxError(segmentUpTo(cmd, "TYPE"), syntax);
  }
  // Authority records are read afresh on every check; connection authentication is
  // what a refresh of its type puts into force.
  const MqscParam* type = cmd.find("TYPE");
  if (type && type->items[0] == "CONNAUTH") {
    std::string name = ctx.qm.qmgrObject().get("CONNAUTH");
    Outcome o = ctx.qm.refreshConnAuth();
    if (o.reason == MQRC_UNKNOWN_OBJECT_NAME) return notFound(name, "AUTHINFO(" + name + ")");
    if (!o.ok())
      return single(
          message("AMQ8151E", "IBM MQ object has different type.", Fault::WrongType, "AUTHINFO(" + name + ")"));
  }
  return single(message("AMQ8560I", "IBM MQ security cache refreshed."));
}

}  // namespace qmsim::cmdserver
