#include <gtest/gtest.h>

#include "driver/local_table.h"

namespace {

std::string firstError(const std::string &text) {
  ParsedCommand cmd;
  SyntaxResult r = checkLocalCommand(text, cmd);
  if (r.ok) return "ok";
  return r.lines.empty() ? "" : r.lines[0];
}

TEST(LocalSyntax, AcceptedCommands) {
  ParsedCommand cmd;
  ASSERT_TRUE(checkLocalCommand("=set colwidth( 33 ) sound(off)", cmd).ok);
  ASSERT_EQ(cmd.items.size(), 3u);
  EXPECT_EQ(cmd.value("colwidth"), "33");
  EXPECT_EQ(cmd.value("SOUND"), "off");
  ASSERT_TRUE(checkLocalCommand("=SYN(ls) cmd(dis q(*) where(curdepth gt 0))", cmd).ok);
  EXPECT_EQ(cmd.items[0].value, "ls");
  EXPECT_EQ(cmd.value("cmd"), "dis q(*) where(curdepth gt 0)");
  EXPECT_TRUE(checkLocalCommand("=count summary(fail, oknz)", cmd).ok);
  EXPECT_TRUE(checkLocalCommand("=show key", cmd).ok);        // a hidden operand, with its empty value row
  EXPECT_TRUE(checkLocalCommand("qdepth qlocal(Q1)", cmd).ok);    // hidden rows are named without their ~
  EXPECT_TRUE(checkLocalCommand("=conn qm(QM1) client channel(SYSTEM.DEF.SVRCONN)", cmd).ok);
  EXPECT_TRUE(checkLocalCommand("=echo cmds(maybe)", cmd).ok == false);
}

TEST(LocalSyntax, ErrorMessages) {
  EXPECT_EQ(firstError("=xyz"), "Unrecognised command '=xyz'");
  EXPECT_EQ(firstError("=set bogus(1)"), "Unrecognised parameter 'bogus'");
  EXPECT_EQ(firstError("=set sound(yes)"), "Unrecognised value 'yes' for 'sound' parameter");
  EXPECT_EQ(firstError("=set separator(wavy)"), "Unrecognised value 'wavy' for 'separator' parameter");
  EXPECT_EQ(firstError("=set sound"), "Missing value for parameter 'sound'");
  EXPECT_EQ(firstError("=cache purge(now)"), "Parameter 'purge' does not have any values");
  EXPECT_EQ(firstError("=set cmdhist(ten)"), "Please specify a number as a value for parameter 'cmdhist'");
  EXPECT_EQ(firstError("=count summary(fails)"), "Unrecognised value 'fails' for 'summary' parameter");
  EXPECT_EQ(firstError("=set prompt(abc"), "Missing closing bracket for bracket at position 12");
  EXPECT_EQ(firstError("=set $x"), "Unexpected character '$' found at position 6");
  EXPECT_EQ(firstError("=set colw(1)"), "Unrecognised parameter 'colw'");   // no abbreviations
}

TEST(LocalSyntax, TwentyItemsAtMost) {
  std::string text = "=set";
  for (int i = 0; i < 19; ++i) text += " sound(on)";
  EXPECT_EQ(firstError(text), "ok");
  EXPECT_EQ(firstError(text + " sound(on)"), "Too many command parameters");
}

TEST(LocalSyntax, Help) {
  ParsedCommand cmd;
  SyntaxResult r = checkLocalCommand("=?", cmd);
  ASSERT_TRUE(r.help);
  EXPECT_EQ(r.lines[0], "Commands available are:");
  for (const auto &l : r.lines) EXPECT_EQ(l.find("qdepth"), std::string::npos);
  r = checkLocalCommand("=cls ?", cmd);
  ASSERT_TRUE(r.help);
  EXPECT_EQ(r.lines[1], "\"=cls\" - Clear the screen");
  EXPECT_EQ(r.lines[2], "The command has no parameters");
  r = checkLocalCommand("=output ?", cmd);
  EXPECT_EQ(r.lines[1], "\"=output <parms>\" - Set output file settings");
  EXPECT_EQ(r.lines[2], "where <parms> are:");
  EXPECT_EQ(r.lines[3], " append - Should the file be appended to");
  r = checkLocalCommand("=show scrn(?)", cmd);
  ASSERT_TRUE(r.help);
  EXPECT_EQ(r.lines[0], "where values are:");
  EXPECT_EQ(r.lines[1], " help - Shows the help screen");
  r = checkLocalCommand("=ccdt version(?)", cmd);
  EXPECT_EQ(r.lines[1], " 9.3.4 - MQ 9.3.4 Version");
  EXPECT_EQ(r.lines.back(), " 5.2   - MQ 5.2 Version");
}

} // namespace
