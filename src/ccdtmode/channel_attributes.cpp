#include "ccdtmode/channel_attributes.h"

#include <ctime>

#include "mqsc/clause_scanner.h"
#include "runtime/scan.h"

namespace kvarn::ccdtmode {

using kvarn::ccdt::ChannelDefinition;
using namespace kvarn::ccdt;

namespace {

constexpr KeywordValue kChannelTypes[] = {{"SDR", 1},      {"SVR", 2},     {"RCVR", 3},     {"RQSTR", 4},
                                          {"CLNTCONN", 6}, {"SVRCONN", 7}, {"CLUSRCVR", 8}, {"CLUSSDR", 9},
                                          {"MQTT", 10},    {"AMQP", 11}};
constexpr KeywordValue kTransports[] = {{"LU62", 1}, {"TCP", 2}, {"NETBIOS", 3}, {"SPX", 4}};
constexpr KeywordValue kAffinities[] = {{"NONE", 0}, {"PREFERRED", 1}};
constexpr KeywordValue kReconnects[] = {{"NO", 0}, {"YES", 1}, {"QMGR", 2}, {"DISABLED", 3}};
constexpr KeywordValue kHeaderCompression[] = {{"NONE", 0}, {"SYSTEM", 8}};
constexpr KeywordValue kMessageCompression[] = {{"NONE", 0},     {"RLE", 1},      {"ZLIBFAST", 2},   {"ZLIBHIGH", 4},
                                                {"LZ4FAST", 16}, {"LZ4HIGH", 32}, {"ANY", 268435455}};
constexpr KeywordValue kKeepAlive[] = {{"AUTO", -1}};

constexpr unsigned kSet = kVerbDefine | kVerbAlter | kVerbDisplay;

using Def = ChannelDefinition;

ChannelAttribute text(const char *keyword, std::string Def::*field, int maxLength) {
  ChannelAttribute a{keyword, AttributeKind::Text, kSet};
  a.text = field;
  a.maxLength = maxLength;
  return a;
}

ChannelAttribute number(const char *keyword, int32_t *(*field)(Def &), int64_t low, int64_t high,
                        std::span<const KeywordValue> values = {}) {
  ChannelAttribute a{keyword, AttributeKind::Number, kSet};
  a.number = field;
  a.low = low;
  a.high = high;
  a.values = values;
  return a;
}

ChannelAttribute keyword(const char *name, int32_t *(*field)(Def &), std::span<const KeywordValue> values) {
  ChannelAttribute a{name, AttributeKind::Keyword, kSet};
  a.number = field;
  a.values = values;
  return a;
}

ChannelAttribute keywordList(const char *name, int32_t *(*field)(Def &), int count,
                             std::span<const KeywordValue> values) {
  ChannelAttribute a{name, AttributeKind::KeywordList, kSet};
  a.number = field;
  a.count = count;
  a.values = values;
  return a;
}

ChannelAttribute exitList(const char *name, ExitList list, int maxLength) {
  ChannelAttribute a{name, AttributeKind::ExitList, kSet};
  a.list = list;
  a.maxLength = maxLength;
  return a;
}

ChannelAttribute only(const char *name, AttributeKind kind, unsigned verbs, bool shownByAll = false) {
  ChannelAttribute a{name, kind, verbs};
  a.shownByAll = shownByAll;
  return a;
}

// In the order DISPLAY ... ALL shows them.
const std::vector<ChannelAttribute> &rows() {
  static const std::vector<ChannelAttribute> table = [] {
    std::vector<ChannelAttribute> t;
    ChannelAttribute type = only("CHLTYPE", AttributeKind::ChannelType, kSet, true);
    type.values = kChannelTypes;
    t.push_back(type);
    ChannelAttribute typeFilter = only("TYPE", AttributeKind::ChannelType, kVerbDisplay);
    typeFilter.values = kChannelTypes;
    t.push_back(typeFilter);
    t.push_back(keyword(
        "AFFINITY", [](Def &d) { return &d.connectionAffinity; }, kAffinities));
    t.push_back(only("ALTDATE", AttributeKind::Altered, kVerbDisplay, true));
    t.push_back(only("ALTTIME", AttributeKind::Altered, kVerbDisplay, true));
    t.push_back(text("CERTLABL", &Def::certificateLabel, 64));
    t.push_back(number(
        "CLNTWGHT", [](Def &d) { return &d.clientChannelWeight; }, 0, 99));
    t.push_back(keywordList(
        "COMPHDR", [](Def &d) { return d.hdrComp.data(); }, 2, kHeaderCompression));
    t.push_back(keywordList(
        "COMPMSG", [](Def &d) { return d.msgComp.data(); }, 16, kMessageCompression));
    t.push_back(text("CONNAME", &Def::connectionName, 264));
    t.push_back(keyword(
        "DEFRECON", [](Def &d) { return &d.defReconnect; }, kReconnects));
    t.push_back(text("DESCR", &Def::description, 64));
    t.push_back(number(
        "HBINT", [](Def &d) { return &d.heartbeatInterval; }, 0, 999999));
    t.push_back(number(
        "KAINT", [](Def &d) { return &d.keepAliveInterval; }, 0, 99999, kKeepAlive));
    t.push_back(text("LOCLADDR", &Def::localAddress, 48));
    t.push_back(number(
        "MAXMSGL", [](Def &d) { return &d.maxMsgLength; }, 0, 104857600));
    t.push_back(text("MODENAME", &Def::modeName, 8));
    ChannelAttribute password = text("PASSWORD", &Def::password, 12);
    password.kind = AttributeKind::Secret;
    t.push_back(password);
    ChannelAttribute qmname = text("QMNAME", &Def::qmgrName, 48);
    qmname.verbs |= kVerbDelete;
    t.push_back(qmname);
    t.push_back(exitList("RCVDATA", ReceiveData, 32));
    t.push_back(exitList("RCVEXIT", ReceiveExits, 128));
    t.push_back(text("SCYDATA", &Def::securityUserData, 32));
    t.push_back(text("SCYEXIT", &Def::securityExit, 128));
    t.push_back(exitList("SENDDATA", SendData, 32));
    t.push_back(exitList("SENDEXIT", SendExits, 128));
    t.push_back(number(
        "SHARECNV", [](Def &d) { return &d.sharingConversations; }, 0, 999999999));
    t.push_back(text("SSLCIPH", &Def::sslCipherSpec, 32));
    t.push_back(text("SSLPEER", &Def::sslPeerName, 1024));
    t.push_back(text("TPNAME", &Def::tpName, 64));
    t.push_back(keyword(
        "TRPTYPE", [](Def &d) { return &d.transportType; }, kTransports));
    t.push_back(text("USERID", &Def::userIdentifier, 12));
    t.push_back(only("REPLACE", AttributeKind::Flag, kVerbDefine));
    t.push_back(only("NOREPLACE", AttributeKind::Flag, kVerbDefine));
    t.push_back(only("INDEX", AttributeKind::JsonNumber, kVerbDefine | kVerbAlter | kVerbDelete | kVerbDisplay));
    t.push_back(only("POSITION", AttributeKind::JsonNumber, kVerbDisplay | kVerbMove));
    t.push_back(only("NEWPOS", AttributeKind::JsonNumber, kVerbMove));
    return t;
  }();
  return table;
}

bool parseNumber(std::string_view text, int64_t &value) {
  text = scanTrim(text);
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 12) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (negative) value = -value;
  return true;
}

const KeywordValue *findKeyword(std::span<const KeywordValue> values, std::string_view word) {
  for (const KeywordValue &v : values)
    if (scanEqualsNoCase(v.keyword, word)) return &v;
  return nullptr;
}

std::vector<std::string> listItems(std::string_view raw) {
  std::vector<std::string> items;
  size_t cursor = 0;
  std::string_view item;
  while (nextListItem(raw, cursor, item)) items.push_back(mqscValue(item));
  return items;
}

}  // namespace

std::string formatAlteredAttribute(const char *keyword, int64_t seconds) {
  if (seconds <= 0) return strFormat("%s( )", keyword);
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  if (keyword[3] == 'D') return strFormat("%s(%04d-%02d-%02d)", keyword, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  return strFormat("%s(%02d.%02d.%02d)", keyword, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

namespace {

std::string bracketed(const char *keyword, std::string_view value) {
  if (value.empty()) return strFormat("%s( )", keyword);
  return strFormat("%s(%.*s)", keyword, static_cast<int>(value.size()), value.data());
}

}  // namespace

std::span<const ChannelAttribute> channelAttributes() { return rows(); }

const ChannelAttribute *findChannelAttribute(std::string_view keyword) {
  for (const ChannelAttribute &a : rows())
    if (scanEqualsNoCase(a.keyword, keyword)) return &a;
  return nullptr;
}

std::string mqscValue(std::string_view raw) {
  raw = scanTrim(raw);
  if (raw.size() >= 2 && raw.front() == '\'' && raw.back() == '\'') {
    std::string out;
    for (size_t i = 1; i + 1 < raw.size(); ++i) {
      out.push_back(raw[i]);
      if (raw[i] == '\'' && i + 2 < raw.size() && raw[i + 1] == '\'') ++i;
    }
    return out;
  }
  std::string out(raw);
  for (char &c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string_view keywordOfValue(std::span<const KeywordValue> values, int32_t value) {
  for (const KeywordValue &v : values)
    if (v.value == value) return v.keyword;
  return {};
}

bool applyChannelAttribute(const ChannelAttribute &attr, const Clause &clause, ChannelDefinition &def,
                           std::string &message) {
  const char *name = attr.keyword;
  switch (attr.kind) {
  case AttributeKind::Text:
  case AttributeKind::Secret: {
    std::string value = mqscValue(clause.value);
    if (static_cast<int>(value.size()) > attr.maxLength) {
      message = strFormat("AMQ8427: The maximum length of attribute '%s' is %d characters.", name, attr.maxLength);
      return false;
    }
    def.*attr.text = value;
    if (attr.text == &Def::connectionName) def.shortConnectionName = value.substr(0, 20);
    return true;
  }
  case AttributeKind::Number: {
    std::string value = mqscValue(clause.value);
    if (const KeywordValue *k = findKeyword(attr.values, value)) {
      *attr.number(def) = k->value;
      return true;
    }
    int64_t n = 0;
    if (!parseNumber(value, n)) {
      message = strFormat("AMQ8427: Invalid value for '%s'.", name);
      return false;
    }
    if (n < attr.low || n > attr.high) {
      message = strFormat("AMQ8427: The value of '%s' should be between %d and %d.", name, static_cast<int>(attr.low),
                          static_cast<int>(attr.high));
      return false;
    }
    *attr.number(def) = static_cast<int32_t>(n);
    return true;
  }
  case AttributeKind::Keyword:
  case AttributeKind::ChannelType: {
    std::string value = mqscValue(clause.value);
    const KeywordValue *k = findKeyword(attr.values, value);
    if (!k) {
      message = strFormat("AMQ8427: Unrecognised value '%s'.", value.c_str());
      return false;
    }
    if (attr.kind == AttributeKind::ChannelType) def.channelType = k->value;
    else *attr.number(def) = k->value;
    return true;
  }
  case AttributeKind::KeywordList: {
    std::string_view raw = scanTrim(clause.value);
    if (raw.empty()) {
      message = "AMQ8427: Unexpected end of command.";
      return false;
    }
    std::vector<std::string> items = listItems(raw);
    if (static_cast<int>(items.size()) > attr.count) {
      message = "AMQ8427: Too many values.";
      return false;
    }
    std::vector<int32_t> values;
    for (const std::string &item : items) {
      if (item.empty()) {
        message = "AMQ8427: Expected ',' list separator.";
        return false;
      }
      const KeywordValue *k = findKeyword(attr.values, item);
      if (!k) {
        message = strFormat("AMQ8427: Unrecognised list  value '%s'.", item.c_str());
        return false;
      }
      for (int32_t v : values)
        if (v == k->value) {
          message = strFormat("AMQ8411: Duplicate keyword error '%s'.", item.c_str());
          return false;
        }
      values.push_back(k->value);
    }
    int32_t *array = attr.number(def);
    for (int i = 0; i < attr.count; ++i) array[i] = i < static_cast<int>(values.size()) ? values[i] : -1;
    return true;
  }
  case AttributeKind::ExitList: {
    std::vector<std::string> items = listItems(clause.value);
    if (items.size() == 1 && items.front().empty()) items.clear();
    if (items.size() > 64) {
      message = "AMQ8427: Too many values.";
      return false;
    }
    for (const std::string &item : items) {
      if (static_cast<int>(item.size()) > attr.maxLength) {
        message = "AMQ8413: String Length Error.";
        return false;
      }
    }
    def.setExitList(attr.list, std::move(items));
    return true;
  }
  case AttributeKind::Altered:
    message = strFormat("AMQ8427: You can not set the value of attribute '%s'", name);
    return false;
  case AttributeKind::Flag:
  case AttributeKind::JsonNumber: return true;
  }
  return true;
}

std::string formatChannelAttribute(const ChannelAttribute &attr, const ChannelDefinition &def) {
  Def &d = const_cast<Def &>(def);  // the accessors only read here
  const char *name = attr.keyword;
  switch (attr.kind) {
  case AttributeKind::Text: return bracketed(name, def.*attr.text);
  case AttributeKind::Secret: return bracketed(name, (def.*attr.text).empty() ? "" : "*****");
  case AttributeKind::Number: {
    int32_t value = *attr.number(d);
    std::string_view word = keywordOfValue(attr.values, value);
    if (!word.empty()) return bracketed(name, word);
    return strFormat("%s(%d)", name, value);
  }
  case AttributeKind::Keyword: {
    int32_t value = *attr.number(d);
    std::string_view word = keywordOfValue(attr.values, value);
    return word.empty() ? strFormat("%s(%d)", name, value) : bracketed(name, word);
  }
  case AttributeKind::ChannelType: {
    std::string_view word = keywordOfValue(attr.values, def.channelType);
    return word.empty() ? strFormat("%s(%d)", name, def.channelType) : bracketed(name, word);
  }
  case AttributeKind::KeywordList: {
    const int32_t *array = attr.number(d);
    std::string items;
    for (int i = 0; i < attr.count; ++i) {
      if (array[i] < 0) continue;
      std::string_view word = keywordOfValue(attr.values, array[i]);
      if (!items.empty()) items += ",";
      items += word.empty() ? std::to_string(array[i]) : std::string(word);
    }
    return bracketed(name, items.empty() ? "NONE" : items);
  }
  case AttributeKind::ExitList: {
    std::string items;
    for (const std::string &item : def.exitLists[attr.list]) {
      std::string_view trimmed = trimTrailingBlanks(item);
      if (trimmed.empty() && def.exitLists[attr.list].size() == 1) continue;
      if (!items.empty()) items += ",";
      items += trimmed;
    }
    return bracketed(name, items);
  }
  case AttributeKind::Altered: return formatAlteredAttribute(name, def.alterTime);
  case AttributeKind::Flag:
  case AttributeKind::JsonNumber: return {};
  }
  return {};
}

}  // namespace kvarn::ccdtmode
