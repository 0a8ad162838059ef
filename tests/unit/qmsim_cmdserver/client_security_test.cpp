// A client channel meeting the queue manager's security: channel authentication
// records set with SET CHLAUTH, connection authentication (CONNAUTH, CHCKCLNT,
// ADOPTCTX), the messages written to the error log and the events raised.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cmdserver/status_display.h"
#include "cmdserver_test_support.h"
#include "engine/admission.h"
#include "engine/error_log.h"
#include "qmsim_test_support.h"

using namespace cmdserver_test;
namespace ad = qmsim::admission;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool logged(const QueueManager& qm, const std::string& line) {
  for (const auto& e : qm.recentErrors())
    if (e == line) return true;
  return false;
}

// A client with its own user id, and the server's user repository.
struct Client {
  std::string channel = "SYSTEM.ADMIN.SVRCONN";
  std::string address = "127.0.0.1";
  std::string asserted = "alice";
  std::optional<ad::Credentials> credentials;
};

const std::map<std::string, std::string> kUsers = {{"alice", "a1"}, {"bob", "b2"}, {"mqm", "admin"}, {"app", "p"}};

struct Admitted {
  MQLONG reason = MQRC_NONE;
  std::string userId;
};

Admitted admit(QueueManager& qm, const Client& c, bool demand = false) {
  ad::ClientHello hello{c.channel, c.address, c.asserted, "amqsputc", c.credentials};
  auto verify = [](const std::string& u, const std::string& p) {
    auto it = kUsers.find(u);
    return it != kUsers.end() && it->second == p;
  };
  ConnectParams params;
  Outcome o = qm.admitClient(hello, verify, demand, params);
  return {o.reason, params.userId};
}

// The event messages on a queue, their headers and parameters.
std::vector<Answer> events(QueueManager& qm, const std::string& queue) {
  ConnId conn = 0;
  qm.connect({"test", "mqm", "", ""}, conn);
  MQOD od = kvarn::mqi::defaultOD();
  kvarn::mqi::setField(od.ObjectName, queue);
  MQHOBJ h = MQHO_NONE;
  std::vector<Answer> out;
  if (qm.open(conn, od, MQOO_INPUT_AS_Q_DEF, h).ok()) {
    for (;;) {
      MQMD md = kvarn::mqi::defaultMD();
      MQGMO gmo = kvarn::mqi::defaultGMO();
      gmo.Options = MQGMO_NO_WAIT;
      char buf[4096];
      MQLONG len = 0;
      if (!qm.get(conn, h, md, gmo, sizeof buf, buf, len).ok()) break;
      out.push_back(readReply({md, std::string(buf, static_cast<size_t>(len))}));
    }
    qm.close(conn, h, MQCO_NONE);
  }
  qm.disconnect(conn);
  return out;
}

TEST(ChannelAuthPatterns, AddressesAndProfiles) {
  EXPECT_TRUE(ad::addressMatches("*", "10.1.2.3"));
  EXPECT_TRUE(ad::addressMatches("10.1.*", "10.1.2.3")) << "a trailing '*' takes the remaining parts";
  EXPECT_FALSE(ad::addressMatches("10.1.*", "10.2.1.1"));
  EXPECT_TRUE(ad::addressMatches("10.1.2.1-20", "10.1.2.20"));
  EXPECT_FALSE(ad::addressMatches("10.1.2.1-20", "10.1.2.21"));
  EXPECT_FALSE(ad::addressMatches("10.1.2.1-20", "10.1.2.x"));
  EXPECT_FALSE(ad::addressMatches("10.1.2", "10.1.2.3")) << "every part must be named";
  EXPECT_TRUE(ad::addressMatches("*.example.com", "host.example.com"));
  EXPECT_FALSE(ad::addressMatches("10.1.2.3", ""));
  EXPECT_TRUE(ad::channelProfileMatches("DEV.*", "DEV.APP.SVRCONN"));
  EXPECT_TRUE(ad::channelProfileMatches("*SVRCONN", "DEV.APP.SVRCONN"));
  EXPECT_FALSE(ad::channelProfileMatches("DEV.*", "dev.app"));
  EXPECT_FALSE(ad::channelProfileMatches("", "X"));
}

class ChannelRules : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureDefaultChlauth(*f.qm);
    f.first("ALTER QMGR CHLAUTH(ENABLED) CHLEV(ENABLED)");
  }
  Fixture f;
};

TEST_F(ChannelRules, DefaultRecordsBlockSystemChannelsAndAdministrators) {
  Client c;
  c.channel = "SYSTEM.DEF.SVRCONN";
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NOT_AUTHORIZED);
  EXPECT_TRUE(logged(*f.qm, "AMQ9777E: Channel was blocked"));
  c.channel = "SYSTEM.ADMIN.SVRCONN";
  Admitted a = admit(*f.qm, c);
  EXPECT_EQ(a.reason, MQRC_NONE) << "SYSTEM.ADMIN.SVRCONN's own record lets it through";
  EXPECT_EQ(a.userId, "alice");
  c.asserted = "mqm";
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NOT_AUTHORIZED) << "*MQADMIN";
  EXPECT_TRUE(logged(*f.qm, "AMQ9776E: Channel was blocked by userid"));

  auto ev = events(*f.qm, "SYSTEM.ADMIN.CHANNEL.EVENT");
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[0].header.Type, MQCFT_EVENT);
  EXPECT_EQ(ev[0].header.Command, MQCMD_CHANNEL_EVENT);
  EXPECT_EQ(ev[0].header.Reason, MQRC_CHANNEL_BLOCKED);
  EXPECT_EQ(ev[0].find(MQIACF_REASON_QUALIFIER)->intValue, MQRQ_CHANNEL_BLOCKED_NOACCESS);
  EXPECT_EQ(ev[0].find(MQCACH_CHANNEL_NAME)->text, "SYSTEM.DEF.SVRCONN");
  EXPECT_EQ(ev[1].find(MQIACF_REASON_QUALIFIER)->intValue, MQRQ_CHANNEL_BLOCKED_USERID);
  EXPECT_EQ(ev[1].find(MQCACF_USER_IDENTIFIER)->text, "mqm");
  EXPECT_EQ(ev[1].format, "MQEVENT");
}

TEST_F(ChannelRules, TheMostSpecificRecordDecides) {
  f.first("SET CHLAUTH('DEV.*') TYPE(ADDRESSMAP) ADDRESS('*') USERSRC(NOACCESS)");
  f.first("SET CHLAUTH('DEV.ADMIN.SVRCONN') TYPE(BLOCKUSER) USERLIST('nobody')");
  f.first("SET CHLAUTH('DEV.ADMIN.SVRCONN') TYPE(ADDRESSMAP) ADDRESS('127.0.0.*') USERSRC(CHANNEL)");
  f.first("SET CHLAUTH('DEV.ADMIN.SVRCONN') TYPE(USERMAP) CLNTUSER('fred') USERSRC(MAP) MCAUSER('app')");
  Client c;
  c.channel = "DEV.ADMIN.SVRCONN";
  c.asserted = "mqm";
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NONE) << "the channel's own BLOCKUSER replaces the '*' one";
  c.asserted = "nobody";
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NOT_AUTHORIZED);
  c.asserted = "fred";
  EXPECT_EQ(admit(*f.qm, c).userId, "app") << "USERMAP comes before ADDRESSMAP and maps the user";
  c.asserted = "alice";
  c.address = "10.0.0.1";
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NOT_AUTHORIZED) << "outside 127.0.0.*, DEV.* blocks";
  c.channel = "DEV.OTHER";
  c.address = "127.0.0.1";
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NOT_AUTHORIZED);
  f.first("DEFINE CHANNEL(DEV.MCA) CHLTYPE(SVRCONN) MCAUSER('svc')");
  f.first("SET CHLAUTH('DEV.MCA') TYPE(ADDRESSMAP) ADDRESS('*') USERSRC(CHANNEL)");
  c.channel = "DEV.MCA";
  EXPECT_EQ(admit(*f.qm, c).userId, "svc") << "USERSRC(CHANNEL) runs the channel's MCAUSER";
}

TEST_F(ChannelRules, DisplayShowsTheRecordAConnectionWouldMeet) {
  f.first("SET CHLAUTH('DEV.*') TYPE(ADDRESSMAP) ADDRESS('10.1.*') USERSRC(NOACCESS)");
  f.first("SET CHLAUTH('DEV.APP') TYPE(USERMAP) CLNTUSER('fred') USERSRC(MAP) MCAUSER('app')");
  std::string meets = f.first("DIS CHLAUTH(DEV.APP) MATCH(RUNCHECK) ADDRESS('10.1.2.3') CLNTUSER('fred')");
  EXPECT_TRUE(has(meets, "CHLAUTH(DEV.APP)") && has(meets, "TYPE(USERMAP)")) << meets;
  meets = f.first("DIS CHLAUTH(DEV.APP) MATCH(RUNCHECK) ADDRESS('10.1.2.3') CLNTUSER('joe')");
  EXPECT_TRUE(has(meets, "CHLAUTH(DEV.*)") && has(meets, "USERSRC(NOACCESS)")) << meets;
  f.first("DEFINE CHANNEL(DEV.APP) CHLTYPE(SVRCONN) MCAUSER('svc')");
  EXPECT_EQ(f.first("DIS CHLAUTH(DEV.APP) MATCH(RUNCHECK) ADDRESS('9.9.9.9') CLNTUSER('joe')"),
            "AMQ9783I: Channel will run using MCAUSER('svc').");
  EXPECT_TRUE(has(f.first("DIS CHLAUTH(DEV.*) MATCH(RUNCHECK) ADDRESS('9.9.9.9') CLNTUSER('joe')"), "AMQ8405I"))
      << "a run-time check names one channel";
  EXPECT_TRUE(has(f.first("DIS CHLAUTH(DEV.APP) MATCH(RUNCHECK) CLNTUSER('joe')"), "AMQ8405I")) << "and its address";
  EXPECT_EQ(f.mqsc("DIS CHLAUTH(DEV.APP) MATCH(ALL)").size(), 3u) << "DEV.*, DEV.APP and the '*' BLOCKUSER record";
  EXPECT_EQ(f.mqsc("DIS CHLAUTH('DEV.*') MATCH(EXACT)").size(), 1u);
}

TEST_F(ChannelRules, BlockedAddressesWarningsAndTheSwitch) {
  f.first("SET CHLAUTH('*') TYPE(BLOCKADDR) ADDRLIST('10.9.*','192.168.1.5')");
  Client c;
  c.address = "10.9.8.7";
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_Q_MGR_NOT_AVAILABLE) << "the listener drops a blocked address";
  c.address = "192.168.1.6";
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NONE);
  f.first("SET CHLAUTH('SYSTEM.DEF.SVRCONN') TYPE(ADDRESSMAP) ADDRESS('*') USERSRC(NOACCESS) WARN(YES)");
  c.channel = "SYSTEM.DEF.SVRCONN";
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NONE) << "WARN(YES) only reports";
  auto ev = events(*f.qm, "SYSTEM.ADMIN.CHANNEL.EVENT");
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[0].find(MQIACF_REASON_QUALIFIER)->intValue, MQRQ_CHANNEL_BLOCKED_ADDRESS);
  EXPECT_EQ(ev[0].find(MQCACH_CHANNEL_NAME), nullptr) << "an address is blocked before the channel is known";
  EXPECT_EQ(ev[1].header.Reason, MQRC_CHANNEL_BLOCKED_WARNING);

  f.first("ALTER QMGR CHLAUTH(DISABLED)");
  f.qm->alterQMgr({{"AUTHCHECK", "YES"}});
  c.address = "10.9.8.7";
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NONE) << "CHLAUTH(DISABLED) turns the records off";
}

TEST(ChannelRulesOff, RecordsWaitForSecurityToBeOn) {
  Fixture f;
  ensureDefaultChlauth(*f.qm);
  Client c;
  c.channel = "SYSTEM.DEF.SVRCONN";
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NONE) << "a new queue manager lets anything connect";
  f.qm->alterQMgr({{"AUTHCHECK", "YES"}});
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NOT_AUTHORIZED) << "qmsim create --authority on";
}

class ConnectionAuthentication : public ::testing::Test {
 protected:
  void require(const std::string& check, const std::string& adopt = "YES") {
    f.first("DEFINE AUTHINFO(DEV.AUTHINFO) AUTHTYPE(IDPWOS) CHCKCLNT(" + check + ") ADOPTCTX(" + adopt + ") REPLACE");
    f.first("ALTER QMGR CONNAUTH(DEV.AUTHINFO) AUTHOREV(ENABLED)");
    f.first("REFRESH SECURITY TYPE(CONNAUTH)");
  }
  Fixture f;
};

TEST_F(ConnectionAuthentication, RequiredDemandsAValidPassword) {
  require("REQUIRED");
  Client c;
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NOT_AUTHORIZED);
  EXPECT_TRUE(logged(*f.qm, "AMQ5540E: Application 'amqsputc' did not supply a user ID and password"));
  EXPECT_TRUE(logged(*f.qm, "AMQ5541E: The failed authentication check was caused by the queue manager CONNAUTH "
                            "CHCKCLNT(REQUIRED) configuration."));
  c.credentials = ad::Credentials{"bob", "wrong"};
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NOT_AUTHORIZED);
  EXPECT_TRUE(logged(*f.qm, "AMQ5534E: User ID 'bob' authentication failed"));
  EXPECT_TRUE(logged(*f.qm, "AMQ5542I: The failed authentication check was caused by the queue manager CONNAUTH "
                            "CHCKCLNT(REQUIRED) configuration."));
  c.credentials = ad::Credentials{"bob", "b2"};
  Admitted a = admit(*f.qm, c);
  EXPECT_EQ(a.reason, MQRC_NONE);
  EXPECT_EQ(a.userId, "bob") << "ADOPTCTX(YES)";

  auto ev = events(*f.qm, "SYSTEM.ADMIN.QMGR.EVENT");
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[0].header.Command, MQCMD_Q_MGR_EVENT);
  EXPECT_EQ(ev[0].header.Reason, MQRC_NOT_AUTHORIZED);
  EXPECT_EQ(ev[0].header.CompCode, MQCC_WARNING);
  EXPECT_EQ(ev[1].find(MQIACF_REASON_QUALIFIER)->intValue, MQRQ_CSP_NOT_AUTHORIZED);
  EXPECT_EQ(ev[1].find(MQCACF_CSP_USER_IDENTIFIER)->text, "bob");
}

TEST_F(ConnectionAuthentication, OptionalChecksWhatIsGivenAndAdoptionIsAsked) {
  require("OPTIONAL", "NO");
  Client c;
  EXPECT_EQ(admit(*f.qm, c).userId, "alice");
  c.credentials = ad::Credentials{"bob", ""};
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NOT_AUTHORIZED) << "a user id with an empty password is checked";
  c.credentials = ad::Credentials{"bob", "b2"};
  EXPECT_EQ(admit(*f.qm, c).userId, "alice") << "ADOPTCTX(NO) keeps the client's own user id";
}

TEST_F(ConnectionAuthentication, AdministratorsAndRecordsCanRaiseTheDemand) {
  require("REQDADM");
  Client c;
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NONE) << "alice is no administrator";
  c.asserted = "mqm";
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NOT_AUTHORIZED);
  EXPECT_TRUE(logged(*f.qm, "AMQ5541E: The failed authentication check was caused by the queue manager CONNAUTH "
                            "CHCKCLNT(REQDADM) configuration."));
  f.first("SET CHLAUTH('DEV.APP.SVRCONN') TYPE(ADDRESSMAP) ADDRESS('*') USERSRC(CHANNEL) CHCKCLNT(REQUIRED)");
  c.channel = "DEV.APP.SVRCONN";
  c.asserted = "alice";
  EXPECT_EQ(admit(*f.qm, c).reason, MQRC_NOT_AUTHORIZED);
  EXPECT_TRUE(logged(*f.qm, "AMQ9791E: The client application did not supply a user ID and password."));
  c.credentials = ad::Credentials{"app", "p"};
  EXPECT_EQ(admit(*f.qm, c).userId, "app");
}

TEST(ConnectionAuthenticationOff, AUserFileDemandsItsUsers) {
  Fixture f;
  Client c;
  EXPECT_EQ(admit(*f.qm, c, true).reason, MQRC_NOT_AUTHORIZED);
  c.credentials = ad::Credentials{"bob", "b2"};
  Admitted a = admit(*f.qm, c, true);
  EXPECT_EQ(a.reason, MQRC_NONE);
  EXPECT_EQ(a.userId, "bob") << "the user id given is the client's";
  f.first("DEFINE CHANNEL(DEV.MCA) CHLTYPE(SVRCONN) MCAUSER('svc')");
  c.channel = "DEV.MCA";
  EXPECT_EQ(admit(*f.qm, c, true).userId, "svc") << "a channel's MCAUSER comes first";
  EXPECT_TRUE(f.qm->recentErrors().empty()) << "no connection authentication, no messages";
}

TEST(AuthorityEvents, RefusedConnectsAndOpensAreLoggedAndReported) {
  Fixture f;
  f.qm->alterQMgr({{"AUTHCHECK", "YES"}});
  f.first("DEFINE QLOCAL(DEV.Q)");
  ConnectParams bob{"amqsputc", "bob", "DEV.APP.SVRCONN", "127.0.0.1", "root", "bob"};
  ConnId conn = 0;
  EXPECT_EQ(f.qm->connect(bob, conn).reason, MQRC_NOT_AUTHORIZED);
  EXPECT_TRUE(events(*f.qm, "SYSTEM.ADMIN.QMGR.EVENT").empty()) << "AUTHOREV(DISABLED) by default";
  EXPECT_TRUE(logged(*f.qm, "AMQ8077W: Entity 'bob' has insufficient authority to access object QM1 [qmgr]."));
  EXPECT_TRUE(logged(*f.qm, "AMQ9557E: Queue Manager User ID initialization failed for 'bob'."));

  f.first("ALTER QMGR AUTHOREV(ENABLED)");
  EXPECT_EQ(f.qm->connect(bob, conn).reason, MQRC_NOT_AUTHORIZED);
  f.first("SET AUTHREC OBJTYPE(QMGR) PRINCIPAL('bob') AUTHADD(CONNECT)");
  ASSERT_TRUE(f.qm->connect(bob, conn).ok());
  MQOD od = kvarn::mqi::defaultOD();
  kvarn::mqi::setField(od.ObjectName, "DEV.Q");
  MQHOBJ h = MQHO_NONE;
  EXPECT_EQ(f.qm->open(conn, od, MQOO_OUTPUT | MQOO_INQUIRE, h).reason, MQRC_NOT_AUTHORIZED);
  f.qm->disconnect(conn);
  EXPECT_TRUE(logged(*f.qm, "AMQ8077W: Entity 'bob' has insufficient authority to access object DEV.Q [queue]."));

  auto ev = events(*f.qm, "SYSTEM.ADMIN.QMGR.EVENT");
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[0].find(MQIACF_REASON_QUALIFIER)->intValue, MQRQ_CONN_NOT_AUTHORIZED);
  EXPECT_EQ(ev[0].find(MQCA_Q_MGR_NAME)->text, "QM1");
  EXPECT_EQ(ev[0].find(MQCACF_USER_IDENTIFIER)->text, "bob");
  EXPECT_EQ(ev[0].find(MQCACH_CHANNEL_NAME)->text, "DEV.APP.SVRCONN");
  EXPECT_EQ(ev[1].find(MQIACF_REASON_QUALIFIER)->intValue, MQRQ_OPEN_NOT_AUTHORIZED);
  EXPECT_EQ(ev[1].find(MQIACF_OPEN_OPTIONS)->intValue, MQOO_OUTPUT | MQOO_INQUIRE);
  EXPECT_EQ(ev[1].find(MQCA_Q_NAME)->text, "DEV.Q");
}

TEST(ErrorLogFile, EntriesAreWholeAndTheFileRollsOver) {
  qmsim_test::TempHome home;
  qmsim::ErrorLog log(home.path(), "QM1");
  log.write("AMQ9999X", {});  // not in the catalogue: nothing
  EXPECT_FALSE(std::filesystem::exists(home.path() / "errors" / "AMQERR01.LOG"));
  LogInserts in{{2, 2035}, {std::string(300, 'u'), "b", "c"}};
  for (int i = 0; i < 4000; ++i) log.write("AMQ9557E", in);
  auto dir = home.path() / "errors";
  ASSERT_TRUE(std::filesystem::exists(dir / "AMQERR02.LOG"));
  EXPECT_LE(std::filesystem::file_size(dir / "AMQERR01.LOG"), ErrorLog::kFileLimit);
  std::ifstream first(dir / "AMQERR01.LOG");
  std::string line;
  std::getline(first, line);
  EXPECT_TRUE(has(line, " - Process(")) << "the newest file starts with a whole entry: " << line;
  EXPECT_EQ(log.recent().size(), ErrorLog::kRecentKept);
  EXPECT_EQ(log.recent().back(),
            "AMQ9557E: Queue Manager User ID initialization failed for '" + std::string(300, 'u') + "'.");
}

}  // namespace
