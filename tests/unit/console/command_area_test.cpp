// The command area's editing, history recall, undo, find and completion, on a console
// state without a terminal: what the user would see in the command area and on the
// message line.
#include <gtest/gtest.h>

#include "../support/captured_output.h"
#include "console/completion.h"
#include "console/console_settings.h"
#include "console/console_state.h"
#include "console/editing.h"
#include "console/find.h"
#include "console/history.h"
#include "console/paint.h"
#include "console/scrolling.h"
#include "console/terminal.h"
#include "context/settings.h"
#include "mqsc/vocab.h"

namespace {

struct CommandArea : ::testing::Test {
  ProgramContext ctx;
  ConsoleState c;
  void SetUp() override {
    ASSERT_TRUE(ctx.displayLock.create());
    ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, nullptr, nullptr);
    ctx.output->keepLines(true);
    ctx.settings.options &= ~kOptSound;
    c.ctx = &ctx;
    c.columns = 80;
    c.rows = 25;
    c.prompt = ">";
    InitialiseCommandFields();
  }
  void type(std::string_view text) {
    for (char ch : text) typeCharacter(c, static_cast<unsigned char>(ch));
  }
  std::string text() const { return commandText(c); }
};

TEST_F(CommandArea, TypingInsertsOverwritesAndPadsPastTheEnd) {
  type("DIS Q");
  moveHome(c);
  type("X");
  EXPECT_EQ(text(), "XDIS Q");
  c.insertMode = false;
  type("Y");
  EXPECT_EQ(text(), "XYIS Q");
  moveEnd(c);
  moveRight(c);
  moveRight(c);
  type("Z");
  EXPECT_EQ(text(), "XYIS Q  Z");  // the gap is filled with blanks
  backspace(c);
  EXPECT_EQ(text(), "XYIS Q  ");
}

TEST_F(CommandArea, HistoryRecallByPrefixAndByContainedText) {
  for (const char *cmd : {"DISPLAY QMGR", "DEFINE QLOCAL(A)", "display qmgr", "quit", "DIS CHANNEL(*)"})
    addToHistory(c, cmd);
  // quit is not kept; the two DISPLAY QMGR are one entry, in the newer letter case.
  ASSERT_EQ(consoleSettingsOf(ctx).history.size(), 3u);
  EXPECT_EQ(consoleSettingsOf(ctx).history[1], "display qmgr");

  type("DE");
  recallCommand(c, -1);
  EXPECT_EQ(text(), "DEFINE QLOCAL(A)");
  recallCommand(c, -1);
  EXPECT_EQ(c.message, "No previous command matching prefix 'DE' found");

  c.recalling = false;
  setCommandText(c, "#QMG");
  recallCommand(c, -1);
  EXPECT_EQ(text(), "display qmgr");

  c.recalling = false;
  setCommandText(c, "#zzz");
  recallCommand(c, -1);
  EXPECT_EQ(c.message, "No previous command containing characters 'zzz' found");
}

TEST_F(CommandArea, UndoReachesBackAtMostAThousandSnapshots) {
  for (int i = 0; i < 1200; ++i) {
    snapshotForUndo(c);
    type("x");
  }
  snapshotForUndo(c);
  int steps = 0;
  while (true) {
    c.message.clear();
    undoChange(c);
    if (!c.message.empty()) break;
    ++steps;
  }
  EXPECT_EQ(c.message, "No further undo available");
  EXPECT_LE(steps, 1000);
  EXPECT_GE(steps, 999);
  // Redo walks back towards the newest.
  redoChange(c);
  EXPECT_GT(text().size(), 200u);
}

TEST_F(CommandArea, PasteThatDoesNotFitChangesNothing) {
  type("DIS Q");
  c.clipboard = std::string(kMaxCommandArea, 'a');
  pasteClipboard(c);
  EXPECT_EQ(text(), "DIS Q");
  EXPECT_EQ(c.message, "Too much clipboard data");
  selectAll(c);
  copySelection(c, true);
  EXPECT_EQ(text(), "");
  EXPECT_EQ(c.clipboard, "DIS Q");
}

TEST_F(CommandArea, FindReportsItsSuffixErrorsAndHits) {
  ctx.output->addLine("[10:00:00] DIS QMGR", kStyleCommand);
  ctx.output->addLine("QMNAME(QM1)", kStyleAttributes);
  ctx.output->addLine("[10:00:01] DIS Q(*)", kStyleCommand);
  runFind(c, "/qmname/q");
  EXPECT_EQ(c.message, "Unrecognised find command suffix 'q'");
  setCommandText(c, "/qmname");
  runFind(c, "/qmname");
  EXPECT_EQ(c.findLine, 1u);
  EXPECT_TRUE(text().empty());  // a successful find empties the command area
  findAgain(c, false);
  EXPECT_EQ(c.message, "Only one instance found");
  runFind(c, "/QMNAME/c");
  EXPECT_EQ(c.findLine, 1u);
  runFind(c, "/qmname/c");
  EXPECT_EQ(c.message, "String not found");
}

TEST_F(CommandArea, TabCompletesAndCyclesFromTheVocabulary) {
  type("DIS");
  completeAtCursor(c, +1);
  EXPECT_EQ(text(), "DISPLAY ");
  type("QL");
  completeAtCursor(c, +1);
  EXPECT_EQ(text(), "DISPLAY QLOCAL ");
  // With one candidate a second press keeps it; with several it cycles, Shift-Tab back.
  completeAtCursor(c, +1);
  EXPECT_EQ(text(), "DISPLAY QLOCAL ");
  setCommandText(c, "DISPLAY Q");
  c.completing = false;
  completeAtCursor(c, +1);
  std::string first = text();
  completeAtCursor(c, +1);
  EXPECT_NE(text(), first);
  completeAtCursor(c, -1);
  EXPECT_EQ(text(), first);
  // An unknown verb says so.
  setCommandText(c, "XYZZY Q");
  c.completing = false;
  completeAtCursor(c, +1);
  EXPECT_NE(c.message.find("XYZZY"), std::string::npos);
}

}  // namespace

namespace {

// Copy from a selection that reaches into the output takes what the screen shows; the
// screen is painted into /dev/null by curses, which keeps its own copy of every cell.
TEST(ConsoleSelection, CopyingFromTheOutputTakesTheShownText) {
  setenv("TERM", "xterm-256color", 0);
  ProgramContext ctx;
  ASSERT_TRUE(ctx.displayLock.create());
  ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, nullptr, nullptr);
  ctx.output->keepLines(true);
  ctx.output->setWidth(80);
  ctx.settings.options &= ~(kOptSound | kOptScroll);
  for (int i = 0; i < 30; ++i) ctx.output->addLine("LINE " + std::to_string(i), kStyleInfo);
  ConsoleState c;
  c.ctx = &ctx;
  FILE *out = std::fopen("/dev/null", "w");
  FILE *in = std::fopen("/dev/null", "r");
  std::string why;
  ASSERT_TRUE(openTerminalOn(c, out, in, why)) << why;
  c.prompt = ">";
  typeCharacter(c, U'X');
  paintConsole(c);
  // From the start of the last output row down into the command area.
  int last = outputRows(c) - 1;
  c.selecting = true;
  c.anchorInOutput = true;
  c.anchorRow = last;
  c.anchorColumn = 0;
  c.cursor = 1;
  std::string text = selectedScreenText(c);
  EXPECT_EQ(text.substr(0, 7), "LINE 29");
  copySelection(c, true);
  EXPECT_EQ(c.clipboard, text);
  EXPECT_EQ(commandText(c), "X");  // nothing of the command area was cut
  deleteSelection(c);
  EXPECT_EQ(commandText(c), "X");
  closeTerminal(c);
  std::fclose(out);
  std::fclose(in);
}

}  // namespace
