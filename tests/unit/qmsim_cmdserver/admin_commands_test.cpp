// The queue manager's run-time commands through MQSC: the channel initiator,
// stopping a connection, REFRESH and RESET QMGR, clusters, application and authority
// service status, and the answers for what a plain installation cannot do.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "cmdserver_test_support.h"

using namespace cmdserver_test;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string hexId(ConnId id) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(id));
  return buf;
}

MQLONG putMessage(QueueManager& qm, ConnId conn, const std::string& queue, MQLONG expiry) {
  MQOD od = kvarn::mqi::defaultOD();
  kvarn::mqi::setField(od.ObjectName, queue);
  MQHOBJ h = MQHO_NONE;
  Outcome o = qm.open(conn, od, MQOO_OUTPUT, h);
  if (!o.ok()) return o.reason;
  MQMD md = kvarn::mqi::defaultMD();
  md.Expiry = expiry;
  MQPMO pmo = kvarn::mqi::defaultPMO();
  o = qm.put(conn, h, md, pmo, "x");
  qm.close(conn, h, MQCO_NONE);
  return o.reason;
}

TEST(AdminCommands, ChannelInitiatorAndConnections) {
  Fixture f;
  EXPECT_EQ(f.first("START CHINIT"), "AMQ8024I: IBM MQ channel initiator started.");
  EXPECT_EQ(f.first("START CHINIT INITQ(NO.SUCH.Q)"), "AMQ8147E: IBM MQ object NO.SUCH.Q not found.");
  EXPECT_TRUE(has(f.first("START CHINIT INITQ(A,B)"), "AMQ8405I"));

  f.first("DEFINE QLOCAL(APP.Q)");
  ConnId app = 0, other = 0;
  ASSERT_TRUE(f.qm->connect({"payroll", "alice", "", ""}, app).ok());
  ASSERT_TRUE(f.qm->connect({"payroll", "bob", "", ""}, other).ok());
  std::string st = f.first("DISPLAY APSTATUS('pay*')");
  EXPECT_EQ(st.rfind("AMQ8932I: Display application status details.", 0), 0u) << st;
  EXPECT_TRUE(has(st, "APPLNAME(payroll)") && has(st, "COUNT(2)") && has(st, "BALANCED(NOTAPPLIC)")) << st;
  EXPECT_EQ(f.first("DISPLAY APSTATUS('nothing')"), "AMQ8147E: IBM MQ object nothing not found.");

  EXPECT_EQ(f.first("STOP CONN(" + hexId(app) + ")"), "AMQ8458I: Stop connection command accepted.");
  EXPECT_EQ(putMessage(*f.qm, app, "APP.Q", MQEI_UNLIMITED), MQRC_HCONN_ERROR) << "the stopped connection is gone";
  EXPECT_EQ(putMessage(*f.qm, other, "APP.Q", MQEI_UNLIMITED), MQRC_NONE) << "others go on";
  EXPECT_EQ(f.first("STOP CONN(" + hexId(app) + ")"), "AMQ8101S: IBM MQ error (C66) has occurred.")
      << "MQRCCF_CONNECTION_ID_ERROR";
  f.qm->disconnect(other);
}

TEST(AdminCommands, RefreshAndResetTheQueueManager) {
  Fixture f;
  f.first("DEFINE QLOCAL(EXP.Q)");
  ConnId conn = 0;
  ASSERT_TRUE(f.qm->connect({"t", "mqm", "", ""}, conn).ok());
  ASSERT_EQ(putMessage(*f.qm, conn, "EXP.Q", 1), MQRC_NONE);
  ASSERT_EQ(putMessage(*f.qm, conn, "EXP.Q", MQEI_UNLIMITED), MQRC_NONE);
  f.qm->disconnect(conn);
  std::this_thread::sleep_for(std::chrono::milliseconds(250));  // the first message's 0.1 s pass
  EXPECT_TRUE(has(f.first("DIS QLOCAL(EXP.Q) CURDEPTH"), "CURDEPTH(2)")) << "expired messages wait for a get";
  EXPECT_EQ(f.first("REFRESH QMGR TYPE(EXPIRY) NAME(EXP.*)"), "AMQ8574I: Refresh Queue Manager command accepted.");
  EXPECT_TRUE(has(f.first("DIS QLOCAL(EXP.Q) CURDEPTH"), "CURDEPTH(1)"));

  EXPECT_EQ(f.first("REFRESH QMGR TYPE(CONFIGEV)"), "AMQ8101S: IBM MQ error (C98) has occurred.")
      << "MQRCCF_EVENTS_DISABLED while CONFIGEV is off";
  f.first("ALTER QMGR CONFIGEV(ENABLED)");
  EXPECT_EQ(f.first("REFRESH QMGR TYPE(CONFIGEV) OBJECT(QUEUE)"), "AMQ8574I: Refresh Queue Manager command accepted.");
  EXPECT_TRUE(has(f.first("REFRESH QMGR"), "AMQ8405I")) << "TYPE is required";
  EXPECT_TRUE(has(f.first("REFRESH QMGR TYPE(EVERYTHING)"), "AMQ8405I"));

  EXPECT_EQ(f.first("RESET QMGR TYPE(STATISTICS)"), "AMQ8575I: Reset Queue Manager command accepted.");
  EXPECT_EQ(f.first("RESET QMGR TYPE(ADVANCELOG)"), "AMQ8101S: IBM MQ error (C67) has occurred.")
      << "MQRCCF_LOG_TYPE_ERROR: the log is circular";
  EXPECT_EQ(f.first("SET LOG ARCHIVED('S0000001.LOG')"), "AMQ8101S: IBM MQ error (C67) has occurred.");
  EXPECT_TRUE(has(f.first("RESET QMGR TYPE(PUBSUB)"), "AMQ8405I")) << "PUBSUB names a CHILD or PARENT";
}

TEST(AdminCommands, ClustersAndTheAuthorityService) {
  Fixture f;
  EXPECT_EQ(f.first("REFRESH CLUSTER(*) REPOS(YES)"), "AMQ8557I: Refresh Cluster command accepted.");
  EXPECT_EQ(f.first("RESET CLUSTER(CL1) ACTION(FORCEREMOVE) QMID('QM9_2024') QUEUES(YES)"),
            "AMQ8556I: Reset Cluster command accepted.");
  EXPECT_TRUE(has(f.first("RESET CLUSTER(CL1) ACTION(FORCEREMOVE)"), "AMQ8405I")) << "QMNAME or QMID";
  EXPECT_TRUE(has(f.first("RESET CLUSTER(CL1) ACTION(FORCEREMOVE) QMNAME(A) QMID(B)"), "AMQ8405I"));
  EXPECT_TRUE(has(f.first("RESET CLUSTER(CL1) QMNAME(A)"), "AMQ8405I")) << "ACTION is required";
  EXPECT_EQ(f.first("DISPLAY AUTHSERV ALL"), "AMQ8881I: Display authority service details.\n"
                                             "   SERVCOMP(MQSeries.UNIX.auth.service)    IFVER(6)\n"
                                             "   UIDSUPP(YES)");
  EXPECT_TRUE(has(f.first("DISPLAY AUTHSERV(X)"), "AMQ8405I"));
}

TEST(AdminCommands, WhatAPlainInstallationCannotDo) {
  Fixture f;
  const std::string notSupported = "AMQ8101S: IBM MQ error (8FA) has occurred.";  // MQRC_FUNCTION_NOT_SUPPORTED
  EXPECT_EQ(f.first("DEFINE CHANNEL(MQTT.CHL) CHLTYPE(MQTT) TRPTYPE(TCP) PORT(1883)"), notSupported);
  EXPECT_EQ(f.first("DIS CHANNEL(MQTT.CHL)"), "AMQ8147E: IBM MQ object MQTT.CHL not found.") << "nothing was defined";
  EXPECT_EQ(f.first("PURGE CHANNEL(MQTT.CHL) CLIENTID('c1')"), notSupported);
  EXPECT_EQ(f.first("SET POLICY(APP.Q) SIGNALG(SHA256) SIGNER('CN=a')"), notSupported);
  EXPECT_EQ(f.first("DISPLAY POLICY(APP.Q)"), notSupported);
  EXPECT_EQ(f.first("DELETE POLICY(APP.Q)"), notSupported);
  EXPECT_TRUE(has(f.first("SET POLICY(APP.Q) SIGNALG(ROT13)"), "AMQ8405I"));
  EXPECT_EQ(f.first("CLEAR TOPICSTR('price/fruit') CLRTYPE(RETAINED) SCOPE(LOCAL)"),
            "AMQ8101S: IBM MQ error (C05) has occurred.")
      << "MQRCCF_NO_RETAINED_MSG: no publication is ever retained";
  EXPECT_TRUE(has(f.first("CLEAR TOPICSTR('price/fruit')"), "AMQ8405I")) << "CLRTYPE is required";
  std::string purge = f.first("PURGE QLOCAL(X)");
  EXPECT_TRUE(has(purge, "AMQ8405I") && has(purge, "PURGE CHANNEL")) << purge;
}

TEST(AdminCommands, ZosQueueManagersKeepTheirOwnAnswers) {
  Fixture f("QMZ");
  f.qm->alterQMgr({{"PLATFORM", "ZOS"}});
  EXPECT_TRUE(has(f.first("DISPLAY AUTHSERV"), "AMQ8405I")) << "the authority service is distributed";
}

}  // namespace
