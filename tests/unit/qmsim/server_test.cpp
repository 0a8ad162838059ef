// The qmsim program and its server: argument errors, a dropped server while a client
// waits, a stopped queue manager, channel and password checks, and server bindings
// of another process reaching a running server's state.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <thread>
#include <vector>

#include "qmsim_test_support.h"

using namespace qmsim_test;
using kvarn::mqi::setField;

namespace {

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_ = &MqApi::load(buildPath("lib/kvarn/libmqic_r.so").c_str());
    server_ = &MqApi::load(buildPath("lib/kvarn/libmqm_r.so").c_str());
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

// A queue opened with MQOO_READ_AHEAD over a connection to the server: a plain get
// brings the waiting non-persistent messages along (they leave the queue), later gets
// are answered from them in order, a get by CorrelId finds its message among them, a
// persistent message is never sent ahead, a too-small buffer gets 2080 and the message
// waits for a larger one, and closing the queue discards what came ahead unread.
TEST_F(ServerTest, ReadAheadHandsOutWaitingMessagesInOrder) {
  ASSERT_EQ(runQmsim({"create", "QMS"}).exitCode, 0);
  ServerProcess server({"QMS"});
  MQHCONN h;
  ASSERT_EQ(clientConnect(server.port(), h), MQRC_NONE);
  MqApi& api = *client_;
  MQLONG cc, rc;
  auto openQueue = [&](MQLONG options) {
    MQOD od = kvarn::mqi::defaultOD();
    setField(od.ObjectName, "SYSTEM.DEFAULT.LOCAL.QUEUE");
    MQHOBJ hobj = MQHO_UNUSABLE_HOBJ;
    api.MQOPEN(h, &od, options, &hobj, &cc, &rc);
    EXPECT_EQ(rc, MQRC_NONE);
    return hobj;
  };
  MQHOBJ out = openQueue(MQOO_OUTPUT), inq = openQueue(MQOO_INQUIRE);
  MQHOBJ in = openQueue(MQOO_INPUT_EXCLUSIVE | MQOO_READ_AHEAD);
  std::vector<std::string> correlIds;
  auto put = [&](const std::string& text, MQLONG persistence) {
    MQMD md = kvarn::mqi::defaultMD();
    md.Persistence = persistence;
    std::string id = "CORREL-" + text.substr(0, 8);
    std::memcpy(md.CorrelId, id.data(), std::min<size_t>(id.size(), 24));
    correlIds.push_back(std::string(reinterpret_cast<char*>(md.CorrelId), 24));
    MQPMO pmo = kvarn::mqi::defaultPMO();
    pmo.Options = MQPMO_NO_SYNCPOINT;
    api.MQPUT(h, out, &md, &pmo, static_cast<MQLONG>(text.size()), const_cast<char*>(text.data()), &cc, &rc);
    ASSERT_EQ(rc, MQRC_NONE);
  };
  auto depth = [&] {
    MQLONG selector = MQIA_CURRENT_Q_DEPTH, value = -1;
    api.MQINQ(h, inq, 1, &selector, 1, &value, 0, nullptr, &cc, &rc);
    return value;
  };
  std::vector<char> buf(20000);
  auto get = [&](MQLONG bufferLength = 100, const std::string* correlId = nullptr) {
    MQMD md = kvarn::mqi::defaultMD();
    MQGMO gmo = kvarn::mqi::defaultGMO();
    gmo.Options = MQGMO_NO_SYNCPOINT;
    if (correlId) {
      gmo.Version = MQGMO_VERSION_2;
      gmo.MatchOptions = MQMO_MATCH_CORREL_ID;
      std::memcpy(md.CorrelId, correlId->data(), 24);
    }
    MQLONG len = 0;
    api.MQGET(h, in, &md, &gmo, bufferLength, buf.data(), &len, &cc, &rc);
    if (rc != MQRC_NONE) return "RC " + std::to_string(rc) + " len " + std::to_string(len);
    return std::string(buf.data(), static_cast<size_t>(len));
  };

  for (const char* m : {"m0", "m1", "m2", "m3"}) put(m, MQPER_NOT_PERSISTENT);
  put("p4", MQPER_PERSISTENT);
  for (const char* m : {"m5", "m6"}) put(m, MQPER_NOT_PERSISTENT);
  put(std::string(10000, 'L'), MQPER_NOT_PERSISTENT);
  EXPECT_EQ(get(), "m0");
  EXPECT_EQ(depth(), 4) << "m1 to m3 came ahead; the persistent p4 stopped them";
  EXPECT_EQ(get(100, &correlIds[2]), "m2");
  EXPECT_EQ(get(), "m1");
  EXPECT_EQ(get(), "m3");
  EXPECT_EQ(get(), "p4");
  EXPECT_EQ(depth(), 0);
  EXPECT_EQ(get(), "m5");
  EXPECT_EQ(get(), "m6");
  EXPECT_EQ(get(), "RC 2080 len 10000");
  EXPECT_EQ(get(20000), std::string(10000, 'L'));
  EXPECT_EQ(get(), "RC 2033 len 0");

  put("n1", MQPER_NOT_PERSISTENT);
  put("n2", MQPER_NOT_PERSISTENT);
  EXPECT_EQ(get(), "n1");
  api.MQCLOSE(h, &in, MQCO_NONE, &cc, &rc);
  in = openQueue(MQOO_INPUT_EXCLUSIVE);
  EXPECT_EQ(get(), "RC 2033 len 0") << "n2 came ahead and went with the close";
  api.MQDISC(&h, &cc, &rc);
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

namespace {

MQLONG connectWithCno(MqApi& api, MQCNO& cno, const char* qmgr, MQHCONN& h) {
  char name[48];
  setField(name, qmgr);
  MQLONG cc, rc;
  api.MQCONNX(name, &cno, &h, &cc, &rc);
  return rc;
}

TEST_F(ServerTest, ClientFindsItsChannelInMqserverOrAJsonChannelTable) {
  ASSERT_EQ(runQmsim({"create", "QMS"}).exitCode, 0);
  ServerProcess server({"QMS"});
  std::string port = std::to_string(server.port());
  MQHCONN h;
  MQLONG cc, rc;
  MQCNO plain = kvarn::mqi::defaultCNO();
  EXPECT_EQ(connectWithCno(*client_, plain, "QMS", h), MQRC_Q_MGR_NAME_ERROR) << "no channel anywhere";

  ::setenv("MQSERVER", ("SYSTEM.DEF.SVRCONN/TCP/127.0.0.1(" + port + ")").c_str(), 1);
  EXPECT_EQ(connectWithCno(*client_, plain, "QMS", h), MQRC_NONE);
  client_->MQDISC(&h, &cc, &rc);
  ::unsetenv("MQSERVER");

  auto table = home_.path() / "ccdt.json";
  std::ofstream(table) << R"({"channel":[{"name":"OTHER.SVRCONN","type":"clientConnection",
      "clientConnection":{"connection":[{"host":"127.0.0.1","port":1}],"queueManager":"ELSEWHERE"}},
    {"name":"SYSTEM.ADMIN.SVRCONN","type":"clientConnection",
      "clientConnection":{"connection":[{"host":"127.0.0.1","port":)"
                       << port << R"(}],"queueManager":"QMS"}}]})";
  std::string url = "file://" + table.string();
  MQCNO cno = kvarn::mqi::defaultCNO();
  cno.Version = MQCNO_VERSION_6;
  cno.CCDTUrlPtr = url.data();
  cno.CCDTUrlLength = static_cast<MQLONG>(url.size());
  EXPECT_EQ(connectWithCno(*client_, cno, "QMS", h), MQRC_NONE);
  client_->MQDISC(&h, &cc, &rc);
  EXPECT_EQ(connectWithCno(*client_, cno, "NOT.IN.TABLE", h), MQRC_Q_MGR_NAME_ERROR);

  ::setenv("MQCHLLIB", home_.path().c_str(), 1);
  ::setenv("MQCHLTAB", "ccdt.json", 1);
  EXPECT_EQ(connectWithCno(*client_, plain, "QMS", h), MQRC_NONE);
  client_->MQDISC(&h, &cc, &rc);
  std::ofstream(table, std::ios::trunc) << R"({"channel":[{"name":)";
  EXPECT_EQ(connectWithCno(*client_, plain, "QMS", h), MQRC_CHANNEL_CONFIG_ERROR);
  ::unsetenv("MQCHLLIB");
  ::unsetenv("MQCHLTAB");
}

TEST_F(ServerTest, GarbageOnTheWireDropsOnlyThatConnection) {
  ASSERT_EQ(runQmsim({"create", "QMS"}).exitCode, 0);
  ServerProcess server({"QMS"});
  MQHCONN good;
  ASSERT_EQ(clientConnect(server.port(), good), MQRC_NONE);
  // Frames that lie about their length, name no operation, or skip the connect.
  std::vector<std::string> attacks = {
      std::string("\xff\xff\xff\x7f\x01\x00\x00\x00", 8),
      std::string("\x08\x00\x00\x00\x63\x00\x00\x00garbage!", 16),
      std::string("\x04\x00\x00\x00\x05\x00\x00\x00", 8),
      std::string("\x0c\x00\x00\x00\x01\x00\x00\x00\xff\xff\xff\xff", 12),
      "GET / HTTP/1.0\r\n\r\n",
  };
  for (const auto& bytes : attacks) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(server.port()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::shutdown(fd, SHUT_WR);
    char buf[64];
    while (::read(fd, buf, sizeof buf) > 0) {}
    ::close(fd);
  }
  MQLONG cc, rc;
  client_->MQCMIT(good, &cc, &rc);
  EXPECT_EQ(rc, MQRC_NONE) << "the well-behaved client is unaffected";
  client_->MQDISC(&good, &cc, &rc);
  EXPECT_EQ(rc, MQRC_NONE);
}

// A listener on a loopback port that is no queue manager: it accepts and then stays
// silent, or answers the way a web server does, for as long as the test runs.
class FakePeer {
 public:
  explicit FakePeer(std::string answer) : answer_(std::move(answer)) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
      throw std::runtime_error("cannot listen on loopback");
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] {
      for (;;) {
        int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0) return;
        if (!answer_.empty()) (void)!::write(c, answer_.data(), answer_.size());
        accepted_.push_back(c);  // held open, never read: the client must give up by itself
      }
    });
  }
  ~FakePeer() {
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    thread_.join();
    for (int c : accepted_) ::close(c);
  }
  int port() const { return port_; }

 private:
  std::string answer_;
  int fd_ = -1;
  int port_ = 0;
  std::vector<int> accepted_;
  std::thread thread_;
};

TEST_F(ServerTest, PeerThatIsNoQueueManagerFailsTheConnectWithConnectionBroken) {
  ::setenv("QMSIM_HANDSHAKE_TIMEOUT", "0.5", 1);
  {
    FakePeer silent("");
    MQHCONN h = 0;
    EXPECT_EQ(clientConnect(silent.port(), h), MQRC_CONNECTION_BROKEN);
    EXPECT_EQ(h, MQHC_UNUSABLE_HCONN);
  }
  {
    FakePeer web("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
    MQHCONN h = 0;
    EXPECT_EQ(clientConnect(web.port(), h), MQRC_CONNECTION_BROKEN);
  }
  {
    // A plausible frame header and then nothing more.
    FakePeer stalled(std::string("\x40\x00\x00\x00\x00\x00\x00\x00", 8));
    MQHCONN h = 0;
    EXPECT_EQ(clientConnect(stalled.port(), h), MQRC_CONNECTION_BROKEN);
  }
  ::unsetenv("QMSIM_HANDSHAKE_TIMEOUT");
}

// A server that stops answering (SIGSTOP) breaks the connection once a reply is late
// beyond the limit: a get with a wait interval, a put and a disconnect all return.
TEST_F(ServerTest, FrozenServerBreaksTheConnectionInsteadOfHanging) {
  ASSERT_EQ(runQmsim({"create", "QMS"}).exitCode, 0);
  ServerProcess server({"QMS"});
  ::setenv("QMSIM_REPLY_TIMEOUT", "0.5", 1);
  MQHCONN getter, putter;
  ASSERT_EQ(clientConnect(server.port(), getter), MQRC_NONE);
  ASSERT_EQ(clientConnect(server.port(), putter), MQRC_NONE);
  ::unsetenv("QMSIM_REPLY_TIMEOUT");
  MQHOBJ hobj = openModel(*client_, getter);
  MQOD od = kvarn::mqi::defaultOD();
  setField(od.ObjectName, "SYSTEM.DEFAULT.LOCAL.QUEUE");
  MQHOBJ out = MQHO_UNUSABLE_HOBJ;
  MQLONG cc, rc;
  client_->MQOPEN(putter, &od, MQOO_OUTPUT, &out, &cc, &rc);
  ASSERT_EQ(rc, MQRC_NONE);

  ASSERT_EQ(::kill(server.pid(), SIGSTOP), 0);
  struct Thaw {
    pid_t pid;
    ~Thaw() { ::kill(pid, SIGCONT); }
  } thaw{server.pid()};

  MQMD md = kvarn::mqi::defaultMD();
  MQGMO gmo = kvarn::mqi::defaultGMO();
  gmo.Options = MQGMO_WAIT | MQGMO_NO_SYNCPOINT;
  gmo.WaitInterval = 200;
  char buf[16];
  MQLONG len = 0;
  client_->MQGET(getter, hobj, &md, &gmo, sizeof buf, buf, &len, &cc, &rc);
  EXPECT_EQ(rc, MQRC_CONNECTION_BROKEN);
  MQMD pmd = kvarn::mqi::defaultMD();
  MQPMO pmo = kvarn::mqi::defaultPMO();
  client_->MQPUT(putter, out, &pmd, &pmo, 5, const_cast<char*>("hello"), &cc, &rc);
  EXPECT_EQ(rc, MQRC_CONNECTION_BROKEN);
  client_->MQDISC(&getter, &cc, &rc);
  EXPECT_EQ(rc, MQRC_CONNECTION_BROKEN);
  client_->MQDISC(&putter, &cc, &rc);
  EXPECT_EQ(rc, MQRC_CONNECTION_BROKEN);
}

TEST_F(ServerTest, BackgroundServerIsListedAndStopped) {
  ASSERT_EQ(runQmsim({"create", "QMS"}).exitCode, 0);
  RunResult r = runQmsim({"start", "QMS", "--port", "0", "--background"});
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("Queue manager QMS started"), std::string::npos) << r.out;
  r = runQmsim({"list"});
  EXPECT_NE(r.out.find("running"), std::string::npos) << r.out;
  r = runQmsim({"start", "QMS", "--port", "0"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("already running"), std::string::npos) << r.out;
  EXPECT_EQ(runQmsim({"delete", "QMS"}).exitCode, 1) << "a running queue manager is not deleted";
  r = runQmsim({"stop", "QMS"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(runQmsim({"list"}).out.find("stopped"), std::string::npos);
}

}  // namespace
