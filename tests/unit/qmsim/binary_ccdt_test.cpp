// The client library finds its channel in a binary channel table, written here with
// KVARN's own table writer, named by MQCHLLIB/MQCHLTAB or by MQCNO's CCDT URL.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "ccdt/binary_table.h"
#include "qmsim_test_support.h"

using namespace qmsim_test;
using kvarn::mqi::setField;
namespace ccdt = kvarn::ccdt;

namespace {

class BinaryCcdtTest : public ::testing::Test {
 protected:
  void SetUp() override { client_ = &MqApi::load(buildPath("lib/libmqic_r.so").c_str()); }
  void TearDown() override {
    ::unsetenv("MQCHLLIB");
    ::unsetenv("MQCHLTAB");
  }

  void writeTable(const std::filesystem::path& path, const std::vector<ccdt::ChannelDefinition>& channels) {
    std::unique_ptr<ccdt::BinaryTable> table;
    std::string message;
    ASSERT_EQ(ccdt::BinaryTable::open(path.string(), ccdt::BinaryTable::Mode::Update, table, message), 0) << message;
    for (const auto& def : channels) ASSERT_EQ(table->writeChannel(def, 0, message), 0) << message;
    ASSERT_EQ(table->close(message), 0) << message;
  }

  static ccdt::ChannelDefinition channel(const std::string& name, const std::string& qmgr, const std::string& conn) {
    ccdt::ChannelDefinition d = ccdt::clientConnectionDefaults();
    d.channelName = name;
    d.qmgrName = qmgr;
    d.connectionName = conn;
    return d;
  }

  MQLONG connect(MQCNO& cno, const char* qmgr) {
    char name[48];
    setField(name, qmgr);
    MQHCONN h = MQHC_UNUSABLE_HCONN;
    MQLONG cc, rc;
    client_->MQCONNX(name, &cno, &h, &cc, &rc);
    if (rc == MQRC_NONE) client_->MQDISC(&h, &cc, &rc);
    return rc == MQRC_NONE ? MQRC_NONE : rc;
  }

  TempHome home_;
  MqApi* client_ = nullptr;
};

TEST_F(BinaryCcdtTest, ChannelIsChosenByQueueManagerNameThroughEnvironmentAndUrl) {
  ASSERT_EQ(runQmsim({"create", "QMS"}).exitCode, 0);
  ServerProcess server({"QMS"});
  std::string here = "127.0.0.1(" + std::to_string(server.port()) + ")";
  auto table = home_.path() / "AMQCLCHL.TAB";
  // The wrong channel sorts first, so only a QMNAME match can pick the right one;
  // a server-connection channel with the same QMNAME is not a client channel.
  auto svrconn = channel("A.SVRCONN", "QMS", "127.0.0.1(1)");
  svrconn.channelType = 7;  // MQCHT_SVRCONN
  writeTable(table, {channel("A.OTHER", "ELSEWHERE", "127.0.0.1(1)"), svrconn,
                     channel("SYSTEM.DEF.SVRCONN", "QMS", "127.0.0.1(1)," + here)});

  MQCNO plain = kvarn::mqi::defaultCNO();
  ::setenv("MQCHLLIB", home_.path().c_str(), 1);
  ::setenv("MQCHLTAB", "AMQCLCHL.TAB", 1);
  EXPECT_EQ(connect(plain, "QMS"), MQRC_NONE);
  EXPECT_EQ(connect(plain, "*QMS"), MQRC_NONE);
  EXPECT_EQ(connect(plain, "NOT.IN.TABLE"), MQRC_Q_MGR_NAME_ERROR);
  ::unsetenv("MQCHLTAB");  // AMQCLCHL.TAB is the default name
  EXPECT_EQ(connect(plain, "QMS"), MQRC_NONE);
  ::unsetenv("MQCHLLIB");

  std::string url = "file://" + table.string();
  MQCNO cno = kvarn::mqi::defaultCNO();
  cno.Version = MQCNO_VERSION_6;
  cno.CCDTUrlPtr = url.data();
  cno.CCDTUrlLength = static_cast<MQLONG>(url.size());
  EXPECT_EQ(connect(cno, "QMS"), MQRC_NONE);
  EXPECT_EQ(connect(cno, "ELSEWHERE"), MQRC_HOST_NOT_AVAILABLE) << "its CONNAME is used";
}

TEST_F(BinaryCcdtTest, DamagedTableIsAConfigurationErrorAndIsLeftAlone) {
  auto table = home_.path() / "AMQCLCHL.TAB";
  const std::string damaged = std::string("AMQR\x40\x00\x00\x00\x10\x00\x00\x00", 12) + "not a segment";
  std::ofstream(table, std::ios::binary) << damaged;
  ::setenv("MQCHLLIB", home_.path().c_str(), 1);
  MQCNO plain = kvarn::mqi::defaultCNO();
  EXPECT_EQ(connect(plain, "QMS"), MQRC_CHANNEL_CONFIG_ERROR);
  std::ifstream in(table, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), damaged);

  ::setenv("MQCHLTAB", "MISSING.TAB", 1);
  EXPECT_EQ(connect(plain, "QMS"), MQRC_CCDT_URL_ERROR);
}

}  // namespace
