#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <dirent.h>
#include <fstream>

#include "script/functions.h"
#include "script_harness.h"

namespace kvarn::script::test {
namespace {

int openDescriptors() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  while (readdir(d)) ++n;
  closedir(d);
  return n;
}

TEST(NumberFunctions, RoundingExtremaAndRandom) {
  ScriptHarness h;
  EXPECT_EQ(h.eval("ROUND(-2.5)"), "-3");
  EXPECT_EQ(h.eval("ROUND(2.5)"), "3");
  EXPECT_EQ(h.eval("FLOOR(-2.5)"), "-3");
  EXPECT_EQ(h.eval("CEIL(2.1)"), "3");
  EXPECT_EQ(h.eval("FLOOR(POWER(10, 300))"), "9223372036854775807");  // clamped, not undefined
  EXPECT_EQ(h.eval("SQRT(16)"), "4.00");
  EXPECT_EQ(h.eval("POWER(2, 10)"), "1024.00");
  EXPECT_EQ(h.eval("MAX(1, 'abcd', 2.5)"), "4.00");  // a string counts its length
  EXPECT_EQ(h.eval("MIN()"), "0.00");
  EXPECT_EQ(h.eval("RANDOM(5, 1)"), "5");
  EXPECT_EQ(h.output(), "Random number range minimum 5 is greater than maximum 1\n");
  EXPECT_EQ(h.eval("SEEDRAND(7)"), "1");
  std::string first = h.eval("RANDOM(1, 1000000)");
  h.eval("SEEDRAND(7)");
  EXPECT_EQ(h.eval("RANDOM(1, 1000000)"), first);
  for (int i = 0; i < 50; ++i) {
    int v = std::stoi(h.eval("RANDOM(-2, 2)"));
    EXPECT_TRUE(v >= -2 && v <= 2) << v;
  }
}

TEST(StringFunctions, EdgeCases) {
  ScriptHarness h;
  EXPECT_EQ(h.eval("SUBSTR('abcdef', 2, 3)"), "bcd");
  EXPECT_EQ(h.eval("SUBSTR('abc', 5, 2)"), "");
  EXPECT_EQ(h.eval("SUBSTR('abc', 0, 2)"), "a");
  EXPECT_EQ(h.eval("SUBSTR('abc', 2, 99)"), "bc");
  EXPECT_EQ(h.eval("SUBSTR('abc', -5, 2)"), "");
  EXPECT_EQ(h.eval("SUBSTR(5, 1, 1)"), "ERROR: Function SUBSTR() only accepts strings as arguments");
  EXPECT_EQ(h.eval("FINDSTR('abcabc', 'ca')"), "3");
  EXPECT_EQ(h.eval("FINDSTR('abc', 'x')"), "0");
  EXPECT_EQ(h.eval("FINDSTR('abc', '')"), "1");
  EXPECT_EQ(h.eval("FINDSTRI('ABC', 'b')"), "2");
  EXPECT_EQ(h.eval("FINDSTRI(1, 'b')"), "ERROR: Function FINDSTR() only accepts strings as arguments");
  EXPECT_EQ(h.eval("CMPVER('9.3.2', '9.3.10')"), "-1");
  EXPECT_EQ(h.eval("CMPVER('9.3', '9.3.0')"), "0");
  EXPECT_EQ(h.eval("CMPVER('9.10', '9.9')"), "1");
  EXPECT_EQ(h.eval("CMPVER('1.99999999999999999999999', '1.99999999999999999999998')"), "1");
  EXPECT_EQ(h.eval("CMPVER(9, '9')"), "ERROR: Function CMPVER() only accepts strings as arguments");
  EXPECT_EQ(h.eval("TRIMSTR('  ab  ')"), "ab");
  EXPECT_EQ(h.eval("TRIMSTR('xxabyy', 'x', 'y')"), "ab");
  EXPECT_EQ(h.eval("TRIMSTR('xxabxx', 'x')"), "ab");
  EXPECT_EQ(h.eval("TRIMSTR('a', 'b', 'c', 'd')"), "ERROR: Function trimstr() has a maxiumum of three parameters.");
  EXPECT_EQ(h.eval("TRIMSTR(1)"), "ERROR: The first parameter to function trimstr() must be a string.");
  EXPECT_EQ(h.eval("TRIMSTR('a', 1)"), "ERROR: The second parameter to function trimstr() must be a string.");
  EXPECT_EQ(h.eval("TRIMSTR('a', 'b', 1)"), "ERROR: The third parameter to function trimstr() must be a string.");
  EXPECT_EQ(h.eval("STRREPLACE('aaa', 'aa', 'b')"), "ba");
  EXPECT_EQ(h.eval("STRREPLACE('abc', '', 'x')"), "abc");
  EXPECT_EQ(h.eval("STRREPLACE('abc', 1, 'x')"),
            "ERROR: The second parameter to function strreplace() must be a string.");
  EXPECT_EQ(h.eval("UPPER('aBc') + LOWER('X')"), "ABCx");
  EXPECT_EQ(h.eval("LOWER(5)"), "ERROR: Function LOWER() accepts only strings or list arguments");
  EXPECT_EQ(h.eval("STR(1.5) + STR(2)"), "1.502");
  EXPECT_EQ(h.eval("STRLEN('abcd') + STRLEN(5)"), "4");
  EXPECT_EQ(h.eval("NUMITEMS('a,b,,c')"), "4");
  EXPECT_EQ(h.eval("NUMITEMS('   ')"), "0");
  EXPECT_EQ(h.eval("ITEMVAL('a, 12 ,x', 2)"), "12");
  EXPECT_EQ(h.typeOf("ITEMVAL('a, 12 ,x', 2)"), LexemeType::Int);
  EXPECT_EQ(h.typeOf("ITEMVAL('1.5', 1)"), LexemeType::Dbl);
  EXPECT_EQ(h.typeOf("ITEMVAL('a', 3)"), LexemeType::NotSet);
  EXPECT_EQ(h.typeOf("ITEMVAL('a', 0)"), LexemeType::NotSet);
  EXPECT_EQ(h.typeOf("NUMITEMS(5)"), LexemeType::NotSet);
}

TEST(StringFunctions, HugeResultsAreRefusedNotAttempted) {
  ScriptHarness h;
  Value big = Value::owned(std::string(1'000'000, 'a'));
  std::string error;
  ASSERT_TRUE(scriptAssign(h.ctx, "@big", {}, big, error));
  EXPECT_EQ(h.eval("STRREPLACE(@big, 'a', @big)"), "ERROR: Can not allocate storage for strreplace() function.");
  EXPECT_EQ(h.eval("STRLEN(STRREPLACE(@big, 'a', 'bb'))"), "2000000");
  EXPECT_EQ(h.eval("FINDSTR(@big + 'x', 'ax')"), "1000000");
}

TEST(AttributeFunctions, AttrstrValueofAndImportParameters) {
  ScriptHarness h;
  EXPECT_EQ(h.eval("ATTRSTR('CURDEPTH', 'QUEUE(Q1) CURDEPTH(5)')"), "CURDEPTH(5)");
  EXPECT_EQ(h.eval("ATTRSTR('curdepth', 'QUEUE(Q1) CURDEPTH(5) X')"), "CURDEPTH(5)");
  EXPECT_EQ(h.eval("ATTRSTR('NONE', 'QUEUE(Q1)')"), "");
  EXPECT_EQ(h.eval("ATTRSTR(1, 'x')"), "ERROR: Parameter 1 of ATTRSTR() function must be a string");
  EXPECT_EQ(h.eval("VALUEOF('DESCR', 'QUEUE(Q1) DESCR(\"a (b) c\")')"), "a (b) c");
  EXPECT_EQ(h.eval("VALUEOF('NOSHARE', 'NOSHARE QUEUE(Q1)')"), "");
  // A reply's values are not quoted: a quote inside one leaves the attributes after it
  // readable, while a value that begins quoted may still hold brackets.
  EXPECT_EQ(h.eval("VALUEOF('CURDEPTH', \"QUEUE(Q1) DESCR(it's (old)) CURDEPTH(5)\")"), "5");
  EXPECT_EQ(h.eval("VALUEOF('DESCR', \"QUEUE(Q1) DESCR(it's (old)) CURDEPTH(5)\")"), "it's (old)");
  EXPECT_EQ(h.eval("ATTRSTR('MAXDEPTH', \"DESCR(don't) MAXDEPTH(9)\")"), "MAXDEPTH(9)");
  EXPECT_EQ(h.eval("VALUEOF('DESCR', \"DESCR('a) b') X(1)\")"), "a) b");
  EXPECT_EQ(h.typeOf("VALUEOF('X', 'QUEUE(Q1)')"), LexemeType::NotSet);
  EXPECT_EQ(h.eval("VALUEOF('X', 2)"), "ERROR: Parameter 2 of VALUEOF() function must be a string");
  EXPECT_EQ(h.typeOf("VALUEOF('QMGR')"), LexemeType::NotSet);  // no import running
  ASSERT_EQ(h.assign("@_Parm", "'MODE(fast)'", {1}), "");
  ASSERT_EQ(h.assign("@_Parm", "'QMGR(QM9) MODE(slow)'", {2}), "");
  EXPECT_EQ(h.eval("VALUEOF('QMGR') + VALUEOF('MODE')"), "QM9fast");
}

TEST(EvalFunction, EvaluatesTextAndStopsRunawayRecursion) {
  ScriptHarness h;
  ASSERT_EQ(h.assign("@n", "4"), "");
  EXPECT_EQ(h.eval("EVAL('@n * 2') + 1"), "9");
  EXPECT_EQ(h.eval("EVAL(1.5)"), "1.50");
  EXPECT_EQ(h.eval("EVAL('1 +')").rfind("ERROR: ", 0), 0u);
  ASSERT_EQ(h.assign("@self", "'EVAL(@self)'"), "");
  std::string r = h.eval("EVAL(@self)");
  EXPECT_NE(r.find("EVAL() nested more than 64 deep"), std::string::npos) << r;
  EXPECT_EQ(h.state().evalDepth, 0);
  EXPECT_EQ(h.eval("EVAL('@n') + EVAL('@n')"), "8");  // the cache entry is shared
}

TEST(DateFunctions, FormatLettersAndMqTime) {
  ScriptHarness h;
  setenv("TZ", "UTC", 1);
  tzset();
  // 2024-03-03 14:05:09 UTC, a Sunday, day 62 of a leap year.
  const std::string t = "1709474709";
  EXPECT_EQ(h.eval("DATE(" + t + ")"), "14:05 03/03/2024");
  EXPECT_EQ(h.eval("DATE(" + t + ", 'H HH h hh M S t')"), "14 14 02 2 05 09 14:05:09");
  EXPECT_EQ(h.eval("DATE(" + t + ", 'd dd D DD m mm mmm')"), "03 3rd Sun Sunday Mar 03 March");
  EXPECT_EQ(h.eval("DATE(" + t + ", 'y yy yyyy j J P p \\d')"), "2024 24 2424 62 63 PM pm d");
  EXPECT_EQ(h.eval("DATE(" + t + ", 'dd', 3)"), "ERROR: Unrecognised parameters to date() function");
  EXPECT_EQ(h.eval("DATE(POWER(10, 30))"), "ERROR: Invalidate date in date() function");
  EXPECT_EQ(h.eval("MQTIME('2024-03-03', '14.05.09')"), t);
  EXPECT_EQ(h.eval("MQTIME('20240303', '14050900')"), t);
  EXPECT_EQ(h.eval("MQTIME('', '')"), "0");
  unsetenv("TZ");
  tzset();
}

TEST(ArrayFunctions, QueriesAndTheirMessages) {
  ScriptHarness h;
  ASSERT_EQ(h.assign("@m", "1", {2, 7}), "");
  ASSERT_EQ(h.assign("@m", "1", {5, 3}), "");
  ASSERT_EQ(h.assign("@m", "1", {4}), "");
  EXPECT_EQ(h.eval("NUMSUBS(@m)"), "2");
  EXPECT_EQ(h.eval("MINSUB(@m) + 10 * MAXSUB(@m)"), "52");
  EXPECT_EQ(h.eval("MINSUB(@m, 2) + 10 * MAXSUB(@m, 2)"), "73");
  EXPECT_EQ(h.eval("MAXSUB(@m, 9) + NUMSUBS(@none)"), "0");
  EXPECT_EQ(h.eval("EXISTS(@m) + EXISTS(@m[4]) + EXISTS(@m[9])"), "2");
  EXPECT_EQ(h.eval("EXISTS(_os)"), "ERROR: The first parameter to function exists() must be a user variable.");
  EXPECT_EQ(h.eval("NUMSUBS(@m[4])"), "ERROR: Parameter to numsubs() should be array name not an element.");
  EXPECT_EQ(h.eval("MAXSUB(@m[4])"), "ERROR: Parameter to maxsub() should be array name not an element.");
  EXPECT_EQ(h.eval("MAXSUB(CURDEPTH)"), "ERROR: The first parameter to function maxsub() must be a user variable.");
}

TEST(ArrayFunctions, SortOneAndTwoSubscripts) {
  ScriptHarness h;
  ASSERT_EQ(h.assign("@a", "'b'", {1}), "");
  ASSERT_EQ(h.assign("@a", "'A'", {2}), "");
  ASSERT_EQ(h.assign("@a", "'c'", {3}), "");
  EXPECT_EQ(h.eval("SORT(@a)"), "1");
  EXPECT_EQ(h.eval("@a[1] + @a[2] + @a[3]"), "Abc");
  EXPECT_EQ(h.eval("SORTD(@a)"), "1");
  EXPECT_EQ(h.eval("@a[1] + @a[2] + @a[3]"), "cbA");
  // A gap takes part as an empty slot and sorts first.
  ASSERT_EQ(h.assign("@g", "3", {1}), "");
  ASSERT_EQ(h.assign("@g", "1", {3}), "");
  h.eval("SORT(@g)");
  EXPECT_EQ(h.eval("EXISTS(@g[1]) * 100 + @g[2] * 10 + @g[3]"), "13");
  // Two subscripts: row 2 is the key and the other rows follow it.
  const char* names[] = {"'x'", "'y'", "'z'"};
  int keys[] = {30, 10, 20};
  for (int c = 1; c <= 3; ++c) {
    ASSERT_EQ(h.assign("@t", names[c - 1], {1, c}), "");
    ASSERT_EQ(h.assign("@t", std::to_string(keys[c - 1]), {2, c}), "");
  }
  EXPECT_EQ(h.eval("SORT(@t, 2)"), "1");
  EXPECT_EQ(h.eval("@t[1,1] + @t[1,2] + @t[1,3]"), "yzx");
  EXPECT_EQ(h.eval("@t[2,1]"), "10");
  // A row with a gap: the missing key sorts first and the other rows follow.
  ASSERT_EQ(h.assign("@p", "'b'", {1, 1}), "");
  ASSERT_EQ(h.assign("@p", "'a'", {1, 3}), "");
  ASSERT_EQ(h.assign("@p", "'B'", {2, 1}), "");
  ASSERT_EQ(h.assign("@p", "'gap'", {2, 2}), "");
  ASSERT_EQ(h.assign("@p", "'A'", {2, 3}), "");
  EXPECT_EQ(h.eval("SORT(@p)"), "1");
  EXPECT_EQ(h.eval("STR(EXISTS(@p[1,1])) + @p[1,2] + @p[1,3] + @p[2,1] + @p[2,2] + @p[2,3]"), "0abgapAB");
  EXPECT_EQ(h.eval("SORT(@t, 3)"), "ERROR: Sort index 3 passed to sort function() beyond bounds of array @t.");
  ASSERT_EQ(h.assign("@t", "1", {1}), "");
  EXPECT_EQ(h.eval("SORT(@t)"), "ERROR: Array @t has elements with different number of subscripts.");
  ASSERT_EQ(h.assign("@c", "1", {1, 1, 1}), "");
  EXPECT_EQ(h.eval("SORT(@c)"), "ERROR: Array @c has greater than 2 subscripts.");
  EXPECT_EQ(h.eval("SORT(@nothing)"), "ERROR: Array @nothing passed to sort() function has 0 subscripts.");
  EXPECT_EQ(h.eval("SORT(_os)"), "ERROR: The first parameter to function sort() must be a user variable.");
  ASSERT_EQ(h.assign("@huge", "1", {2000000000}), "");
  EXPECT_EQ(h.eval("SORT(@huge)"), "ERROR: Failed to allocate sort array.");
  EXPECT_EQ(h.eval("@huge[2000000000]"), "1");  // nothing lost
}

TEST(FileFunctions, ReadLinesAndReportBadIdentifiers) {
  ScriptHarness h;
  char dir[] = "/tmp/kvarn_filesXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string path = std::string(dir) + "/in.txt";
  {
    std::ofstream out(path);
    out << "first\n\n" << std::string(25000, 'L') << "\nlast";
  }
  int fds = openDescriptors();
  ASSERT_EQ(h.assign("@f", "FOPEN('" + path + "', 'r')"), "");
  EXPECT_EQ(h.eval("@f"), "100");
  EXPECT_EQ(h.eval("FGETS(@f, @line)"), "5");
  EXPECT_EQ(h.eval("@line"), "first");
  EXPECT_EQ(h.eval("FGETS(@f, @line)"), "0");
  EXPECT_EQ(h.eval("FGETS(@f, @line)"), "20000");  // a long line comes in pieces
  EXPECT_EQ(h.eval("FGETS(@f, @line)"), "5000");
  EXPECT_EQ(h.eval("FGETS(@f, @l[2])"), "4");
  EXPECT_EQ(h.eval("@l[2]"), "last");
  EXPECT_EQ(h.eval("FGETS(@f, @line)"), "-1");  // the end leaves the variable alone
  EXPECT_EQ(h.eval("STRLEN(@line)"), "5000");
  EXPECT_EQ(h.eval("FCLOSE(@f)"), "1");
  EXPECT_EQ(h.eval("FCLOSE(@f)"), "0");
  EXPECT_EQ(h.output(), "fclose() issued against unopen fileid 100\n");
  EXPECT_EQ(h.eval("FGETS(7, @line)"), "-2");
  EXPECT_EQ(h.output(), "File Identifier 7 is not an open file\n");
  EXPECT_EQ(h.eval("FOPEN('" + std::string(dir) + "', 'r')"), "-1");  // a directory
  EXPECT_EQ(h.eval("_errno"), std::to_string(EISDIR));
  EXPECT_EQ(h.eval("FOPEN('" + std::string(dir) + "/missing', 'r')"), "-1");
  EXPECT_EQ(h.eval("FOPEN('" + path + "', 'q')"), "-1");
  EXPECT_EQ(h.eval("FOPEN('" + path + "', 'r')"), "101");  // identifiers are not reused
  EXPECT_EQ(openDescriptors(), fds + 1);
  h.state().closeAllFiles();  // the end of a run
  EXPECT_EQ(openDescriptors(), fds);
  unlink(path.c_str());
  rmdir(dir);
}

TEST(SystemFunctions, SyncAsyncAndWait) {
  ScriptHarness h;
  char dir[] = "/tmp/kvarn_systemXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string marker = std::string(dir) + "/ran";
  EXPECT_EQ(h.eval("SYSTEM('touch " + marker + "', 1)"), "1");
  EXPECT_EQ(access(marker.c_str(), F_OK), 0);
  EXPECT_EQ(h.eval("SYSTEM('', 2)"), "0");
  EXPECT_EQ(h.output(), "No command supplied\n");
  EXPECT_EQ(h.eval("SYSTEM('true', 3)"), "1");
  EXPECT_EQ(h.output(), "The second parameter to function system() cannot specify both SYNC and ASYNC.\n");
  EXPECT_EQ(h.eval("WAIT(0) + WAIT(-5)"), "2");
  EXPECT_EQ(h.eval("GETKEY(0)"), "0");
  unlink(marker.c_str());
  rmdir(dir);
}

TEST(FunctionTable, EveryFunctionHasAHandlerAndTheWhereSubset) {
  for (const OperatorDef& row : scriptFunctionRows()) EXPECT_NE(row.handler, nullptr) << row.name;
  const OperatorTable& where = whereFunctionTable();
  EXPECT_NE(where.match("CMPVER"), nullptr);
  EXPECT_EQ(where.match("EVAL"), nullptr);
}

}  // namespace
}  // namespace kvarn::script::test

namespace kvarn::script::test {
namespace {

TEST(FunctionArguments, WrongCountsAreRefusedWithAMessage) {
  ScriptHarness h;
  for (const char* text : {"SQRT(1, 2)", "SUBSTR('a')", "MAXSUB()", "SYSTEM()", "VALUEOF()", "SORT()",
                           "VALUEOF('a', 'b', 'c')", "SYSTEM('true', 1, 2)", "MINSUB(@a, 1, 2)"}) {
    std::string r = h.eval(text);
    EXPECT_EQ(r.rfind("ERROR: ", 0), 0u) << text << " gave " << r;
    EXPECT_GT(r.size(), 10u) << text;
  }
  EXPECT_EQ(h.eval("SORT('x')").rfind("ERROR: ", 0), 0u);
}

TEST(FunctionArguments, TheTestEvaluationHasNoSideEffects) {
  ScriptHarness h;
  char dir[] = "/tmp/kvarn_checkXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string path = std::string(dir) + "/created";
  ASSERT_EQ(h.assign("@keep", "1", {1}), "");
  // Compiled with the test evaluation, as statements are compiled before they run.
  ExprOptions options = scriptExprOptions(h.ctx, kCaseSensitive | kAllowAt);
  std::string error;
  CompiledExpr e = expParseExpression("FOPEN('" + path + "', 'w') + SYSTEM('touch " + path + "', 1) + RANDOM(5, 1)" +
                                          " + DELVAR(@keep) + SORT(@keep)",
                                      options, error);
  ASSERT_TRUE(e) << error;
  EXPECT_NE(access(path.c_str(), F_OK), 0);
  EXPECT_TRUE(h.state().files.empty());
  EXPECT_EQ(h.output(), "");
  EXPECT_EQ(h.eval("@keep[1]"), "1");
  rmdir(dir);
}

}  // namespace
}  // namespace kvarn::script::test
