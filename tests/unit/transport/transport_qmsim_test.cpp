// Connections and the command exchange against qmsim: server bindings in this
// process, and a client channel to a qmsim server started by the test. A small
// responder thread plays the command server's part for the command-level inquiry.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "../support/captured_output.h"
#include "context/context.h"
#include "context/output.h"
#include "driver/dispatch.h"
#include "driver/local_handlers.h"
#include "driver/synonyms.h"
#include "qmsim_test_support.h"
#include "transport/connection.h"
#include "transport/connection_commands.h"
#include "transport/mq_library.h"

namespace {

// Answers INQUIRE_Q_MGR on a queue of its own (so that the queue manager's real command
// server stays out of the way); everything else is left unanswered.
constexpr const char *kServedQueue = "SYSTEM.DEFAULT.LOCAL.QUEUE";
class Responder {
 public:
  Responder(MqBinding binding, const std::string &qmgr, MQCNO *cno = nullptr) {
    MqEntryTable *mq = nullptr;
    if (loadMqLibrary(binding, mq).error != 0) throw std::runtime_error("MQ library not loaded");
    mq_ = mq;
    MQCHAR48 name;
    kvarn::mqi::setField(name, qmgr);
    MQCNO local = kvarn::mqi::defaultCNO();
    MQLONG cc, rc;
    mq_->MQCONNX(name, cno ? cno : &local, &hconn_, &cc, &rc);
    if (cc == MQCC_FAILED) throw std::runtime_error("responder connect failed " + std::to_string(rc));
    MQOD od = kvarn::mqi::defaultOD();
    kvarn::mqi::setField(od.ObjectName, kServedQueue);
    mq_->MQOPEN(hconn_, &od, MQOO_INPUT_SHARED, &hobj_, &cc, &rc);
    if (cc == MQCC_FAILED) throw std::runtime_error("responder open failed " + std::to_string(rc));
    thread_ = std::thread([this] { serve(); });
  }
  ~Responder() {
    stop_ = true;
    thread_.join();
    MQLONG cc, rc;
    mq_->MQDISC(&hconn_, &cc, &rc);
  }

 private:
  void serve() {
    std::vector<char> buf(65536);
    while (!stop_) {
      MQMD md = kvarn::mqi::defaultMD();
      MQGMO gmo = kvarn::mqi::defaultGMO();
      gmo.Options = MQGMO_WAIT | MQGMO_NO_SYNCPOINT;
      gmo.WaitInterval = 100;
      MQLONG len = 0, cc, rc;
      mq_->MQGET(hconn_, hobj_, &md, &gmo, static_cast<MQLONG>(buf.size()), buf.data(), &len, &cc, &rc);
      if (cc == MQCC_FAILED) {
        if (rc != MQRC_NO_MSG_AVAILABLE) return;
        continue;
      }
      MQCFH request;
      std::memcpy(&request, buf.data(), sizeof request);
      if (request.Command != MQCMD_INQUIRE_Q_MGR) continue;
      struct {
        MQCFH h;
        MQCFIN level, platform;
      } reply{};
      reply.h = {MQCFT_XR_MSG, MQCFH_STRUC_LENGTH, 3, MQCMD_INQUIRE_Q_MGR, 1, MQCFC_LAST, 0, 0, 2};
      reply.level = {MQCFT_INTEGER, MQCFIN_STRUC_LENGTH, MQIA_COMMAND_LEVEL, 940};
      reply.platform = {MQCFT_INTEGER, MQCFIN_STRUC_LENGTH, MQIA_PLATFORM, MQPL_UNIX};
      MQMD out = kvarn::mqi::defaultMD();
      std::memcpy(out.Format, MQFMT_ADMIN, 8);
      out.MsgType = MQMT_REPLY;
      std::memcpy(out.CorrelId, md.MsgId, 24);
      MQOD od = kvarn::mqi::defaultOD();
      std::memcpy(od.ObjectName, md.ReplyToQ, 48);
      MQPMO pmo = kvarn::mqi::defaultPMO();
      pmo.Options = MQPMO_NO_SYNCPOINT;
      mq_->MQPUT1(hconn_, &od, &out, &pmo, sizeof reply, &reply, &cc, &rc);
    }
  }
  MqEntryTable *mq_ = nullptr;
  MQHCONN hconn_ = -1;
  MQHOBJ hobj_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx.mode |= kModeFile;
    ctx.startupState = 0;
    ctx.implicitConnect = false;
    ASSERT_TRUE(ctx.consoleLock.create());
    ASSERT_TRUE(ctx.displayLock.create());
    sink->attach(ctx);
    ctx.mainInput = std::make_unique<InputSource>();
    ctx.input = ctx.mainInput.get();
    ctx.settings.respwait = 1;
  }
  void TearDown() override { disconnectAllAtEnd(ctx); }

  void run(const std::string &command) { cslIssueCommand(ctx, command); }
  bool saw(const std::string &line) { return sink->text().find(line + "\n") != std::string::npos; }
  bool eventually(const std::string &line, int seconds = 10) {
    for (int i = 0; i < seconds * 10; ++i) {
      if (saw(line)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  qmsim_test::TempHome home;
  ProgramContext ctx;
  CapturedOutput captured;
  CapturedOutput *sink = &captured;
};

TEST_F(TransportTest, ServerBindingsConnectSwitchTimeOutAndDisconnect) {
  Responder responder(MqBinding::Server, "QMA");
  run("=conn qm(QMA) cmdq(SYSTEM.DEFAULT.LOCAL.QUEUE) wait(5)");
  ASSERT_TRUE(saw("Connected to 'QMA' (simulated queue manager)")) << sink->text();
  EXPECT_EQ(ctx.statusFlags & kStatusConnectFailed, 0u);
  run("=conn qm(QMA) cmdq(SYSTEM.DEFAULT.LOCAL.QUEUE) wait(5)");
  EXPECT_TRUE(saw("Already using connection to 'QMA'")) << sink->text();

  // Nobody answers MQSC: the command times out, counts as failed, and the next
  // command can still be handed over.
  run("DISPLAY QMGR");
  EXPECT_TRUE(saw("Timed out waiting for response")) << sink->text();
  EXPECT_EQ(ctx.failed, 1u);
  run("DISPLAY QLOCAL(X)");
  EXPECT_EQ(ctx.failed, 2u);
  EXPECT_FALSE(saw("Previous command has not completed yet")) << sink->text();

  run("=disc");
  EXPECT_TRUE(saw("Disconnected from 'QMA'")) << sink->text();
  run("DISPLAY QMGR");
  EXPECT_TRUE(saw("Not currently connected.")) << sink->text();
  EXPECT_EQ(ctx.failed, 3u);
}

TEST_F(TransportTest, ViaAddressesTheTargetAndConnectionsSwitch) {
  // Each test uses queue managers of its own: this process keeps hosting the others.
  Responder a(MqBinding::Server, "QMV");
  Responder b(MqBinding::Server, "QMW");
  // The command queue is opened on QMV for QMX, which QMV has no route to.
  run("=conn qm(QMX) via(QMV) cmdq(SYSTEM.DEFAULT.LOCAL.QUEUE) wait(5)");
  EXPECT_TRUE(saw("Error opening command queue 'QMX/SYSTEM.DEFAULT.LOCAL.QUEUE' on 'QMV' RC(2087) "
                  "Unknown Remote Queue Manager"))
      << sink->text();
  EXPECT_NE(ctx.statusFlags & kStatusConnectFailed, 0u);
  run("=conn qm(QMV) cmdq(SYSTEM.DEFAULT.LOCAL.QUEUE) wait(5)");
  EXPECT_TRUE(saw("Connected to 'QMV' (simulated queue manager)")) << sink->text();
  run("=conn qm(QMW) cmdq(SYSTEM.DEFAULT.LOCAL.QUEUE) wait(5)");
  EXPECT_TRUE(saw("Connected to 'QMW' (simulated queue manager)")) << sink->text();
  run("=conn qm(QMV) cmdq(SYSTEM.DEFAULT.LOCAL.QUEUE) wait(5)");
  EXPECT_TRUE(saw("Switching to 'QMV'")) << sink->text();
  EXPECT_EQ(transportOf(ctx).current->connectedQmgr, "QMV");
}

TEST_F(TransportTest, NoCommandServerFailsTheConnect) {
  run("=conn qm(QMC) cmdq(SYSTEM.DEFAULT.LOCAL.QUEUE) wait(1)");
  EXPECT_TRUE(saw("Can not query Queue Manager 'QMC' command level")) << sink->text();
  EXPECT_NE(ctx.statusFlags & kStatusConnectFailed, 0u);
  run("DISPLAY QMGR");
  EXPECT_TRUE(saw("Not currently connected.")) << sink->text();
}

TEST_F(TransportTest, ClientChannelAndAKilledServer) {
  ASSERT_EQ(qmsim_test::runQmsim({"create", "QMS"}).exitCode, 0);
  qmsim_test::ServerProcess server({"QMS"});
  std::string conname = "127.0.0.1(" + std::to_string(server.port()) + ")";
  MQCD cd = Connection::defaultChannelDef();
  kvarn::mqi::setField(cd.ConnectionName, conname);
  MQCNO cno = kvarn::mqi::defaultCNO();
  cno.Version = MQCNO_VERSION_2;
  cno.ClientConnPtr = &cd;
  {
    Responder responder(MqBinding::Client, "QMS", &cno);
    run("=conn qm(QMS) client cmdq(SYSTEM.DEFAULT.LOCAL.QUEUE) conname(" + conname + ") wait(5)");
    ASSERT_TRUE(saw("Connected to 'QMS' (simulated queue manager)")) << sink->text();
  }
  server.kill9();
  EXPECT_TRUE(eventually("Connection to Queue Manager has been broken")) << sink->text();
  for (int i = 0; i < 50 && transportOf(ctx).current->connected(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  run("DISPLAY QMGR");
  EXPECT_TRUE(saw("Not currently connected.")) << sink->text();
}

TEST_F(TransportTest, MissingLibraryIsReported) {
  // Nothing to load under a directory without the library, and the fallback is the
  // program's own: a client connect to an unknown host fails cleanly instead.
  run("=conn client conname(127.0.0.1(1)) wait(1)");
  EXPECT_TRUE(sink->text().find("Connect to '' failed. RC(") != std::string::npos) << sink->text();
  EXPECT_NE(ctx.statusFlags & kStatusConnectFailed, 0u);
}

}  // namespace
