#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "context/context.h"
#include "context/json_lines.h"
#include "context/output.h"
#include "context/settings.h"
#include "../support/file_contents.h"

namespace {

std::vector<std::string> linesOf(const std::string &text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    out.push_back(text.substr(start, nl - start));
  return out;
}

struct Streams {
  OwnedMutex lock;
  FILE *out = std::tmpfile();
  FILE *err = std::tmpfile();
  Streams() { lock.create(); }
  ~Streams() {
    std::fclose(out);
    std::fclose(err);
  }
};

TEST(OutputBuffer, LinesFromTwoThreadsNeverMixInsideALine) {
  Streams s;
  OutputBuffer buffer(s.lock, s.out, s.err);
  const std::string a(300, 'a'), b(300, 'b');
  constexpr int kLines = 3000;
  std::thread worker([&] {
    for (int i = 0; i < kLines; ++i) buffer.addLine(b, kStyleInfo);
  });
  for (int i = 0; i < kLines; ++i) buffer.addLine(a, i % 2 ? kStyleInfo : kStyleCommand);
  worker.join();
  std::vector<std::string> lines = linesOf(contentsOf(s.out));
  ASSERT_EQ(lines.size(), 2u * kLines);
  int as = 0;
  for (const auto &line : lines) {
    ASSERT_TRUE(line == a || line == b) << line.substr(0, 40);
    as += line == a;
  }
  EXPECT_EQ(as, kLines);
}

TEST(OutputBuffer, CommandGroupsNumbersAndRowsOfKeptLines) {
  Streams s;
  OutputBuffer buffer(s.lock, nullptr, nullptr);
  buffer.keepLines(true, 1000);
  buffer.setWidth(10);
  uint32_t first = buffer.addLine("[12:00:00] DIS QMGR", kStyleCommand);
  buffer.addLine("AMQ8408I: Display Queue Manager details.", kStyleInfo);  // 4 rows at width 10
  uint32_t second = buffer.addLine("reset qmgr type(statistics) qstats", kStyleCommand);
  buffer.addLine(kScreenMqsc, "late line of the first command", kStyleInfo, first);
  buffer.addLine(kScreenHelp, "help text", kStyleHeading);
  const ScreenLines &mqsc = buffer.screen(kScreenMqsc);
  ASSERT_EQ(mqsc.size(), 4u);
  EXPECT_EQ(second, first + 1);
  EXPECT_EQ(buffer.currentCommandNumber(), second);  // another screen does not start a group
  EXPECT_EQ(mqsc.at(1).commandNumber, first);
  EXPECT_EQ(mqsc.at(3).commandNumber, first);  // a writer may name its group
  EXPECT_TRUE(mqsc.at(0).flags & kLineDisplayCommand);
  EXPECT_TRUE(mqsc.at(0).flags & kLineTimestamped);
  EXPECT_TRUE(mqsc.at(2).flags & kLineDisplayCommand);  // RESET ... QSTATS counts as a display
  EXPECT_EQ(mqsc.at(1).rows, 4u);
  EXPECT_EQ(mqsc.at(2).rowIndex, 2u + 4u);
  EXPECT_EQ(mqsc.commandLine(second), &mqsc.at(2));
  EXPECT_EQ(buffer.screen(kScreenHelp).size(), 1u);

  buffer.setWidth(80);
  EXPECT_EQ(mqsc.rows(), 4u);
  buffer.keepLines(true, 2);
  buffer.addLine("one more", kStyleInfo);
  EXPECT_EQ(mqsc.size(), 2u);  // the oldest lines went
  EXPECT_EQ(mqsc.commandLine(first), nullptr);
}

TEST(OutputBuffer, OpenLinesTraceAndTheCopyFile) {
  Streams s;
  FILE *copy = std::tmpfile();
  std::string copyPath = "/proc/self/fd/" + std::to_string(fileno(copy));
  OutputBuffer buffer(s.lock, s.out, s.err);
  ASSERT_TRUE(buffer.openCopyFile(copyPath, true));
  buffer.addLine("=output file(x)", kStyleCommand | kStyleNoCopy);
  buffer.addLine("Queue contains 5 messages - continue? ", kStyleInfo | kStyleOpen);
  buffer.addLine("no", kStyleInfo | kStyleContinues);
  buffer.addLine("prompt> ", kStyleInfo | kStyleOpen | kStyleNoCopy);
  buffer.addLine("next line", kStyleInfo);  // ends the open prompt first
  buffer.addLine("cslIssueLocalCommand '=echo'", kStyleTrace);
  buffer.addLine("hidden echo", kStyleCommand | kStyleHidden);
  buffer.showHidden = true;  // =show noecho(yes)
  buffer.addLine("shown hidden echo", kStyleCommand | kStyleHidden);
  buffer.closeCopyFile();
  EXPECT_EQ(contentsOf(s.out),
            "=output file(x)\nQueue contains 5 messages - continue? no\nprompt> \nnext line\nshown hidden echo\n");
  EXPECT_EQ(contentsOf(s.err), "cslIssueLocalCommand '=echo'\n");
  // What the output shows, less the echo of =output, the prompt and the trace.
  EXPECT_EQ(contentsOf(copy), "Queue contains 5 messages - continue? no\nnext line\nshown hidden echo\n");
  std::fclose(copy);
  EXPECT_FALSE(buffer.writeFailed());
}

// JSON output: standard output holds one object per line and nothing else; the pieces
// of an open line make one object, prompts and trace go to standard error as text.
TEST(OutputBuffer, JsonOutputIsOneObjectPerLine) {
  Streams s;
  FILE *copy = std::tmpfile();
  std::string copyPath = "/proc/self/fd/" + std::to_string(fileno(copy));
  Settings settings;
  settings.outformat = kOutputJson;
  OutputBuffer buffer(s.lock, s.out, s.err);
  buffer.followSettings(settings);
  ASSERT_TRUE(buffer.openCopyFile(copyPath, true));
  buffer.addLine("[10:11:12] DEFINE QLOCAL(A)", kStyleCommand);
  buffer.addLine("AMQ8006I: IBM MQ queue created.", kStyleInfo);
  buffer.addLine("", kStyleInfo);  // a blank line carries nothing
  buffer.addLine("Queue contains 5 messages - continue? ", kStyleInfo | kStyleOpen);
  buffer.addLine("no", kStyleInfo | kStyleContinues);
  buffer.addLine("total ", kStyleInfo | kStylePrint | kStyleOpen);  // print ... , <separator>
  buffer.addLine("5", kStyleInfo | kStylePrint | kStyleContinues);
  buffer.addLine("", kStyleInfo | kStylePrint);  // an empty print is still printed
  buffer.addLine("prompt> ", kStyleInfo | kStyleOpen | kStyleNoCopy);
  buffer.addLine("Connect to 'QM9' failed. RC(2059) MQRC_Q_MGR_NOT_AVAILABLE", kStyleError);
  buffer.addLine("AMQ8427: Error writing to file 'x' RC(28)", kStyleError);  // an errno, not a reason
  buffer.addLine("cslIssueLocalCommand '=echo'", kStyleTrace);
  buffer.addLine("Only 5 of 20 shown as requested", kStyleNote);
  buffer.addLine("{\"kind\":\"record\"}", kStyleJson);
  buffer.addLine("unfinished ", kStyleInfo | kStylePrint | kStyleOpen);
  buffer.flush();                    // the end of the run ends it
  settings.outformat = kOutputText;  // =set outformat(text)
  buffer.addLine("plain again", kStyleInfo);
  buffer.closeCopyFile();
  const char *expected =
      "{\"kind\":\"command\",\"time\":\"10:11:12\",\"text\":\"DEFINE QLOCAL(A)\"}\n"
      "{\"kind\":\"info\",\"id\":\"AMQ8006I\",\"text\":\"AMQ8006I: IBM MQ queue created.\"}\n"
      "{\"kind\":\"info\",\"text\":\"Queue contains 5 messages - continue? no\"}\n"
      "{\"kind\":\"print\",\"text\":\"total 5\"}\n"
      "{\"kind\":\"print\",\"text\":\"\"}\n"
      "{\"kind\":\"error\",\"reason\":2059,\"text\":\"Connect to 'QM9' failed. RC(2059) MQRC_Q_MGR_NOT_AVAILABLE\"}\n"
      "{\"kind\":\"error\",\"id\":\"AMQ8427\",\"text\":\"AMQ8427: Error writing to file 'x' RC(28)\"}\n"
      "{\"kind\":\"note\",\"text\":\"Only 5 of 20 shown as requested\"}\n"
      "{\"kind\":\"record\"}\n"
      "{\"kind\":\"print\",\"text\":\"unfinished \"}\n";
  EXPECT_EQ(contentsOf(s.out), std::string(expected) + "plain again\n");
  EXPECT_EQ(contentsOf(s.err), "prompt> cslIssueLocalCommand '=echo'\n");
  EXPECT_EQ(contentsOf(copy), std::string(expected) + "plain again\n");
  std::fclose(copy);
}

TEST(JsonLines, ReasonCodes) {
  EXPECT_EQ(reasonCodeIn("Command processing RC(2071) MQRC_STORAGE_NOT_AVAILABLE"), 2071);
  EXPECT_EQ(reasonCodeIn("Error accessing file RC(2)"), 0);
  EXPECT_EQ(reasonCodeIn("RC(2071"), 0);
  EXPECT_EQ(reasonCodeIn("RC(99999999999999)"), 0);
}

TEST(OutputBuffer, WriteFailuresAreReportedOnceAndRemembered) {
  Streams s;
  FILE *full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  {
    OutputBuffer buffer(s.lock, full, s.err);
    for (int i = 0; i < 2000; ++i) buffer.addLine(std::string(100, 'x'), kStyleInfo);
    buffer.flush();
    EXPECT_TRUE(buffer.writeFailed());
  }
  std::fclose(full);
  EXPECT_EQ(contentsOf(s.err), "Error writing to standard output - No space left on device\n");

  Streams t;
  OutputBuffer buffer(t.lock, t.out, t.err);
  ASSERT_TRUE(buffer.openCopyFile("/dev/full", false));
  buffer.addLine("DISPLAY QMGR", kStyleCommand);
  buffer.addLine(std::string(5000, 'y'), kStyleInfo);
  buffer.addLine("DISPLAY QMGR", kStyleCommand);  // a new command flushes the copy
  buffer.addLine("after", kStyleInfo);
  EXPECT_TRUE(buffer.writeFailed());
  EXPECT_FALSE(buffer.copyFileOpen());
  std::string out = contentsOf(t.out);
  EXPECT_NE(out.find("Error writing to output file '/dev/full' - No space left on device; the file is closed\n"),
            std::string::npos);
  EXPECT_EQ(out.find("the file is closed"), out.rfind("the file is closed"));  // once
  EXPECT_NE(out.find("after\n"), std::string::npos);                           // the screen goes on
}

}  // namespace
