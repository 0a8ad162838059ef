// The text scanners: tokens, levels of quotes and brackets, definition tokens.
#include "runtime/scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr size_t npos = std::string_view::npos;

std::vector<std::string> tokens(std::string_view text, TokenSet set = TokenSet::Operators) {
  std::vector<std::string> out;
  size_t pos = 0;
  for (;;) {
    ScanToken t = scanNextToken(text, pos, set);
    if (t.exhausted) break;
    out.emplace_back(t.view(text));
  }
  return out;
}

std::vector<std::string> defTokens(std::string_view text) {
  std::vector<std::string> out;
  size_t pos = 0;
  for (;;) {
    DefToken t = scanNextDefinitionToken(text, pos);
    if (t.exhausted) break;
    out.push_back(t.text);
  }
  return out;
}

using V = std::vector<std::string>;

}  // namespace

TEST(ScanTokens, OperatorsPairsAndQuotes) {
  EXPECT_EQ(tokens("a>=b"), (V{"a", ">=", "b"}));
  EXPECT_EQ(tokens("'a b'"), (V{"'a b'"}));
  EXPECT_EQ(tokens("x<>y!=z<=w==v"), (V{"x", "<>", "y", "!=", "z", "<=", "w", "==", "v"}));
  EXPECT_EQ(tokens("a=>b"), (V{"a", "=", ">", "b"})) << "=> is not a pair";
  EXPECT_EQ(tokens("f(x,-1)*[2];"), (V{"f", "(", "x", ",", "-", "1", ")", "*", "[", "2", "]", ";"}));
  EXPECT_EQ(tokens("  \t\r\n "), V{});
  EXPECT_EQ(tokens(""), V{});
  EXPECT_EQ(tokens("\"say 'hi'\"x"), (V{"\"say 'hi'\"", "x"}));
  EXPECT_EQ(tokens("'open to the end"), (V{"'open to the end"}));
  EXPECT_EQ(tokens("ab'cd"), (V{"ab'cd"})) << "a quote inside a word does not start a string";
}

TEST(ScanTokens, GenericNamesKeepTheStar) {
  EXPECT_EQ(tokens("DIS Q(SYSTEM.*)", TokenSet::GenericNames), (V{"DIS", "Q", "(", "SYSTEM.*", ")"}));
  EXPECT_EQ(tokens("a*b", TokenSet::Operators), (V{"a", "*", "b"}));
}

TEST(ScanTokens, PositionsAndExhaustion) {
  std::string_view text = "  ab  ";
  size_t pos = 0;
  ScanToken t = scanNextToken(text, pos);
  EXPECT_FALSE(t.exhausted);
  EXPECT_EQ(t.start, 2u);
  EXPECT_EQ(t.length, 2u);
  EXPECT_EQ(pos, 4u);
  t = scanNextToken(text, pos);
  EXPECT_TRUE(t.exhausted);
  EXPECT_EQ(pos, text.size());
  pos = 1000;  // past the end is the end, not a crash
  EXPECT_TRUE(scanNextToken(text, pos).exhausted);
  EXPECT_EQ(pos, text.size());
}

TEST(ScanLevels, QuotesAndBracketsHideCharacters) {
  EXPECT_EQ(scanFindComma("a(b,c),d"), 6u);
  EXPECT_EQ(scanFindComma("'a,b',c"), 5u);
  EXPECT_EQ(scanFindComma("[a,b],c"), 5u);
  EXPECT_EQ(scanFindComma("(a,b"), npos) << "unbalanced bracket hides the rest";
  EXPECT_EQ(scanFindComma("'a,b"), npos) << "unbalanced quote hides the rest";
  EXPECT_EQ(scanFindComma("a),b"), 2u) << "a stray ) does not push the level negative";
  EXPECT_EQ(scanFindComma(""), npos);
  EXPECT_EQ(scanFindComma("a,b", 5), npos);
  EXPECT_EQ(scanFindAtLevel0("x(=)\"=\"=", '='), 7u);
  EXPECT_EQ(scanFindStatementEnd("a('x;y');b"), 8u);
  EXPECT_EQ(scanFindStatementEnd("a[;]"), 2u) << "square brackets do not hide ;";
  EXPECT_EQ(scanFindStatementEnd("a;b;c", 2), 3u);
}

TEST(ScanLevels, OpenBracket) {
  std::string_view t = "DEF QL(A) DESCR('x(' ) MAXDEPTH((1)";
  EXPECT_EQ(scanOpenBracket(t, 7), 6u);
  EXPECT_EQ(scanOpenBracket(t, 9), npos);
  EXPECT_EQ(scanOpenBracket(t, 19), 15u) << "the ( inside quotes does not count";
  EXPECT_EQ(scanOpenBracket(t, 21), 15u);
  EXPECT_EQ(scanOpenBracket(t, 22), npos);
  EXPECT_EQ(scanOpenBracket(t, t.size()), 31u) << "the outermost open group";
  EXPECT_EQ(scanOpenBracket(t, 1000), 31u);
  EXPECT_EQ(scanOpenBracket("", 0), npos);
}

TEST(ScanText, NormaliseList) {
  EXPECT_EQ(scanNormaliseList("a , b,c "), "a,b,c");
  EXPECT_EQ(scanNormaliseList(" , a,, b ,"), "a,b");
  EXPECT_EQ(scanNormaliseList(""), "");
  EXPECT_EQ(scanNormaliseList("'x , y' , z"), "'x , y',z") << "quoted commas stay";
}

TEST(ScanDefinition, CaseQuotesAndComments) {
  EXPECT_EQ(defTokens("define channel(c1) chltype(clntconn) descr('Mixed Case')"),
            (V{"DEFINE", "CHANNEL", "(", "C1", ")", "CHLTYPE", "(", "CLNTCONN", ")", "DESCR", "(", "Mixed Case", ")"}));
  EXPECT_EQ(defTokens("* comment?\n  ; a comment\n# another\nx;y # z"), (V{"*", "COMMENT?", "X", ";", "Y", "#", "Z"}))
      << "only a ; or # first on its line starts a comment";
  EXPECT_EQ(defTokens("q(A.*)"), (V{"Q", "(", "A.*", ")"}));
  EXPECT_EQ(defTokens("descr('It''s')"), (V{"DESCR", "(", "It's", ")"}));
  EXPECT_EQ(defTokens("''"), V{""});
  EXPECT_EQ(defTokens("; only a comment"), V{});
}

TEST(ScanDefinition, QuoteFlagsAndLimits) {
  size_t pos = 0;
  DefToken t = scanNextDefinitionToken(" 'abc", pos);
  EXPECT_TRUE(t.quoted);
  EXPECT_TRUE(t.unclosedQuote);
  EXPECT_EQ(t.text, "abc");
  EXPECT_EQ(t.start, 1u);

  for (size_t len : {size_t{500}, size_t{501}, size_t{2000}}) {
    for (bool quoted : {false, true}) {
      std::string body(len, 'k');
      std::string text = quoted ? "'" + body + "' next" : body + " next";
      pos = 0;
      t = scanNextDefinitionToken(text, pos);
      EXPECT_EQ(t.tooLong, len > 500) << len;
      EXPECT_EQ(t.text.size(), std::min<size_t>(len, 500));
      EXPECT_EQ(scanNextDefinitionToken(text, pos).text, "NEXT") << "the rest of a long token is skipped";
    }
  }
}

TEST(Scan, MessageIds) {
  EXPECT_EQ(scanMessageId("AMQ8409I: Display Queue details."), "AMQ8409I");
  EXPECT_EQ(scanMessageId("AMQ8409: RESET QSTATS details."), "AMQ8409");
  EXPECT_EQ(scanMessageId("CSQM401I ]QMZ"), "CSQM401I");
  EXPECT_EQ(scanMessageId("CSQ9022I ]QMZ CSQMDRTS ' DEFINE QLOCAL' NORMAL COMPLETION"), "CSQ9022I");
  EXPECT_EQ(scanMessageId("AMQ8409"), "AMQ8409");
  for (const char *none : {"QUEUE(A)", "AMQ84", "AMQ8409IX: x", "amq8409I: x", "TOLK1234 x", ""})
    EXPECT_EQ(scanMessageId(none), "") << none;
}

TEST(Scan, PasswordsAreMaskedWhereverTheClauseStands) {
  EXPECT_EQ(scanMaskPasswords("=conn qm(QM1) user(admin) pwd(S3cr3tPassw0rd) client"),
            "=conn qm(QM1) user(admin) pwd(********) client");
  EXPECT_EQ(scanMaskPasswords("=conn PWD (a(b)c) Pwd(x)"), "=conn PWD (********) Pwd(********)");
  EXPECT_EQ(scanMaskPasswords("argv[6] = 'channel(C) pwd(x)'"), "argv[6] = 'channel(C) pwd(********)'");
  // Never closed: everything after the bracket may be the password.
  EXPECT_EQ(scanMaskPasswords("=conn pwd(abc user(x)"), "=conn pwd(********");
  // Not a pwd clause: other names that end in pwd, an empty value, no bracket.
  for (const char *same : {"=conn mypwd(x)", "@pwd(1)", "=conn pwd()", "print 'pwd'", "pwd", ""})
    EXPECT_EQ(scanMaskPasswords(same), same) << same;
}
