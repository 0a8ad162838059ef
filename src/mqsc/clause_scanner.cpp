#include "mqsc/clause_scanner.h"

#include "context/output.h"
#include "text/text.h"

namespace {

bool isQuote(char c) { return c == '\'' || c == '"'; }
bool isBlank(char c) { return c == ' '; }

// Walks forward through text keeping its level, so that a keyword is taken only at the
// outer level. Brackets inside quoted strings do not count: DESCR('a(b') must not hide
// the keywords after it. A stray ')' takes the walk below the outer level.
struct LevelWalker {
  size_t pos = 0;
  ScanLevel level{.strayCloseHidesRest = true};
  void advanceTo(std::string_view text, size_t target) {
    for (; pos < target && pos < text.size(); ++pos) level.step(text[pos]);
  }
  bool atOuterLevel() const { return level.outside(); }
};

std::string keywordMessage(const char *format, std::string_view keyword) {
  return strFormat(format, static_cast<int>(keyword.size()), keyword.data());
}

}  // namespace

bool parseBracketedValue(std::string_view text, size_t keywordPos, size_t keywordLength, size_t openPos,
                         unsigned options, KeywordClause &clause, std::string *message) {
  const bool report = (options & kKeyReportErrors) != 0;
  const bool raw = (options & kKeyRawValue) != 0;
  std::string_view keyword = text.substr(keywordPos, keywordLength);
  auto fail = [&](std::string text) {
    if (report && message) *message = std::move(text);
    return false;
  };

  clause.keywordPos = keywordPos;
  clause.keywordLength = keywordLength;
  clause.quoted = false;
  clause.closePos = std::string_view::npos;
  size_t start = openPos + 1;
  size_t end = text.size();
  int depth = 1;
  char open = 0;
  int closedStrings = 0;
  for (size_t i = start; i < text.size(); ++i) {
    char c = text[i];
    if (isBlank(c)) continue;
    if (open) {
      if (c == open) {
        open = 0;
        ++closedStrings;
      }
      continue;
    }
    if (isQuote(c)) {
      if (closedStrings > 0 && !raw) return fail(keywordMessage("Unexpected quote in keyword '%.*s'", keyword));
      open = c;
      continue;
    }
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0) {
        end = i;
        clause.closePos = i;
        break;
      }
    }
    if (closedStrings > 0 && !raw)
      return fail(strFormat("Unexpected character '%c' in keyword '%.*s'", c, static_cast<int>(keyword.size()),
                            keyword.data()));
  }
  if (clause.closePos == std::string_view::npos) {
    if (!(options & kKeyAllowUnclosed))
      return fail(keywordMessage("No closing bracket found for '%.*s' keyword", keyword));
  }
  if (open && !raw) return fail(keywordMessage("End of string missing in keyword '%.*s'", keyword));

  size_t vs = start, ve = end;
  if (!(options & kKeyKeepBlanks)) {
    while (vs < ve && isBlank(text[vs])) ++vs;
    while (ve > vs && isBlank(text[ve - 1])) --ve;
  }
  if (!raw && vs < ve && isQuote(text[vs])) {
    ++vs;
    clause.quoted = true;
    if (ve > vs && isQuote(text[ve - 1])) --ve;
  }
  clause.valuePos = vs;
  clause.valueLength = ve - vs;
  size_t clauseEnd = clause.closePos == std::string_view::npos ? text.size() : clause.closePos + 1;
  clause.clauseLength = clauseEnd - keywordPos;
  return true;
}

bool findKeyword(std::string_view text, std::string_view keyword, unsigned options, KeywordClause &clause,
                 std::string *message) {
  clause = KeywordClause{};
  if (keyword.empty()) return true;
  LevelWalker walker;
  for (size_t pos = 0; pos + keyword.size() <= text.size(); ++pos) {
    if (!scanStartsWithNoCase(text.substr(pos), keyword)) continue;
    if (pos > 0 && text[pos - 1] != ' ' && text[pos - 1] != '\n') continue;
    walker.advanceTo(text, pos);
    if (!walker.atOuterLevel()) continue;
    size_t after = pos + keyword.size();
    if (options & kKeyBare) {
      // A bare keyword is a whole word: SHARE is not found inside SHAREX.
      if (after < text.size() && !isScanSpace(text[after]) && text[after] != '(') continue;
      clause.found = true;
      clause.keywordPos = pos;
      clause.keywordLength = keyword.size();
      clause.clauseLength = keyword.size();
      clause.valuePos = after;
      return true;
    }
    size_t open = after;
    while (open < text.size() && isBlank(text[open])) ++open;
    if (open >= text.size() || text[open] != '(') continue;
    if (!parseBracketedValue(text, pos, keyword.size(), open, options, clause, message)) return false;
    clause.found = true;
    return true;
  }
  return true;
}

bool nextListItem(std::string_view value, size_t &cursor, std::string_view &item) {
  while (cursor < value.size() && isScanSpace(value[cursor])) ++cursor;
  if (cursor >= value.size()) return false;
  size_t start = cursor;
  ScanLevel level{.opens = "([{", .closes = ")]}"};
  size_t i = start;
  for (; i < value.size(); ++i) {
    if (level.outside() && value[i] == ',') break;
    level.step(value[i]);
  }
  size_t end = i;
  while (end > start && isScanSpace(value[end - 1])) --end;
  item = value.substr(start, end - start);
  cursor = i < value.size() ? i + 1 : i;
  return true;
}

bool splitList(std::string_view value, std::string &packed) {
  std::string out;
  size_t cursor = 0;
  std::string_view item;
  while (nextListItem(value, cursor, item)) {
    if (item.size() >= 0xFFFF) return false;
    out.push_back(static_cast<char>(item.size() & 0xFF));
    out.push_back(static_cast<char>((item.size() >> 8) & 0xFF));
    out.append(item);
  }
  out.push_back(static_cast<char>(0xFF));
  out.push_back(static_cast<char>(0xFF));
  packed = std::move(out);
  return true;
}
