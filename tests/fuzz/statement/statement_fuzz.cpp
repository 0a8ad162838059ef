// Runs scripts made from the input through the real compiler and executor in file mode.
// The input does not hold script text: its bytes steer a small generator that writes
// statements of the language (assignments to plain variables and array elements,
// expressions of every operator and many built-in functions, if/else, while loops kept
// short by a counter, foritem, foreach, break, continue, functions with parameters,
// locals, return and goto, calls from statements and expressions, recursion, print,
// MQSC commands with substitution, text run at run time, =import of a small library,
// files, blocks nested as deep as the compiler allows), now and then statements the
// compiler refuses and pieces of the input as they are, so that malformed text stays in
// play. Raw bytes seldom compile; these scripts mostly do, and so reach deep into the
// executor.
//
// The script begins with a straight-line run of assignments of literal values to
// variables no later statement names (@k0..@k9 and the array @ka; the rest of the script
// never writes a 'k' where a name could come from), mixed with assignments the language
// refuses (subscript 0, negative subscripts, five subscripts). After the run each value
// must read back as assigned, and the names only refused must hold nothing. The script
// is run twice, each time in a fresh context, and must write the same output both times.
// The first run counts statements against a budget (which keeps every while loop to the
// executor, statement by statement). When the input's first bit leaves the statements
// unechoed and the first run ends inside the budget, the second runs with no count, its
// while loops through their compiled programs, so the two ways of running a loop are
// compared. The first run must leave no call, scope, loop or text nesting
// behind, nor a block end still awaited. A failed check aborts, so that the fuzzer keeps
// the input.
//
// KVARN_FUZZ_SHOW=1 prints the script made and the output of its first run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "../support/fuzz_standins.h"
#include "../support/script_host_standin.h"
#include "context/context.h"
#include "context/output.h"
#include "script/resolver.h"
#include "script/script_state.h"

using namespace kvarn::script;

namespace {

constexpr int kBudget = 1000;             // statements a run may take
constexpr size_t kScriptStatements = 160;    // statements the generator writes
constexpr size_t kScriptBytes = 16000;
constexpr int kBlockNesting = 4;
constexpr int kExprNesting = 4;

[[noreturn]] void fail(const char* what, const std::string& script, const std::string& detail = {}) {
  std::fprintf(stderr, "statement fuzz check failed: %s\n%s\n---- script\n%s\n", what, detail.c_str(),
               script.c_str());
  std::abort();
}

// ---- the input as a source of choices --------------------------------------------------

class Choices {
 public:
  Choices(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  // Past the end every choice is 0, which ends blocks and lists: a short input makes a
  // short script.
  uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  size_t below(size_t n) { return n <= 1 ? 0 : byte() % n; }
  bool percent(unsigned p) { return pos_ < size_ && byte() % 100 < p; }
  uint32_t word() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | byte();
    return v;
  }
  bool exhausted() const { return pos_ >= size_; }
  std::string_view take(size_t n) {
    n = std::min(n, size_ - pos_);
    std::string_view s(reinterpret_cast<const char*>(data_) + pos_, n);
    pos_ += n;
    return s;
  }
  template <typename T, size_t N>
  const T& of(const T (&options)[N]) {
    return options[below(N)];
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// ---- what the straight-line prefix assigned ---------------------------------------------

struct Expected {
  std::string name;
  std::vector<int32_t> subscripts;
  enum class Kind { Int, Real, Text } kind = Kind::Int;
  int64_t integer = 0;
  double real = 0;
  std::string text;
};

std::string subscriptText(const std::vector<int32_t>& subs) {
  std::string out;
  for (size_t i = 0; i < subs.size(); ++i) out += (i ? ", " : "") + std::to_string(subs[i]);
  return out;
}

// ---- the generator ------------------------------------------------------------------------

// Pieces of text the generator draws from. None holds a 'k' or 'K', so that no value
// run as statements or substituted into one can name a reserved variable.
constexpr std::string_view kStrings[] = {"abc", "", "A,B,C", "1", "2.5", "x y", "Hello, World", "9.3.0",
                                         "a,b,,c", "*", "APP.*", "  padded  ", "-7", "0x1F", "QUEUE(A) DESCR('d')"};
constexpr std::string_view kPlainVars[] = {"@a", "@b", "@c", "@d", "@e", "@LongVariableNameOf31Characters"};
constexpr std::string_view kArrays[] = {"@arr", "@m", "@a", "@LongVariableNameOf31Characters"};
constexpr std::string_view kSystemVars[] = {"_item",   "_idxWhile", "_numWhile",   "_idxItem", "_numItem",
                                            "_idxEach", "_numEach", "_sep",        "_nl",      "_cmdok",
                                            "_responses", "_lastcmdresp", "_error_func", "_stream", "_os",
                                            "_errno",  "_lastresp", "_matches"};
constexpr std::string_view kAttributes[] = {"QUEUE", "CURDEPTH", "MAXDEPTH", "QTIME", "QTIME.long", "DESCR",
                                            "CONNAME", "NOSUCH", "XQTIME.short"};
constexpr std::string_view kBinaryOps[] = {"+",  "-",  "*",  "/",  "%",  "=",  "==", "!=", "<>", ">",
                                           ">=", "<",  "<=", "|",  "||", "&",  "&&", "OR", "AND", "EQ",
                                           "NE", "GT", "GE", "LT", "LE", "LK", "NL", "CT", "EX",  "CTG", "EXG"};
constexpr std::string_view kUnaryOps[] = {"-", "+", "!", "NOT "};
constexpr std::string_view kSubscripts[] = {"1", "2", "3", "1", "2", "0", "-1", "2147483647", "-2147483648",
                                            "2147483648", "99999999999", "1.5", "'ab'", "2 + 1"};
constexpr std::string_view kRunText[] = {
    "print 'run', 1",
    "print @a; @b = 2",
    "@c = 'set at run time'",
    "if (1); print 'in'; endif",
    "foritem('p,q'); print _item; endfor",
    "while (0); endwhile",
    "func g9(); print 'g9'; endfunc",
    "=import file(nothing.txt)",
    "leave",
    "continue",
    "return 1",
    "print <@a>",
    "@a",
    "DISPLAY QLOCAL(RUN.*)",
};
constexpr std::string_view kCommands[] = {
    "DEFINE QLOCAL(Q.<@a>) REPLACE",
    "DISPLAY QLOCAL(APP.*) CURDEPTH",
    "DIS CHANNEL(*)",
    "ALTER QLOCAL(X) DESCR('<@b>')",
    "DELETE QLOCAL(Z)",
    "DISPLAY QLOCAL(<@nothere>)",
    "DIS QL(<_item>)",
};
constexpr std::string_view kForeach[] = {
    "DISPLAY QLOCAL(*) CURDEPTH MAXDEPTH", "DIS Q(A)", "DIS CHANNEL(TO.*)", "RESET QSTATS(X)",
    "DISPLAY QLOCAL(<@a>)", "ALTER QLOCAL(X)", "DIS QL(ABCDEF)", "@a",
};
constexpr std::string_view kForitemLists[] = {
    "'a,b,c'", "'x'", "''", "@a", "'<@b>,z'", "'1, 2,,3'", "@arr[1] + ',w'", "STR(12) + ',' + STR(3.5)",
};

struct FunctionInfo {
  std::string name;
  int params = 0;
  bool guarded = false;  // begins by returning once @p0 passes a bound
};

class Generator {
 public:
  explicit Generator(Choices& in) : in_(in) {}

  std::string script;
  std::vector<Expected> expected;
  std::vector<std::string> refusedOnly;  // reserved plain names only refused assignments named

  void generate() {
    prefix();
    // Most scripts give their variables values first, so that later statements find
    // them and run on instead of stopping at the first undefined name.
    if (!in_.percent(10)) {
      line("@a = 1", false);
      line("@b = 'abc'", false);
      line("@c = 2.5", false);
      line("@d = 0", false);
      line("@e = 'A,B,C'", false);
      line("@LongVariableNameOf31Characters = 31", false);
      line("@arr[1] = 3; @arr[2] = 1; @arr[3] = 2", false);
      line("@m[1, 1] = 'x'; @m[1, 2] = 'y'; @m[2, 1] = 'z'; @m[2, 2] = 'w'", false);
    }
    while (!in_.exhausted() && statements_ < kScriptStatements && script.size() < kScriptBytes) {
      if (in_.percent(12)) function();
      else statement(0);
    }
  }

 private:
  // Whether to write something the compiler refuses. Seldom inside a function: one
  // refusal there drops the whole definition, and with it every call of it.
  bool broken() { return !in_.exhausted() && in_.byte() < (fn_ ? 2 : 8); }

  // ---- emitting lines
  void line(std::string text, bool joinable = true) {
    ++statements_;
    if (joinable && lastJoinable_ && in_.percent(4)) {
      script += "; ";
    } else {
      if (!script.empty()) script += '\n';
      script.append(static_cast<size_t>(indent_) * 2, ' ');
    }
    // Now and then the line goes on on a continuation line, split at a blank outside
    // quotes: "+" at the end joins the pieces with a blank.
    if (joinable && in_.percent(3)) {
      std::vector<size_t> blanks;
      char quote = 0;
      for (size_t i = 0; i < text.size(); ++i) {
        if (quote) {
          if (text[i] == quote) quote = 0;
        } else if (text[i] == '\'' || text[i] == '"') {
          quote = text[i];
        } else if (text[i] == ' ' && i > 0) {
          blanks.push_back(i);
        }
      }
      if (!blanks.empty()) {
        size_t at = blanks[in_.below(blanks.size())];
        text = text.substr(0, at) + " +\n" + std::string(static_cast<size_t>(indent_) * 2 + 2, ' ') +
               text.substr(at + 1);
      }
    }
    script += text;
    lastJoinable_ = joinable;
  }

  // ---- the reserved prefix
  std::string literal(Expected& e) {
    switch (in_.below(3)) {
    case 0: {
      static const int64_t kInts[] = {0, 1, -1, 42, 2147483647, -2147483648LL, 999999999999999999LL,
                                      -999999999999999999LL, 4294967296LL};
      e.kind = Expected::Kind::Int;
      e.integer = in_.percent(50) ? in_.of(kInts) : static_cast<int32_t>(in_.word());
      if (e.integer >= 0 && in_.percent(25)) return "0x" + hex(static_cast<uint64_t>(e.integer));
      if (e.integer < 0) return "-" + std::to_string(-e.integer);
      return std::to_string(e.integer);
    }
    case 1: {
      auto eighths = static_cast<int16_t>(in_.byte() << 8 | in_.byte());
      e.kind = Expected::Kind::Real;
      e.real = eighths / 8.0;
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.3f", e.real < 0 ? -e.real : e.real);
      std::string text = buf;
      if (text.starts_with("0.") && in_.percent(30)) text.erase(0, 1);  // ".5"
      return e.real < 0 ? "-" + text : text;
    }
    default: {
      e.kind = Expected::Kind::Text;
      if (in_.percent(50)) {
        e.text = std::string(in_.of(kStrings));
        if (e.text.find('\'') != std::string::npos) e.text = "quoted";
      } else {
        static constexpr std::string_view kChars = "ABCDEFGHIJLMNOPQRSTUVWXYZabcdefghijlmnopqrstuvwxyz0123456789 ,.:_";
        size_t n = in_.below(12);
        for (size_t i = 0; i < n; ++i) e.text += kChars[in_.below(kChars.size())];
      }
      return "'" + e.text + "'";
    }
    }
  }

  static std::string hex(uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(v));
    return buf;
  }

  void prefix() {
    bool plainUsed[10] = {};
    size_t n = in_.below(12);
    for (size_t i = 0; i < n; ++i) {
      unsigned which = in_.below(10);
      if (which < 2) {  // refused: a subscript below 1, or too many subscripts
        std::string name = which == 0 ? "@ka" : "@k" + std::to_string(in_.below(10));
        static const char* kRefused[] = {"0", "-1", "-2147483648", "1, 0", "2, -5, 3", "1, 2, 3, 4, 5", "0, 0, 0, 0"};
        std::string value = std::to_string(static_cast<int>(in_.byte()));
        line(name + "[" + in_.of(kRefused) + "] = " + value, false);
        if (name != "@ka" && !plainUsed[name[2] - '0']) refusedOnly.push_back(name);
        continue;
      }
      Expected e;
      if (which < 6) {
        int k = static_cast<int>(in_.below(10));
        if (plainUsed[k]) continue;
        plainUsed[k] = true;
        e.name = "@k" + std::to_string(k);
      } else {
        e.name = "@ka";
        static const int32_t kSubs[] = {1, 2, 3, 7, 100, 65536, 2147483647};
        size_t count = 1 + in_.below(4);
        for (size_t j = 0; j < count; ++j)
          e.subscripts.push_back(in_.percent(70) ? in_.of(kSubs) : static_cast<int32_t>(1 + in_.word() % 2147483647u));
        bool taken = false;
        for (const Expected& other : expected) taken = taken || (other.name == e.name && other.subscripts == e.subscripts);
        if (taken) continue;
      }
      std::string value = literal(e);
      std::string target = e.subscripts.empty() ? e.name : e.name + "[" + subscriptText(e.subscripts) + "]";
      line(target + " = " + value, false);
      expected.push_back(std::move(e));
    }
    std::erase_if(refusedOnly, [&](const std::string& name) { return plainUsed[name[2] - '0']; });
  }

  // ---- expressions
  std::string stringLiteral() {
    std::string_view s = in_.of(kStrings);
    if (s.find('\'') != std::string_view::npos) return "\"" + std::string(s) + "\"";
    return "'" + std::string(s) + "'";
  }

  std::string number() {
    static constexpr std::string_view kNumbers[] = {
        "0",   "1",    "2",    "3",    "7",    "10",         "-3",   "2147483647",         "2147483648", "0.5",
        ".25", "3.0",  "-2.5", "0x1F", "0xFFFFFFFFFFFFFFFF", "0x'414243'", "999999999999999999", "4294967297"};
    if (broken()) return in_.percent(50) ? "1e5" : "1234567890123456789";
    if (!in_.percent(12)) return std::to_string(in_.below(6));
    return std::string(in_.of(kNumbers));
  }

  std::string arrayElement(int depth) {
    std::string out(in_.of(kArrays));
    out += '[';
    size_t count = 1 + in_.below(broken() ? 5 : 3);
    for (size_t i = 0; i < count; ++i) {
      if (i) out += ", ";
      unsigned how = in_.below(20);
      if (how < 17) out += std::to_string(1 + how % 3);
      else if (how < 19) out += std::string(in_.of(kSubscripts));
      else out += expr(depth + 1);
    }
    return out + ']';
  }

  std::string plainVariable() {
    if (fn_ && in_.percent(50)) {
      std::vector<std::string> names;
      for (int i = 0; i < fn_->params; ++i) names.push_back("@p" + std::to_string(i));
      for (const std::string& l : locals_) names.push_back("@" + l);
      if (!names.empty()) return names[in_.below(names.size())];
    }
    if (broken()) return "@LongVariableNameOf32CharactersX";  // one too long
    return std::string(in_.of(kPlainVars));
  }

  std::string variable(int depth) {
    switch (in_.below(20)) {
    case 0:
    case 1:
    case 2: return arrayElement(depth);
    case 3:
    case 4: return std::string(in_.of(kSystemVars));
    case 5: return std::string(in_.of(kAttributes));
    case 6:
    case 7:
      if (!counters_.empty()) return counters_[in_.below(counters_.size())];
      [[fallthrough]];
    default: return plainVariable();
    }
  }

  std::string arrayName() { return std::string(in_.of(kArrays)); }

  std::string builtin(int depth) {
    auto e = [&] { return expr(depth + 1); };
    switch (in_.below(28)) {
    case 0: return "STR(" + e() + ")";
    case 1: return "STRLEN(" + e() + ")";
    case 2: return "UPPER(" + e() + ")";
    case 3: return "LOWER(" + e() + ")";
    case 4: return "SUBSTR(" + e() + ", " + e() + ", " + e() + ")";
    case 5: return (in_.percent(50) ? "FINDSTR(" : "FINDSTRI(") + e() + ", " + e() + ")";
    case 6: return "STRREPLACE(" + e() + ", " + e() + ", " + e() + ")";
    case 7: return "TRIMSTR(" + e() + (in_.percent(30) ? ", " + e() : "") + ")";
    case 8: return "NUMITEMS(" + e() + ")";
    case 9: return "ITEMVAL(" + e() + ", " + e() + ")";
    case 10: return "CMPVER(" + e() + ", " + e() + ")";
    case 11: return std::string(in_.of({"SQRT(", "FLOOR(", "CEIL(", "ROUND("})) + e() + ")";
    case 12: return "POWER(" + e() + ", " + e() + ")";
    case 13: {
      std::string out = in_.percent(50) ? "MAX(" : "MIN(";
      size_t n = 1 + in_.below(4);
      for (size_t i = 0; i < n; ++i) out += (i ? ", " : "") + e();
      return out + ")";
    }
    case 14: return std::string(in_.percent(50) ? "SORT(" : "SORTD(") + arrayName() + (in_.percent(40) ? ", " + e() : "") + ")";
    case 15: return "DELVAR(" + (in_.percent(60) ? plainVariable() : arrayElement(depth)) + ")";
    case 16: return "EXISTS(" + (in_.percent(50) ? plainVariable() : in_.percent(50) ? arrayName() : arrayElement(depth)) + ")";
    case 17: return "NUMSUBS(" + (in_.percent(90) ? arrayName() : arrayElement(depth)) + ")";
    case 18:
      return std::string(in_.percent(50) ? "MINSUB(" : "MAXSUB(") + arrayName() + (in_.percent(50) ? ", " + e() : "") + ")";
    case 19: return "EVAL(" + (in_.percent(50) ? std::string(in_.of({"'1 + 2'", "'@a'", "'EVAL(\"@b\")'", "'STR(1'", "''"})) : e()) + ")";
    case 20: return "VALUEOF(" + e() + (in_.percent(70) ? ", " + e() : "") + ")";
    case 21: return "ATTRSTR(" + e() + ", " + e() + ")";
    case 22: return "DATE(" + std::to_string(in_.word()) + ", " + stringLiteral() + ")";
    case 23: return "MQTIME(" + std::string(in_.of({"'20240102'", "'2024-01-02'", "''"})) + ", " + std::string(in_.of({"'10203040'", "'10.20.30'", "'x'"})) + ")";
    case 24: return "RANDOM(" + e() + ", " + e() + ")";
    case 25: return "SEEDRAND(" + e() + ")";
    case 26: return "ATTRSTR('DESCR', _lastresp)";
    default: {
      if (!broken()) return "STR(" + e() + ")";
      // a wrong number of arguments
      std::string out = std::string(in_.of({"STR(", "SUBSTR(", "DELVAR(", "STRLEN(", "SORT("}));
      size_t n = in_.below(5);
      for (size_t i = 0; i < n; ++i) out += (i ? ", " : "") + e();
      return out + ")";
    }
    }
  }

  std::string call(int depth) {
    const FunctionInfo& f = callable_[in_.below(callable_.size())];
    std::string out = f.name + "(";
    int n = broken() ? static_cast<int>(in_.below(5)) : f.params;
    for (int i = 0; i < n; ++i) {
      if (i) out += ", ";
      // A recursive call moves towards the bound its guard checks.
      if (i == 0 && fn_ && fn_->name == f.name && f.guarded) out += "@p0 + 1";
      else out += expr(depth + 1);
    }
    return out + ")";
  }

  std::string expr(int depth = 0) {
    if (depth >= kExprNesting) return in_.percent(50) ? number() : plainVariable();
    switch (in_.below(16)) {
    case 0:
    case 1: return number();
    case 2: return stringLiteral();
    case 3:
    case 4:
    case 5: return variable(depth);
    case 6: return std::string(in_.of(kUnaryOps)) + expr(depth + 1);
    case 7:
    case 8:
    case 9: return expr(depth + 1) + " " + std::string(in_.of(kBinaryOps)) + " " + expr(depth + 1);
    case 10: return "(" + expr(depth + 1) + ")";
    case 11:
    case 12: return builtin(depth);
    case 13:
      if (!callable_.empty()) return call(depth);
      return number();
    case 14:
      if (in_.percent(10)) return "CONST." + std::string(in_.of({"SYNC", "KEY_ESC", "MQQT_LOCAL", "MQCA_Q_NAME"}));
      if (broken()) return "CONST.NOSUCH";
      return variable(depth);
    default:
      if (broken()) return "(" + expr(depth + 1);  // a malformed one now and then
      return stringLiteral();
    }
  }

  std::string condition() {
    static constexpr std::string_view kCompare[] = {"<", "<=", ">", ">=", "=", "!=", "<>", "LT", "GE", "EQ"};
    if (in_.percent(60)) return expr(2) + " " + std::string(in_.of(kCompare)) + " " + expr(2);
    return expr(1);
  }

  // ---- statements
  void block(int depth) {
    bool labelled = fn_ && in_.percent(25);
    std::string label;
    if (labelled) {
      label = "L" + std::to_string(labelCount_++);
      labels_.push_back(label);
    }
    ++indent_;
    size_t n = in_.below(6);
    for (size_t i = 0; i < n && statements_ < kScriptStatements; ++i) statement(depth + 1);
    if (labelled) {
      labels_.pop_back();
      line("label " + label, false);
      placedLabels_.push_back(label);
    }
    --indent_;
  }

  void whileLoop(int depth) {
    // A function's counters are its own, so that a call inside a loop cannot reset the
    // loop's counter.
    std::string counter = "@w" + std::to_string(counterCount_++ % 10);
    if (fn_) line("var " + counter.substr(1));
    line(counter + " = 0");
    unsigned limit = 1 + in_.below(3);
    bool open = in_.percent(25);
    if (open) line("while (1)", false);
    else line("while (" + counter + " < " + std::to_string(limit) + (in_.percent(20) ? " & " + condition() : "") + ")", false);
    ++indent_;
    line(counter + " = " + counter + " + 1");
    if (open) {
      line("if (" + counter + " > " + std::to_string(limit) + ")", false);
      line("  break", false);
      line("endif", false);
    }
    --indent_;
    counters_.push_back(counter);
    ++loops_;
    block(depth);
    --loops_;
    counters_.pop_back();
    line("endwhile", false);
  }

  void assignment(int depth) {
    std::string target = in_.percent(60) ? plainVariable() : arrayElement(depth);
    line(target + " = " + expr());
  }

  void printStatement() {
    std::string out = "print";
    size_t n = in_.below(4);
    for (size_t i = 0; i < n; ++i) {
      out += i ? ", " : " ";
      if (in_.percent(15)) out += std::string(in_.of({":8:", ":3r:", ":10l:", ":p4:", ":n:", ":s:", ":0p0:", ":x:"}));
      out += in_.percent(10) ? "_sep" : expr();
    }
    line(out);
  }

  void evalStatement(int depth) {
    switch (in_.below(8)) {
    case 0: return line("sort(" + arrayName() + (in_.percent(30) ? ", " + expr() : "") + ")");
    case 1: return line("sortd(" + arrayName() + ")");
    case 2: return line("delvar(" + (in_.percent(50) ? plainVariable() : arrayElement(depth)) + ")");
    case 3: return line("exists(" + plainVariable() + ")");
    case 4: return line("numsubs(" + arrayName() + ")");
    case 5: return line(std::string(in_.percent(50) ? "minsub(" : "maxsub(") + arrayName() + ")");
    case 6: return line("seedrand(" + expr() + ")");
    default: return line("eval(" + expr() + ")");
    }
  }

  void files() {
    switch (in_.below(5)) {
    case 0: return line("@f = fopen(" + std::string(in_.of({"'out'", "'in.txt'", "'none'", "''"})) + ", " + std::string(in_.of({"'w'", "'r'", "'a+'", "'q'"})) + ")");
    case 1: return line("fprint @f, " + expr() + (in_.percent(30) ? ", _sep" : ""));
    case 2: return line("@n = fgets(@f, " + plainVariable() + ")");
    case 3: return line("fclose(@f)");
    default: return line("print fgets(" + std::string(in_.of({"@f", "100", "999"})) + ", @line), @line");
    }
  }

  // A piece of the input as it is, without NUL, and without 'k' or a hex string (which
  // could spell one) so that it cannot name a reserved variable.
  void raw() {
    std::string text(in_.take(in_.below(48)));
    for (size_t i = 0; i < text.size(); ++i) {
      char& c = text[i];
      if (c == 'k' || c == 'K') c = 'q';
      else if (c == '\0') c = ' ';
      else if ((c == '\'' || c == '"') && i > 0 && (text[i - 1] == 'x' || text[i - 1] == 'X')) c = ' ';
    }
    script += '\n';
    script += text;
    ++statements_;
    lastJoinable_ = false;
  }

  void statement(int depth) {
    if (script.size() >= kScriptBytes) return;
    bool nest = depth < kBlockNesting;
    switch (in_.below(30)) {
    case 0:
    case 1:
    case 2:
    case 3: return assignment(depth);
    case 4:
    case 5: return printStatement();
    case 6:
    case 7:
      if (!nest) return assignment(depth);
      if (in_.percent(15)) {  // the body's first statement on the if line
        line("if (" + condition() + ") print 'then'", false);
      } else {
        line("if (" + condition() + ")", false);
      }
      block(depth);
      if (in_.percent(40)) {
        line("else", false);
        block(depth);
      }
      return line("endif", false);
    case 8:
    case 9:
      if (!nest) return printStatement();
      return whileLoop(depth);
    case 10:
      if (!nest) return printStatement();
      line("foritem(" + std::string(in_.of(kForitemLists)) + ")", false);
      ++loops_;
      block(depth);
      --loops_;
      return line("endfor", false);
    case 11:
      if (!nest) return printStatement();
      line("foreach(" + std::string(in_.of(kForeach)) + ")", false);
      ++loops_;
      block(depth);
      --loops_;
      return line("endfor", false);
    case 12:
    case 13:
      if (callable_.empty()) return assignment(depth);
      if (in_.percent(20)) return line(callable_[in_.below(callable_.size())].name);
      return line(call(0));
    case 14: return evalStatement(depth);
    case 15:
      // Outside a loop these are reported; inside they end the pass or the loop.
      if (loops_ == 0 && !in_.percent(10)) return printStatement();
      return line(in_.percent(50) ? "break" : "continue");
    case 16:
      if (!fn_) return line("var " + std::string(in_.of({"a", "x", "@y"})));
      if (broken()) return line("var 3bad");
      return line("var " + std::string(in_.of({"a", "l0", "l1", "@l0", "b, l1"})));
    case 17:
      if (!fn_) return in_.percent(10) ? line("return") : printStatement();
      return line(in_.percent(70) ? "return " + expr() : "return");
    case 18:
      if (!fn_) return in_.percent(5) ? line("goto L0") : assignment(depth);
      if (!labels_.empty()) return line("goto " + labels_[in_.below(labels_.size())]);
      // Back to a label already passed: a loop that only the budget ends.
      if (!placedLabels_.empty() && in_.percent(5)) return line("goto " + placedLabels_[in_.below(placedLabels_.size())]);
      if (broken()) return line("goto Nowhere");
      return printStatement();
    case 19: return line(std::string(in_.of(kCommands)));
    case 20:  // text run at run time
      if (in_.percent(50)) {
        line("@s = \"" + std::string(in_.of(kRunText)) + "\"");
        return line("@s");
      }
      return line("\"" + std::string(in_.of(kRunText)) + "\"");
    case 21:
      if (in_.percent(50) && !callable_.empty())
        return line("_error_func = '" + callable_[in_.below(callable_.size())].name + "'");
      return line(std::string(in_.of({"_error_func = ''", "_stream = 'out'", "_error_func = 'nosuch'", "_time = 1"})));
    case 22: return files();
    case 23:
      if (fn_ || depth > 0 || in_.percent(70)) return printStatement();
      return line("leave");
    case 24:
      if (broken()) return raw();
      return assignment(depth);
    case 25:
      if (broken()) {
        if (fn_ && in_.percent(50)) return line(std::string(in_.of({"label", "goto", "label 9x", "label a b", "goto a b"})), false);
        if (!fn_ && depth == 0 && in_.percent(20)) return deepNesting();
        static constexpr std::string_view kRefused[] = {
            "xyz(1)", "endif", "endfunc", "else", "func inner()", "var", "@a[1 = 2", "foreach(DIS Q(A); DIS Q(B))",
            "foritem 'a'", "foreach(DIS Q(A)", "if 1", "while (1", "func", "func 9f()", "func f(a b)", "func f(a, b",
            "func f(@LongParameterNameOf32Characters)", "func f(9)", "func LongFunctionNameOf32CharactersXY()",
            "f0 1", "f0(1", "print :x:1", "print :9999999:1"};
        return line(std::string(in_.of(kRefused)), false);
      }
      if (in_.percent(30)) return import(depth);
      return line(std::string(in_.of({"* a comment", "", "wait(1)", "print"})), false);
    default:
      if (fn_ && !labels_.empty() && in_.percent(25)) return line("goto " + labels_[in_.below(labels_.size())]);
      return assignment(depth);
    }
  }

  // Blocks inside blocks to about the depth the compiler allows, now and then with ends
  // missing.
  void deepNesting() {
    static constexpr size_t kDepths[] = {40, 200, 999, 1000, 1001};
    static constexpr std::string_view kOpen[] = {"if (1)", "foritem('a')", "while (0)", "if (0)"};
    static constexpr std::string_view kEnd[] = {"endif", "endfor", "endwhile", "endif"};
    size_t depth = in_.of(kDepths);
    unsigned pattern = in_.byte() | 1;
    std::vector<size_t> kinds;
    for (size_t i = 0; i < depth; ++i) {
      kinds.push_back((i * pattern) % std::size(kOpen));
      script += '\n';
      script += kOpen[kinds.back()];
    }
    script += "\nprint 'deep'";
    size_t missing = in_.percent(20) ? in_.below(3) : 0;
    for (size_t i = depth; i-- > missing;) {
      script += '\n';
      script += kEnd[kinds[i]];
    }
    statements_ += 2 * depth;
    lastJoinable_ = false;
  }

  // The files of the scratch folder (writeLibraryFiles): a library that defines libf(x), a
  // file whose definition has no end, and one that does not exist.
  void import(int depth) {
    std::string file(in_.of({"lib.txt", "lib.txt", "bad.txt", "none.txt"}));
    std::string parms = in_.percent(50) ? " parms(" + std::string(in_.of({"A(1), 'two, words'", "B(x) A(2)", ""})) + ")" : "";
    line("=import file(" + file + ")" + parms, false);
    // Run where it stands, the library's definition takes effect for what follows.
    if (file == "lib.txt" && depth == 0 && !fn_ && !in_.percent(10)) {
      std::erase_if(callable_, [](const FunctionInfo& g) { return g.name == "libf"; });
      callable_.push_back({"libf", 1, false});
    }
  }

  void function() {
    FunctionInfo f;
    f.name = "f" + std::to_string(in_.below(4));
    f.params = static_cast<int>(in_.below(4));
    f.guarded = f.params > 0 && in_.percent(80);
    std::string header = "func " + f.name + "(";
    for (int i = 0; i < f.params; ++i) header += (i ? ", " : "") + std::string(in_.percent(50) ? "@" : "") + "p" + std::to_string(i);
    header += ")";
    if (in_.percent(20)) line("* " + f.name + " does a thing", false);
    line(header, false);
    // Calls inside the body may reach the function itself (the definition being compiled
    // is the one they call) and every function defined before.
    std::vector<FunctionInfo> outer = callable_;
    std::erase_if(callable_, [&](const FunctionInfo& g) { return g.name == f.name; });
    callable_.push_back(f);
    fn_ = &callable_.back();
    locals_.clear();
    labels_.clear();
    placedLabels_.clear();
    ++indent_;
    if (in_.percent(40)) {
      static constexpr std::string_view kLocals[] = {"l0", "l1", "a", "b"};
      std::string names;
      size_t n = 1 + in_.below(3);
      for (size_t i = 0; i < n; ++i) {
        std::string l(in_.of(kLocals));
        locals_.push_back(l);
        names += (i ? ", " : "") + l;
      }
      line("var " + names);
    }
    if (f.guarded) {
      line("if (@p0 > " + std::to_string(2 + in_.below(3)) + ")", false);
      line("  return @p0", false);
      line("endif", false);
    }
    --indent_;
    block(0);
    ++indent_;
    if (in_.percent(60)) line("return " + expr());
    --indent_;
    line("endfunc", false);
    fn_ = nullptr;
    locals_.clear();
    FunctionInfo defined = callable_.back();
    callable_ = std::move(outer);
    std::erase_if(callable_, [&](const FunctionInfo& g) { return g.name == defined.name; });
    callable_.push_back(defined);
  }

  Choices& in_;
  size_t statements_ = 0;
  int indent_ = 0;
  bool lastJoinable_ = false;
  int loops_ = 0;
  int counterCount_ = 0;
  int labelCount_ = 0;
  std::vector<std::string> counters_;
  std::vector<FunctionInfo> callable_;
  const FunctionInfo* fn_ = nullptr;
  std::vector<std::string> locals_;
  std::vector<std::string> labels_;        // labels ahead, in blocks around
  std::vector<std::string> placedLabels_;  // labels already written in this function
};

// ---- running and checking -------------------------------------------------------------------

// The files scripts read: FGETS reads in.txt, =import runs the others. Like everything
// the generator writes, they hold no 'k'.
void writeLibraryFiles() {
  static constexpr std::pair<std::string_view, std::string_view> kFiles[] = {
      {"in.txt", "alpha\nbeta,gamma\n3\n"},
      {"lib.txt",
       "* a library\n"
       "print 'importing', VALUEOF('A'), @_Parm[1]\n"
       "@imported = 1\n"
       "func libf(x)\n"
       "  var y\n"
       "  @y = @x * 2\n"
       "  if (@y > 10)\n"
       "    return @y\n"
       "  endif\n"
       "  return libf(@y + 1)\n"
       "endfunc\n"},
      {"bad.txt", "func libg(x)\n  print 'never'\n"},
  };
  for (const auto& [name, text] : kFiles) std::ofstream(kvarn::fuzz::scratchPath(name), std::ios::binary) << text;
}

// The output of one run, with the time stamps of echoed commands taken out.
std::string normalised(std::string_view text) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
    std::string_view line = text.substr(pos, end - pos);
    line.remove_prefix(commandTimeStampLength(line));
    out.append(line);
    pos = end;
  }
  return out;
}

struct RunResult {
  std::string output;
  std::vector<std::string> issued;
  bool budgetEnded = false;  // the statement budget ended the run
  uint64_t programRuns = 0;  // runs of compiled loop programs
};

bool sameValue(const Value& v, const Expected& e) {
  switch (e.kind) {
  case Expected::Kind::Int: return v.type() == LexemeType::Int && v.asInt() == e.integer;
  case Expected::Kind::Real: return v.type() == LexemeType::Dbl && v.asDbl() == e.real;
  case Expected::Kind::Text: return v.isString() && v.bytes() == e.text;
  }
  return false;
}

std::string shown(const Value& v) {
  std::string text, error;
  if (!valueToText(v, 6, text, error)) text = error;
  return std::string(lexemeTypeName(v.type())) + " " + text;
}

void checkAfterRun(ProgramContext& ctx, const Generator& g, int statementsAfterQuit) {
  ScriptState& state = scriptState(ctx);
  const std::string& script = g.script;
  if (statementsAfterQuit > 0)
    fail("statements ran after the budget ended the run", script, std::to_string(statementsAfterQuit));
  if (!state.frames.empty()) fail("execution frames left behind", script);
  if (state.callDepth != 0) fail("call depth left behind", script, std::to_string(state.callDepth));
  if (state.variables.depth() != 1) fail("variable scopes left behind", script, std::to_string(state.variables.depth()));
  if (state.textNesting != 0 || state.substituting != 0 || state.evalDepth != 0)
    fail("run-time text nesting left behind", script);
  if (state.importsRunning != 0 || state.importsCompiling != 0 || state.definitionsCompiling != 0)
    fail("import or definition nesting left behind", script);
  if (!state.foreachRecords.empty()) fail("foreach records left behind", script);
  if (state.current || state.pendingGoto || state.leaveFlag || state.stopRun || state.inErrorFunction)
    fail("the state of a statement outlived the run", script);
  if (!state.waitingFor.empty() || !state.statusText.empty())
    fail("the status line still waits for a block's end", script, state.statusText);

  for (const Expected& e : g.expected) {
    std::string key, error;
    std::string display = e.name + (e.subscripts.empty() ? "" : "[" + subscriptText(e.subscripts) + "]");
    if (!scriptVariableKey(e.name, e.subscripts, key, error)) fail("no key for a reserved variable", script, display);
    Value v;
    if (scriptReadVariable(ctx, key, v) != Resolution::Found) fail("a reserved variable lost its value", script, display);
    if (!sameValue(v, e)) fail("a reserved variable reads back changed", script, display + " holds " + shown(v));
  }
  for (const std::string& name : g.refusedOnly) {
    Value v;
    if (scriptReadVariable(ctx, name, v) == Resolution::Found)
      fail("a refused assignment left a value", script, name + " holds " + shown(v));
  }
}

// One run of the script in a fresh context; the checks of checkAfterRun when `check`.
// `counted`: statements are counted against the budget; otherwise nothing is counted and
// while loops run compiled.
RunResult run(const Generator& g, bool check, bool counted, bool echo) {
  RunResult result;
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  if (!out) std::abort();
  std::srand(1);  // RANDOM draws from the C library's generator
  kvarn::fuzz::issuedCommands().clear();
  {
    int left = kBudget;
    int afterQuit = 0;
    ProgramContext ctx;
    if (!kvarn::fuzz::prepareFileModeContext(ctx, out)) std::abort();
    if (counted)
      scriptState(ctx).statementHook = [&](ProgramContext& c, CommandNode&, HookEvent event) {
        if (event != HookEvent::Statement) return;
        if (c.quit) ++afterQuit;
        else if (--left <= 0) c.quit = true;
      };
    std::string main = g.script + "\n";
    kvarn::fuzz::runMainText(ctx, main, echo);
    if (check) checkAfterRun(ctx, g, afterQuit);
    result.budgetEnded = left <= 0;
    result.programRuns = scriptState(ctx).compiledLoopRuns;
    (void)scriptState(ctx).closeAllFiles();
    ctx.output->flush();
  }
  std::fclose(out);
  result.output = normalised(std::string_view(text, size));
  result.issued = kvarn::fuzz::issuedCommands();
  std::free(text);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvarn::fuzz::installStandinScriptHost();
  Choices choices(data, size);
  Generator g(choices);
  g.generate();

  static const bool show = std::getenv("KVARN_FUZZ_SHOW") != nullptr;
  if (show) std::printf("---- script\n%s\n", g.script.c_str());

  kvarn::fuzz::clearScratch();
  writeLibraryFiles();

  std::time_t before = std::time(nullptr);
  // Echoed statements are shown by the executor itself, so their runs are compared counted.
  bool echo = size == 0 || (data[0] & 1);
  RunResult first = run(g, true, true, echo);
  RunResult second = run(g, false, echo || first.budgetEnded, echo);
  if (show) std::printf("---- output (compiled loop runs: %llu)\n%s", static_cast<unsigned long long>(second.programRuns),
                       first.output.c_str());
  // _time and DATE() read the clock: a run pair across a second's end may differ.
  if (std::time(nullptr) == before) {
    if (first.output != second.output)
      fail(echo || first.budgetEnded ? "two runs of the same script wrote different output"
                             : "the script's loops compiled wrote other output than run statement by statement",
           g.script,
           "---- first\n" + first.output + "---- second\n" + second.output);
    if (first.issued != second.issued) fail("two runs of the same script issued different commands", g.script);
  }
  return 0;
}
