#include "script/lexeme.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "text/text.h"

namespace kvarn::script {

namespace {

inline unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

inline bool sameChar(char a, char b, bool caseSensitive) {
  return caseSensitive ? a == b : fold(static_cast<unsigned char>(a)) == fold(static_cast<unsigned char>(b));
}

std::string unknownType(LexemeType t) { return strFormat("Unknown lexeme type 0x%X", static_cast<unsigned>(t)); }

}  // namespace

Value Value::list(const std::vector<std::string_view>& entries) {
  std::string packed;
  for (std::string_view e : entries) {
    size_t n = e.size() < 0xFFFF ? e.size() : 0xFFFE;
    packed.push_back(static_cast<char>(n & 0xFF));
    packed.push_back(static_cast<char>(n >> 8));
    packed.append(e.data(), n);
  }
  packed.push_back(static_cast<char>(0xFF));
  packed.push_back(static_cast<char>(0xFF));
  Value v;
  v.setListBytes(std::move(packed));
  return v;
}

Value Value::copy() const {
  if (type_ == LexemeType::Str) return owned(std::string(bytes()));
  return *this;
}

bool ListCursor::next(std::string_view& entry) {
  if (rest_.size() < 2) return false;
  size_t n = static_cast<unsigned char>(rest_[0]) | (static_cast<size_t>(static_cast<unsigned char>(rest_[1])) << 8);
  if (n == 0xFFFF || rest_.size() - 2 < n) return false;
  entry = rest_.substr(2, n);
  rest_.remove_prefix(2 + n);
  return true;
}

std::string_view lexemeTypeName(LexemeType t) {
  switch (t) {
  case LexemeType::NotSet: return "NOTSET";
  case LexemeType::Int: return "INT";
  case LexemeType::Dbl: return "DBL";
  case LexemeType::Var: return "VAR";
  case LexemeType::Str: return "STR";
  case LexemeType::Op: return "OP";
  case LexemeType::List: return "LIST";
  case LexemeType::PStr: return "PSTR";
  case LexemeType::EPStr: return "EPSTR";
  }
  return "?";
}

static int64_t listTotal(std::string_view packed) {
  ListCursor c(packed);
  std::string_view e;
  int64_t total = 0;
  while (c.next(e)) total += static_cast<int64_t>(e.size());
  return total;
}

bool valueTruthOf(const Value& v) {
  switch (v.type()) {
  case LexemeType::Int: return v.asInt() != 0;
  case LexemeType::Dbl: return std::trunc(v.asDbl()) != 0.0 && !std::isnan(v.asDbl());
  case LexemeType::Str:
  case LexemeType::PStr:
  case LexemeType::EPStr: return !v.bytes().empty();
  case LexemeType::List: return listTotal(v.bytes()) > 0;
  default: return false;
  }
}

static int32_t clamp32(double d) {
  if (std::isnan(d)) return 0;
  if (d >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (d <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(d);
}

int32_t valueIntegerOf(const Value& v) {
  switch (v.type()) {
  case LexemeType::Int: return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v.asInt())));
  case LexemeType::Dbl: return clamp32(v.asDbl());
  case LexemeType::Str:
  case LexemeType::PStr:
  case LexemeType::EPStr: return clamp32(static_cast<double>(v.bytes().size()));
  case LexemeType::List: return clamp32(static_cast<double>(listTotal(v.bytes())));
  default: return 0;
  }
}

bool valueToText(const Value& v, int decimals, std::string& out, std::string& error) {
  switch (v.type()) {
  case LexemeType::NotSet: out = "<Not Set>"; return true;
  case LexemeType::Int: {
    char digits[24];
    out.assign(digits, std::to_chars(digits, digits + sizeof digits, v.asInt()).ptr);
    return true;
  }
  case LexemeType::Dbl:
    if (decimals < 0) decimals = 0;
    if (decimals > 40) decimals = 40;
    out = strFormat("%.*f", decimals, v.asDbl());
    return true;
  case LexemeType::Str:
  case LexemeType::PStr:
  case LexemeType::EPStr: out.assign(v.bytes()); return true;
  default: error = unknownType(v.type()); return false;
  }
}

int compareBytes(std::string_view a, std::string_view b, bool caseSensitive) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (!caseSensitive) {
      x = fold(x);
      y = fold(y);
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool equalBytes(std::string_view a, std::string_view b, bool caseSensitive) {
  return caseSensitive ? a == b : scanEqualsNoCase(a, b);
}

static int sortStrings(std::string_view a, std::string_view b, bool caseSensitive) {
  if (caseSensitive) return compareBytes(a, b, true);
  // Folded order first, then the unfolded bytes, so that "abc" and "ABC" still get a
  // stable order between themselves.
  int r = compareBytes(a, b, false);
  if (r != 0) return r;
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
  return 0;
}

template <typename T>
static int threeWay(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

bool valueCompare(const Value* a, const Value* b, bool caseSensitive, int& result, std::string& error) {
  if (!a || !b) {
    result = (!a && !b) ? 0 : (!a ? -1 : 1);
    return true;
  }
  if (a->isNotSet() || b->isNotSet()) {
    result = (a->isNotSet() && b->isNotSet()) ? 0 : (a->isNotSet() ? -1 : 1);
    return true;
  }
  LexemeType ta = a->type(), tb = b->type();
  for (LexemeType t : {ta, tb}) {
    if (t == LexemeType::Var || t == LexemeType::Op) {
      error = unknownType(t);
      return false;
    }
  }
  if (a->isString() && b->isString()) {
    result = sortStrings(a->bytes(), b->bytes(), caseSensitive);
    return true;
  }
  if (ta == LexemeType::Int && tb == LexemeType::Int) {
    result = threeWay(a->asInt(), b->asInt());
    return true;
  }
  bool numA = ta == LexemeType::Int || ta == LexemeType::Dbl, numB = tb == LexemeType::Int || tb == LexemeType::Dbl;
  if (numA && numB) {
    double x = ta == LexemeType::Int ? static_cast<double>(a->asInt()) : a->asDbl();
    double y = tb == LexemeType::Int ? static_cast<double>(b->asInt()) : b->asDbl();
    result = threeWay(x, y);
    return true;
  }
  if (ta == tb) {
    error = unknownType(ta);
    return false;
  }  // two LISTs
  result = threeWay(valueInteger(*a), valueInteger(*b));
  return true;
}

static std::string quotedLine(std::string_view label, std::string_view bytes) {
  std::string line;
  line.reserve(label.size() + bytes.size() + 3);
  line.append(label).append(1, '\'').append(bytes).append("'\n");
  return line;
}

std::string valueDump(const Value& v) {
  switch (v.type()) {
  case LexemeType::NotSet: return "NOTSET\n";
  case LexemeType::Int: return strFormat("INT  : %lld\n", static_cast<long long>(v.asInt()));
  case LexemeType::Dbl: return strFormat("DBL  : %f\n", v.asDbl());
  case LexemeType::Str: return quotedLine("STR  : ", v.bytes());
  case LexemeType::PStr: return quotedLine("PSTR : ", v.bytes());
  case LexemeType::EPStr: return quotedLine("EPSTR: ", v.bytes());
  case LexemeType::List: {
    if (v.bytes().empty()) return "LIST : NULL\n";
    std::string out = "LIST :";
    ListCursor c(v.bytes());
    std::string_view e;
    while (c.next(e)) out.append(quotedLine("", e)).append("      ");
    out.push_back('\n');
    return out;
  }
  default: return unknownType(v.type()) + "\n";
  }
}

bool patternMatch(std::string_view text, std::string_view pattern, bool caseSensitive) {
  // Greedy scan remembering the last '*': linear for one star, O(n*m) at worst, never exponential.
  size_t t = 0, p = 0, starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || sameChar(pattern[p], text[t], caseSensitive))) {
      ++p;
      ++t;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace kvarn::script
