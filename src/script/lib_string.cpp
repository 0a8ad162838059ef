// Strings and comma-separated items: LOWER, UPPER, SUBSTR, FINDSTR, FINDSTRI, CMPVER,
// STR, STRLEN, STRREPLACE, TRIMSTR, NUMITEMS, ITEMVAL.
#include <algorithm>
#include <charconv>
#include <vector>

#include "script/functions.h"
#include "script/lib_support.h"
#include "script/variables.h"
#include "text/text.h"

namespace kvarn::script {

namespace {

using namespace lib;

char foldChar(char c, bool upper) {
  if (upper && c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  if (!upper && c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  return c;
}

bool convertCase(ExprContext& ctx, Value& arg, Value& r, bool upper) {
  if (arg.isNotSet()) {
    r.clear();
    return true;
  }
  if (arg.isString()) {
    std::string s(arg.bytes());
    for (char& c : s) c = foldChar(c, upper);
    r.setOwned(std::move(s));
    return true;
  }
  if (arg.type() == LexemeType::List) {
    std::string packed(arg.bytes());  // the length fields hold no letters
    ListCursor cursor(arg.bytes());
    std::string_view entry;
    while (cursor.next(entry)) {
      size_t at = static_cast<size_t>(entry.data() - arg.bytes().data());
      for (size_t i = 0; i < entry.size(); ++i) packed[at + i] = foldChar(packed[at + i], upper);
    }
    r.setListBytes(std::move(packed));
    return true;
  }
  ctx.setError(upper ? "Function UPPER() accepts only strings or list arguments"
                     : "Function LOWER() accepts only strings or list arguments");
  return false;
}
bool lowerFn(ExprContext& ctx, std::span<Value> a, Value& r) { return convertCase(ctx, a[0], r, false); }
bool upperFn(ExprContext& ctx, std::span<Value> a, Value& r) { return convertCase(ctx, a[0], r, true); }

bool substrFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (!a[0].isString()) {
    if (ctx.checkMode()) {
      r.setView({});
      return true;
    }
    ctx.setError("Function SUBSTR() only accepts strings as arguments");
    return false;
  }
  std::string_view s = a[0].bytes();
  int64_t start = intArg(a[1]), length = intArg(a[2]);
  if (start < 1) {  // a start before the first character uses up part of the length
    length -= 1 - start;
    start = 1;
  }
  if (length <= 0 || static_cast<uint64_t>(start) > s.size()) {
    r.setView({});
    return true;
  }
  setText(r, s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(length)));
  return true;
}

bool findIn(ExprContext& ctx, std::span<Value> a, Value& r, bool caseSensitive) {
  if (!a[0].isString() || !a[1].isString()) {
    if (ctx.checkMode()) {
      r.setInt(1);
      return true;
    }
    ctx.setError("Function FINDSTR() only accepts strings as arguments");
    return false;
  }
  std::string_view s = a[0].bytes(), t = a[1].bytes();
  if (t.empty()) {
    r.setInt(1);
    return true;
  }
  auto eq = [&](char x, char y) { return caseSensitive ? x == y : foldChar(x, true) == foldChar(y, true); };
  auto it = std::search(s.begin(), s.end(), t.begin(), t.end(), eq);
  r.setInt(it == s.end() ? 0 : (it - s.begin()) + 1);
  return true;
}
bool findstrFn(ExprContext& ctx, std::span<Value> a, Value& r) { return findIn(ctx, a, r, true); }
bool findstriFn(ExprContext& ctx, std::span<Value> a, Value& r) { return findIn(ctx, a, r, false); }

// The next run of digits of a version text (leading zeros dropped); empty when exhausted.
std::string_view nextNumber(std::string_view& s) {
  size_t b = 0;
  while (b < s.size() && !(s[b] >= '0' && s[b] <= '9')) ++b;
  size_t e = b;
  while (e < s.size() && s[e] >= '0' && s[e] <= '9') ++e;
  std::string_view digits = s.substr(b, e - b);
  s.remove_prefix(e);
  while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
  return digits;
}

bool cmpverFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (!a[0].isString() || !a[1].isString()) {
    if (ctx.checkMode()) {
      r.setInt(0);
      return true;
    }
    ctx.setError("Function CMPVER() only accepts strings as arguments");
    return false;
  }
  std::string_view x = a[0].bytes(), y = a[1].bytes();
  while (true) {
    std::string_view nx = nextNumber(x), ny = nextNumber(y);
    if (nx.empty() && ny.empty()) {
      r.setInt(0);
      return true;
    }
    if (nx.empty()) nx = "0";
    if (ny.empty()) ny = "0";
    // Compared as digit strings, so numbers of any length compare correctly.
    int c = nx.size() != ny.size() ? (nx.size() < ny.size() ? -1 : 1) : nx.compare(ny);
    if (c) {
      r.setInt(c < 0 ? -1 : 1);
      return true;
    }
  }
}

bool strFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (a[0].isNotSet()) {
    r.setView("<Not Set>");
    return true;
  }
  if (a[0].type() == LexemeType::Int) {  // the common case, into the result's own buffer
    char digits[24];
    r.setConcat(std::string_view(digits, std::to_chars(digits, digits + sizeof digits, a[0].asInt()).ptr - digits), {});
    return true;
  }
  std::string text, error;
  if (!valueToText(a[0], 2, text, error)) {
    ctx.setError(std::move(error));
    return false;
  }
  r.setOwned(std::move(text));
  return true;
}

bool strlenFn(ExprContext&, std::span<Value> a, Value& r) {
  r.setInt(a[0].isString() ? static_cast<int64_t>(a[0].bytes().size()) : 0);
  return true;
}

bool strreplaceFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  static const char* const kMessages[] = {"The first parameter to function strreplace() must be a string.",
                                          "The second parameter to function strreplace() must be a string.",
                                          "The third parameter to function strreplace() must be a string."};
  for (int i = 0; i < 3; ++i)
    if (!a[i].isString()) {
      if (ctx.checkMode()) {
        r.setView({});
        return true;
      }
      ctx.setError(kMessages[i]);
      return false;
    }
  std::string_view s = a[0].bytes(), from = a[1].bytes(), to = a[2].bytes();
  if (from.empty()) {
    setText(r, s);
    return true;
  }
  std::string out;
  size_t at = 0;
  while (true) {
    size_t hit = s.find(from, at);
    size_t piece = (hit == std::string_view::npos ? s.size() : hit) - at;
    if (out.size() + piece + (hit == std::string_view::npos ? 0 : to.size()) >
        kMaxStringValue) {  // refused with the function's storage message
      ctx.setError("Can not allocate storage for strreplace() function.");
      return false;
    }
    out.append(s.substr(at, piece));
    if (hit == std::string_view::npos) break;
    out.append(to);
    at = hit + from.size();
  }
  r.setOwned(std::move(out));
  return true;
}

bool trimstrFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (a.size() > 3) {
    ctx.setError("Function trimstr() has a maxiumum of three parameters.");
    return false;
  }
  static const char* const kMessages[] = {"The first parameter to function trimstr() must be a string.",
                                          "The second parameter to function trimstr() must be a string.",
                                          "The third parameter to function trimstr() must be a string."};
  if (a.empty()) {
    ctx.setError(kMessages[0]);
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i)
    if (!a[i].isString()) {
      if (ctx.checkMode()) {
        r.setView({});
        return true;
      }
      ctx.setError(kMessages[i]);
      return false;
    }
  std::string_view s = a[0].bytes();
  std::string_view left = a.size() > 1 ? a[1].bytes() : std::string_view(" ");
  std::string_view right = a.size() > 2 ? a[2].bytes() : left;
  while (!s.empty() && left.find(s.front()) != std::string_view::npos) s.remove_prefix(1);
  while (!s.empty() && right.find(s.back()) != std::string_view::npos) s.remove_suffix(1);
  setText(r, s);
  return true;
}

bool numitemsFn(ExprContext&, std::span<Value> a, Value& r) {
  if (!a[0].isString()) {
    r.clear();
    return true;
  }
  std::string_view s = a[0].bytes();
  if (s.find_first_not_of(' ') == std::string_view::npos) {
    r.setInt(0);
    return true;
  }
  r.setInt(static_cast<int64_t>(std::count(s.begin(), s.end(), ',')) + 1);
  return true;
}

bool itemvalFn(ExprContext&, std::span<Value> a, Value& r) {
  if (!a[0].isString()) {
    r.clear();
    return true;
  }
  std::string_view s = a[0].bytes();
  int64_t n = intArg(a[1]);
  if (n < 1) {
    r.clear();
    return true;
  }
  size_t at = 0;
  for (int64_t i = 1; i < n; ++i) {
    size_t comma = s.find(',', at);
    if (comma == std::string_view::npos) {
      r.clear();
      return true;
    }
    at = comma + 1;
  }
  std::string_view item = s.substr(at, s.find(',', at) - at);
  item = scanTrim(item, " ");
  if (item.size() < 50 && parseNumberText(item, r)) return true;
  setText(r, item);
  return true;
}

constexpr OperatorDef kRows[] = {
    functionRow("LOWER", 1, lowerFn),
    functionRow("UPPER", 1, upperFn),
    functionRow("SUBSTR", 3, substrFn),
    functionRow("FINDSTR", 2, findstrFn),
    functionRow("FINDSTRI", 2, findstriFn),
    functionRow("CMPVER", 2, cmpverFn),
    functionRow("STR", 1, strFn),
    functionRow("STRLEN", 1, strlenFn),
    functionRow("STRREPLACE", 3, strreplaceFn),
    functionRow("TRIMSTR", -1, trimstrFn),
    functionRow("NUMITEMS", 1, numitemsFn),
    functionRow("ITEMVAL", 2, itemvalFn),
};

}  // namespace

std::span<const OperatorDef> stringFunctionRows() { return kRows; }

}  // namespace kvarn::script
