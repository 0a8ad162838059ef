// Evaluation against resolvers: variables and subscripts, the test evaluation, the
// absence signal, compile-time binding, functions and script functions, the cache.
#include <cstring>

#include "expr_test_support.h"

namespace kvarn::script::test {

TEST(ExprEval, VariablesAndSubscripts) {
  Runner r;
  r.resolver.values["@a"] = Value::integer(4);
  r.resolver.values[expVariableKey("@arr", std::vector<int32_t>{2, 3})] = Value::view("x");
  r.resolver.values["@s"] = Value::view("abc");
  EXPECT_EQ(r.text("@a * 2 + @s"), "11");
  EXPECT_EQ(r.text("@arr[1 + 1, @a - 1] + 'y'"), "xy");
  EXPECT_EQ(r.text("@arr[0, 1]"), "ERROR: Out of bounds array error on variable '@arr'");
  EXPECT_EQ(r.text("@missing"), "ERROR: Variable '@missing' is not defined in the current scope.");
  EXPECT_EQ(r.text("CURDEPTH"), "");  // an attribute the record lacks reads as ''
}

TEST(ExprEval, OperandsAreEvaluatedRightToLeft) {
  Runner r;
  for (const char* n : {"@a", "@b", "@c"}) r.resolver.values[n] = Value::integer(1);
  r.options.flags |= kNoCheck;
  ASSERT_TRUE(r.run("@a - max(@b, @c)").ok);
  EXPECT_EQ(r.resolver.order, (std::vector<std::string>{"@c", "@b", "@a"}));
  // the first failure met is the one reported
  EXPECT_EQ(r.text("@x1 + @x2"), "ERROR: Variable '@x2' is not defined in the current scope.");
}

TEST(ExprEval, TestEvaluationAcceptsWhatOnlyRunTimeCanDecide) {
  Runner r;
  std::string error;
  // '@' names stand for 1 while compiling, so this compiles without asking the resolver
  CompiledExpr e = expParseExpression("@x / (@y - 1) + @z % (@y - 1)", r.options, error);
  ASSERT_TRUE(e) << error;
  EXPECT_EQ(r.resolver.resolveCalls, 0);
  r.resolver.values["@x"] = Value::integer(3);
  r.resolver.values["@y"] = Value::integer(1);
  r.resolver.values["@z"] = Value::integer(3);
  Value v;
  EXPECT_FALSE(expEvaluate(*e, v));
  EXPECT_EQ(e->error(), "Runtime error:Divide by zero");
  r.resolver.values["@y"] = Value::integer(3);
  ASSERT_TRUE(expEvaluate(*e, v));
  EXPECT_EQ(v.type(), LexemeType::Dbl);
  EXPECT_DOUBLE_EQ(v.asDbl(), 2.5);
  // other names are asked for while compiling
  EXPECT_EQ(r.error("REFUSED > 1"), "Unknown variable 'REFUSED'");
}

TEST(ExprEval, AbsentAttributes) {
  Runner r(kAllowAt);
  r.resolver.absent = {"GONE", "GONE2", "NETTIME.long"};
  r.resolver.values["CURDEPTH"] = Value::integer(5);
  std::string error;
  auto eval = [&](const char* text, std::string& out) {
    CompiledExpr e = expParseExpression(text, r.options, error);
    EXPECT_TRUE(e) << error;
    Value v;
    EXPECT_TRUE(expEvaluate(*e, v)) << e->error();
    std::string ignored;
    valueToText(v, 2, out, ignored);
    return e->absentSignalled();
  };
  std::string out;
  EXPECT_TRUE(eval("GONE > 0", out));
  EXPECT_EQ(out, "0");
  EXPECT_TRUE(eval("NETTIME.long > 1000 AND CURDEPTH > 0", out));
  EXPECT_FALSE(eval("GONE > 0 OR CURDEPTH > 0", out));
  EXPECT_EQ(out, "1");
  EXPECT_FALSE(eval("CURDEPTH OR GONE", out));
  EXPECT_EQ(out, "5");  // the other operand's value itself
  EXPECT_TRUE(eval("GONE | GONE2", out));
  EXPECT_FALSE(eval("(GONE || 1) OR 0", out));  // only OR absorbs the signal
  EXPECT_EQ(out, "0");
  // the signal is cleared at the start of each evaluation
  CompiledExpr e = expParseExpression("CURDEPTH > 0", r.options, error);
  Value v;
  ASSERT_TRUE(expEvaluate(*e, v));
  EXPECT_FALSE(e->absentSignalled());
}

TEST(ExprEval, BindingTurnsValueKeywordsIntoConstants) {
  Runner r(kAllowAt);
  r.resolver.values["TYPE"] = Value::view("QLOCAL");
  ExprRun run = r.run("TYPE EQ QLOCAL AND DEFPSIST = YES");
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_EQ(r.resolver.bound, (std::vector<std::string>{"TYPE|QLOCAL", "QLOCAL|TYPE", "DEFPSIST|YES", "YES|DEFPSIST"}));
  for (const std::string& name : r.resolver.order) EXPECT_NE(name, "QLOCAL");
  EXPECT_EQ(run.text, "1");  // DEFPSIST and YES both read '' here, so they are equal
}

TEST(ExprEval, FunctionsAndVariableParameters) {
  Runner r;
  r.resolver.values["@s"] = Value::view("MiXeD");
  EXPECT_EQ(r.text("LOWER(@s) + '!'"), "mixed!");
  EXPECT_EQ(r.text("MAX(1, 7.5, 'ab')"), "7.50");
  EXPECT_EQ(r.text("MAX()"), "ERROR: MAX needs at least one parameter");

  ExprRun key = r.run("KEY(@ab[1, 2])");
  ASSERT_TRUE(key.ok) << key.error;
  std::string expected = "@ab%\x02\xDD\xDD\xDD";  // filler up to a multiple of 4
  int32_t one = 1, two = 2;
  expected.append(reinterpret_cast<const char*>(&one), 4).append(reinterpret_cast<const char*>(&two), 4);
  EXPECT_EQ(key.text, expected);
  EXPECT_EQ(r.text("KEY(@plain)"), "@plain");
  EXPECT_EQ(r.text("KEY(1)"), "ERROR: The first parameter to function 'KEY' must be a variable");
  EXPECT_EQ(r.text("KEY2(1, 'x')"), "ERROR: The second parameter to function 'KEY2' must be a variable");
}

// Functions that leave a trace, to see in which order operands are evaluated and which
// failure ends an evaluation.
std::vector<std::string> g_trace;

bool traceFn(ExprContext&, std::span<Value> args, Value& result) {
  std::string text, ignored;
  valueToText(args[0], 0, text, ignored);
  g_trace.push_back(text);
  result = args[0];
  return true;
}

bool failFn(ExprContext& ctx, std::span<Value> args, Value&) {
  std::string text, ignored;
  valueToText(args[0], 0, text, ignored);
  g_trace.push_back("fail " + text);
  ctx.setErrorf("FAILS(%s)", text.c_str());
  return false;
}

// Joins its arguments with '/', variable keys shown by name only.
bool joinFn(ExprContext&, std::span<Value> args, Value& result) {
  std::string out;
  for (Value& a : args) {
    std::string text, ignored;
    if (a.type() == LexemeType::Int || a.type() == LexemeType::Dbl) valueToText(a, 0, text, ignored);
    else text = std::string(a.bytes().substr(0, a.bytes().find('%')));
    out += (out.empty() ? "" : "/") + text;
  }
  result.setOwned(std::move(out));
  return true;
}

const OperatorTable& orderTable() {
  static const OperatorDef rows[] = {
      functionRow("T", 1, traceFn),
      functionRow("FAILS", 1, failFn),
      functionRow("KEY", 1, keyFn, kFirstParamIsVariable),
      functionRow("KEY2", 2, keyFn, kSecondParamIsVariable),
      functionRow("JOIN", 3, joinFn, kFirstParamIsVariable | kSecondParamIsVariable),
  };
  static const OperatorTable t = OperatorTable::build(rows, true);
  return t;
}

// Compiles without the test evaluation, then evaluates once with a fresh trace: the
// outcome is the value as text, "ABSENT" or "ERROR: " and the message.
struct OrderRunner : Runner {
  explicit OrderRunner(unsigned flags = kAllowAt) : Runner(flags | kNoCheck) {
    options.table = &orderTable();
    resolver.absent = {"GONE", "GONE2", "GONE3", "GONE4"};
    resolver.values["CURDEPTH"] = Value::integer(5);
    resolver.values["@a"] = Value::integer(1);
    resolver.values[expVariableKey("@arr", std::vector<int32_t>{2})] = Value::integer(20);
  }
  std::string outcome(std::string_view text) {
    std::string error;
    CompiledExpr e = expParseExpression(text, options, error);
    if (!e) return "COMPILE: " + error;
    g_trace.clear();
    resolver.order.clear();
    Value v;
    if (!expEvaluate(*e, v)) return "ERROR: " + e->error();
    if (e->absentSignalled()) return "ABSENT";
    std::string out, ignored;
    valueToText(v, 0, out, ignored);
    return out;
  }
  using Names = std::vector<std::string>;
};

TEST(ExprEvalOrder, BinaryOperandsRightFirstAndFirstFailureWins) {
  OrderRunner r;
  EXPECT_EQ(r.outcome("T(1) + T(2)"), "3");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"2", "1"}));
  EXPECT_EQ(r.outcome("T(1) - T(2) * T(3)"), "-5");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"3", "2", "1"}));
  EXPECT_EQ(r.outcome("(T(1) - T(2)) * T(3)"), "-3");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"3", "2", "1"}));
  // both operands fail: the right one is met first and the left one never runs
  EXPECT_EQ(r.outcome("FAILS(1) + FAILS(2)"), "ERROR: FAILS(2)");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"fail 2"}));
  EXPECT_EQ(r.outcome("FAILS(1) + T(2)"), "ERROR: FAILS(1)");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"2", "fail 1"}));
  // a failure deep in the right operand stops everything to its left
  EXPECT_EQ(r.outcome("T(1) + -(T(2) * FAILS(3)) = T(4)"), "ERROR: FAILS(3)");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"4", "fail 3"}));
  // a failing operator after both operands ran
  EXPECT_EQ(r.outcome("T(1) / (T(2) - T(2)) + FAILS(9)"), "ERROR: FAILS(9)");
  EXPECT_EQ(r.outcome("T(1) / (T(2) - T(2)) + T(9)"), "ERROR: Runtime error:Divide by zero");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"9", "2", "2", "1"}));
  // unary operators and names in the same order
  EXPECT_EQ(r.outcome("-T(1) + @a - @undefined"), "ERROR: Variable '@undefined' is not defined in the current scope.");
  EXPECT_EQ(r.resolver.order, (OrderRunner::Names{"@undefined"}));
  EXPECT_TRUE(g_trace.empty());
}

TEST(ExprEvalOrder, TestEvaluationReportsTheSameFailure) {
  OrderRunner r;
  r.options.flags &= ~kNoCheck;
  std::string error;
  EXPECT_FALSE(expParseExpression("FAILS(1) + FAILS(2)", r.options, error));
  EXPECT_EQ(error, "FAILS(2)");
  EXPECT_FALSE(expParseExpression("KEY2(FAILS(1), 7) + 1", r.options, error));
  EXPECT_EQ(error, "The second parameter to function 'KEY2' must be a variable");
}

TEST(ExprEvalOrder, ArgumentsLastFirst) {
  OrderRunner r;
  r.resolver.values["@x"] = Value::integer(7);
  EXPECT_EQ(r.outcome("T(T(1) + T(2)) + T(T(3))"), "6");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"3", "3", "2", "1", "3"}));
  EXPECT_EQ(r.outcome("JOIN(@p, @q, T(1) + FAILS(2))"), "ERROR: FAILS(2)");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"fail 2"}));
  // the function itself runs only once every argument is there
  EXPECT_EQ(r.outcome("FAILS(T(1) * T(2))"), "ERROR: FAILS(2)");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"2", "1", "fail 2"}));
  EXPECT_EQ(r.outcome("FAILS(FAILS(1))"), "ERROR: FAILS(1)");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"fail 1"}));
  // an argument's value stays its own while the arguments before it are evaluated
  EXPECT_EQ(r.outcome("JOIN(@p, @q, T(@x))"), "@p/@q/7");
  EXPECT_EQ(r.outcome("JOIN(@p, @q, 4) + JOIN(@r, @s, T(@x) + 1)"), "@p/@q/4@r/@s/8");
}

TEST(ExprEvalOrder, SubscriptsAndVariableParameters) {
  OrderRunner r;
  r.resolver.values[expVariableKey("@m", std::vector<int32_t>{1, 2})] = Value::integer(12);
  r.resolver.values[expVariableKey("@m", std::vector<int32_t>{2, 1})] = Value::integer(21);
  EXPECT_EQ(r.outcome("@m[T(1), T(2)]"), "12");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"2", "1"}));
  EXPECT_EQ(r.outcome("@m[T(@a + 1), T(1)] + @arr[T(2)]"), "41");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"2", "1", "2"}));
  EXPECT_EQ(r.resolver.order, (OrderRunner::Names{"@arr", "@a", "@m"}));
  // a subscript that fails: the name is not looked up, earlier subscripts not evaluated
  EXPECT_EQ(r.outcome("@m[FAILS(1), FAILS(2)]"), "ERROR: FAILS(2)");
  EXPECT_EQ(r.outcome("@m[T(1), @m[0, 1]]"), "ERROR: Out of bounds array error on variable '@m'");
  EXPECT_TRUE(g_trace.empty());
  EXPECT_EQ(r.resolver.order, (OrderRunner::Names{"@m"}));

  // a variable parameter: its subscripts are evaluated, its value is not looked up
  EXPECT_EQ(r.outcome("JOIN(@k[T(1)], @l[T(2), T(3)], T(4))"), "@k/@l/4");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"4", "3", "2", "1"}));
  EXPECT_TRUE(r.resolver.order.empty());
  EXPECT_EQ(r.outcome("KEY2(T('k'), @v[T(2)])"), "k");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"2", "k"}));
  EXPECT_EQ(r.outcome("KEY2(FAILS(1), @v[FAILS(2)])"), "ERROR: FAILS(2)");
  // a parameter that is not a variable is refused before anything in it runs, and
  // before the arguments to its left
  EXPECT_EQ(r.outcome("KEY2(FAILS(1), T(2))"), "ERROR: The second parameter to function 'KEY2' must be a variable");
  EXPECT_TRUE(g_trace.empty());
  EXPECT_EQ(r.outcome("JOIN(T(1), @q, T(3))"), "ERROR: The first parameter to function 'JOIN' must be a variable");
  EXPECT_EQ(g_trace, (OrderRunner::Names{"3"}));
  EXPECT_EQ(r.outcome("JOIN(FAILS(1), T(2), FAILS(3))"), "ERROR: FAILS(3)");
  EXPECT_EQ(r.outcome("JOIN(FAILS(1), T(2), 3)"), "ERROR: The second parameter to function 'JOIN' must be a variable");
  EXPECT_TRUE(g_trace.empty());
  EXPECT_EQ(r.outcome("FAILS(5) + KEY(7)"), "ERROR: The first parameter to function 'KEY' must be a variable");
}

TEST(ExprEvalOrder, OrAbsorbsAnAbsentOperand) {
  OrderRunner r;
  using N = OrderRunner::Names;
  EXPECT_EQ(r.outcome("GONE OR CURDEPTH"), "5");
  EXPECT_EQ(r.resolver.order, (N{"CURDEPTH", "GONE"}));
  EXPECT_EQ(r.outcome("CURDEPTH OR GONE"), "5");
  EXPECT_EQ(r.resolver.order, (N{"GONE", "CURDEPTH"}));
  EXPECT_EQ(r.outcome("GONE OR GONE2"), "ABSENT");
  EXPECT_EQ(r.resolver.order, (N{"GONE2", "GONE"}));
  EXPECT_EQ(r.outcome("CURDEPTH | 0"), "1");  // both present: the operator itself
  // an absent right operand does not stop the left one; its failure then counts
  EXPECT_EQ(r.outcome("@undefined OR GONE"), "ERROR: Variable '@undefined' is not defined in the current scope.");
  EXPECT_EQ(r.resolver.order, (N{"GONE", "@undefined"}));
  EXPECT_EQ(r.outcome("FAILS(1) OR GONE"), "ERROR: FAILS(1)");
  // any other failure on the right ends the evaluation before the left operand
  EXPECT_EQ(r.outcome("T(1) OR FAILS(2)"), "ERROR: FAILS(2)");
  EXPECT_EQ(g_trace, (N{"fail 2"}));
  EXPECT_EQ(r.outcome("GONE OR @undefined"), "ERROR: Variable '@undefined' is not defined in the current scope.");
  EXPECT_EQ(r.resolver.order, (N{"@undefined"}));
  // an absent name abandons the rest of its operand, up to the OR
  EXPECT_EQ(r.outcome("FAILS(1) + GONE OR T(2)"), "2");
  EXPECT_EQ(g_trace, (N{"2"}));
  EXPECT_EQ(r.outcome("T(3) OR GONE + T(1)"), "3");
  EXPECT_EQ(g_trace, (N{"1", "3"}));
  EXPECT_EQ(r.outcome("T(3) OR FAILS(1) + GONE"), "3");
  EXPECT_EQ(g_trace, (N{"3"}));
  EXPECT_EQ(r.outcome("GONE + FAILS(1) OR T(2)"), "ERROR: FAILS(1)");
  EXPECT_EQ(g_trace, (N{"2", "fail 1"}));
  EXPECT_EQ(r.outcome("T(GONE) OR 7"), "7");
  EXPECT_TRUE(g_trace.empty());
  EXPECT_EQ(r.outcome("@arr[GONE] OR 4"), "4");
  EXPECT_EQ(r.resolver.order, (N{"GONE"}));
  EXPECT_EQ(r.outcome("4 OR KEY2(T(1), @v[GONE])"), "4");
  EXPECT_TRUE(g_trace.empty());
  // without an OR the signal makes the whole expression false
  EXPECT_EQ(r.outcome("FAILS(1) + GONE"), "ABSENT");
  EXPECT_TRUE(g_trace.empty());
  EXPECT_EQ(r.outcome("GONE + T(1)"), "ABSENT");
  EXPECT_EQ(g_trace, (N{"1"}));
  EXPECT_EQ(r.outcome("NOT (GONE OR GONE2) AND T(1)"), "ABSENT");
  EXPECT_EQ(r.outcome("(GONE || 1) OR 0"), "0");  // '||' does not absorb
}

TEST(ExprEvalOrder, NestedOrs) {
  OrderRunner r;
  using N = OrderRunner::Names;
  EXPECT_EQ(r.outcome("(GONE OR GONE2) OR CURDEPTH"), "5");
  EXPECT_EQ(r.resolver.order, (N{"CURDEPTH", "GONE2", "GONE"}));
  EXPECT_EQ(r.outcome("CURDEPTH OR (GONE OR GONE2)"), "5");
  EXPECT_EQ(r.resolver.order, (N{"GONE2", "GONE", "CURDEPTH"}));
  EXPECT_EQ(r.outcome("(GONE OR GONE2) OR (GONE3 OR GONE4)"), "ABSENT");
  EXPECT_EQ(r.resolver.order, (N{"GONE4", "GONE3", "GONE2", "GONE"}));
  EXPECT_EQ(r.outcome("GONE OR GONE2 OR GONE3 OR CURDEPTH"), "5");
  EXPECT_EQ(r.resolver.order, (N{"CURDEPTH", "GONE3", "GONE2", "GONE"}));
  EXPECT_EQ(r.outcome("(T(1) OR GONE) + (GONE2 OR T(2))"), "3");
  EXPECT_EQ(g_trace, (N{"2", "1"}));
  // the inner OR takes the value, the outer one sees two present operands
  EXPECT_EQ(r.outcome("(GONE OR 0) OR (0 OR GONE2)"), "0");
  // an inner OR in the right operand failing otherwise ends it all
  EXPECT_EQ(r.outcome("T(1) OR (GONE OR FAILS(2))"), "ERROR: FAILS(2)");
  EXPECT_EQ(g_trace, (N{"fail 2"}));
  EXPECT_EQ(r.outcome("(GONE OR FAILS(2)) OR T(1)"), "ERROR: FAILS(2)");
  EXPECT_EQ(g_trace, (N{"1", "fail 2"}));
  // absent deep inside the left operand of an inner OR, within the right of an outer one
  EXPECT_EQ(r.outcome("T(9) OR ((T(1) + GONE) OR GONE2)"), "9");
  EXPECT_EQ(g_trace, (N{"9"}));
  EXPECT_EQ(r.outcome("T(9) OR ((GONE + T(1)) OR T(2))"), "1");
  EXPECT_EQ(g_trace, (N{"2", "1", "9"}));
  EXPECT_EQ(r.outcome("GONE3 OR ((GONE + T(1)) OR T(2))"), "2");
  EXPECT_EQ(g_trace, (N{"2", "1"}));
  // the signal left by an inner OR with both operands absent travels through other
  // operators to the next OR
  EXPECT_EQ(r.outcome("T(8) OR T(1) + (GONE OR GONE2)"), "8");
  EXPECT_EQ(g_trace, (N{"8"}));
  EXPECT_EQ(r.outcome("T(1) + (GONE OR GONE2) OR T(8)"), "8");
  EXPECT_EQ(g_trace, (N{"8"}));
}

TEST(ExprEvalOrder, RepeatedEvaluationsStartAfresh) {
  // One compiled expression evaluated with different names absent each time.
  OrderRunner r;
  std::string error;
  CompiledExpr e = expParseExpression("(@p OR @q) + (@r OR @s)", r.options, error);
  ASSERT_TRUE(e) << error;
  for (const char* n : {"@p", "@q", "@r", "@s"}) r.resolver.values[n] = Value::integer(1);
  struct Round {
    std::set<std::string> absent;
    const char* expected;
  };
  for (const Round& round : std::initializer_list<Round>{{{"@s"}, "2"},
                                                        {{"@q", "@r"}, "2"},
                                                        {{"@p", "@q"}, "ABSENT"},
                                                        {{}, "2"},
                                                        {{"@r", "@s"}, "ABSENT"},
                                                        {{"@p"}, "2"}}) {
    r.resolver.absent = round.absent;
    Value v;
    ASSERT_TRUE(expEvaluate(*e, v)) << e->error();
    std::string out, ignored;
    valueToText(v, 0, out, ignored);
    EXPECT_EQ(e->absentSignalled() ? "ABSENT" : out, round.expected);
  }
}

class SumHost : public ScriptFunctionHost {
 public:
  int calls = 0;
  int32_t find(std::string_view name) const override { return name == "sum" ? 0 : -1; }
  std::string_view name(int32_t) const override { return "sum"; }
  bool call(int32_t, std::span<Value> args, Value& result, ExprContext&) override {
    ++calls;
    int64_t total = 0;
    for (Value& a : args) total += valueInteger(a);
    result.setInt(total);
    return true;
  }
};

TEST(ExprEval, ScriptFunctions) {
  Runner r;
  SumHost host;
  r.options.functions = &host;
  std::string error;
  CompiledExpr e = expParseExpression("sum(1, 2, sum()) * 2", r.options, error);
  ASSERT_TRUE(e) << error;
  EXPECT_EQ(host.calls, 0);  // not called by the test evaluation
  Value v;
  ASSERT_TRUE(expEvaluate(*e, v));
  EXPECT_EQ(v.asInt(), 6);
  EXPECT_EQ(host.calls, 2);
  EXPECT_EQ(r.error("SUM(1)"), "Unknown function name 'SUM' at position 0");  // exact case
}

TEST(ExprEval, CacheSharesAndEvicts) {
  expClearCache();
  Runner r(kCaseSensitive | kAllowAt | kUseCache);
  std::string error;
  CompiledExpr first = expParseExpression("1 + 1", r.options, error);
  CompiledExpr again = expParseExpression("1 + 1", r.options, error);
  EXPECT_EQ(first.get(), again.get());
  Runner other(kCaseSensitive | kUseCache);
  EXPECT_NE(expParseExpression("1 + 1", other.options, error).get(), first.get());  // other resolver
  for (int i = 0; i < 40; ++i) expParseExpression(std::to_string(i), r.options, error);
  EXPECT_EQ(expCacheEntries(), kExprCacheSize);
  EXPECT_NE(expParseExpression("1 + 1", r.options, error).get(), first.get());  // evicted, recompiled
  Value v;
  ASSERT_TRUE(expEvaluate(*first, v));  // a holder keeps an evicted expression alive
  EXPECT_EQ(v.asInt(), 2);
  expClearCache();
}

TEST(ExprEval, RepeatedAndNestedEvaluationKeepValuesApart) {
  Runner r;
  r.resolver.values["@s"] = Value::owned(std::string(100, 'L'));
  std::string error;
  CompiledExpr e = expParseExpression("@s + 'x'", r.options, error);
  ASSERT_TRUE(e) << error;
  Value first, second;
  ASSERT_TRUE(expEvaluate(*e, first));
  r.resolver.values["@s"] = Value::view("s");
  ASSERT_TRUE(expEvaluate(*e, second));
  EXPECT_EQ(first.bytes(), std::string(100, 'L') + "x");  // results are the caller's own
  EXPECT_EQ(second.bytes(), "sx");

  // A function that evaluates the expression it is part of gets its own scratch.
  g_reentrant = expParseExpression("AGAIN(0) + 1", r.options, error);
  ASSERT_TRUE(g_reentrant) << error;
  Value v;
  ASSERT_TRUE(expEvaluate(*g_reentrant, v)) << g_reentrant->error();
  EXPECT_EQ(v.asInt(), 43);
  g_reentrant.reset();
}

TEST(ExprEval, RunFormatsWithDecimals) {
  Runner r;
  EXPECT_EQ(r.run("1 / 3", 4).text, "0.3333");
  EXPECT_EQ(r.run("2.5", 0).text, "2");  // as the C library rounds half to even
}

}  // namespace kvarn::script::test
