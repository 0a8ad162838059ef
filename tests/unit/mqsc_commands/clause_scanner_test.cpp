#include <gtest/gtest.h>

#include "mqsc/clause_scanner.h"

namespace {

struct Found {
  bool ok;
  KeywordClause clause;
  std::string message;
  std::string value;
};

Found find(std::string_view text, std::string_view keyword, unsigned options) {
  Found f;
  f.ok = findKeyword(text, keyword, options, f.clause, &f.message);
  if (f.ok && f.clause.found) f.value = std::string(f.clause.value(text));
  return f;
}

TEST(ClauseScanner, FindsValuesAtTheOuterLevelOnly) {
  auto f = find("DIS Q(X) DESCR('a(b')", "DESCR", kKeyReportErrors);
  ASSERT_TRUE(f.ok && f.clause.found);
  EXPECT_EQ(f.value, "a(b");
  EXPECT_TRUE(f.clause.quoted);

  // A bracket inside a quoted value does not hide the keywords after it.
  f = find("DIS Q(X) DESCR('a(b') CURDEPTH(5)", "CURDEPTH", kKeyReportErrors);
  ASSERT_TRUE(f.clause.found);
  EXPECT_EQ(f.value, "5");

  f = find("DIS Q(X) WHERE(CURDEPTH GT 0)", "CURDEPTH", kKeyReportErrors);
  EXPECT_TRUE(f.ok);
  EXPECT_FALSE(f.clause.found);

  // Only at the start or after a blank: XQ is not Q.
  f = find("DIS XQ(1) Q(2)", "Q", 0);
  EXPECT_EQ(f.value, "2");
  // Q followed by L is QL, not Q.
  f = find("DIS QL(A)", "Q", 0);
  EXPECT_FALSE(f.clause.found);
  f = find("dis q  ( a )", "Q", 0);
  EXPECT_EQ(f.value, "a");
  EXPECT_EQ(f.clause.clause("dis q  ( a )"), "q  ( a )");
}

TEST(ClauseScanner, QuoteAndBracketErrors) {
  auto f = find("DIS Q('A''B')", "Q", kKeyReportErrors | kKeyRawValue);
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.value, "'A''B'");
  EXPECT_FALSE(f.clause.quoted);

  f = find("DIS Q('A''B')", "Q", kKeyReportErrors);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.message, "Unexpected quote in keyword 'Q'");

  f = find("DIS Q('ABC'D)", "Q", kKeyReportErrors);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.message, "Unexpected character 'D' in keyword 'Q'");

  f = find("DIS Q(ABC", "Q", kKeyReportErrors);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.message, "No closing bracket found for 'Q' keyword");
  f = find("DIS Q(ABC", "Q", kKeyReportErrors | kKeyAllowUnclosed);
  EXPECT_TRUE(f.ok);
  EXPECT_EQ(f.value, "ABC");

  f = find("DIS Q('ABC) X", "Q", kKeyReportErrors | kKeyAllowUnclosed);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.message, "End of string missing in keyword 'Q'");

  // Without option 1 the failure is silent.
  f = find("DIS Q('ABC'D)", "Q", 0);
  EXPECT_FALSE(f.ok);
  EXPECT_TRUE(f.message.empty());
}

TEST(ClauseScanner, OptionsBareAndBlanks) {
  auto f = find("DEF QL(A) NOSHARE SHARE", "SHARE", kKeyBare);
  ASSERT_TRUE(f.clause.found);
  EXPECT_EQ(f.clause.keywordPos, 18u);
  EXPECT_EQ(f.clause.clauseLength, 5u);
  f = find("DEF QL(A) SHAREX", "SHARE", kKeyBare);
  EXPECT_FALSE(f.clause.found);

  f = find("X DESCR(  a b  )", "DESCR", kKeyKeepBlanks);
  EXPECT_EQ(f.value, "  a b  ");
  f = find("X DESCR(  a b  )", "DESCR", 0);
  EXPECT_EQ(f.value, "a b");
  f = find("X DESCR()", "DESCR", 0);
  EXPECT_TRUE(f.clause.found);
  EXPECT_EQ(f.value, "");
}

TEST(ClauseScanner, ListItems) {
  std::string_view value = " A , 'B,C' ,F(1,2), [x,y] ,{p,q},";
  size_t cursor = 0;
  std::string_view item;
  std::vector<std::string> items;
  while (nextListItem(value, cursor, item)) items.emplace_back(item);
  EXPECT_EQ(items, (std::vector<std::string>{"A", "'B,C'", "F(1,2)", "[x,y]", "{p,q}"}));

  std::string packed;
  ASSERT_TRUE(splitList("A, BC", packed));
  EXPECT_EQ(packed, std::string("\x01\x00"
                                "A"
                                "\x02\x00"
                                "BC"
                                "\xFF\xFF",
                                9));
  ASSERT_TRUE(splitList("", packed));
  EXPECT_EQ(packed, "\xFF\xFF");
  std::string huge(70000, 'x');
  packed = "kept";
  EXPECT_FALSE(splitList(huge, packed));
  EXPECT_EQ(packed, "kept");
}

}  // namespace
