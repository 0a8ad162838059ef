#include "display/where_completion.h"

#include <optional>
#include <vector>

#include "mqsc/clause_scanner.h"
#include "mqsc/command_words.h"
#include "runtime/scan.h"
#include "script/exp_operators.h"
#include "text/text.h"

namespace {

using Outcome = WhereCompletion::Outcome;
using kvarn::script::OpCode;
using kvarn::script::OperatorTable;

// The operators of the MQSC clause, in the order they are offered.
constexpr std::string_view kMqscOperators[] = {"=",  "==", "EQ", "!=", "<>", "NE", ">",
                                               "GT", ">=", "GE", "<",  "LT", "<=", "LE"};

bool isNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
         c == '@' || c == '#';
}
bool isOperatorChar(char c) {
  return c == '=' || c == '!' || c == '<' || c == '>' || c == '&' || c == '|' || c == '+' || c == '-' || c == '*' ||
         c == '/' || c == '%';
}

// The format with its one "%s" (or "%.*s") replaced by the word.
std::string formatWith(std::string_view format, std::string_view word) {
  std::string out(format);
  for (std::string_view marker : {std::string_view("%.*s"), std::string_view("%s")}) {
    const size_t at = out.find(marker);
    if (at != std::string::npos) return out.replace(at, marker.size(), word);
  }
  return out;
}

enum class ClauseKind { Mqsc, Where, Sort };
struct Clause {
  ClauseKind kind;
  size_t open;  // the '('
  size_t end;   // the ')' or the text's end
};

// The filter clause whose brackets hold the cursor, if any. Only clauses outside other
// brackets and quotes count.
std::optional<Clause> clauseAt(std::string_view text, size_t cursor) {
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      continue;
    }
    if (c == '(') {  // some other keyword's value: skip it whole
      i = scanClosingBracket(text, i);
      continue;
    }
    const bool wordStart = i == 0 || isScanSpace(text[i - 1]);
    if (!wordStart || (c != '=' && !isNameChar(c))) continue;
    size_t w = c == '=' ? i + 1 : i;
    size_t e = w;
    while (e < text.size() && isNameChar(text[e])) ++e;
    const std::string_view word = text.substr(w, e - w);
    std::optional<ClauseKind> kind;
    if (c == '=' && scanEqualsNoCase(word, "WHERE")) kind = ClauseKind::Where;
    else if (c == '=' && (scanEqualsNoCase(word, "SORT") || scanEqualsNoCase(word, "SORTD"))) kind = ClauseKind::Sort;
    else if (c != '=' && scanEqualsNoCase(word, "WHERE")) kind = ClauseKind::Mqsc;
    size_t open = e;
    if (kind == ClauseKind::Mqsc)
      while (open < text.size() && isScanSpace(text[open])) ++open;
    if (!kind || open >= text.size() || text[open] != '(') {
      i = e > i ? e - 1 : i;
      continue;
    }
    const size_t end = scanClosingBracket(text, open);
    if (cursor > open && cursor <= end) return Clause{*kind, open, end};
    i = end;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------- clause tokens

enum class Tok { Name, Number, String, Operator, Open, Close, Comma, Other };
struct Token {
  Tok kind;
  std::string_view text;
};

// The tokens of `body`; false when it ends inside a quoted string.
bool tokenize(std::string_view body, std::vector<Token> &tokens) {
  size_t i = 0;
  while (i < body.size()) {
    const char c = body[i];
    const size_t start = i;
    if (isScanSpace(c)) {
      ++i;
      continue;
    }
    Tok kind;
    if (c == '\'' || c == '"') {
      const size_t close = body.find(c, i + 1);
      if (close == std::string_view::npos) return false;
      i = close + 1;
      kind = Tok::String;
    } else if (isNameChar(c)) {
      while (i < body.size() && isNameChar(body[i])) ++i;
      kind = (c >= '0' && c <= '9') ? Tok::Number : Tok::Name;
    } else if (isOperatorChar(c)) {
      static constexpr std::string_view kPairs[] = {"==", "!=", "<>", ">=", "<=", "||", "&&"};
      i += 1;
      for (std::string_view pair : kPairs)
        if (body.substr(start, 2) == pair) i = start + 2;
      kind = Tok::Operator;
    } else {
      ++i;
      kind = c == '(' ? Tok::Open : c == ')' ? Tok::Close : c == ',' ? Tok::Comma : Tok::Other;
    }
    tokens.push_back({kind, body.substr(start, i - start)});
  }
  return true;
}

bool isComparison(OpCode code) {
  switch (code) {
  case OpCode::Eq:
  case OpCode::Ne:
  case OpCode::Gt:
  case OpCode::Ge:
  case OpCode::Lt:
  case OpCode::Le:
  case OpCode::Match:
  case OpCode::Lk:
  case OpCode::Nl:
  case OpCode::Ct:
  case OpCode::Ex:
  case OpCode::Ctg:
  case OpCode::Exg: return true;
  default: return false;
  }
}

const kvarn::script::OperatorDef *binaryOperator(std::string_view name) {
  for (const auto &row : OperatorTable::whereOperators().rows())
    if ((row.kind & kvarn::script::kBinary) && scanEqualsNoCase(row.name, name)) return &row;
  return nullptr;
}

// What the grammar expects at the cursor.
enum class Expect { Keyword, Operator, Value, TooMany };
struct Expectation {
  Expect what = Expect::Keyword;
  std::string_view leftKeyword;  // for Value: the keyword on the left of the comparison
};

// MQSC clause: keyword, operator, value, and nothing more.
Expectation expectInMqsc(const std::vector<Token> &tokens) {
  switch (tokens.size()) {
  case 0: return {Expect::Keyword, {}};
  case 1: return {Expect::Operator, {}};
  case 2: return {Expect::Value, tokens[0].text};
  default: return {Expect::TooMany, {}};
  }
}

// =WHERE and =SORT: an expression; operand and operator positions alternate.
Expectation expectInExpression(const std::vector<Token> &tokens) {
  bool wantOperand = true;
  std::string_view lastName;  // the operand just before, when it was a name
  std::string_view left;      // the name on the left of the comparison just read
  bool afterComparison = false;
  for (const Token &t : tokens) {
    afterComparison = false;
    switch (t.kind) {
    case Tok::Name:
      if (!wantOperand) {
        if (const auto *op = binaryOperator(t.text)) {
          wantOperand = true;
          afterComparison = isComparison(op->code);
          left = lastName;
          lastName = {};
          break;
        }
      }
      if (wantOperand && OperatorTable::whereOperators().matchNonBinary(t.text)) {
        lastName = {};  // NOT
        break;
      }
      wantOperand = false;
      lastName = t.text;
      break;
    case Tok::Number:
    case Tok::String:
    case Tok::Close:
      wantOperand = false;
      lastName = {};
      break;
    case Tok::Operator:
      if (!wantOperand) {
        const auto *op = binaryOperator(t.text);
        afterComparison = op && isComparison(op->code);
        left = lastName;
      }
      wantOperand = true;  // a sign or '!' before an operand keeps it expected
      lastName = {};
      break;
    case Tok::Open:
    case Tok::Comma:
    case Tok::Other:
      wantOperand = true;
      lastName = {};
      break;
    }
  }
  if (!wantOperand) return {Expect::Operator, {}};
  if (afterComparison && !left.empty()) return {Expect::Value, left};
  return {Expect::Keyword, {}};
}

// ---------------------------------------------------------------- candidates

// Cycles through `names` the way the vocabulary lookups do: the next (or previous) name
// with the prefix after the current one, wrapping around.
std::optional<std::string_view> cycleNames(const std::vector<std::string_view> &names, std::string_view current,
                                           std::string_view prefix, int direction, bool &onlyCurrent) {
  onlyCurrent = false;
  int at = -1;
  for (size_t i = 0; i < names.size() && !current.empty(); ++i)
    if (scanEqualsNoCase(names[i], current)) {
      at = static_cast<int>(i);
      break;
    }
  std::vector<int> matches;
  for (size_t i = 0; i < names.size(); ++i)
    if (static_cast<int>(i) != at && scanStartsWithNoCase(names[i], prefix)) matches.push_back(static_cast<int>(i));
  if (matches.empty()) {
    onlyCurrent = at >= 0 && scanStartsWithNoCase(names[at], prefix);
    return std::nullopt;
  }
  if (direction == kPrevious) {
    for (auto it = matches.rbegin(); it != matches.rend(); ++it)
      if (*it < at) return names[*it];
    return names[matches.back()];
  }
  for (int i : matches)
    if (i > at) return names[i];
  return names[matches.front()];
}

std::vector<std::string_view> operatorNames(ClauseKind kind) {
  std::vector<std::string_view> names;
  if (kind == ClauseKind::Mqsc) return {std::begin(kMqscOperators), std::end(kMqscOperators)};
  for (const auto &row : OperatorTable::whereOperators().rows()) {
    if (!(row.kind & kvarn::script::kBinary)) continue;
    bool seen = false;
    for (std::string_view n : names) seen = seen || n == row.name;
    if (!seen) names.push_back(row.name);
  }
  return names;
}

bool isVerb(const CommandDef *c, std::string_view verb) { return c && c->verb && scanEqualsNoCase(c->verb, verb); }
bool isObject(const CommandDef *c, std::string_view object) {
  return c && c->objectType && scanEqualsNoCase(c->objectType, object);
}

WhereCompletion message(std::string text) {
  WhereCompletion r;
  r.outcome = Outcome::Message;
  r.message = std::move(text);
  return r;
}

}  // namespace

WhereCompletion completeInWhereClause(std::string_view command, size_t cursor, const CompletionStep &step,
                                      const VocabContext &vocab) {
  if (cursor > command.size()) cursor = command.size();
  const std::optional<Clause> clause = clauseAt(command, cursor);
  if (!clause) return {};

  // The command the clause belongs to decides the keywords and whether the clause applies.
  const CommandDef *verb = findCommand(vocab, "", commandWord(command, 0), kExact, false, nullptr);
  const CommandDef *row =
      verb ? findObjectType(vocab, verb, "", commandWord(command, 1), kExact, false, true, nullptr) : nullptr;
  if (!row || !row->fields) return message("Unrecognised command");
  bool applies = isVerb(row, "DISPLAY");
  if (clause->kind != ClauseKind::Mqsc) applies = applies || (isVerb(row, "RESET") && isObject(row, "QSTATS"));
  if (clause->kind == ClauseKind::Where && vocab.target == CommandTarget::Ccdt)
    applies = applies || isVerb(row, "ALTER");
  if (!applies) return message("=WHERE clause applies to DISPLAY commands");

  // The word at the cursor. When cycling, it is the candidate put in last time, followed
  // by the blank added after it.
  const size_t bodyStart = clause->open + 1;
  bool cycling = false;
  size_t wordStart = cursor, wordEnd = cursor;
  if (!step.previous.empty()) {
    size_t e = cursor;
    if (e > bodyStart && command[e - 1] == ' ') --e;
    size_t s = e;
    if (s > bodyStart) {
      const bool names = isNameChar(command[s - 1]);
      while (s > bodyStart && (names ? isNameChar(command[s - 1]) : isOperatorChar(command[s - 1]))) --s;
    }
    if (s < e && scanEqualsNoCase(command.substr(s, e - s), step.previous)) {
      cycling = true;
      wordStart = s;
      wordEnd = e;
    }
  }
  if (!cycling) {
    const char before = cursor > bodyStart ? command[cursor - 1] : ' ';
    const char at = cursor < clause->end ? command[cursor] : ' ';
    const char sample = (isNameChar(before) || isOperatorChar(before)) ? before : at;
    auto same = [&](char c) {
      return isNameChar(sample) ? isNameChar(c) : isOperatorChar(sample) && isOperatorChar(c);
    };
    while (wordStart > bodyStart && same(command[wordStart - 1])) --wordStart;
    while (wordEnd < clause->end && same(command[wordEnd])) ++wordEnd;
  }
  const std::string_view prefix = cycling ? step.prefix : command.substr(wordStart, cursor - wordStart);
  const std::string_view current = cycling ? step.previous : std::string_view();

  std::vector<Token> tokens;
  if (!tokenize(command.substr(bodyStart, wordStart - bodyStart), tokens))
    return message("No alternative suggested values available");  // the cursor is inside a quoted string
  const Expectation expect = clause->kind == ClauseKind::Mqsc ? expectInMqsc(tokens) : expectInExpression(tokens);

  std::string candidate;
  switch (expect.what) {
  case Expect::TooMany: return message("WHERE() clause does not support multiple expressions, use =WHERE()");
  case Expect::Keyword: {
    std::string error;
    FieldQuery query;
    query.inWhere = true;
    const FieldDef *f = findField(vocab, row, current, prefix, step.direction, nullptr, &error, query);
    if (!f) return message(error);
    candidate.assign(f->keyword, static_cast<size_t>(f->keywordLength));
    break;
  }
  case Expect::Operator: {
    bool onlyCurrent = false;
    auto found = cycleNames(operatorNames(clause->kind), current, prefix, step.direction, onlyCurrent);
    if (!found)
      return message(formatWith(onlyCurrent ? "No alternative operator with prefix '%s' found"
                                            : "No operator with prefix '%s' found",
                                prefix));
    candidate = *found;
    break;
  }
  case Expect::Value: {
    const FieldDef *field = findFieldInTable(row->fields, expect.leftKeyword, 0);
    if (!field || !field->values)
      return message(formatWith("Field '%.*s' does not have any predefined values", expect.leftKeyword));
    const ValueDef *v = findValue(vocab, field, current, prefix, step.direction, nullptr);
    if (!v) return message("No alternative suggested values available");
    candidate = v->keyword;
    break;
  }
  }

  WhereCompletion r;
  r.outcome = Outcome::Completed;
  r.text.assign(command.substr(0, wordStart));
  r.text += candidate;
  const std::string_view after = command.substr(wordEnd);
  if (after.empty() || after.front() != ' ') r.text += ' ';
  r.text += after;
  r.cursor = wordStart + candidate.size() + 1;
  r.candidate = std::move(candidate);
  r.prefix.assign(prefix);
  return r;
}
