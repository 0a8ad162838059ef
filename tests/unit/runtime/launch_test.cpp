// Running commands with and without waiting.
#include "runtime/launch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(RunCommandAndWait, ReportsTheExitStatus) {
  int status = -5;
  EXPECT_EQ(runCommandAndWait("/bin/true", &status), "");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(runCommandAndWait("/bin/false", &status), "");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(runCommandAndWait("/no/such/command/kvarn", &status), "");
  EXPECT_EQ(status, 127) << "the shell says it could not find the command";
  EXPECT_EQ(runCommandAndWait("exit 3"), "");
  EXPECT_EQ(runCommandAndWait("", &status), "") << "an interpreter exists here";
  EXPECT_EQ(status, 0);
}

TEST(StartCommand, RunsDetachedWithoutWaiting) {
  EXPECT_EQ(startCommand(""), "No command supplied");
  EXPECT_EQ(startCommand("  \t"), "No command supplied");

  fs::path marker = fs::temp_directory_path() / ("kvarn_start_" + std::to_string(::getpid()));
  fs::remove(marker);
  EXPECT_EQ(startCommand("echo started > '" + marker.string() + "'; echo noise; echo err >&2"), "");
  bool seen = false;
  for (int i = 0; i < 5000 && !seen; ++i) {
    std::ifstream in(marker);
    std::string word;
    seen = (in >> word) && word == "started";
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_TRUE(seen);
  fs::remove(marker);

  EXPECT_EQ(startCommand("/bin/false"), "") << "a started command's own result is not ours to report";
  EXPECT_EQ(startCommand("/no/such/command/kvarn"), "");

  // The intermediate child is reaped at once and the command belongs to init: nothing
  // is left for us to wait for.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  int status = 0;
  EXPECT_LE(::waitpid(-1, &status, WNOHANG), 0);
}
