// Where a fleet's members come from besides a list: a client channel table's queue
// managers, and the queue managers of a directory of queue managers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <stdlib.h>

#include "driver/local_handlers.h"

namespace {

namespace fs = std::filesystem;

struct Scratch {
  fs::path dir;
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "kvarn-fleet-names-XXXXXX").string();
    dir = ::mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string write(const std::string &name, const std::string &text) {
    std::ofstream(dir / name) << text;
    return (dir / name).string();
  }
};

std::string jsonChannel(const std::string &name, const std::string &qmgr, const char *type = "clientConnection") {
  return R"({"name":")" + name + R"(","type":")" + type +
         R"(","clientConnection":{"connection":[{"host":"h","port":1414}],"queueManager":")" + qmgr + R"("}})";
}

TEST(FleetNames, AChannelTableNamesEachQueueManagerOnceInTableOrder) {
  Scratch s;
  std::string table = s.write("t.json", R"({"channel":[)" + jsonChannel("A", "QM2") + "," + jsonChannel("B", "QM1") +
                                            "," + jsonChannel("C", "QM2") + "," + jsonChannel("D", "") + "]}");
  std::vector<std::string> names = {"QM1"};  // named in the list already: not again
  std::string message;
  ASSERT_TRUE(ccdtQmgrNames(table, names, message)) << message;
  EXPECT_EQ(names, (std::vector<std::string>{"QM1", "QM2"}));
}

TEST(FleetNames, ATableThatCannotBeReadSaysSoAndNamesNone) {
  Scratch s;
  for (const std::string &path : {(s.dir / "missing.tab").string(), s.write("bad.json", "{\"channel\":[{"),
                                  s.write("junk.tab", std::string(300, '\x01')), s.dir.string()}) {
    std::vector<std::string> names;
    std::string message;
    EXPECT_FALSE(ccdtQmgrNames(path, names, message)) << path;
    EXPECT_FALSE(message.empty()) << path;
    EXPECT_TRUE(names.empty()) << path;
  }
}

TEST(FleetNames, AHomeNamesItsQueueManagerDirectoriesSorted) {
  Scratch s;
  for (const char *qm : {"QMB", "QMA", "QM.C"}) fs::create_directories(s.dir / qm);
  fs::create_directories(s.dir / "not a name");
  fs::create_directories(s.dir / std::string(49, 'Q'));
  s.write("QMFILE", "a file, no queue manager");
  std::vector<std::string> names;
  std::string message;
  ASSERT_TRUE(homeQmgrNames(s.dir.string(), names, message)) << message;
  EXPECT_EQ(names, (std::vector<std::string>{"QM.C", "QMA", "QMB"}));
  names.clear();
  EXPECT_FALSE(homeQmgrNames((s.dir / "nowhere").string(), names, message));
  EXPECT_NE(message.find("can not be read"), std::string::npos);
}

}  // namespace
