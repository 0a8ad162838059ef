// Every MQSC command of IBM MQ 9.4, and how a Linux queue manager of qmsim answers
// it: acted on; answered with the error IBM gives when the queue manager cannot do
// what is asked (a component a plain installation lacks, a circular log, nothing to
// act on); or refused as IBM refuses a command that does not exist on Linux (AMQ8405I,
// the command's syntax not being known there). A row that changes kind must change
// here, on purpose.
#include <gtest/gtest.h>

#include "cmdserver_test_support.h"

using namespace cmdserver_test;

namespace {

enum class Kind {
  Simulated,  // answered as IBM MQ on Linux answers: never the syntax error, never AMQ8101S
  Refused,    // a Linux command this queue manager cannot carry out: AMQ8101S with IBM's reason
  ZosOnly,    // a z/OS command: AMQ8405I on Linux, as runmqsc answers
};

struct CommandRow {
  const char* text;
  Kind kind;
};

// Objects the rows below name; each row runs in this order on one queue manager.
const char* const kSetUp[] = {
    "DEFINE QLOCAL(CC.Q)",
    "DEFINE CHANNEL(CC.SDR) CHLTYPE(SDR) CONNAME('127.0.0.1(1)') XMITQ(CC.Q)",
    "DEFINE LISTENER(CC.L) TRPTYPE(TCP) PORT(1)",
    "DEFINE SERVICE(CC.SV) STARTCMD('/bin/true')",
};

const CommandRow kCommands[] = {
    {"ALTER AUTHINFO(SYSTEM.DEFAULT.AUTHINFO.IDPWOS) AUTHTYPE(IDPWOS) DESCR('x')", Kind::Simulated},
    {"ALTER BUFFPOOL(1) BUFFERS(1000)", Kind::ZosOnly},
    {"ALTER CFSTRUCT(S1) CFLEVEL(5)", Kind::ZosOnly},
    {"ALTER CHANNEL(CC.SDR) CHLTYPE(SDR) DESCR('x')", Kind::Simulated},
    {"ALTER COMMINFO(SYSTEM.DEFAULT.COMMINFO.MULTICAST) DESCR('x')", Kind::Simulated},
    {"ALTER LISTENER(CC.L) TRPTYPE(TCP) DESCR('x')", Kind::Simulated},
    {"ALTER NAMELIST(SYSTEM.DEFAULT.NAMELIST) DESCR('x')", Kind::Simulated},
    {"ALTER PROCESS(SYSTEM.DEFAULT.PROCESS) DESCR('x')", Kind::Simulated},
    {"ALTER PSID(1) EXPAND(USER)", Kind::ZosOnly},
    {"ALTER QMGR DESCR('x')", Kind::Simulated},
    {"ALTER QALIAS(SYSTEM.DEFAULT.ALIAS.QUEUE) DESCR('x')", Kind::Simulated},
    {"ALTER QLOCAL(CC.Q) DESCR('x')", Kind::Simulated},
    {"ALTER QMODEL(SYSTEM.DEFAULT.MODEL.QUEUE) DESCR('x')", Kind::Simulated},
    {"ALTER QREMOTE(SYSTEM.DEFAULT.REMOTE.QUEUE) DESCR('x')", Kind::Simulated},
    {"ALTER SECURITY TIMEOUT(10)", Kind::ZosOnly},
    {"ALTER SERVICE(CC.SV) DESCR('x')", Kind::Simulated},
    {"ALTER SMDS(*) CFSTRUCT(S1) DSBUFS(10)", Kind::ZosOnly},
    {"ALTER STGCLASS(SC1) PSID(1)", Kind::ZosOnly},
    {"DEFINE SUB(CC.S) TOPICSTR('cc/t') DEST(CC.Q)", Kind::Simulated},
    {"ALTER SUB(CC.S) USERDATA('u')", Kind::Simulated},
    {"ALTER TOPIC(SYSTEM.DEFAULT.TOPIC) DESCR('x')", Kind::Simulated},
    {"ALTER TRACE(G) TNO(1)", Kind::ZosOnly},
    {"ARCHIVE LOG", Kind::ZosOnly},
    {"BACKUP CFSTRUCT(S1)", Kind::ZosOnly},
    {"CLEAR QLOCAL(CC.Q)", Kind::Simulated},
    {"CLEAR TOPICSTR('cc/t') CLRTYPE(RETAINED)", Kind::Refused},  // no retained publications
    {"DEFINE AUTHINFO(CC.AI) AUTHTYPE(IDPWOS)", Kind::Simulated},
    {"DEFINE BUFFPOOL(1) BUFFERS(1000)", Kind::ZosOnly},
    {"DEFINE CFSTRUCT(S1) CFLEVEL(5)", Kind::ZosOnly},
    {"DEFINE CHANNEL(CC.SVRCONN) CHLTYPE(SVRCONN)", Kind::Simulated},
    {"DEFINE CHANNEL(CC.MQTT) CHLTYPE(MQTT) PORT(1883)", Kind::Refused},  // no telemetry component
    {"DEFINE COMMINFO(CC.CI)", Kind::Simulated},
    {"DEFINE LISTENER(CC.L2) TRPTYPE(TCP)", Kind::Simulated},
    {"DEFINE LOG DSNAME(X)", Kind::ZosOnly},
    {"DEFINE MAXSMSGS(100)", Kind::ZosOnly},
    {"DEFINE NAMELIST(CC.NL) NAMES(A,B)", Kind::Simulated},
    {"DEFINE PROCESS(CC.P)", Kind::Simulated},
    {"DEFINE PSID(1) BUFFPOOL(1)", Kind::ZosOnly},
    {"DEFINE QALIAS(CC.QA) TARGET(CC.Q)", Kind::Simulated},
    {"DEFINE QLOCAL(CC.Q2)", Kind::Simulated},
    {"DEFINE QMODEL(CC.QM)", Kind::Simulated},
    {"DEFINE QREMOTE(CC.QR) RNAME(X) RQMNAME(QM2)", Kind::Simulated},
    {"DEFINE SERVICE(CC.SV2)", Kind::Simulated},
    {"DEFINE STGCLASS(SC1) PSID(1)", Kind::ZosOnly},
    {"DEFINE TOPIC(CC.T) TOPICSTR('cc/t2')", Kind::Simulated},
    {"DISPLAY APSTATUS(*) TYPE(APPL)", Kind::Simulated},
    {"DISPLAY ARCHIVE", Kind::ZosOnly},
    {"DISPLAY AUTHINFO(*)", Kind::Simulated},
    {"DISPLAY AUTHREC", Kind::Simulated},
    {"DISPLAY AUTHSERV", Kind::Simulated},
    {"DISPLAY CFSTATUS(*)", Kind::ZosOnly},
    {"DISPLAY CFSTRUCT(*)", Kind::ZosOnly},
    {"DISPLAY CHANNEL(*)", Kind::Simulated},
    {"DISPLAY CHINIT", Kind::ZosOnly},
    {"DISPLAY CHLAUTH(*)", Kind::Simulated},
    {"DISPLAY CHSTATUS(*)", Kind::Simulated},
    {"DISPLAY CLUSQMGR(*)", Kind::Simulated},
    {"DISPLAY CMDSERV", Kind::ZosOnly},
    {"DISPLAY COMMINFO(*)", Kind::Simulated},
    {"DISPLAY CONN(*)", Kind::Simulated},
    {"DISPLAY ENTAUTH PRINCIPAL(app) OBJTYPE(QMGR)", Kind::Simulated},
    {"DISPLAY GROUP", Kind::ZosOnly},
    {"DISPLAY LISTENER(*)", Kind::Simulated},
    {"DISPLAY LOG", Kind::ZosOnly},
    {"DISPLAY LSSTATUS(*)", Kind::Simulated},
    {"DISPLAY MAXSMSGS", Kind::ZosOnly},
    {"DISPLAY NAMELIST(*)", Kind::Simulated},
    {"DISPLAY POLICY(CC.Q)", Kind::Refused},  // no Advanced Message Security
    {"DISPLAY PROCESS(*)", Kind::Simulated},
    {"DISPLAY PUBSUB", Kind::Simulated},
    {"DISPLAY QMGR", Kind::Simulated},
    {"DISPLAY QMSTATUS", Kind::Simulated},
    {"DISPLAY QSTATUS(*)", Kind::Simulated},
    {"DISPLAY QUEUE(*)", Kind::Simulated},
    {"DISPLAY QALIAS(*)", Kind::Simulated},
    {"DISPLAY QCLUSTER(*)", Kind::Simulated},
    {"DISPLAY QLOCAL(*)", Kind::Simulated},
    {"DISPLAY QMODEL(*)", Kind::Simulated},
    {"DISPLAY QREMOTE(*)", Kind::Simulated},
    {"DISPLAY SBSTATUS(*)", Kind::Simulated},
    {"DISPLAY SECURITY", Kind::ZosOnly},
    {"DISPLAY SERVICE(*)", Kind::Simulated},
    {"DISPLAY SMDS(*) CFSTRUCT(S1)", Kind::ZosOnly},
    {"DISPLAY SMDSCONN(*) CFSTRUCT(S1)", Kind::ZosOnly},
    {"DISPLAY STGCLASS(*)", Kind::ZosOnly},
    {"DISPLAY SUB(*)", Kind::Simulated},
    {"DISPLAY SVSTATUS(*)", Kind::Simulated},
    {"DISPLAY SYSTEM", Kind::ZosOnly},
    {"DISPLAY TCLUSTER(*)", Kind::Simulated},
    {"DISPLAY THREAD(*)", Kind::ZosOnly},
    {"DISPLAY TOPIC(*)", Kind::Simulated},
    {"DISPLAY TPSTATUS('#')", Kind::Simulated},
    {"DISPLAY TRACE", Kind::ZosOnly},
    {"DISPLAY USAGE", Kind::ZosOnly},
    {"MOVE QLOCAL(CC.Q) TOQLOCAL(CC.Q2)", Kind::ZosOnly},
    {"PING CHANNEL(CC.SDR)", Kind::Simulated},
    {"PING QMGR", Kind::Simulated},
    {"PURGE CHANNEL(CC.MQTT) CLIENTID('c1')", Kind::Refused},  // no telemetry component
    {"RECOVER BSDS", Kind::ZosOnly},
    {"RECOVER CFSTRUCT(S1)", Kind::ZosOnly},
    {"REFRESH CLUSTER(CC.CL)", Kind::Simulated},
    {"REFRESH QMGR TYPE(EXPIRY) NAME(*)", Kind::Simulated},
    {"REFRESH SECURITY TYPE(AUTHSERV)", Kind::Simulated},
    {"RESET CFSTRUCT(S1) ACTION(FAIL)", Kind::ZosOnly},
    {"RESET CHANNEL(CC.SDR)", Kind::Simulated},
    {"RESET CLUSTER(CC.CL) ACTION(FORCEREMOVE) QMNAME(QM9)", Kind::Simulated},
    {"RESET QMGR TYPE(STATISTICS)", Kind::Simulated},
    {"RESET QSTATS(CC.Q)", Kind::ZosOnly},
    {"RESET SMDS(QM1) CFSTRUCT(S1) ACCESS(ENABLED)", Kind::ZosOnly},
    {"RESET TPIPE(T1) XCFMNAME(M1) ACTION(COMMIT)", Kind::ZosOnly},
    {"RESOLVE CHANNEL(CC.SDR) ACTION(BACKOUT)", Kind::Simulated},
    {"RESOLVE INDOUBT(X) ACTION(COMMIT)", Kind::ZosOnly},
    {"RESUME QMGR CLUSTER(CC.CL)", Kind::Simulated},
    {"RVERIFY SECURITY(USER1)", Kind::ZosOnly},
    {"SET ARCHIVE DEFAULT", Kind::ZosOnly},
    {"SET AUTHREC PROFILE(CC.Q) OBJTYPE(QUEUE) PRINCIPAL(app) AUTHADD(PUT)", Kind::Simulated},
    {"SET CHLAUTH(CC.SVRCONN) TYPE(BLOCKUSER) USERLIST(nobody)", Kind::Simulated},
    {"SET LOG ARCHIVED(S0000001.LOG)", Kind::Refused},  // the log is circular
    {"SET POLICY(CC.Q) SIGNALG(SHA256) SIGNER('CN=a')", Kind::Refused},
    {"SET SYSTEM LOGLOAD(500000)", Kind::ZosOnly},
    {"START CHANNEL(CC.SDR)", Kind::Simulated},
    {"START CHINIT", Kind::Simulated},
    {"START CMDSERV", Kind::ZosOnly},
    {"START LISTENER(CC.L)", Kind::Simulated},
    {"START QMGR", Kind::ZosOnly},
    {"START SERVICE(CC.SV)", Kind::Simulated},
    {"START SMDSCONN(*) CFSTRUCT(S1)", Kind::ZosOnly},
    {"START TRACE(G)", Kind::ZosOnly},
    {"STOP CHANNEL(CC.SDR)", Kind::Simulated},
    {"STOP CHINIT", Kind::ZosOnly},
    {"STOP CMDSERV", Kind::ZosOnly},
    {"STOP CONN(0000000000000001)", Kind::Refused},  // no such connection
    {"STOP LISTENER(CC.L)", Kind::Simulated},
    {"STOP QMGR", Kind::ZosOnly},
    {"STOP SERVICE(CC.SV)", Kind::Simulated},
    {"STOP SMDSCONN(*) CFSTRUCT(S1)", Kind::ZosOnly},
    {"STOP TRACE(G)", Kind::ZosOnly},
    {"SUSPEND QMGR CLUSTER(CC.CL)", Kind::Simulated},
    {"DELETE AUTHREC PROFILE(CC.Q) OBJTYPE(QUEUE) PRINCIPAL(app)", Kind::Simulated},
    {"DELETE AUTHINFO(CC.AI)", Kind::Simulated},
    {"DELETE BUFFPOOL(1)", Kind::ZosOnly},
    {"DELETE CFSTRUCT(S1)", Kind::ZosOnly},
    {"DELETE CHANNEL(CC.SVRCONN)", Kind::Simulated},
    {"DELETE COMMINFO(CC.CI)", Kind::Simulated},
    {"DELETE LISTENER(CC.L2)", Kind::Simulated},
    {"DELETE NAMELIST(CC.NL)", Kind::Simulated},
    {"DELETE POLICY(CC.Q)", Kind::Refused},
    {"DELETE PROCESS(CC.P)", Kind::Simulated},
    {"DELETE PSID(1)", Kind::ZosOnly},
    {"DELETE QALIAS(CC.QA)", Kind::Simulated},
    {"DELETE QLOCAL(CC.Q2)", Kind::Simulated},
    {"DELETE QMODEL(CC.QM)", Kind::Simulated},
    {"DELETE QREMOTE(CC.QR)", Kind::Simulated},
    {"DELETE SERVICE(CC.SV2)", Kind::Simulated},
    {"DELETE STGCLASS(SC1)", Kind::ZosOnly},
    {"DELETE SUB(CC.S)", Kind::Simulated},
    {"DELETE TOPIC(CC.T)", Kind::Simulated},
};

bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

TEST(MqscCommandCoverage, EveryCommandGetsTheAnswerOfItsKind) {
  Fixture f;
  for (const char* c : kSetUp) ASSERT_FALSE(startsWith(f.first(c), "AMQ8405I")) << c;
  for (const auto& row : kCommands) {
    auto replies = f.mqsc(row.text);
    ASSERT_FALSE(replies.empty()) << row.text << ": no answer";
    const std::string& first = replies[0];
    bool syntaxError = startsWith(first, "AMQ8405I: Syntax error");
    switch (row.kind) {
    case Kind::Simulated:
      EXPECT_FALSE(syntaxError) << row.text << "\n" << first;
      EXPECT_FALSE(startsWith(first, "AMQ8101S")) << row.text << "\n" << first;
      break;
    case Kind::Refused: EXPECT_TRUE(startsWith(first, "AMQ8101S: IBM MQ error (")) << row.text << "\n" << first; break;
    case Kind::ZosOnly: EXPECT_TRUE(syntaxError) << row.text << "\n" << first; break;
    }
  }
}

TEST(MqscCommandCoverage, ZosCommandsAreNamedInTheRefusal) {
  // The refusal names what was not understood: an unknown verb lists the verbs Linux
  // knows, a known verb the objects it takes there.
  Fixture f;
  std::string verb = f.first("ARCHIVE LOG");
  size_t list = verb.find("AMQ8426I: Valid MQSC commands are:");
  ASSERT_NE(list, std::string::npos) << verb;
  EXPECT_EQ(verb.find("ARCHIVE", list), std::string::npos) << "ARCHIVE is no Linux verb";
  std::string object = f.first("DISPLAY THREAD(*)");
  EXPECT_NE(object.find("AMQ8427I"), std::string::npos) << object;
  EXPECT_EQ(object.find("THREAD |"), std::string::npos) << object;
}

TEST(MqscCommandCoverage, ZosQueueManagersStillTakeTheirOwnCommands) {
  Fixture f("QMZ");
  f.qm->alterQMgr({{"PLATFORM", "ZOS"}});
  f.first("DEFINE QLOCAL(CC.Q)");
  EXPECT_FALSE(startsWith(f.first("RESET QSTATS(CC.Q)"), "AMQ8405I")) << "RESET QSTATS is a z/OS command";
}

}  // namespace
