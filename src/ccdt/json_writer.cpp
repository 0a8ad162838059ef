// Writing the JSON channel table, and the list operations behind it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>
#include <unordered_map>

#include "ccdt/file_io.h"
#include "ccdt/json_fields.h"
#include "ccdt/json_table.h"
#include "ccdt/status.h"
#include "runtime/utf8.h"
#include "text/text.h"

namespace kvarn::ccdt {

namespace {

// A value to be written: a scalar already in its JSON form, an object or an array.
struct Node {
  enum class Kind { Scalar, Object, Array } kind = Kind::Object;
  std::string scalar;
  std::vector<std::string> names;  // objects
  std::vector<Node> values;

  static Node text(std::string_view value);
  static Node number(int64_t value) { return Node{Kind::Scalar, std::to_string(value), {}, {}}; }
  static Node array() { return Node{Kind::Array, {}, {}, {}}; }
  void add(std::string name, Node value) {
    names.push_back(std::move(name));
    values.push_back(std::move(value));
  }
  bool empty() const { return values.empty(); }
};

std::string quoted(std::string_view value) {
  // Quotes, backslashes and control characters are escaped, so the file is proper
  // JSON and the reader gives back the same bytes. Bytes from 0x80 up (UTF-8) are
  // written as they are.
  std::string out = "\"";
  out.reserve(value.size() + 2);
  appendJsonEscaped(out, value, true);
  out.push_back('"');
  return out;
}

Node Node::text(std::string_view value) { return Node{Kind::Scalar, quoted(value), {}, {}}; }

void serialise(const Node &node, int indent, std::string &out) {
  const std::string pad(static_cast<size_t>(indent), ' ');
  const std::string inner(static_cast<size_t>(indent + 2), ' ');
  if (node.kind == Node::Kind::Scalar) {
    out += node.scalar;
    return;
  }
  bool object = node.kind == Node::Kind::Object;
  out += object ? "{\n" : "[\n";
  for (size_t i = 0; i < node.values.size(); ++i) {
    if (i) out += ",\n";
    out += inner;
    const Node &child = node.values[i];
    if (object) {
      out += quoted(node.names[i]) + ":";
      if (child.kind == Node::Kind::Scalar) {
        out += " " + child.scalar;
        continue;
      }
      out += "\n" + inner;
    }
    serialise(child, indent + 2, out);
  }
  out += "\n" + pad + (object ? "}" : "]");
}

bool allDigits(std::string_view text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// "host(port)" split for writing; anything not of that form stays whole in host.
struct Address {
  std::string host;
  std::string port;
  std::string high;
};

Address splitAddress(std::string_view entry, bool range) {
  Address address{std::string(entry), {}, {}};
  auto open = entry.find('(');
  if (open == std::string_view::npos || entry.back() != ')') return address;
  std::string_view inside = entry.substr(open + 1, entry.size() - open - 2);
  std::string_view low = inside;
  std::string_view high;
  if (auto comma = inside.find(','); range && comma != std::string_view::npos) {
    low = inside.substr(0, comma);
    high = inside.substr(comma + 1);
    if (!allDigits(high)) return address;
  }
  if (!allDigits(low)) return address;
  address.host = std::string(entry.substr(0, open));
  address.port = std::string(low);
  address.high = std::string(high);
  return address;
}

Node connectionNode(const std::string &connectionName) {
  Node list = Node::array();
  std::string_view text = connectionName;
  size_t start = 0;
  while (start < text.size()) {
    size_t comma = text.find(',', start);
    // Each entry loses its own trailing blanks, not only the last one: a blank entry
    // read back adds nothing, so writing the table again gives the same list.
    std::string_view entry = trimTrailingBlanks(
        text.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (entry.empty()) {  // nothing to connect to between two commas
      if (comma == std::string_view::npos) break;
      start = comma + 1;
      continue;
    }
    Address address = splitAddress(entry, false);
    Node item;
    if (!address.host.empty() || address.port.empty()) item.add("host", Node::text(address.host));
    if (!address.port.empty()) item.add("port", Node::number(std::atoll(address.port.c_str())));
    list.values.push_back(std::move(item));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return list;
}

Node localAddressNode(const std::string &localAddress) {
  Address address = splitAddress(trimTrailingBlanks(localAddress), true);
  Node item;
  if (!address.host.empty() || address.port.empty()) item.add("host", Node::text(address.host));
  if (!address.high.empty()) {
    Node range;
    range.add("low", Node::number(std::atoll(address.port.c_str())));
    range.add("high", Node::number(std::atoll(address.high.c_str())));
    item.add("portRange", std::move(range));
  } else if (!address.port.empty()) {
    item.add("port", Node::number(std::atoll(address.port.c_str())));
  }
  return item;
}

Node keywordNode(const json::Member &member, int32_t value) {
  if (const char *keyword = json::keywordOf(member, value)) return Node::text(keyword);
  return Node::number(value);
}

Node exitsNode(const ChannelDefinition &def, ExitList names) {
  const auto &exitNames = def.exitLists[names];
  const auto &exitData = def.exitLists[names + 1];
  Node list = Node::array();
  for (size_t i = 0; i < std::max(exitNames.size(), exitData.size()); ++i) {
    Node item;
    std::string_view name = i < exitNames.size() ? trimTrailingBlanks(exitNames[i]) : std::string_view();
    std::string_view data = i < exitData.size() ? trimTrailingBlanks(exitData[i]) : std::string_view();
    if (!name.empty()) item.add("name", Node::text(name));
    if (!data.empty()) item.add("userData", Node::text(data));
    list.values.push_back(std::move(item));
  }
  return list;
}

// Adds a member when the setting asks for every member or the value is not its default.
class ChannelWriter {
 public:
  ChannelWriter(const ChannelDefinition &def, JsonFields fields) : def_(def), all_(fields == JsonFields::All) {}

  Node build(JsonFields fields) {
    const ChannelDefinition &d = def_;
    Node channel;
    channel.add("name", Node::text(trimTrailingBlanks(d.channelName)));
    channel.add("type", keywordNode(member(".type"), d.channelType));

    Node general;
    text(general, "description", d.description);
    number(general, "maximumMessageLength", d.maxMsgLength, 4194304);
    addObject(channel, "general", std::move(general));

    Node client;
    client.add("connection", connectionNode(d.connectionName));
    text(client, "queueManager", d.qmgrName);
    addObject(channel, "clientConnection", std::move(client));

    Node compression;
    list(compression, "header", member(".compression.header"), d.hdrComp.data(), 2);
    list(compression, "message", member(".compression.message"), d.msgComp.data(), 16);
    addObject(channel, "compression", std::move(compression));

    Node management;
    number(management, "sharingConversations", d.sharingConversations, 10);
    number(management, "clientWeight", d.clientChannelWeight, 0);
    keyword(management, "affinity", ".connectionManagement.affinity", d.connectionAffinity, 1);
    keyword(management, "defaultReconnect", ".connectionManagement.defaultReconnect", d.defReconnect, 0);
    number(management, "disconnectInterval", d.discInterval, 6000);
    number(management, "heartbeatInterval", d.heartbeatInterval, 1);
    keyword(management, "keepAliveInterval", ".connectionManagement.keepAliveInterval", d.keepAliveInterval, -1);
    if (!trimTrailingBlanks(d.localAddress).empty()) management.add("localAddress", localAddressNode(d.localAddress));
    addObject(channel, "connectionManagement", std::move(management));

    Node exits;
    if (!trimTrailingBlanks(d.securityExit).empty() || !trimTrailingBlanks(d.securityUserData).empty()) {
      Node security;
      security.add("name", Node::text(trimTrailingBlanks(d.securityExit)));
      security.add("userData", Node::text(trimTrailingBlanks(d.securityUserData)));
      exits.add("security", std::move(security));
    }
    for (auto [name, which] : {std::pair{"send", SendExits}, std::pair{"receive", ReceiveExits}})
      if (all_ || !d.exitLists[which].empty() || !d.exitLists[which + 1].empty()) exits.add(name, exitsNode(d, which));
    addObject(channel, "exits", std::move(exits));

    Node security;
    text(security, "cipherSpecification", d.sslCipherSpec);
    text(security, "certificateLabel", d.certificateLabel);
    text(security, "certificatePeerName", d.sslPeerName);
    addObject(channel, "transmissionSecurity", std::move(security));

    // A time the reader would refuse (0: a record version without one) is left out;
    // the channel then reads back with the file's time.
    if (fields != JsonFields::Min && d.alterTime >= kMinAlteredTime && d.alterTime <= kMaxAlteredTime) {
      Node timestamps;
      timestamps.add("altered", Node::text(formatAlteredTime(d.alterTime)));
      channel.add("timestamps", std::move(timestamps));
    }
    return channel;
  }

 private:
  static const json::Member &member(const char *path) { return *json::findMember(path); }
  void addObject(Node &parent, const char *name, Node child) {
    if (!child.empty()) parent.add(name, std::move(child));
  }
  void text(Node &parent, const char *name, const std::string &value) {
    std::string_view trimmed = trimTrailingBlanks(value);
    if (all_ || !trimmed.empty()) parent.add(name, Node::text(trimmed));
  }
  void number(Node &parent, const char *name, int32_t value, int32_t fallback) {
    if (all_ || value != fallback) parent.add(name, Node::number(value));
  }
  void keyword(Node &parent, const char *name, const char *path, int32_t value, int32_t fallback) {
    if (all_ || value != fallback) parent.add(name, keywordNode(member(path), value));
  }
  void list(Node &parent, const char *name, const json::Member &row, const int32_t *values, int count) {
    Node items = Node::array();
    for (int i = 0; i < count; ++i)
      if (values[i] != -1) items.values.push_back(keywordNode(row, values[i]));
    if (all_ || !items.empty()) parent.add(name, std::move(items));
  }

  const ChannelDefinition &def_;
  bool all_;
};

}  // namespace

bool jsonCanHold(const ChannelDefinition &def, std::string &message) {
  constexpr int32_t kLargest = 999999999;                       // nine digits, as the reader takes numbers
  ChannelDefinition &d = const_cast<ChannelDefinition &>(def);  // the accessors only read here
  for (const json::Member &member : json::members()) {
    std::string_view path = member.path;
    std::string field(path.substr(path.find_last_of('.') + 1));
    if (member.kind == json::MemberKind::ExitName || member.kind == json::MemberKind::ExitData) {
      // The reader refuses the bytes a binary record separates exit entries with, and
      // a list longer than it keeps.
      const auto &list = def.exitLists[member.names + (member.kind == json::MemberKind::ExitData ? 1 : 0)];
      size_t length = 1;
      for (const std::string &entry : list) {
        std::string_view text = trimTrailingBlanks(entry);
        if (text.find_first_of("\x01\x02") != std::string_view::npos) {
          message = strFormat("an exit's '%s' holds a control character a JSON CCDT file can not hold", field.c_str());
          return false;
        }
        length += text.size() + 1;
      }
      if (length > json::kMaxExitListText) {
        message = strFormat("the exits' '%s' values are too long for a JSON CCDT file", field.c_str());
        return false;
      }
      continue;
    }
    if (member.kind != json::MemberKind::Number && member.kind != json::MemberKind::Keyword &&
        member.kind != json::MemberKind::KeywordList)
      continue;
    const int32_t *values = member.numbers(d);
    int count = member.kind == json::MemberKind::KeywordList ? member.count : 1;
    for (int i = 0; i < count; ++i) {
      int32_t value = values[i];
      if (member.kind == json::MemberKind::KeywordList && value == -1) continue;  // an unused place
      if (member.kind != json::MemberKind::Number && json::keywordOf(member, value)) continue;
      if (value >= -kLargest && value <= kLargest) continue;
      message =
          strFormat("value %d of '%s' can not be held in a JSON CCDT file", static_cast<int>(value), field.c_str());
      return false;
    }
  }
  return true;
}

std::string formatAlteredTime(int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  if (!gmtime_r(&t, &utc)) return "1970-01-01T00:00:00.000Z";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.000Z", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return buffer;
}

std::string JsonTable::render(JsonFields fields) const {
  std::string out = "{\n  \"channel\":\n  [\n";
  for (size_t i = 0; i < channels_.size(); ++i) {
    if (i) out += ",\n";
    out += "    ";
    serialise(ChannelWriter(channels_[i].def, fields).build(fields), 4, out);
  }
  out += "\n  ]\n}\n";
  return out;
}

int JsonTable::save(JsonFields fields, std::string &message) {
  message.clear();
  std::string target = replacementTarget(path_);
  std::string temporary = target + "_tmp";
  if (!changed_) {
    ::unlink(temporary.c_str());
    return kOk;
  }
  std::string text;
  try {
    text = render(fields);
  } catch (const std::bad_alloc &) {
    message = "Storage not available";
    return kErrStorage;
  }
  if (int rc = writeFileDurably(temporary, text, target); rc != 0) {
    message = rc == ENOENT || rc == EACCES || rc == EROFS || rc == ENOTDIR
                  ? strFormat("Can not create file '%s'", temporary.c_str())
                  : strFormat("AMQ8427: Error writing to file '%s' RC(%d)", temporary.c_str(), rc);
    return kErrAccess;
  }
  if (!backupTaken_ && ::access(target.c_str(), F_OK) == 0) {
    // The first replacement of the run keeps the file as it was read. A hard link
    // leaves the file itself in place until the rename swaps in the new one.
    std::string backup = target + "_bak";
    ::unlink(backup.c_str());
    if (::link(target.c_str(), backup.c_str()) != 0) {
      std::string old;
      if (readWholeFile(target, old) != 0 || writeFileDurably(backup, old, target) != 0) {
        ::unlink(temporary.c_str());
        message = strFormat("Can not rename file '%s' to '%s'", target.c_str(), backup.c_str());
        return kErrAccess;
      }
    }
  }
  if (int rc = renameDurably(temporary, target); rc != 0) {
    ::unlink(temporary.c_str());
    message = strFormat("Can not rename file '%s' to '%s'", temporary.c_str(), target.c_str());
    return kErrAccess;
  }
  backupTaken_ = true;
  changed_ = false;
  return kOk;
}

void JsonTable::renumber() {
  groupSizes_.clear();
  for (auto &channel : channels_) channel.index = ++groupSizes_[channel.def.channelName];
}

int JsonTable::countOf(const std::string &name) const {
  auto found = groupSizes_.find(name);
  return found == groupSizes_.end() ? 0 : found->second;
}

void JsonTable::insert(size_t position, ChannelDefinition def) {
  changed_ = true;
  if (position >= channels_.size()) {
    // Appending numbers the new channel alone: a table filled one channel at a time
    // is not renumbered each time.
    int index = ++groupSizes_[def.channelName];
    channels_.push_back(JsonChannel{std::move(def), index});
    return;
  }
  channels_.insert(channels_.begin() + static_cast<std::ptrdiff_t>(position), JsonChannel{std::move(def), 1});
  renumber();
}

void JsonTable::replace(size_t position, ChannelDefinition def) {
  if (position >= channels_.size()) return;
  bool renamed = channels_[position].def.channelName != def.channelName;
  channels_[position].def = std::move(def);
  if (renamed) renumber();
  changed_ = true;
}

void JsonTable::erase(size_t position) {
  if (position >= channels_.size()) return;
  channels_.erase(channels_.begin() + static_cast<std::ptrdiff_t>(position));
  renumber();
  changed_ = true;
}

void JsonTable::move(size_t from, size_t to) {
  if (from >= channels_.size() || to >= channels_.size() || from == to) return;
  JsonChannel moving = std::move(channels_[from]);
  channels_.erase(channels_.begin() + static_cast<std::ptrdiff_t>(from));
  channels_.insert(channels_.begin() + static_cast<std::ptrdiff_t>(to), std::move(moving));
  renumber();
  changed_ = true;
}

bool showEscapeChars() {
  static const bool show = std::getenv("KVARN_SHOW_ESCAPE_CHAR") != nullptr;
  return show;
}

std::string escapeForDisplay(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

}  // namespace kvarn::ccdt
