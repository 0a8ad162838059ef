#include <gtest/gtest.h>

#include "script/compiler.h"
#include "script_harness.h"

namespace {

using namespace kvarn::script;

std::vector<std::string> commandsOf(const std::string &text) {
  test::ScriptHarness h;
  InputSource src;
  test::makeStringSource(src, text);
  NodeList lines;
  std::vector<std::string> out;
  std::string cmd;
  while (cmdReadNextCommand(h.ctx, src, lines, cmd)) out.push_back(cmd);
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
  // The blank before a final '-' stays, and so do the next line's leading blanks.
  EXPECT_EQ(commandsOf("DEFINE QLOCAL(A) -\n   DESCR('x')\n"),
            (std::vector<std::string>{"DEFINE QLOCAL(A)    DESCR('x')"}));
  EXPECT_EQ(commandsOf("DEFINE QLOCAL(A) +\n   DESCR('x')\n"),
            (std::vector<std::string>{"DEFINE QLOCAL(A) DESCR('x')"}));
}

TEST(Reader, CarriageReturnsEndTheLine) {
  EXPECT_EQ(commandsOf("DIS QMGR\r\nDIS Q(*)\r\n"), (std::vector<std::string>{"DIS QMGR", "DIS Q(*)"}));
}

}  // namespace
