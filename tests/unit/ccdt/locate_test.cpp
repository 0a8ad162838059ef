#include <gtest/gtest.h>

#include <cstdlib>

#include "ccdt/locate.h"
#include "ccdt/status.h"

namespace kvarn::ccdt {
namespace {

class LocateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("MQCHLLIB");
    unsetenv("MQCHLTAB");
    unsetenv("MQSERVER");
  }
  void TearDown() override { SetUp(); }
  std::string binary(const std::string &name) {
    std::string path, message;
    bool mqserver = false;
    EXPECT_EQ(locateBinaryTable(name, path, mqserver, message), 0) << message;
    return path;
  }
  std::string json(const std::string &name) {
    std::string path, message;
    EXPECT_EQ(locateJsonTable(name, path, message), 0) << message;
    return path;
  }
};

TEST_F(LocateTest, BinaryTableNames) {
  EXPECT_EQ(binary("*"), "/var/mqm/AMQCLCHL.TAB");
  EXPECT_EQ(binary("MY.TAB"), "/var/mqm/MY.TAB");
  EXPECT_EQ(binary("/tmp/x/ccdt.tab"), "/tmp/x/ccdt.tab");
  EXPECT_EQ(binary("/tmp/x/"), "/tmp/x/AMQCLCHL.TAB");
  setenv("MQCHLLIB", "/opt/tables/", 1);
  setenv("MQCHLTAB", "OTHER.TAB", 1);
  EXPECT_EQ(binary("*"), "/opt/tables/OTHER.TAB");
  EXPECT_EQ(binary("MINE.TAB"), "/opt/tables/MINE.TAB");

  std::string path, message;
  bool mqserver = false;
  EXPECT_EQ(locateBinaryTable(std::string(300, 'x'), path, mqserver, message), kErrGeneral);
  EXPECT_EQ(message, "Channel File name too large");
  setenv("MQCHLLIB", std::string(240, 'd').c_str(), 1);
  EXPECT_EQ(locateBinaryTable("*", path, mqserver, message), kErrGeneral);

  EXPECT_EQ(locateBinaryTable("!", path, mqserver, message), 0);
  EXPECT_FALSE(mqserver);  // MQSERVER not set: "!" is a file name
  setenv("MQSERVER", "C/TCP/h", 1);
  EXPECT_EQ(locateBinaryTable("!", path, mqserver, message), 0);
  EXPECT_TRUE(mqserver);
}

TEST_F(LocateTest, JsonTableNames) {
  EXPECT_EQ(json("*"), "/var/mqm/amqclchl.json");
  EXPECT_EQ(json("mine"), "/var/mqm/mine.json");
  EXPECT_EQ(json("/tmp/a/b.json"), "/tmp/a/b.json");
  EXPECT_EQ(json("/tmp/a/*"), "/tmp/a/amqclchl.json");
  setenv("MQCHLLIB", "/opt/t", 1);
  setenv("MQCHLTAB", "tab", 1);
  EXPECT_EQ(json("*"), "/opt/t/tab.json");
}

TEST_F(LocateTest, MqserverValues) {
  ChannelDefinition d;
  std::string message;
  ASSERT_EQ(parseMqserver("A.VERY.LONG.CHANNEL.NAME.X/TCP/host(1414)", d, message), 0);
  EXPECT_EQ(d.channelName, "A.VERY.LONG.CHANNEL.");
  EXPECT_EQ(d.transportType, kTransportTcp);
  EXPECT_EQ(d.channelType, kChannelTypeClientConnection);
  ASSERT_EQ(parseMqserver("C/LU62/partner/MODE1/TPNAME", d, message), 0);
  EXPECT_EQ(d.transportType, kTransportLu62);
  EXPECT_EQ(d.connectionName, "partner");
  EXPECT_EQ(d.modeName, "MODE1");
  EXPECT_EQ(d.tpName, "TPNAME");
  ASSERT_EQ(parseMqserver("C/NETBIOS/n", d, message), 0);
  EXPECT_EQ(d.transportType, kTransportNetbios);

  for (const char *bad : {"C/TCP", "C//h", "/TCP/h", "C/TCP/", "C/LU62/p/m", "C/LU62/p/MODENAME9/t"}) {
    EXPECT_EQ(parseMqserver(bad, d, message), kErrMqserver) << bad;
    EXPECT_EQ(message, std::string("Invalid MQSERVER Environment variable '") + bad + "'");
  }
  EXPECT_EQ(parseMqserver(std::string(101, 'c') + "/TCP/h", d, message), kErrMqserver);
  EXPECT_EQ(parseMqserver("C/UDP/h", d, message), kErrMqserver);
  EXPECT_EQ(message, "Invalid MQSERVER Environment variable protocol 'UDP'");
  EXPECT_EQ(channelFromMqserver(d, message), kErrEndOfList);
}

}  // namespace
}  // namespace kvarn::ccdt
