#include <gtest/gtest.h>

#include <array>
#include <map>

#include "script/response_attr.h"
#include "script/script_host.h"
#include "script/system_vars.h"
#include "script/variables.h"
#include "script_harness.h"

namespace kvarn::script::test {
namespace {

TEST(VariableKeys, ElementKeysRoundTripAndDisplayWithSubscripts) {
  int32_t subs[] = {1, 2};
  std::string key = expVariableKey("@a", subs);
  EXPECT_EQ(key.size() % 4, 0u);
  ParsedKey parsed;
  ASSERT_TRUE(varParseKey(key, parsed));
  EXPECT_EQ(parsed.name, "@a");
  EXPECT_EQ(parsed.count, 2);
  EXPECT_EQ(varDisplayName(key), "@a[1,2]");
  EXPECT_EQ(varDisplayName("@plain"), "@plain");
  EXPECT_FALSE(varParseKey(std::string("@a%\x09", 4), parsed));      // bad count
  EXPECT_FALSE(varParseKey(key.substr(0, key.size() - 1), parsed));  // cut subscripts
  // The longest name with four subscripts still fits.
  std::string longName = "@" + std::string(30, 'x');
  int32_t four[] = {1, 2, 3, 4};
  Variables vars;
  Value v = Value::integer(1);
  EXPECT_TRUE(vars.set(expVariableKey(longName, four), false, &v));
}

TEST(Variables, PlainAndElementsAreUnrelated) {
  ScriptHarness h;
  EXPECT_EQ(h.assign("@a", "5", {2}), "");
  EXPECT_EQ(h.eval("@a[2]"), "5");
  EXPECT_EQ(h.eval("@a"), "ERROR: Variable '@a' is not defined in the current scope.");
  EXPECT_EQ(h.eval("@a[1]"), "ERROR: Variable '@a[1]' is not defined in the current scope.");
  EXPECT_EQ(h.assign("@a", "1", {0}), "Out of bounds array error on variable '@a[0]'");
  EXPECT_EQ(h.eval("@a[0]"), "ERROR: Out of bounds array error on variable '@a[0]'");
  EXPECT_EQ(h.eval("@a[-5]"), "ERROR: Out of bounds array error on variable '@a[-5]'");
  EXPECT_EQ(h.eval("@a[2147483647]"), "ERROR: Variable '@a[2147483647]' is not defined in the current scope.");
  EXPECT_EQ(h.eval("@" + std::string(40, 'n')),
            "ERROR: Variable name of '@" + std::string(40, 'n') + "' is larger than the limit of 31 characters.");
}

TEST(Variables, StringsAreCopiedAndSurviveChangesInTheSameExpression) {
  ScriptHarness h;
  EXPECT_EQ(h.assign("@s", "'abc'"), "");
  EXPECT_EQ(h.state().variables.find("@s")->value.type(), LexemeType::PStr);
  EXPECT_EQ(h.assign("@e", "''"), "");
  EXPECT_EQ(h.state().variables.find("@e")->value.type(), LexemeType::Str);
  EXPECT_EQ(h.assign("@s", "@s + @s"), "");
  EXPECT_EQ(h.eval("@s"), "abcabc");
  // The operand read before the deletion keeps its text.
  EXPECT_EQ(h.eval("DELVAR(@s) + @s"), "7");
  EXPECT_EQ(h.eval("EXISTS(@s)"), "0");
  std::string big(1'000'000, 'x');
  Value v = Value::view(big);
  std::string error;
  ASSERT_TRUE(scriptAssign(h.ctx, "@big", {}, v, error));
  EXPECT_EQ(h.eval("STRLEN(@big + 'y')"), "1000001");
}

TEST(Variables, EnvironmentIsTheFallbackForPlainNames) {
  ScriptHarness h;
  setenv("KVARN_TEST_ENV", "from-env", 1);
  EXPECT_EQ(h.eval("@KVARN_TEST_ENV"), "from-env");
  EXPECT_EQ(h.assign("@KVARN_TEST_ENV", "'mine'"), "");
  EXPECT_EQ(h.eval("@KVARN_TEST_ENV"), "mine");
  unsetenv("KVARN_TEST_ENV");
}

TEST(Scopes, FunctionCallsChangeOuterVariablesAndKeepTheirOwn) {
  ScriptHarness h;
  Variables& vars = h.state().variables;
  EXPECT_EQ(h.assign("@x", "1"), "");
  EXPECT_EQ(h.assign("@arr", "1", {1}), "");
  vars.pushScope();                           // a function called from the main program
  EXPECT_EQ(h.assign("@x", "2"), "");         // changes the main program's @x
  EXPECT_EQ(h.assign("@arr", "9", {5}), "");  // an element of an outer array goes there too
  EXPECT_EQ(h.assign("@y", "3"), "");         // a new variable is local
  vars.pushScope();                           // a nested call
  std::string error;
  Value ten = Value::integer(10);
  ASSERT_TRUE(scriptDeclare(h.ctx, "@x", {}, &ten, error));  // var @x = 10 shadows
  EXPECT_EQ(h.eval("@x + @y"), "13");
  EXPECT_EQ(h.eval("DELVAR(@y)"), "0");  // deletion sees the current scope only
  ASSERT_TRUE(scriptDeclare(h.ctx, "@z", {}, nullptr, error));
  EXPECT_EQ(h.eval("@z"), "ERROR: Variable '@z' is not defined in the current scope.");
  // An element goes to the innermost scope holding any element of its array.
  ASSERT_EQ(h.assign("@b", "1", {1}), "");
  vars.pushScope();
  int32_t two[] = {2};
  ASSERT_TRUE(scriptDeclare(h.ctx, "@b", two, &ten, error));
  EXPECT_EQ(h.assign("@b", "3", {3}), "");
  EXPECT_EQ(h.eval("MAXSUB(@b)"), "3");
  vars.popScope();
  EXPECT_EQ(h.eval("MAXSUB(@b)"), "1");
  vars.popScope();
  EXPECT_EQ(h.eval("@x"), "2");
  vars.popScope();
  EXPECT_EQ(h.eval("@x"), "2");
  EXPECT_EQ(h.eval("@arr[5]"), "9");
  EXPECT_EQ(h.eval("@y"), "ERROR: Variable '@y' is not defined in the current scope.");
  vars.popScope();  // the main scope never goes
  EXPECT_EQ(h.eval("@x"), "2");
}

// The debugger works in an outer frame's scope by setting the inner scopes aside: names
// are then found as the outer frame sees them, a remembered lookup of an inner variable
// is not reused meanwhile, and the inner scopes come back whole.
TEST(Scopes, ScopesSetAsideHideInnerVariablesAndComeBackWhole) {
  ScriptHarness h;
  Variables& vars = h.state().variables;
  EXPECT_EQ(h.assign("@x", "1"), "");
  vars.pushScope();
  std::string error;
  Value two = Value::integer(2);
  ASSERT_TRUE(scriptDeclare(h.ctx, "@x", {}, &two, error));  // the call's own @x
  VariableMemo memo;
  ASSERT_NE(vars.find("@x", memo), nullptr);
  EXPECT_EQ(h.eval("@x"), "2");

  auto aside = vars.setAsideScopes(1);
  EXPECT_EQ(vars.depth(), 1u);
  VariableRecord* outer = vars.find("@x", memo);
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(valueInteger(outer->value), 1);  // not the call's record remembered above
  EXPECT_EQ(h.assign("@x", "5"), "");        // changes the main program's @x
  vars.restoreScopes(std::move(aside));

  EXPECT_EQ(vars.depth(), 2u);
  EXPECT_EQ(h.eval("@x"), "2");
  vars.popScope();
  EXPECT_EQ(h.eval("@x"), "5");
  EXPECT_EQ(vars.setAsideScopes(0).size(), 0u);  // the main scope is never set aside
  EXPECT_EQ(vars.depth(), 1u);
}

// Many plain names in one scope, deleted and added again in turn: every name left is found
// with its own value, every deleted one is gone, and the ordered view agrees.
// Records are ordered by unsigned bytes, shorter first on a common prefix, whatever the
// length: element keys of every subscript against each other and against names.
TEST(VariableKeys, KeyOrderIsUnsignedByteOrder) {
  std::vector<std::string> keys = {"@a", "@a\xff", "@ab", "@abcdefgh", "@abcdefghi", "@abcdefgh\x80", ""};
  for (int32_t sub : {1, 2, 255, 256, 257, 65536, -1, 0x7fffffff})
    for (const char* name : {"@a", "@abcdefghijklmnop"}) keys.push_back(expVariableKey(name, std::span(&sub, 1)));
  KeyLess less;
  for (const std::string& x : keys)
    for (const std::string& y : keys) {
      int byteOrder = std::string_view(x).compare(y);  // char_traits<char> compares as unsigned
      EXPECT_EQ(less(x, y), byteOrder < 0) << varDisplayName(x) << " vs " << varDisplayName(y);
    }
}

TEST(Scopes, ManyNamesSurviveDeletionsAndReinsertion) {
  Variables vars;
  auto name = [](int i) { return "@v" + std::to_string(i); };
  for (int i = 0; i < 2000; ++i) {
    Value v = Value::integer(i);
    ASSERT_TRUE(vars.set(name(i), false, &v));
  }
  size_t removed = 0;
  for (int i = 0; i < 2000; i += 3) removed += vars.remove(name(i));
  EXPECT_EQ(removed, 667u);
  for (int i = 0; i < 2000; ++i) {
    VariableRecord* rec = vars.find(name(i));
    if (i % 3 == 0) {
      EXPECT_EQ(rec, nullptr) << name(i);
    } else {
      ASSERT_NE(rec, nullptr) << name(i);
      EXPECT_EQ(rec->value.asInt(), i);
    }
  }
  EXPECT_EQ(vars.current().records().size(), 2000u - 667u);
  for (int i = 0; i < 2000; i += 3) {
    Value v = Value::integer(-i);
    ASSERT_TRUE(vars.set(name(i), false, &v));
  }
  for (int i = 0; i < 2000; ++i) {
    VariableRecord* rec = vars.find(name(i));
    ASSERT_NE(rec, nullptr) << name(i);
    EXPECT_EQ(rec->value.asInt(), i % 3 == 0 ? -i : i);
  }
}

TEST(Scopes, DeletionRemovesAnArrayOrOneElement) {
  ScriptHarness h;
  for (int i = 1; i <= 3; ++i) ASSERT_EQ(h.assign("@a", std::to_string(i), {i}), "");
  ASSERT_EQ(h.assign("@a", "0"), "");
  ASSERT_EQ(h.assign("@ab", "0"), "");  // shares a prefix, not the array
  EXPECT_EQ(h.eval("DELVAR(@a[2])"), "1");
  EXPECT_EQ(h.eval("NUMSUBS(@a)"), "1");
  EXPECT_EQ(h.eval("DELVAR(@a)"), "3");
  EXPECT_EQ(h.eval("@ab"), "0");
  EXPECT_EQ(h.eval("DELVAR(CURDEPTH)"), "ERROR: The first parameter to function delvar() must be a user variable.");
}

TEST(Arrays, ElementsAgreeWithAPlainMapThroughInsertionsAndErasures) {
  // Elements with one to four subscripts, added, changed and removed in a scrambled
  // order, are found exactly as a map of their keys would find them, and the erasures
  // that move the last element into a freed place leave every record reachable.
  Variables vars;
  std::map<std::string, int64_t> model;
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 8) % 1000; };
  for (int round = 0; round < 20000; ++round) {
    int32_t subs[4];
    size_t count = 1 + next() % 4;
    for (size_t i = 0; i < count; ++i) subs[i] = static_cast<int32_t>(1 + next() % (i == 0 ? 300 : 3));
    std::string key = expVariableKey("@arr", std::span<const int32_t>(subs, count));
    if (next() % 3 == 0) {
      size_t removed = vars.remove(key);
      EXPECT_EQ(removed, model.erase(key)) << varDisplayName(key);
    } else {
      Value v = Value::integer(round);
      ASSERT_TRUE(vars.set(key, false, &v));
      model[key] = round;
    }
  }
  size_t held = 0;
  for (const auto& [key, value] : model) {
    VariableRecord* rec = vars.find(key);
    ASSERT_NE(rec, nullptr) << varDisplayName(key);
    EXPECT_EQ(rec->value.asInt(), value) << varDisplayName(key);
  }
  ArrayStore* store = vars.findArray("@arr");
  ASSERT_NE(store, nullptr);
  for (const ArrayElement& e : store->elements()) {
    std::string key = expVariableKey("@arr", std::span<const int32_t>(e.key.at, static_cast<size_t>(e.key.count())));
    ASSERT_TRUE(model.count(key)) << varDisplayName(key);
    ++held;
  }
  EXPECT_EQ(held, model.size());
  // Removing the whole array removes every element, and the name no longer holds one.
  EXPECT_EQ(vars.remove("@arr"), model.size());
  EXPECT_EQ(vars.findArray("@arr"), nullptr);
}

TEST(Arrays, AnElementIsStoredWhereItsArrayLives) {
  ScriptHarness h;
  ASSERT_EQ(h.assign("@a", "'outer'", {1}), "");
  h.state().variables.pushScope();
  // The array lives outside: a new element joins it there, and is still there once
  // the call's scope has gone.
  ASSERT_EQ(h.assign("@a", "'joined'", {2}), "");
  Value local = Value::integer(7);
  ASSERT_TRUE(h.state().variables.set(expVariableKey("@b", std::array<int32_t, 1>{3}), true, &local));
  EXPECT_EQ(h.eval("@b[3]"), "7");
  h.state().variables.popScope();
  EXPECT_EQ(h.eval("@a[2]"), "joined");
  EXPECT_EQ(h.eval("@b[3]"), "ERROR: Variable '@b[3]' is not defined in the current scope.");
  // A key with a subscript below 1 is refused by the store, not kept as something else.
  Value v = Value::integer(1);
  EXPECT_FALSE(h.state().variables.set(expVariableKey("@a", std::array<int32_t, 1>{0}), false, &v));
}

TEST(Arrays, SortKeepsEveryValueAndMovesThemToTheirPlaces) {
  ScriptHarness h;
  const int values[] = {5, 3, 9, 1, 7};
  for (int i = 0; i < 5; ++i) ASSERT_EQ(h.assign("@s", std::to_string(values[i]), {i + 1}), "");
  EXPECT_EQ(h.eval("SORT(@s)"), "1");
  EXPECT_EQ(h.eval("STR(@s[1]) + STR(@s[2]) + STR(@s[3]) + STR(@s[4]) + STR(@s[5])"), "13579");
  EXPECT_EQ(h.eval("SORTD(@s)"), "1");
  EXPECT_EQ(h.eval("STR(@s[1]) + STR(@s[5])"), "91");
  // A sparse array keeps its gaps' places: the missing slot sorts first.
  ASSERT_EQ(h.assign("@p", "'b'", {1}), "");
  ASSERT_EQ(h.assign("@p", "'a'", {3}), "");
  EXPECT_EQ(h.eval("SORT(@p)"), "1");
  EXPECT_EQ(h.eval("@p[2] + @p[3]"), "ab");
  EXPECT_EQ(h.eval("NUMSUBS(@p)"), "1");
  EXPECT_EQ(h.eval("MAXSUB(@p)"), "3");
  EXPECT_EQ(h.eval("MINSUB(@p)"), "2");
}

TEST(Variables, LiteralOperandsGiveWhatTheGeneralRulesGive) {
  // `@x op 7` takes the stored integer without a copy, and a literal from its step; the
  // same operation with the literal in a variable goes the general way. They agree for
  // every kind of left operand, including ones the short way must hand back.
  ScriptHarness h;
  const char* lefts[] = {"12", "-12", "0", "2.5", "'42'", "'abc'", "''", "2147483647 * 4294967297"};
  const char* ops[] = {"+", "-", "*", "/", "%", "=", "<>", ">", ">=", "<", "<="};
  const char* literals[] = {"0", "1", "7", "-1", "3000000000"};
  for (const char* left : lefts)
    for (const char* literal : literals) {
      ASSERT_EQ(h.assign("@x", left), "");
      ASSERT_EQ(h.assign("@r", literal), "");
      for (const char* op : ops) {
        std::string shortWay = h.eval(std::string("@x ") + op + " " + literal);
        std::string general = h.eval(std::string("@x ") + op + " @r");
        EXPECT_EQ(shortWay, general) << left << " " << op << " " << literal;
        // A computed left operand takes the literal from the step as well.
        EXPECT_EQ(h.eval(std::string("(@x + 0) ") + op + " " + literal), h.eval(std::string("(@x + 0) ") + op + " @r"))
            << left << " " << op << " " << literal;
      }
    }
  // An undefined name is reported as it always was.
  EXPECT_EQ(h.eval("@nowhere + 1"), "ERROR: Variable '@nowhere' is not defined in the current scope.");
  EXPECT_EQ(h.eval("@nowhere[2] + 1"), "ERROR: Variable '@nowhere[2]' is not defined in the current scope.");
}

TEST(SystemVariables, ReadFromProgramStateAndRefuseAssignment) {
  ScriptHarness h;
  EXPECT_EQ(h.eval("_os"), "LINUX");
  EXPECT_EQ(h.eval("_nl"), "\n");
  EXPECT_EQ(h.eval("_platform"), "NOTCONNECTED");
  EXPECT_EQ(h.eval("_responses"), "-1");
  EXPECT_EQ(h.eval("_lastrcstr"), "None");
  EXPECT_EQ(h.eval("_bogus"), "ERROR: Unrecognised system variable '_bogus' at position 0");
  // The lexer's list of names and the table agree.
  for (std::string_view name : systemVariableNames()) EXPECT_TRUE(expDefaultIsSystemVariable(name)) << name;
  h.ctx.settings.respwait = 17;
  EXPECT_EQ(h.eval("_respwait"), "17");
  h.state().whileLoop.index = 4;
  EXPECT_EQ(h.eval("_idxWhile"), "4");

  ScriptHost host;
  int connects = 0;
  host.ensureConnected = [&](ProgramContext&) { ++connects; };
  host.connection = [](ProgramContext&) {
    ConnectionState s;
    s.connected = true;
    s.adminQmgr = "QM1";
    s.platform = 1;
    s.commandLevel = 930;
    return s;
  };
  host.lastReasonCode = [](ProgramContext&) { return 2085; };
  scriptSetHost(host);
  h.state().functions.obtain("onError").body = std::make_shared<NodeList>();
  EXPECT_EQ(h.eval("_qmgr"), "QM1");
  EXPECT_EQ(connects, 1);
  EXPECT_EQ(h.eval("_platform + ' ' + STR(_cmdlevel)"), "z/OS 930");
  EXPECT_EQ(h.eval("_lastrcstr"), "Unknown Reason(2085)");

  EXPECT_EQ(h.assign("_os", "'x'"), "You can not set the value of system variable _os.");
  EXPECT_TRUE(h.state().errorFlag);
  EXPECT_EQ(h.assign("_stream", "1"), "The _stream system variable should be set to a string");
  EXPECT_EQ(h.assign("_stream", "'" + std::string(100, 's') + "'"), "");
  EXPECT_EQ(h.eval("STRLEN(_stream)"), "64");
  EXPECT_EQ(h.assign("_error_func", "'nothere'"), "Error function nothere is not defined.");
  EXPECT_EQ(h.assign("_error_func", "'onError'"), "");
  EXPECT_EQ(h.eval("_error_func"), "onError");
  EXPECT_EQ(h.assign("_error_func", "''"), "");
  EXPECT_EQ(h.eval("_error_func"), "");
  scriptSetHost({});
}

TEST(ResponseAttributes, NumbersTextAndIndicators) {
  ScriptHarness h;
  EXPECT_EQ(h.eval("CURDEPTH"), "");  // no current record
  h.state().lastDisplayed =
      ResponseRecord{"AMQ8409I: Display Queue details.\n   QUEUE(Q1)    TYPE(QLOCAL)\n   CURDEPTH(0)  DESCR( )\n"
                     "   QTIME(12, 34)  MAXMSGL(4.5)  VERSION(09)  CLUSNL(\n A ,\n B )  NOTES(x(y)z)",
                     "QMA", false};
  EXPECT_EQ(h.typeOf("CURDEPTH"), LexemeType::Int);
  EXPECT_EQ(h.eval("curdepth + 1"), "1");
  EXPECT_EQ(h.eval("DESCR"), "");
  EXPECT_EQ(h.typeOf("MAXMSGL"), LexemeType::Dbl);
  EXPECT_EQ(h.eval("VERSION"), "09");  // a text attribute stays text
  EXPECT_EQ(h.eval("QTIME"), "12");
  EXPECT_EQ(h.eval("QTIME.long"), "34");
  EXPECT_EQ(h.eval("CLUSNL"), "A,B");
  EXPECT_EQ(h.eval("NOTES"), "x(y)z");
  EXPECT_EQ(h.eval("qsgqm"), "QMA");
  EXPECT_EQ(h.eval("MISSING"), "");
  EXPECT_EQ(h.eval("_lastresp"),
            "QSGQM(QMA) QUEUE(Q1) TYPE(QLOCAL) CURDEPTH(0) DESCR( ) QTIME(12, 34) MAXMSGL(4.5) VERSION(09) "
            "CLUSNL(\n A ,\n B ) NOTES(x(y)z)");
  // A foreach pass hides the displayed record until it ends.
  h.state().foreachRecords.push_back({"QUEUE(Q2) CURDEPTH(7)", "", false});
  EXPECT_EQ(h.eval("CURDEPTH"), "7");
  h.state().foreachRecords.pop_back();
  EXPECT_EQ(h.eval("CURDEPTH"), "0");
}

}  // namespace
}  // namespace kvarn::script::test
