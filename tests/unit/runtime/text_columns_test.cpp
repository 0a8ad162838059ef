#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "runtime/text_columns.h"

namespace {

// Wide characters are only measured as wide under a UTF-8 character type.
struct Utf8Locale {
  Utf8Locale() { std::setlocale(LC_CTYPE, "C.UTF-8"); }
  ~Utf8Locale() { std::setlocale(LC_CTYPE, "C"); }
};

TEST(TextColumns, WideCharactersTakeTwoColumnsAndWrapWhole) {
  Utf8Locale utf8;
  std::string text = "AB\xe6\xbc\xa2\xe5\xad\x97";  // "AB" and two CJK characters
  EXPECT_EQ(textColumns(text), 6u);
  // At 3 columns the first CJK character does not fit after "AB": it starts row 2.
  EXPECT_EQ(textRows(text, 3), 3u);
  EXPECT_EQ(textRowStart(text, 3, 1), 2u);
  EXPECT_EQ(textRowStart(text, 3, 2), 5u);
  EXPECT_EQ(textRowStart(text, 3, 3), text.size());
}

TEST(TextColumns, StrayBytesAreKeptAsOneColumnEach) {
  std::string text = "a\xff\xc3"
                     "b\xe2\x82";  // a lone lead, an invalid byte, a cut sequence
  size_t at = 0, characters = 0;
  while (at < text.size()) {
    TextChar ch = textCharAt(text, at);
    EXPECT_GE(ch.bytes, 1u);
    at += ch.bytes;
    ++characters;
  }
  EXPECT_EQ(characters, text.size());  // nothing swallowed
  EXPECT_EQ(textCharAt(text, 1).code, 0xFFu);
  EXPECT_EQ(textColumns(text), text.size());
}

TEST(TextColumns, AsciiRowsAndTheEdges) {
  EXPECT_EQ(textRows("", 10), 1u);
  EXPECT_EQ(textRows(std::string(10, 'x'), 10), 1u);
  EXPECT_EQ(textRows(std::string(11, 'x'), 10), 2u);
  EXPECT_EQ(textRows(std::string(50, 'x'), 0), 1u);
  EXPECT_EQ(textRowStart(std::string(25, 'x'), 10, 2), 20u);
  // Overlong forms and surrogates are not characters: their bytes stand alone.
  EXPECT_EQ(textCharAt("\xc0\xaf", 0).bytes, 1u);
  EXPECT_EQ(textCharAt("\xed\xa0\x80", 0).bytes, 1u);
  EXPECT_EQ(textCharAt("\xf0\x9f\x98\x80", 0).code, 0x1F600u);
}

}  // namespace
