#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "runtime/line_reader.h"
#include "runtime/signals.h"

namespace {

struct MemoryFile {
  explicit MemoryFile(const std::string &text) : data(text) { f = fmemopen(data.data(), data.size(), "r"); }
  ~MemoryFile() { std::fclose(f); }
  std::string data;
  FILE *f;
};

TEST(LineReader, LinesAreWholeOrSkippedWhole) {
  MemoryFile in("abc\r\n" + std::string(25, 'x') + "\n\nexactly10!\n" + std::string(11, 'y') + "\nlast");
  std::string line;
  auto next = [&] { return readLineCapped(in.f, line, 10).status; };
  EXPECT_EQ(next(), LineStatus::Line);
  EXPECT_EQ(line, "abc\r");  // carriage returns are the caller's business
  EXPECT_EQ(next(), LineStatus::TooLong);
  EXPECT_TRUE(line.empty());
  EXPECT_EQ(next(), LineStatus::Line);
  EXPECT_EQ(line, "");
  EXPECT_EQ(next(), LineStatus::Line);
  EXPECT_EQ(line, "exactly10!");
  EXPECT_EQ(next(), LineStatus::TooLong);  // one past the cap: never cut into a piece
  EXPECT_EQ(next(), LineStatus::Line);
  EXPECT_EQ(line, "last");  // the last line needs no newline
  EXPECT_EQ(next(), LineStatus::End);
}

TEST(LineReader, NulBytesStayInTheLine) {
  MemoryFile in(std::string("a\0b\nc\n", 6));
  std::string line;
  ASSERT_EQ(readLineCapped(in.f, line, 100).status, LineStatus::Line);
  EXPECT_EQ(line, std::string("a\0b", 3));  // not mistaken for the end of the line
}

TEST(LineReader, AStopSignalEndsABlockedReadAndDropsThePartialLine) {
  installStopSignals();
  resetStopSignal();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "DELETE QLOC", 11), 11);  // a line still being written
  FILE *in = fdopen(fds[0], "r");
  pthread_t reader = pthread_self();
  std::thread signaller([reader] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pthread_kill(reader, SIGTERM);
  });
  std::string line;
  LineRead r = readLineCapped(in, line, 1000);
  signaller.join();
  EXPECT_EQ(r.status, LineStatus::Stopped);
  EXPECT_EQ(stopSignal(), SIGTERM);
  resetStopSignal();
  std::fclose(in);
  close(fds[1]);
}

TEST(LineReader, ThreadsStartedWithoutStopSignalsLeaveThemToTheMainThread) {
  sigset_t seen;
  std::thread t = startThreadWithoutStopSignals([&seen] { pthread_sigmask(SIG_BLOCK, nullptr, &seen); });
  t.join();
  EXPECT_TRUE(sigismember(&seen, SIGINT));
  EXPECT_TRUE(sigismember(&seen, SIGTERM));
  EXPECT_TRUE(sigismember(&seen, SIGHUP));
  sigset_t mine;
  pthread_sigmask(SIG_BLOCK, nullptr, &mine);
  EXPECT_FALSE(sigismember(&mine, SIGTERM));  // the caller's own mask is given back
}

}  // namespace
