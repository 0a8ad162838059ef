// Text handed to consumers that require UTF-8: well-formed text passes untouched, every
// other byte is kept as the Latin-1 character of its value.
#include "runtime/utf8.h"

#include <gtest/gtest.h>

#include "runtime/memory.h"

TEST(Utf8, WellFormedTextPassesUnchanged) {
  for (std::string text : {std::string(""), std::string("QUEUE(A.B) DESCR(it's [x])"), std::string("Z\xC3\xBCrich"),
                           std::string("\xE2\x82\xAC 5"), std::string("\xF0\x9F\x98\x80"), std::string("a\0b", 3)}) {
    EXPECT_TRUE(isValidUtf8(text)) << text;
    EXPECT_EQ(utf8OrLatin1(text), text);
  }
}

TEST(Utf8, EveryOtherByteIsKeptAsLatin1) {
  // A Latin-1 e-acute, a lone continuation byte, an overlong slash, a surrogate, a
  // sequence cut short at the end, and a byte above F4.
  struct Case {
    std::string in, out;
  } cases[] = {
      {"caf\xE9", "caf\xC3\xA9"},
      {"\x80x", "\xC2\x80x"},
      {"\xC0\xAF", "\xC3\x80\xC2\xAF"},
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
      {"ok\xE2\x82", "ok\xC3\xA2\xC2\x82"},
      {"\xFF", "\xC3\xBF"},
      {"\xC3\xA9\xE9\xC3\xA9", "\xC3\xA9\xC3\xA9\xC3\xA9"},  // good, bad, good
  };
  for (const Case &c : cases) {
    EXPECT_FALSE(isValidUtf8(c.in));
    std::string fixed = utf8OrLatin1(c.in);
    EXPECT_EQ(fixed, c.out);
    EXPECT_TRUE(isValidUtf8(fixed));
  }
}

TEST(Memory, HighWaterRestartsFromTheBytesInUse) {
  void *big = CSGetMem(1 << 20);
  ASSERT_NE(big, nullptr);
  CSFreeMem(big);
  CSMemoryResetHighWater();
  MemoryCounters64 now = CSMemoryCounters64();
  EXPECT_LT(now.highWater, now.bytesInUse + (1 << 20));
  void *small = CSGetMem(1000);
  EXPECT_GE(CSMemoryCounters64().highWater, now.bytesInUse + 1000);
  CSFreeMem(small);
}
