#include "script/exp_operators.h"

#include <cctype>

#include "text/text.h"

namespace kvarn::script {

namespace {

constexpr uint32_t B = kBinary;
constexpr uint32_t U = kUnary;

// Search order matters: "==" before "=", binary signs before the prefix signs.
constexpr OperatorDef kOperatorRows[] = {
    {"==", 12, 12, B, OpCode::Match},
    {"=", 12, 12, B, OpCode::Eq},
    {"EQ", 12, 12, B, OpCode::Eq},
    {"!=", 12, 12, B, OpCode::Ne},
    {"<>", 12, 12, B, OpCode::Ne},
    {"NE", 12, 12, B, OpCode::Ne},
    {"||", 10, 10, B, OpCode::BitOr},
    {"|", 10, 10, B, OpCode::Or},
    {"OR", 10, 10, B, OpCode::Or},
    {"&&", 11, 11, B, OpCode::BitAnd},
    {"&", 11, 11, B, OpCode::And},
    {"AND", 11, 11, B, OpCode::And},
    {">=", 12, 12, B, OpCode::Ge},
    {"GE", 12, 12, B, OpCode::Ge},
    {"<=", 12, 12, B, OpCode::Le},
    {"LE", 12, 12, B, OpCode::Le},
    {">", 13, 13, B, OpCode::Gt},
    {"GT", 13, 13, B, OpCode::Gt},
    {"<", 13, 13, B, OpCode::Lt},
    {"LT", 13, 13, B, OpCode::Lt},
    {"-", 14, 14, B, OpCode::Sub},
    {"+", 14, 14, B, OpCode::Add},
    {"*", 15, 15, B, OpCode::Mul},
    {"%", 15, 15, B, OpCode::Mod},
    {"/", 15, 15, B, OpCode::Div},
    {"LK", 15, 15, B, OpCode::Lk},
    {"NL", 15, 15, B, OpCode::Nl},
    {"CT", 15, 15, B, OpCode::Ct},
    {"EX", 15, 15, B, OpCode::Ex},
    {"CTG", 15, 15, B, OpCode::Ctg},
    {"EXG", 15, 15, B, OpCode::Exg},
    {"+", 18, 17, U | kPrefixSign, OpCode::Plus},
    {"-", 18, 17, U | kPrefixSign, OpCode::Minus},
    {"!", 18, 17, U, OpCode::Not},
    {"NOT", 18, 17, U, OpCode::Not},
};

constexpr OperatorDef kPunctuationRows[] = {
    {",", 20, 8, U, OpCode::Comma},
    {"(", 20, 8, U, OpCode::LParen},
};
constexpr OperatorDef kOpenBracketRow = {"[", 20, 8, U, OpCode::LBracket};
constexpr OperatorDef kCloseParenRow = {")", 9, 14, U, OpCode::RParen};
constexpr OperatorDef kCloseBracketRow = {"]", 9, 14, U, OpCode::RBracket};

bool isWordName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.') return false;
  return true;
}

enum class Category { Int, Dbl, Str, List, Other };

Category categoryOf(const Value& v) {
  switch (v.type()) {
  case LexemeType::Int: return Category::Int;
  case LexemeType::Dbl: return Category::Dbl;
  case LexemeType::Str:
  case LexemeType::PStr:
  case LexemeType::EPStr: return Category::Str;
  case LexemeType::List: return Category::List;
  default: return Category::Other;
  }
}

double asReal(const Value& v) {
  if (v.type() == LexemeType::Int) return static_cast<double>(v.asInt());
  if (v.type() == LexemeType::Dbl) return v.asDbl();
  return static_cast<double>(v.bytes().size());
}

int64_t asInteger(const Value& v) {
  if (v.type() == LexemeType::Int) return v.asInt();
  return static_cast<int64_t>(v.bytes().size());
}

std::string notSupported(const OperatorDef& op, const char* what) {
  return strFormat("Operator '%.*s' is not supported for %s", static_cast<int>(op.name.size()), op.name.data(), what);
}

std::string opMessage(const char* fmt, const OperatorDef& op) {
  return strFormat(fmt, static_cast<int>(op.name.size()), op.name.data());
}

std::string unknownType(const Value& v) {
  return strFormat("Unknown lexeme type 0x%X", static_cast<unsigned>(v.type()));
}

template <typename T>
bool compareOp(OpCode code, T a, T b, int64_t& out) {
  switch (code) {
  case OpCode::Eq: out = a == b; return true;
  case OpCode::Ne: out = a != b; return true;
  case OpCode::Gt: out = a > b; return true;
  case OpCode::Ge: out = a >= b; return true;
  case OpCode::Lt: out = a < b; return true;
  case OpCode::Le: out = a <= b; return true;
  default: return false;
  }
}

constexpr char kDivideByZero[] = "Runtime error:Divide by zero";

bool integerOp(const OperatorDef& op, int64_t a, int64_t b, Value& result, bool checkMode, std::string& error) {
  int64_t r = 0;
  if (compareOp(op.code, a, b, r)) {
    result.setInt(r);
    return true;
  }
  uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
  switch (op.code) {
  case OpCode::Add: result.setInt(static_cast<int64_t>(ua + ub)); return true;
  case OpCode::Sub: result.setInt(static_cast<int64_t>(ua - ub)); return true;
  case OpCode::Mul: result.setInt(static_cast<int64_t>(ua * ub)); return true;
  case OpCode::Div:
    if (b == 0) {
      if (!checkMode) {
        error = kDivideByZero;
        return false;
      }
      result.setDbl(1.0);
      return true;
    }
    result.setDbl(static_cast<double>(a) / static_cast<double>(b));
    return true;
  case OpCode::Mod:
    if (b == 0) {
      if (!checkMode) {
        error = kDivideByZero;
        return false;
      }
      result.setInt(1);
      return true;
    }
    result.setInt(b == -1 ? 0 : a % b);  // INT64_MIN % -1 would trap
    return true;
  case OpCode::Or: result.setInt(a != 0 || b != 0); return true;
  case OpCode::And: result.setInt(a != 0 && b != 0); return true;
  case OpCode::BitOr: result.setInt(a | b); return true;
  case OpCode::BitAnd: result.setInt(a & b); return true;
  default: error = notSupported(op, "integers"); return false;
  }
}

bool realOp(const OperatorDef& op, double a, double b, Value& result, bool checkMode, std::string& error) {
  int64_t r = 0;
  if (compareOp(op.code, a, b, r)) {
    result.setInt(r);
    return true;
  }
  switch (op.code) {
  case OpCode::Add: result.setDbl(a + b); return true;
  case OpCode::Sub: result.setDbl(a - b); return true;
  case OpCode::Mul: result.setDbl(a * b); return true;
  case OpCode::Div:
    if (b == 0.0) {
      if (!checkMode) {
        error = kDivideByZero;
        return false;
      }
      result.setDbl(1.0);
      return true;
    }
    result.setDbl(a / b);
    return true;
  // A real counts as zero when it truncates to zero, as in conditions (0.4 is false).
  case OpCode::Or: result.setInt(valueTruth(Value::real(a)) || valueTruth(Value::real(b))); return true;
  case OpCode::And: result.setInt(valueTruth(Value::real(a)) && valueTruth(Value::real(b))); return true;
  default: error = notSupported(op, "real numbers"); return false;
  }
}

bool stringOp(const OperatorDef& op, std::string_view a, std::string_view b, Value& result, bool caseSensitive,
              std::string& error) {
  switch (op.code) {
  case OpCode::Eq: result.setInt(equalBytes(a, b, caseSensitive)); return true;
  case OpCode::Ne: result.setInt(!equalBytes(a, b, caseSensitive)); return true;
  case OpCode::Gt: result.setInt(compareBytes(a, b, caseSensitive) > 0); return true;
  case OpCode::Ge: result.setInt(compareBytes(a, b, caseSensitive) >= 0); return true;
  case OpCode::Lt: result.setInt(compareBytes(a, b, caseSensitive) < 0); return true;
  case OpCode::Le: result.setInt(compareBytes(a, b, caseSensitive) <= 0); return true;
  case OpCode::Add: {
    if (a.empty() && b.empty()) {
      result.setView({});
      return true;
    }
    if (a.size() + b.size() > kMaxStringValue) {
      error = strFormat("String of %zu bytes not made: strings are limited to %zu bytes", a.size() + b.size(),
                        kMaxStringValue);
      return false;
    }
    result.setConcat(a, b);
    return true;
  }
  case OpCode::Or: result.setInt(!a.empty() || !b.empty()); return true;
  case OpCode::And: result.setInt(!a.empty() && !b.empty()); return true;
  default: error = notSupported(op, "strings"); return false;
  }
}

// LK, NL, ==, CT, EX, CTG, EXG.
bool patternOp(const OperatorDef& op, const Value& left, const Value& right, Value& result, bool caseSensitive,
               bool checkMode, std::string& error) {
  if (left.isNotSet() || right.isNotSet()) {
    result.setInt(0);
    return true;
  }
  if (!right.isString()) {
    if (checkMode) {
      result.setInt(1);
      return true;
    }
    error = opMessage("Second operand to operator '%.*s' should be a string", op);
    return false;
  }
  std::string_view pattern = right.bytes();
  if (left.isString()) {
    std::string_view text = left.bytes();
    switch (op.code) {
    case OpCode::Lk:
    case OpCode::Match: result.setInt(patternMatch(text, pattern, caseSensitive)); return true;
    case OpCode::Nl: result.setInt(!patternMatch(text, pattern, caseSensitive)); return true;
    case OpCode::Ct:
    case OpCode::Ctg: result.setInt(equalBytes(text, pattern, caseSensitive)); return true;
    case OpCode::Ex:
    case OpCode::Exg: result.setInt(!equalBytes(text, pattern, caseSensitive)); return true;
    default: error = notSupported(op, "strings"); return false;
    }
  }
  if (left.type() == LexemeType::List) {
    bool byPattern = false, found = false;
    switch (op.code) {
    case OpCode::Ct:
    case OpCode::Ex: break;
    case OpCode::Ctg:
    case OpCode::Exg:
    case OpCode::Match: byPattern = true; break;
    default: error = notSupported(op, "lists"); return false;
    }
    ListCursor cursor(left.bytes());
    std::string_view entry;
    while (!found && cursor.next(entry))
      found = byPattern ? patternMatch(entry, pattern, caseSensitive) : equalBytes(entry, pattern, caseSensitive);
    bool excludes = op.code == OpCode::Ex || op.code == OpCode::Exg;
    result.setInt(excludes ? !found : found);
    return true;
  }
  if (checkMode) {
    result.setInt(1);
    return true;
  }
  error = opMessage("First operand to operator '%.*s' should be a list or string", op);
  return false;
}

}  // namespace

OperatorTable::OperatorTable(std::vector<OperatorDef> rows) : rows_(std::move(rows)) {
  for (OperatorDef& row : rows_)
    if (isWordName(row.name)) row.kind |= kWord;
}

OperatorTable OperatorTable::build(std::span<const OperatorDef> functions, bool subscripts) {
  std::vector<OperatorDef> rows(std::begin(kOperatorRows), std::end(kOperatorRows));
  rows.insert(rows.end(), functions.begin(), functions.end());
  rows.insert(rows.end(), std::begin(kPunctuationRows), std::end(kPunctuationRows));
  if (subscripts) rows.push_back(kOpenBracketRow);
  rows.push_back(kCloseParenRow);
  if (subscripts) rows.push_back(kCloseBracketRow);
  return OperatorTable(std::move(rows));
}

OperatorTable OperatorTable::buildWhere(std::span<const OperatorDef> scriptFunctions) {
  std::vector<OperatorDef> subset;
  for (const OperatorDef& row : scriptFunctions)
    for (std::string_view name : kWhereFunctionNames)
      if (scanEqualsNoCase(row.name, name)) {
        subset.push_back(row);
        break;
      }
  return build(subset, false);
}

const OperatorTable& OperatorTable::scriptOperators() {
  static const OperatorTable table = build({}, true);
  return table;
}

const OperatorTable& OperatorTable::whereOperators() {
  static const OperatorTable table = build({}, false);
  return table;
}

const OperatorDef* OperatorTable::match(std::string_view token) const {
  for (const OperatorDef& row : rows_)
    if (scanEqualsNoCase(row.name, token)) return &row;
  return nullptr;
}

const OperatorDef* OperatorTable::matchNonBinary(std::string_view name) const {
  for (const OperatorDef& row : rows_)
    if (!(row.kind & (kBinary | kFunction | kScriptFunction)) && scanEqualsNoCase(row.name, name) &&
        row.code != OpCode::Comma && row.code != OpCode::RParen && row.code != OpCode::RBracket &&
        row.code != OpCode::LBracket)
      return &row;
  return nullptr;
}

bool applyBinary(const OperatorDef& op, Value& left, Value& right, Value& result, bool caseSensitive, bool checkMode,
                 std::string& error) {
  switch (op.code) {
  case OpCode::Match:
  case OpCode::Lk:
  case OpCode::Nl:
  case OpCode::Ct:
  case OpCode::Ex:
  case OpCode::Ctg:
  case OpCode::Exg: return patternOp(op, left, right, result, caseSensitive, checkMode, error);
  default: break;
  }
  if (left.isNotSet() || right.isNotSet()) {
    result.clear();
    return true;
  }
  Category a = categoryOf(left), b = categoryOf(right);
  if (a == Category::Other) {
    error = unknownType(left);
    return false;
  }
  if (b == Category::Other) {
    error = unknownType(right);
    return false;
  }
  // Balance the operand types: lists count as their integer value, a string meeting a
  // number counts its characters, an INT meeting a DBL becomes a DBL.
  Category common;
  if (a == Category::List || b == Category::List) {
    return integerOp(op, valueInteger(left), valueInteger(right), result, checkMode, error);
  } else if (a == b) {
    common = a;
  } else if (a == Category::Dbl || b == Category::Dbl) {
    common = Category::Dbl;
  } else {
    common = Category::Int;
  }
  switch (common) {
  case Category::Int: return integerOp(op, asInteger(left), asInteger(right), result, checkMode, error);
  case Category::Dbl: return realOp(op, asReal(left), asReal(right), result, checkMode, error);
  default: return stringOp(op, left.bytes(), right.bytes(), result, caseSensitive, error);
  }
}

bool applyUnary(const OperatorDef& op, Value& operand, Value& result, std::string& error) {
  const bool negate = op.code == OpCode::Minus;
  switch (operand.type()) {
  case LexemeType::NotSet: result.clear(); return true;
  case LexemeType::Int: {
    int64_t v = operand.asInt();
    if (op.code == OpCode::Not) result.setInt(v == 0);
    else result.setInt(negate ? static_cast<int64_t>(0 - static_cast<uint64_t>(v)) : v);
    return true;
  }
  case LexemeType::Dbl: {
    double v = operand.asDbl();
    if (op.code == OpCode::Not) result.setInt(!valueTruth(operand));
    else result.setDbl(negate ? -v : v);
    return true;
  }
  case LexemeType::Str:
  case LexemeType::PStr:
  case LexemeType::EPStr: {
    auto n = static_cast<int64_t>(operand.bytes().size());
    if (op.code == OpCode::Not) result.setInt(n == 0);
    else result.setInt(negate ? -n : n);
    return true;
  }
  case LexemeType::List: {
    int64_t n = valueInteger(operand);
    if (op.code == OpCode::Not) result.setInt(n == 0);
    else result.setInt(negate ? -n : n);
    return true;
  }
  default: error = unknownType(operand); return false;
  }
}

}  // namespace kvarn::script
