// Fault record, growable buffer and time-zone bias.
#include "runtime/buffer.h"
#include "runtime/fault.h"
#include "runtime/memory.h"
#include "runtime/timezone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(FaultDeathTest, WritesTheRecordAndTraps) {
  // A forked child shares the directory chosen here; a re-executed one would pick its own.
  GTEST_FLAG_SET(death_test_style, "fast");
  fs::path dir = fs::temp_directory_path() / ("kvarn_fault_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const char *old = std::getenv("TMPDIR");
  std::string saved = old ? old : "";
  ::setenv("TMPDIR", dir.c_str(), 1);
  fs::path file = dir / "cstrap.txt";
  {
    std::ofstream stale(file);
    stale << "an older record that is much longer than the new one will be, twice over\n";
  }
  EXPECT_EQ(fs::path(CSFaultFilePath()), file);
  EXPECT_DEATH(CSFault(123, "/some/dir/source.cpp", -7), "");
  if (old) ::setenv("TMPDIR", saved.c_str(), 1);
  else ::unsetenv("TMPDIR");

  std::ifstream in(file);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The build stamp is __DATE__ " " __TIME__: "Mmm dd yyyy hh:mm:ss", 20 characters.
  const std::string head = "cstrap line 123 file source.cpp (", tail = ") value -7\n";
  ASSERT_EQ(content.size(), head.size() + 20 + tail.size()) << content;
  EXPECT_EQ(content.substr(0, head.size()), head);
  EXPECT_EQ(content.substr(head.size() + 20), tail);
  EXPECT_EQ(content[head.size() + 14], ':');
  fs::remove_all(dir);
}

TEST(GrowBuffer, GrowsInPagesAndKeepsContents) {
  GrowBuffer buf;
  ASSERT_TRUE(bufferSet(buf, "hello", 5));
  EXPECT_EQ(buf.capacity, 4096u);
  EXPECT_STREQ(buf.data, "hello");
  std::string fits(4095, 'y');
  ASSERT_TRUE(bufferSet(buf, fits.data(), fits.size()));
  EXPECT_EQ(buf.capacity, 4096u) << "4095 bytes and the NUL fit";
  std::string big(4096, 'z');
  ASSERT_TRUE(bufferSet(buf, big.data(), big.size()));
  EXPECT_EQ(buf.capacity, 8192u);
  EXPECT_EQ(std::string(buf.data, buf.length), big);
  ASSERT_TRUE(bufferSet(buf, "", 0));
  EXPECT_EQ(buf.capacity, 8192u) << "shrinking keeps the area";
  EXPECT_STREQ(buf.data, "");
  ASSERT_TRUE(bufferSet(buf, nullptr, 0));
}

TEST(GrowBuffer, SettingFromItsOwnContentsIsSafe) {
  GrowBuffer buf;
  ASSERT_TRUE(bufferSet(buf, "abcdef", 6));
  ASSERT_TRUE(bufferSet(buf, buf.data + 2, 3));
  EXPECT_STREQ(buf.data, "cde");
  std::string big(10000, 'q');
  big.replace(0, 3, "cde");
  ASSERT_TRUE(bufferSet(buf, big.data(), big.size()));
  // A grow that reads from the old area: the old area must outlive the copy.
  GrowBuffer other;
  ASSERT_TRUE(bufferSet(other, "0123456789", 10));
  ASSERT_TRUE(bufferSet(other, other.data, 10));
  EXPECT_STREQ(other.data, "0123456789");
}

TEST(GrowBuffer, FailureLeavesAnEmptyBufferAndCountsNothing) {
  GrowBuffer buf;
  ASSERT_TRUE(bufferSet(buf, "abc", 3));
  int32_t blocks = CSMemoryCounters().blocksInUse;
  EXPECT_FALSE(bufferSet(buf, "x", SIZE_MAX - 100));
  EXPECT_EQ(buf.length, 0u);
  EXPECT_FALSE(bufferSet(buf, "x", SIZE_MAX / 2));
  EXPECT_EQ(buf.capacity, 0u);
  EXPECT_EQ(buf.length, 0u);
  EXPECT_EQ(CSMemoryCounters().blocksInUse, blocks - 1) << "the old area was given back";
  ASSERT_TRUE(bufferSet(buf, "again", 5)) << "usable after a failure";
  EXPECT_STREQ(buf.data, "again");
}

TEST(TimeZone, BiasMatchesTheCLibrary) {
  const char *old = std::getenv("TZ");
  std::string saved = old ? old : "";
  ::setenv("TZ", "UTC-5:30", 1);  // POSIX sign: 5:30 east of UTC
  ::tzset();
  readTimeZoneBias();
  EXPECT_EQ(timeZoneBiasMinutes(), 330);
  ::setenv("TZ", "UTC+3", 1);
  ::tzset();
  readTimeZoneBias();
  EXPECT_EQ(timeZoneBiasMinutes(), -180);
  if (old) ::setenv("TZ", saved.c_str(), 1);
  else ::unsetenv("TZ");
  ::tzset();
  readTimeZoneBias();
}

#include "runtime/path.h"

TEST(Paths, TidyingJoiningAndHome) {
  EXPECT_EQ(tidyDirectory("  /data/cmds/ \\ "), "/data/cmds");
  EXPECT_EQ(tidyDirectory("/"), "/");
  EXPECT_EQ(tidyDirectory("   "), "");
  EXPECT_EQ(joinPath("", "a.mqsc"), "a.mqsc");
  EXPECT_EQ(joinPath("/x/", "a.mqsc"), "/x/a.mqsc");
  EXPECT_EQ(joinPath("/x", "a.mqsc"), "/x/a.mqsc");
  EXPECT_EQ(directoryOf("/x/y/a.mqsc"), "/x/y/");
  EXPECT_EQ(directoryOf("a.mqsc"), "");
  setenv("HOME", "/home/kv", 1);
  EXPECT_EQ(expandHome("~/a"), "/home/kv/a");
  EXPECT_EQ(expandHome("~user/a"), "~user/a");
  EXPECT_TRUE(isAbsolutePath("~/a"));
  EXPECT_FALSE(isAbsolutePath("a/b"));
}
