#include "display/json_records.h"

#include <algorithm>
#include <array>
#include <vector>

#include "context/context.h"
#include "context/output.h"
#include "display/modifiers.h"
#include "mqsc/clause_scanner.h"
#include "mqsc/vocab.h"
#include "runtime/scan.h"

namespace {

// An integer written the one way it reads back the same: an optional '-', no leading
// zero, at most 18 digits. Anything else stays text.
bool canonicalInteger(std::string_view text, int64_t &value) {
  std::string_view digits = text;
  bool negative = !digits.empty() && digits.front() == '-';
  if (negative) digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 18 || (digits.size() > 1 && digits.front() == '0')) return false;
  if (negative && digits == "0") return false;
  int64_t v = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = negative ? -v : v;
  return true;
}

bool isNumberType(char type) { return type == 'I' || type == 'i' || type == 'j'; }
bool isListType(char type) { return type == 'L' || type == 'l' || type == 'S'; }

}  // namespace

JsonRecordWriter::JsonRecordWriter(const ProgramContext &ctx, const CommandRecord &record,
                                   const ModifierState *modifiers)
    : record_(record), modifiers_(modifiers), qmgr_(jsonText(record.qmgr)),
      command_text_(jsonText(record.commandText)) {
  command_ = modifiers && modifiers->command ? modifiers->command : identifyCommand(record, record.commandText);
}

char JsonRecordWriter::typeOf(std::string_view keyword) const {
  if (!command_ || !command_->fields) return '\0';
  if (auto it = types_.find(keyword); it != types_.end()) return it->second;
  char type = fieldTypeOf(command_->fields, keyword);
  types_.emplace(std::string(keyword), type);
  return type;
}

JsonObject JsonRecordWriter::start(const char *kind) const {
  JsonObject object;
  object[jsonfield::kKind] = kind;
  if (!record_.qmgr.empty()) object[jsonfield::kQmgr] = qmgr_;
  object[jsonfield::kSequence] = record_.sequence;
  object[jsonfield::kCommand] = command_text_;
  return object;
}

void JsonRecordWriter::appendValue(std::string &out, const AttributeToken &token, size_t position) const {
  std::string_view keyword = token.keyword, value = token.value;
  if (token.isBare) return jsonAppendText(out, value);
  char type = typeAt(position, keyword);
  if (token.isList || isListType(type)) {
    out += '[';
    size_t cursor = 0;
    std::string_view item;
    bool first = true;
    while (nextListItem(value, cursor, item)) {
      if (!first) out += ',';
      first = false;
      jsonAppendText(out, item);
    }
    out += ']';
    return;
  }
  if (isTimeStampAttribute(keyword)) {
    std::tm utc{};
    if (!parseTimeStampValue(value, utc)) return jsonAppendText(out, value);
    out += strFormat("\"%04d-%02d-%02dT%02d:%02d:%02dZ\"", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                     utc.tm_hour, utc.tm_min, utc.tm_sec);
    return;
  }
  if (isNumberType(type)) {
    int64_t number = 0;
    if (canonicalInteger(value, number)) {
      out += std::to_string(number);
      return;
    }
    size_t comma = value.find(',');
    int64_t second = 0;
    if (type == 'I' && comma != std::string_view::npos && canonicalInteger(value.substr(0, comma), number) &&
        canonicalInteger(value.substr(comma + 1), second)) {
      // A numeric pair (NETTIME(short,long)).
      out += '[';
      out += std::to_string(number);
      out += ',';
      out += std::to_string(second);
      out += ']';
      return;
    }
  }
  jsonAppendText(out, value);
}

char JsonRecordWriter::typeAt(size_t position, std::string_view keyword) const {
  // The records of one display hold the same attributes in the same order: the type of
  // the attribute at this position is most likely the one found last time.
  if (position < typeByPosition_.size() && typeByPosition_[position].first == keyword)
    return typeByPosition_[position].second;
  char type = typeOf(keyword);
  if (position >= typeByPosition_.size()) typeByPosition_.resize(position + 1);
  typeByPosition_[position] = {std::string(keyword), type};
  return type;
}

namespace {
// A short key's hash, cheap to compute for the few letters of a keyword.
uint64_t keyHash(std::string_view key) {
  uint64_t h = 1469598103934665603ull;
  for (char c : key) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return h | 1;  // never 0, the empty slot
}
}  // namespace

bool JsonRecordWriter::writeAttributes(const ResponseRecord &record, bool severalQmgrs, bool headerAttributes,
                                       bool repeats, std::string &out, std::string_view &objectKeyword,
                                       std::string &objectStorage, std::vector<std::string> &wholeLines) const {
  out.assign(1, '{');
  objectKeyword = {};
  wholeLines.clear();
  AttributeTokenizer tokens(record, ListValueMode::One, severalQmgrs, headerAttributes);
  AttributeToken token;
  size_t used = 0, position = 0;
  std::array<uint64_t, 256> seen{};  // the keys written, by hash (open addressing)
  while (tokens.next(token)) {
    if (token.isHeader) continue;
    if (token.isWholeLine) {
      wholeLines.emplace_back(token.text);
      continue;
    }
    if (token.keyword.empty()) continue;
    std::string_view key = token.isBare ? token.column : token.keyword;
    if (objectKeyword.empty() && !token.isPseudo) objectKeyword = objectStorage.assign(key);
    size_t at = position++;
    if (modifiers_ && !token.isPseudo && modifiers_->hidden(token.keyword, token.column)) continue;
    uint64_t hash = keyHash(key);
    if (!repeats) {
      size_t slot = hash & (seen.size() - 1);
      while (seen[slot] != 0 && seen[slot] != hash) slot = (slot + 1) & (seen.size() - 1);
      if (seen[slot] == hash || position > seen.size() / 2) return false;  // a repeat, maybe: member by member
      seen[slot] = hash;
      if (out.size() > 1) out += ',';
      jsonAppendText(out, key);
      out += ':';
      appendValue(out, token, at);
      continue;
    }
    Member *same = nullptr;
    for (size_t i = 0; i < used && !same; ++i)
      if (members_[i].hash == hash && members_[i].key == key) same = &members_[i];
    if (same) {
      if (!same->repeated) same->value.insert(0, 1, '[');
      same->repeated = true;
      same->value += ',';
      appendValue(same->value, token, at);
      continue;
    }
    if (used == members_.size()) members_.emplace_back();
    Member &m = members_[used++];
    m.hash = hash;
    m.key.assign(key);
    m.value.clear();
    m.repeated = false;
    appendValue(m.value, token, at);
  }
  for (size_t i = 0; i < used; ++i) {
    if (i) out += ',';
    jsonAppendText(out, members_[i].key);
    out += ':';
    out += members_[i].value;
    if (members_[i].repeated) out += ']';
  }
  out += '}';
  return true;
}

std::string JsonRecordWriter::record(const ResponseRecord &record, bool severalQmgrs,
                                     const std::function<void(std::string_view)> &emitLine) const {
  // Written as it is read, without building the object: what jsonLine would make of
  // start(), the id, the object keyword and the attributes, in that order.
  std::string line;
  line.reserve(record.text.size() + record_.commandText.size() + 128);
  line += "{\"";
  line += jsonfield::kKind;
  line += "\":\"";
  line += jsonkind::kRecord;
  line += '"';
  auto member = [&line](const char *name) {
    line += ",\"";
    line += name;
    line += "\":";
  };
  // A fleet's record names the member that sent it.
  std::string_view qmgr = record_.fleet && !record.qmgr.empty() ? std::string_view(record.qmgr) : record_.qmgr;
  if (!qmgr.empty()) {
    member(jsonfield::kQmgr);
    jsonAppendText(line, qmgr);
  }
  member(jsonfield::kSequence);
  line += std::to_string(record_.sequence);
  member(jsonfield::kCommand);
  jsonAppendText(line, record_.commandText);
  // A record that starts with its attributes (TYPE(HANDLE) ..., QSTATS(...)) has no
  // header line: its first line is read as attributes.
  std::string_view id = scanMessageId(record.text);
  if (!id.empty()) {
    member(jsonfield::kId);
    jsonAppendText(line, id);
  }

  // The attributes in the order they came, written straight into their object. An
  // attribute seen twice keeps every value (its key then holds the list of them); the
  // rare record that repeats one is written again member by member.
  std::string_view objectKeyword;
  std::string objectStorage;
  std::vector<std::string> wholeLines;
  std::string &attributes = attributes_;
  if (!writeAttributes(record, severalQmgrs, id.empty(), false, attributes, objectKeyword, objectStorage, wholeLines))
    writeAttributes(record, severalQmgrs, id.empty(), true, attributes, objectKeyword, objectStorage, wholeLines);
  if (!objectKeyword.empty()) {
    member(jsonfield::kObject);
    jsonAppendText(line, objectKeyword);
  }
  member(jsonfield::kAttributes);
  line += attributes;
  line += '}';
  for (const std::string &whole : wholeLines) {
    std::string message = this->message(whole, kStyleInfo);
    if (!message.empty()) emitLine(message);
  }
  return line;
}

std::string JsonRecordWriter::message(std::string_view text, uint32_t style, std::string_view member,
                                      int32_t memberReason) const {
  if (text.find_first_not_of(' ') == std::string_view::npos) return {};
  // The queue manager's words in a failed command are errors, except a z/OS queue
  // manager's report that its part completed normally.
  std::string_view id = scanMessageId(text);
  bool error = (style & kStyleError) || ((style & kStyleInfo) && record_.has(kMarkError) && id != "CSQ9022I");
  const char *kind = error ? jsonkind::kError : (style & kStyleNote) ? jsonkind::kNote : jsonkind::kInfo;
  JsonObject object = start(kind);
  if (!member.empty()) object[jsonfield::kQmgr] = jsonText(member);
  if (!id.empty()) object[jsonfield::kId] = std::string(id);
  if (error && record_.compCode != 0) {
    object[jsonfield::kCompletion] = record_.compCode;
    object[jsonfield::kReason] = record_.reason;
  } else if (int32_t reason = reasonCodeIn(text)) {
    object[jsonfield::kReason] = reason;
  } else if (error && memberReason != 0) {
    object[jsonfield::kReason] = memberReason;
  }
  object[jsonfield::kText] = jsonText(text);
  return jsonLine(object);
}

std::string JsonRecordWriter::totals(const Totals &totals) const {
  JsonObject object = start(jsonkind::kTotals);
  object[jsonfield::kScope] = totals.total ? "Total" : "Subtotal";
  if (!totals.total && !totals.qsgQmgr.empty()) object[jsonfield::kQsgQmgr] = jsonText(totals.qsgQmgr);
  object[jsonfield::kReceived] = totals.received;
  object[jsonfield::kMatched] = totals.matched;
  if (totals.total) object[jsonfield::kShown] = totals.shown;
  object[jsonfield::kText] = jsonText(totals.text);
  return jsonLine(object);
}
