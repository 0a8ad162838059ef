#include <gtest/gtest.h>

#include "context/context.h"
#include "context/echo.h"

namespace {

TEST(Echo, OneRuleForEveryCommandLine) {
  ProgramContext ctx;
  InputSource file, terminal;
  terminal.prompting = true;
  ctx.input = &file;

  EXPECT_TRUE(echoVisible(ctx, nullptr, IssueFromUser));
  EXPECT_FALSE(echoVisible(ctx, nullptr, IssueFromStartup));  // the program's own commands
  ctx.runningBootstrap = true;
  EXPECT_FALSE(echoVisible(ctx, nullptr, IssueFromUser));  // the bootstrap runs quietly
  file.echo.lang = true;
  EXPECT_TRUE(echoVisible(ctx, nullptr, IssueFromUser, EchoKind::Statement));  // statements follow lang
  ctx.runningBootstrap = false;

  file.echo.lang = false;
  EXPECT_FALSE(echoVisible(ctx, &file, IssueFromUser, EchoKind::Statement));
  EXPECT_TRUE(echoVisible(ctx, &terminal, IssueFromUser, EchoKind::Statement));  // langcon at a terminal
  terminal.echo.langcon = false;
  EXPECT_FALSE(echoVisible(ctx, &terminal, IssueFromUser, EchoKind::Statement));

  file.echo.cmds = false;
  EXPECT_FALSE(echoVisible(ctx, &file, IssueFromUser));
  file.echo.cmds = true;
  file.echo.input = false;  // the master switch
  EXPECT_FALSE(echoVisible(ctx, &file, IssueFromUser));
  file.echo.lang = true;
  EXPECT_FALSE(echoVisible(ctx, &file, IssueFromUser, EchoKind::Statement));
}

}  // namespace
