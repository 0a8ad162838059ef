// The client library finds its channel in a binary channel table, written here with
// KVARN's own table writer, named by MQCHLLIB/MQCHLTAB or by MQCNO's CCDT URL.
#include <gtest/gtest.h>

#include <sys/stat.h>

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
  void SetUp() override { client_ = &MqApi::load(buildPath("lib/kvarn/libmqic_r.so").c_str()); }
  void TearDown() override {
    ::unsetenv("MQCHLLIB");
    ::unsetenv("MQCHLTAB");
    ::unsetenv("MQCCDTURL");
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

// Whatever names the table (MQCHLLIB, MQCNO's URL, MQCCDTURL), a table that is not a
// regular file or is too large to be a table is a configuration error, read no further.
TEST_F(BinaryCcdtTest, TableThatIsNoRegularFileOrTooLargeIsAConfigurationError) {
  std::filesystem::create_directories(home_.path() / "dir" / "AMQCLCHL.TAB");
  ::setenv("MQCHLLIB", (home_.path() / "dir").c_str(), 1);
  MQCNO plain = kvarn::mqi::defaultCNO();
  EXPECT_EQ(connect(plain, "QMS"), MQRC_CHANNEL_CONFIG_ERROR);
  ::unsetenv("MQCHLLIB");

  auto byUrl = [&](const std::string& url) {
    MQCNO cno = kvarn::mqi::defaultCNO();
    cno.Version = MQCNO_VERSION_6;
    cno.CCDTUrlPtr = const_cast<char*>(url.data());
    cno.CCDTUrlLength = static_cast<MQLONG>(url.size());
    return connect(cno, "QMS");
  };
  EXPECT_EQ(byUrl("file://" + (home_.path() / "dir").string()), MQRC_CHANNEL_CONFIG_ERROR);
  EXPECT_EQ(byUrl("file:///dev/zero"), MQRC_CHANNEL_CONFIG_ERROR);
  EXPECT_EQ(byUrl("file:///dev/null"), MQRC_CHANNEL_CONFIG_ERROR);
  auto fifo = home_.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(byUrl(fifo.string()), MQRC_CHANNEL_CONFIG_ERROR) << "a pipe with no writer must not hang";
  auto big = home_.path() / "big.json";
  {
    std::ofstream out(big, std::ios::binary);
    out << "{\"channel\":[";
  }
  std::filesystem::resize_file(big, 17u * 1024 * 1024);
  EXPECT_EQ(byUrl(big.string()), MQRC_CHANNEL_CONFIG_ERROR);
  EXPECT_EQ(byUrl("file://" + (home_.path() / "missing.json").string()), MQRC_CCDT_URL_ERROR);
  EXPECT_EQ(byUrl("http://127.0.0.1:1/AMQCLCHL.TAB"), MQRC_CCDT_URL_ERROR);
}

// MQCCDTURL names a table as MQCHLLIB/MQCHLTAB do and is taken before them; MQSERVER
// is taken before either.
TEST_F(BinaryCcdtTest, MqccdturlIsHonouredInIbmOrder) {
  ASSERT_EQ(runQmsim({"create", "QMS"}).exitCode, 0);
  ServerProcess server({"QMS"});
  std::string here = "127.0.0.1(" + std::to_string(server.port()) + ")";
  auto good = home_.path() / "good.tab";
  writeTable(good, {channel("SYSTEM.DEF.SVRCONN", "QMS", here)});
  std::filesystem::create_directories(home_.path() / "dir" / "AMQCLCHL.TAB");
  MQCNO plain = kvarn::mqi::defaultCNO();

  ::setenv("MQCCDTURL", ("file://" + good.string()).c_str(), 1);
  EXPECT_EQ(connect(plain, "QMS"), MQRC_NONE);
  ::setenv("MQCCDTURL", good.c_str(), 1);
  EXPECT_EQ(connect(plain, "QMS"), MQRC_NONE);
  ::setenv("MQCHLLIB", (home_.path() / "dir").c_str(), 1);
  EXPECT_EQ(connect(plain, "QMS"), MQRC_NONE) << "MQCCDTURL comes before MQCHLLIB";
  ::setenv("MQSERVER", "SYSTEM.DEF.SVRCONN/TCP/127.0.0.1(1)", 1);
  EXPECT_EQ(connect(plain, "QMS"), MQRC_HOST_NOT_AVAILABLE) << "MQSERVER comes first";
  ::unsetenv("MQSERVER");
  ::setenv("MQCCDTURL", (home_.path() / "dir").c_str(), 1);
  EXPECT_EQ(connect(plain, "QMS"), MQRC_CHANNEL_CONFIG_ERROR);
}

}  // namespace
