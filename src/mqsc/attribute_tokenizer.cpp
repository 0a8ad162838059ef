#include "mqsc/attribute_tokenizer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unordered_set>

#include "context/output.h"
#include "mqsc/clause_scanner.h"
#include "text/text.h"

namespace {

// Object-details messages of distributed queue managers: each starts a record.
constexpr const char *kAmqHeaders[] = {
    "AMQ8409", "AMQ8414", "AMQ8566", "AMQ8441", "AMQ8550", "AMQ8417", "AMQ8408", "AMQ8450", "AMQ8276",
    "AMQ8629", "AMQ8632", "AMQ8630", "AMQ8631", "AMQ8705", "AMQ8096", "AMQ8099", "AMQ8633", "AMQ8754",
    "AMQ8723", "AMQ8407", "AMQ8861", "AMQ8864", "AMQ8865", "AMQ8932", "AMQ8878", "AMQ9086",
};
// z/OS details messages (CSQM4nnI).
constexpr int kCsqmHeaders[] = {400, 401, 402, 403, 406, 407, 408, 409, 410, 411, 412, 413, 415,
                                416, 417, 418, 420, 421, 422, 423, 425, 427, 428, 430, 431, 437,
                                438, 439, 440, 441, 442, 443, 444, 445, 446, 451, 453, 454};

// Looked up for every token of every record: the names are views, so a lookup costs no
// more than comparing the few of the same length.
struct AttributePair {
  std::string_view keyword;
  bool isList;
  std::string_view column;
};
constexpr AttributePair kAttributePairs[] = {
    {"SHARE", false, "SHARE"},       {"NOSHARE", false, "SHARE"},     {"TRIGGER", false, "TRIGGER"},
    {"NOTRIGGER", false, "TRIGGER"}, {"HARDENBO", false, "HARDENBO"}, {"NOHARDENBO", false, "HARDENBO"},
    {"ENFORCE", false, "ENFORCE"},   {"TOLERATE", false, "ENFORCE"},  {"SYNCPT", false, "SYNCPT"},
    {"CURRENT", false, "CURRENT"},   {"SAVED", false, "SAVED"},       {"NAMES", true, "NAMES"},
    {"MSGEXIT", true, "MSGEXIT"},    {"MSGDATA", true, "MSGDATA"},    {"RCVEXIT", true, "RCVEXIT"},
    {"RCVDATA", true, "RCVDATA"},    {"SENDEXIT", true, "SENDEXIT"},  {"SENDDATA", true, "SENDDATA"},
    {"TPIPE", true, "TPIPE"},
};

const AttributePair *findPair(std::string_view keyword) {
  // The rows by the length of their keyword: most keywords have none to compare.
  struct ByLength {
    std::array<std::vector<const AttributePair *>, 12> rows;
    ByLength() {
      for (const auto &p : kAttributePairs) rows[p.keyword.size()].push_back(&p);
    }
  };
  static const ByLength table;
  if (keyword.empty() || keyword.size() >= table.rows.size()) return nullptr;
  for (const AttributePair *p : table.rows[keyword.size()])
    if (p->keyword[0] == keyword[0] && keyword == p->keyword) return p;
  return nullptr;
}

constexpr const char *kWholeLines[] = {"CSQM134I", "CSQM123I", "CSQM138I", "CSQM094I"};

constexpr std::string_view kTimeStamps[] = {"EVTIME",  "CONNTI",   "DISCTI",   "RESETTI",  "STARTTI",
                                            "ALERTTI", "EXPIRETI", "INTVLEND", "INTVLSTA", "LSTMSGTI"};

// Every keyword of the vocabulary's field tables: the attributes a reply of an unknown
// command may hold.
bool isVocabularyKeyword(std::string_view word) {
  static const std::unordered_set<std::string_view> keywords = [] {
    std::unordered_set<std::string_view> all;
    for (const CommandDef *c = CommandTable(); c && c->verb; ++c)
      for (const FieldDef *f = c->fields; f && f->keyword; ++f)
        if (f->keyword[0] != '~') all.insert(f->keyword);
    return all;
  }();
  return keywords.count(word) > 0;
}

// An attribute the reply can hold (written as IBM MQ writes keywords, in capitals).
bool isReplyKeyword(std::string_view word, const FieldDef *fields) {
  if (findPair(word)) return true;
  if (!fields) return isVocabularyKeyword(word);
  const FieldDef *f = findFieldInTable(fields, word, kFieldExactLength);
  return f && std::string_view(f->keyword) == word;
}

// A known attribute begins at `at`: a keyword of the reply followed by '(', or standing
// alone.
bool knownAttributeAt(std::string_view text, size_t at, const FieldDef *fields) {
  size_t end = at;
  while (end < text.size() && !isScanSpace(text[end]) && text[end] != '(' && text[end] != ')') ++end;
  if (end == at || (end < text.size() && text[end] == ')')) return false;
  return isReplyKeyword(text.substr(at, end - at), fields);
}

// The ')' at `close` can end a value: blanks follow it, then the end of the record or a
// known attribute.
bool endsBeforeAttribute(std::string_view text, size_t close, const FieldDef *fields) {
  size_t at = close + 1;
  if (at == text.size()) return true;
  if (!isScanSpace(text[at])) return false;
  while (at < text.size() && isScanSpace(text[at])) ++at;
  return at == text.size() || knownAttributeAt(text, at, fields);
}

// After the ')' at `close` that the matching bracket would end a value with, a ')' that
// no '(' opened stands before the next KEYWORD( begins: the value ended too early.
bool strayCloseFollows(std::string_view text, size_t close) {
  size_t at = close + 1;
  if (at < text.size() && !isScanSpace(text[at])) return true;  // "a)b)"
  for (; at < text.size(); ++at) {
    if (text[at] == '(') return false;  // an attribute begins
    if (text[at] == ')') return true;
  }
  return false;
}

}  // namespace

namespace {
// The usual value, found with two searches: no '(' inside it, and after its ')' a blank
// and then the next attribute's '(' before any other ')'.
size_t plainValueEnd(std::string_view text, size_t open) {
  size_t n = text.size(), close = open + 1;
  while (close < n && text[close] != ')' && text[close] != '(') ++close;
  if (close == n || text[close] == '(') return std::string_view::npos;
  size_t at = close + 1;
  if (at == n) return close;
  if (!isScanSpace(text[at])) return std::string_view::npos;
  while (at < n && text[at] != '(' && text[at] != ')') ++at;
  return at < n && text[at] == ')' ? std::string_view::npos : close;
}
}  // namespace

size_t attributeValueEnd(std::string_view text, size_t open, const FieldDef *fields) {
  if (size_t plain = plainValueEnd(text, open); plain != std::string_view::npos) return plain;
  int depth = 0;
  size_t match = std::string_view::npos;
  bool innerEnd = false;  // a ')' inside the value is followed by a blank
  for (size_t i = open; i < text.size(); ++i) {
    if (text[i] == '(') {
      ++depth;
    } else if (text[i] == ')') {
      if (--depth == 0) {
        match = i;
        break;
      }
      if (i + 1 == text.size() || isScanSpace(text[i + 1])) innerEnd = true;
    }
  }
  bool lone = match != std::string_view::npos && strayCloseFollows(text, match);
  if (match != std::string_view::npos && !lone && !innerEnd) return match;  // the usual case
  // Only a value the matching bracket would cut wrongly may end elsewhere: when it runs
  // through an attribute (or never closes), or ends before a lone ')'. The lone ')' may
  // take the value on to the end of the word it stands in, no further, so that text the
  // search passes over is always consumed and a record is read in linear time.
  size_t limit = text.size();
  if (lone) {
    limit = match + 1;
    while (limit < text.size() && !(text[limit] == ')' && (limit + 1 == text.size() || isScanSpace(text[limit + 1]))))
      ++limit;
    limit = std::min(limit + 1, text.size());
  } else if (match != std::string_view::npos) {
    limit = match + 1;
  }
  for (size_t i = open + 1; i < limit; ++i)
    if (text[i] == ')' && endsBeforeAttribute(text, i, fields)) return i;
  return match == std::string_view::npos ? text.size() : match;
}

namespace {

// Where a record's header line lies, and where its attributes begin. The header is the
// first line; a z/OS record comes as one line, whose header is its message number and
// the word after it (the command prefix or queue manager).
struct HeaderPlace {
  size_t start = 0, end = 0, attributesFrom = 0;
};
HeaderPlace placeHeader(std::string_view text) {
  HeaderPlace h;
  if (text.starts_with("CSQM") && text.find('\n') == std::string_view::npos) {
    size_t first = text.find(' ');
    size_t second = first == std::string_view::npos ? first : text.find(' ', text.find_first_not_of(' ', first));
    if (second != std::string_view::npos) {
      h.end = h.attributesFrom = second;
      return h;
    }
  }
  while (h.start < text.size() && isScanSpace(text[h.start])) ++h.start;
  size_t end = text.find('\n', h.start);
  if (end == std::string_view::npos) end = text.size();
  h.attributesFrom = end;
  while (end > h.start && text[end - 1] == '\r') --end;
  h.end = end;
  return h;
}

uint32_t at32(size_t n) { return static_cast<uint32_t>(n); }

// Reads the word or KEYWORD(value) at `pos` (not a blank, not '[') into `out`; returns
// where the walk goes on.
size_t readAttribute(std::string_view text, size_t pos, const FieldDef *fields, RecordAttribute &out) {
  size_t start = pos;
  while (pos < text.size() && !isScanSpace(text[pos]) && text[pos] != '(') ++pos;
  out.start = at32(start);
  out.keywordLength = at32(pos - start);
  if (findPair(text.substr(start, pos - start))) out.flags |= RecordAttribute::kPaired;
  if (pos >= text.size() || text[pos] != '(') {
    out.kind = RecordAttribute::Bare;
    return pos;
  }
  size_t close = attributeValueEnd(text, pos, fields);
  out.kind = RecordAttribute::Valued;
  out.valueLength = at32(close - pos - 1);
  std::string_view value = text.substr(pos + 1, out.valueLength);
  bool plain = close < text.size() && !value.empty() && value.front() != ' ' && value.back() != ' ';
  for (size_t i = 0; plain && i < value.size(); ++i) plain = value[i] != '\n' && value[i] != '\r';
  if (plain) out.flags |= RecordAttribute::kPlain;
  return close < text.size() ? close + 1 : text.size();
}

size_t skipAnnotation(std::string_view text, size_t pos) {
  size_t close = text.find(']', pos);
  return close == std::string_view::npos ? text.size() : close + 1;
}

}  // namespace

void parseResponseRecord(ResponseRecord &record, const FieldDef *fields) {
  std::string_view text = record.text;
  record.attributes.clear();
  record.attributes.reserve(text.size() / 24 + 4);
  HeaderPlace h = placeHeader(text);
  record.headerStart = at32(h.start);
  record.headerEnd = at32(h.end);
  // 1. The header line's words: a record may begin with its attributes (TYPE(HANDLE) ...,
  //    QSTATS(...)), and these are read from it too.
  size_t pos = 0;
  while (pos < h.end) {
    char c = text[pos];
    if (isScanSpace(c)) {
      ++pos;
    } else if (c == '[') {
      pos = skipAnnotation(text, pos);
    } else {
      RecordAttribute a;
      a.flags = RecordAttribute::kInHeader;
      pos = readAttribute(text, pos, fields, a);
      record.attributes.push_back(a);
    }
  }
  // 2. The attributes: blanks and line ends separate them, bracketed annotations are
  //    passed over, and a message line the record carries is taken whole.
  pos = std::max(pos, h.attributesFrom);
  while (pos < text.size()) {
    char c = text[pos];
    if (isScanSpace(c)) {
      ++pos;
      continue;
    }
    if (c == '[') {
      pos = skipAnnotation(text, pos);
      continue;
    }
    if (pos > 0 && text[pos - 1] == '\n' && c == 'C') {
      bool whole = false;
      for (const char *id : kWholeLines) whole = whole || text.substr(pos).starts_with(id);
      if (whole) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = scanTrim(text.substr(pos, end - pos));
        RecordAttribute a;
        a.kind = RecordAttribute::WholeLine;
        a.start = at32(line.data() - text.data());
        a.keywordLength = a.valueLength = at32(line.size());
        record.attributes.push_back(a);
        pos = end;
        continue;
      }
    }
    RecordAttribute a;
    pos = readAttribute(text, pos, fields, a);
    record.attributes.push_back(a);
  }
  record.parsed = true;
}

ResponseRecord parsedRecord(std::string text, std::string qmgr, const FieldDef *fields) {
  ResponseRecord record(std::move(text), std::move(qmgr));
  parseResponseRecord(record, fields);
  return record;
}

bool findRecordAttribute(std::string_view record, std::string_view keyword, const FieldDef *fields, bool bare,
                         std::string_view &value) {
  ResponseRecord parsed = parsedRecord(std::string(record), {}, fields);
  std::string_view found;
  if (!parsed.find(keyword, bare, found)) return false;
  value = record.substr(static_cast<size_t>(found.data() - parsed.text.data()), found.size());
  return true;
}

bool isRecordHeader(std::string_view line, uint32_t diagnosticFlags) {
  if (line.starts_with("TYPE(HANDLE") || line.starts_with("QSTATS(")) return true;
  if (line.starts_with("AMQ") && line.size() >= 8) {
    for (const char *h : kAmqHeaders) {
      if (!line.starts_with(h)) continue;
      if ((diagnosticFlags & 256) && std::strcmp(h, "AMQ8407") == 0) return false;
      char c = line[7];
      if (c == ':') return true;
      return std::isalpha(static_cast<unsigned char>(c)) && line.size() >= 9 && line[8] == ':';
    }
    return false;
  }
  if (line.starts_with("CSQM") && line.size() >= 8 && line[7] == 'I') {
    int number = 0;
    for (int i = 4; i < 7; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(line[i]))) return false;
      number = number * 10 + (line[i] - '0');
    }
    if ((diagnosticFlags & 256) && number == 408) return false;
    for (int h : kCsqmHeaders)
      if (h == number) return true;
  }
  return false;
}

std::string_view attributeColumn(std::string_view keyword) {
  const AttributePair *p = findPair(keyword);
  return p ? p->column : keyword;
}

bool isListAttribute(std::string_view keyword) {
  const AttributePair *p = findPair(keyword);
  return p && p->isList;
}

AttributeTokenizer::AttributeTokenizer(const ResponseRecord &record, ListValueMode mode, bool severalQmgrs,
                                       bool headerAttributes)
    : record_(&record), mode_(mode), several_(severalQmgrs), headerAttributes_(headerAttributes) {}

AttributeTokenizer::AttributeTokenizer(std::string_view record, ListValueMode mode, bool severalQmgrs,
                                       std::string_view qmgr, const FieldDef *fields)
    : owned_(parsedRecord(std::string(record), std::string(qmgr), fields)), record_(&owned_), mode_(mode),
      several_(severalQmgrs) {}

namespace {
// Empties a token, keeping its storage for the next.
void resetToken(AttributeToken &token) {
  token.text = token.keyword = token.value = token.column = {};
  token.isHeader = token.isBare = token.isWholeLine = token.isPseudo = token.hidden = token.isList = false;
}

// Points the token at `text` (the record's, or its storage) and its views into it.
void placeToken(AttributeToken &token, std::string_view text, size_t keywordLength, size_t valueStart,
                size_t valueLength, bool paired) {
  token.text = text;
  token.keyword = text.substr(0, keywordLength);
  token.value = text.substr(valueStart, valueLength);
  const AttributePair *pair = paired ? findPair(token.keyword) : nullptr;
  token.column = pair ? pair->column : token.keyword;
  token.isList = pair && pair->isList;
}

bool isValueBlank(char c) { return c == ' ' || c == '\n' || c == '\r'; }
}  // namespace

bool AttributeTokenizer::nextListItem(AttributeToken &token) {
  size_t n = listItems_.size();
  resetToken(token);
  std::string &text = token.storage;
  text.clear();
  size_t valueStart = 0;
  if (listIndex_ == 0) {
    text.assign(listKeyword_);
    text += '(';
    valueStart = text.size();
  }
  const std::string &item = listItems_[listIndex_];
  text += item;
  if (listIndex_ + 1 == n) text += ')';
  size_t keywordLength = listIndex_ == 0 ? listKeyword_.size() : 0;
  placeToken(token, text, keywordLength, valueStart, item.size(), true);
  if (listIndex_ != 0) {
    // Later items belong to the same column as the first.
    const AttributePair *pair = findPair(listKeyword_);
    token.column = pair ? pair->column : std::string_view();
  }
  ++listIndex_;
  if (listIndex_ == n) listItems_.clear();
  return true;
}

bool AttributeTokenizer::next(AttributeToken &token) {
  const ResponseRecord &record = *record_;
  if (stage_ == 0) {
    stage_ = 1;
    resetToken(token);
    token.text = record.header();
    token.isHeader = true;
    return true;
  }
  if (stage_ == 1) {
    stage_ = 2;
    if (several_) {
      resetToken(token);
      token.storage = strFormat("QSGQM(%.*s)", static_cast<int>(record.qmgr.size()), record.qmgr.data());
      placeToken(token, token.storage, 5, 6, record.qmgr.size(), false);
      token.isPseudo = true;
      return true;
    }
  }
  if (listIndex_ < listItems_.size()) return nextListItem(token);

  while (index_ < record.attributes.size()) {
    const RecordAttribute &a = record.attributes[index_++];
    if (a.inHeader() && !headerAttributes_) continue;
    bool paired = (a.flags & RecordAttribute::kPaired) != 0;
    std::string_view keyword = record.keywordOf(a);
    resetToken(token);
    if (a.kind == RecordAttribute::WholeLine) {
      std::string_view line = record.valueOf(a);
      placeToken(token, line, line.size(), 0, line.size(), false);
      token.isWholeLine = true;
      return true;
    }
    if (a.kind == RecordAttribute::Bare) {
      placeToken(token, keyword, keyword.size(), 0, keyword.size(), paired);
      token.isBare = true;
      return true;
    }
    bool list = paired && isListAttribute(keyword);
    if ((a.flags & RecordAttribute::kPlain) && !list) {
      // KEYWORD(value) shown exactly as it stands in the record.
      std::string_view whole = std::string_view(record.text).substr(a.start, a.keywordLength + a.valueLength + 2);
      placeToken(token, whole, keyword.size(), keyword.size() + 1, a.valueLength, paired);
      return true;
    }
    // KEYWORD(value): line ends inside the value read as blanks, blanks at its ends go.
    std::string_view raw = record.valueOf(a);
    size_t b = 0, e = raw.size();
    while (b < e && isValueBlank(raw[b])) ++b;
    while (e > b && isValueBlank(raw[e - 1])) --e;
    std::string_view trimmed = raw.substr(b, e - b);
    std::string &text = token.storage;

    if (list) {
      std::string value(trimmed);
      for (char &ch : value)
        if (ch == '\n' || ch == '\r') ch = ' ';
      std::vector<std::string> items;
      size_t cursor = 0;
      std::string_view item;
      while (::nextListItem(value, cursor, item)) items.emplace_back(item);
      if (mode_ == ListValueMode::PerItem && items.size() > 1) {
        listKeyword_ = std::string(keyword);
        listItems_ = std::move(items);
        listIndex_ = 0;
        return nextListItem(token);
      }
      // One token: blanks before each comma removed.
      text.assign(keyword);
      text += '(';
      for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == ' ') {
          size_t j = i;
          while (j < value.size() && value[j] == ' ') ++j;
          if (j < value.size() && value[j] == ',') {
            i = j - 1;
            continue;
          }
        }
        text.push_back(value[i]);
      }
      text += ')';
      placeToken(token, text, keyword.size(), keyword.size() + 1, text.size() - keyword.size() - 2, paired);
      return true;
    }
    // A blank value is shown as IBM shows it, "( )"; its value is still empty.
    text.assign(keyword);
    if (trimmed.empty()) {
      text += "( )";
    } else {
      text += '(';
      size_t from = text.size();
      text += trimmed;
      for (size_t i = from; i < text.size(); ++i)
        if (text[i] == '\n' || text[i] == '\r') text[i] = ' ';
      text += ')';
    }
    placeToken(token, text, keyword.size(), keyword.size() + 1, trimmed.size(), paired);
    return true;
  }
  return false;
}

bool isTimeStampAttribute(std::string_view keyword) {
  for (std::string_view k : kTimeStamps)
    if (k.size() == keyword.size() && k[0] == keyword[0] && keyword == k) return true;
  return false;
}

bool parseTimeStampValue(std::string_view value, std::tm &utc) {
  value = scanTrim(value);
  // YYYY-MM-DD HH:MM:SS, accepting '.' as the time separator as MQSC writes times.
  if (value.size() != 19) return false;
  int f[6];
  const int starts[6] = {0, 5, 8, 11, 14, 17}, widths[6] = {4, 2, 2, 2, 2, 2};
  for (int i = 0; i < 6; ++i) {
    f[i] = 0;
    for (int k = 0; k < widths[i]; ++k) {
      char c = value[starts[i] + k];
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
      f[i] = f[i] * 10 + (c - '0');
    }
  }
  if (value[4] != '-' || value[7] != '-' || value[10] != ' ' || (value[13] != ':' && value[13] != '.') ||
      (value[16] != ':' && value[16] != '.'))
    return false;
  if (f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 || f[3] > 23 || f[4] > 59 || f[5] > 60 || f[0] < 1970)
    return false;
  utc = std::tm{};
  utc.tm_year = f[0] - 1900;
  utc.tm_mon = f[1] - 1;
  utc.tm_mday = f[2];
  utc.tm_hour = f[3];
  utc.tm_min = f[4];
  utc.tm_sec = f[5];
  return true;
}

std::string localTimeStamp(std::string_view token) {
  size_t open = token.find('(');
  if (open == std::string_view::npos || !isTimeStampAttribute(token.substr(0, open))) return std::string(token);
  std::string_view head = token.substr(0, open + 1);
  std::string_view value = token.substr(open + 1);
  if (!value.empty() && value.back() == ')') value.remove_suffix(1);
  auto failed = [&] { return strFormat("%.*s?)", static_cast<int>(head.size()), head.data()); };
  std::tm utc{};
  if (!parseTimeStampValue(value, utc)) return failed();
  std::time_t t = timegm(&utc);
  std::tm local{};
  if (t == static_cast<std::time_t>(-1) || !localtime_r(&t, &local)) return failed();
  return strFormat("%.*s%4.4d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d (Local))", static_cast<int>(head.size()), head.data(),
                   local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}

std::vector<std::string> uncheckedAttributes(const ResponseRecord &record, const CommandDef *command,
                                             uint32_t &count) {
  std::vector<std::string> out;
  if (!command || !command->fields) return out;
  bool authserv = command->objectType && scanEqualsNoCase(command->objectType, "AUTHSERV");
  AttributeTokenizer tok(record, ListValueMode::One);
  AttributeToken t;
  while (tok.next(t)) {
    if (t.isHeader || t.isPseudo || t.isWholeLine || t.keyword.empty()) continue;
    std::string_view key = t.keyword;
    if (key.starts_with("CHSTATUS") || key.starts_with("QSTATUS") || key.starts_with("TPSTATUS")) continue;
    if (t.isBare && key == "NOHARDENBO") continue;
    if (authserv && key == "SERVCOMP") continue;
    if (findFieldInTable(command->fields, key, kFieldExactLength)) continue;
    out.push_back(strFormat("  Unhandled attribute %.*s", static_cast<int>(key.size()), key.data()));
    ++count;
  }
  return out;
}
