#include "engine/authority.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <sstream>

namespace qmsim::authority {

namespace {

// Object types written as one string each, so a row lists those it applies to.
constexpr const char* kAdminTypes =
    "QMGR QUEUE PROCESS NAMELIST AUTHINFO CHANNEL CLNTCONN SERVICE LISTENER TOPIC COMMINFO";

bool inList(std::string_view list, std::string_view word) {
  std::istringstream in{std::string(list)};
  for (std::string w; in >> w;)
    if (w == word) return true;
  return false;
}

struct ObjType {
  const char* keyword;
  MQLONG value;
};
constexpr std::array<ObjType, 12> kObjTypes{{
    {"AUTHINFO", MQOT_AUTH_INFO},
    {"CHANNEL", MQOT_CHANNEL},
    {"CLNTCONN", MQOT_CLNTCONN_CHANNEL},
    {"COMMINFO", MQOT_COMM_INFO},
    {"LISTENER", MQOT_LISTENER},
    {"NAMELIST", MQOT_NAMELIST},
    {"PROCESS", MQOT_PROCESS},
    {"QUEUE", MQOT_Q},
    {"QMGR", MQOT_Q_MGR},
    {"RQMNAME", MQOT_REMOTE_Q_MGR_NAME},
    {"SERVICE", MQOT_SERVICE},
    {"TOPIC", MQOT_TOPIC},
}};

bool globMatch(std::string_view p, std::string_view s) {
  if (p.empty()) return s.empty();
  if (p[0] == '*') {
    for (size_t i = 0; i <= s.size(); ++i)
      if (globMatch(p.substr(1), s.substr(i))) return true;
    return false;
  }
  if (s.empty()) return false;
  if (p[0] != '?' && p[0] != s[0]) return false;
  return globMatch(p.substr(1), s.substr(1));
}

std::vector<std::string_view> qualifiers(std::string_view s) {
  std::vector<std::string_view> out;
  for (size_t start = 0;;) {
    size_t dot = s.find('.', start);
    out.push_back(s.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return out;
}

bool qualifiersMatch(const std::vector<std::string_view>& p, size_t pi, const std::vector<std::string_view>& s,
                     size_t si) {
  if (pi == p.size()) return si == s.size();
  if (p[pi] == "**") {
    for (size_t k = si; k <= s.size(); ++k)
      if (qualifiersMatch(p, pi + 1, s, k)) return true;
    return false;
  }
  if (si == s.size() || !globMatch(p[pi], s[si])) return false;
  return qualifiersMatch(p, pi + 1, s, si + 1);
}

// How closely a profile names an object: an exact name beats every generic profile,
// and among generic ones the profile with more fixed characters wins.
int specificity(std::string_view profile) {
  if (!isGeneric(profile)) return 1 << 20;
  return static_cast<int>(std::count_if(profile.begin(), profile.end(), [](char c) { return c != '*' && c != '?'; }));
}

}  // namespace

const std::vector<AuthName>& names() {
  static const std::vector<AuthName> t = {
      {"ALTUSR", MQAUTH_ALT_USER_AUTHORITY, "QMGR"},
      {"BROWSE", MQAUTH_BROWSE, "QUEUE"},
      {"CHG", MQAUTH_CHANGE, kAdminTypes},
      {"CLR", MQAUTH_CLEAR, "QUEUE TOPIC"},
      {"CONNECT", MQAUTH_CONNECT, "QMGR"},
      {"CRT", MQAUTH_CREATE, kAdminTypes},
      {"DLT", MQAUTH_DELETE, kAdminTypes},
      {"DSP", MQAUTH_DISPLAY, kAdminTypes},
      {"GET", MQAUTH_INPUT, "QUEUE"},
      {"INQ", MQAUTH_INQUIRE, "QMGR QUEUE PROCESS NAMELIST AUTHINFO COMMINFO"},
      {"PUT", MQAUTH_OUTPUT, "QUEUE RQMNAME"},
      {"PASSALL", MQAUTH_PASS_ALL_CONTEXT, "QUEUE TOPIC"},
      {"PASSID", MQAUTH_PASS_IDENTITY_CONTEXT, "QUEUE TOPIC"},
      {"SET", MQAUTH_SET, "QMGR QUEUE"},
      {"SETALL", MQAUTH_SET_ALL_CONTEXT, "QMGR QUEUE TOPIC"},
      {"SETID", MQAUTH_SET_IDENTITY_CONTEXT, "QMGR QUEUE TOPIC"},
      {"SUB", MQAUTH_SUBSCRIBE, "TOPIC"},
      {"RESUME", MQAUTH_RESUME, "TOPIC"},
      {"PUB", MQAUTH_PUBLISH, "TOPIC"},
      {"SYSTEM", MQAUTH_SYSTEM, "QMGR"},
      {"CTRL", MQAUTH_CONTROL, "CHANNEL SERVICE LISTENER TOPIC"},
      {"CTRLX", MQAUTH_CONTROL_EXTENDED, "CHANNEL"},
  };
  return t;
}

const AuthName* findName(std::string_view mqsc) {
  for (const auto& a : names())
    if (mqsc == a.mqsc) return &a;
  return nullptr;
}

const AuthName* findValue(MQLONG value) {
  for (const auto& a : names())
    if (value == a.value) return &a;
  return nullptr;
}

bool appliesTo(const AuthName& a, std::string_view objtype) { return inList(a.types, objtype); }

std::optional<MQLONG> objtypeValue(std::string_view keyword) {
  for (const auto& t : kObjTypes)
    if (keyword == t.keyword) return t.value;
  return std::nullopt;
}

std::string objtypeKeyword(MQLONG value) {
  for (const auto& t : kObjTypes)
    if (value == t.value) return t.keyword;
  return "";
}

bool expand(std::string_view name, std::string_view objtype, std::set<std::string>& out) {
  static const char* kAdmin = "CHG CLR DLT DSP CTRL CTRLX";
  static const char* kMqi = "ALTUSR BROWSE CONNECT GET INQ PUT PASSALL PASSID SET SETALL SETID SUB RESUME PUB";
  if (name == "NONE") return true;
  if (name == "ALL" || name == "ALLADM" || name == "ALLMQI") {
    for (const auto& a : names()) {
      if (!appliesTo(a, objtype)) continue;
      bool in = name == "ALL" || (name == "ALLADM" ? inList(kAdmin, a.mqsc) : inList(kMqi, a.mqsc));
      if (in) out.insert(a.mqsc);
    }
    return true;
  }
  const AuthName* a = findName(name);
  if (!a || !appliesTo(*a, objtype)) return false;
  out.insert(a->mqsc);
  return true;
}

bool isGeneric(std::string_view profile) { return profile.find_first_of("*?") != std::string_view::npos; }

bool profileMatches(std::string_view profile, std::string_view name) {
  if (!isGeneric(profile)) return profile == name;
  return qualifiersMatch(qualifiers(profile), 0, qualifiers(name), 0);
}

std::string storageName(const std::string& objtype, bool group, const std::string& entity, const std::string& profile) {
  // The entity goes last: a quoted entity name may hold blanks.
  return objtype + " " + profile + " " + (group ? "G " : "P ") + entity;
}

ObjectDef toObject(const Record& r) {
  std::string auths;
  for (const auto& a : names())
    if (r.auths.count(a.mqsc)) auths += (auths.empty() ? "" : ",") + std::string(a.mqsc);
  return ObjectDef{ObjectKind::AuthRec,
                   storageName(r.objtype, r.group, r.entity, r.profile),
                   {{"PROFILE", r.profile},
                    {"OBJTYPE", r.objtype},
                    {"ENTITY", r.entity},
                    {"ENTTYPE", r.group ? "GROUP" : "PRINCIPAL"},
                    {"AUTHLIST", auths}}};
}

std::optional<Record> fromObject(const ObjectDef& def) {
  if (def.kind != ObjectKind::AuthRec) return std::nullopt;
  Record r;
  r.profile = def.get("PROFILE");
  r.objtype = def.get("OBJTYPE");
  r.entity = def.get("ENTITY");
  r.group = def.get("ENTTYPE") == "GROUP";
  if (r.profile.empty() || r.entity.empty() || !objtypeValue(r.objtype)) return std::nullopt;
  std::istringstream in(def.get("AUTHLIST"));
  for (std::string a; std::getline(in, a, ',');)
    if (findName(a)) r.auths.insert(a);
  return r;
}

std::string authList(const std::set<std::string>& auths) {
  std::string out;
  for (const auto& a : names())
    if (auths.count(a.mqsc)) out += (out.empty() ? "" : ",") + std::string(a.mqsc);
  return out.empty() ? "NONE" : out;
}

std::vector<MQLONG> authValues(const std::set<std::string>& auths) {
  std::vector<MQLONG> out;
  for (const auto& a : names())
    if (auths.count(a.mqsc)) out.push_back(a.value);
  if (out.empty()) out.push_back(MQAUTH_NONE);
  return out;
}

std::set<std::string> groupsOf(const std::string& user) {
  std::set<std::string> groups = {user};
  struct passwd pw {};
  struct passwd* found = nullptr;
  std::vector<char> buf(16384);
  if (getpwnam_r(user.c_str(), &pw, buf.data(), buf.size(), &found) != 0 || !found) return groups;
  int count = 64;
  std::vector<gid_t> gids(static_cast<size_t>(count));
  if (getgrouplist(user.c_str(), pw.pw_gid, gids.data(), &count) < 0) {
    gids.resize(static_cast<size_t>(count));
    if (getgrouplist(user.c_str(), pw.pw_gid, gids.data(), &count) < 0) return groups;
  }
  gids.resize(static_cast<size_t>(count));
  for (gid_t g : gids) {
    struct group gr {};
    struct group* gfound = nullptr;
    std::vector<char> gbuf(16384);
    if (getgrgid_r(g, &gr, gbuf.data(), gbuf.size(), &gfound) == 0 && gfound) groups.insert(gr.gr_name);
  }
  return groups;
}

std::set<std::string> entityAuthority(const std::vector<Record>& records, const std::string& objtype,
                                      const std::string& objectName, const std::string& entity, bool group) {
  const Record* best = nullptr;
  for (const auto& r : records) {
    if (r.objtype != objtype || r.entity != entity || r.group != group) continue;
    if (!profileMatches(r.profile, objectName)) continue;
    if (!best || specificity(r.profile) > specificity(best->profile)) best = &r;
  }
  return best ? best->auths : std::set<std::string>{};
}

bool authorized(const std::vector<Record>& records, const std::string& objtype, const std::string& objectName,
                const std::string& user, const std::set<std::string>& wanted) {
  std::set<std::string> groups = groupsOf(user);
  if (groups.count("mqm")) return true;
  std::set<std::string> held = entityAuthority(records, objtype, objectName, user, false);
  for (const auto& g : groups) {
    auto more = entityAuthority(records, objtype, objectName, g, true);
    held.insert(more.begin(), more.end());
  }
  return std::includes(held.begin(), held.end(), wanted.begin(), wanted.end());
}

}  // namespace qmsim::authority
