// Object definitions of a simulated queue manager, kept as MQSC attribute maps so
// that the command server can define, alter and display them without knowing the
// engine's internals. Keys are MQSC keywords in upper case; values are the text
// MQSC would show (numbers in decimal, names without quotes). Keyword pairs such as
// SHARE/NOSHARE are stored under the positive keyword with the value YES or NO.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qmsim {

// Subscription, ChlAuth and AuthRec names are free text (a subscription name, or a
// channel authentication or authority record's key); the command server checks them.
enum class ObjectKind {
  QMgr,
  Queue,
  Channel,
  Process,
  Namelist,
  AuthInfo,
  Listener,
  Service,
  Topic,
  CommInfo,
  Subscription,
  ChlAuth,
  AuthRec
};

using Attributes = std::map<std::string, std::string>;

struct ObjectDef {
  ObjectKind kind = ObjectKind::Queue;
  std::string name;
  Attributes attrs;

  std::string get(const std::string& key, std::string_view fallback = "") const;
  long getInt(const std::string& key, long fallback) const;
  bool isYes(const std::string& key, bool fallback) const;
  // QTYPE of a queue: QLOCAL, QMODEL, QALIAS or QREMOTE.
  std::string queueType() const { return get("QTYPE"); }
};

std::string_view kindName(ObjectKind kind);
std::optional<ObjectKind> kindFromName(std::string_view name);

// Attributes a new object of this kind and type starts with; explicit attributes go on top.
Attributes defaultAttributes(ObjectKind kind, std::string_view type);

// The objects a new queue manager is created with.
std::vector<ObjectDef> defaultObjects();
ObjectDef defaultQMgrObject(const std::string& qmgrName);

// MQ object names: 1 to 48 characters from A-Z a-z 0-9 . / _ % (20 for channels).
bool validObjectName(std::string_view name, size_t maxLength = 48);

}  // namespace qmsim
