// The shared text helpers: case, trimming, formatting and levels of quotes and brackets.
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace std::string_view_literals;

// The characters of `text` that ScanLevel::step calls plain text at the outer level.
std::string outerText(std::string_view text, ScanLevel level = {}) {
  std::string out;
  for (char c : text)
    if (level.step(c)) out.push_back(c);
  return out;
}

}  // namespace

TEST(TextCase, EqualityFoldsOnlyAsciiLetters) {
  EXPECT_TRUE(scanEqualsNoCase("Display", "dISPLAY"));
  EXPECT_TRUE(scanEqualsNoCase("", ""));
  EXPECT_FALSE(scanEqualsNoCase("dis", "display"));
  EXPECT_FALSE(scanEqualsNoCase("[", "{")) << "characters 32 apart that are not letters stay apart";
  EXPECT_FALSE(scanEqualsNoCase("@", "`"));
  EXPECT_FALSE(scanEqualsNoCase("\xe9", "\xc9")) << "bytes beyond ASCII compare exactly, whatever the locale";
  EXPECT_FALSE(scanEqualsNoCase("a\0b"sv, "A\0c"sv)) << "the comparison does not stop at a NUL";
}

TEST(TextCase, PrefixAndContainmentIgnoreCase) {
  EXPECT_TRUE(scanStartsWithNoCase("=IMPORT file", "=import"));
  EXPECT_TRUE(scanStartsWithNoCase("anything", ""));
  EXPECT_FALSE(scanStartsWithNoCase("dis", "display")) << "a prefix longer than the text";
  EXPECT_FALSE(scanStartsWithNoCase("", "x"));
  EXPECT_TRUE(scanContainsNoCase("reset QStats(x)", "qstats"));
  EXPECT_TRUE(scanContainsNoCase("abc", "ABC"));
  EXPECT_TRUE(scanContainsNoCase("", "")) << "the empty part occurs in every text";
  EXPECT_FALSE(scanContainsNoCase("", "a"));
  EXPECT_FALSE(scanContainsNoCase("ab", "abc"));
}

TEST(TextTrim, WhiteSpaceGoesFromBothEndsUnlessOtherCharactersAreNamed) {
  EXPECT_EQ(scanTrim(" \t a b \r\n"), "a b");
  EXPECT_EQ(scanTrim("   "), "");
  EXPECT_EQ(scanTrim(""), "");
  EXPECT_EQ(scanTrim("\t a \t", " "), "\t a \t") << "blanks only: the tabs stay";
  EXPECT_EQ(scanTrim(" \ta b\t ", " \t"), "a b");
  EXPECT_EQ(scanTrim("\na\n", " "), "\na\n");
}

TEST(TextTrim, TheResultLiesInsideTheText) {
  std::string_view text = "  x  ";
  EXPECT_EQ(scanTrim(text).data(), text.data() + 2);
  std::string_view blanks = "    ";
  EXPECT_EQ(scanTrim(blanks).data(), blanks.data() + blanks.size()) << "all trimmed: empty, at the end";
}

TEST(TextFormat, TextOfAnyLengthIsFormattedWhole) {
  EXPECT_EQ(strFormat("%d-%s", 42, "x"), "42-x");
  EXPECT_EQ(strFormat("%s", ""), "");
  EXPECT_EQ(strFormat("%.*s|", 3, "abcdef"), "abc|");
  // Around the size of the on-stack buffer and well beyond it.
  for (size_t n : {size_t{510}, size_t{511}, size_t{512}, size_t{513}, size_t{5000}}) {
    std::string body(n, 'q');
    body[n / 2] = 'm';
    std::string formatted = strFormat("<%s>%d", body.c_str(), 7);
    EXPECT_EQ(formatted, "<" + body + ">7") << n;
  }
}

TEST(TextLevels, ClosingBracketNestsAndPassesOverQuotedStrings) {
  EXPECT_EQ(scanClosingBracket("a(b(c)d)e", 1), 7u);
  EXPECT_EQ(scanClosingBracket("x('a)b' \"(\")y", 1), 11u) << "brackets in either kind of quote do not count";
  EXPECT_EQ(scanClosingBracket("(a(b)", 0), 5u) << "never closed: the end of the text";
  EXPECT_EQ(scanClosingBracket("('a)", 0), 4u) << "a quote never closed hides the rest";
  EXPECT_EQ(scanClosingBracket("", 0), 0u);
  EXPECT_EQ(scanClosingBracket("()", 0), 1u);
}

TEST(TextLevels, ClosingBracketIgnoringQuotesTakesAQuoteAsACharacter) {
  std::string_view reply = "DESCR(it's) TYPE(QLOCAL)";
  EXPECT_EQ(scanClosingBracketIgnoringQuotes(reply, 5), 10u);
  EXPECT_EQ(scanClosingBracket(reply, 5), reply.size()) << "with quotes counted the value would run on";
  EXPECT_EQ(scanClosingBracketIgnoringQuotes("f((a)", 1), 5u) << "never closed: the end of the text";
  EXPECT_EQ(scanClosingBracketIgnoringQuotes("", 0), 0u);
}

TEST(TextLevels, OnlyUnquotedTextOutsideBracketsIsAtTheOuterLevel) {
  EXPECT_EQ(outerText("A(B,'C)D',E),F"), "A,F");
  EXPECT_EQ(outerText("x'a(b'y\"c\"z"), "xyz");
  EXPECT_EQ(outerText(""), "");
  ScanLevel open;
  for (char c : std::string_view("a(b'c")) open.step(c);
  EXPECT_EQ(open.depth, 1);
  EXPECT_EQ(open.quote, '\'');
  EXPECT_FALSE(open.outside()) << "unbalanced bracket and quote";
}

TEST(TextLevels, AStrayClosingBracketIsPassedOverUnlessItHidesTheRest) {
  EXPECT_EQ(outerText("a)b"), "ab");
  EXPECT_EQ(outerText("a)b c", ScanLevel{.strayCloseHidesRest = true}), "a");
  EXPECT_EQ(outerText("a)b(c)d", ScanLevel{.strayCloseHidesRest = true}), "ac") << "until a '(' balances it";
  EXPECT_EQ(outerText("x[{y}]z", ScanLevel{.opens = "([{", .closes = ")]}"}), "xz");
  EXPECT_EQ(outerText("x[y]z"), "x[y]z") << "only round brackets unless told";
}
