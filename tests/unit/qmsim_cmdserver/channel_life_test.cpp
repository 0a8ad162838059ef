// Channel, listener and service life through MQSC: a sender retries while its
// partner does not answer, STOP leaves STOPPED (or no status with INACTIVE), and
// RESET, RESOLVE, PING, SUSPEND and RESUME answer as IBM does.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "cmdserver_test_support.h"

using namespace cmdserver_test;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A loopback port with a listening socket (open) or, once closed, nothing behind it.
class Port {
 public:
  Port() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 4);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~Port() { close(); }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  std::string conname() const { return "127.0.0.1(" + std::to_string(port_) + ")"; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST(ChannelLife, SenderRunsOnlyWhenItsPartnerAnswers) {
  Fixture f;
  Port open, closed;
  closed.close();
  f.first("DEF CHL(UP) CHLTYPE(SDR) XMITQ(XQ) CONNAME('" + open.conname() + "')");
  f.first("DEF CHL(DOWN) CHLTYPE(SDR) XMITQ(XQ) CONNAME('" + closed.conname() + "')");
  EXPECT_EQ(f.first("START CHANNEL(UP)"), "AMQ8018I: Start IBM MQ channel accepted.");
  EXPECT_EQ(f.first("START CHANNEL(DOWN)"), "AMQ8018I: Start IBM MQ channel accepted.");
  EXPECT_TRUE(has(f.first("DIS CHS(UP)"), "STATUS(RUNNING)"));
  EXPECT_TRUE(has(f.first("DIS CHS(DOWN)"), "STATUS(RETRYING)"));
  EXPECT_EQ(f.first("START CHANNEL(UP)"), "AMQ9514E: Channel 'UP' is in use.");
  // PING and RESOLVE want an idle channel; RESET is taken at any time.
  EXPECT_EQ(f.first("PING CHANNEL(UP)"), "AMQ9514E: Channel 'UP' is in use.");
  EXPECT_EQ(f.first("RESOLVE CHANNEL(UP) ACTION(COMMIT)"), "AMQ9514E: Channel 'UP' is in use.");
  EXPECT_EQ(f.first("RESET CHANNEL(UP) SEQNUM(1)"), "AMQ8023I: IBM MQ channel reset.");

  EXPECT_EQ(f.first("STOP CHANNEL(UP)"), "AMQ8019I: Stop IBM MQ channel accepted.");
  EXPECT_TRUE(has(f.first("DIS CHS(UP)"), "STATUS(STOPPED)")) << "a stopped channel keeps its status";
  EXPECT_EQ(f.first("STOP CHANNEL(UP)"), "AMQ9533E: Channel 'UP' is not currently active.");
  EXPECT_EQ(f.first("STOP CHANNEL(DOWN) STATUS(INACTIVE)"), "AMQ8019I: Stop IBM MQ channel accepted.");
  EXPECT_EQ(f.first("DIS CHS(DOWN)"), "AMQ8420I: Channel Status not found.");
  EXPECT_TRUE(has(f.first("STOP CHANNEL(UP) STATUS(GONE)"), "AMQ8405I"));

  EXPECT_EQ(f.first("PING CHANNEL(UP)"), "AMQ8020I: Ping IBM MQ channel complete.");
  EXPECT_EQ(f.first("PING CHL(DOWN)"), "AMQ9202E: Remote host '" + closed.conname() + "' not available, retry later.");
  EXPECT_EQ(f.first("RESOLVE CHANNEL(UP) ACTION(BACKOUT)"), "AMQ8025I: IBM MQ channel resolved.");
  EXPECT_TRUE(has(f.first("RESOLVE CHANNEL(UP)"), "AMQ8405I")) << "ACTION is required";
  EXPECT_TRUE(has(f.first("RESET CHANNEL(UP) SEQNUM(0)"), "AMQ8405I"));
  EXPECT_TRUE(has(f.first("PING CHANNEL(UP) DATALEN(5)"), "AMQ8405I"));
  EXPECT_EQ(f.first("PING CHANNEL(NOPE)"), "AMQ8147E: IBM MQ object NOPE not found.");
  f.first("DEF CHL(APP.SVRCONN) CHLTYPE(SVRCONN)");
  EXPECT_EQ(f.first("RESET CHANNEL(APP.SVRCONN)"), "AMQ9502E: Type of channel not suitable for action requested.");
  EXPECT_EQ(f.first("PING CHANNEL(APP.SVRCONN)"), "AMQ9502E: Type of channel not suitable for action requested.");
}

TEST(ChannelLife, ChannelsThatWaitForTheirPartnerAreOnlyEnabled) {
  Fixture f;
  f.first("DEF CHL(APP.SVRCONN) CHLTYPE(SVRCONN)");
  f.first("DEF CHL(IN.RCVR) CHLTYPE(RCVR)");
  f.first("DEF CHL(APP.CLNT) CHLTYPE(CLNTCONN) CONNAME('h(1)') QMNAME(QM1)");
  EXPECT_EQ(f.first("START CHANNEL(APP.SVRCONN)"), "AMQ8018I: Start IBM MQ channel accepted.");
  EXPECT_EQ(f.first("DIS CHS(APP.SVRCONN)"), "AMQ8420I: Channel Status not found.")
      << "no instance runs until a client comes";
  EXPECT_EQ(f.first("START CHANNEL(IN.RCVR)"), "AMQ8018I: Start IBM MQ channel accepted.");
  EXPECT_EQ(f.first("START CHANNEL(APP.CLNT)"), "AMQ9502E: Type of channel not suitable for action requested.");
}

TEST(ChannelLife, ListenersAndServicesStartOnceAndStopOnce) {
  Fixture f;
  f.first("DEF LISTENER(L1) TRPTYPE(TCP) PORT(1415) CONTROL(QMGR)");
  EXPECT_EQ(f.first("STOP LISTENER(L1)"), "AMQ8731W: Listener not active.");
  EXPECT_EQ(f.first("START LISTENER(L1)"), "AMQ8021I: Request to start IBM MQ listener accepted.");
  std::string st = f.first("DIS LSSTATUS(L1)");
  EXPECT_TRUE(has(st, "AMQ8631I: Display listener status details.") && has(st, "STATUS(RUNNING)") &&
              has(st, "CONTROL(QMGR)"));
  // Starting it again is refused with a warning and a failing completion, as stopping a
  // stopped one is; the running listener is left as it was.
  auto again = f.send(Fixture::escapeRequest("START LISTENER(L1)"));
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].text(), "AMQ8730W: Listener already active.");
  EXPECT_EQ(again[0].header.CompCode, MQCC_FAILED);
  EXPECT_EQ(again[0].header.Reason, MQRCCF_COMMAND_FAILED);
  EXPECT_TRUE(has(f.first("DIS LSSTATUS(L1)"), "STATUS(RUNNING)"));
  auto stopped = f.send(Fixture::escapeRequest("STOP LISTENER(L1)"));
  ASSERT_EQ(stopped.size(), 1u);
  EXPECT_EQ(stopped[0].header.CompCode, MQCC_OK);
  auto notActive = f.send(Fixture::escapeRequest("STOP LISTENER(L1)"));
  ASSERT_EQ(notActive.size(), 1u);
  EXPECT_EQ(notActive[0].text(), "AMQ8731W: Listener not active.");
  EXPECT_EQ(notActive[0].header.CompCode, MQCC_FAILED);
  EXPECT_EQ(f.first("START LISTENER(L1)"), "AMQ8021I: Request to start IBM MQ listener accepted.");
  EXPECT_EQ(f.first("STOP LISTENER(L1)"), "AMQ8706I: Request to stop IBM MQ listener accepted.");
  EXPECT_EQ(f.first("DIS LSSTATUS(*)"), "AMQ8147E: IBM MQ object * not found.");
  f.first("DEF SERVICE(S1) SERVTYPE(SERVER) STARTCMD('/bin/true')");
  EXPECT_EQ(f.first("START SERVICE(S1)"), "AMQ8733I: Request to start Service accepted.");
  EXPECT_TRUE(has(f.first("DIS SVSTATUS(S*)"), "SERVICE(S1)"));
  EXPECT_EQ(f.first("STOP SERVICE(S1)"), "AMQ8735I: Request to stop Service accepted.");
  EXPECT_EQ(f.first("STOP SERVICE(S1)"), "AMQ8736E: Service 'S1' is not running.");
}

TEST(ChannelLife, SuspendAndResumeWithoutClusters) {
  Fixture f;
  EXPECT_EQ(f.first("SUSPEND QMGR CLUSTER(CL1)"), "AMQ8559I: Suspend Queue Manager Cluster command accepted.");
  EXPECT_EQ(f.first("SUSPEND QMGR CLUSTER(CL1) MODE(FORCE)"),
            "AMQ8559I: Suspend Queue Manager Cluster command accepted.");
  EXPECT_EQ(f.first("RESUME QMGR CLUSTER(CL1)"), "AMQ8558I: Resume Queue Manager Cluster command accepted.");
  EXPECT_EQ(f.first("RESUME QMGR CLUSNL(NO.LIST)"), "AMQ8147E: IBM MQ object NO.LIST not found.");
  EXPECT_TRUE(has(f.first("SUSPEND QMGR"), "AMQ8405I")) << "a cluster or namelist is required";
  EXPECT_TRUE(has(f.first("RESUME QMGR CLUSTER(CL1) MODE(FORCE)"), "AMQ8405I")) << "MODE is SUSPEND's";
  EXPECT_TRUE(has(f.first("SUSPEND QMGR CLUSTER(A) CLUSNL(B)"), "AMQ8405I"));
}

}  // namespace

namespace {

TEST(ChannelLife, IgnstateMakesRepeatedStartsAndStopsQuiet) {
  Fixture f;
  f.first("DEF LISTENER(L2) TRPTYPE(TCP) PORT(1416)");
  EXPECT_EQ(f.first("STOP LISTENER(L2) IGNSTATE(YES)"), "AMQ8706I: Request to stop IBM MQ listener accepted.");
  EXPECT_EQ(f.first("DIS LSSTATUS(L2)"), "AMQ8147E: IBM MQ object L2 not found.");
  EXPECT_EQ(f.first("START LISTENER(L2) IGNSTATE(YES)"), "AMQ8021I: Request to start IBM MQ listener accepted.");
  EXPECT_EQ(f.first("START LISTENER(L2) IGNSTATE(YES)"), "AMQ8021I: Request to start IBM MQ listener accepted.");
  EXPECT_TRUE(has(f.first("DIS LSSTATUS(L2)"), "STATUS(RUNNING)"));
  EXPECT_TRUE(has(f.first("START LISTENER(L2) IGNSTATE(MAYBE)"), "AMQ8405I"));
  EXPECT_EQ(f.first("STOP LISTENER(NOPE) IGNSTATE(YES)"), "AMQ8147E: IBM MQ object NOPE not found.");
}

}  // namespace
