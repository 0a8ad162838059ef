#include "script/exp_lexer.h"

#include <cctype>
#include <charconv>
#include <cstring>

#include "text/text.h"

namespace kvarn::script {

namespace {

constexpr std::string_view kSingleCharTokens = "()[]!|&<>-+*/=,;";
constexpr std::string_view kPairTokens[] = {"<>", "!=", ">=", "<=", "==", "||", "&&"};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
int hexDigit(char c) {
  if (isDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && scanEqualsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

int at(const RawToken& t, const LexerSetup& s) { return static_cast<int>(t.position) + s.positionOffset; }

constexpr size_t kMaxNumberLength = 19;  // longer numeric literals are refused
constexpr size_t kMaxConstantName = 99;
constexpr size_t kMaxScriptFunctionName = 31;

struct ScriptConstant {
  std::string_view name;
  int64_t value;
};
constexpr ScriptConstant kScriptConstants[] = {{"SYNC", 1}, {"ASYNC", 2}, {"KEY_ESC", 27}};

bool classifyConstant(const RawToken& t, const LexerSetup& s, ExprNode& node, std::string& error) {
  std::string_view name = t.text.substr(6);
  if (name.empty()) {
    error = "No constant name provided";
    return false;
  }
  std::string shown(name);
  if (name.size() <= kMaxConstantName) {
    for (const ScriptConstant& c : kScriptConstants)
      if (scanEqualsNoCase(c.name, name)) {
        node.type = LexemeType::Int;
        node.literal.setInt(c.value);
        return true;
      }
    if (s.vocabulary->constant) {
      if (std::optional<int64_t> v = s.vocabulary->constant(name)) {
        node.type = LexemeType::Int;
        node.literal.setInt(*v);
        return true;
      }
    }
  }
  error = strFormat("Unrecognised constant '%s'.", shown.c_str());
  return false;
}

bool isNameToken(std::string_view text, bool allowAt) {
  size_t i = 0;
  if (allowAt && !text.empty() && text[0] == '@') i = 1;
  if (i >= text.size() || !(isLetter(text[i]) || text[i] == '_')) return false;
  for (++i; i < text.size(); ++i)
    if (!(isLetter(text[i]) || isDigit(text[i]) || text[i] == '.' || text[i] == '_')) return false;
  return true;
}

bool classifyName(const RawToken& t, const LexerSetup& s, ExprNode& node, std::string& error) {
  std::string_view name = t.text;
  IndicatorModifier modifier = IndicatorModifier::None;
  if (name[0] == '_') {
    if (!s.vocabulary->isSystemVariable || !s.vocabulary->isSystemVariable(name)) {
      error = strFormat("Unrecognised system variable '%.*s' at position %d", static_cast<int>(name.size()),
                        name.data(), at(t, s));
      return false;
    }
  } else {
    if (endsWithNoCase(name, ".long")) {
      modifier = IndicatorModifier::Long;
      name.remove_suffix(5);
    } else if (endsWithNoCase(name, ".short")) {
      modifier = IndicatorModifier::Short;
      name.remove_suffix(6);
    }
    if (modifier != IndicatorModifier::None && (!s.vocabulary->isIndicator || !s.vocabulary->isIndicator(name))) {
      std::string what = strFormat("'%.*s' is not an indicator", static_cast<int>(name.size()), name.data());
      error = strFormat("%s at position %d", what.c_str(), at(t, s));
      return false;
    }
  }
  node.type = LexemeType::Var;
  node.name.assign(name);
  node.modifier = modifier;
  return true;
}

bool isIntegerToken(std::string_view text) {
  size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
  size_t digits = text.size() - i;
  if (digits < 1 || digits > 18) return false;
  for (; i < text.size(); ++i)
    if (!isDigit(text[i])) return false;
  return true;
}

bool classifyHex(const RawToken& t, const LexerSetup& s, ExprNode& node, std::string& error) {
  std::string_view body = t.text.substr(2);
  auto invalid = [&] {
    error =
        strFormat("Invalid hex number '%.*s' at position %d", static_cast<int>(t.text.size()), t.text.data(), at(t, s));
    return false;
  };
  if (body[0] == '\'' || body[0] == '"') {
    if (body.size() < 2 || body.back() != body[0]) return invalid();
    std::string_view digits = body.substr(1, body.size() - 2);
    std::string bytes;
    bytes.reserve(digits.size() / 2);
    for (size_t i = 0; i < digits.size(); ++i)
      if (hexDigit(digits[i]) < 0) return invalid();
    for (size_t i = 0; i + 1 < digits.size(); i += 2)  // an odd last digit is ignored
      bytes.push_back(static_cast<char>(hexDigit(digits[i]) * 16 + hexDigit(digits[i + 1])));
    node.type = LexemeType::EPStr;
    node.literal.setOwned(std::move(bytes), LexemeType::EPStr);
    return true;
  }
  if (body.size() > 16) return invalid();  // would not fit 64 bits
  uint64_t v = 0;
  for (char c : body) {
    int d = hexDigit(c);
    if (d < 0) return invalid();
    v = v * 16 + static_cast<uint64_t>(d);
  }
  node.type = LexemeType::Int;
  node.literal.setInt(static_cast<int64_t>(v));
  return true;
}

bool isRealToken(std::string_view text) {
  size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
  size_t dots = 0, digits = 0;
  for (; i < text.size(); ++i) {
    if (text[i] == '.') ++dots;
    else if (isDigit(text[i])) ++digits;
    else return false;
  }
  return dots == 1 && digits >= 1 && text.size() <= kMaxNumberLength;
}

}  // namespace

std::vector<RawToken> expSplitTokens(std::string_view text) {
  std::vector<RawToken> tokens;
  size_t i = 0;
  while (i < text.size()) {
    if (isScanSpace(text[i])) {
      ++i;
      continue;
    }
    size_t start = i;
    char c = text[i];
    if (c == '\'' || c == '"') {
      size_t close = text.find(c, i + 1);
      i = close == std::string_view::npos ? text.size() : close + 1;
    } else if (kSingleCharTokens.find(c) != std::string_view::npos) {
      i += 1;
      if (i < text.size())
        for (std::string_view pair : kPairTokens)
          if (pair[0] == c && pair[1] == text[i]) {
            ++i;
            break;
          }
    } else {
      while (i < text.size() && !isScanSpace(text[i]) && kSingleCharTokens.find(text[i]) == std::string_view::npos) ++i;
    }
    tokens.push_back({text.substr(start, i - start), static_cast<uint32_t>(start)});
  }
  return tokens;
}

bool expClassifyToken(const RawToken& t, const LexerSetup& s, ExprNode& node, std::string& error) {
  std::string_view text = t.text;
  node.position = t.position;

  if (const OperatorDef* row = s.table->match(text)) {
    node.type = LexemeType::Op;
    node.op = row;
    return true;
  }
  if (s.functions && text.size() <= kMaxScriptFunctionName && isNameToken(text, false)) {
    int32_t id = s.functions->find(text);
    if (id >= 0) {
      node.type = LexemeType::Op;
      node.op = nullptr;  // script function: the parser gives it the script-function row
      node.slot = id;
      node.name.assign(text);
      return true;
    }
  }
  if (text[0] == '\'' || text[0] == '"') {
    if (text.size() < 2 || text.back() != text[0]) {
      error = "Quote missing from string";
      return false;
    }
    std::string_view inner = text.substr(1, text.size() - 2);
    if (s.flags & kCopyStrings && !inner.empty()) {
      node.type = LexemeType::EPStr;
      node.literal.setOwned(std::string(inner), LexemeType::EPStr);
    } else {
      node.type = LexemeType::Str;
      node.literal.setView(inner);
    }
    return true;
  }
  if (scanStartsWithNoCase(text, "CONST.")) return classifyConstant(t, s, node, error);
  if (isNameToken(text, s.flags & kAllowAt)) return classifyName(t, s, node, error);
  if (isIntegerToken(text)) {
    int64_t v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    node.type = LexemeType::Int;
    node.literal.setInt(v);
    return true;
  }
  if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) return classifyHex(t, s, node, error);
  if (isRealToken(text)) {
    // from_chars wants digits before the '.', so ".5" and "-.5" are read with a leading 0.
    char buf[kMaxNumberLength + 2];
    size_t n = 0;
    bool negative = text[0] == '-';
    std::string_view digits = negative ? text.substr(1) : text;
    if (digits[0] == '.') buf[n++] = '0';
    std::memcpy(buf + n, digits.data(), digits.size());
    n += digits.size();
    double v = 0;
    std::from_chars(buf, buf + n, v);
    node.type = LexemeType::Dbl;
    node.literal.setDbl(negative ? -v : v);
    return true;
  }
  error = strFormat("Unrecognised token '%.*s' at position %d", static_cast<int>(text.size()), text.data(), at(t, s));
  return false;
}

// ---- vocabulary defaults ----

namespace {

constexpr std::string_view kIndicatorAttributes[] = {"COMPRATE", "COMPTIME", "EXITTIME", "NETTIME",
                                                     "XBATCHSZ", "XMSGSA",   "XQTIME",   "QTIME"};

constexpr std::string_view kSystemVariables[] = {
    "_nl",          "_os",       "_sep",          "_time",           "_qmgr",      "_connqmgr",  "_client",
    "_platform",    "_cmdlevel", "_tolkcmdlevel", "_sarvoacmdlevel", "_ccdtmode",  "_ccdt",      "_width",
    "_height",      "_lastrc",   "_lastrcstr",    "_cmdok",          "_responses", "_matches",   "_respwait",
    "_lastcmdresp", "_lastresp", "_item",         "_idxEach",        "_idxWhile",  "_idxItem",   "_numEach",
    "_numWhile",    "_numItem",  "_errno",        "_errnostr",       "_stream",    "_error_func"};

ExprVocabulary& processVocabulary() {
  static ExprVocabulary vocabulary{nullptr, expDefaultIsIndicator, expDefaultIsSystemVariable};
  return vocabulary;
}

}  // namespace

bool expDefaultIsIndicator(std::string_view name) {
  for (std::string_view a : kIndicatorAttributes)
    if (scanEqualsNoCase(a, name)) return true;
  return false;
}

bool expDefaultIsSystemVariable(std::string_view name) {
  for (std::string_view v : kSystemVariables)
    if (v == name) return true;
  return false;
}

void expSetVocabulary(ExprVocabulary vocabulary) {
  if (!vocabulary.isIndicator) vocabulary.isIndicator = expDefaultIsIndicator;
  if (!vocabulary.isSystemVariable) vocabulary.isSystemVariable = expDefaultIsSystemVariable;
  processVocabulary() = std::move(vocabulary);
}

const ExprVocabulary& expVocabulary() { return processVocabulary(); }

}  // namespace kvarn::script
