// Text scanners over command text. None of them allocates except the two that build a
// new string, and every position they return lies inside the text (or is npos).
#include "runtime/scan.h"

#include <cctype>

namespace {

constexpr std::string_view kOperators = "()[]!|&<>-+*/=,;";
constexpr std::string_view kGenericNameOperators = "()[]!|&<>-+/=,;";
constexpr std::string_view kOperatorPairs[] = {"<>", "!=", ">=", "<=", "=="};

bool isQuote(char c) { return c == '\'' || c == '"'; }

bool isOperator(char c, TokenSet set) {
  std::string_view ops = set == TokenSet::Operators ? kOperators : kGenericNameOperators;
  return ops.find(c) != std::string_view::npos;
}

// First `c` at bracket depth 0 outside quotes; `square` says whether [] nest like ().
size_t findOutside(std::string_view text, char c, size_t from, bool square) {
  ScanLevel level;
  if (square) {
    level.opens = "([";
    level.closes = ")]";
  }
  for (size_t i = from; i < text.size(); ++i) {
    if (level.outside() && text[i] == c) return i;
    level.step(text[i]);
  }
  return std::string_view::npos;
}

size_t skipSpace(std::string_view text, size_t pos) {
  while (pos < text.size() && isScanSpace(text[pos])) ++pos;
  return pos;
}

// The length of the token at `start`, which is not white space.
size_t tokenLength(std::string_view text, size_t start, TokenSet set) {
  char ch = text[start];
  if (isQuote(ch)) {
    size_t close = text.find(ch, start + 1);
    return (close == std::string_view::npos ? text.size() : close + 1) - start;
  }
  if (isOperator(ch, set)) {
    std::string_view two = text.substr(start, 2);
    for (auto pair : kOperatorPairs)
      if (two == pair) return 2;
    return 1;
  }
  size_t end = start + 1;
  while (end < text.size() && !isScanSpace(text[end]) && !isOperator(text[end], set)) ++end;
  return end - start;
}

bool firstOnLine(std::string_view text, size_t pos) {
  while (pos > 0 && (text[pos - 1] == ' ' || text[pos - 1] == '\t')) --pos;
  return pos == 0 || text[pos - 1] == '\n' || text[pos - 1] == '\r';
}

// Skips white space and comment lines.
size_t skipToDefinitionToken(std::string_view text, size_t pos) {
  for (;;) {
    pos = skipSpace(text, pos);
    if (pos >= text.size() || (text[pos] != ';' && text[pos] != '#') || !firstOnLine(text, pos)) return pos;
    size_t eol = text.find('\n', pos);
    pos = eol == std::string_view::npos ? text.size() : eol + 1;
  }
}

void appendLimited(DefToken &t, char c) {
  if (t.text.size() < kDefTokenLimit) t.text.push_back(c);
  else t.tooLong = true;
}

}  // namespace

std::string_view scanMessageId(std::string_view text) {
  auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (text.size() < 7) return {};
  if (!upper(text[0]) || !upper(text[1]) || !upper(text[2]) || !(upper(text[3]) || digit(text[3]))) return {};
  if (!digit(text[4]) || !digit(text[5]) || !digit(text[6])) return {};
  size_t end = 7;
  if (end < text.size() && upper(text[end])) ++end;
  if (end < text.size() && text[end] != ':' && text[end] != ' ') return {};
  return text.substr(0, end);
}

std::string scanNormaliseList(std::string_view list) {
  std::string out;
  size_t from = 0;
  while (from <= list.size()) {
    size_t comma = scanFindComma(list, from);
    size_t end = comma == std::string_view::npos ? list.size() : comma;
    std::string_view item = scanTrim(list.substr(from, end - from));
    if (!item.empty()) {
      if (!out.empty()) out.push_back(',');
      out.append(item);
    }
    if (comma == std::string_view::npos) break;
    from = comma + 1;
  }
  return out;
}

size_t scanFindAtLevel0(std::string_view text, char c, size_t from) { return findOutside(text, c, from, true); }

size_t scanFindStatementEnd(std::string_view text, size_t from) { return findOutside(text, ';', from, false); }

size_t scanFindComma(std::string_view text, size_t from) { return findOutside(text, ',', from, true); }

std::vector<std::string_view> scanSplitCommas(std::string_view text) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (size_t comma; (comma = scanFindComma(text, start)) != std::string_view::npos; start = comma + 1)
    pieces.push_back(text.substr(start, comma - start));
  pieces.push_back(text.substr(start));
  return pieces;
}

size_t scanOpenBracket(std::string_view text, size_t at) {
  if (at > text.size()) at = text.size();
  size_t outer = std::string_view::npos;
  ScanLevel level;
  for (size_t i = 0; i < at; ++i) {
    if (text[i] == '(' && level.outside()) outer = i;
    level.step(text[i]);
  }
  return level.depth > 0 ? outer : std::string_view::npos;
}

ScanToken scanNextToken(std::string_view text, size_t &pos, TokenSet set) {
  pos = skipSpace(text, pos < text.size() ? pos : text.size());
  ScanToken t;
  t.start = pos;
  if (pos >= text.size()) {
    t.exhausted = true;
    return t;
  }
  t.length = tokenLength(text, pos, set);
  pos += t.length;
  return t;
}

DefToken scanNextDefinitionToken(std::string_view text, size_t &pos) {
  pos = skipToDefinitionToken(text, pos < text.size() ? pos : text.size());
  DefToken t;
  t.start = pos;
  if (pos >= text.size()) {
    t.exhausted = true;
    return t;
  }
  char quote = text[pos];
  if (!isQuote(quote)) {
    size_t len = tokenLength(text, pos, TokenSet::GenericNames);
    for (char c : text.substr(pos, len))
      appendLimited(t, static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    pos += len;
    return t;
  }
  t.quoted = true;
  size_t i = pos + 1;
  for (;;) {
    if (i >= text.size()) {
      t.unclosedQuote = true;
      break;
    }
    if (text[i] == quote) {
      if (i + 1 < text.size() && text[i + 1] == quote) {
        appendLimited(t, quote);
        i += 2;
        continue;
      }
      ++i;
      break;
    }
    appendLimited(t, text[i++]);
  }
  pos = i;
  return t;
}

namespace {

bool isNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '@' ||
         c == '.' || c == '=';
}

constexpr std::string_view kPasswordKeyword = "pwd";
constexpr std::string_view kPasswordMask = "********";

}  // namespace

std::string scanMaskPasswords(std::string_view text) {
  std::string out;
  size_t copied = 0;
  const size_t k = kPasswordKeyword.size();
  for (size_t i = 0; i + k < text.size(); ++i) {
    if (!scanEqualsNoCase(text.substr(i, k), kPasswordKeyword)) continue;
    if (i > 0 && isNameChar(text[i - 1])) continue;  // part of a longer name
    size_t open = i + k;
    while (open < text.size() && (text[open] == ' ' || text[open] == '\t')) ++open;
    if (open >= text.size() || text[open] != '(') continue;
    size_t close = scanClosingBracket(text, open);
    if (close == open + 1) continue;  // pwd(): nothing to hide
    out.append(text.substr(copied, open + 1 - copied));
    out.append(kPasswordMask);
    copied = close;
    if (close >= text.size()) break;
    i = close;
  }
  if (copied == 0) return std::string(text);
  out.append(text.substr(copied));
  return out;
}
