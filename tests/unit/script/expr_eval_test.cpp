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
