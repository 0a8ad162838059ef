#include "mqsc/attribute_tokenizer.h"

#include <algorithm>
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
  if (keyword.empty()) return nullptr;
  for (const auto &p : kAttributePairs)
    if (p.keyword.size() == keyword.size() && p.keyword[0] == keyword[0] && keyword == p.keyword) return &p;
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

size_t attributeValueEnd(std::string_view text, size_t open, const FieldDef *fields) {
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

bool findRecordAttribute(std::string_view record, std::string_view keyword, const FieldDef *fields, bool bare,
                         std::string_view &value) {
  size_t pos = 0;
  while (pos < record.size()) {
    char c = record[pos];
    if (isScanSpace(c)) {
      ++pos;
      continue;
    }
    if (c == '[') {
      size_t close = record.find(']', pos);
      pos = close == std::string_view::npos ? record.size() : close + 1;
      continue;
    }
    size_t start = pos;
    while (pos < record.size() && !isScanSpace(record[pos]) && record[pos] != '(') ++pos;
    std::string_view word = record.substr(start, pos - start);
    if (pos >= record.size() || record[pos] != '(') {
      if (bare && scanEqualsNoCase(word, keyword)) {
        value = word;
        return true;
      }
      continue;
    }
    size_t close = attributeValueEnd(record, pos, fields);
    if (!bare && scanEqualsNoCase(word, keyword)) {
      value = record.substr(pos + 1, close - pos - 1);
      return true;
    }
    pos = close < record.size() ? close + 1 : record.size();
  }
  return false;
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

AttributeTokenizer::AttributeTokenizer(std::string_view record, ListValueMode mode, bool severalQmgrs,
                                       std::string_view qmgr, const FieldDef *fields)
    : text_(record), mode_(mode), several_(severalQmgrs), qmgr_(qmgr), fields_(fields) {}

void AttributeTokenizer::setToken(AttributeToken &token, std::string text, size_t keywordLength, size_t valueStart,
                                  size_t valueLength) {
  token = AttributeToken{};
  token.text = std::move(text);
  std::string_view t(token.text);
  token.keyword = t.substr(0, keywordLength);
  token.value = t.substr(valueStart, valueLength);
  const AttributePair *pair = findPair(token.keyword);
  token.column = pair ? pair->column : token.keyword;
}

bool AttributeTokenizer::nextListItem(AttributeToken &token) {
  size_t n = listItems_.size();
  std::string text;
  size_t valueStart = 0;
  if (listIndex_ == 0) {
    text = listKeyword_ + "(";
    valueStart = text.size();
  }
  const std::string &item = listItems_[listIndex_];
  text += item;
  if (listIndex_ + 1 == n) text += ")";
  size_t keywordLength = listIndex_ == 0 ? listKeyword_.size() : 0;
  setToken(token, std::move(text), keywordLength, valueStart, item.size());
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
  if (stage_ == 0) {
    stage_ = 1;
    size_t start = 0;
    while (start < text_.size() && isScanSpace(text_[start])) ++start;
    size_t end = text_.find('\n', start);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view header = text_.substr(start, end - start);
    while (!header.empty() && header.back() == '\r') header.remove_suffix(1);
    token = AttributeToken{};
    token.text = std::string(header);
    token.isHeader = true;
    pos_ = end;
    return true;
  }
  if (stage_ == 1) {
    stage_ = 2;
    if (several_) {
      std::string text = strFormat("QSGQM(%.*s)", static_cast<int>(qmgr_.size()), qmgr_.data());
      setToken(token, std::move(text), 5, 6, qmgr_.size());
      token.isPseudo = true;
      return true;
    }
  }
  if (listIndex_ < listItems_.size()) return nextListItem(token);

  while (pos_ < text_.size()) {
    char c = text_[pos_];
    if (isScanSpace(c)) {
      ++pos_;
      continue;
    }
    if (c == '[') {  // bracketed annotations are passed over whole
      size_t close = text_.find(']', pos_);
      pos_ = close == std::string_view::npos ? text_.size() : close + 1;
      continue;
    }
    // A message line returned whole.
    bool lineStart = pos_ == 0 || text_[pos_ - 1] == '\n';
    if (lineStart) {
      for (const char *whole : kWholeLines) {
        if (!text_.substr(pos_).starts_with(whole)) continue;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        std::string line(scanTrim(text_.substr(pos_, end - pos_)));
        size_t n = line.size();
        setToken(token, std::move(line), n, 0, n);
        token.isWholeLine = true;
        pos_ = end;
        return true;
      }
    }
    size_t start = pos_;
    while (pos_ < text_.size() && !isScanSpace(text_[pos_]) && text_[pos_] != '(') ++pos_;
    std::string_view keyword = text_.substr(start, pos_ - start);
    if (pos_ >= text_.size() || text_[pos_] != '(') {
      std::string bare(keyword);
      size_t n = bare.size();
      setToken(token, std::move(bare), n, 0, n);
      token.isBare = true;
      return true;
    }
    // KEYWORD(value) up to the bracket that ends it.
    size_t open = pos_;
    size_t valueEnd = attributeValueEnd(text_, open, fields_);
    pos_ = valueEnd < text_.size() ? valueEnd + 1 : text_.size();
    std::string value(text_.substr(open + 1, valueEnd - open - 1));
    for (char &ch : value)
      if (ch == '\n' || ch == '\r') ch = ' ';
    std::string_view trimmed = scanTrim(value, " ");

    if (isListAttribute(keyword)) {
      std::vector<std::string> items;
      size_t cursor = 0;
      std::string_view item;
      while (::nextListItem(trimmed, cursor, item)) items.emplace_back(item);
      if (mode_ == ListValueMode::PerItem && items.size() > 1) {
        listKeyword_ = std::string(keyword);
        listItems_ = std::move(items);
        listIndex_ = 0;
        return nextListItem(token);
      }
      // One token: blanks before each comma removed.
      std::string joined;
      for (size_t i = 0; i < trimmed.size(); ++i) {
        if (trimmed[i] == ' ') {
          size_t j = i;
          while (j < trimmed.size() && trimmed[j] == ' ') ++j;
          if (j < trimmed.size() && trimmed[j] == ',') {
            i = j - 1;
            continue;
          }
        }
        joined.push_back(trimmed[i]);
      }
      std::string text = std::string(keyword) + "(" + joined + ")";
      setToken(token, std::move(text), keyword.size(), keyword.size() + 1, joined.size());
      return true;
    }
    // A blank value is shown as IBM shows it, "( )"; its value is still empty.
    std::string text = std::string(keyword) + (trimmed.empty() ? "( )" : "(" + std::string(trimmed) + ")");
    setToken(token, std::move(text), keyword.size(), keyword.size() + 1, trimmed.size());
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

std::vector<std::string> uncheckedAttributes(const CommandRecord &record, const CommandDef *command, uint32_t &count) {
  std::vector<std::string> out;
  if (!command || !command->fields) return out;
  bool authserv = command->objectType && scanEqualsNoCase(command->objectType, "AUTHSERV");
  for (const std::string &text : record.records()) {
    AttributeTokenizer tok(text, ListValueMode::One);
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
  }
  return out;
}
