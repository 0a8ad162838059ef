#include "display/json_records.h"

#include <algorithm>
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

JsonObject listValue(std::string_view value) {
  JsonObject items = JsonObject::array();
  size_t cursor = 0;
  std::string_view item;
  while (nextListItem(value, cursor, item)) items.push_back(jsonText(item));
  return items;
}

// "a,b" of a numeric pair attribute (NETTIME(short,long)); null when it is not one.
JsonObject numberPair(std::string_view value) {
  size_t comma = value.find(',');
  int64_t first = 0, second = 0;
  if (comma == std::string_view::npos || !canonicalInteger(value.substr(0, comma), first) ||
      !canonicalInteger(value.substr(comma + 1), second))
    return nullptr;
  return JsonObject::array({first, second});
}

// A record's attributes in the order they came. An attribute seen twice keeps every
// value: its key then holds the list of them. Most records repeat nothing, so a key is
// first compared by its hash alone.
class AttributeMap {
 public:
  AttributeMap() : object_(JsonObject::object()) {
    object_.get_ref<JsonObject::object_t &>().reserve(64);
    hashes_.reserve(64);
  }

  void add(std::string_view key, JsonObject value) {
    size_t hash = std::hash<std::string_view>()(key);
    auto &members = object_.get_ref<JsonObject::object_t &>();
    if (std::find(hashes_.begin(), hashes_.end(), hash) != hashes_.end()) {
      auto it = object_.find(std::string(key));
      if (it != object_.end()) return repeat(key, *it, std::move(value));
    }
    hashes_.push_back(hash);
    members.emplace_back(std::string(key), std::move(value));  // new: no search of the members
  }

  JsonObject take() { return std::move(object_); }

 private:
  void repeat(std::string_view key, JsonObject &existing, JsonObject value) {
    if (std::find(repeated_.begin(), repeated_.end(), key) == repeated_.end()) {
      existing = JsonObject::array({std::move(existing)});
      repeated_.emplace_back(key);
    }
    existing.push_back(std::move(value));
  }

  JsonObject object_;
  std::vector<size_t> hashes_;
  std::vector<std::string> repeated_;
};

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

JsonObject JsonRecordWriter::attributeValue(const AttributeToken &token) const {
  std::string_view keyword = token.keyword, value = token.value;
  if (token.isBare) return jsonText(value);
  char type = typeOf(keyword);
  if (isListAttribute(keyword) || isListType(type)) return listValue(value);
  if (isTimeStampAttribute(keyword)) {
    std::tm utc{};
    if (!parseTimeStampValue(value, utc)) return jsonText(value);
    return strFormat("%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                     utc.tm_min, utc.tm_sec);
  }
  if (isNumberType(type)) {
    int64_t number = 0;
    if (canonicalInteger(value, number)) return number;
    if (type == 'I')
      if (JsonObject pair = numberPair(value); !pair.is_null()) return pair;
  }
  return jsonText(value);
}

std::string JsonRecordWriter::record(const ResponseRecord &record, bool severalQmgrs,
                                     const std::function<void(std::string_view)> &emitLine) const {
  JsonObject object = start(jsonkind::kRecord);
  // A record that starts with its attributes (TYPE(HANDLE) ..., QSTATS(...)) has no
  // header line: its first line is read as attributes.
  std::string_view id = scanMessageId(record.text);
  if (!id.empty()) object[jsonfield::kId] = std::string(id);
  AttributeTokenizer tokens(record, ListValueMode::One, severalQmgrs, id.empty());
  AttributeToken token;
  AttributeMap attributes;
  std::string objectKeyword;
  std::vector<std::string> wholeLines;
  while (tokens.next(token)) {
    if (token.isHeader) continue;
    if (token.isWholeLine) {
      wholeLines.emplace_back(token.text);
      continue;
    }
    if (token.keyword.empty()) continue;
    std::string_view key = token.isBare ? token.column : token.keyword;
    if (objectKeyword.empty() && !token.isPseudo) objectKeyword = std::string(key);
    if (modifiers_ && !token.isPseudo && modifiers_->hidden(token.keyword, token.column)) continue;
    attributes.add(key, attributeValue(token));
  }
  if (!objectKeyword.empty()) object[jsonfield::kObject] = jsonText(objectKeyword);
  object[jsonfield::kAttributes] = attributes.take();
  std::string line = jsonLine(object);
  for (const std::string &whole : wholeLines) {
    std::string message = this->message(whole, kStyleInfo);
    if (!message.empty()) emitLine(message);
  }
  return line;
}

std::string JsonRecordWriter::message(std::string_view text, uint32_t style) const {
  if (text.find_first_not_of(' ') == std::string_view::npos) return {};
  // The queue manager's words in a failed command are errors, except a z/OS queue
  // manager's report that its part completed normally.
  std::string_view id = scanMessageId(text);
  bool error = (style & kStyleError) || ((style & kStyleInfo) && record_.has(kMarkError) && id != "CSQ9022I");
  const char *kind = error ? jsonkind::kError : (style & kStyleNote) ? jsonkind::kNote : jsonkind::kInfo;
  JsonObject object = start(kind);
  if (!id.empty()) object[jsonfield::kId] = std::string(id);
  if (error && record_.compCode != 0) {
    object[jsonfield::kCompletion] = record_.compCode;
    object[jsonfield::kReason] = record_.reason;
  } else if (int32_t reason = reasonCodeIn(text)) {
    object[jsonfield::kReason] = reason;
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
