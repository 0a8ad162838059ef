// What keeps start-up and the end of a run safe from their surroundings: special files
// where a regular one is expected, closed standard descriptors, a second stop signal.
#include "runtime/regular_file.h"
#include "runtime/signals.h"
#include "runtime/stack.h"
#include "runtime/std_descriptors.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

namespace fs = std::filesystem;

namespace {

struct TempDir {
  TempDir() {
    char tmpl[] = "/tmp/kvarn-startup-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string path;
};

TEST(RegularFile, OnlyRegularFilesAreOpenedAndSpecialOnesNeverBlock) {
  TempDir dir;
  std::string plain = dir.path + "/kvarn.cfg";
  std::ofstream(plain) << "columns=3\n";
  RegularFile f = openRegularFile(plain);
  ASSERT_EQ(f.status, RegularFileStatus::Opened);
  ASSERT_NE(f.stream, nullptr);
  EXPECT_EQ(f.size, 10);
  char line[32] = {};
  EXPECT_NE(std::fgets(line, sizeof line, f.stream), nullptr);  // reads as an ordinary stream
  EXPECT_STREQ(line, "columns=3\n");
  std::fclose(f.stream);

  // A fifo nobody writes to: refused at once rather than waited on.
  std::string fifo = dir.path + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  f = openRegularFile(fifo);
  EXPECT_EQ(f.status, RegularFileStatus::NotRegular);
  EXPECT_EQ(f.stream, nullptr);
  EXPECT_EQ(f.reason(), "Not a regular file");

  for (const char *device : {"/dev/zero", "/dev/null"}) {
    f = openRegularFile(device);
    EXPECT_EQ(f.status, RegularFileStatus::NotRegular) << device;
  }
  f = openRegularFile(dir.path);
  EXPECT_EQ(f.status, RegularFileStatus::NotRegular);
  EXPECT_EQ(f.reason(), "Is a directory");
  f = openRegularFile(dir.path + "/missing");
  EXPECT_EQ(f.status, RegularFileStatus::Missing);
  f = openRegularFile(plain + "/below-a-file");
  EXPECT_EQ(f.status, RegularFileStatus::Failed);
  EXPECT_EQ(f.error, ENOTDIR);
}

TEST(StandardDescriptorsDeathTest, ClosedOnesAreHeldAndAClosedOutputStillFailsWrites) {
  EXPECT_EXIT(
      {
        ::close(STDIN_FILENO);
        ::close(STDOUT_FILENO);
        holdStandardDescriptors();
        // The next file opened must not become standard output.
        int next = ::open("/dev/null", O_RDONLY);
        bool ok = next > STDERR_FILENO;
        // Output written to the closed standard output fails, as it did before it was held.
        errno = 0;
        ok = ok && ::write(STDOUT_FILENO, "x", 1) < 0 && errno == EBADF;
        char c;
        ok = ok && ::read(STDIN_FILENO, &c, 1) == 0;  // input reads as empty
        std::_Exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(StopSignalsDeathTest, ASecondSignalWaitsForTheLineBeingWritten) {
  EXPECT_EXIT(
      {
        installStopSignals();
        std::raise(SIGTERM);  // the first asks the run to stop
        if (!stopRequested()) std::_Exit(2);
        {
          OutputWriteSection writing;
          std::raise(SIGTERM);  // the second: the process ends, but not in the middle of the line
          std::fputs("line completed\n", stderr);
          std::fflush(stderr);
        }
        std::_Exit(3);  // not reached: the section's end ends the process
      },
      ::testing::KilledBySignal(SIGTERM), "line completed");
}

TEST(StopSignalsDeathTest, ASecondSignalOutsideOutputEndsTheProcessAtOnce) {
  EXPECT_EXIT(
      {
        installStopSignals();
        std::raise(SIGINT);
        std::raise(SIGINT);
        std::_Exit(3);
      },
      ::testing::KilledBySignal(SIGINT), "");
}

TEST(StorageDeathTest, AThreadOutOfStorageEndsTheRunWithTheStorageMessageNotAnAbort) {
  EXPECT_EXIT(
      {
        std::thread worker = startThreadWithoutStopSignals([] { throw std::bad_alloc(); });
        worker.join();
        std::_Exit(3);
      },
      ::testing::ExitedWithCode(kStorageExitCode), "No storage.");
}

TEST(ProgramStack, WorkRunsOnALargeStackOfItsOwnAndReturnsItsResult) {
  size_t remaining = 0;
  int result = runWithLargeStack(size_t{256} << 20, [&] {
    remaining = stackRemaining();
    return 42;
  });
  EXPECT_EQ(result, 42);
  EXPECT_GT(remaining, size_t{200} << 20);  // whatever `ulimit -s` says
}

}  // namespace
