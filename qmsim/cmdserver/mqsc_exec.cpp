#include "cmdserver/mqsc_exec.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

#include "cmdserver/admin_commands.h"
#include "cmdserver/authrec.h"
#include "cmdserver/exec_support.h"
#include "cmdserver/model.h"
#include "cmdserver/mqsc_parser.h"
#include "cmdserver/status_display.h"

namespace qmsim::cmdserver {

namespace {

using Clock = std::chrono::system_clock;

// --- verbs and messages ------------------------------------------------------------

struct VerbName {
  const char* verb;
  const char* shortForm;
};
constexpr VerbName kVerbs[] = {{"ALTER", "ALT"}, {"CLEAR", ""}, {"DEFINE", "DEF"},  {"DELETE", ""}, {"DISPLAY", "DIS"},
                               {"PING", ""},     {"PURGE", ""}, {"REFRESH", "REF"}, {"RESET", ""},  {"RESOLVE", ""},
                               {"RESUME", ""},   {"SET", ""},   {"START", "STA"},   {"STOP", ""},   {"SUSPEND", ""}};

std::string canonicalVerb(const std::string& v) {
  for (const auto& vn : kVerbs)
    if (v == vn.verb || (*vn.shortForm && v == vn.shortForm)) return vn.verb;
  return "";
}

std::string placeholder(const TypeDef& t) {
  std::string p = t.nameKeyword == "QUEUE" ? "q" : t.nameKeyword == "CHANNEL" ? "channel" : t.nameKeyword;
  for (char& c : p) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return p + "_name";
}

std::string syntaxFor(const std::string& verb, const TypeDef& t) {
  std::string s = "  " + verb + " " + t.keyword + "( " + placeholder(t) + " )";
  if (verb == "DISPLAY") return s + " [ ALL ] [ WHERE( filter ) ] [ attribute ... ]";
  if (verb == "DELETE") return s + (t.kind == ObjectKind::Queue ? " [ PURGE | NOPURGE ]" : "");
  if (t.kind == ObjectKind::Channel)
    s += " CHLTYPE( SDR | SVR | RCVR | RQSTR | CLNTCONN | SVRCONN | CLUSSDR | CLUSRCVR )";
  if (verb == "DEFINE") s += " [ LIKE( " + placeholder(t) + " ) ] [ REPLACE | NOREPLACE ]";
  return s + " [ attribute( value ) ... ]";
}

// --- attribute values ----------------------------------------------------------------

bool isDistributedOnlyNoise(const std::string& kw) { return kw == "CMDSCOPE" || kw == "QSGDISP" || kw == "CHLDISP"; }

std::string storedOrDefault(const ObjectDef& def, const AttrDef& a) {
  auto it = def.attrs.find(a.keyword);
  return it == def.attrs.end() ? a.defaultValue : it->second;
}

// The values a display shows for one object: every keyword that applies and `shown`
// takes, in order.
template <class Shown>
std::vector<std::pair<const AttrDef*, std::string>> attributeValues(ExecContext& ctx, const TypeDef& t,
                                                                    const ObjectDef& def, const Shown& shown) {
  std::vector<std::pair<const AttrDef*, std::string>> out;
  char cls = objectClass(def);
  std::optional<QueueStatus> st;
  if (def.kind == ObjectKind::Queue && cls == 'l') st = ctx.qm.queueStatus(def.name);
  for (const auto& a : *t.attrs) {
    if (!a.appliesTo(cls) || !shown(a)) continue;
    std::string v = storedOrDefault(def, a);
    if (a.keyword == "CURDEPTH") v = std::to_string(st ? st->depth : 0);
    else if (a.keyword == "IPPROCS") v = std::to_string(st ? st->openInput : 0);
    else if (a.keyword == "OPPROCS") v = std::to_string(st ? st->openOutput : 0);
    else if (a.keyword == "NAMCOUNT") {
      std::string names = def.get("NAMES");
      v = names.empty() ? "0" : std::to_string(std::count(names.begin(), names.end(), ',') + 1);
    } else if (a.keyword == "DEFTYPE" && cls == 'l') v = def.get("DEFTYPE", "PREDEFINED");
    else if (a.keyword == "SUBID") v = def.get("SUBID");
    out.emplace_back(&a, v);
  }
  return out;
}

std::string typeValue(const TypeDef& t, const ObjectDef& def) {
  if (def.kind == ObjectKind::Queue) return def.queueType();
  if (def.kind == ObjectKind::Channel) return def.get("CHLTYPE");
  if (def.kind == ObjectKind::Topic) return "LOCAL";
  return "";
}

// --- WHERE -------------------------------------------------------------------------------

struct Where {
  std::string keyword, op, value;
  bool quoted = false;
};

bool parseWhere(const MqscParam& p, Where& w) {
  std::string raw = p.raw;
  size_t i = 0;
  auto word = [&]() {
    while (i < raw.size() && raw[i] == ' ') ++i;
    size_t s = i;
    while (i < raw.size() && raw[i] != ' ') ++i;
    return raw.substr(s, i - s);
  };
  w.keyword = upper(word());
  w.op = upper(word());
  while (i < raw.size() && raw[i] == ' ') ++i;
  std::string rest = raw.substr(i);
  while (!rest.empty() && rest.back() == ' ') rest.pop_back();
  if (rest.size() >= 2 && (rest[0] == '\'' || rest[0] == '"') && rest.back() == rest[0]) {
    w.quoted = true;
    std::string v;
    for (size_t k = 1; k + 1 < rest.size(); ++k) {
      v += rest[k];
      if (rest[k] == rest[0] && rest[k + 1] == rest[0]) ++k;
    }
    w.value = v;
  } else {
    if (rest.find_first_of("'\" ") != std::string::npos) return false;
    w.value = upper(rest);
  }
  static const std::set<std::string> ops = {"LT", "GT", "EQ", "NE", "LE", "GE", "LK", "NL", "CT", "EX", "CTG", "EXG"};
  return !w.keyword.empty() && ops.count(w.op) && !rest.empty();
}

bool numeric(const std::string& s, long& v) {
  if (s.empty() || s.size() > 11) return false;
  size_t i = s[0] == '-' ? 1 : 0;
  if (i == s.size()) return false;
  for (size_t k = i; k < s.size(); ++k)
    if (s[k] < '0' || s[k] > '9') return false;
  v = std::strtol(s.c_str(), nullptr, 10);
  return true;
}

bool whereHolds(const Where& w, const std::string& actual) {
  long a = 0, b = 0;
  if (numeric(actual, a) && numeric(w.value, b)) {
    if (w.op == "LT") return a < b;
    if (w.op == "GT") return a > b;
    if (w.op == "EQ") return a == b;
    if (w.op == "NE") return a != b;
    if (w.op == "LE") return a <= b;
    if (w.op == "GE") return a >= b;
    return false;
  }
  std::vector<std::string> items;
  for (size_t s = 0;;) {
    size_t c = actual.find(',', s);
    items.push_back(actual.substr(s, c - s));
    if (c == std::string::npos) break;
    s = c + 1;
  }
  if (w.op == "EQ" || w.op == "LK") return genericMatch(w.value, actual);
  if (w.op == "NE" || w.op == "NL") return !genericMatch(w.value, actual);
  if (w.op == "CT" || w.op == "EX") {
    bool has = std::find(items.begin(), items.end(), w.value) != items.end();
    return w.op == "CT" ? has : !has;
  }
  if (w.op == "CTG" || w.op == "EXG") {
    bool has = std::any_of(items.begin(), items.end(), [&](const std::string& i) { return genericMatch(w.value, i); });
    return w.op == "CTG" ? has : !has;
  }
  int c = actual.compare(w.value);
  if (w.op == "LT") return c < 0;
  if (w.op == "GT") return c > 0;
  if (w.op == "LE") return c <= 0;
  if (w.op == "GE") return c >= 0;
  return false;
}

// --- the object commands -------------------------------------------------------------------

struct Target {
  std::string name;
  bool generic = false;
};

bool objectName(const MqscCommand& cmd, const TypeDef& t, Target& out, bool allowGeneric) {
  if (!cmd.objectParam || cmd.objectParam->items.size() != 1) return false;
  out.name = cmd.objectParam->items[0];
  out.generic = allowGeneric && !out.name.empty() && out.name.back() == '*';
  if (out.generic) return out.name.size() <= t.maxName + 1;
  if (t.kind == ObjectKind::Subscription) return !out.name.empty() && out.name.size() <= t.maxName;
  return validObjectName(out.name, t.maxName);
}

std::string zosName(const TypeDef& t, const std::string& name) { return t.keyword + "(" + name + ")"; }

// Telemetry (MQTT) channels belong to a component this queue manager does not have.
bool isTelemetry(const MqscParam* chltype) {
  return chltype && chltype->items.size() == 1 && chltype->items[0] == "MQTT";
}

bool sameType(const TypeDef& t, const ObjectDef& def) {
  return t.kind != ObjectKind::Queue || t.subtype.empty() || def.queueType() == t.subtype;
}

MqscResponse mapOutcome(const Outcome& o, const TypeDef& t, const std::string& name, const std::string& okMessage) {
  std::string zo = zosName(t, name);
  if (o.ok()) {
    size_t colon = okMessage.find(": ");
    return single(message(okMessage.substr(0, colon), okMessage.substr(colon + 2), Fault::None, zo));
  }
  switch (o.reason) {
  case MQRC_OBJECT_ALREADY_EXISTS:
    return single(message("AMQ8150E", "IBM MQ object already exists.", Fault::AlreadyExists, zo));
  case MQRC_UNKNOWN_OBJECT_NAME: return notFound(name, zo);
  case MQRC_OBJECT_IN_USE: return single(message("AMQ8148E", "IBM MQ object in use.", Fault::InUse, zo));
  case MQRC_Q_NOT_EMPTY: return single(message("AMQ8143E", "IBM MQ queue not empty.", Fault::NotEmpty, zo));
  case MQRC_Q_TYPE_ERROR: return single(message("AMQ8151E", "IBM MQ object has different type.", Fault::WrongType, zo));
  case MQRC_OBJECT_NAME_ERROR:
    return single(message("AMQ8405I", "Syntax error detected at or near end of command segment below:-\n" + name,
                          Fault::Syntax, zo));
  default: return unexpectedError(o.reason, zo);
  }
}

// Applies the keyword parameters of DEFINE or ALTER to attrs; on a bad keyword or
// value returns the keyword so the syntax error can point at it.
std::optional<std::string> applyParams(const MqscCommand& cmd, const TypeDef& t, char cls, Attributes& attrs,
                                       const std::set<std::string>& consumed) {
  for (const auto& p : cmd.params) {
    if (consumed.count(p.keyword) || isDistributedOnlyNoise(p.keyword)) continue;
    bool negative = false;
    const AttrDef* a = findAttrOrFlag(t, p.keyword, negative);
    if (!a || !a->appliesTo(cls) || a->kind == ValueKind::ReadOnly) return p.keyword;
    if (a->keyword == "DEFTYPE" && cls == 'l') return p.keyword;
    if (a->kind == ValueKind::Flag) {
      if (p.hasValue) return p.keyword;
      attrs[a->keyword] = negative ? "NO" : "YES";
      continue;
    }
    if (!p.hasValue) return p.keyword;
    std::string stored;
    if (!normaliseValue(*a, p.items, p.anyQuoted(), stored)) return p.keyword;
    attrs[a->keyword] = stored;
  }
  return std::nullopt;
}

class ObjectCommands {
 public:
  ObjectCommands(ExecContext& ctx, const MqscCommand& cmd, const std::string& verb, const TypeDef& t)
      : ctx_(ctx), cmd_(cmd), verb_(verb), t_(t) {}

  MqscResponse define() {
    if (t_.kind == ObjectKind::Queue && (t_.subtype.empty() || t_.subtype == "QCLUSTER")) return syntax("");
    Target target;
    if (!objectName(cmd_, t_, target, false)) return syntax(cmd_.object);
    bool replace = cmd_.find("REPLACE") != nullptr;
    if (replace && cmd_.find("REPLACE")->hasValue) return syntax("REPLACE");
    std::set<std::string> consumed = {"REPLACE", "NOREPLACE", "LIKE"};
    ObjectDef def{t_.kind, target.name, {}};
    if (const MqscParam* like = cmd_.find("LIKE")) {
      if (like->items.size() != 1) return syntax("LIKE");
      auto from = ctx_.qm.object(t_.kind, like->items[0]);
      if (!from || !sameType(t_, *from)) return notFound(like->items[0], zosName(t_, like->items[0]));
      def.attrs = from->attrs;
    }
    char cls = '*';
    if (t_.kind == ObjectKind::Queue) {
      def.attrs["QTYPE"] = t_.subtype;
    } else if (t_.kind == ObjectKind::Channel) {
      const MqscParam* ct = cmd_.find("CHLTYPE");
      if (isTelemetry(ct))
        return unexpectedError(MQRC_FUNCTION_NOT_SUPPORTED, zosName(t_, target.name), Fault::NotAllowed);
      if (ct && (ct->items.size() != 1 || !channelClass(ct->items[0]))) return syntax("CHLTYPE");
      if (!ct && def.attrs.count("CHLTYPE") == 0) return syntax(cmd_.object);
      if (ct) {
        if (!def.attrs.empty() && def.get("CHLTYPE") != ct->items[0]) return wrongType(target.name);
        def.attrs["CHLTYPE"] = ct->items[0];
      }
      consumed.insert("CHLTYPE");
    } else if (t_.kind == ObjectKind::AuthInfo) {
      const MqscParam* at = cmd_.find("AUTHTYPE");
      if (!at && def.attrs.count("AUTHTYPE") == 0) return syntax(cmd_.object);
    } else if (t_.kind == ObjectKind::Subscription) {
      if (!cmd_.find("TOPICSTR") && !cmd_.find("TOPICOBJ") && def.attrs.empty()) return syntax(cmd_.object);
    } else if (t_.kind == ObjectKind::Topic) {
      if (!cmd_.find("TOPICSTR") && def.attrs.empty()) return syntax(cmd_.object);
    }
    if (!cmd_.find("LIKE")) inheritDefaults(def);
    for (const char* k : {"CRDATE", "CRTIME", "ALTDATE", "ALTTIME"}) def.attrs.erase(k);
    if (const MqscParam* at = cmd_.find("AUTHTYPE"); at && at->items.size() == 1) def.attrs["AUTHTYPE"] = at->items[0];
    cls = objectClass(def);
    if (auto bad = applyParams(cmd_, t_, cls, def.attrs, consumed)) return syntax(*bad);
    if (t_.kind == ObjectKind::Subscription && def.get("SUBID").empty()) def.attrs["SUBID"] = newSubId();
    auto existing = ctx_.qm.object(t_.kind, target.name);
    if (existing && !replace) return mapOutcome(Outcome::fail(MQRC_OBJECT_ALREADY_EXISTS), t_, target.name, "");
    if (existing && !sameType(t_, *existing)) return wrongType(target.name);
    if (existing && t_.kind == ObjectKind::Channel && existing->get("CHLTYPE") != def.get("CHLTYPE"))
      return wrongType(target.name);
    Outcome o = ctx_.qm.define(def, replace);
    return mapOutcome(o, t_, target.name, existing ? t_.changed : t_.created);
  }

  MqscResponse alter() {
    if (t_.kind == ObjectKind::Queue && (t_.subtype.empty() || t_.subtype == "QCLUSTER")) return syntax("");
    Target target;
    if (!objectName(cmd_, t_, target, false)) return syntax(cmd_.object);
    auto current = ctx_.qm.object(t_.kind, target.name);
    std::set<std::string> consumed = {"FORCE"};
    if (t_.kind == ObjectKind::Channel) {
      const MqscParam* ct = cmd_.find("CHLTYPE");
      if (isTelemetry(ct))
        return unexpectedError(MQRC_FUNCTION_NOT_SUPPORTED, zosName(t_, target.name), Fault::NotAllowed);
      if (!ct || ct->items.size() != 1 || !channelClass(ct->items[0])) return syntax(ct ? "CHLTYPE" : cmd_.object);
      if (current && current->get("CHLTYPE") != ct->items[0]) return wrongType(target.name);
      consumed.insert("CHLTYPE");
    }
    if (!current || !sameType(t_, *current)) return notFound(target.name, zosName(t_, target.name));
    Attributes changes;
    if (auto bad = applyParams(cmd_, t_, objectClass(*current), changes, consumed)) return syntax(*bad);
    if (t_.kind == ObjectKind::AuthInfo && changes.count("AUTHTYPE") && changes["AUTHTYPE"] != current->get("AUTHTYPE"))
      return syntax("AUTHTYPE");
    if (t_.kind == ObjectKind::Queue && current->queueType() == "QLOCAL" && !cmd_.find("FORCE")) {
      // IBM refuses to make an open queue unshareable or to inhibit nothing else here.
      auto st = ctx_.qm.queueStatus(target.name);
      if (st && st->openInput > 1 && changes.count("SHARE") && changes["SHARE"] == "NO")
        return mapOutcome(Outcome::fail(MQRC_OBJECT_IN_USE), t_, target.name, "");
    }
    return mapOutcome(ctx_.qm.alter(t_.kind, target.name, changes), t_, target.name, t_.changed);
  }

  MqscResponse remove() {
    if (t_.kind == ObjectKind::Queue && (t_.subtype.empty() || t_.subtype == "QCLUSTER")) return syntax("");
    Target target;
    if (!objectName(cmd_, t_, target, false)) return syntax(cmd_.object);
    for (const auto& p : cmd_.params) {
      bool ok = isDistributedOnlyNoise(p.keyword) ||
                (t_.subtype == "QLOCAL" && (p.keyword == "PURGE" || p.keyword == "NOPURGE") && !p.hasValue) ||
                (t_.kind == ObjectKind::Channel && p.keyword == "CHLTABLE");
      if (!ok) return syntax(p.keyword);
    }
    auto current = ctx_.qm.object(t_.kind, target.name);
    if (!current || !sameType(t_, *current)) return notFound(target.name, zosName(t_, target.name));
    Outcome o = ctx_.qm.remove(t_.kind, target.name, cmd_.find("PURGE") != nullptr);
    return mapOutcome(o, t_, target.name, t_.deleted);
  }

  MqscResponse display() {
    Target target;
    if (!objectName(cmd_, t_, target, true)) return syntax(cmd_.object);
    bool all = false;
    std::optional<Where> where;
    std::string typeFilter;
    std::vector<std::string> wanted;
    for (const auto& p : cmd_.params) {
      if (isDistributedOnlyNoise(p.keyword)) continue;
      if (p.keyword == "ALL" && !p.hasValue) {
        all = true;
      } else if (p.keyword == "WHERE") {
        Where w;
        if (!p.hasValue || !parseWhere(p, w) || !knownForDisplay(w.keyword)) return syntax("WHERE");
        where = w;
      } else if ((p.keyword == "TYPE" && t_.keyword == "QUEUE") ||
                 (p.keyword == "CHLTYPE" && t_.kind == ObjectKind::Channel)) {
        if (p.items.size() != 1) return syntax(p.keyword);
        typeFilter = p.items[0];
        if (t_.kind == ObjectKind::Channel && typeFilter != "ALL" && !channelClass(typeFilter))
          return syntax(p.keyword);
        if (t_.kind == ObjectKind::Queue && typeFilter != "ALL" &&
            !(findType(typeFilter) && findType(typeFilter)->kind == ObjectKind::Queue))
          return syntax(p.keyword);
        if (const TypeDef* ft = findType(typeFilter); ft && ft->kind == ObjectKind::Queue) typeFilter = ft->subtype;
        if (typeFilter == "ALL") typeFilter.clear();
      } else if (!p.hasValue && knownForDisplay(p.keyword)) {
        wanted.push_back(p.keyword);
      } else {
        return syntax(p.keyword);
      }
    }
    // The attributes asked for, found once for every object: only they (or every one,
    // with ALL) and the WHERE attribute are worked out for each object.
    std::vector<const AttrDef*> asked;
    for (const auto& w : wanted) {
      bool negative = false;
      if (const AttrDef* a = findAttrOrFlag(t_, w, negative)) asked.push_back(a);
    }
    std::string whereKeyword = where ? where->keyword : "";
    auto shown = [&](const AttrDef& a) {
      return all || a.keyword == whereKeyword || std::find(asked.begin(), asked.end(), &a) != asked.end();
    };
    MqscResponse r;
    if (t_.subtype != "QCLUSTER") {
      for (const auto& def : ctx_.qm.objects(t_.kind, target.name)) {
        if (!sameType(t_, def)) continue;
        if (!typeFilter.empty() && typeValue(t_, def) != typeFilter) continue;
        const TypeDef& rowType = def.kind == ObjectKind::Queue ? queueTypeFor(def.queueType()) : t_;
        auto values = attributeValues(ctx_, rowType, def, shown);
        if (where) {
          std::string actual = valueFor(def, values, where->keyword);
          if (!whereHolds(*where, actual)) continue;
        }
        r.items.push_back(record(def, values));
      }
    }
    if (r.items.empty()) return notFound(target.name, zosName(t_, target.name));
    return r;
  }

 private:
  MqscResponse syntax(const std::string& keyword) {
    return syntaxError(segmentUpTo(cmd_, keyword), syntaxFor(verb_, t_));
  }
  MqscResponse wrongType(const std::string& name) {
    return single(message("AMQ8151E", "IBM MQ object has different type.", Fault::WrongType, zosName(t_, name)));
  }

  void inheritDefaults(ObjectDef& def) {
    std::string from = t_.defaultObject;
    if (t_.kind == ObjectKind::Channel) from = "SYSTEM.DEF." + longChannelType(def.get("CHLTYPE"));
    if (from.empty()) return;
    auto d = ctx_.qm.object(t_.kind, from);
    if (!d) return;
    Attributes merged = d->attrs;
    for (auto& [k, v] : def.attrs) merged[k] = v;
    def.attrs = std::move(merged);
  }

  static std::string longChannelType(const std::string& t) {
    static const std::map<std::string, std::string> names = {
        {"SDR", "SENDER"},        {"SVR", "SERVER"},      {"RCVR", "RECEIVER"},   {"RQSTR", "REQUESTER"},
        {"CLNTCONN", "CLNTCONN"}, {"SVRCONN", "SVRCONN"}, {"CLUSSDR", "CLUSSDR"}, {"CLUSRCVR", "CLUSRCVR"}};
    auto it = names.find(t);
    return it == names.end() ? t : it->second;
  }

  std::string newSubId() {
    char id[64];
    std::snprintf(id, sizeof id, "414D5120%-24s%016llX", ctx_.qm.name().substr(0, 12).c_str(),
                  static_cast<unsigned long long>(Clock::now().time_since_epoch().count()));
    std::string s = id;
    for (char& c : s)
      if (c == ' ') c = '2';  // blanks of the name, as hex digits of an id
    return s.substr(0, 48);
  }

  bool knownForDisplay(const std::string& kw) {
    if (kw == t_.nameKeyword || (!t_.typeKeyword.empty() && kw == t_.typeKeyword)) return true;
    bool negative = false;
    return findAttrOrFlag(t_, kw, negative) != nullptr;
  }

  std::string valueFor(const ObjectDef& def, const std::vector<std::pair<const AttrDef*, std::string>>& values,
                       const std::string& kw) {
    if (kw == t_.nameKeyword) return def.name;
    if (kw == t_.typeKeyword) return typeValue(t_, def);
    for (const auto& [a, v] : values)
      if (a->keyword == kw) return v;
    return "";
  }

  // The record of an object: its name, its type and the values worked out for it.
  ResponseItem record(const ObjectDef& def, const std::vector<std::pair<const AttrDef*, std::string>>& values) {
    ResponseItem item;
    item.record = true;
    size_t colon = t_.display.find(": ");
    item.messageId = t_.display.substr(0, colon);
    item.text = t_.display.substr(colon + 2);
    item.attrs.push_back(t_.nameKeyword + "(" + def.name + ")");
    if (!t_.typeKeyword.empty()) item.attrs.push_back(t_.typeKeyword + "(" + typeValue(t_, def) + ")");
    for (const auto& [a, v] : values) item.attrs.push_back(formatAttr(*a, v));
    return item;
  }

  ExecContext& ctx_;
  const MqscCommand& cmd_;
  std::string verb_;
  const TypeDef& t_;
};

// --- the queue manager --------------------------------------------------------------------

std::string versionFor(long cmdLevel) {
  char v[64];
  std::snprintf(v, sizeof v, "%02ld%02ld%02ld00", (cmdLevel / 100) % 100, (cmdLevel / 10) % 10, cmdLevel % 10);
  return v;
}

MqscResponse displayQMgr(ExecContext& ctx, const MqscCommand& cmd) {
  const TypeDef& t = qmgrType();
  ObjectDef q = ctx.qm.qmgrObject();
  bool all = true;
  std::vector<const AttrDef*> wanted;
  for (const auto& p : cmd.params) {
    if (isDistributedOnlyNoise(p.keyword)) continue;
    if (p.keyword == "ALL" && !p.hasValue) continue;
    bool negative = false;
    const AttrDef* a = findAttrOrFlag(t, p.keyword, negative);
    if (p.keyword == "QMNAME" && !p.hasValue) {
      all = false;
      continue;
    }
    if (!a || p.hasValue) return syntaxError(segmentUpTo(cmd, p.keyword), "  DISPLAY QMGR [ ALL ] [ attribute ... ]");
    all = false;
    wanted.push_back(a);
  }
  if (cmd.find("ALL")) all = true;
  ResponseItem item;
  item.record = true;
  item.messageId = "AMQ8408I";
  item.text = "Display Queue Manager details.";
  item.attrs.push_back("QMNAME(" + q.name + ")");
  long level = q.getInt("CMDLEVEL", 940);
  for (const auto& a : *t.attrs) {
    if (!all && std::find(wanted.begin(), wanted.end(), &a) == wanted.end()) continue;
    std::string v = storedOrDefault(q, a);
    if (a.keyword == "CMDLEVEL") v = std::to_string(level);
    else if (a.keyword == "VERSION") v = versionFor(level);
    else if (a.keyword == "PLATFORM") v = q.get("PLATFORM", "UNIX") == "ZOS" ? "MVS" : q.get("PLATFORM", "UNIX");
    else if ((a.keyword == "CRDATE" || a.keyword == "ALTDATE") && v.empty()) v = mqscDate(ctx.state.started);
    else if ((a.keyword == "CRTIME" || a.keyword == "ALTTIME") && v.empty()) v = mqscTime(ctx.state.started);
    item.attrs.push_back(formatAttr(a, v));
  }
  return single(std::move(item));
}

MqscResponse alterQMgr(ExecContext& ctx, const MqscCommand& cmd) {
  Attributes changes;
  if (auto bad = applyParams(cmd, qmgrType(), '*', changes, {"FORCE"}))
    return syntaxError(segmentUpTo(cmd, *bad), "  ALTER QMGR [ attribute( value ) ... ]");
  auto [date, time] = std::pair{mqscDate(Clock::now()), mqscTime(Clock::now())};
  changes["ALTDATE"] = date;
  changes["ALTTIME"] = time;
  ctx.qm.alterQMgr(changes);
  return single(message("AMQ8005I", "IBM MQ queue manager changed.", Fault::None, "QMGR"));
}

// --- CLEAR, PING, REFRESH, RESET ---------------------------------------------------------------

MqscResponse clearQueue(ExecContext& ctx, const MqscCommand& cmd) {
  const TypeDef& t = *findType("QLOCAL");
  Target target;
  if (!objectName(cmd, t, target, false)) return syntaxError(cmd.text, "  CLEAR QLOCAL( q_name )");
  for (const auto& p : cmd.params)
    if (!isDistributedOnlyNoise(p.keyword)) return syntaxError(segmentUpTo(cmd, p.keyword), "  CLEAR QLOCAL( q_name )");
  auto def = ctx.qm.object(ObjectKind::Queue, target.name);
  if (!def || def->queueType() != "QLOCAL") return notFound(target.name, zosName(t, target.name));
  return mapOutcome(ctx.qm.clearQueue(target.name), t, target.name, "AMQ8022I: IBM MQ queue cleared.");
}

MqscResponse resetQStats(ExecContext& ctx, const MqscCommand& cmd) {
  const TypeDef& t = *findType("QLOCAL");
  Target target;
  if (!ctx.zos || !objectName(cmd, t, target, true) || !cmd.params.empty())
    return syntaxError(cmd.text, ctx.zos ? "  RESET QSTATS( generic_q_name )" : "");
  MqscResponse r;
  for (const auto& def : ctx.qm.objects(ObjectKind::Queue, target.name)) {
    if (def.queueType() != "QLOCAL") continue;
    auto st = ctx.qm.resetQueueStats(def.name);
    if (!st) continue;
    ResponseItem item;
    item.record = true;
    item.messageId = "AMQ8409I";
    item.text = "Display Queue details.";
    item.zosRecordId = "CSQM455I";
    item.attrs = {"QSTATS(" + def.name + ")",
                  "QSGDISP(QMGR)",
                  "RESETINT(" + std::to_string(st->secondsSinceReset) + ")",
                  "HIQDEPTH(" + std::to_string(st->highDepth) + ")",
                  "MSGSIN(" + std::to_string(st->msgsIn) + ")",
                  "MSGSOUT(" + std::to_string(st->msgsOut) + ")"};
    r.items.push_back(std::move(item));
  }
  if (r.items.empty()) return notFound(target.name, "QSTATS(" + target.name + ")");
  return r;
}

// --- dispatch -------------------------------------------------------------------------------------

MqscResponse unknownVerb(const MqscCommand& cmd) {
  std::string list;
  for (const auto& v : kVerbs) list += std::string("\n  ") + v.verb;
  MqscResponse r = syntaxError(cmd.verb, "");
  r.items[0].text += "\n\nAMQ8426I: Valid MQSC commands are:\n" + list;
  return r;
}

MqscResponse verbObjects(const std::string& verb, const MqscCommand& cmd, const std::vector<std::string>& objects) {
  std::string syntax = "  " + verb + " ";
  for (size_t i = 0; i < objects.size(); ++i) syntax += (i ? " | " : "") + objects[i];
  return syntaxError(cmd.verb + (cmd.object.empty() ? "" : " " + cmd.object), syntax);
}

}  // namespace

bool isZos(const QueueManager& qm) {
  std::string p = qm.qmgrObject().get("PLATFORM");
  return p == "ZOS" || p == "MVS";
}

std::string mqscDate(Clock::time_point t) {
  std::time_t tt = Clock::to_time_t(t);
  std::tm tm{};
  localtime_r(&tt, &tm);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", (tm.tm_year + 1900) % 10000, tm.tm_mon + 1, tm.tm_mday);
  return buf;
}

std::string mqscTime(Clock::time_point t) {
  std::time_t tt = Clock::to_time_t(t);
  std::tm tm{};
  localtime_r(&tt, &tm);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

MqscResponse executeMqsc(ExecContext& ctx, const std::string& text) {
  MqscCommand cmd;
  MqscParseError error;
  if (!parseMqsc(text, cmd, error)) return syntaxError(error.segment, "");
  {
    std::lock_guard lk(ctx.state.mu);
    if (ctx.state.deniedUsers.count(ctx.userId))
      return single(message("AMQ8135E", "Not authorized.", Fault::NotAuthorized));
  }
  std::string verb = canonicalVerb(cmd.verb);
  if (verb.empty()) return unknownVerb(cmd);
  const std::string& obj = cmd.object;
  if (auto r = runAdminCommand(ctx, verb, cmd)) return *r;

  if (verb == "DEFINE" || verb == "ALTER" || verb == "DELETE" || verb == "DISPLAY") {
    if (obj == "QMGR" && verb == "DISPLAY" && !cmd.objectParam) return displayQMgr(ctx, cmd);
    if (obj == "QMGR" && verb == "ALTER" && !cmd.objectParam) return alterQMgr(ctx, cmd);
    if (verb == "DISPLAY") {
      if (auto r = displayStatus(ctx, cmd)) return *r;
    }
    if (verb == "DISPLAY" && (obj == "CHLAUTH")) return displayChlauth(ctx, cmd);
    if (!ctx.zos && verb == "DISPLAY" && obj == "AUTHREC") return displayAuthrec(ctx, cmd);
    if (!ctx.zos && verb == "DISPLAY" && obj == "ENTAUTH") return displayEntauth(ctx, cmd);
    if (!ctx.zos && verb == "DELETE" && obj == "AUTHREC") return deleteAuthrec(ctx, cmd);
    const TypeDef* t = findType(obj);
    if (!t) {
      std::vector<std::string> names;
      for (const auto& type : objectTypes())
        if (verb == "DISPLAY" || (type.keyword != "QUEUE" && type.keyword != "QCLUSTER")) names.push_back(type.keyword);
      return verbObjects(verb, cmd, names);
    }
    ObjectCommands oc(ctx, cmd, verb, *t);
    if (verb == "DEFINE") return oc.define();
    if (verb == "ALTER") return oc.alter();
    if (verb == "DELETE") return oc.remove();
    return oc.display();
  }
  if (verb == "CLEAR") {
    if (obj != "QLOCAL" && obj != "QL") return verbObjects(verb, cmd, {"QLOCAL"});
    return clearQueue(ctx, cmd);
  }
  if (verb == "PING") {
    if (obj == "CHANNEL" || obj == "CHL") return channelAction(ctx, cmd, verb);
    if (obj != "QMGR" || cmd.objectParam) return verbObjects(verb, cmd, {"QMGR", "CHANNEL"});
    return single(message("AMQ8415I", "Ping IBM MQ Queue Manager command complete."));
  }
  if (verb == "PURGE") return verbObjects(verb, cmd, {"CHANNEL"});
  if (verb == "REFRESH") {
    if (obj != "SECURITY" && obj != "SEC") return verbObjects(verb, cmd, {"SECURITY", "QMGR", "CLUSTER"});
    return refreshSecurity(ctx, cmd);
  }
  if (verb == "RESET") {
    if (obj == "CHANNEL" || obj == "CHL") return channelAction(ctx, cmd, verb);
    if (obj != "QSTATS") return verbObjects(verb, cmd, {"CHANNEL", "QSTATS"});
    return resetQStats(ctx, cmd);
  }
  if (verb == "SET") {
    if (!ctx.zos && obj == "AUTHREC") return setAuthrec(ctx, cmd);
    if (obj != "CHLAUTH")
      return verbObjects(
          verb, cmd, ctx.zos ? std::vector<std::string>{"CHLAUTH"} : std::vector<std::string>{"AUTHREC", "CHLAUTH"});
    return setChlauth(ctx, cmd);
  }
  if (verb == "RESOLVE") return channelAction(ctx, cmd, verb);
  if (verb == "SUSPEND" || verb == "RESUME") return suspendResume(ctx, cmd, verb);
  // START and STOP
  return startStop(ctx, cmd, verb);
}

}  // namespace qmsim::cmdserver
