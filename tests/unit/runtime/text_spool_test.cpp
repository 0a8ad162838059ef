#include <gtest/gtest.h>

#include <string>

#include "runtime/text_spool.h"

namespace {

TEST(TextSpool, KeepsEveryByteInOrderAcrossTheMoveToAFile) {
  TextSpool spool(64);  // a small limit, so that the file takes most of it
  std::string expected;
  for (int i = 0; i < 500; ++i) {
    std::string piece = "line " + std::to_string(i) + (i % 7 ? "\n" : std::string(1, '\0'));
    spool.append(piece);
    expected += piece;
  }
  EXPECT_EQ(spool.size(), expected.size());
  EXPECT_EQ(spool.text(), expected);
  spool.append("tail");  // reading leaves it open for more
  EXPECT_EQ(spool.text(), expected + "tail");

  TextSpool moved(std::move(spool));
  EXPECT_EQ(moved.text(), expected + "tail");
  EXPECT_TRUE(spool.empty());  // NOLINT: a moved-from spool is empty and usable
  spool.append("again");
  EXPECT_EQ(spool.text(), "again");

  moved.clear();
  EXPECT_TRUE(moved.empty());
  EXPECT_EQ(moved.text(), "");
  moved.append("fresh");
  EXPECT_EQ(moved.text(), "fresh");
}

TEST(TextSpool, SmallTextStaysInMemory) {
  TextSpool spool;
  spool.append("AMQ8006I: IBM MQ queue created.");
  EXPECT_EQ(spool.text(), "AMQ8006I: IBM MQ queue created.");
  TextSpool other;
  other = std::move(spool);
  EXPECT_EQ(other.text(), "AMQ8006I: IBM MQ queue created.");
}

}  // namespace
