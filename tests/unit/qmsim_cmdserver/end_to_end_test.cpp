// The command server as KVARN meets it: requests put to SYSTEM.ADMIN.COMMAND.QUEUE
// through the MQI libraries, replies read from a dynamic reply queue by CorrelId; the
// command server stopped and started through the qmsim program; a z/OS queue-sharing
// group answering CMDSCOPE(*).
#include <gtest/gtest.h>

#include <thread>

#include "cmdserver_test_support.h"
#include "qmsim_test_support.h"

using namespace qmsim_test;
using kvarn::mqi::setField;

namespace {

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = &MqApi::load(buildPath("lib/kvarn/libmqm_r.so").c_str());
    client_ = &MqApi::load(buildPath("lib/kvarn/libmqic_r.so").c_str());
  }

  struct Session {
    MqApi* api;
    MQHCONN hconn = MQHC_UNUSABLE_HCONN;
    MQHOBJ reply = MQHO_UNUSABLE_HOBJ;
    MQHOBJ command = MQHO_UNUSABLE_HOBJ;
    char replyName[48];
  };

  // Server bindings hosting E2E in this process, with the queues opened.
  void connectInProcess(Session& s) {
    char name[48];
    setField(name, "E2E");
    MQLONG cc, rc;
    s.api->MQCONN(name, &s.hconn, &cc, &rc);
    ASSERT_EQ(rc, MQRC_NONE);
    open(s);
  }

  void open(Session& s, const char* replyModel = "SYSTEM.DEFAULT.MODEL.QUEUE") {
    MQLONG cc, rc;
    MQOD od = kvarn::mqi::defaultOD();
    setField(od.ObjectName, replyModel);
    setField(od.DynamicQName, "KVARN.TEST.*");
    s.api->MQOPEN(s.hconn, &od, MQOO_INPUT_EXCLUSIVE, &s.reply, &cc, &rc);
    ASSERT_EQ(rc, MQRC_NONE);
    std::memcpy(s.replyName, od.ObjectName, 48);
    MQOD cmd = kvarn::mqi::defaultOD();
    setField(cmd.ObjectName, "SYSTEM.ADMIN.COMMAND.QUEUE");
    s.api->MQOPEN(s.hconn, &cmd, MQOO_OUTPUT, &s.command, &cc, &rc);
    ASSERT_EQ(rc, MQRC_NONE);
  }

  // Puts an escape request and returns its MsgId.
  std::string put(Session& s, const std::string& text) {
    std::string body = cmdserver_test::Fixture::escapeRequest(text);
    MQMD md = kvarn::mqi::defaultMD();
    md.MsgType = MQMT_REQUEST;
    std::memcpy(md.Format, MQFMT_ADMIN, 8);
    std::memcpy(md.ReplyToQ, s.replyName, 48);
    MQPMO pmo = kvarn::mqi::defaultPMO();
    pmo.Options = MQPMO_NO_SYNCPOINT | MQPMO_NEW_MSG_ID;
    MQLONG cc, rc;
    s.api->MQPUT(s.hconn, s.command, &md, &pmo, static_cast<MQLONG>(body.size()), body.data(), &cc, &rc);
    EXPECT_EQ(rc, MQRC_NONE);
    return std::string(reinterpret_cast<char*>(md.MsgId), 24);
  }

  // Gets the replies to msgId until the one with MQCFC_LAST; empty on a time-out.
  std::vector<std::string> replies(Session& s, const std::string& msgId, MQLONG waitMs) {
    std::vector<std::string> texts;
    for (;;) {
      MQMD md = kvarn::mqi::defaultMD();
      std::memcpy(md.CorrelId, msgId.data(), 24);
      MQGMO gmo = kvarn::mqi::defaultGMO();
      gmo.Options = MQGMO_WAIT | MQGMO_NO_SYNCPOINT;
      gmo.WaitInterval = waitMs;
      std::string buffer(1 << 16, '\0');
      MQLONG length = 0, cc, rc;
      s.api->MQGET(s.hconn, s.reply, &md, &gmo, static_cast<MQLONG>(buffer.size()), buffer.data(), &length, &cc, &rc);
      if (rc != MQRC_NONE) return texts;
      buffer.resize(static_cast<size_t>(length));
      qmsim::cmdserver::Reply r{md, buffer};
      auto a = cmdserver_test::readReply(r);
      texts.push_back(a.text());
      if (a.header.Control & MQCFC_LAST) return texts;
    }
  }

  MqApi* server_ = nullptr;
  MqApi* client_ = nullptr;
};

TEST_F(EndToEnd, ServerBindingsInProcess) {
  TempHome home;
  Session s{server_};
  ASSERT_NO_FATAL_FAILURE(connectInProcess(s));
  MQLONG cc, rc;
  auto r = replies(s, put(s, "DEFINE QLOCAL(E2E.Q) MAXDEPTH(9)"), 10000);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0], "AMQ8006I: IBM MQ queue created.");
  r = replies(s, put(s, "DIS QL(E2E.Q) MAXDEPTH"), 10000);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_NE(r[0].find("MAXDEPTH(9)"), std::string::npos);
  // The command server holds the command queue open for input.
  r = replies(s, put(s, "DIS QS(SYSTEM.ADMIN.COMMAND.QUEUE)"), 10000);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_NE(r[0].find("IPPROCS(1)"), std::string::npos);
  server_->MQDISC(&s.hconn, &cc, &rc);
}

// Replies that find the reply queue full wait for its reader instead of being lost.
TEST_F(EndToEnd, AFullReplyQueueIsWaitedOnNotDropped) {
  TempHome home;
  Session s{server_};
  ASSERT_NO_FATAL_FAILURE(connectInProcess(s));
  MQLONG cc, rc;
  auto all = replies(s, put(s, "DIS QL(SYSTEM.*)"), 10000);
  ASSERT_GT(all.size(), 6u);
  ASSERT_EQ(replies(s, put(s, "DEFINE QMODEL(TINY.MODEL) DEFTYPE(TEMPDYN) MAXDEPTH(3)"), 10000).size(), 1u);
  Session tiny{server_, s.hconn};
  open(tiny, "TINY.MODEL");
  std::string msgId = put(tiny, "DIS QL(SYSTEM.*)");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // nobody reads: the queue fills up
  EXPECT_EQ(replies(tiny, msgId, 10000), all);
  server_->MQDISC(&s.hconn, &cc, &rc);
}

TEST_F(EndToEnd, CommandServerStopAndStartThroughTheProgram) {
  TempHome home;
  ASSERT_EQ(runQmsim({"create", "QMS"}).exitCode, 0);
  ServerProcess server({"QMS"});
  Session s{client_};
  MQCNO cno = kvarn::mqi::defaultCNO();
  MQCD cd = kvarn::mqi::defaultClientConnCD();
  setField(cd.ChannelName, "SYSTEM.DEF.SVRCONN");
  setField(cd.ConnectionName, "localhost(" + std::to_string(server.port()) + ")");
  cno.Version = MQCNO_VERSION_5;
  cno.ClientConnPtr = &cd;
  char name[48];
  setField(name, "QMS");
  MQLONG cc, rc;
  client_->MQCONNX(name, &cno, &s.hconn, &cc, &rc);
  ASSERT_EQ(rc, MQRC_NONE);
  open(s);
  EXPECT_EQ(replies(s, put(s, "PING QMGR"), 10000).size(), 1u);

  auto stopped = runQmsim({"cmdserver", "stop", "QMS"});
  EXPECT_EQ(stopped.exitCode, 0) << stopped.out;
  EXPECT_NE(runQmsim({"cmdserver", "status", "QMS"}).out.find("stopped"), std::string::npos);
  std::string id = put(s, "DIS QMGR");
  EXPECT_TRUE(replies(s, id, 700).empty()) << "a stopped command server answers nothing";
  EXPECT_EQ(runQmsim({"cmdserver", "start", "QMS"}).exitCode, 0);
  auto late = replies(s, id, 10000);
  ASSERT_EQ(late.size(), 1u) << "the waiting request is answered once the server is back";
  EXPECT_NE(late[0].find("QMNAME(QMS)"), std::string::npos);
  client_->MQDISC(&s.hconn, &cc, &rc);

  EXPECT_NE(runQmsim({"cmdserver", "stop", "NOPE"}).exitCode, 0);
  EXPECT_EQ(runQmsim({"cmdserver", "pause", "QMS"}).exitCode, 2);
  EXPECT_EQ(server.stop(), 0);
}

TEST_F(EndToEnd, CreateOptionsAreChecked) {
  TempHome home;
  EXPECT_EQ(runQmsim({"create", "W1", "--platform", "windows", "--cmdlevel", "913"}).exitCode, 0);
  EXPECT_EQ(runQmsim({"create", "X1", "--platform", "vms"}).exitCode, 2);
  EXPECT_EQ(runQmsim({"create", "X2", "--cmdlevel", "9999"}).exitCode, 2);
  EXPECT_EQ(runQmsim({"create", "X3", "--qsg", "G1"}).exitCode, 2) << "a sharing group needs z/OS";
  EXPECT_NE(runQmsim({"create", "TOOLONG", "--platform", "zos"}).exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(home.path() / "X1")) << "nothing created on a refused option";
}

TEST(QueueSharingGroup, CmdscopeStarGivesOneGroupPerQueueManager) {
  TempHome home;
  ASSERT_EQ(runQmsim({"create", "MQ1", "MQ2", "--platform", "zos", "--qsg", "QSG1"}).exitCode, 0);
  qmsim::Registry& reg = qmsim::Registry::process();
  std::string error;
  auto mq1 = reg.host(home.path(), "MQ1", false, error);
  auto mq2 = reg.host(home.path(), "MQ2", false, error);
  ASSERT_TRUE(mq1 && mq2) << error;
  qmsim::cmdserver::RuntimeState state;
  MQMD md = kvarn::mqi::defaultMD();
  std::memcpy(md.Format, MQFMT_STRING, 8);
  std::vector<std::string> lines;
  for (const auto& r :
       qmsim::cmdserver::handleRequest(*mq1, state, md, "DIS QL(SYSTEM.ADMIN.COMMAND.QUEUE) CMDSCOPE(*)", false))
    lines.push_back(r.data);
  ASSERT_GE(lines.size(), 9u);
  EXPECT_EQ(lines[1].substr(0, 8), "CSQN137I");
  EXPECT_NE(lines[1].find("sent to 2"), std::string::npos);
  EXPECT_EQ(lines[2], "CSQN121I ]MQ1 'DISPLAY QLOCAL' command responses from MQ1");
  EXPECT_EQ(lines[3].substr(0, 13), "CSQM401I ]MQ1");
  EXPECT_EQ(lines[4].substr(0, 8), "CSQ9022I");
  EXPECT_EQ(lines[5], "CSQN121I ]MQ1 'DISPLAY QLOCAL' command responses from MQ2");
  EXPECT_EQ(lines[6].substr(0, 13), "CSQM401I ]MQ2");
  EXPECT_EQ(lines.back().substr(0, 8), "CSQN122I");
  reg.release("MQ1");
  reg.release("MQ2");
}

}  // namespace
