// What keeps start-up safe from its surroundings: special files where a regular one is
// expected.
#include "runtime/regular_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
  EXPECT_NE(std::fgets(line, sizeof line, f.stream), nullptr);   // reads as an ordinary stream
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

} // namespace
