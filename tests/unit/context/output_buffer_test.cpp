// The output line buffer as the user meets it: open lines and their copies, a copy file
// that cannot be written, the lines the console keeps and purges, and their layout at
// another width.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "context/output.h"
#include "context/settings.h"
#include "../support/file_contents.h"

namespace {

size_t occurrences(const std::string &text, const std::string &part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Standard output, standard error and a copy file, all temporary files read back.
struct Streams {
  OwnedMutex lock;
  FILE *out = std::tmpfile();
  FILE *err = std::tmpfile();
  FILE *copy = std::tmpfile();
  Streams() { lock.create(); }
  ~Streams() {
    std::fclose(out);
    std::fclose(err);
    std::fclose(copy);
  }
  std::string copyPath() const { return "/proc/self/fd/" + std::to_string(fileno(copy)); }
};

std::vector<std::string> textsOf(const ScreenLines &lines) {
  std::vector<std::string> texts;
  for (size_t i = 0; i < lines.size(); ++i) texts.emplace_back(lines.at(i).text());
  return texts;
}

// Each kept line starts where the one before it ends, and the screen's rows are theirs.
void expectRowsContiguous(const ScreenLines &lines) {
  if (lines.empty()) {
    EXPECT_EQ(lines.rows(), 0u);
    return;
  }
  uint64_t total = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) { EXPECT_EQ(lines.at(i).rowIndex, lines.at(i - 1).rowIndex + lines.at(i - 1).rows) << "line " << i; }
    total += lines.at(i).rows;
  }
  EXPECT_EQ(lines.rows(), total);
}

// ---- open lines ---------------------------------------------------------------------------

TEST(OpenLines, AQuestionEndedByTheTerminalIsEndedOnceInTheCopyAndNotWrittenAgain) {
  Streams s;
  {
    OutputBuffer buffer(s.lock, s.out, s.err);
    ASSERT_TRUE(buffer.openCopyFile(s.copyPath(), false));
    buffer.addLine("Queue contains 5 messages - continue? ", kStyleInfo | kStyleOpen);
    // The terminal echoed the user's Enter; a second close finds nothing open.
    buffer.closeOpenLine();
    buffer.closeOpenLine();
    buffer.addLine("AMQ8022I: IBM MQ queue cleared.", kStyleInfo);
    buffer.flush();
  }
  // On the terminal the echoed Enter ended the line: nothing more is written for it.
  EXPECT_EQ(contentsOf(s.out), "Queue contains 5 messages - continue? AMQ8022I: IBM MQ queue cleared.\n");
  EXPECT_EQ(contentsOf(s.copy), "Queue contains 5 messages - continue? \nAMQ8022I: IBM MQ queue cleared.\n");
}

TEST(OpenLines, APrintContinuedInPiecesIsOneLineOnStdoutAndInTheCopy) {
  Streams s;
  {
    OutputBuffer buffer(s.lock, s.out, s.err);
    ASSERT_TRUE(buffer.openCopyFile(s.copyPath(), false));
    buffer.addLine("total ", kStyleInfo | kStylePrint | kStyleOpen);
    buffer.addLine("5", kStyleInfo | kStylePrint | kStyleContinues | kStyleOpen);
    buffer.addLine(" queues", kStyleInfo | kStylePrint | kStyleContinues);
    buffer.addLine("depth ", kStyleInfo | kStylePrint | kStyleOpen);
    buffer.addLine("AMQ8409I: Display Queue details.", kStyleInfo);  // does not continue: a line of its own
    buffer.flush();
  }
  const char *expected = "total 5 queues\ndepth \nAMQ8409I: Display Queue details.\n";
  EXPECT_EQ(contentsOf(s.out), expected);
  EXPECT_EQ(contentsOf(s.copy), expected);
}

TEST(OpenLines, ARunEndingWithALineOpenWritesItOnceAndEndsTheCopy) {
  Streams s;
  {
    OutputBuffer buffer(s.lock, s.out, s.err);
    ASSERT_TRUE(buffer.openCopyFile(s.copyPath(), false));
    buffer.addLine("unfinished ", kStyleInfo | kStylePrint | kStyleOpen);
    buffer.flush();
    buffer.flush();
  }
  std::string out = contentsOf(s.out);
  EXPECT_EQ(occurrences(out, "unfinished "), 1u) << out;
  EXPECT_EQ(contentsOf(s.copy), "unfinished \n");  // the copy's last line is a whole line
}

TEST(OpenLines, ALineOpenWhenTheCopyFileChangesDoesNotLeakIntoTheNextFile) {
  Streams s;
  FILE *second = std::tmpfile();
  const std::string secondPath = "/proc/self/fd/" + std::to_string(fileno(second));
  {
    OutputBuffer buffer(s.lock, s.out, s.err);
    ASSERT_TRUE(buffer.openCopyFile(s.copyPath(), false));
    buffer.addLine("total ", kStyleInfo | kStylePrint | kStyleOpen);
    buffer.addLine("=output file(b)", kStyleCommand | kStyleNoCopy);  // the echo of =output
    ASSERT_TRUE(buffer.openCopyFile(secondPath, false));
    buffer.addLine("next", kStyleInfo);
    buffer.flush();
  }
  EXPECT_EQ(contentsOf(s.out), "total \n=output file(b)\nnext\n");
  EXPECT_EQ(contentsOf(s.copy), "total \n");
  EXPECT_EQ(contentsOf(second), "next\n");
  std::fclose(second);
}

// ---- open JSON lines ----------------------------------------------------------------------

struct JsonStreams : Streams {
  Settings settings;
  JsonStreams() { settings.outformat = kOutputJson; }
};

TEST(OpenJsonLines, AQuestionEndedByTheTerminalBecomesOneObjectWrittenOnce) {
  JsonStreams s;
  {
    OutputBuffer buffer(s.lock, s.out, s.err);
    buffer.followSettings(s.settings);
    ASSERT_TRUE(buffer.openCopyFile(s.copyPath(), false));
    buffer.addLine("Queue contains 5 messages - continue? ", kStyleInfo | kStyleOpen);
    buffer.closeOpenLine();
    buffer.closeOpenLine();
    buffer.flush();
  }
  const char *expected = "{\"kind\":\"info\",\"text\":\"Queue contains 5 messages - continue? \"}\n";
  EXPECT_EQ(contentsOf(s.out), expected);
  EXPECT_EQ(contentsOf(s.copy), expected);
}

TEST(OpenJsonLines, WritingOutAndPromptsLeaveTheOpenLineWhole) {
  JsonStreams s;
  {
    OutputBuffer buffer(s.lock, s.out, s.err);
    buffer.followSettings(s.settings);
    ASSERT_TRUE(buffer.openCopyFile(s.copyPath(), false));
    buffer.addLine("total ", kStyleInfo | kStylePrint | kStyleOpen);
    buffer.flushStream();  // disconnecting at the end of the run, say
    EXPECT_EQ(contentsOf(s.out), "");
    buffer.addLine("Password: ", kStyleInfo | kStyleOpen | kStyleNoCopy);
    buffer.addLine("", kStyleInfo | kStyleContinues | kStyleNoCopy);
    buffer.addLine("5", kStyleInfo | kStylePrint | kStyleContinues);
    buffer.flush();
  }
  const char *expected = "{\"kind\":\"print\",\"text\":\"total 5\"}\n";
  EXPECT_EQ(contentsOf(s.out), expected);
  EXPECT_EQ(contentsOf(s.copy), expected);
  EXPECT_EQ(contentsOf(s.err), "Password: \n");
}

TEST(OpenJsonLines, ALineLeftOpenAtTheEndOfTheRunIsOneObjectWrittenOnce) {
  JsonStreams s;
  {
    OutputBuffer buffer(s.lock, s.out, s.err);
    buffer.followSettings(s.settings);
    ASSERT_TRUE(buffer.openCopyFile(s.copyPath(), false));
    buffer.addLine("unfinished ", kStyleInfo | kStylePrint | kStyleOpen);
    buffer.flush();
    buffer.flush();
  }
  const char *expected = "{\"kind\":\"print\",\"text\":\"unfinished \"}\n";
  EXPECT_EQ(contentsOf(s.out), expected);
  EXPECT_EQ(contentsOf(s.copy), expected);
}

// ---- a copy file that cannot be written ----------------------------------------------------

TEST(CopyFileFailures, ACopyFileInAMissingDirectoryIsRefusedAndTheOutputGoesOn) {
  Streams s;
  char dir[] = "/tmp/kvarn_outputXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string missing = std::string(dir) + "/no/such/dir/copy.txt";
  {
    OutputBuffer buffer(s.lock, s.out, s.err);
    ASSERT_TRUE(buffer.openCopyFile(s.copyPath(), false));
    buffer.addLine("before", kStyleInfo);
    EXPECT_FALSE(buffer.openCopyFile(missing, false));
    EXPECT_FALSE(buffer.copyFileOpen());
    buffer.addLine("after", kStyleInfo);
    EXPECT_FALSE(buffer.openCopyFile(dir, false));  // a directory is no file either
    buffer.addLine("still here", kStyleInfo);
    buffer.flush();
  }
  EXPECT_EQ(contentsOf(s.out), "before\nafter\nstill here\n");
  EXPECT_EQ(contentsOf(s.copy), "before\n");  // the earlier copy is whole and closed
  EXPECT_NE(access((std::string(dir) + "/no").c_str(), F_OK), 0);
  rmdir(dir);
}

TEST(CopyFileFailures, AFullCopyFileIsReportedAtTheEndOfTheRunAndKeptOnTheScreen) {
  Streams s;
  {
    OutputBuffer buffer(s.lock, s.out, s.err);
    buffer.keepLines(true, 1000);
    ASSERT_TRUE(buffer.openCopyFile("/dev/full", false));
    buffer.addLine("DISPLAY QMGR", kStyleCommand);
    buffer.addLine("QMNAME(QM1)", kStyleInfo);  // short enough to wait in the file's buffer
    EXPECT_FALSE(buffer.writeFailed());
    buffer.flush();
    EXPECT_TRUE(buffer.writeFailed());
    EXPECT_FALSE(buffer.copyFileOpen());
    buffer.addLine("after", kStyleInfo);
    buffer.flush();

    const ScreenLines &kept = buffer.screen(kScreenMqsc);
    bool errorKept = false;
    for (size_t i = 0; i < kept.size(); ++i)
      errorKept |= (kept.at(i).style & kStyleError) && kept.at(i).text().find("'/dev/full'") != std::string::npos;
    EXPECT_TRUE(errorKept);
  }
  std::string out = contentsOf(s.out);
  EXPECT_EQ(out.rfind("DISPLAY QMGR\nQMNAME(QM1)\n", 0), 0u) << out;
  EXPECT_EQ(occurrences(out, "Error writing to output file '/dev/full'"), 1u) << out;
  EXPECT_NE(out.find("after\n"), std::string::npos);
}

TEST(CopyFileFailures, ClosingAFullCopyFileReportsTheFailure) {
  Streams s;
  {
    OutputBuffer buffer(s.lock, s.out, s.err);
    ASSERT_TRUE(buffer.openCopyFile("/dev/full", false));
    buffer.addLine("QMNAME(QM1)", kStyleInfo);
    buffer.closeCopyFile();  // =output with no file
    EXPECT_TRUE(buffer.writeFailed());
    EXPECT_FALSE(buffer.copyFileOpen());
  }
  EXPECT_EQ(occurrences(contentsOf(s.out), "Error writing to output file '/dev/full'"), 1u);
}

TEST(CopyFileFailures, AfterAFailedCopyFileTheNextOneTakesTheFollowingLines) {
  Streams s;
  {
    OutputBuffer buffer(s.lock, s.out, s.err);
    ASSERT_TRUE(buffer.openCopyFile("/dev/full", false));
    buffer.addLine("lost ", kStyleInfo | kStylePrint | kStyleOpen);
    buffer.flush();
    ASSERT_TRUE(buffer.writeFailed());
    ASSERT_TRUE(buffer.openCopyFile(s.copyPath(), false));
    buffer.addLine("kept", kStyleInfo);
    buffer.flush();
  }
  EXPECT_EQ(contentsOf(s.copy), "kept\n");
}

TEST(CopyFileFailures, InJsonOutputTheFailureIsAnObjectLikeEveryOtherLine) {
  JsonStreams s;
  {
    OutputBuffer buffer(s.lock, s.out, s.err);
    buffer.followSettings(s.settings);
    ASSERT_TRUE(buffer.openCopyFile("/dev/full", false));
    buffer.addLine("DISPLAY QMGR", kStyleCommand);
    buffer.flush();
    buffer.addLine("after", kStyleInfo);
    buffer.flush();
    EXPECT_TRUE(buffer.writeFailed());
  }
  std::string out = contentsOf(s.out);
  EXPECT_NE(out.find("/dev/full"), std::string::npos) << out;
  size_t start = 0;
  for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1) {
    std::string line = out.substr(start, nl - start);
    EXPECT_TRUE(line.size() >= 2 && line.front() == '{' && line.back() == '}') << line;
  }
  EXPECT_EQ(start, out.size()) << "the last line is not whole";
}

TEST(CopyFileFailures, WhenStandardOutputFailsTheCopyStillGetsEveryLine) {
  Streams s;
  FILE *full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  std::string expected;
  {
    OutputBuffer buffer(s.lock, full, s.err);
    ASSERT_TRUE(buffer.openCopyFile(s.copyPath(), false));
    for (int i = 0; i < 200; ++i) {
      std::string line = std::to_string(i) + std::string(100, 'x');
      buffer.addLine(line, kStyleInfo);
      expected += line + "\n";
    }
    buffer.flush();
    EXPECT_TRUE(buffer.writeFailed());
  }
  std::fclose(full);
  EXPECT_EQ(contentsOf(s.copy), expected);
  EXPECT_EQ(occurrences(contentsOf(s.err), "Error writing to standard output"), 1u);
}

// ---- lines kept and purged -----------------------------------------------------------------

TEST(KeptLines, TheHistoryLimitDropsTheOldestLinesAndKeepsTheNewestInOrder) {
  Streams s;
  OutputBuffer buffer(s.lock, nullptr, nullptr);
  buffer.keepLines(true, 10);
  buffer.setWidth(80);
  std::vector<std::string> added;
  for (int i = 0; i < 25; ++i) {
    added.push_back("line " + std::to_string(i));
    buffer.addLine(added.back(), i % 5 == 0 ? kStyleCommand : kStyleInfo);
  }
  const ScreenLines &kept = buffer.screen(kScreenMqsc);
  EXPECT_LE(kept.rows(), 10u);
  std::vector<std::string> texts = textsOf(kept);
  ASSERT_FALSE(texts.empty());
  // What survives is the newest run of lines, unbroken.
  std::vector<std::string> newest(added.end() - static_cast<long>(texts.size()), added.end());
  EXPECT_EQ(texts, newest);
  expectRowsContiguous(kept);
}

TEST(KeptLines, ALineTallerThanTheHistoryLimitIsStillKept) {
  Streams s;
  OutputBuffer buffer(s.lock, nullptr, nullptr);
  buffer.keepLines(true, 3);
  buffer.setWidth(10);
  buffer.addLine("short", kStyleInfo);
  const std::string tall(100, 't');
  buffer.addLine(tall, kStyleInfo);
  const ScreenLines &kept = buffer.screen(kScreenMqsc);
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept.newest().text(), tall);
}

TEST(KeptLines, HiddenLinesAreKeptButNeitherWrittenNorCopied) {
  Streams s;
  {
    OutputBuffer buffer(s.lock, s.out, s.err);
    buffer.keepLines(true, 100);
    ASSERT_TRUE(buffer.openCopyFile(s.copyPath(), false));
    buffer.addLine("DIS QMGR", kStyleCommand | kStyleHidden);
    buffer.addLine("QMNAME(QM1)", kStyleInfo);
    const ScreenLines &kept = buffer.screen(kScreenMqsc);
    ASSERT_EQ(textsOf(kept), (std::vector<std::string>{"DIS QMGR", "QMNAME(QM1)"}));
    EXPECT_TRUE(kept.at(0).style & kStyleHidden);
    EXPECT_EQ(kept.commandLine(kept.at(1).commandNumber), &kept.at(0));
    buffer.flush();
  }
  EXPECT_EQ(contentsOf(s.out), "QMNAME(QM1)\n");
  EXPECT_EQ(contentsOf(s.copy), "QMNAME(QM1)\n");
}

TEST(KeptLines, PurgeDropsTheOlderGroupsAndKeepsTheCurrentOneWhole) {
  Streams s;
  OutputBuffer buffer(s.lock, nullptr, nullptr);
  buffer.keepLines(true, 1000);
  buffer.setWidth(10);
  buffer.addLine("welcome", kStyleInfo);  // before any command
  buffer.addLine("DIS QMGR", kStyleCommand);
  buffer.addLine("QMNAME(QM1) and a long tail", kStyleInfo);
  buffer.addLine("DIS Q(A)", kStyleCommand);
  buffer.addLine("QUEUE(A)", kStyleInfo);
  buffer.addLine(kScreenHelp, "help text", kStyleHeading);
  uint32_t current = buffer.addLine("=purge", kStyleCommand);
  buffer.purgeBefore(current);
  buffer.addLine("after the purge", kStyleInfo);

  const ScreenLines &kept = buffer.screen(kScreenMqsc);
  EXPECT_EQ(textsOf(kept), (std::vector<std::string>{"=purge", "after the purge"}));
  EXPECT_EQ(kept.commandLine(current), &kept.at(0));
  EXPECT_EQ(kept.at(0).rowIndex, 0u);  // the rows are counted afresh
  expectRowsContiguous(kept);
  EXPECT_EQ(textsOf(buffer.screen(kScreenHelp)), std::vector<std::string>{"help text"});  // only the main screen
}

TEST(KeptLines, PurgeKeepsACommandStillInFlightAndEverythingWrittenAfterIt) {
  Streams s;
  OutputBuffer buffer(s.lock, nullptr, nullptr);
  buffer.keepLines(true, 1000);
  uint32_t first = buffer.addLine("DIS QMGR", kStyleCommand);
  buffer.addLine("QMNAME(QM1)", kStyleInfo);
  uint32_t busy = buffer.addLine("DIS Q(*)", kStyleCommand);
  buffer.addLine(kScreenMqsc, "late answer of the first", kStyleInfo, first);
  uint32_t purge = buffer.addLine("=purge", kStyleCommand);
  buffer.addLine(kScreenMqsc, "QUEUE(A)", kStyleInfo, busy);  // the busy command answers on
  buffer.purgeBefore(busy);

  const ScreenLines &kept = buffer.screen(kScreenMqsc);
  EXPECT_EQ(textsOf(kept), (std::vector<std::string>{"DIS Q(*)", "late answer of the first", "=purge", "QUEUE(A)"}));
  EXPECT_EQ(kept.commandLine(busy), &kept.at(0));
  EXPECT_EQ(kept.commandLine(purge), &kept.at(2));
  EXPECT_EQ(kept.commandLine(first), nullptr);
  expectRowsContiguous(kept);
}

// Answers of a command in flight arrive after later commands have started: the command
// lines of those later groups are still found.
TEST(KeptLines, TheCommandLineOfAGroupIsFoundWhenAnEarlierCommandAnswersAfterIt) {
  Streams s;
  OutputBuffer buffer(s.lock, nullptr, nullptr);
  buffer.keepLines(true, 1000);
  uint32_t first = buffer.addLine("DIS Q(*)", kStyleCommand);
  uint32_t second = buffer.addLine("DIS QMGR", kStyleCommand);
  buffer.addLine("QMNAME(QM1)", kStyleInfo);
  for (int i = 0; i < 5; ++i) buffer.addLine(kScreenMqsc, "QUEUE(Q" + std::to_string(i) + ")", kStyleInfo, first);
  uint32_t third = buffer.addLine("DIS CHL(*)", kStyleCommand);

  const ScreenLines &kept = buffer.screen(kScreenMqsc);
  for (uint32_t group : {first, second, third}) {
    const OutputLine *line = kept.commandLine(group);
    ASSERT_NE(line, nullptr) << "group " << group;
    EXPECT_EQ(line->commandNumber, group);
    EXPECT_TRUE(line->startsGroup());
  }
  EXPECT_EQ(kept.commandLine(second)->text(), "DIS QMGR");
  EXPECT_EQ(kept.at(kept.firstLineOf(second)).text(), "DIS QMGR");
  EXPECT_EQ(kept.firstLineOf(third + 1), kept.size());
}

TEST(KeptLines, DroppingARepeatedCommandsOutputRemovesOnlyTheNewestLines) {
  Streams s;
  OutputBuffer buffer(s.lock, nullptr, nullptr);
  buffer.keepLines(true, 1000);
  buffer.setWidth(10);
  buffer.addLine("DIS QMGR", kStyleCommand);
  buffer.addLine("QMNAME(QM1) and more", kStyleInfo);
  ScreenLines &lines = buffer.screen(kScreenMqsc);
  size_t start = lines.size();
  buffer.addLine("Repeating command 'DIS QMGR' <press ESC to end>", kStyleInfo);
  buffer.addLine("QMNAME(QM1)", kStyleInfo);
  lines.truncate(start);
  EXPECT_EQ(textsOf(lines), (std::vector<std::string>{"DIS QMGR", "QMNAME(QM1) and more"}));
  expectRowsContiguous(lines);
  buffer.addLine("next", kStyleInfo);
  expectRowsContiguous(lines);
}

// ---- layout at another width --------------------------------------------------------------

// Every line takes as few rows as hold its text at `width`, and at least one.
void expectLaidOutAt(const ScreenLines &lines, uint32_t width) {
  for (size_t i = 0; i < lines.size(); ++i) {
    const OutputLine &line = lines.at(i);
    ASSERT_GE(line.rows, 1u);
    EXPECT_GE(uint64_t{line.rows} * width, line.text().size()) << line.text();
    if (line.rows > 1) { EXPECT_LT(uint64_t{line.rows - 1} * width, line.text().size()) << line.text(); }
  }
  expectRowsContiguous(lines);
}

TEST(Relayout, NarrowingWrapsLongLinesAndWideningUnwrapsThemWithNothingLost) {
  Streams s;
  OutputBuffer buffer(s.lock, nullptr, nullptr);
  buffer.keepLines(true, 1000);
  buffer.setWidth(80);
  const std::vector<std::pair<std::string, uint32_t>> added = {{"DIS Q(*)", kStyleCommand},
                                                               {"", kStyleInfo},
                                                               {"AMQ8409I: Display Queue details.", kStyleRecordHeader},
                                                               {std::string(80, 'd'), kStyleAttributes},
                                                               {std::string(81, 'e'), kStyleError},
                                                               {"Total 1", kStyleTotals}};
  for (const auto &[text, style] : added) buffer.addLine(text, style);
  const ScreenLines &kept = buffer.screen(kScreenMqsc);
  auto expectUnchanged = [&] {
    ASSERT_EQ(kept.size(), added.size());
    for (size_t i = 0; i < added.size(); ++i) {
      EXPECT_EQ(kept.at(i).text(), added[i].first);
      EXPECT_EQ(kept.at(i).style, added[i].second);
    }
  };
  expectLaidOutAt(kept, 80);
  const uint64_t wideRows = kept.rows();

  buffer.setWidth(7);
  expectUnchanged();
  expectLaidOutAt(kept, 7);
  EXPECT_GT(kept.rows(), wideRows);

  buffer.setWidth(200);
  expectUnchanged();
  expectLaidOutAt(kept, 200);
  EXPECT_EQ(kept.rows(), kept.size());  // every line fits on one row

  buffer.setWidth(80);
  EXPECT_EQ(kept.rows(), wideRows);  // back where it was
}

TEST(Relayout, EveryScreenAndEveryLaterLineFollowTheNewWidth) {
  Streams s;
  OutputBuffer buffer(s.lock, nullptr, nullptr);
  buffer.keepLines(true, 1000);
  buffer.addLine(kScreenHelp, std::string(30, 'h'), kStyleHeading);
  buffer.addLine(kScreenSettings, std::string(30, 's'), kStyleInfo);
  buffer.setWidth(10);
  buffer.addLine(std::string(30, 'm'), kStyleInfo);
  buffer.addLine(kScreenKeys, std::string(30, 'k'), kStyleInfo);
  for (Screen screen : {kScreenMqsc, kScreenHelp, kScreenSettings, kScreenKeys}) {
    ASSERT_FALSE(buffer.screen(screen).empty()) << screen;
    expectLaidOutAt(buffer.screen(screen), 10);
  }
}

TEST(Relayout, AWidthOfZeroLaysEveryLineOnOneRow) {
  Streams s;
  OutputBuffer buffer(s.lock, nullptr, nullptr);
  buffer.keepLines(true, 1000);
  buffer.addLine(std::string(500, 'x'), kStyleInfo);
  buffer.setWidth(0);
  buffer.addLine(std::string(500, 'y'), kStyleInfo);
  const ScreenLines &kept = buffer.screen(kScreenMqsc);
  EXPECT_EQ(kept.rows(), kept.size());
  expectRowsContiguous(kept);
}

TEST(Relayout, AfterTheHistoryLimitDroppedLinesTheRowsCountFromTheFirstKeptLine) {
  Streams s;
  OutputBuffer buffer(s.lock, nullptr, nullptr);
  buffer.keepLines(true, 20);
  buffer.setWidth(10);
  for (int i = 0; i < 40; ++i) buffer.addLine(std::string(static_cast<size_t>(i % 25), 'r'), kStyleInfo);
  const ScreenLines &kept = buffer.screen(kScreenMqsc);
  expectRowsContiguous(kept);
  buffer.setWidth(5);
  EXPECT_EQ(kept.at(0).rowIndex, 0u);
  expectLaidOutAt(kept, 5);
  EXPECT_EQ(kept.newest().text(), std::string(39 % 25, 'r'));
}

}  // namespace
