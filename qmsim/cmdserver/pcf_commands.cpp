#include "cmdserver/pcf_commands.h"

#include <algorithm>

#include "cmdserver/authrec.h"
#include "cmdserver/model.h"
#include "cmdserver/mqsc_parser.h"
#include "cmdserver/status_display.h"

namespace qmsim::cmdserver {

namespace {

// Responses to a request: MQCFT_RESPONSE to a command, MQCFT_XR_MSG items and a closing
// MQCFT_XR_SUMMARY to an extended (MQCFT_COMMAND_XR) one.
class Responses {
 public:
  explicit Responses(const MQCFH& request) : request_(request) {}
  bool extended() const { return request_.Type == MQCFT_COMMAND_XR; }

  PcfWriter& add(MQLONG compCode = MQCC_OK, MQLONG reason = MQRC_NONE) {
    writers_.emplace_back(extended() ? MQCFT_XR_MSG : MQCFT_RESPONSE, request_.Version, request_.Command,
                          static_cast<MQLONG>(writers_.size() + 1), false, compCode, reason);
    return writers_.back();
  }

  std::vector<std::string> finish(MQLONG compCode = MQCC_OK, MQLONG reason = MQRC_NONE) {
    if (extended()) {
      writers_.emplace_back(MQCFT_XR_SUMMARY, request_.Version, request_.Command,
                            static_cast<MQLONG>(writers_.size() + 1), true, compCode, reason);
    } else if (writers_.empty()) {
      writers_.emplace_back(MQCFT_RESPONSE, request_.Version, request_.Command, 1, true, compCode, reason);
    }
    std::vector<std::string> out;
    for (size_t i = 0; i < writers_.size(); ++i) {
      std::string m = writers_[i].finish();
      if (i + 1 == writers_.size()) {
        MQLONG last = MQCFC_LAST;
        std::memcpy(m.data() + offsetof(MQCFH, Control), &last, sizeof last);
      }
      out.push_back(std::move(m));
    }
    return out;
  }

 private:
  MQCFH request_;
  std::vector<PcfWriter> writers_;
};

std::vector<std::string> failWith(const MQCFH& request, MQLONG reason, MQLONG parameter = 0) {
  return {pcfError(request, reason, parameter)};
}

bool wants(const PcfParam* list, MQLONG selector) {
  if (!list) return true;
  return std::find(list->ints.begin(), list->ints.end(), MQIACF_ALL) != list->ints.end() ||
         std::find(list->ints.begin(), list->ints.end(), selector) != list->ints.end();
}

MQLONG platformNumber(const std::string& p) {
  if (p == "ZOS" || p == "MVS") return MQPL_ZOS;
  if (p == "WINDOWSNT" || p == "WINDOWS") return MQPL_WINDOWS_NT;
  return MQPL_UNIX;
}

std::vector<std::string> inquireQMgr(ExecContext& ctx, const PcfRequest& req) {
  const PcfParam* attrs = req.find(MQIACF_Q_MGR_ATTRS);
  if (attrs && attrs->type != MQCFT_INTEGER_LIST)
    return failWith(req.header, MQRCCF_STRUCTURE_TYPE_ERROR, MQIACF_Q_MGR_ATTRS);
  ObjectDef q = ctx.qm.qmgrObject();
  Responses r(req.header);
  PcfWriter& w = r.add();
  w.string(MQCA_Q_MGR_NAME, q.name, 48);
  if (wants(attrs, MQIA_COMMAND_LEVEL)) w.integer(MQIA_COMMAND_LEVEL, static_cast<MQLONG>(q.getInt("CMDLEVEL", 940)));
  if (wants(attrs, MQIA_PLATFORM)) w.integer(MQIA_PLATFORM, platformNumber(q.get("PLATFORM", "UNIX")));
  if (wants(attrs, MQIA_CODED_CHAR_SET_ID))
    w.integer(MQIA_CODED_CHAR_SET_ID, static_cast<MQLONG>(q.getInt("CCSID", 1208)));
  if (wants(attrs, MQIA_MAX_MSG_LENGTH))
    w.integer(MQIA_MAX_MSG_LENGTH, static_cast<MQLONG>(q.getInt("MAXMSGL", 4194304)));
  if (wants(attrs, MQIA_MAX_PRIORITY)) w.integer(MQIA_MAX_PRIORITY, 9);
  if (wants(attrs, MQCA_COMMAND_INPUT_Q_NAME))
    w.string(MQCA_COMMAND_INPUT_Q_NAME, q.get("COMMANDQ", "SYSTEM.ADMIN.COMMAND.QUEUE"), 48);
  if (wants(attrs, MQCA_DEAD_LETTER_Q_NAME)) w.string(MQCA_DEAD_LETTER_Q_NAME, q.get("DEADQ"), 48);
  if (wants(attrs, MQCA_Q_MGR_DESC)) w.string(MQCA_Q_MGR_DESC, q.get("DESCR"), 64);
  if (wants(attrs, MQCA_Q_MGR_IDENTIFIER)) w.string(MQCA_Q_MGR_IDENTIFIER, q.get("QMID"), 48);
  return r.finish();
}

MQLONG queueTypeNumber(const std::string& t) {
  if (t == "QMODEL") return MQQT_MODEL;
  if (t == "QALIAS") return MQQT_ALIAS;
  if (t == "QREMOTE") return MQQT_REMOTE;
  return MQQT_LOCAL;
}

const PcfParam* requiredName(const PcfRequest& req, MQLONG id) {
  const PcfParam* p = req.find(id);
  return p && p->type == MQCFT_STRING && !p->text.empty() ? p : nullptr;
}

std::vector<std::string> inquireQueue(ExecContext& ctx, const PcfRequest& req) {
  const PcfParam* name = requiredName(req, MQCA_Q_NAME);
  if (!name) return failWith(req.header, MQRCCF_PARM_COUNT_TOO_SMALL, MQCA_Q_NAME);
  const PcfParam* attrs = req.find(MQIACF_Q_ATTRS);
  if (attrs && attrs->type != MQCFT_INTEGER_LIST)
    return failWith(req.header, MQRCCF_STRUCTURE_TYPE_ERROR, MQIACF_Q_ATTRS);
  const PcfParam* typeFilter = req.find(MQIA_Q_TYPE);
  Responses r(req.header);
  int found = 0;
  for (const auto& def : ctx.qm.objects(ObjectKind::Queue, name->text)) {
    MQLONG type = queueTypeNumber(def.queueType());
    if (typeFilter && typeFilter->intValue != MQQT_ALL && typeFilter->intValue != type) continue;
    ++found;
    PcfWriter& w = r.add();
    w.string(MQCA_Q_NAME, def.name, 48);
    w.integer(MQIA_Q_TYPE, type);
    bool local = type == MQQT_LOCAL;
    auto st = local ? ctx.qm.queueStatus(def.name) : std::nullopt;
    if (local && wants(attrs, MQIA_CURRENT_Q_DEPTH))
      w.integer(MQIA_CURRENT_Q_DEPTH, st ? static_cast<MQLONG>(st->depth) : 0);
    if (local && wants(attrs, MQIA_OPEN_INPUT_COUNT))
      w.integer(MQIA_OPEN_INPUT_COUNT, st ? static_cast<MQLONG>(st->openInput) : 0);
    if (local && wants(attrs, MQIA_OPEN_OUTPUT_COUNT))
      w.integer(MQIA_OPEN_OUTPUT_COUNT, st ? static_cast<MQLONG>(st->openOutput) : 0);
    if ((local || type == MQQT_MODEL) && wants(attrs, MQIA_MAX_Q_DEPTH))
      w.integer(MQIA_MAX_Q_DEPTH, static_cast<MQLONG>(def.getInt("MAXDEPTH", 5000)));
    if (attrs && wants(attrs, MQCA_Q_DESC)) w.string(MQCA_Q_DESC, def.get("DESCR"), 64);
  }
  if (!found) return failWith(req.header, MQRC_UNKNOWN_OBJECT_NAME);
  return r.finish();
}

std::vector<std::string> clearQueue(ExecContext& ctx, const PcfRequest& req) {
  const PcfParam* name = requiredName(req, MQCA_Q_NAME);
  if (!name) return failWith(req.header, MQRCCF_PARM_COUNT_TOO_SMALL, MQCA_Q_NAME);
  auto def = ctx.qm.object(ObjectKind::Queue, name->text);
  if (!def) return failWith(req.header, MQRC_UNKNOWN_OBJECT_NAME);
  if (def->queueType() != "QLOCAL") return failWith(req.header, MQRCCF_Q_WRONG_TYPE);
  Outcome o = ctx.qm.clearQueue(name->text);
  if (!o.ok()) return failWith(req.header, o.reason == MQRC_OBJECT_IN_USE ? MQRCCF_OBJECT_OPEN : o.reason);
  return Responses(req.header).finish();
}

std::vector<std::string> resetQueueStats(ExecContext& ctx, const PcfRequest& req) {
  const PcfParam* name = requiredName(req, MQCA_Q_NAME);
  if (!name) return failWith(req.header, MQRCCF_PARM_COUNT_TOO_SMALL, MQCA_Q_NAME);
  Responses r(req.header);
  int found = 0;
  for (const auto& def : ctx.qm.objects(ObjectKind::Queue, name->text)) {
    if (def.queueType() != "QLOCAL") {
      if (def.name == name->text) return failWith(req.header, MQRCCF_Q_WRONG_TYPE);
      continue;
    }
    auto st = ctx.qm.resetQueueStats(def.name);
    if (!st) continue;
    ++found;
    r.add()
        .string(MQCA_Q_NAME, def.name, 48)
        .integer(MQIA_TIME_SINCE_RESET, static_cast<MQLONG>(st->secondsSinceReset))
        .integer(MQIA_HIGH_Q_DEPTH, static_cast<MQLONG>(st->highDepth))
        .integer(MQIA_MSG_ENQ_COUNT, static_cast<MQLONG>(st->msgsIn))
        .integer(MQIA_MSG_DEQ_COUNT, static_cast<MQLONG>(st->msgsOut));
  }
  if (!found) return failWith(req.header, MQRC_UNKNOWN_OBJECT_NAME);
  return r.finish();
}

// Inquiries that KVARN uses for lists of names: one response per object, holding
// the object's name (and its type where it has one).
struct NameInquiry {
  MQLONG command;
  ObjectKind kind;
  MQLONG nameParam;
  size_t padTo;
  bool running;  // status inquiry: only objects that are running
};

constexpr NameInquiry kNameInquiries[] = {
    {MQCMD_INQUIRE_CHANNEL, ObjectKind::Channel, MQCACH_CHANNEL_NAME, 20, false},
    {MQCMD_INQUIRE_CHLAUTH_RECS, ObjectKind::ChlAuth, MQCACH_CHANNEL_NAME, 48, false},
    {MQCMD_INQUIRE_AUTH_INFO, ObjectKind::AuthInfo, MQCA_AUTH_INFO_NAME, 48, false},
    {MQCMD_INQUIRE_COMM_INFO, ObjectKind::CommInfo, MQCA_COMM_INFO_NAME, 48, false},
    {MQCMD_INQUIRE_CLUSTER_Q_MGR, ObjectKind::QMgr, MQCA_CLUSTER_Q_MGR_NAME, 48, false},
    {MQCMD_INQUIRE_NAMELIST, ObjectKind::Namelist, MQCA_NAMELIST_NAME, 48, false},
    {MQCMD_INQUIRE_PROCESS, ObjectKind::Process, MQCA_PROCESS_NAME, 48, false},
    {MQCMD_INQUIRE_LISTENER, ObjectKind::Listener, MQCACH_LISTENER_NAME, 48, false},
    {MQCMD_INQUIRE_LISTENER_STATUS, ObjectKind::Listener, MQCACH_LISTENER_NAME, 48, true},
    {MQCMD_INQUIRE_SERVICE, ObjectKind::Service, MQCA_SERVICE_NAME, 32, false},
    {MQCMD_INQUIRE_SUBSCRIPTION, ObjectKind::Subscription, MQCACF_SUB_NAME, 0, false},
    {MQCMD_INQUIRE_TOPIC, ObjectKind::Topic, MQCA_TOPIC_NAME, 48, false},
};

std::vector<std::string> inquireNames(ExecContext& ctx, const PcfRequest& req, const NameInquiry& inq) {
  const PcfParam* name = req.find(inq.nameParam);
  if (name && name->type != MQCFT_STRING) return failWith(req.header, MQRCCF_STRUCTURE_TYPE_ERROR, inq.nameParam);
  std::string pattern = name ? name->text : "";
  if (pattern.empty()) return failWith(req.header, MQRCCF_PARM_COUNT_TOO_SMALL, inq.nameParam);
  Responses r(req.header);
  int found = 0;
  std::set<std::string> seen;
  if (inq.kind != ObjectKind::QMgr) {  // no cluster queue managers are simulated
    for (const auto& def : ctx.qm.objects(inq.kind)) {
      std::string shown = inq.kind == ObjectKind::ChlAuth ? def.get("PROFILE") : def.name;
      if (!genericMatch(pattern, shown) || !seen.insert(shown).second) continue;
      if (inq.running) {
        std::lock_guard lk(ctx.state.mu);
        auto it = ctx.state.listeners.find(def.name);
        if (it == ctx.state.listeners.end() || it->second.status != "RUNNING") continue;
      }
      ++found;
      PcfWriter& w = r.add();
      w.string(inq.nameParam, shown, inq.padTo);
      if (inq.kind == ObjectKind::Channel) {
        static const std::map<std::string, MQLONG> types = {{"SDR", MQCHT_SENDER},        {"SVR", MQCHT_SERVER},
                                                            {"RCVR", MQCHT_RECEIVER},     {"RQSTR", MQCHT_REQUESTER},
                                                            {"CLNTCONN", MQCHT_CLNTCONN}, {"SVRCONN", MQCHT_SVRCONN},
                                                            {"CLUSSDR", MQCHT_CLUSSDR},   {"CLUSRCVR", MQCHT_CLUSRCVR}};
        auto t = types.find(def.get("CHLTYPE"));
        w.integer(MQIACH_CHANNEL_TYPE, t == types.end() ? 0 : t->second);
      }
    }
  }
  if (!found) {
    if (inq.kind == ObjectKind::Channel) return failWith(req.header, MQRCCF_CHANNEL_NOT_FOUND);
    return failWith(req.header, MQRC_UNKNOWN_OBJECT_NAME);
  }
  return r.finish();
}

// --- authority records ---------------------------------------------------------------------

// The entity of an authority command: one principal or one group, as an MQCFSL (or,
// leniently, an MQCFST) of one name.
struct PcfEntity {
  std::string name;
  bool group = false;
};

std::optional<MQLONG> entityOf(const PcfRequest& req, PcfEntity& out) {
  const PcfParam* principal = req.find(MQCACF_PRINCIPAL_ENTITY_NAMES);
  const PcfParam* group = req.find(MQCACF_GROUP_ENTITY_NAMES);
  if (!principal && !group) return MQRCCF_ENTITY_NAME_MISSING;
  if (principal && group) return MQRCCF_PARM_CONFLICT;
  const PcfParam* p = principal ? principal : group;
  std::vector<std::string> names = p->type == MQCFT_STRING_LIST ? p->texts : std::vector<std::string>{p->text};
  if (p->type != MQCFT_STRING_LIST && p->type != MQCFT_STRING) return MQRCCF_STRUCTURE_TYPE_ERROR;
  if (names.size() != 1 || names[0].empty() || names[0].size() > 64) return MQRCCF_ENTITY_NAME_MISSING;
  out = {names[0], p == group};
  return std::nullopt;
}

// Profile and object type of an authority command; QMGR profiles are kept as IBM keeps them.
std::optional<MQLONG> profileOf(const PcfRequest& req, MQLONG nameParam, std::string& objtype, std::string& profile,
                                bool allTypes = false) {
  const PcfParam* type = req.find(MQIACF_OBJECT_TYPE);
  if (!type) return MQRCCF_OBJECT_TYPE_MISSING;
  if (type->type != MQCFT_INTEGER) return MQRCCF_STRUCTURE_TYPE_ERROR;
  objtype = allTypes && type->intValue == MQOT_ALL ? "" : authority::objtypeKeyword(type->intValue);
  if (objtype.empty() && !(allTypes && type->intValue == MQOT_ALL)) return MQRC_OBJECT_TYPE_ERROR;
  const PcfParam* name = req.find(nameParam);
  if (name && name->type != MQCFT_STRING) return MQRCCF_STRUCTURE_TYPE_ERROR;
  profile = name ? name->text : "";
  if (objtype == "QMGR") profile = authority::kQMgrProfile;
  if (profile.size() > 48) return MQRCCF_PROFILE_NAME_ERROR;
  return std::nullopt;
}

std::optional<MQLONG> authoritiesOf(const PcfParam* p, const std::string& objtype, std::set<std::string>& out) {
  if (!p) return std::nullopt;
  if (p->type != MQCFT_INTEGER_LIST) return MQRCCF_STRUCTURE_TYPE_ERROR;
  for (MQLONG v : p->ints) {
    std::string name = v == MQAUTH_ALL         ? "ALL"
                       : v == MQAUTH_ALL_ADMIN ? "ALLADM"
                       : v == MQAUTH_ALL_MQI   ? "ALLMQI"
                       : v == MQAUTH_NONE      ? "NONE"
                                               : "";
    if (name.empty())
      if (const authority::AuthName* a = authority::findValue(v)) name = a->mqsc;
    if (name.empty() || !authority::expand(name, objtype, out)) return MQRCCF_AUTH_VALUE_ERROR;
  }
  return std::nullopt;
}

std::vector<std::string> changeAuthRec(ExecContext& ctx, const PcfRequest& req, bool remove) {
  std::string objtype, profile;
  if (auto bad = profileOf(req, MQCACF_AUTH_PROFILE_NAME, objtype, profile)) return failWith(req.header, *bad);
  if (profile.empty()) return failWith(req.header, MQRCCF_PARM_COUNT_TOO_SMALL, MQCACF_AUTH_PROFILE_NAME);
  PcfEntity entity;
  if (auto bad = entityOf(req, entity)) return failWith(req.header, *bad);
  AuthChange done;
  if (remove) {
    done = deleteAuthority(ctx.qm, objtype, profile, entity.name, entity.group);
  } else {
    const PcfParam* add = req.find(MQIACF_AUTH_ADD_AUTHS);
    const PcfParam* rmv = req.find(MQIACF_AUTH_REMOVE_AUTHS);
    if (!add && !rmv) return failWith(req.header, MQRCCF_AUTH_VALUE_MISSING);
    std::set<std::string> adding, removing;
    if (auto bad = authoritiesOf(add, objtype, adding)) return failWith(req.header, *bad, MQIACF_AUTH_ADD_AUTHS);
    if (auto bad = authoritiesOf(rmv, objtype, removing)) return failWith(req.header, *bad, MQIACF_AUTH_REMOVE_AUTHS);
    for (const auto& a : adding)
      if (removing.count(a)) return failWith(req.header, MQRCCF_PARM_CONFLICT);
    done = changeAuthority(ctx.qm, objtype, profile, entity.name, entity.group, adding, removing);
  }
  switch (done) {
  case AuthChange::Done: return Responses(req.header).finish();
  case AuthChange::NoSuchObject: return failWith(req.header, MQRC_UNKNOWN_OBJECT_NAME);
  case AuthChange::NotFound: return failWith(req.header, MQRCCF_NONE_FOUND);
  default: return failWith(req.header, MQRC_RESOURCE_PROBLEM);
  }
}

MQLONG objtypeNumber(const std::string& objtype) { return authority::objtypeValue(objtype).value_or(MQOT_NONE); }

std::vector<std::string> inquireAuthRecs(ExecContext& ctx, const PcfRequest& req) {
  const PcfParam* options = req.find(MQIACF_AUTH_OPTIONS);
  if (!options) return failWith(req.header, MQRCCF_PARM_COUNT_TOO_SMALL, MQIACF_AUTH_OPTIONS);
  if (options->type != MQCFT_INTEGER) return failWith(req.header, MQRCCF_STRUCTURE_TYPE_ERROR, MQIACF_AUTH_OPTIONS);
  MQLONG opts = options->intValue;
  std::string objtype, profile;
  if (auto bad = profileOf(req, MQCACF_AUTH_PROFILE_NAME, objtype, profile, true)) return failWith(req.header, *bad);
  std::string entity;
  bool group = false;
  if (const PcfParam* e = req.find(MQCACF_ENTITY_NAME)) {
    if (e->type != MQCFT_STRING) return failWith(req.header, MQRCCF_STRUCTURE_TYPE_ERROR, MQCACF_ENTITY_NAME);
    entity = e->text;
    const PcfParam* et = req.find(MQIACF_ENTITY_TYPE);
    if (!et && !entity.empty()) return failWith(req.header, MQRCCF_ENTITY_TYPE_MISSING);
    group = et && et->intValue == MQZAET_GROUP;
  }
  const PcfParam* attrs = req.find(MQIACF_AUTH_PROFILE_ATTRS);
  if (attrs && attrs->type != MQCFT_INTEGER_LIST)
    return failWith(req.header, MQRCCF_STRUCTURE_TYPE_ERROR, MQIACF_AUTH_PROFILE_ATTRS);
  std::vector<authority::Record> found;
  if (opts & MQAUTHOPT_NAME_AS_WILDCARD) {
    for (auto& r : selectRecords(ctx.qm, "", false, objtype, entity, group, opts & MQAUTHOPT_ENTITY_SET))
      if (profile.empty() || authority::profileMatches(profile, r.profile)) found.push_back(std::move(r));
  } else {
    found = selectRecords(ctx.qm, profile, !(opts & MQAUTHOPT_NAME_ALL_MATCHING), objtype, entity, group,
                          opts & MQAUTHOPT_ENTITY_SET);
  }
  if (found.empty()) return failWith(req.header, MQRCCF_NONE_FOUND);
  Responses r(req.header);
  for (const auto& rec : found) {
    PcfWriter& w = r.add();
    w.string(MQCA_Q_MGR_NAME, ctx.qm.name(), 48)
        .integer(MQIACF_AUTH_OPTIONS, opts)
        .string(MQCACF_AUTH_PROFILE_NAME, rec.profile, 48)
        .integer(MQIACF_OBJECT_TYPE, objtypeNumber(rec.objtype));
    if (wants(attrs, MQIACF_AUTHORIZATION_LIST))
      w.integerList(MQIACF_AUTHORIZATION_LIST, authority::authValues(rec.auths));
    if (wants(attrs, MQCACF_ENTITY_NAME)) w.string(MQCACF_ENTITY_NAME, rec.entity);
    if (wants(attrs, MQIACF_ENTITY_TYPE)) w.integer(MQIACF_ENTITY_TYPE, rec.group ? MQZAET_GROUP : MQZAET_PRINCIPAL);
  }
  return r.finish();
}

std::vector<std::string> inquireEntityAuth(ExecContext& ctx, const PcfRequest& req) {
  const PcfParam* e = req.find(MQCACF_ENTITY_NAME);
  if (!e || e->type != MQCFT_STRING || e->text.empty()) return failWith(req.header, MQRCCF_ENTITY_NAME_MISSING);
  const PcfParam* et = req.find(MQIACF_ENTITY_TYPE);
  if (!et || et->type != MQCFT_INTEGER) return failWith(req.header, MQRCCF_ENTITY_TYPE_MISSING);
  if (et->intValue != MQZAET_PRINCIPAL && et->intValue != MQZAET_GROUP)
    return failWith(req.header, MQRCCF_PARM_VALUE_ERROR, MQIACF_ENTITY_TYPE);
  std::string objtype, profile;
  if (auto bad = profileOf(req, MQCACF_AUTH_PROFILE_NAME, objtype, profile)) return failWith(req.header, *bad);
  std::string objectName = objtype == "QMGR" ? ctx.qm.name() : profile;
  if (objectName.empty() || authority::isGeneric(objectName))
    return failWith(req.header, MQRCCF_PROFILE_NAME_ERROR, MQCACF_AUTH_PROFILE_NAME);
  bool group = et->intValue == MQZAET_GROUP;
  auto held = effectiveAuthority(ctx.qm, objtype, objectName, e->text, group);
  const PcfParam* options = req.find(MQIACF_AUTH_OPTIONS);
  Responses r(req.header);
  r.add()
      .string(MQCA_Q_MGR_NAME, ctx.qm.name(), 48)
      .integer(MQIACF_AUTH_OPTIONS, options && options->type == MQCFT_INTEGER ? options->intValue : 0)
      .string(MQCACF_AUTH_PROFILE_NAME, objectName, 48)
      .integer(MQIACF_OBJECT_TYPE, objtypeNumber(objtype))
      .integerList(MQIACF_AUTHORIZATION_LIST, authority::authValues(held))
      .string(MQCACF_ENTITY_NAME, e->text)
      .integer(MQIACF_ENTITY_TYPE, et->intValue);
  return r.finish();
}

std::vector<std::string> refreshSecurityPcf(ExecContext& ctx, const PcfRequest& req) {
  if (const PcfParam* t = req.find(MQIACF_SECURITY_TYPE)) {
    if (t->type != MQCFT_INTEGER) return failWith(req.header, MQRCCF_STRUCTURE_TYPE_ERROR, MQIACF_SECURITY_TYPE);
    if (t->intValue != MQSECTYPE_AUTHSERV && t->intValue != MQSECTYPE_SSL && t->intValue != MQSECTYPE_CONNAUTH)
      return failWith(req.header, MQRCCF_PARM_VALUE_ERROR, MQIACF_SECURITY_TYPE);
    if (t->intValue == MQSECTYPE_CONNAUTH) {
      Outcome o = ctx.qm.refreshConnAuth();
      if (!o.ok()) return failWith(req.header, o.reason, 0);
    }
  }
  return Responses(req.header).finish();
}

std::vector<std::string> escape(ExecContext& ctx, const PcfRequest& req) {
  const PcfParam* type = req.find(MQIACF_ESCAPE_TYPE);
  const PcfParam* text = req.find(MQCACF_ESCAPE_TEXT);
  if (!type || !text)
    return failWith(req.header, MQRCCF_PARM_COUNT_TOO_SMALL, type ? MQCACF_ESCAPE_TEXT : MQIACF_ESCAPE_TYPE);
  if (type->type != MQCFT_INTEGER || type->intValue != MQET_MQSC)
    return failWith(req.header, MQRCCF_ESCAPE_TYPE_ERROR, MQIACF_ESCAPE_TYPE);
  if (text->type != MQCFT_STRING) return failWith(req.header, MQRCCF_STRUCTURE_TYPE_ERROR, MQCACF_ESCAPE_TEXT);
  MqscResponse resp = executeMqsc(ctx, text->text);
  std::vector<std::string> out;
  if (resp.items.empty()) {  // every request is answered, so the requester never waits in vain
    PcfWriter w(MQCFT_RESPONSE, req.header.Version, MQCMD_ESCAPE, 1, true, MQCC_OK, MQRC_NONE);
    w.integer(MQIACF_ESCAPE_TYPE, MQET_MQSC);
    return {w.finish()};
  }
  for (size_t i = 0; i < resp.items.size(); ++i) {
    const ResponseItem& item = resp.items[i];
    bool failed = item.fault != Fault::None;
    PcfWriter w(MQCFT_RESPONSE, req.header.Version, MQCMD_ESCAPE, static_cast<MQLONG>(i + 1),
                i + 1 == resp.items.size(), failed ? MQCC_FAILED : MQCC_OK, failed ? MQRCCF_COMMAND_FAILED : MQRC_NONE);
    w.integer(MQIACF_ESCAPE_TYPE, MQET_MQSC).string(MQCACF_ESCAPE_TEXT, layoutDistributed(item));
    out.push_back(w.finish());
  }
  return out;
}

}  // namespace

std::string pcfError(const MQCFH& request, MQLONG reason, MQLONG parameter) {
  MQLONG type = request.Type == MQCFT_COMMAND_XR ? MQCFT_XR_SUMMARY : MQCFT_RESPONSE;
  MQLONG version = request.Version >= MQCFH_VERSION_1 && request.Version <= MQCFH_VERSION_3 ? request.Version : 1;
  PcfWriter w(type, version, request.Command, 1, true, MQCC_FAILED, reason);
  if (parameter) w.integer(MQIACF_PARAMETER_ID, parameter);
  return w.finish();
}

std::vector<std::string> answerPcf(ExecContext& ctx, const PcfRequest& req) {
  switch (req.header.Command) {
  case MQCMD_ESCAPE: return escape(ctx, req);
  case MQCMD_INQUIRE_Q_MGR: return inquireQMgr(ctx, req);
  case MQCMD_INQUIRE_Q: return inquireQueue(ctx, req);
  case MQCMD_CLEAR_Q: return clearQueue(ctx, req);
  case MQCMD_RESET_Q_STATS: return resetQueueStats(ctx, req);
  case MQCMD_SET_AUTH_REC: return changeAuthRec(ctx, req, false);
  case MQCMD_DELETE_AUTH_REC: return changeAuthRec(ctx, req, true);
  case MQCMD_INQUIRE_AUTH_RECS: return inquireAuthRecs(ctx, req);
  case MQCMD_INQUIRE_ENTITY_AUTH: return inquireEntityAuth(ctx, req);
  case MQCMD_REFRESH_SECURITY: return refreshSecurityPcf(ctx, req);
  default:
    for (const auto& inq : kNameInquiries)
      if (inq.command == req.header.Command) return inquireNames(ctx, req, inq);
    return failWith(req.header, MQRCCF_CFH_COMMAND_ERROR);
  }
}

std::vector<std::string> answerTolk(ExecContext& ctx, const PcfRequest& req) {
  if (req.header.Command == kTolkDisplayEv) {
    PcfWriter w(MQCFT_RESPONSE, req.header.Version, kTolkDisplayEv, 1, true, MQCC_OK, MQRC_NONE);
    w.integer(kTolkCommandLevel, static_cast<MQLONG>(ctx.qm.qmgrObject().getInt("TOLKLEVEL", 922)));
    return {w.finish()};
  }
  if (req.header.Command != MQCMD_ESCAPE) return failWith(req.header, MQRCCF_CFH_COMMAND_ERROR);
  const PcfParam* text = req.find(MQCACF_ESCAPE_TEXT);
  if (!text || text->type != MQCFT_STRING) return failWith(req.header, MQRCCF_PARM_COUNT_TOO_SMALL, MQCACF_ESCAPE_TEXT);
  MqscResponse resp = executeTolk(ctx, text->text);
  if (resp.noReply) return {};
  // Several records to a message, delimited, as the event product answers.
  constexpr size_t kRecordsPerMessage = 50;
  std::vector<std::string> out;
  size_t messages = (resp.items.size() + kRecordsPerMessage - 1) / kRecordsPerMessage;
  for (size_t m = 0; m < messages; ++m) {
    size_t first = m * kRecordsPerMessage, end = std::min(resp.items.size(), first + kRecordsPerMessage);
    bool failed = false;
    for (size_t i = first; i < end; ++i) failed |= resp.items[i].fault != Fault::None;
    PcfWriter w(MQCFT_RESPONSE, req.header.Version, MQCMD_ESCAPE, static_cast<MQLONG>(m + 1), false,
                failed ? MQCC_FAILED : MQCC_OK, failed ? MQRCCF_COMMAND_FAILED : MQRC_NONE);
    for (size_t i = first; i < end; ++i) {
      if (i > first) w.integer(kTolkResponseDelimiter, 0);
      w.string(MQCACF_ESCAPE_TEXT, layoutDistributed(resp.items[i]));
    }
    std::string msg = w.finish();
    MQLONG control = kTolkMultiRecord | (m + 1 == messages ? MQCFC_LAST : MQCFC_NOT_LAST);
    std::memcpy(msg.data() + offsetof(MQCFH, Control), &control, sizeof control);
    out.push_back(std::move(msg));
  }
  return out;
}

}  // namespace qmsim::cmdserver
