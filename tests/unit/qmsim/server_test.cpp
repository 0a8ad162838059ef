// The qmsim program and its server: argument errors, a dropped server while a client
// waits, a stopped queue manager, channel and password checks, and server bindings
// of another process reaching a running server's state.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "qmsim_test_support.h"

using namespace qmsim_test;
using kvarn::mqi::setField;

namespace {

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_ = &MqApi::load(buildPath("lib/libmqic_r.so").c_str());
    server_ = &MqApi::load(buildPath("lib/libmqm_r.so").c_str());
  }

  MQLONG clientConnect(int port, MQHCONN& h, const char* channel = "SYSTEM.DEF.SVRCONN", const char* user = nullptr,
                       const char* password = nullptr) {
    MQCNO cno = kvarn::mqi::defaultCNO();
    MQCD cd = kvarn::mqi::defaultClientConnCD();
    setField(cd.ChannelName, channel);
    setField(cd.ConnectionName, "localhost(" + std::to_string(port) + ")");
    cno.Version = MQCNO_VERSION_5;
    cno.ClientConnPtr = &cd;
    MQCSP csp = kvarn::mqi::defaultCSP();
    if (user) {
      csp.AuthenticationType = MQCSP_AUTH_USER_ID_AND_PWD;
      csp.CSPUserIdPtr = const_cast<char*>(user);
      csp.CSPUserIdLength = static_cast<MQLONG>(std::strlen(user));
      csp.CSPPasswordPtr = const_cast<char*>(password);
      csp.CSPPasswordLength = static_cast<MQLONG>(std::strlen(password));
      cno.SecurityParmsPtr = &csp;
    }
    char name[48];
    setField(name, "QMS");
    MQLONG cc, rc;
    client_->MQCONNX(name, &cno, &h, &cc, &rc);
    return rc;
  }

  MQHOBJ openModel(MqApi& api, MQHCONN h) {
    MQOD od = kvarn::mqi::defaultOD();
    setField(od.ObjectName, "SYSTEM.DEFAULT.MODEL.QUEUE");
    MQHOBJ hobj = MQHO_UNUSABLE_HOBJ;
    MQLONG cc, rc;
    api.MQOPEN(h, &od, MQOO_INPUT_EXCLUSIVE, &hobj, &cc, &rc);
    EXPECT_EQ(rc, MQRC_NONE);
    return hobj;
  }

  MQLONG waitForever(MqApi& api, MQHCONN h, MQHOBJ hobj) {
    MQMD md = kvarn::mqi::defaultMD();
    MQGMO gmo = kvarn::mqi::defaultGMO();
    gmo.Options = MQGMO_WAIT | MQGMO_FAIL_IF_QUIESCING;
    gmo.WaitInterval = 60000;  // longer than the test's own time-out: only the event under test can end it
    char buf[16];
    MQLONG len, cc, rc;
    api.MQGET(h, hobj, &md, &gmo, sizeof buf, buf, &len, &cc, &rc);
    return rc;
  }

  TempHome home_;
  MqApi* client_ = nullptr;
  MqApi* server_ = nullptr;
};

TEST_F(ServerTest, ProgramRejectsBadArgumentsClearly) {
  RunResult r = runQmsim({});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("usage"), std::string::npos);
  r = runQmsim({"frobnicate"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("unknown command 'frobnicate'"), std::string::npos);
  r = runQmsim({"start", "QMS", "--port", "99999"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("port must be"), std::string::npos);
  r = runQmsim({"start", "NOPE", "--port", "0"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("does not exist"), std::string::npos);
  r = runQmsim({"create", "BAD NAME"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("not a valid queue manager name"), std::string::npos);
  r = runQmsim({"stop", "QMS"});
  EXPECT_EQ(r.exitCode, 1);
  r = runQmsim({"put", "QMS"});
  EXPECT_EQ(r.exitCode, 2);
}

TEST_F(ServerTest, CreatePutDepthListAndDelete) {
  ASSERT_EQ(runQmsim({"create", "QMS"}).exitCode, 0);
  EXPECT_EQ(runQmsim({"create", "QMS"}).exitCode, 1);
  RunResult r = runQmsim({"put", "QMS", "SYSTEM.DEFAULT.LOCAL.QUEUE", "--count", "3", "--persistent"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  r = runQmsim({"depth", "QMS", "SYSTEM.DEFAULT.LOCAL.QUEUE"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("SYSTEM.DEFAULT.LOCAL.QUEUE"), std::string::npos);
  EXPECT_NE(r.out.find(" 3\n"), std::string::npos) << r.out;
  r = runQmsim({"list"});
  EXPECT_NE(r.out.find("QMS"), std::string::npos);
  EXPECT_NE(r.out.find("stopped"), std::string::npos);
  EXPECT_EQ(runQmsim({"delete", "QMS"}).exitCode, 0);
  EXPECT_EQ(runQmsim({"depth", "QMS", "X"}).exitCode, 1);
}

TEST_F(ServerTest, KilledServerGives2009ToAWaitingGetAndLaterCalls) {
  ASSERT_EQ(runQmsim({"create", "QMS"}).exitCode, 0);
  ServerProcess server({"QMS"});
  MQHCONN h;
  ASSERT_EQ(clientConnect(server.port(), h), MQRC_NONE);
  MQHOBJ hobj = openModel(*client_, h);
  MQLONG reason = 0;
  std::thread waiter([&] { reason = waitForever(*client_, h, hobj); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  server.kill9();
  waiter.join();
  EXPECT_EQ(reason, MQRC_CONNECTION_BROKEN);
  MQLONG cc, rc;
  client_->MQCMIT(h, &cc, &rc);
  EXPECT_EQ(rc, MQRC_CONNECTION_BROKEN);
  client_->MQDISC(&h, &cc, &rc);
  EXPECT_TRUE(rc == MQRC_NONE || rc == MQRC_CONNECTION_BROKEN) << rc;
  // The server's lock died with it: the queue manager starts again.
  ServerProcess again({"QMS"});
  EXPECT_EQ(clientConnect(again.port(), h), MQRC_NONE);
  client_->MQDISC(&h, &cc, &rc);
}

TEST_F(ServerTest, StoppingTheServerEndsWaitingGetsWithQuiescingOrStopping) {
  ASSERT_EQ(runQmsim({"create", "QMS"}).exitCode, 0);
  ServerProcess server({"QMS"});
  MQHCONN h;
  ASSERT_EQ(clientConnect(server.port(), h), MQRC_NONE);
  MQHOBJ hobj = openModel(*client_, h);
  MQLONG reason = 0;
  std::thread waiter([&] { reason = waitForever(*client_, h, hobj); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(server.stop(), 0);
  waiter.join();
  EXPECT_TRUE(reason == MQRC_Q_MGR_QUIESCING || reason == MQRC_Q_MGR_STOPPING) << reason;
  MQLONG cc, rc;
  client_->MQDISC(&h, &cc, &rc);
}

TEST_F(ServerTest, ChannelAndPasswordAreChecked) {
  ASSERT_EQ(runQmsim({"create", "QMS"}).exitCode, 0);
  std::ofstream(home_.path() / "users") << "# user:password\nadmin:s3cret\n";
  ServerProcess server({"QMS"}, {"--auth", (home_.path() / "users").string()});
  MQHCONN h;
  EXPECT_EQ(clientConnect(server.port(), h, "NO.SUCH.CHANNEL", "admin", "s3cret"), MQRC_UNKNOWN_CHANNEL_NAME);
  EXPECT_EQ(clientConnect(server.port(), h, "SYSTEM.DEF.SENDER", "admin", "s3cret"), MQRC_UNKNOWN_CHANNEL_NAME);
  EXPECT_EQ(clientConnect(server.port(), h, "SYSTEM.DEF.SVRCONN", "admin", "wrong"), MQRC_NOT_AUTHORIZED);
  EXPECT_EQ(clientConnect(server.port(), h), MQRC_NOT_AUTHORIZED);
  ASSERT_EQ(clientConnect(server.port(), h, "SYSTEM.DEF.SVRCONN", "admin", "s3cret"), MQRC_NONE);
  MQLONG cc, rc;
  client_->MQDISC(&h, &cc, &rc);
  EXPECT_EQ(rc, MQRC_NONE);
  EXPECT_EQ(clientConnect(1, h), MQRC_HOST_NOT_AVAILABLE);
}

TEST_F(ServerTest, ServerBindingsOfAnotherProcessShareTheServersState) {
  ASSERT_EQ(runQmsim({"create", "QMS"}).exitCode, 0);
  ServerProcess server({"QMS"});
  MQHCONN local, remote;
  char name[48];
  setField(name, "QMS");
  MQLONG cc, rc;
  server_->MQCONN(name, &local, &cc, &rc);
  ASSERT_EQ(rc, MQRC_NONE);
  ASSERT_EQ(clientConnect(server.port(), remote), MQRC_NONE);
  // Put over TCP, get through the server's local socket.
  MQOD od = kvarn::mqi::defaultOD();
  setField(od.ObjectName, "SYSTEM.DEFAULT.LOCAL.QUEUE");
  MQMD md = kvarn::mqi::defaultMD();
  MQPMO pmo = kvarn::mqi::defaultPMO();
  char text[] = "shared";
  client_->MQPUT1(remote, &od, &md, &pmo, 6, text, &cc, &rc);
  ASSERT_EQ(rc, MQRC_NONE);
  MQHOBJ hobj;
  server_->MQOPEN(local, &od, MQOO_INPUT_SHARED, &hobj, &cc, &rc);
  ASSERT_EQ(rc, MQRC_NONE);
  MQMD got = kvarn::mqi::defaultMD();
  std::memcpy(got.MsgId, md.MsgId, 24);
  MQGMO gmo = kvarn::mqi::defaultGMO();
  char buf[16];
  MQLONG len = 0;
  server_->MQGET(local, hobj, &got, &gmo, sizeof buf, buf, &len, &cc, &rc);
  ASSERT_EQ(rc, MQRC_NONE);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(len)), "shared");
  server_->MQDISC(&local, &cc, &rc);
  client_->MQDISC(&remote, &cc, &rc);
}

}  // namespace
