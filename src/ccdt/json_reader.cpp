// The lenient reader of the JSON channel table: it reports each problem with its
// line and goes on, keeping each channel as far as it could be read.
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <set>
#include <unordered_map>

#include "ccdt/file_io.h"
#include "ccdt/json_fields.h"
#include "ccdt/json_table.h"
#include "ccdt/status.h"
#include "text/text.h"

namespace kvarn::ccdt {

namespace {

using json::Member;
using json::MemberKind;

constexpr size_t kMaxTokenLength = 10000;
constexpr size_t kMaxPathLength = 58;
constexpr int kMaxNesting = 32;

struct Token {
  std::string text;
  bool quoted = false;
  bool end = false;  // end of the input
  int line = 1;

  bool is(char structural) const { return !quoted && !end && text.size() == 1 && text[0] == structural; }
  std::string shown() const { return end ? std::string("end of file") : text; }
};

class Lexer {
 public:
  explicit Lexer(std::string_view input) : in_(input) {}

  Token next() {
    if (peeked_) {
      Token t = std::move(*peeked_);
      peeked_.reset();
      return t;
    }
    return scan();
  }
  const Token &peek() {
    if (!peeked_) peeked_ = scan();
    return *peeked_;
  }
  int line() const { return line_; }
  int firstUnescapedLine() const { return firstUnescapedLine_; }

 private:
  Token scan() {
    while (pos_ < in_.size() && std::strchr(" \t\r\n", in_[pos_]) && in_[pos_] != '\0') {
      if (in_[pos_] == '\n') ++line_;
      ++pos_;
    }
    Token t;
    t.line = line_;
    if (pos_ >= in_.size()) {
      t.end = true;
      return t;
    }
    char c = in_[pos_];
    if (c != '\0' && std::strchr("{}[]:,", c)) {
      t.text.assign(1, c);
      ++pos_;
      return t;
    }
    if (c == '"') {
      t.quoted = true;
      ++pos_;
      while (pos_ < in_.size() && in_[pos_] != '"') {
        char ch = in_[pos_++];
        if (ch == '\n') ++line_;
        if (ch == '\\' && readEscape(t.text)) continue;
        if (ch == '\\') noteUnescaped();  // no escape: the backslash stays in the text
        append(t.text, ch);
      }
      if (pos_ < in_.size()) ++pos_;  // closing quote
      return t;
    }
    while (pos_ < in_.size() && (in_[pos_] == '\0' || !std::strchr("{}[] :,\t\r\n", in_[pos_]))) {
      append(t.text, in_[pos_]);
      ++pos_;
    }
    return t;
  }

  // Token text is cut at kMaxTokenLength bytes, decoded bytes counted.
  static void append(std::string &text, char byte) {
    if (text.size() < kMaxTokenLength) text.push_back(byte);
  }
  static void appendUtf8(std::string &text, uint32_t code) {
    auto put = [&](uint32_t byte) { append(text, static_cast<char>(byte)); };
    if (code < 0x80) {
      put(code);
    } else if (code < 0x800) {
      put(0xC0 | code >> 6);
      put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      put(0xE0 | code >> 12);
      put(0x80 | (code >> 6 & 0x3F));
      put(0x80 | (code & 0x3F));
    } else {
      put(0xF0 | code >> 18);
      put(0x80 | (code >> 12 & 0x3F));
      put(0x80 | (code >> 6 & 0x3F));
      put(0x80 | (code & 0x3F));
    }
  }
  void noteUnescaped() {
    if (firstUnescapedLine_ == 0) firstUnescapedLine_ = line_;
  }

  // The value of the four hex digits at `at`, or -1 when fewer are there; `digits`
  // gets how many hex digits were found (at most four).
  int32_t hexAt(size_t at, size_t &digits) const {
    int32_t value = 0;
    for (digits = 0; digits < 4 && at + digits < in_.size(); ++digits) {
      char c = in_[at + digits];
      int32_t d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
      if (d < 0) break;
      value = value * 16 + d;
    }
    return digits == 4 ? value : -1;
  }

  // Decodes the escape whose backslash was just read. Returns false, having read
  // nothing more, when the backslash starts no escape.
  bool readEscape(std::string &text) {
    if (pos_ >= in_.size()) return false;
    char c = in_[pos_];
    switch (c) {
    case '"':
    case '\\':
    case '/': append(text, c); break;
    case 'b': append(text, '\b'); break;
    case 'f': append(text, '\f'); break;
    case 'n': append(text, '\n'); break;
    case 'r': append(text, '\r'); break;
    case 't': append(text, '\t'); break;
    case 'u': return readUnicodeEscape(text);
    default: return false;
    }
    ++pos_;
    return true;
  }

  // \uXXXX, a surrogate pair as two of them. A form that is cut short or a surrogate
  // without its partner reads as U+FFFD and the file is reported; a "\u" without any
  // hex digit (a Windows path such as C:\users) is no escape at all.
  bool readUnicodeEscape(std::string &text) {
    constexpr uint32_t kReplacement = 0xFFFD;
    size_t digits = 0;
    int32_t unit = hexAt(pos_ + 1, digits);
    if (digits == 0) return false;
    pos_ += 1 + digits;
    uint32_t code = kReplacement;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      size_t lowDigits = 0;
      int32_t low =
          pos_ + 1 < in_.size() && in_[pos_] == '\\' && in_[pos_ + 1] == 'u' ? hexAt(pos_ + 2, lowDigits) : -1;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        code = 0x10000 + ((static_cast<uint32_t>(unit) - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00);
        pos_ += 6;
      } else {
        noteUnescaped();  // whatever follows the lone half is read on its own
      }
    } else if (unit < 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) {
      noteUnescaped();
    } else {
      code = static_cast<uint32_t>(unit);
    }
    appendUtf8(text, code);
    return true;
  }

  std::string_view in_;
  size_t pos_ = 0;
  int line_ = 1;
  int firstUnescapedLine_ = 0;
  std::optional<Token> peeked_;
};

bool parseNumber(std::string_view text, int32_t &value) {
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 9) return false;
  int32_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = negative ? -v : v;
  return true;
}

size_t encodedLength(const std::vector<std::string> &list) {
  size_t length = 1;
  for (const auto &entry : list) length += entry.size() + 1;
  return length;
}

// Reads the channel array of one file.
class Reader {
 public:
  Reader(std::string_view text, const std::string &path, int64_t fileTime, std::vector<std::string> &messages,
         std::vector<JsonChannel> &channels)
      : lexer_(text), path_(path), fileTime_(fileTime), messages_(messages), channels_(channels) {}

  void run();

 private:
  // Per channel object.
  struct ChannelState {
    ChannelDefinition def;
    bool typeSeen = false;
    bool alteredSeen = false;
    std::set<const Member *> seen;
  };
  // Per host/port object (connection entry or local address).
  struct AddressState {
    std::string host;
    std::string port;
    std::string low;
    std::string high;
    bool hasPort = false;
    bool hasRange = false;
  };
  // Per exit object.
  struct ExitState {
    ExitList names = SendExits;
    bool nameSeen = false;
    bool dataSeen = false;
  };

  void warnAt(int line, const char *format, const std::string &a = "", const std::string &b = "");
  bool expect(char structural);
  void readChannel(std::optional<Token> firstName);
  void readMembers(const std::string &path, int depth);
  void readMember(const std::string &path, const Token &name, int depth);
  void readValue(const Member &member, const std::string &name, int depth);
  void readObject(const Member &member, int depth);
  void storeScalar(const Member &member, const std::string &name, const Token &value);
  void storeText(const Member &member, const std::string &name, const Token &value, std::string &field);
  void skipValue();
  void finishChannel(int line);

  Lexer lexer_;
  const std::string &path_;
  int64_t fileTime_;
  std::vector<std::string> &messages_;
  std::vector<JsonChannel> &channels_;
  ChannelState channel_;
  std::optional<AddressState> address_;
  std::optional<ExitState> exit_;
  std::unordered_map<std::string, int> groupSizes_;
};

void Reader::warnAt(int line, const char *format, const std::string &a, const std::string &b) {
  // Every message of the reader names the line and the file first.
  messages_.push_back(strFormat(format, line, path_.c_str(), a.c_str(), b.c_str()));
}

bool Reader::expect(char structural) {
  const Token &t = lexer_.peek();
  if (t.is(structural)) {
    lexer_.next();
    return true;
  }
  warnAt(t.line, "At line %d of file '%s', '%s' found where '%s' expected", t.shown(), std::string(1, structural));
  return false;
}

void Reader::run() {
  Token first = lexer_.next();
  if (!first.is('{')) {
    messages_.push_back(strFormat("CCDT file '%s' does not appear to be a JSON file", path_.c_str()));
    return;
  }
  Token name = lexer_.next();
  if (name.end || !scanEqualsNoCase(name.text, "channel")) {
    messages_.push_back(strFormat("CCDT file '%s' does not appear to contain channel definitions", path_.c_str()));
    return;
  }
  expect(':');
  expect('[');
  for (;;) {
    Token t = lexer_.next();
    if (t.end) {
      warnAt(t.line, "At line %d of file '%s', '%s' found where '%s' expected", t.shown(), "]");
      break;
    }
    if (t.is(']')) break;
    if (t.is(',')) continue;
    if (t.is('{')) {
      readChannel(std::nullopt);
      continue;
    }
    warnAt(t.line, "At line %d of file '%s', '%s' found where channel definition expected", t.shown());
    if (t.is('}') || t.is(':') || t.is('[')) continue;
    readChannel(std::move(t));  // taken as the first member of a channel
  }
  if (lexer_.firstUnescapedLine() != 0)
    messages_.push_back(strFormat("Warning : File '%s' contains non-escaped field at line %d", path_.c_str(),
                                  lexer_.firstUnescapedLine()));
}

void Reader::readChannel(std::optional<Token> firstName) {
  channel_ = ChannelState{};
  if (firstName) readMember("", *firstName, 1);
  readMembers("", 1);
  finishChannel(lexer_.line());
}

void Reader::readMembers(const std::string &path, int depth) {
  for (;;) {
    const Token &peeked = lexer_.peek();
    if (peeked.end) {
      warnAt(peeked.line, "At line %d of file '%s', '%s' found where '%s' expected", peeked.shown(), "}");
      return;
    }
    if (peeked.is(']')) {  // a missing "}": leave the bracket to the array
      warnAt(peeked.line, "At line %d of file '%s', '%s' found where '%s' expected", peeked.shown(), "}");
      return;
    }
    Token t = lexer_.next();
    if (t.is('}')) return;
    if (t.is(',')) continue;
    if (t.is('{') || t.is('[') || t.is(':')) {
      warnAt(t.line, "At line %d of file '%s', '%s' found where '%s' expected", t.shown(), "field name");
      if (!t.is(':')) {
        // Skip the stray object or array as a whole.
        int open = 1;
        while (open > 0) {
          Token s = lexer_.next();
          if (s.end) return;
          if (s.is('{') || s.is('[')) ++open;
          if (s.is('}') || s.is(']')) --open;
        }
      }
      continue;
    }
    readMember(path, t, depth);
  }
}

void Reader::readMember(const std::string &path, const Token &name, int depth) {
  expect(':');
  std::string memberPath = path + "." + name.text;
  const Member *member = memberPath.size() <= kMaxPathLength ? json::findMember(memberPath) : nullptr;
  if (!member) member = json::findMemberByLastName(name.text);
  if (!member) {
    warnAt(name.line, "At line %d of file '%s', unrecognised field name '%s' found", name.text);
    skipValue();
    return;
  }
  readValue(*member, name.text, depth);
}

void Reader::skipValue() {
  const Token &peeked = lexer_.peek();
  if (peeked.end || peeked.is('}') || peeked.is(']') || peeked.is(',')) return;
  Token t = lexer_.next();
  if (!t.is('{') && !t.is('[')) return;
  int open = 1;
  while (open > 0) {
    Token s = lexer_.next();
    if (s.end) return;
    if (s.is('{') || s.is('[')) ++open;
    if (s.is('}') || s.is(']')) --open;
  }
}

void Reader::readValue(const Member &member, const std::string &name, int depth) {
  const Token &peeked = lexer_.peek();
  if (peeked.end || peeked.is('}') || peeked.is(']') || peeked.is(',') || peeked.is(':')) {
    warnAt(peeked.line, "At line %d of file '%s', '%s' found where '%s' expected", peeked.shown(), "value");
    return;
  }
  if (depth > kMaxNesting) {
    warnAt(peeked.line, "At line %d of file '%s', unrecognised value '%s' for field '%s'", peeked.shown(), name);
    skipValue();
    return;
  }
  if (peeked.is('[')) {
    lexer_.next();
    for (;;) {
      const Token &item = lexer_.peek();
      if (item.end || item.is('}')) {
        warnAt(item.line, "At line %d of file '%s', '%s' found where '%s' expected", item.shown(), "]");
        return;
      }
      if (item.is(']')) {
        lexer_.next();
        return;
      }
      if (item.is(',') || item.is(':')) {
        if (item.is(':'))
          warnAt(item.line, "At line %d of file '%s', '%s' found where '%s' expected", item.shown(), "value");
        lexer_.next();
        continue;
      }
      readValue(member, name, depth + 1);  // elements repeat at the same path
    }
  }
  if (peeked.is('{')) {
    switch (member.kind) {
    case MemberKind::Container:
    case MemberKind::ConnectionEntry:
    case MemberKind::LocalAddress:
    case MemberKind::ExitEntry:
      lexer_.next();
      readObject(member, depth + 1);
      return;
    default:
      warnAt(peeked.line, "At line %d of file '%s', unrecognised value '%s' for field '%s'", "{", name);
      skipValue();
      return;
    }
  }
  Token value = lexer_.next();
  storeScalar(member, name, value);
}

void Reader::readObject(const Member &member, int depth) {
  switch (member.kind) {
  case MemberKind::ConnectionEntry:
  case MemberKind::LocalAddress: address_ = AddressState{}; break;
  case MemberKind::ExitEntry: exit_ = ExitState{member.names}; break;
  default: break;
  }
  readMembers(member.path, depth);
  ChannelDefinition &def = channel_.def;
  int line = lexer_.line();
  if (member.kind == MemberKind::ConnectionEntry && address_) {
    std::string entry = address_->host;
    if (address_->hasPort) entry += "(" + address_->port + ")";
    if (entry.empty()) {  // an entry without host or port adds nothing
      address_.reset();
      return;
    }
    std::string joined = def.connectionName.empty() ? entry : def.connectionName + "," + entry;
    if (joined.size() > static_cast<size_t>(member.maxLength)) {
      warnAt(line, "At line %d of file '%s', value of field '%s' truncated", "connection");
      joined.resize(static_cast<size_t>(member.maxLength));
    }
    def.connectionName = joined;
    address_.reset();
  } else if (member.kind == MemberKind::LocalAddress && address_) {
    std::string text = address_->host;
    if (address_->hasRange) {
      if (address_->hasPort) warnAt(line, "At line %d of file '%s', 'port' ignored because port range specified");
      text += "(" + address_->low + (address_->high.empty() ? "" : "," + address_->high) + ")";
    } else if (address_->hasPort) {
      text += "(" + address_->port + ")";
    }
    if (text.size() > static_cast<size_t>(member.maxLength)) {
      warnAt(line, "At line %d of file '%s', value of field '%s' truncated", "localAddress");
      text.resize(static_cast<size_t>(member.maxLength));
    }
    def.localAddress = text;
    address_.reset();
  } else if (member.kind == MemberKind::ExitEntry && exit_) {
    // Names and data stay paired: a missing member is an empty entry.
    auto &names = def.exitLists[exit_->names];
    auto &data = def.exitLists[exit_->names + 1];
    if (!exit_->nameSeen) names.emplace_back();
    if (!exit_->dataSeen) data.emplace_back();
    def.setExitList(exit_->names, names);
    def.setExitList(static_cast<ExitList>(exit_->names + 1), data);
    exit_.reset();
  }
}

void Reader::storeText(const Member &member, const std::string &name, const Token &value, std::string &field) {
  if (!channel_.seen.insert(&member).second) {
    warnAt(value.line, "At line %d of file '%s', field '%s' duplicated", name);
    return;
  }
  field = value.text;
  if (field.size() > static_cast<size_t>(member.maxLength)) {
    warnAt(value.line, "At line %d of file '%s', value of field '%s' truncated", name);
    field.resize(static_cast<size_t>(member.maxLength));
  }
}

void Reader::storeScalar(const Member &member, const std::string &name, const Token &value) {
  ChannelDefinition &def = channel_.def;
  auto unrecognised = [&] {
    warnAt(value.line, "At line %d of file '%s', unrecognised value '%s' for field '%s'", value.text, name);
  };
  int32_t number = 0;
  switch (member.kind) {
  case MemberKind::Text: storeText(member, name, value, def.*member.text); return;
  case MemberKind::Number:
    if (!parseNumber(value.text, number)) return unrecognised();
    *member.numbers(def) = number;
    return;
  case MemberKind::Keyword: {
    bool found = false;
    for (const auto &keyword : member.keywords)
      if (scanEqualsNoCase(keyword.name, value.text)) {
        number = keyword.value;
        found = true;
      }
    if (!found && !(member.numbersAllowed && parseNumber(value.text, number))) return unrecognised();
    *member.numbers(def) = number;
    if (std::string_view(member.path) == ".type") channel_.typeSeen = true;
    return;
  }
  case MemberKind::KeywordList: {
    const json::Keyword *keyword = nullptr;
    for (const auto &k : member.keywords)
      if (scanEqualsNoCase(k.name, value.text)) keyword = &k;
    // A value without a keyword is written as its number, and read back as one (-1
    // marks an unused place in the list, so it is no value).
    if (keyword) number = keyword->value;
    else if (!member.numbersAllowed || !parseNumber(value.text, number) || number == -1) return unrecognised();
    int32_t *list = member.numbers(def);
    for (int i = 0; i < member.count; ++i)
      if (list[i] == number) {
        warnAt(value.line, "At line %d of file '%s', repeated value '%s' for field '%s'", value.text, name);
        return;
      }
    for (int i = 0; i < member.count; ++i)
      if (list[i] == -1) {
        list[i] = number;
        return;
      }
    warnAt(value.line, "At line %d of file '%s', too many values for field '%s'", name);
    return;
  }
  case MemberKind::Host:
    if (address_) address_->host = value.text;
    return;
  case MemberKind::Port:
  case MemberKind::PortLow:
  case MemberKind::PortHigh: {
    if (!parseNumber(value.text, number)) return unrecognised();
    if (!address_) return;
    std::string digits = std::to_string(number);
    if (member.kind == MemberKind::Port) {
      address_->port = digits;
      address_->hasPort = true;
    } else if (member.kind == MemberKind::PortLow) {
      address_->low = digits;
      address_->hasRange = true;
    } else {
      address_->high = digits;
      address_->hasRange = true;
    }
    return;
  }
  case MemberKind::ExitName:
  case MemberKind::ExitData: {
    if (!exit_) return unrecognised();
    bool isName = member.kind == MemberKind::ExitName;
    bool &seen = isName ? exit_->nameSeen : exit_->dataSeen;
    if (seen) {
      warnAt(value.line, "At line %d of file '%s', field '%s' is repeated", name);
      return;
    }
    auto which = static_cast<ExitList>(exit_->names + (isName ? 0 : 1));
    auto &list = def.exitLists[which];
    if (encodedLength(list) + value.text.size() + 1 > json::kMaxExitListText ||
        value.text.find('\x01') != std::string::npos || value.text.find('\x02') != std::string::npos) {
      warnAt(value.line, "At line %d of file '%s', no space for field '%s'", name);
      return;
    }
    seen = true;
    list.push_back(value.text);
    return;
  }
  case MemberKind::Altered: {
    if (channel_.alteredSeen) {
      warnAt(value.line, "At line %d of file '%s', field '%s' duplicated", name);
      return;
    }
    channel_.alteredSeen = true;
    int64_t seconds = 0;
    if (!parseAlteredTime(value.text, seconds)) {
      warnAt(value.line, "At line %d of file '%s', format of field '%s' incorrect", name);
      channel_.alteredSeen = false;
      return;
    }
    if (seconds < kMinAlteredTime) {
      warnAt(value.line, "At line %d of file '%s', value of field '%s' incorrect", name);
      channel_.alteredSeen = false;
      return;
    }
    def.alterTime = seconds;
    return;
  }
  case MemberKind::Container:
  case MemberKind::ConnectionEntry:
  case MemberKind::LocalAddress:
  case MemberKind::ExitEntry: return unrecognised();
  }
}

void Reader::finishChannel(int line) {
  ChannelDefinition &def = channel_.def;
  if (trimTrailingBlanks(def.channelName).empty())
    messages_.push_back(strFormat(
        "The channel definition ending at line %d of file '%s' has not specified a channel name", line, path_.c_str()));
  if (!channel_.typeSeen) {
    messages_.push_back(strFormat(
        "The channel definition ending at line %d of file '%s' has not specified a channel type", line, path_.c_str()));
    def.channelType = kChannelTypeClientConnection;
  }
  if (trimTrailingBlanks(def.connectionName).empty())
    messages_.push_back(
        strFormat("The channel definition ending at line %d of file '%s' has not specified a connection name", line,
                  path_.c_str()));
  if (!channel_.alteredSeen) def.alterTime = fileTime_;
  int index = ++groupSizes_[def.channelName];
  channels_.push_back(JsonChannel{std::move(def), index});
}

int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

bool parseAlteredTime(std::string_view text, int64_t &seconds) {
  size_t pos = 0;
  auto digits = [&](size_t count, int &value) {
    if (text.size() - pos < count) return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
      char c = text[pos + i];
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
  };
  auto literal = [&](char c) {
    if (pos < text.size() && text[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  };
  int year, month, day, hour, minute, second, millis;
  if (!digits(4, year) || !literal('-') || !digits(2, month) || !literal('-') || !digits(2, day) || !literal('T') ||
      !digits(2, hour) || !literal(':') || !digits(2, minute) || !literal(':') || !digits(2, second) || !literal('.') ||
      !digits(3, millis))
    return false;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return false;
  int64_t offset = 0;
  if (pos < text.size()) {
    if (literal('Z')) {
    } else if (text[pos] == '+' || text[pos] == '-') {
      int sign = text[pos] == '-' ? -1 : 1;
      ++pos;
      int hh, mm;
      if (!digits(2, hh)) return false;
      literal(':');
      if (!digits(2, mm) || hh > 23 || mm > 59) return false;
      offset = sign * (hh * 3600 + mm * 60);
    } else {
      return false;
    }
    if (pos != text.size()) return false;
  }
  seconds = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 +
            minute * 60 + second - offset;
  return true;
}

int JsonTable::readText(std::string_view text, const std::string &path, int64_t fileTime,
                        std::vector<std::string> &messages) {
  path_ = path;
  channels_.clear();
  changed_ = false;
  backupTaken_ = false;
  try {
    Reader(text, path_, fileTime, messages, channels_).run();
    renumber();
  } catch (const std::bad_alloc &) {
    messages.push_back("No storage to read file");
    return kErrStorage;
  }
  if (channels_.empty()) messages.push_back(strFormat("CCDT file '%s', No files found", path_.c_str()));
  else
    messages.push_back(
        strFormat("CCDT file '%s', %d channels read", path_.c_str(), static_cast<int>(channels_.size())));
  return kOk;
}

int JsonTable::read(const std::string &path, bool reportMissing, std::vector<std::string> &messages) {
  std::string text;
  int rc = readWholeFile(path, text);
  if (rc == kStoreNoFile) {
    path_ = path;
    channels_.clear();
    groupSizes_.clear();
    changed_ = false;
    backupTaken_ = false;
    if (reportMissing) messages.push_back(strFormat("Commands directed to file '%s' (Does not exist)", path.c_str()));
    return kOk;
  }
  if (rc != 0) {
    std::string message;
    int code = reportStorageError(rc, path, "", message);
    messages.push_back(message);
    return code;
  }
  return readText(text, path, fileModifiedTime(path), messages);
}

}  // namespace kvarn::ccdt
