#include <gtest/gtest.h>

#include "context/context.h"
#include "driver/reader.h"

namespace {

std::vector<std::string> commandsOf(const std::string &text) {
  ProgramContext ctx;
  InputSource src;
  src.isString = true;
  src.text = text;
  src.readLine = readStringLine;
  std::vector<std::string> out;
  std::string cmd;
  while (cmdReadNextCommand(ctx, src, cmd)) out.push_back(cmd);
  return out;
}

TEST(Reader, CommentsBlankLinesAndSeparators) {
  EXPECT_EQ(commandsOf("* a comment\n\n  DIS QMGR  \nDEF QL(A); DEF QL(B) ;;\n"),
            (std::vector<std::string>{"DIS QMGR", "DEF QL(A)", "DEF QL(B)"}));
  // A ';' inside quotes or brackets does not split.
  EXPECT_EQ(commandsOf("DEF QL(A) DESCR('x;y'); =syn(a) cmd(b;c)\n"),
            (std::vector<std::string>{"DEF QL(A) DESCR('x;y')", "=syn(a) cmd(b;c)"}));
}

TEST(Reader, Continuations) {
  EXPECT_EQ(commandsOf("DEFINE QLOCAL(A) +\n   DESCR('d') +\n   MAXDEPTH(5)\n"),
            (std::vector<std::string>{"DEFINE QLOCAL(A) DESCR('d') MAXDEPTH(5)"}));
  // '-' keeps the leading blanks of the next piece.
  EXPECT_EQ(commandsOf("DEF QL(A) DESCR('ab-\n  cd')\n"), (std::vector<std::string>{"DEF QL(A) DESCR('ab  cd')"}));
  // A continuation at the end of input still yields the command.
  EXPECT_EQ(commandsOf("DIS QMGR +"), (std::vector<std::string>{"DIS QMGR"}));
}

TEST(Reader, CarriageReturnsEndTheLine) {
  EXPECT_EQ(commandsOf("DIS QMGR\r\nDIS Q(*)\r\n"), (std::vector<std::string>{"DIS QMGR", "DIS Q(*)"}));
}

} // namespace
