// Lexer and parser: token classes, every precedence level and associativity (checked on
// the postfix form), and the compile-time messages with their positions.
#include "expr_test_support.h"

namespace kvarn::script::test {

namespace {

// Compact postfix: operands as written, prefix operators marked 'u', functions with
// their argument count, arrays with their subscript count.
std::string postfix(std::string_view text, unsigned flags = kCaseSensitive | kAllowAt | kNoCheck) {
  ExprOptions o;
  o.table = &testScriptTable();
  o.flags = flags;
  std::string error;
  CompiledExpr e = expParseExpression(text, o, error);
  if (!e) return "ERROR: " + error;
  std::string out;
  for (const ExprNode& n : e->postfix()) {
    if (!out.empty()) out += ' ';
    switch (n.type) {
    case LexemeType::Int: out += std::to_string(n.literal.asInt()); break;
    case LexemeType::Var:
      out += n.name;
      if (n.subscripts) out += "[" + std::to_string(n.subscripts) + "]";
      break;
    case LexemeType::Op:
      if (n.op->kind & kFunction) out += std::string(n.op->name) + "(" + std::to_string(n.argc) + ")";
      else out += ((n.op->kind & kBinary) ? "" : "u") + std::string(n.op->name);
      break;
    default: out += "'" + std::string(n.literal.bytes()) + "'";
    }
  }
  return out;
}

}  // namespace

TEST(ExprParser, PrecedenceAndAssociativity) {
  struct Row {
    const char* text;
    const char* postfix;
  } rows[] = {
      // same level groups from the left
      {"1 - 2 + 3", "1 2 - 3 +"},
      {"8 / 4 * 2", "8 4 / 2 *"},
      {"a = b != c", "a b = c !="},
      {"a >= b = c", "a b >= c ="},
      {"a > b < c", "a b > c <"},
      {"a OR b | c", "a b OR c |"},
      {"a AND b & c", "a b AND c &"},
      {"a LK b CT c", "a b LK c CT"},
      // levels, low to high: OR 10, AND 11, = >= 12, > < 13, + - 14, * / % LK CT 15, prefix 18/17
      {"a OR b AND c", "a b c AND OR"},
      {"a AND b OR c", "a b AND c OR"},
      {"a || b && c", "a b c && ||"},
      {"a AND b = c", "a b c = AND"},
      {"a = b AND c", "a b = c AND"},
      {"2 > 1 = 1", "2 1 > 1 ="},
      {"1 = 2 > 1", "1 2 1 > ="},
      {"1 >= 0 = 1", "1 0 >= 1 ="},
      {"a > b + c", "a b c + >"},
      {"a + b > c", "a b + c >"},
      {"1 + 2 * 3", "1 2 3 * +"},
      {"1 * 2 + 3", "1 2 * 3 +"},
      {"a + b LK c", "a b c LK +"},
      {"10 % 3 - 1", "10 3 % 1 -"},
      {"- 2 * 3", "2 u- 3 *"},
      {"! a = b", "a u! b ="},
      {"NOT a AND b", "a uNOT b AND"},
      // prefix operators group from the right
      {"- - 1", "1 u- u-"},
      {"! - + a", "a u+ u- u!"},
      {"2 * - 3", "2 3 u- *"},
      // parentheses
      {"(1 + 2) * 3", "1 2 + 3 *"},
      {"1 * (2 + (3 - 4))", "1 2 3 4 - + *"},
      // functions and subscripts
      {"LOWER(@a) + 1", "@a LOWER(1) 1 +"},
      {"max(1, 2 + 3, max())", "1 2 3 + MAX(0) MAX(3)"},
      {"@a[1, @i + 1] * 2", "1 @i 1 + @a[2] 2 *"},
      {"max((1), (2))", "1 2 MAX(2)"},
  };
  for (const Row& r : rows) EXPECT_EQ(postfix(r.text), r.postfix) << "expression: " << r.text;

  Runner run;
  EXPECT_EQ(run.text("1 + 2 * 3"), "7");
  EXPECT_EQ(run.text("(1 + 2) * 3"), "9");
  EXPECT_EQ(run.text("2 > 1 = 1"), "1");
}

TEST(ExprLexer, NumbersAndStrings) {
  Runner r;
  EXPECT_EQ(r.text("0x1F"), "31");
  EXPECT_EQ(r.text("0XfF"), "255");
  EXPECT_EQ(r.text("0x'414243'"), "ABC");
  EXPECT_EQ(r.run("0x'414243'").value.type(), LexemeType::PStr);  // the copy the runner keeps
  EXPECT_EQ(postfix("0x'4142'+0x'4'"), "'AB' '' +");              // odd last digit ignored
  EXPECT_EQ(r.text("123456789012345678"), "123456789012345678");
  EXPECT_EQ(r.text(".5"), "0.50");
  EXPECT_EQ(r.text("5."), "5.00");
  EXPECT_EQ(r.text("10 % 3"), "1");
  EXPECT_EQ(r.text("''"), "");
  EXPECT_EQ(r.text("\"it's\""), "it's");
  EXPECT_EQ(r.text("'a b'+'c'"), "a bc");
  EXPECT_EQ(r.text("CONST.sync + CONST.Async + const.KEY_ESC"), "30");
}

TEST(ExprLexer, QuotedStringsViewTheTextUnlessCopied) {
  ExprOptions o;
  o.flags = kNoCheck;
  std::string error;
  CompiledExpr plain = expParseExpression("'abc'", o, error);
  o.flags |= kCopyStrings;
  CompiledExpr copied = expParseExpression("'abc'", o, error);
  ASSERT_TRUE(plain && copied);
  EXPECT_EQ(plain->postfix()[0].type, LexemeType::Str);
  EXPECT_EQ(copied->postfix()[0].type, LexemeType::EPStr);
  EXPECT_EQ(copied->dumpPostfix(), "EPSTR: 'abc'\n");
}

TEST(ExprLexer, NamesWordsAndSuffixes) {
  EXPECT_EQ(postfix("a AND b"), "a b AND");
  EXPECT_EQ(postfix("aANDb"), "aANDb");
  EXPECT_EQ(postfix("a and b"), "a b AND");
  EXPECT_EQ(postfix("_time + @x_1.y"), "_time @x_1.y +");
  Runner r;
  EXPECT_EQ(r.error("CURDEPTH.long > 1"), "'CURDEPTH' is not an indicator at position 0");
  std::string e;
  CompiledExpr ok = expParseExpression("QTIME.LONG > nettime.short", r.options, e);
  ASSERT_TRUE(ok) << e;
  EXPECT_EQ(ok->postfix()[0].modifier, IndicatorModifier::Long);
  EXPECT_EQ(ok->postfix()[0].name, "QTIME");
  EXPECT_EQ(ok->postfix()[1].modifier, IndicatorModifier::Short);
}

TEST(ExprLexer, Constants) {
  Runner r;
  EXPECT_EQ(r.error("CONST."), "No constant name provided");
  EXPECT_EQ(r.error("CONST.MQCC_FAILED"), "Unrecognised constant 'MQCC_FAILED'.");
  EXPECT_EQ(r.error("CONST." + std::string(120, 'X')), "Unrecognised constant '" + std::string(120, 'X') + "'.");
  ExprVocabulary vocabulary;
  vocabulary.constant = [](std::string_view name) -> std::optional<int64_t> {
    if (equalBytes(name, "MQCC_FAILED", false)) return 2;
    return std::nullopt;
  };
  vocabulary.isIndicator = expDefaultIsIndicator;
  vocabulary.isSystemVariable = expDefaultIsSystemVariable;
  r.options.vocabulary = &vocabulary;
  EXPECT_EQ(r.text("CONST.mqcc_failed * 10"), "20");
}

TEST(ExprLexer, TokenErrorsCarryPositions) {
  Runner r;
  r.options.positionOffset = 100;
  struct Row {
    const char* text;
    const char* error;
  } rows[] = {
      {"", "No expression given"},
      {" \t\r\n", "No expression given"},
      {"'abc", "Quote missing from string"},
      {"1 + 'abc\"", "Quote missing from string"},
      {"1 + 0xG1", "Invalid hex number '0xG1' at position 104"},
      {"0x'41G2'", "Invalid hex number '0x'41G2'' at position 100"},
      {"0x'4142", "Invalid hex number '0x'4142' at position 100"},
      {"0x12345678123456781", "Invalid hex number '0x12345678123456781' at position 100"},
      {"1234567890123456789", "Unrecognised token '1234567890123456789' at position 100"},
      {"12345678901234567.89", "Unrecognised token '12345678901234567.89' at position 100"},
      {"10%3", "Unrecognised token '10%3' at position 100"},
      {"1.2.3", "Unrecognised token '1.2.3' at position 100"},
      {"1 + _nosuch", "Unrecognised system variable '_nosuch' at position 104"},
      {"2 ; 3", "Unrecognised token ';' at position 102"},
  };
  for (const Row& row : rows) EXPECT_EQ(r.error(row.text), row.error) << "expression: " << row.text;
  Runner noAt(kCaseSensitive);
  EXPECT_EQ(noAt.error("@a"), "Unrecognised token '@a' at position 0");
}

TEST(ExprParser, SyntaxErrorsCarryPositions) {
  Runner r;
  std::string args21 = "max(1";
  for (int i = 0; i < 20; ++i) args21 += ",1";
  args21 += ")";
  struct Row {
    std::string text;
    const char* error;
  } rows[] = {
      {"1 2", "An operator was expected after operand at position 0"},
      {"(1) (2)", "An operator was expected after operand at position 2"},
      {"1 LOWER(2)", "An operator was expected after operand at position 0"},
      {"1 , 2", "Unexpected character ',' found at position 2"},
      {"foo(1)", "Unknown function name 'foo' at position 0"},
      {"* 2", "Unexpected operator '*' found at position 0"},
      {"1 ! 2", "Unexpected operator '!' found at position 2"},
      {"1 + )", "An operand was expected before ')' at position 4"},
      {"1 )", "Unmatched parenthesis"},
      {"1 +", "An operand was expected after '+' at position 2"},
      {"1 + (", "An operand was expected after '(' at position 4"},
      {"(1", "The ')' to match the '(' at position 0 was not found"},
      {"((1)", "The ')' to match the '(' at position 0 was not found"},
      {"lower 1", "Expected '(' to follow function LOWER at position 0"},
      {"2 * lower", "Expected '(' to follow function LOWER at position 4"},
      {"lower('a'", "Missing ')' for function LOWER at position 0"},
      {"lower()", "Function LOWER at position 0 takes 1 parameter"},
      {"key2(@a)", "Function KEY2 at position 0 takes 2 parameters"},
      {"max(1,,2)", "An operand was expected before ',' at position 6"},
      {"max((1,2))", "The ')' to match the '(' at position 4 was not found"},
      {args21, "Maximum number of parameters to any function is 20"},
      {"@a[1,2,3,4,5]", "Maximum number of array subscripts on any array is 4"},
      {"@a[1", "Missing ']' for array '@a' at position 0"},
      {"@a[]", "An operand was expected before ']' at position 3"},
      {"1 [ 2", "Unexpected character '[' found at position 2"},
  };
  for (const Row& row : rows) EXPECT_EQ(r.error(row.text), row.error) << "expression: " << row.text;
  std::string args20 = "max(1";
  for (int i = 0; i < 19; ++i) args20 += ",1";
  EXPECT_EQ(r.error(args20 + ")"), "(no error)");
}

TEST(ExprParser, WhereTableHasNoSubscriptsAndOnlyItsFunctions) {
  Runner r(kAllowAt);
  r.options.table = &testWhereTable();
  EXPECT_EQ(r.error("@a[1]"), "Unrecognised token '[' at position 2");
  EXPECT_EQ(r.text("lower('AB') + max(1, 2)"), "4.00");                        // the string counts its characters
  EXPECT_EQ(r.error("KEY(@a)"), "Unknown function name 'KEY' at position 0");  // not offered to =WHERE
}

TEST(ExprParser, DeepNestingIsRefusedNotCrashed) {
  Runner r;
  std::string signs;
  for (int i = 0; i < 5000; ++i) signs += "- ";
  EXPECT_EQ(r.error(signs + "1"), "Expression is nested too deeply");
  std::string calls;
  for (int i = 0; i < 5000; ++i) calls += "lower(";
  EXPECT_EQ(r.error(calls), "Expression is nested too deeply");
  std::string parens = std::string(5000, '(') + "1" + std::string(5000, ')');
  EXPECT_EQ(r.text(parens), "1");
  std::string sum = "1";
  for (int i = 0; i < 900; ++i) sum += " + 1";
  EXPECT_EQ(r.text(sum), "901");
}

}  // namespace kvarn::script::test

namespace kvarn::script::test {

TEST(ExprParser, DebugOutputListsTokensAndPostfix) {
  Runner r;
  expSetDebugFlags(4 | 64);
  testing::internal::CaptureStderr();
  bool ok = r.run("@a[2] + 'x' * LOWER(1.5)").ok || true;
  std::string out = testing::internal::GetCapturedStderr();
  expSetDebugFlags(0);
  EXPECT_TRUE(ok);
  EXPECT_EQ(out, "expParseExpression '@a[2] + 'x' * LOWER(1.5)'\n"
                 "InStream\n--------\n"
                 "VAR  : @a\nOP   : [\nINT  : 2\nOP   : ]\nOP   : +\nSTR  : 'x'\nOP   : *\nOP   : LOWER\nOP   : (\n"
                 "DBL  : 1.500000\nOP   : )\n"
                 "OutStream\n---------\n"
                 "INT  : 2\nVAR  : @a\nSTR  : 'x'\nDBL  : 1.500000\nOP   : LOWER\nOP   : *\nOP   : +\n"
                 "expParseExpression (Return)\n");
}

}  // namespace kvarn::script::test
