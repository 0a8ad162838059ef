#include "cmdserver/mqsc_parser.h"

#include <cctype>

#include "text/text.h"

namespace qmsim::cmdserver {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ','; }

// Splits bracket contents into items at commas outside quotes and brackets.
bool splitItems(const std::string& raw, MqscParam& p) {
  size_t i = 0;
  auto skipBlanks = [&] {
    while (i < raw.size() && isScanSpace(raw[i])) ++i;
  };
  skipBlanks();
  if (i == raw.size()) return true;  // empty brackets: no items
  while (true) {
    skipBlanks();
    std::string item;
    bool quoted = false;
    if (i < raw.size() && (raw[i] == '\'' || raw[i] == '"')) {
      char q = raw[i++];
      quoted = true;
      bool closed = false;
      while (i < raw.size()) {
        if (raw[i] == q) {
          if (i + 1 < raw.size() && raw[i + 1] == q) {
            item += q;
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        item += raw[i++];
      }
      if (!closed) return false;
      skipBlanks();
    } else {
      ScanLevel level{.strayCloseHidesRest = true};
      while (i < raw.size() && !(level.outside() && raw[i] == ',')) {
        if (raw[i] == '\'' || raw[i] == '"') return false;  // a quote inside an unquoted value
        level.step(raw[i]);
        item += raw[i++];
      }
      while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.pop_back();
      item = upper(item);
    }
    p.items.push_back(item);
    p.quoted.push_back(quoted);
    if (i == raw.size()) return true;
    if (raw[i] != ',') return false;  // something after a closing quote
    ++i;
  }
}

}  // namespace

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool genericMatch(const std::string& pattern, const std::string& name) {
  if (!pattern.empty() && pattern.back() == '*')
    return name.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
  return pattern == name;
}

std::string MqscParam::value() const {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += ',';
    out += items[i];
  }
  return out;
}

bool MqscParam::anyQuoted() const {
  for (bool q : quoted)
    if (q) return true;
  return false;
}

const MqscParam* MqscCommand::find(const std::string& keyword) const {
  for (const auto& p : params)
    if (p.keyword == keyword) return &p;
  return nullptr;
}

bool parseMqsc(const std::string& text, MqscCommand& out, MqscParseError& error) {
  out = MqscCommand{};
  out.text = text;
  std::vector<MqscParam> words;
  size_t i = 0;
  const size_t n = text.size();
  auto fail = [&](size_t upto) {
    error.segment = text.substr(0, std::min(upto, n));
    return false;
  };
  while (true) {
    while (i < n && isBlank(text[i])) ++i;
    if (i >= n) break;
    if (text[i] == '(' || text[i] == ')' || text[i] == '\'' || text[i] == '"') return fail(i + 1);
    size_t start = i;
    while (i < n && !isBlank(text[i]) && text[i] != '(' && text[i] != ')' && text[i] != '\'' && text[i] != '"') ++i;
    MqscParam p;
    p.keyword = upper(text.substr(start, i - start));
    size_t look = i;
    while (look < n && (text[look] == ' ' || text[look] == '\t')) ++look;
    if (look < n && text[look] == '(') {
      // The matching bracket, quotes taken whole (a doubled quote closes and reopens:
      // the same effect).
      size_t j = scanClosingBracket(text, look);
      if (j >= n) return fail(n);
      p.hasValue = true;
      p.raw = text.substr(look + 1, j - look - 1);
      // A WHERE condition is read by its own rules: keyword, operator, value.
      if (p.keyword == "WHERE") p.items.push_back(p.raw), p.quoted.push_back(false);
      else if (!splitItems(p.raw, p)) return fail(j + 1);
      i = j + 1;
      if (i < n && !isBlank(text[i]) && text[i] != ')') {
        // "KEY(a)b": something glued to the closing bracket
        if (text[i] != '(') return fail(i + 1);
      }
    }
    words.push_back(std::move(p));
  }
  if (words.empty()) return fail(n);
  if (words[0].hasValue) return fail(words[0].keyword.size() + 1);
  out.verb = words[0].keyword;
  size_t next = 1;
  if (words.size() > 1) {
    out.object = words[1].keyword;
    if (words[1].hasValue) out.objectParam = words[1];
    next = 2;
  }
  for (size_t k = next; k < words.size(); ++k) out.params.push_back(std::move(words[k]));
  return true;
}

}  // namespace qmsim::cmdserver
