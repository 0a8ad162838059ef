#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/capture.h"

namespace {

TEST(Capture, ParsesRequestsWithSeveralResponses) {
  CaptureFile c;
  std::string text = "<Request>\nDIS QMGR\n<Response>\nline 1\nline 2\n<Response>\nsecond\n"
                     "<Request>\nDIS Q(A)\n<Response>\n\n<Request>\nno answer\n<End>\ntrailing junk\n";
  ASSERT_TRUE(parseCaptureText(text, c).ok);
  const CaptureFile::Entry *e = c.find("DIS QMGR");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->responses, (std::vector<std::string>{"line 1\nline 2", "second"}));
  ASSERT_NE(c.find("DIS Q(A)"), nullptr);
  EXPECT_EQ(c.find("DIS Q(A)")->responses, std::vector<std::string>{""});
  EXPECT_EQ(c.find("no answer"), nullptr);
}

TEST(Capture, MissingEndIsAnError) {
  CaptureFile c;
  EXPECT_FALSE(parseCaptureText("<Request>\nA\n<Response>\nB\n", c).ok);
  EXPECT_FALSE(parseCaptureText("", c).ok);
  EXPECT_TRUE(parseCaptureText("<End>\n", c).ok);
}

TEST(Capture, DuplicateRequestsMergeAndEntriesComeInKeyOrder) {
  CaptureFile c;
  ASSERT_TRUE(parseCaptureText("<Request>\nb\n<Response>\n1\n<Request>\na\n<Response>\n2\n"
                               "<Request>\nb\n<Response>\n3\n<End>\n",
                               c)
                  .ok);
  auto entries = c.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0]->request, "a");
  EXPECT_EQ(entries[1]->responses, (std::vector<std::string>{"1", "3"}));
}

TEST(Capture, OverlongBlocksAreCut) {
  CaptureFile c;
  // Lines are read up to 10,000 bytes and a block holds up to 50,000.
  std::string text = "<Request>\nR\n<Response>\n";
  for (int i = 0; i < 6; ++i) text += std::string(12000, 'x') + "\n";
  text += "<End>\n";
  CaptureLoadResult r = parseCaptureText(text, c);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(c.find("R")->responses[0].size(), 50000u);
  EXPECT_TRUE(r.leaveUnchanged);  // writing it back would lose what was cut
  CaptureFile whole;
  EXPECT_FALSE(
      parseCaptureText("<Request>\nR\n<Response>\n" + std::string(10000, 'y') + "\n<End>\n", whole).leaveUnchanged);
  EXPECT_TRUE(
      parseCaptureText("<Request>\nR\n<Response>\n" + std::string(10001, 'y') + "\n<End>\n", whole).leaveUnchanged);
}

TEST(Capture, FilesTheReaderCannotTakeWholeAreLeftAlone) {
  char tmpl[] = "/tmp/kvarn-capture-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string dir = tmpl;
  std::string longLines = dir + "/long.cap";
  std::string text = "<Request>\nDIS QMGR\n<Response>\n" + std::string(15000, 'a') + "\n<Response>\n" +
                     std::string(30000, 'b') + "\n<End>\n";
  std::ofstream(longLines) << text;
  CaptureFile c;
  CaptureLoadResult r = loadCaptureFile(longLines, c);
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.leaveUnchanged);
  EXPECT_NE(r.notice.find("is left unchanged"), std::string::npos) << r.notice;

  std::string fifo = dir + "/fifo.cap";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string &special : {fifo, std::string("/dev/zero"), dir}) {
    CaptureFile s;
    r = loadCaptureFile(special, s);  // returns at once, reading nothing
    EXPECT_TRUE(r.ok) << special;
    EXPECT_TRUE(r.leaveUnchanged) << special;
    EXPECT_EQ(s.size(), 0u);
  }
  std::remove(longLines.c_str());
  std::remove(fifo.c_str());
  rmdir(dir.c_str());
}

TEST(Capture, WriteAndReadBack) {
  char tmpl[] = "/tmp/kvarn-capture-XXXXXX";
  int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  close(fd);
  std::string path = tmpl;
  CaptureFile c;
  c.add("DIS QMGR", "QMNAME(QM1)");
  c.add("DIS QMGR", "second");
  ASSERT_TRUE(writeCaptureFile(path, c).ok);
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), "<Request>\nDIS QMGR\n<Response>\nQMNAME(QM1)\n<Response>\nsecond\n<End>\n");
  CaptureFile back;
  EXPECT_TRUE(loadCaptureFile(path, back).ok);
  EXPECT_EQ(back.find("DIS QMGR")->responses.size(), 2u);
  std::remove(path.c_str());
  CaptureFile none;
  EXPECT_TRUE(loadCaptureFile(path, none).ok);  // a missing file starts an empty capture
}

}  // namespace
