#include <algorithm>
#include <cctype>

#include "mqsc/clause_scanner.h"
#include "mqsc/command_words.h"
#include "mqsc/prepare_steps.h"
#include "text/text.h"

namespace {

enum PlatformMark { kAll = 0, kZosOnly = 1, kNotZos = 2 };
struct GenericNameRow {
  const char *typed;
  const char *responseKeyword;
  PlatformMark platform;
};

// The keyword a DISPLAY is typed with, and the keyword that names the object in the
// responses: the filter must look at the latter.
constexpr GenericNameRow kGenericNames[] = {
    {"AUTHINFO", "AUTHINFO", kAll},
    {"CHL", "CHANNEL", kAll},
    {"CHLAUTH", "CHLAUTH", kAll},
    {"CHS", "CHSTATUS", kZosOnly},
    {"CHS", "CHANNEL", kNotZos},
    {"CHSTATUS", "CHANNEL", kNotZos},
    {"COMMINFO", "COMMINFO", kNotZos},
    {"LSTR", "LISTENER", kNotZos},
    {"LSSTATUS", "LISTENER", kNotZos},
    {"NL", "NAMELIST", kAll},
    {"PRC", "PROCESS", kAll},
    {"POLICY", "POLICY", kAll},
    {"Q", "QUEUE", kAll},
    {"QA", "QUEUE", kAll},
    {"QALIAS", "QUEUE", kAll},
    {"QC", "QUEUE", kAll},
    {"QCLUSTER", "QUEUE", kAll},
    {"QR", "QUEUE", kAll},
    {"QREMOTE", "QUEUE", kAll},
    {"QM", "QUEUE", kAll},
    {"QMODEL", "QUEUE", kAll},
    {"QL", "QUEUE", kAll},
    {"QLOCAL", "QUEUE", kAll},
    {"QSTATUS", "QUEUE", kNotZos},
    {"QS", "QUEUE", kNotZos},
    {"QS", "QSTATUS", kZosOnly},
    {"SBSTATUS", "SUB", kNotZos},
    {"SBSTATUS", "SBSTATUS", kZosOnly},
    {"SVSTATUS", "SERVICE", kNotZos},
    {"TOPIC", "TOPIC", kAll},
};

bool platformAllows(PlatformMark mark, bool zos) {
  return mark == kAll || (mark == kZosOnly && zos) || (mark == kNotZos && !zos);
}

bool isKeywordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '+' || c == '-'; }

bool hasInnerWildcard(std::string_view value) {
  if (value.find('?') != std::string_view::npos) return true;
  size_t star = value.find('*');
  return star != std::string_view::npos && star + 1 < value.size();
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char &c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::string_view genericNameKeyword(std::string_view typed, bool zos) {
  for (const auto &row : kGenericNames) {
    if (!scanEqualsNoCase(typed, row.typed)) continue;
    if (platformAllows(row.platform, zos)) return row.responseKeyword;
  }
  // A keyword that is itself a response keyword matches with no substitution.
  for (const auto &row : kGenericNames)
    if (scanEqualsNoCase(typed, row.responseKeyword) && platformAllows(row.platform, zos)) return row.responseKeyword;
  return {};
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

namespace {

RecordFilter nameFilter(std::string keyword, std::string pattern) {
  return [keyword = std::move(keyword), pattern = std::move(pattern)](const ResponseRecord &record) {
    KeywordClause clause;
    if (!findKeyword(record.text, keyword, 0, clause) || !clause.found) return true;  // nothing to judge by: keep
    std::string_view value = clause.value(record.text);
    return wildcardMatch(pattern, value);
  };
}

}  // namespace

bool rewriteGenericNames(std::string &text, bool zos, CommandRecord &record, std::string &message) {
  if (!isDisplayCommand(text)) return true;
  size_t pos = 0;
  ScanLevel level{.strayCloseHidesRest = true};
  while (pos < text.size()) {
    char c = text[pos];
    if (!level.step(c) || !isKeywordChar(c) || (pos > 0 && isKeywordChar(text[pos - 1]))) {
      ++pos;
      continue;
    }
    size_t kwStart = pos;
    while (pos < text.size() && isKeywordChar(text[pos])) ++pos;
    size_t kwEnd = pos;
    size_t open = pos;
    while (open < text.size() && text[open] == ' ') ++open;
    if (open >= text.size() || text[open] != '(') continue;
    std::string_view view(text);
    std::string_view responseKeyword = genericNameKeyword(view.substr(kwStart, kwEnd - kwStart), zos);
    KeywordClause raw;
    if (responseKeyword.empty() ||
        !parseBracketedValue(view, kwStart, kwEnd - kwStart, open, kKeyRawValue | kKeyAllowUnclosed, raw) ||
        !hasInnerWildcard(raw.value(view))) {
      continue;  // the brackets are walked by the loop itself
    }
    KeywordClause clause;
    if (!parseBracketedValue(view, kwStart, kwEnd - kwStart, open, kKeyReportErrors, clause, &message)) return false;
    std::string_view value = clause.value(view);
    std::string pattern = clause.quoted ? std::string(value) : upper(value);
    record.nameFilters.push_back(std::string(responseKeyword) + "(" + pattern);
    record.filters.push_back(nameFilter(std::string(responseKeyword), pattern));
    record.marks |= kMarkHasModifiers;
    size_t cut = std::min(value.find('*'), value.find('?'));
    size_t from = clause.valuePos + cut;
    size_t to = clause.valuePos + clause.valueLength;
    text.replace(from, to - from, "*");
    pos = from + 1;
    // Continue after the rewritten clause: skip to its closing bracket.
    ScanLevel inClause{.depth = 1, .quote = clause.quoted ? text[clause.valuePos - 1] : '\0'};
    for (; pos < text.size(); ++pos) {
      inClause.step(text[pos]);
      if (text[pos] == ')' && inClause.outside()) {
        ++pos;
        break;
      }
    }
  }
  return true;
}
