// Response text and evaluation: ATTRSTR, VALUEOF, EVAL.
#include <algorithm>
#include <vector>

#include "runtime/scan.h"
#include "script/functions.h"
#include "script/lib_support.h"
#include "script/resolver.h"
#include "text/text.h"

namespace kvarn::script {

namespace {

using namespace lib;

// Nesting of EVAL through EVAL: a script that evaluates itself stops here with a message
// instead of exhausting the stack.
constexpr int kMaxEvalDepth = 64;

struct Word {
  size_t begin, end;
  bool group;  // a parenthesised group
};

// MQSC attribute text as words: blanks separate, a word ends before '(', and a
// parenthesised group (nesting respected) is a word of its own. A group whose value
// begins with a quote is quoted and may hold brackets; in any other a quote is a
// character of the value, as in a queue manager's reply (DESCR(it's)), and the
// attributes after it stay readable.
std::vector<Word> splitWords(std::string_view s) {
  std::vector<Word> words;
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
      continue;
    }
    size_t b = i;
    if (c == '(') {
      bool quoted = i + 1 < s.size() && (s[i + 1] == '\'' || s[i + 1] == '"');
      i = std::min((quoted ? scanClosingBracket(s, i) : scanClosingBracketIgnoringQuotes(s, i)) + 1, s.size());
      words.push_back({b, i, true});
      continue;
    }
    while (i < s.size() && s[i] != '(' && s[i] != ' ' && s[i] != '\t' && s[i] != '\r' && s[i] != '\n') ++i;
    words.push_back({b, i, false});
  }
  return words;
}

// Index of the first plain word equal to `name`, or -1.
int findWord(std::string_view text, const std::vector<Word>& words, std::string_view name) {
  for (size_t k = 0; k < words.size(); ++k)
    if (!words[k].group && scanEqualsNoCase(text.substr(words[k].begin, words[k].end - words[k].begin), name))
      return static_cast<int>(k);
  return -1;
}

bool stringArgs(ExprContext& ctx, std::span<Value> a, const char* fn, Value& r) {
  for (size_t i = 0; i < a.size(); ++i)
    if (!a[i].isString()) {
      if (ctx.checkMode()) {
        r.setView({});
        return false;
      }
      ctx.setErrorf("Parameter %d of %s() function must be a string", static_cast<int>(i + 1), fn);
      return false;
    }
  return true;
}

bool attrstrFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (!stringArgs(ctx, a, "ATTRSTR", r)) return ctx.checkMode();
  std::string_view text = a[1].bytes();
  std::vector<Word> words = splitWords(text);
  int k = findWord(text, words, a[0].bytes());
  if (k < 0) {
    r.setView({});
    return true;
  }
  size_t end = static_cast<size_t>(k) + 1 < words.size() ? words[k + 1].end : words[k].end;
  setText(r, text.substr(words[k].begin, end - words[k].begin));
  return true;
}

// The value of `name` in `text`: false when the name is not there.
bool valueIn(std::string_view text, std::string_view name, Value& r) {
  std::vector<Word> words = splitWords(text);
  int k = findWord(text, words, name);
  if (k < 0) return false;
  size_t next = static_cast<size_t>(k) + 1;
  if (next >= words.size() || !words[next].group || words[next].begin != words[k].end) {
    r.setView({});
    return true;
  }
  std::string_view inner = text.substr(words[next].begin + 1, words[next].end - words[next].begin - 1);
  if (!inner.empty() && inner.back() == ')') inner.remove_suffix(1);
  if (inner.size() >= 2 && (inner.front() == '\'' || inner.front() == '"') && inner.back() == inner.front())
    inner = inner.substr(1, inner.size() - 2);
  setText(r, inner);
  return true;
}

bool valueofFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (a.empty() || a.size() > 2) {
    ctx.setError("Function VALUEOF() accepts one or two parameters");
    return false;
  }
  if (!stringArgs(ctx, a, "VALUEOF", r)) return ctx.checkMode();
  if (ctx.checkMode()) {
    r.setView({});
    return true;
  }
  if (a.size() == 2) {
    if (!valueIn(a[1].bytes(), a[0].bytes(), r)) r.clear();
    return true;
  }
  // The parameters of the running import: @_Parm[1], @_Parm[2] ...
  ProgramContext* p = needProgram(ctx, "VALUEOF");
  if (!p) return false;
  ArrayStore* store = scriptState(*p).variables.findArray("@_Parm");
  r.clear();
  if (!store) return true;
  std::vector<std::pair<int32_t, const Value*>> parms;
  for (const ArrayElement& e : store->elements())
    if (e.key.count() == 1 && e.record.hasValue && e.record.value.isString())
      parms.emplace_back(e.key.at[0], &e.record.value);
  std::sort(parms.begin(), parms.end(), [](auto& x, auto& y) { return x.first < y.first; });
  std::string name(a[0].bytes());  // the argument may view a parameter
  for (auto& [index, value] : parms)
    if (valueIn(value->bytes(), name, r)) {
      r = r.copy();
      return true;
    }
  return true;
}

bool evalFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (a[0].isNotSet()) {
    r.clear();
    return true;
  }
  if (ctx.checkMode()) {
    r.setInt(1);
    return true;
  }
  ProgramContext* p = needProgram(ctx, "EVAL");
  if (!p) return false;
  std::string text, error;
  if (!valueToText(a[0], 2, text, error)) {
    ctx.setError(std::move(error));
    return false;
  }
  ScriptState& state = scriptState(*p);
  if (state.evalDepth >= kMaxEvalDepth) {
    ctx.setErrorf("EVAL() nested more than %d deep in '%.60s'", kMaxEvalDepth, text.c_str());
    return false;
  }
  ExprOptions options = scriptExprOptions(*p, kCopyStrings | kCaseSensitive | kAllowAt | kUseCache | kNoCheck);
  options.functions = ctx.functions();
  CompiledExpr expr = expParseExpression(text, options, error);
  if (!expr) {
    ctx.setError(error.empty() ? strFormat("Error parsing expression '%s'", text.c_str()) : error);
    return false;
  }
  ++state.evalDepth;
  Value v;
  bool ok = expEvaluate(*expr, v);
  --state.evalDepth;
  if (!ok) {
    ctx.setError(expr->error());
    return false;
  }
  r = v.copy();  // it may view the compiled text, which the cache can drop
  return true;
}

constexpr OperatorDef kRows[] = {
    functionRow("VALUEOF", -1, valueofFn),
    functionRow("ATTRSTR", 2, attrstrFn),
    functionRow("EVAL", 1, evalFn),
};

}  // namespace

std::span<const OperatorDef> attrFunctionRows() { return kRows; }

}  // namespace kvarn::script
