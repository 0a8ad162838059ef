#include "engine/queue_manager.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "engine/authority.h"
#include "engine/error_log.h"
#include "engine/events.h"
#include "engine/store.h"

namespace qmsim {

using kvarn::mqi::fieldText;
using kvarn::mqi::setField;
using Clock = std::chrono::steady_clock;

namespace {

constexpr MQBYTE kNoId[24] = {};
constexpr auto kWaitSlice = std::chrono::milliseconds(100);

bool isNoId(const MQBYTE* id) { return std::memcmp(id, kNoId, 24) == 0; }

struct Message {
  MQMD md;
  std::string data;
  std::optional<Clock::time_point> expiresAt;
  ConnId pendingPut = 0;  // put under syncpoint, invisible until commit
  ConnId lockedBy = 0;    // got under syncpoint, removed at commit
};

// Messages ordered by priority (highest first), then arrival.
using MessageKey = std::pair<int, uint64_t>;

struct LocalQueue {
  std::map<MessageKey, Message> messages;
  long openInput = 0;
  long openOutput = 0;
  long openExclusive = 0;
  long openOther = 0;
  bool deleted = false;
  std::condition_variable arrived;
  // Statistics since the last RESET QSTATS.
  long enqueued = 0;
  long dequeued = 0;
  long highDepth = 0;
  Clock::time_point statsSince = Clock::now();
};

struct Handle {
  MQHOBJ hobj = MQHO_NONE;
  ObjectKind kind = ObjectKind::Queue;
  std::string queue;      // the local queue it resolved to
  std::string aliasName;  // the alias it was opened through, if any
  MQLONG options = 0;
  bool deleteOnClose = false;  // temporary dynamic queue created by this open
  std::optional<MessageKey> browseCursor;
};

struct Conn {
  ConnectParams params;
  std::chrono::system_clock::time_point connectedAt;
  std::map<MQHOBJ, Handle> handles;
  bool inUnit = false;
  // The messages this connection put or got under syncpoint since its unit of work
  // began, by the local queue they are on, so that ending the unit visits them alone.
  // A message may have gone meanwhile (its queue cleared, or deleted and perhaps
  // defined again): the name and key are looked up afresh, and keys are never reused.
  std::map<std::string, std::vector<MessageKey>> unitMessages;
};

MQLONG inputOpenBits() { return MQOO_INPUT_AS_Q_DEF | MQOO_INPUT_SHARED | MQOO_INPUT_EXCLUSIVE; }

// Integer attributes MQINQ can read, and how the stored MQSC value maps to MQ's number.
struct IntSelector {
  MQLONG selector;
  bool forQMgr;
  const char* attr;
  std::vector<std::pair<std::string_view, MQLONG>> values;  // empty: the value is a number
};

const std::vector<IntSelector>& intSelectors() {
  static const std::vector<IntSelector> table = {
      {MQIA_Q_TYPE,
       false,
       "QTYPE",
       {{"QLOCAL", MQQT_LOCAL}, {"QMODEL", MQQT_MODEL}, {"QALIAS", MQQT_ALIAS}, {"QREMOTE", MQQT_REMOTE}}},
      {MQIA_MAX_Q_DEPTH, false, "MAXDEPTH", {}},
      {MQIA_MAX_MSG_LENGTH, false, "MAXMSGL", {}},
      {MQIA_DEF_PRIORITY, false, "DEFPRTY", {}},
      {MQIA_DEF_PERSISTENCE, false, "DEFPSIST", {{"NO", MQPER_NOT_PERSISTENT}, {"YES", MQPER_PERSISTENT}}},
      {MQIA_INHIBIT_GET, false, "GET", {{"ENABLED", MQQA_GET_ALLOWED}, {"DISABLED", MQQA_GET_INHIBITED}}},
      {MQIA_INHIBIT_PUT, false, "PUT", {{"ENABLED", MQQA_PUT_ALLOWED}, {"DISABLED", MQQA_PUT_INHIBITED}}},
      {MQIA_SHAREABILITY, false, "SHARE", {{"YES", MQQA_SHAREABLE}, {"NO", MQQA_NOT_SHAREABLE}}},
      {MQIA_DEFINITION_TYPE,
       false,
       "DEFTYPE",
       {{"PREDEFINED", MQQDT_PREDEFINED}, {"PERMDYN", MQQDT_PERMANENT_DYNAMIC}, {"TEMPDYN", MQQDT_TEMPORARY_DYNAMIC}}},
      {MQIA_USAGE, false, "USAGE", {{"NORMAL", MQUS_NORMAL}, {"XMITQ", MQUS_TRANSMISSION}}},
      {MQIA_COMMAND_LEVEL, true, "CMDLEVEL", {}},
      {MQIA_PLATFORM,
       true,
       "PLATFORM",
       {{"UNIX", MQPL_UNIX}, {"ZOS", MQPL_ZOS}, {"MVS", MQPL_ZOS}, {"WINDOWSNT", MQPL_WINDOWS_NT}}},
      {MQIA_CODED_CHAR_SET_ID, true, "CCSID", {}},
      {MQIA_MAX_MSG_LENGTH, true, "MAXMSGL", {}},
      {MQIA_MAX_PRIORITY, true, "MAXPRTY", {}},
  };
  return table;
}

struct CharSelector {
  MQLONG selector;
  bool forQMgr;
  size_t length;
  const char* attr;  // empty: the object's name
};

const std::vector<CharSelector>& charSelectors() {
  static const std::vector<CharSelector> table = {
      {MQCA_Q_NAME, false, 48, ""},
      {MQCA_Q_DESC, false, 64, "DESCR"},
      {MQCA_BASE_Q_NAME, false, 48, "TARGET"},
      {MQCA_REMOTE_Q_NAME, false, 48, "RNAME"},
      {MQCA_REMOTE_Q_MGR_NAME, false, 48, "RQMNAME"},
      {MQCA_XMIT_Q_NAME, false, 48, "XMITQ"},
      {MQCA_CREATION_DATE, false, 12, "CRDATE"},
      {MQCA_CREATION_TIME, false, 8, "CRTIME"},
      {MQCA_Q_MGR_NAME, true, 48, ""},
      {MQCA_Q_MGR_DESC, true, 64, "DESCR"},
      {MQCA_COMMAND_INPUT_Q_NAME, true, 48, "COMMANDQ"},
      {MQCA_DEAD_LETTER_Q_NAME, true, 48, "DEADQ"},
      {MQCA_Q_MGR_IDENTIFIER, true, 48, "QMID"},
  };
  return table;
}

// `count` decimal digits of `value` (not negative), leading zeros kept.
void writeDigits(char* out, long value, int count) {
  for (int i = count - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
}

// The put date and time (UTC, to the hundredth). Every message put is stamped, so the
// calendar fields are worked out once a second, per thread.
void stampNow(MQMD& md) {
  auto now = std::chrono::system_clock::now();
  long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  thread_local std::time_t second = -1;
  thread_local char date[8], hms[6];
  if (t != second) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    writeDigits(date, (tm.tm_year + 1900) % 10000, 4);
    writeDigits(date + 4, tm.tm_mon + 1, 2);
    writeDigits(date + 6, tm.tm_mday, 2);
    writeDigits(hms, tm.tm_hour, 2);
    writeDigits(hms + 2, tm.tm_min, 2);
    writeDigits(hms + 4, tm.tm_sec, 2);
    second = t;
  }
  std::memcpy(md.PutDate, date, 8);
  std::memcpy(md.PutTime, hms, 6);
  writeDigits(md.PutTime + 6, static_cast<long>(((ms % 1000) + 1000) % 1000 / 10), 2);
}

std::pair<std::string, std::string> creationStamp() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char date[48], time[48];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", (tm.tm_year + 1900) % 10000, tm.tm_mon + 1, tm.tm_mday);
  std::snprintf(time, sizeof time, "%02d.%02d.%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return {date, time};
}

}  // namespace

struct QueueManager::Impl {
  std::string name;
  std::unique_ptr<Store> store;
  mutable std::mutex mu;
  ObjectDef qmgr;
  std::map<std::string, ObjectDef> queues;  // every queue type, one name space
  std::map<std::pair<ObjectKind, std::string>, ObjectDef> others;
  std::map<std::string, std::shared_ptr<LocalQueue>> local;
  std::map<ConnId, Conn> conns;
  ConnId nextConn = 1;
  MQHOBJ nextHobj = 1;
  uint64_t nextSeq = 1;
  uint64_t idCounter = 0;
  bool quiescing = false;
  bool stopping = false;
  std::vector<std::jthread> services;
  std::string storageError;
  // CHCKCLNT and ADOPTCTX of the authentication information CONNAUTH named when
  // security was last refreshed (or the queue manager started): changes to either wait
  // for that, as with IBM.
  std::string connAuthCheck;
  bool connAuthAdopt = false;
  std::string connAuthName;
  std::unique_ptr<ErrorLog> errorLog;

  // --- helpers (mu held) -------------------------------------------------------------
  Outcome callState(ConnId conn, bool failIfQuiescing) const {
    if (stopping) return Outcome::fail(MQRC_Q_MGR_STOPPING);
    if (!conns.count(conn)) return Outcome::fail(MQRC_HCONN_ERROR);
    if (quiescing && failIfQuiescing) return Outcome::fail(MQRC_Q_MGR_QUIESCING);
    return {};
  }

  Handle* findHandle(ConnId conn, MQHOBJ hobj) {
    auto c = conns.find(conn);
    if (c == conns.end()) return nullptr;
    auto h = c->second.handles.find(hobj);
    return h == c->second.handles.end() ? nullptr : &h->second;
  }

  void newId(MQBYTE* id) {
    // "AMQ " + queue manager name (12) + a counter that starts from the clock, as IBM's ids look.
    std::memcpy(id, "AMQ ", 4);
    char qm[12];
    setField(qm, name);
    std::memcpy(id + 4, qm, 12);
    uint64_t v = ++idCounter;
    for (int i = 0; i < 8; ++i) id[23 - i] = static_cast<MQBYTE>(v >> (8 * i));
  }

  // A temporary dynamic queue (a model queue also carries DEFTYPE(TEMPDYN), as the
  // type of the queues made from it, and is kept).
  bool isTempDyn(const ObjectDef& def) const { return def.get("QTYPE") != "QMODEL" && def.get("DEFTYPE") == "TEMPDYN"; }

  void noteStorageError(const std::string& error) {
    if (storageError.empty()) storageError = error;
    std::fprintf(stderr, "qmsim: %s: %s\n", name.c_str(), error.c_str());
  }

  bool saveObjects() {
    if (!store->enabled()) return true;
    std::vector<ObjectDef> all;
    for (const auto& [n, def] : queues)
      if (!isTempDyn(def)) all.push_back(def);
    for (const auto& [k, def] : others) all.push_back(def);
    std::string error;
    if (store->saveObjects(qmgr, all, error)) return true;
    noteStorageError(error);
    return false;
  }

  // One changed object, journalled; folds the journal into a snapshot when it is due.
  bool saveObject(const ObjectDef& def) {
    if (!store->enabled() || isTempDyn(def)) return true;
    std::string error;
    return afterAppend(store->appendObject(def, error), error);
  }

  bool saveRemoval(ObjectKind kind, const std::string& objectName) {
    if (!store->enabled()) return true;
    std::string error;
    return afterAppend(store->appendRemoval(kind, objectName, error), error);
  }

  // The change is already made in memory: when it could not be journalled, a snapshot
  // of everything records it instead.
  bool afterAppend(bool appended, const std::string& error) {
    if (!appended) noteStorageError(error);
    return (appended && !store->wantsSnapshot()) || saveObjects();
  }

  bool saveMessages() {
    if (!store->enabled()) return true;
    std::vector<StoredMessage> all;
    auto now = Clock::now();
    for (const auto& [qname, q] : local) {
      auto def = queues.find(qname);
      if (def == queues.end() || isTempDyn(def->second)) continue;
      for (const auto& [key, m] : q->messages) {
        if (m.pendingPut || m.md.Persistence != MQPER_PERSISTENT) continue;
        StoredMessage s{qname, m.md, m.data};
        if (m.expiresAt) {
          auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*m.expiresAt - now).count() / 100;
          s.md.Expiry = static_cast<MQLONG>(std::max<long long>(1, left));
        }
        all.push_back(std::move(s));
      }
    }
    std::string error;
    if (store->saveMessages(all, error)) return true;
    noteStorageError(error);
    return false;
  }

  void createLocalState(const std::string& qname) {
    if (!local.count(qname)) local[qname] = std::make_shared<LocalQueue>();
  }

  void dropQueue(const std::string& qname) {
    auto it = local.find(qname);
    if (it != local.end()) {
      it->second->deleted = true;
      it->second->arrived.notify_all();
      local.erase(it);
    }
    queues.erase(qname);
  }

  Outcome makeDynamicName(const std::string& pattern, std::string& out) {
    size_t star = pattern.find('*');
    if (pattern.empty() || star == 0) return Outcome::fail(MQRC_DYNAMIC_Q_NAME_ERROR);
    if (star == std::string::npos) {
      out = pattern;
    } else {
      if (star != pattern.size() - 1 || star > 32) return Outcome::fail(MQRC_DYNAMIC_Q_NAME_ERROR);
      std::string prefix = pattern.substr(0, star);
      do {
        char suffix[17];
        uint64_t v = (static_cast<uint64_t>(std::time(nullptr)) << 24) ^ ++idCounter;
        std::snprintf(suffix, sizeof suffix, "%016llX", static_cast<unsigned long long>(v));
        out = prefix + suffix;
      } while (queues.count(out));
    }
    if (!validObjectName(out)) return Outcome::fail(MQRC_DYNAMIC_Q_NAME_ERROR);
    return {};
  }

  // Resolves the queue named in od for the given options to a local queue, creating a
  // dynamic queue from a model. Fills target, aliasName and createdTemp.
  Outcome resolveQueue(ConnId conn, MQOD& od, MQLONG options, std::string& target, std::string& aliasName,
                       bool& createdTemp, std::optional<RouteRequest>* route) {
    std::string objectName = fieldText(od.ObjectName);
    std::string qmName = fieldText(od.ObjectQMgrName);
    bool input = options & (inputOpenBits() | MQOO_BROWSE);
    if (!qmName.empty() && qmName != name) {
      // Another queue manager: only a put can reach it, and only if someone hosts it.
      if (input) return Outcome::fail(MQRC_OPTION_NOT_VALID_FOR_TYPE);
      if (route) *route = RouteRequest{qmName, objectName};
      return Outcome::fail(MQRC_UNKNOWN_REMOTE_Q_MGR);
    }
    auto it = queues.find(objectName);
    if (objectName.empty() || it == queues.end()) return Outcome::fail(MQRC_UNKNOWN_OBJECT_NAME);
    const ObjectDef& def = it->second;
    std::string type = def.queueType();
    if (type == "QLOCAL") {
      target = objectName;
      return {};
    }
    if (type == "QALIAS") {
      std::string base = def.get("TARGET");
      auto b = queues.find(base);
      if (base.empty() || b == queues.end()) return Outcome::fail(MQRC_UNKNOWN_ALIAS_BASE_Q);
      if (b->second.queueType() != "QLOCAL") {
        if (b->second.queueType() == "QREMOTE" && !input) {
          if (route) *route = RouteRequest{b->second.get("RQMNAME"), b->second.get("RNAME")};
          return Outcome::fail(MQRC_UNKNOWN_REMOTE_Q_MGR);
        }
        return Outcome::fail(MQRC_ALIAS_BASE_Q_TYPE_ERROR);
      }
      aliasName = objectName;
      target = base;
      return {};
    }
    if (type == "QREMOTE") {
      if (input) return Outcome::fail(MQRC_OPTION_NOT_VALID_FOR_TYPE);
      std::string rqm = def.get("RQMNAME");
      std::string rname = def.get("RNAME");
      if (rqm.empty() || rqm == name) {
        auto r = queues.find(rname);
        if (rname.empty() || r == queues.end() || r->second.queueType() != "QLOCAL")
          return Outcome::fail(MQRC_UNKNOWN_OBJECT_NAME);
        target = rname;
        return {};
      }
      if (route) *route = RouteRequest{rqm, rname};
      return Outcome::fail(MQRC_UNKNOWN_REMOTE_Q_MGR);
    }
    if (type == "QMODEL") {
      std::string dynName;
      if (Outcome o = makeDynamicName(fieldText(od.DynamicQName), dynName); !o.ok()) return o;
      if (queues.count(dynName)) return Outcome::fail(MQRC_OBJECT_ALREADY_EXISTS);
      ObjectDef dyn{ObjectKind::Queue, dynName, def.attrs};
      dyn.attrs["QTYPE"] = "QLOCAL";
      if (dyn.get("DEFTYPE") != "PERMDYN") dyn.attrs["DEFTYPE"] = "TEMPDYN";
      auto [date, time] = creationStamp();
      dyn.attrs["CRDATE"] = date;
      dyn.attrs["CRTIME"] = time;
      // The creator holds every authority on a dynamic queue, as with IBM.
      if (auto c = conns.find(conn); c != conns.end()) dyn.attrs["CREATOR"] = c->second.params.userId;
      createdTemp = isTempDyn(dyn);
      queues[dynName] = std::move(dyn);
      createLocalState(dynName);
      if (!createdTemp && !saveObject(queues[dynName])) {
        dropQueue(dynName);
        return Outcome::fail(MQRC_RESOURCE_PROBLEM);
      }
      setField(od.ObjectName, dynName);
      target = dynName;
      return {};
    }
    return Outcome::fail(MQRC_UNKNOWN_OBJECT_NAME);
  }

  // Security is off in a new queue manager, so that anything may connect. It is on
  // once the queue manager was created with authority checking on, or once connection
  // authentication is in force; channel authentication records then apply as well,
  // unless ALTER QMGR CHLAUTH(DISABLED) turned them off. ALTER QMGR CHLAUTH(ENABLED)
  // puts the records in force on their own.
  bool securityOn() const { return qmgr.get("AUTHCHECK") == "YES" || connAuthInForce(); }
  bool connAuthInForce() const { return !connAuthCheck.empty() && connAuthCheck != "NONE"; }
  bool channelRulesOn() const {
    std::string chlauth = qmgr.get("CHLAUTH");
    return chlauth == "ENABLED" || (securityOn() && chlauth != "DISABLED");
  }

  // Client connections are checked against the authority records while security is on;
  // local ones act as administrators.
  bool checksAuthority(const Conn& c) const { return !c.params.channel.empty() && securityOn(); }

  // Puts an event message on a system event queue, as the queue manager does: a
  // missing or full queue loses the event, never the call that raised it.
  void putEvent(const char* queue, const std::string& data) {
    auto q = local.find(queue);
    auto def = queues.find(queue);
    if (q == local.end() || def == queues.end()) return;
    if (static_cast<long>(q->second->messages.size()) >= def->second.getInt("MAXDEPTH", 5000)) return;
    Message m;
    m.md = kvarn::mqi::defaultMD();
    m.md.MsgType = MQMT_DATAGRAM;
    m.md.Persistence = MQPER_NOT_PERSISTENT;
    m.md.Priority = 0;
    std::memcpy(m.md.Format, MQFMT_EVENT, 8);
    newId(m.md.MsgId);
    m.md.PutApplType = MQAT_QMGR;
    setField(m.md.PutApplName, name);
    setField(m.md.UserIdentifier, "mqm");
    stampNow(m.md);
    m.md.Version = MQMD_VERSION_2;
    m.data = data;
    q->second->messages.emplace(MessageKey{9, nextSeq++}, std::move(m));
    q->second->enqueued++;
    q->second->highDepth = std::max(q->second->highDepth, static_cast<long>(q->second->messages.size()));
    q->second->arrived.notify_all();
  }

  bool authorityEvents() const { return qmgr.get("AUTHOREV") == "ENABLED"; }
  bool channelEvents() const {
    std::string ev = qmgr.get("CHLEV");
    return ev == "ENABLED" || ev == "EXCEPTION";
  }

  static events::Requester requester(const ConnectParams& p) {
    return {p.userId, p.applName, p.channel, p.connName, p.cspUserId};
  }

  // AMQ8077W and, when the queue manager raises them, a Not Authorized event.
  void reportNotAuthorized(const ConnectParams& p, const std::string& object, const std::set<std::string>& wanted,
                           const std::string& eventData) {
    std::string asked;
    for (const auto& a : wanted) {
      std::string lower = a;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      asked += (asked.empty() ? "" : ", ") + lower;
    }
    errorLog->write("AMQ8077W", {{}, {p.userId, object, asked}});
    if (authorityEvents()) putEvent("SYSTEM.ADMIN.QMGR.EVENT", eventData);
  }

  // Reads CONNAUTH and its authentication information into force. A blank CONNAUTH
  // switches connection authentication off; a name that is not user id and password
  // authentication information fails and leaves the settings in force as they were.
  Outcome refreshConnAuth() {
    std::string name = qmgr.get("CONNAUTH");
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name.empty()) {
      connAuthCheck.clear();
      connAuthName.clear();
      return {};
    }
    auto it = others.find({ObjectKind::AuthInfo, name});
    if (it == others.end()) return Outcome::fail(MQRC_UNKNOWN_OBJECT_NAME);
    std::string type = it->second.get("AUTHTYPE");
    if (type != "IDPWOS" && type != "IDPWLDAP") return Outcome::fail(MQRC_OBJECT_TYPE_ERROR);
    connAuthCheck = it->second.get("CHCKCLNT", "NONE");
    connAuthAdopt = it->second.get("ADOPTCTX") == "YES";
    connAuthName = name;
    return {};
  }

  // IBM removes the authority records of an object's own name when the object goes;
  // generic profiles stay. Fails only when the store could not record a removal.
  bool dropAuthorityRecords(ObjectKind kind, const std::string& objectName, const std::string& chltype) {
    std::string objtype = authorityType(kind, chltype);
    if (objtype.empty()) return true;
    bool saved = true;
    for (auto it = others.begin(); it != others.end();) {
      std::optional<authority::Record> r;
      if (it->first.first == ObjectKind::AuthRec) r = authority::fromObject(it->second);
      if (!r || r->objtype != objtype || r->profile != objectName) {
        ++it;
        continue;
      }
      std::string key = it->first.second;
      it = others.erase(it);
      saved = saveRemoval(ObjectKind::AuthRec, key) && saved;
    }
    return saved;
  }

  static std::string authorityType(ObjectKind kind, const std::string& chltype) {
    switch (kind) {
    case ObjectKind::Queue: return "QUEUE";
    case ObjectKind::Channel: return chltype == "CLNTCONN" ? "CLNTCONN" : "CHANNEL";
    case ObjectKind::Process: return "PROCESS";
    case ObjectKind::Namelist: return "NAMELIST";
    case ObjectKind::AuthInfo: return "AUTHINFO";
    case ObjectKind::Listener: return "LISTENER";
    case ObjectKind::Service: return "SERVICE";
    case ObjectKind::Topic: return "TOPIC";
    case ObjectKind::CommInfo: return "COMMINFO";
    default: return "";
    }
  }

  bool authorized(const std::string& user, const std::string& objtype, const std::string& objectName,
                  const std::set<std::string>& wanted) const {
    std::vector<authority::Record> records;
    for (const auto& [key, def] : others)
      if (key.first == ObjectKind::AuthRec)
        if (auto r = authority::fromObject(def)) records.push_back(std::move(*r));
    return authority::authorized(records, objtype, objectName, user, wanted);
  }

  static std::set<std::string> openAuthorities(MQLONG options) {
    std::set<std::string> wanted;
    if (options & (MQOO_INPUT_AS_Q_DEF | MQOO_INPUT_SHARED | MQOO_INPUT_EXCLUSIVE)) wanted.insert("GET");
    if (options & MQOO_BROWSE) wanted.insert("BROWSE");
    if (options & MQOO_OUTPUT) wanted.insert("PUT");
    if (options & MQOO_INQUIRE) wanted.insert("INQ");
    if (options & MQOO_SET) wanted.insert("SET");
    if (options & MQOO_PASS_IDENTITY_CONTEXT) wanted.insert("PASSID");
    if (options & MQOO_PASS_ALL_CONTEXT) wanted.insert("PASSALL");
    if (options & MQOO_SET_IDENTITY_CONTEXT) wanted.insert("SETID");
    if (options & MQOO_SET_ALL_CONTEXT) wanted.insert("SETALL");
    return wanted;
  }

  Outcome checkOpenOptions(MQLONG options) const {
    int inputKinds =
        !!(options & MQOO_INPUT_AS_Q_DEF) + !!(options & MQOO_INPUT_SHARED) + !!(options & MQOO_INPUT_EXCLUSIVE);
    if (inputKinds > 1) return Outcome::fail(MQRC_OPTIONS_ERROR);
    if ((options & MQOO_READ_AHEAD) && (options & MQOO_NO_READ_AHEAD)) return Outcome::fail(MQRC_OPTIONS_ERROR);
    MQLONG access = inputOpenBits() | MQOO_BROWSE | MQOO_OUTPUT | MQOO_INQUIRE | MQOO_SET;
    if (!(options & access)) return Outcome::fail(MQRC_OPTIONS_ERROR);
    return {};
  }

  // Decides exclusive use and counts the open; fails with 2042 when the queue is taken.
  Outcome admitOpen(const ObjectDef& def, LocalQueue& q, MQLONG options) {
    if (options & inputOpenBits()) {
      bool shareable = def.isYes("SHARE", true);
      bool exclusive = (options & MQOO_INPUT_EXCLUSIVE) || !shareable ||
                       ((options & MQOO_INPUT_AS_Q_DEF) && def.get("DEFSOPT") == "EXCL");
      if (q.openExclusive > 0 || (exclusive && q.openInput > 0)) return Outcome::fail(MQRC_OBJECT_IN_USE);
      q.openInput++;
      if (exclusive) q.openExclusive++;
    }
    if (options & MQOO_OUTPUT) q.openOutput++;
    if (!(options & (inputOpenBits() | MQOO_OUTPUT))) q.openOther++;
    return {};
  }

  void releaseOpen(LocalQueue& q, const Handle& h) {
    if (h.options & inputOpenBits()) {
      q.openInput--;
      bool exclusive = q.openExclusive > 0;
      if (exclusive) q.openExclusive = 0;  // only one exclusive opener can exist
    }
    if (h.options & MQOO_OUTPUT) q.openOutput--;
    if (!(h.options & (inputOpenBits() | MQOO_OUTPUT))) q.openOther--;
  }

  long openCount(const LocalQueue& q) const { return q.openInput + q.openOutput + q.openOther; }

  // Removes a handle; deletes its temporary dynamic queue. Returns false if close must fail.
  Outcome closeHandle(Conn& c, std::map<MQHOBJ, Handle>::iterator it, MQLONG options) {
    Handle& h = it->second;
    if (h.kind == ObjectKind::Queue) {
      auto q = local.find(h.queue);
      auto def = queues.find(h.queue);
      if (q != local.end() && def != queues.end()) {
        bool dynamic = def->second.get("DEFTYPE") != "PREDEFINED";
        bool deleteIt = h.deleteOnClose;
        if (options & (MQCO_DELETE | MQCO_DELETE_PURGE)) {
          if (!dynamic) return Outcome::fail(MQRC_OPTION_NOT_VALID_FOR_TYPE);
          if (openCount(*q->second) > 1) return Outcome::fail(MQRC_OBJECT_IN_USE);
          if (!(options & MQCO_DELETE_PURGE) && !isTempDyn(def->second) && !q->second->messages.empty())
            return Outcome::fail(MQRC_Q_NOT_EMPTY);
          deleteIt = true;
        }
        releaseOpen(*q->second, h);
        if (deleteIt) {
          bool permanent = !isTempDyn(def->second);
          bool hadPersistent = !q->second->messages.empty();
          dropQueue(h.queue);
          if (permanent) {
            saveRemoval(ObjectKind::Queue, h.queue);
            if (hadPersistent) saveMessages();
          }
        }
      }
    }
    c.handles.erase(it);
    return {};
  }

  Outcome checkMD(const MQMD& md) const {
    if (std::memcmp(md.StrucId, MQMD_STRUC_ID, 4) != 0 || md.Version < 1 || md.Version > 2)
      return Outcome::fail(MQRC_MD_ERROR);
    return {};
  }

  // Finds the first visible message that matches; drops expired ones on the way.
  std::map<MessageKey, Message>::iterator findMessage(LocalQueue& q, const MQMD& md, const MQGMO& gmo,
                                                      std::optional<MessageKey> after) {
    bool byMsgId = !isNoId(md.MsgId) && (gmo.Version < 2 || (gmo.MatchOptions & MQMO_MATCH_MSG_ID));
    bool byCorrelId = !isNoId(md.CorrelId) && (gmo.Version < 2 || (gmo.MatchOptions & MQMO_MATCH_CORREL_ID));
    auto now = Clock::now();
    auto it = after ? q.messages.upper_bound(*after) : q.messages.begin();
    while (it != q.messages.end()) {
      Message& m = it->second;
      if (m.expiresAt && *m.expiresAt <= now && !m.lockedBy && !m.pendingPut) {
        bool persistent = m.md.Persistence == MQPER_PERSISTENT;
        it = q.messages.erase(it);
        if (persistent) saveMessages();
        continue;
      }
      if (!m.pendingPut && !m.lockedBy && (!byMsgId || std::memcmp(m.md.MsgId, md.MsgId, 24) == 0) &&
          (!byCorrelId || std::memcmp(m.md.CorrelId, md.CorrelId, 24) == 0))
        return it;
      ++it;
    }
    return q.messages.end();
  }

  // Commits or backs out the connection's unit of work: only the messages it recorded
  // as put or got under syncpoint are visited, never the other queues and messages.
  void endUnit(ConnId conn, bool commit) {
    auto c = conns.find(conn);
    if (c == conns.end()) return;
    std::map<std::string, std::vector<MessageKey>> touched;
    touched.swap(c->second.unitMessages);
    bool persistentChanged = false;
    for (const auto& [qname, keys] : touched) {
      auto q = local.find(qname);
      if (q == local.end()) continue;  // deleted, and its messages with it
      LocalQueue& queue = *q->second;
      bool changed = false;
      for (const MessageKey& key : keys) {
        auto it = queue.messages.find(key);
        if (it == queue.messages.end()) continue;  // cleared, or the queue is a new one
        Message& m = it->second;
        bool persistent = m.md.Persistence == MQPER_PERSISTENT;
        if (m.pendingPut == conn) {
          changed = true;
          persistentChanged |= persistent;
          if (commit) m.pendingPut = 0;
          else queue.messages.erase(it);
        } else if (m.lockedBy == conn) {
          changed = true;
          if (commit) {
            persistentChanged |= persistent;
            queue.messages.erase(it);
          } else {
            m.lockedBy = 0;
            m.md.BackoutCount++;
          }
        }
      }
      if (changed) queue.arrived.notify_all();
    }
    if (persistentChanged) saveMessages();
    c->second.inUnit = false;
  }
};

QueueManager::QueueManager(std::string name, std::unique_ptr<Store> store)
    : name_(std::move(name)), impl_(std::make_unique<Impl>()) {
  impl_->name = name_;
  impl_->store = std::move(store);
  impl_->errorLog = std::make_unique<ErrorLog>(std::filesystem::path{}, name_);
  impl_->idCounter = static_cast<uint64_t>(std::time(nullptr)) << 20;
}

QueueManager::~QueueManager() { stop(); }

std::shared_ptr<QueueManager> QueueManager::open(const std::string& name, const std::filesystem::path& dir,
                                                 std::string& error) {
  if (!validObjectName(name)) {
    error = "'" + name + "' is not a valid queue manager name";
    return nullptr;
  }
  auto store = std::make_unique<Store>(dir);
  std::shared_ptr<QueueManager> qm(new QueueManager(name, nullptr));
  Impl& s = *qm->impl_;
  s.store = std::move(store);
  s.errorLog = std::make_unique<ErrorLog>(dir, name);
  std::vector<ObjectDef> objs;
  if (s.store->hasObjects()) {
    if (!s.store->loadObjects(s.qmgr, objs, error)) return nullptr;
    if (s.qmgr.name != name) {
      error = (dir / Store::kObjectsFile).string() + " belongs to queue manager " + s.qmgr.name;
      return nullptr;
    }
  } else {
    s.qmgr = defaultQMgrObject(name);
    char qmid[64];
    std::snprintf(qmid, sizeof qmid, "%s_%lld", name.c_str(), static_cast<long long>(std::time(nullptr)));
    s.qmgr.attrs["QMID"] = qmid;
    objs = defaultObjects();
    auto [date, time] = creationStamp();
    for (auto& o : objs) {
      o.attrs["ALTDATE"] = o.attrs["CRDATE"] = date;
      o.attrs["ALTTIME"] = o.attrs["CRTIME"] = time;
    }
  }
  for (auto& o : objs) {
    if (o.kind == ObjectKind::Queue) {
      if (o.queueType() == "QLOCAL") s.createLocalState(o.name);
      s.queues[o.name] = std::move(o);
    } else {
      s.others[{o.kind, o.name}] = std::move(o);
    }
  }
  s.refreshConnAuth();  // a start reads the settings in as a refresh does; a bad name leaves them off
  if (s.store->enabled()) {
    if (!s.store->hasObjects()) {
      std::error_code ec;
      std::filesystem::create_directories(dir, ec);
      if (!s.store->saveObjects(
              s.qmgr,
              [&] {
                std::vector<ObjectDef> all;
                for (auto& [n, d] : s.queues) all.push_back(d);
                for (auto& [k, d] : s.others) all.push_back(d);
                return all;
              }(),
              error))
        return nullptr;
    } else if (s.store->wantsSnapshot() && !s.saveObjects()) {
      // Changes replayed from the journal are folded into a new snapshot before any
      // new change is appended after a possibly torn last line.
      error = s.storageError;
      return nullptr;
    }
    std::vector<StoredMessage> msgs;
    if (!s.store->loadMessages(msgs, error)) return nullptr;
    auto now = Clock::now();
    for (auto& m : msgs) {
      auto q = s.local.find(m.queue);
      if (q == s.local.end()) continue;  // the queue went away with its definition
      Message msg{m.md, std::move(m.data), std::nullopt, 0, 0};
      if (msg.md.Expiry > 0) msg.expiresAt = now + std::chrono::milliseconds(100LL * msg.md.Expiry);
      q->second->messages.emplace(MessageKey{9 - msg.md.Priority, s.nextSeq++}, std::move(msg));
    }
  }
  return qm;
}

// --- MQI operations -------------------------------------------------------------------

Outcome QueueManager::connect(const ConnectParams& params, ConnId& conn) {
  std::lock_guard lk(impl_->mu);
  if (impl_->stopping) return Outcome::fail(MQRC_Q_MGR_STOPPING);
  if (impl_->quiescing) return Outcome::fail(MQRC_Q_MGR_QUIESCING);
  Conn c{params, std::chrono::system_clock::now(), {}, false};
  if (impl_->checksAuthority(c) && !impl_->authorized(params.userId, "QMGR", authority::kQMgrProfile, {"CONNECT"})) {
    Impl& s = *impl_;
    s.reportNotAuthorized(params, name_ + " [qmgr]", {"CONNECT"},
                          events::connectNotAuthorized(name_, MQRQ_CONN_NOT_AUTHORIZED, Impl::requester(params)));
    s.errorLog->write("AMQ9557E",
                      {{MQCC_FAILED, MQRC_NOT_AUTHORIZED}, {params.userId, params.cspUserId, params.assertedUserId}});
    return Outcome::fail(MQRC_NOT_AUTHORIZED);
  }
  conn = impl_->nextConn++;
  impl_->conns[conn] = std::move(c);
  return {};
}

void QueueManager::disconnect(ConnId conn) {
  std::lock_guard lk(impl_->mu);
  auto c = impl_->conns.find(conn);
  if (c == impl_->conns.end()) return;
  impl_->endUnit(conn, false);
  while (!c->second.handles.empty()) {
    auto it = c->second.handles.begin();
    if (!impl_->closeHandle(c->second, it, MQCO_NONE).ok()) c->second.handles.erase(it);
  }
  impl_->conns.erase(c);
  for (auto& [n, q] : impl_->local) q->arrived.notify_all();
}

Outcome QueueManager::open(ConnId conn, MQOD& od, MQLONG options, MQHOBJ& hobj, std::optional<RouteRequest>* route) {
  std::lock_guard lk(impl_->mu);
  Impl& s = *impl_;
  if (Outcome o = s.callState(conn, options & MQOO_FAIL_IF_QUIESCING); !o.ok()) return o;
  if (std::memcmp(od.StrucId, MQOD_STRUC_ID, 4) != 0 || od.Version < 1 || od.Version > 4)
    return Outcome::fail(MQRC_OD_ERROR);
  if (Outcome o = s.checkOpenOptions(options); !o.ok()) return o;
  Handle h;
  h.options = options;
  const Conn& caller = s.conns[conn];
  if (od.ObjectType == MQOT_Q_MGR) {
    std::string objName = fieldText(od.ObjectName), qmName = fieldText(od.ObjectQMgrName);
    if ((!objName.empty() && objName != name_) || (!qmName.empty() && qmName != name_))
      return Outcome::fail(MQRC_UNKNOWN_OBJECT_NAME);
    if (options & ~(MQOO_INQUIRE | MQOO_SET | MQOO_FAIL_IF_QUIESCING | MQOO_ALTERNATE_USER_AUTHORITY))
      return Outcome::fail(MQRC_OPTION_NOT_VALID_FOR_TYPE);
    if (s.checksAuthority(caller) &&
        !s.authorized(caller.params.userId, "QMGR", authority::kQMgrProfile, Impl::openAuthorities(options))) {
      s.reportNotAuthorized(caller.params, name_ + " [qmgr]", Impl::openAuthorities(options),
                            events::openNotAuthorized(name_, options, Impl::requester(caller.params), ""));
      return Outcome::fail(MQRC_NOT_AUTHORIZED);
    }
    h.kind = ObjectKind::QMgr;
    h.queue = name_;
  } else if (od.ObjectType == MQOT_Q) {
    // The name opened is checked (an alias's own profile, not its target's), as IBM does.
    std::string qmName = fieldText(od.ObjectQMgrName);
    if (s.checksAuthority(caller) && (qmName.empty() || qmName == name_)) {
      std::string opened = fieldText(od.ObjectName);
      auto q = s.queues.find(opened);
      bool creator = q != s.queues.end() && q->second.get("DEFTYPE") != "PREDEFINED" &&
                     q->second.get("QTYPE") != "QMODEL" && !q->second.get("CREATOR").empty() &&
                     q->second.get("CREATOR") == caller.params.userId;
      if (!creator && !s.authorized(caller.params.userId, "QUEUE", opened, Impl::openAuthorities(options))) {
        s.reportNotAuthorized(caller.params, opened + " [queue]", Impl::openAuthorities(options),
                              events::openNotAuthorized(name_, options, Impl::requester(caller.params), opened));
        return Outcome::fail(MQRC_NOT_AUTHORIZED);
      }
    }
    bool createdTemp = false;
    if (Outcome o = s.resolveQueue(conn, od, options, h.queue, h.aliasName, createdTemp, route); !o.ok()) return o;
    auto q = s.local.find(h.queue);
    if (q == s.local.end()) return Outcome::fail(MQRC_UNKNOWN_OBJECT_NAME);
    if (Outcome o = s.admitOpen(s.queues[h.queue], *q->second, options); !o.ok()) {
      if (createdTemp) s.dropQueue(h.queue);
      return o;
    }
    h.deleteOnClose = createdTemp;
    if (od.Version >= MQOD_VERSION_3) {
      setField(od.ResolvedQName, h.queue);
      setField(od.ResolvedQMgrName, name_);
    }
  } else {
    return Outcome::fail(MQRC_OBJECT_TYPE_ERROR);
  }
  h.hobj = s.nextHobj++;
  hobj = h.hobj;
  s.conns[conn].handles[hobj] = std::move(h);
  return {};
}

Outcome QueueManager::close(ConnId conn, MQHOBJ hobj, MQLONG options) {
  std::lock_guard lk(impl_->mu);
  Impl& s = *impl_;
  if (s.stopping) return Outcome::fail(MQRC_Q_MGR_STOPPING);
  auto c = s.conns.find(conn);
  if (c == s.conns.end()) return Outcome::fail(MQRC_HCONN_ERROR);
  auto it = c->second.handles.find(hobj);
  if (it == c->second.handles.end()) return Outcome::fail(MQRC_HOBJ_ERROR);
  if (options & ~(MQCO_DELETE | MQCO_DELETE_PURGE | MQCO_KEEP_SUB | MQCO_REMOVE_SUB | MQCO_QUIESCE))
    return Outcome::fail(MQRC_OPTIONS_ERROR);
  return s.closeHandle(c->second, it, options);
}

Outcome QueueManager::put(ConnId conn, MQHOBJ hobj, MQMD& md, MQPMO& pmo, std::string_view data) {
  std::lock_guard lk(impl_->mu);
  Impl& s = *impl_;
  if (Outcome o = s.callState(conn, pmo.Options & MQPMO_FAIL_IF_QUIESCING); !o.ok()) return o;
  Handle* h = s.findHandle(conn, hobj);
  if (!h) return Outcome::fail(MQRC_HOBJ_ERROR);
  if (!(h->options & MQOO_OUTPUT)) return Outcome::fail(MQRC_NOT_OPEN_FOR_OUTPUT);
  if (Outcome o = s.checkMD(md); !o.ok()) return o;
  if (std::memcmp(pmo.StrucId, MQPMO_STRUC_ID, 4) != 0 || pmo.Version < 1 || pmo.Version > 3)
    return Outcome::fail(MQRC_PMO_ERROR);
  if ((pmo.Options & MQPMO_SYNCPOINT) && (pmo.Options & MQPMO_NO_SYNCPOINT)) return Outcome::fail(MQRC_OPTIONS_ERROR);
  auto q = s.local.find(h->queue);
  auto defIt = s.queues.find(h->queue);
  if (q == s.local.end() || defIt == s.queues.end()) return Outcome::fail(MQRC_Q_DELETED);
  const ObjectDef& def = defIt->second;
  if (!h->aliasName.empty()) {
    auto alias = s.queues.find(h->aliasName);
    if (alias != s.queues.end() && alias->second.get("PUT") == "DISABLED") return Outcome::fail(MQRC_PUT_INHIBITED);
  }
  if (def.get("PUT") == "DISABLED") return Outcome::fail(MQRC_PUT_INHIBITED);
  if (static_cast<long>(data.size()) > def.getInt("MAXMSGL", 4194304)) return Outcome::fail(MQRC_MSG_TOO_BIG_FOR_Q);
  if (static_cast<long>(data.size()) > s.qmgr.getInt("MAXMSGL", 4194304))
    return Outcome::fail(MQRC_MSG_TOO_BIG_FOR_Q_MGR);

  Outcome result;
  MQLONG priority = md.Priority;
  if (priority == MQPRI_PRIORITY_AS_Q_DEF) priority = static_cast<MQLONG>(def.getInt("DEFPRTY", 0));
  if (priority < 0) return Outcome::fail(MQRC_PRIORITY_ERROR);
  if (priority > 9) { result = Outcome::warn(MQRC_PRIORITY_EXCEEDS_MAXIMUM); }
  MQLONG persistence = md.Persistence;
  if (persistence == MQPER_PERSISTENCE_AS_Q_DEF) persistence = def.isYes("DEFPSIST", false) ? MQPER_PERSISTENT : 0;
  if (persistence != MQPER_PERSISTENT && persistence != MQPER_NOT_PERSISTENT)
    return Outcome::fail(MQRC_PERSISTENCE_ERROR);
  if (persistence == MQPER_PERSISTENT && s.isTempDyn(def)) return Outcome::fail(MQRC_PERSISTENT_NOT_ALLOWED);
  if (md.Expiry <= 0 && md.Expiry != MQEI_UNLIMITED) return Outcome::fail(MQRC_EXPIRY_ERROR);
  long depth = static_cast<long>(q->second->messages.size());
  if (depth >= def.getInt("MAXDEPTH", 5000)) return Outcome::fail(MQRC_Q_FULL);

  Message m;
  m.md = md;
  m.md.Priority = priority;
  m.md.Persistence = persistence;
  if ((pmo.Options & MQPMO_NEW_MSG_ID) || isNoId(md.MsgId)) s.newId(m.md.MsgId);
  if (pmo.Options & MQPMO_NEW_CORREL_ID) s.newId(m.md.CorrelId);
  m.md.BackoutCount = 0;
  if (!(pmo.Options & MQPMO_SET_ALL_CONTEXT)) {
    if (!(pmo.Options & MQPMO_SET_IDENTITY_CONTEXT)) {
      const Conn& c = s.conns[conn];
      setField(m.md.UserIdentifier, c.params.userId);
      std::memset(m.md.AccountingToken, 0, sizeof m.md.AccountingToken);
      setField(m.md.ApplIdentityData, "");
    }
    m.md.PutApplType = MQAT_UNIX;
    setField(m.md.PutApplName, s.conns[conn].params.applName);
    stampNow(m.md);
    setField(m.md.ApplOriginData, "");
  }
  if (md.Version < MQMD_VERSION_2) {
    std::memset(m.md.GroupId, 0, 24);
    m.md.MsgSeqNumber = 1;
    m.md.Offset = 0;
    m.md.MsgFlags = MQMF_NONE;
    m.md.OriginalLength = MQOL_UNDEFINED;
  }
  m.md.Version = MQMD_VERSION_2;
  m.data.assign(data);
  if (m.md.Expiry > 0) m.expiresAt = Clock::now() + std::chrono::milliseconds(100LL * m.md.Expiry);
  bool syncpoint = pmo.Options & MQPMO_SYNCPOINT;
  if (syncpoint) {
    m.pendingPut = conn;
    s.conns[conn].inUnit = true;
  }
  // The caller sees the identifiers and context the message got.
  std::memcpy(md.MsgId, m.md.MsgId, 24);
  std::memcpy(md.CorrelId, m.md.CorrelId, 24);
  std::memcpy(md.UserIdentifier, m.md.UserIdentifier, sizeof md.UserIdentifier);
  std::memcpy(md.PutApplName, m.md.PutApplName, sizeof md.PutApplName);
  std::memcpy(md.PutDate, m.md.PutDate, 16);
  md.PutApplType = m.md.PutApplType;
  m.md.Priority = std::min<MQLONG>(priority, 9);
  MessageKey key{9 - m.md.Priority, s.nextSeq++};
  q->second->messages.emplace(key, std::move(m));
  if (syncpoint) s.conns[conn].unitMessages[h->queue].push_back(key);
  if (persistence == MQPER_PERSISTENT && !syncpoint && !s.saveMessages()) {
    q->second->messages.erase(key);
    return Outcome::fail(MQRC_RESOURCE_PROBLEM);
  }
  q->second->enqueued++;
  q->second->highDepth = std::max(q->second->highDepth, static_cast<long>(q->second->messages.size()));
  q->second->arrived.notify_all();
  setField(pmo.ResolvedQName, h->queue);
  setField(pmo.ResolvedQMgrName, name_);
  return result;
}

Outcome QueueManager::get(ConnId conn, MQHOBJ hobj, MQMD& md, MQGMO& gmo, MQLONG bufferLength, char* buffer,
                          MQLONG& dataLength, const CancelCheck& cancelled, bool nonPersistentOnly) {
  std::unique_lock lk(impl_->mu);
  Impl& s = *impl_;
  dataLength = 0;
  if (std::memcmp(gmo.StrucId, MQGMO_STRUC_ID, 4) != 0 || gmo.Version < 1 || gmo.Version > 4)
    return Outcome::fail(MQRC_GMO_ERROR);
  bool failIfQuiescing = gmo.Options & MQGMO_FAIL_IF_QUIESCING;
  if (Outcome o = s.callState(conn, failIfQuiescing); !o.ok()) return o;
  Handle* h = s.findHandle(conn, hobj);
  if (!h) return Outcome::fail(MQRC_HOBJ_ERROR);
  if (Outcome o = s.checkMD(md); !o.ok()) return o;
  if (bufferLength < 0) return Outcome::fail(MQRC_BUFFER_LENGTH_ERROR);
  if (bufferLength > 0 && buffer == nullptr) return Outcome::fail(MQRC_BUFFER_ERROR);
  bool browse = gmo.Options & (MQGMO_BROWSE_FIRST | MQGMO_BROWSE_NEXT);
  if (browse && !(h->options & MQOO_BROWSE)) return Outcome::fail(MQRC_NOT_OPEN_FOR_BROWSE);
  if (!browse && !(h->options & inputOpenBits())) return Outcome::fail(MQRC_NOT_OPEN_FOR_INPUT);
  if ((gmo.Options & MQGMO_SYNCPOINT) && (gmo.Options & MQGMO_NO_SYNCPOINT)) return Outcome::fail(MQRC_OPTIONS_ERROR);
  bool wait = gmo.Options & MQGMO_WAIT;
  if (wait && gmo.WaitInterval < 0 && gmo.WaitInterval != MQWI_UNLIMITED)
    return Outcome::fail(MQRC_WAIT_INTERVAL_ERROR);
  auto q = s.local.find(h->queue);
  if (q == s.local.end()) return Outcome::fail(MQRC_Q_DELETED);
  std::shared_ptr<LocalQueue> queue = q->second;
  std::string queueName = h->queue, aliasName = h->aliasName;
  if (gmo.Options & MQGMO_BROWSE_FIRST) h->browseCursor.reset();
  auto deadline = Clock::time_point::max();
  if (wait && gmo.WaitInterval != MQWI_UNLIMITED) deadline = Clock::now() + std::chrono::milliseconds(gmo.WaitInterval);

  for (;;) {
    if (s.stopping) return Outcome::fail(MQRC_Q_MGR_STOPPING);
    if (s.quiescing && failIfQuiescing) return Outcome::fail(MQRC_Q_MGR_QUIESCING);
    h = s.findHandle(conn, hobj);
    if (!h) return Outcome::fail(s.conns.count(conn) ? MQRC_HOBJ_ERROR : MQRC_CONNECTION_BROKEN);
    if (queue->deleted) return Outcome::fail(MQRC_Q_DELETED);
    auto def = s.queues.find(queueName);
    if (def == s.queues.end()) return Outcome::fail(MQRC_Q_DELETED);
    if (!browse) {
      auto alias = aliasName.empty() ? s.queues.end() : s.queues.find(aliasName);
      if (def->second.get("GET") == "DISABLED" || (alias != s.queues.end() && alias->second.get("GET") == "DISABLED"))
        return Outcome::fail(MQRC_GET_INHIBITED);
    }
    auto it = s.findMessage(*queue, md, gmo, browse ? h->browseCursor : std::nullopt);
    if (nonPersistentOnly && it != queue->messages.end() && it->second.md.Persistence == MQPER_PERSISTENT)
      return Outcome::fail(MQRC_NO_MSG_AVAILABLE);
    if (it != queue->messages.end()) {
      Message& m = it->second;
      MQLONG length = static_cast<MQLONG>(m.data.size());
      dataLength = length;
      md = m.md;
      if (m.expiresAt) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*m.expiresAt - Clock::now()).count() / 100;
        md.Expiry = static_cast<MQLONG>(std::max<long long>(1, left));
      }
      if (gmo.Version >= MQGMO_VERSION_3) gmo.ReturnedLength = std::min(length, bufferLength);
      setField(gmo.ResolvedQName, queueName);
      bool truncated = length > bufferLength;
      if (truncated && !(gmo.Options & MQGMO_ACCEPT_TRUNCATED_MSG)) return Outcome::fail(MQRC_TRUNCATED_MSG_FAILED);
      if (bufferLength > 0) std::memcpy(buffer, m.data.data(), static_cast<size_t>(std::min(length, bufferLength)));
      if (!browse) queue->dequeued++;
      if (browse) {
        h->browseCursor = it->first;
      } else if (gmo.Options & MQGMO_SYNCPOINT) {
        m.lockedBy = conn;
        Conn& c = s.conns[conn];
        c.inUnit = true;
        c.unitMessages[queueName].push_back(it->first);
      } else {
        bool persistent = m.md.Persistence == MQPER_PERSISTENT;
        queue->messages.erase(it);
        if (persistent) s.saveMessages();
      }
      return truncated ? Outcome::warn(MQRC_TRUNCATED_MSG_ACCEPTED) : Outcome{};
    }
    auto now = Clock::now();
    if (!wait || now >= deadline) return Outcome::fail(MQRC_NO_MSG_AVAILABLE);
    if (cancelled && cancelled()) return Outcome::fail(MQRC_CONNECTION_BROKEN);
    auto until = cancelled ? std::min(deadline, now + kWaitSlice) : deadline;
    if (until == Clock::time_point::max()) queue->arrived.wait(lk);
    else queue->arrived.wait_until(lk, until);
    // Woken by a message, a getter that was cancelled meanwhile (a command server just
    // stopped) must leave it on the queue rather than take it.
    if (cancelled && cancelled()) return Outcome::fail(MQRC_CONNECTION_BROKEN);
  }
}

Outcome QueueManager::inquire(ConnId conn, MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<MQLONG> intAttrs,
                              std::span<char> charAttrs) {
  std::lock_guard lk(impl_->mu);
  Impl& s = *impl_;
  if (Outcome o = s.callState(conn, false); !o.ok()) return o;
  Handle* h = s.findHandle(conn, hobj);
  if (!h) return Outcome::fail(MQRC_HOBJ_ERROR);
  if (!(h->options & MQOO_INQUIRE)) return Outcome::fail(MQRC_NOT_OPEN_FOR_INQUIRE);
  bool isQMgr = h->kind == ObjectKind::QMgr;
  const ObjectDef* def = &s.qmgr;
  std::string objName = name_;
  if (!isQMgr) {
    std::string qname = h->aliasName.empty() ? h->queue : h->aliasName;
    auto it = s.queues.find(qname);
    if (it == s.queues.end()) return Outcome::fail(MQRC_Q_DELETED);
    def = &it->second;
    objName = qname;
  }
  // Check every selector first, so that a bad one leaves the output untouched.
  for (MQLONG sel : selectors) {
    bool isInt = sel >= MQIA_FIRST && sel <= MQIA_LAST;
    bool isChar = sel >= MQCA_FIRST && sel <= MQCA_LAST;
    if (!isInt && !isChar) return Outcome::fail(MQRC_SELECTOR_ERROR);
  }
  Outcome result;
  size_t intIndex = 0, charOffset = 0;
  auto shortfall = [&](MQLONG reason) {
    if (result.compCode == MQCC_OK) result = Outcome::warn(reason);
  };
  for (MQLONG sel : selectors) {
    if (sel >= MQIA_FIRST && sel <= MQIA_LAST) {
      MQLONG value = MQIAV_NOT_APPLICABLE;
      bool known = false;
      if (!isQMgr && (sel == MQIA_CURRENT_Q_DEPTH || sel == MQIA_OPEN_INPUT_COUNT || sel == MQIA_OPEN_OUTPUT_COUNT)) {
        auto q = s.local.find(objName);
        known = q != s.local.end();
        if (known)
          value = sel == MQIA_CURRENT_Q_DEPTH    ? static_cast<MQLONG>(q->second->messages.size())
                  : sel == MQIA_OPEN_INPUT_COUNT ? q->second->openInput
                                                 : q->second->openOutput;
      }
      for (const auto& row : intSelectors()) {
        if (known || row.selector != sel || row.forQMgr != isQMgr) continue;
        auto a = def->attrs.find(row.attr);
        if (a == def->attrs.end()) continue;
        known = true;
        if (row.values.empty()) {
          value = static_cast<MQLONG>(def->getInt(row.attr, MQIAV_NOT_APPLICABLE));
        } else {
          for (const auto& [text, number] : row.values)
            if (text == a->second) value = number;
        }
      }
      if (!known) shortfall(MQRC_SELECTOR_NOT_FOR_TYPE);
      if (intIndex < intAttrs.size()) intAttrs[intIndex] = value;
      else shortfall(MQRC_INT_ATTR_COUNT_TOO_SMALL);
      ++intIndex;
    } else {
      const CharSelector* row = nullptr;
      for (const auto& r : charSelectors())
        if (r.selector == sel && r.forQMgr == isQMgr) row = &r;
      std::string value;
      size_t length = 48;
      if (row) {
        length = row->length;
        value = row->attr[0] ? def->get(row->attr) : objName;
      } else {
        shortfall(MQRC_SELECTOR_NOT_FOR_TYPE);
      }
      if (charOffset + length <= charAttrs.size()) {
        char* out = charAttrs.data() + charOffset;
        std::memset(out, ' ', length);
        std::memcpy(out, value.data(), std::min(length, value.size()));
      } else {
        shortfall(MQRC_CHAR_ATTRS_TOO_SHORT);
      }
      charOffset += length;
    }
  }
  return result;
}

Outcome QueueManager::set(ConnId conn, MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<const MQLONG> intAttrs,
                          std::span<const char> charAttrs) {
  std::lock_guard lk(impl_->mu);
  Impl& s = *impl_;
  if (Outcome o = s.callState(conn, false); !o.ok()) return o;
  Handle* h = s.findHandle(conn, hobj);
  if (!h) return Outcome::fail(MQRC_HOBJ_ERROR);
  if (!(h->options & MQOO_SET)) return Outcome::fail(MQRC_NOT_OPEN_FOR_SET);
  if (h->kind != ObjectKind::Queue) return Outcome::fail(MQRC_SELECTOR_ERROR);
  auto def = s.queues.find(h->aliasName.empty() ? h->queue : h->aliasName);
  if (def == s.queues.end()) return Outcome::fail(MQRC_Q_DELETED);
  size_t intIndex = 0;
  Attributes changes;
  for (MQLONG sel : selectors) {
    if (sel != MQIA_INHIBIT_GET && sel != MQIA_INHIBIT_PUT) return Outcome::fail(MQRC_SELECTOR_ERROR);
    if (intIndex >= intAttrs.size()) return Outcome::fail(MQRC_INT_ATTR_COUNT_ERROR);
    MQLONG v = intAttrs[intIndex++];
    if (v != 0 && v != 1) return Outcome::fail(MQRC_INHIBIT_VALUE_ERROR);
    changes[sel == MQIA_INHIBIT_GET ? "GET" : "PUT"] = v ? "DISABLED" : "ENABLED";
  }
  (void)charAttrs;
  for (auto& [k, v] : changes) def->second.attrs[k] = v;
  s.saveObject(def->second);
  for (auto& [n, q] : s.local) q->arrived.notify_all();
  return {};
}

Outcome QueueManager::commit(ConnId conn) {
  std::lock_guard lk(impl_->mu);
  if (Outcome o = impl_->callState(conn, false); !o.ok()) return o;
  impl_->endUnit(conn, true);
  return {};
}

Outcome QueueManager::backout(ConnId conn) {
  std::lock_guard lk(impl_->mu);
  if (Outcome o = impl_->callState(conn, false); !o.ok()) return o;
  impl_->endUnit(conn, false);
  return {};
}

// --- administration ---------------------------------------------------------------------

ObjectDef QueueManager::qmgrObject() const {
  std::lock_guard lk(impl_->mu);
  return impl_->qmgr;
}

void QueueManager::alterQMgr(const Attributes& changes) {
  std::lock_guard lk(impl_->mu);
  for (const auto& [k, v] : changes) impl_->qmgr.attrs[k] = v;
  impl_->saveObject(impl_->qmgr);
}

std::vector<ObjectDef> QueueManager::objects(ObjectKind kind) const {
  std::lock_guard lk(impl_->mu);
  std::vector<ObjectDef> out;
  if (kind == ObjectKind::Queue) {
    for (const auto& [n, d] : impl_->queues) out.push_back(d);
  } else if (kind == ObjectKind::QMgr) {
    out.push_back(impl_->qmgr);
  } else {
    for (const auto& [k, d] : impl_->others)
      if (k.first == kind) out.push_back(d);
  }
  return out;
}

std::vector<ObjectDef> QueueManager::objects(ObjectKind kind, const std::string& pattern) const {
  bool generic = !pattern.empty() && pattern.back() == '*';
  std::string prefix = generic ? pattern.substr(0, pattern.size() - 1) : pattern;
  if (kind == ObjectKind::QMgr || (generic && prefix.empty())) return objects(kind);
  std::lock_guard lk(impl_->mu);
  std::vector<ObjectDef> out;
  auto matches = [&](const std::string& name) {
    return generic ? name.compare(0, prefix.size(), prefix) == 0 : name == prefix;
  };
  if (kind == ObjectKind::Queue) {
    for (auto it = impl_->queues.lower_bound(prefix); it != impl_->queues.end() && matches(it->first); ++it)
      out.push_back(it->second);
  } else {
    for (auto it = impl_->others.lower_bound({kind, prefix});
         it != impl_->others.end() && it->first.first == kind && matches(it->first.second); ++it)
      out.push_back(it->second);
  }
  return out;
}

std::optional<ObjectDef> QueueManager::object(ObjectKind kind, const std::string& name) const {
  std::lock_guard lk(impl_->mu);
  if (kind == ObjectKind::Queue) {
    auto it = impl_->queues.find(name);
    if (it != impl_->queues.end()) return it->second;
    return std::nullopt;
  }
  auto it = impl_->others.find({kind, name});
  if (it != impl_->others.end()) return it->second;
  return std::nullopt;
}

Outcome QueueManager::define(ObjectDef def, bool replace) {
  std::lock_guard lk(impl_->mu);
  Impl& s = *impl_;
  if (def.kind == ObjectKind::QMgr) return Outcome::fail(MQRC_OBJECT_TYPE_ERROR);
  bool freeName =
      def.kind == ObjectKind::Subscription || def.kind == ObjectKind::ChlAuth || def.kind == ObjectKind::AuthRec;
  if (freeName ? def.name.empty() : !validObjectName(def.name, def.kind == ObjectKind::Channel ? 20 : 48))
    return Outcome::fail(MQRC_OBJECT_NAME_ERROR);
  auto [date, time] = creationStamp();
  def.attrs["ALTDATE"] = date;
  def.attrs["ALTTIME"] = time;
  if (def.kind == ObjectKind::Queue) {
    auto it = s.queues.find(def.name);
    bool replaced = it != s.queues.end();
    if (replaced) {
      if (!replace) return Outcome::fail(MQRC_OBJECT_ALREADY_EXISTS);
      if (it->second.queueType() != def.queueType()) return Outcome::fail(MQRC_Q_TYPE_ERROR);
      def.attrs["CRDATE"] = it->second.get("CRDATE");
      def.attrs["CRTIME"] = it->second.get("CRTIME");
    } else {
      def.attrs["CRDATE"] = date;
      def.attrs["CRTIME"] = time;
    }
    if (def.queueType() == "QLOCAL") s.createLocalState(def.name);
    std::string qname = def.name;
    const ObjectDef& stored = s.queues[qname] = std::move(def);
    // Waiting gets re-check a replaced queue's attributes (GET(DISABLED) ends them).
    // A local queue's waiters wait on its own state; those reading through an alias
    // wait on the target's, so a replaced alias wakes them all.
    if (stored.queueType() == "QLOCAL") s.local[qname]->arrived.notify_all();
    else if (replaced)
      for (auto& [n, q] : s.local) q->arrived.notify_all();
    if (!s.saveObject(stored)) return Outcome::fail(MQRC_RESOURCE_PROBLEM);
  } else {
    auto key = std::make_pair(def.kind, def.name);
    auto it = s.others.find(key);
    if (it != s.others.end() && !replace) return Outcome::fail(MQRC_OBJECT_ALREADY_EXISTS);
    def.attrs["CRDATE"] = it != s.others.end() ? it->second.get("CRDATE", date) : date;
    def.attrs["CRTIME"] = it != s.others.end() ? it->second.get("CRTIME", time) : time;
    const ObjectDef& stored = s.others[key] = std::move(def);
    if (!s.saveObject(stored)) return Outcome::fail(MQRC_RESOURCE_PROBLEM);
  }
  return {};
}

Outcome QueueManager::alter(ObjectKind kind, const std::string& name, const Attributes& changes) {
  auto current = object(kind, name);
  if (!current) return Outcome::fail(MQRC_UNKNOWN_OBJECT_NAME);
  for (const auto& [k, v] : changes) current->attrs[k] = v;
  return define(std::move(*current), true);
}

Outcome QueueManager::remove(ObjectKind kind, const std::string& name, bool purge) {
  std::lock_guard lk(impl_->mu);
  Impl& s = *impl_;
  std::string chltype;
  if (kind == ObjectKind::Queue) {
    auto it = s.queues.find(name);
    if (it == s.queues.end()) return Outcome::fail(MQRC_UNKNOWN_OBJECT_NAME);
    auto q = s.local.find(name);
    bool hadPersistent = false;
    if (q != s.local.end()) {
      if (s.openCount(*q->second) > 0) return Outcome::fail(MQRC_OBJECT_IN_USE);
      if (!q->second->messages.empty() && !purge) return Outcome::fail(MQRC_Q_NOT_EMPTY);
      hadPersistent = !q->second->messages.empty();
    }
    s.dropQueue(name);
    if (hadPersistent) s.saveMessages();
  } else {
    auto it = s.others.find({kind, name});
    if (it == s.others.end()) return Outcome::fail(MQRC_UNKNOWN_OBJECT_NAME);
    chltype = it->second.get("CHLTYPE");
    s.others.erase(it);
  }
  if (!s.saveRemoval(kind, name)) return Outcome::fail(MQRC_RESOURCE_PROBLEM);
  if (!s.dropAuthorityRecords(kind, name, chltype)) return Outcome::fail(MQRC_RESOURCE_PROBLEM);
  return {};
}

Outcome QueueManager::refreshConnAuth() {
  std::lock_guard lk(impl_->mu);
  return impl_->refreshConnAuth();
}

std::optional<QueueStatus> QueueManager::queueStatus(const std::string& name) const {
  std::lock_guard lk(impl_->mu);
  auto q = impl_->local.find(name);
  if (q == impl_->local.end()) return std::nullopt;
  QueueStatus st;
  st.depth = static_cast<long>(q->second->messages.size());
  st.openInput = q->second->openInput;
  st.openOutput = q->second->openOutput;
  for (const auto& [k, m] : q->second->messages)
    if (m.pendingPut || m.lockedBy) st.uncommitted++;
  return st;
}

std::optional<QueueStats> QueueManager::resetQueueStats(const std::string& name) {
  std::lock_guard lk(impl_->mu);
  auto q = impl_->local.find(name);
  if (q == impl_->local.end()) return std::nullopt;
  LocalQueue& lq = *q->second;
  auto now = Clock::now();
  QueueStats st{lq.enqueued, lq.dequeued, lq.highDepth,
                static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(now - lq.statsSince).count())};
  lq.enqueued = lq.dequeued = 0;
  lq.highDepth = static_cast<long>(lq.messages.size());
  lq.statsSince = now;
  return st;
}

Outcome QueueManager::clearQueue(const std::string& name) {
  std::lock_guard lk(impl_->mu);
  auto q = impl_->local.find(name);
  if (q == impl_->local.end()) return Outcome::fail(MQRC_UNKNOWN_OBJECT_NAME);
  if (q->second->openInput > 0 || q->second->openOutput > 0) return Outcome::fail(MQRC_OBJECT_IN_USE);
  bool had = !q->second->messages.empty();
  q->second->messages.clear();
  if (had) impl_->saveMessages();
  return {};
}

void QueueManager::discardExpiredMessages(const std::string& pattern) {
  std::lock_guard lk(impl_->mu);
  Impl& s = *impl_;
  bool generic = !pattern.empty() && pattern.back() == '*';
  std::string prefix = generic ? pattern.substr(0, pattern.size() - 1) : pattern;
  auto now = Clock::now();
  bool persistentGone = false;
  for (auto& [qname, q] : s.local) {
    if (generic ? qname.compare(0, prefix.size(), prefix) != 0 : qname != pattern) continue;
    for (auto it = q->messages.begin(); it != q->messages.end();) {
      const Message& m = it->second;
      if (m.expiresAt && *m.expiresAt <= now && !m.lockedBy && !m.pendingPut) {
        persistentGone |= m.md.Persistence == MQPER_PERSISTENT;
        it = q->messages.erase(it);
      } else {
        ++it;
      }
    }
  }
  if (persistentGone) s.saveMessages();
}

std::vector<ConnectionInfo> QueueManager::connections() const {
  std::lock_guard lk(impl_->mu);
  std::vector<ConnectionInfo> out;
  for (const auto& [id, c] : impl_->conns) {
    ConnectionInfo info{id, c.params, c.connectedAt, {}};
    for (const auto& [hobj, h] : c.handles)
      info.handles.push_back({hobj, h.kind, h.aliasName.empty() ? h.queue : h.aliasName, h.options});
    out.push_back(std::move(info));
  }
  return out;
}

void QueueManager::startService(std::function<void(std::stop_token)> body) {
  std::lock_guard lk(impl_->mu);
  if (impl_->stopping) return;
  impl_->services.emplace_back(std::move(body));
}

void QueueManager::quiesce() {
  std::lock_guard lk(impl_->mu);
  impl_->quiescing = true;
  for (auto& [n, q] : impl_->local) q->arrived.notify_all();
}

void QueueManager::stop() {
  std::vector<std::jthread> services;
  {
    std::lock_guard lk(impl_->mu);
    if (!impl_->stopping) {
      impl_->stopping = true;
      for (auto& [n, q] : impl_->local) q->arrived.notify_all();
    }
    services.swap(impl_->services);
  }
  for (auto& t : services) t.request_stop();
  services.clear();  // joins
}

bool QueueManager::stopping() const {
  std::lock_guard lk(impl_->mu);
  return impl_->stopping;
}

std::string QueueManager::storageError() const {
  std::lock_guard lk(impl_->mu);
  return impl_->storageError;
}

std::vector<std::string> QueueManager::recentErrors() const { return impl_->errorLog->recent(); }

Outcome QueueManager::admitClient(const admission::ClientHello& hello, const admission::PasswordCheck& verify,
                                  bool demandCredentials, ConnectParams& params) {
  admission::Policy policy;
  policy.demandCredentials = demandCredentials;
  {
    std::lock_guard lk(impl_->mu);
    Impl& s = *impl_;
    if (s.stopping) return Outcome::fail(MQRC_Q_MGR_STOPPING);
    policy.channelRules = s.channelRulesOn();
    if (policy.channelRules)
      for (const auto& [key, def] : s.others)
        if (key.first == ObjectKind::ChlAuth) policy.rules.push_back(def);
    if (auto chl = s.others.find({ObjectKind::Channel, hello.channel}); chl != s.others.end())
      policy.channelMcaUser = chl->second.get("MCAUSER");
    policy.connAuthInForce = s.connAuthInForce();
    policy.checkClient = admission::checkClientFrom(s.connAuthCheck);
    policy.adoptContext = s.connAuthAdopt;
    policy.authInfo = s.connAuthName;
  }
  // The user repository and group lookups may be slow: they run outside the lock.
  auto privileged = [](const std::string& user) { return authority::groupsOf(user).count("mqm") > 0; };
  admission::Verdict verdict = admission::admit(hello, policy, verify, privileged);
  params.applName = hello.applName;
  params.channel = hello.channel;
  params.connName = hello.address;
  params.assertedUserId = hello.assertedUser;
  params.cspUserId = hello.credentials ? hello.credentials->user : "";
  params.userId = verdict.refused() ? hello.assertedUser : verdict.userId;
  for (const auto& line : verdict.log) impl_->errorLog->write(line.id, line.inserts);
  std::lock_guard lk(impl_->mu);
  Impl& s = *impl_;
  if (s.channelEvents())
    for (const auto& b : verdict.blocked)
      s.putEvent("SYSTEM.ADMIN.CHANNEL.EVENT",
                 events::channelBlocked(name_, b.reason, b.qualifier, hello.channel, b.user, hello.address));
  if (verdict.credentialsRefused && s.authorityEvents())
    s.putEvent("SYSTEM.ADMIN.QMGR.EVENT",
               events::connectNotAuthorized(name_, MQRQ_CSP_NOT_AUTHORIZED, Impl::requester(params)));
  if (verdict.refused()) return Outcome::fail(verdict.reason);
  return {};
}

}  // namespace qmsim
