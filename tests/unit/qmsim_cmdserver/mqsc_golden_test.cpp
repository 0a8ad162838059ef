// Golden responses of the command server to MQSC escape requests: IBM's messages
// and records for each object type, the error messages, z/OS and TOLK.
#include <gtest/gtest.h>

#include "cmdserver/pcf_commands.h"
#include "cmdserver/status_display.h"
#include "cmdserver_test_support.h"

using namespace cmdserver_test;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(MqscGolden, DefineDisplayAlterDeleteLocalQueue) {
  Fixture f;
  EXPECT_EQ(f.first("DEFINE QLOCAL(PAY.IN) DESCR('Payments in') MAXDEPTH(100) NOSHARE"),
            "AMQ8006I: IBM MQ queue created.");
  EXPECT_EQ(f.first("DEF QL(PAY.IN)"), "AMQ8150E: IBM MQ object already exists.");
  EXPECT_EQ(f.first("dis ql(pay.in) maxdepth descr share curdepth"),
            "AMQ8409I: Display Queue details.\n"
            "   QUEUE(PAY.IN)                           TYPE(QLOCAL)\n"
            "   CURDEPTH(0)                             DESCR(Payments in)\n"
            "   MAXDEPTH(100)                           NOSHARE");
  // REPLACE redefines: what it does not name comes from the default queue, as with IBM.
  EXPECT_EQ(f.first("DEF QL(PAY.IN) REPLACE MAXDEPTH(200)"), "AMQ8008I: IBM MQ queue changed.");
  EXPECT_EQ(f.first("DIS QL(PAY.IN) DESCR SHARE MAXDEPTH"), "AMQ8409I: Display Queue details.\n"
                                                            "   QUEUE(PAY.IN)                           TYPE(QLOCAL)\n"
                                                            "   DESCR( )                                MAXDEPTH(200)\n"
                                                            "   SHARE");
  EXPECT_EQ(f.first("ALTER QL(PAY.IN) TRIGGER TRIGTYPE(EVERY)"), "AMQ8008I: IBM MQ queue changed.");
  std::string all = f.first("DIS QLOCAL(PAY.IN) ALL");
  EXPECT_TRUE(has(all, "TRIGTYPE(EVERY)") && has(all, "   TRIGGER") && has(all, "CRDATE(") && has(all, "ALTTIME("));
  EXPECT_FALSE(has(all, "TARGET(")) << "alias attributes never show on a local queue";
  EXPECT_EQ(f.first("DELETE QLOCAL(PAY.IN)"), "AMQ8007I: IBM MQ queue deleted.");
  EXPECT_EQ(f.first("DELETE QLOCAL(PAY.IN)"), "AMQ8147E: IBM MQ object PAY.IN not found.");
}

TEST(MqscGolden, QueueTypesLikeAndGenericDisplay) {
  Fixture f;
  EXPECT_EQ(f.first("DEF QA(A1) TARGET(SYSTEM.DEFAULT.LOCAL.QUEUE)"), "AMQ8006I: IBM MQ queue created.");
  EXPECT_EQ(f.first("DEF QR(R1) RNAME(X) RQMNAME(QM2) XMITQ(QM2)"), "AMQ8006I: IBM MQ queue created.");
  EXPECT_EQ(f.first("DEF QM(M1) DEFTYPE(PERMDYN)"), "AMQ8006I: IBM MQ queue created.");
  EXPECT_EQ(f.first("DEF QL(L1) MAXDEPTH(7)"), "AMQ8006I: IBM MQ queue created.");
  EXPECT_EQ(f.first("DEF QL(L2) LIKE(L1)"), "AMQ8006I: IBM MQ queue created.");
  EXPECT_TRUE(has(f.first("DIS QL(L2) MAXDEPTH"), "MAXDEPTH(7)"));
  EXPECT_EQ(f.first("DEF QL(L3) LIKE(NOPE)"), "AMQ8147E: IBM MQ object NOPE not found.");
  EXPECT_EQ(f.first("DEF QA(L1) REPLACE"), "AMQ8151E: IBM MQ object has different type.");
  EXPECT_EQ(f.first("ALTER QA(L1) DESCR(X)"), "AMQ8147E: IBM MQ object L1 not found.");
  EXPECT_TRUE(has(f.first("DIS QR(R1) ALL"), "RQMNAME(QM2)"));
  EXPECT_TRUE(has(f.first("DIS QM(M1) DEFTYPE"), "DEFTYPE(PERMDYN)"));
  // A generic name lists in name order; TYPE filters DISPLAY QUEUE.
  auto recs = f.mqsc("DIS Q(L*)");
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_TRUE(has(recs[0], "QUEUE(L1)") && has(recs[1], "QUEUE(L2)"));
  EXPECT_EQ(f.mqsc("DIS Q(*) TYPE(QALIAS)").size(), 2u);  // A1 and SYSTEM.DEFAULT.ALIAS.QUEUE
  EXPECT_EQ(f.first("DIS QL(ZZ*)"), "AMQ8147E: IBM MQ object ZZ* not found.");
  EXPECT_EQ(f.first("DIS QC(*)"), "AMQ8147E: IBM MQ object * not found.");
}

TEST(MqscGolden, WhereClause) {
  Fixture f;
  f.first("DEF QL(W1) MAXDEPTH(10) DESCR('blue sky')");
  f.first("DEF QL(W2) MAXDEPTH(20)");
  auto r = f.mqsc("DIS QL(W*) WHERE(MAXDEPTH GT 15)");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(has(r[0], "QUEUE(W2)") && has(r[0], "MAXDEPTH(20)")) << "the filter attribute is shown";
  EXPECT_EQ(f.mqsc("DIS QL(W*) WHERE(DESCR EQ 'blue*')").size(), 1u);
  EXPECT_EQ(f.mqsc("DIS QL(W*) WHERE(DESCR EQ 'BLUE*')")[0], "AMQ8147E: IBM MQ object W* not found.")
      << "quoted values keep their case";
  EXPECT_TRUE(has(f.first("DIS QL(W*) WHERE(NOSUCH EQ 1)"), "AMQ8405I"));
  EXPECT_TRUE(has(f.first("DIS QL(W*) WHERE(MAXDEPTH XX 1)"), "AMQ8405I"));
}

TEST(MqscGolden, SyntaxErrorsNameTheSegment) {
  Fixture f;
  EXPECT_EQ(f.first("DEF QL(Q2) MAXDEPTH(abc)"),
            "AMQ8405I: Syntax error detected at or near end of command segment below:-\n"
            "DEF QL(Q2) MAXDEPTH(abc)\n\n"
            "AMQ8427I: Valid syntax for the MQSC command:\n\n"
            "  DEFINE QLOCAL( q_name ) [ LIKE( q_name ) ] [ REPLACE | NOREPLACE ] [ attribute( value ) ... ]");
  EXPECT_TRUE(has(f.first("DEF QL(Q2) MAXDEPTH(1000000000)"), "MAXDEPTH(1000000000)")) << "out of range";
  EXPECT_TRUE(has(f.first("DEF QL(Q2) TARGET(X) MAXDEPTH(5)"), "command segment below:-\nDEF QL(Q2) TARGET(X)\n"));
  EXPECT_TRUE(has(f.first("DEF QL(Q2) DESCR('unterminated)"), "AMQ8405I"));
  EXPECT_TRUE(has(f.first("DEF QL(Q2"), "AMQ8405I"));
  EXPECT_TRUE(has(f.first("DEF QL(BAD NAME!)"), "AMQ8405I"));
  EXPECT_TRUE(has(f.first("FROB QL(X)"), "AMQ8426I: Valid MQSC commands are:"));
  EXPECT_TRUE(has(f.first("DEFINE WIDGET(X)"), "DEFINE QLOCAL | QMODEL"));
  EXPECT_TRUE(has(f.first(""), "AMQ8405I"));
  EXPECT_EQ(f.first("DIS QL(Q2)"), "AMQ8147E: IBM MQ object Q2 not found.") << "nothing half-defined";
}

TEST(MqscGolden, DeleteAndClearRespectOpenQueuesAndMessages) {
  Fixture f;
  f.first("DEF QL(BUSY)");
  ConnId conn = 0;
  ASSERT_TRUE(f.qm->connect({"app", "u", "", ""}, conn).ok());
  MQOD od = kvarn::mqi::defaultOD();
  kvarn::mqi::setField(od.ObjectName, "BUSY");
  MQHOBJ h = MQHO_NONE;
  ASSERT_TRUE(f.qm->open(conn, od, MQOO_OUTPUT, h).ok());
  MQMD md = kvarn::mqi::defaultMD();
  MQPMO pmo = kvarn::mqi::defaultPMO();
  ASSERT_TRUE(f.qm->put(conn, h, md, pmo, "x").ok());
  EXPECT_EQ(f.first("CLEAR QLOCAL(BUSY)"), "AMQ8148E: IBM MQ object in use.");
  EXPECT_EQ(f.first("DELETE QLOCAL(BUSY)"), "AMQ8148E: IBM MQ object in use.");
  EXPECT_TRUE(has(f.first("DIS QS(BUSY)"), "OPPROCS(1)"));
  EXPECT_TRUE(has(f.first("DIS QS(BUSY) TYPE(HANDLE)"), "APPLTAG(app)"));
  // No handles: still an answer (an empty answer would leave the requester waiting).
  EXPECT_EQ(f.first("DIS QS(SYSTEM.DEFAULT.LOCAL.QUEUE) TYPE(HANDLE)"),
            "AMQ8147E: IBM MQ object SYSTEM.DEFAULT.LOCAL.QUEUE not found.");
  f.qm->close(conn, h, MQCO_NONE);
  EXPECT_EQ(f.first("DELETE QLOCAL(BUSY)"), "AMQ8143E: IBM MQ queue not empty.") << "the text names no queue";
  EXPECT_EQ(f.first("CLEAR QL(BUSY)"), "AMQ8022I: IBM MQ queue cleared.");
  EXPECT_EQ(f.first("DELETE QLOCAL(BUSY) PURGE"), "AMQ8007I: IBM MQ queue deleted.");
  f.qm->disconnect(conn);
}

TEST(MqscGolden, ChannelsOfEveryType) {
  Fixture f;
  for (std::string type : {"SDR", "SVR", "RCVR", "RQSTR", "CLNTCONN", "SVRCONN", "CLUSSDR", "CLUSRCVR"}) {
    bool hasConname = type != "RCVR" && type != "SVRCONN";
    EXPECT_EQ(
        f.first("DEF CHL(CH." + type + ") CHLTYPE(" + type + ") DESCR(d)" + (hasConname ? " CONNAME('h(1)')" : "")),
        "AMQ8014I: IBM MQ channel created.")
        << type;
  }
  EXPECT_EQ(f.first("DEF CHL(CH.RCVR2) CHLTYPE(RCVR)"), "AMQ8014I: IBM MQ channel created.");
  EXPECT_TRUE(has(f.first("DEF CHL(X) CHLTYPE(RCVR) XMITQ(Q)"), "AMQ8405I")) << "XMITQ is not a receiver's";
  EXPECT_TRUE(has(f.first("DEF CHL(X)"), "AMQ8405I")) << "CHLTYPE is required";
  EXPECT_TRUE(has(f.first("DEF CHL(NAME.LONGER.THAN.20CH) CHLTYPE(SDR)"), "AMQ8405I"));
  EXPECT_EQ(f.first("ALTER CHL(CH.SDR) CHLTYPE(SDR) BATCHSZ(10)"), "AMQ8016I: IBM MQ channel changed.");
  EXPECT_EQ(f.first("ALTER CHL(CH.SDR) CHLTYPE(RCVR) BATCHSZ(10)"), "AMQ8151E: IBM MQ object has different type.");
  std::string sdr = f.first("DIS CHL(CH.SDR) ALL");
  EXPECT_TRUE(has(sdr, "CHANNEL(CH.SDR)                         CHLTYPE(SDR)") && has(sdr, "BATCHSZ(10)") &&
              has(sdr, "CONNAME(h(1))") && has(sdr, "XMITQ( )"));
  EXPECT_FALSE(has(f.first("DIS CHL(CH.SVRCONN) ALL"), "XMITQ(")) << "a server-connection has no transmission queue";
  EXPECT_TRUE(has(f.first("DIS CHL(CH.SVRCONN) ALL"), "SHARECNV(10)"));
  EXPECT_EQ(f.mqsc("DIS CHL(CH.*) CHLTYPE(SDR)").size(), 1u);
  EXPECT_EQ(f.first("DELETE CHL(CH.SDR)"), "AMQ8015I: IBM MQ channel deleted.");
}

TEST(MqscGolden, StartStopAndStatusDisplays) {
  Fixture f;
  f.first("DEF CHL(TO.QM2) CHLTYPE(SDR) CONNAME('127.0.0.1(1)') XMITQ(QM2)");
  EXPECT_EQ(f.first("DIS CHS(TO.QM2)"), "AMQ8420I: Channel Status not found.");
  EXPECT_EQ(f.first("STOP CHL(TO.QM2)"), "AMQ9533E: Channel 'TO.QM2' is not currently active.");
  EXPECT_EQ(f.first("START CHANNEL(TO.QM2)"), "AMQ8018I: Start IBM MQ channel accepted.");
  EXPECT_TRUE(has(f.first("DIS CHSTATUS(*)"), "STATUS(RETRYING)")) << "nothing answers at port 1";
  EXPECT_EQ(f.first("STOP CHANNEL(TO.QM2)"), "AMQ8019I: Stop IBM MQ channel accepted.");
  // A channel never defined: the channel code's message, and a failing completion.
  auto unknown = f.send(Fixture::escapeRequest("START CHL(NOPE)"));
  ASSERT_EQ(unknown.size(), 1u);
  EXPECT_EQ(unknown[0].text(), "AMQ8227E: Channel NOPE not found.");
  EXPECT_EQ(unknown[0].header.CompCode, MQCC_FAILED);
  EXPECT_EQ(f.first("START LISTENER(NOPE)"), "AMQ8147E: IBM MQ object NOPE not found.");

  EXPECT_EQ(f.first("DEF LISTENER(L1) TRPTYPE(TCP) PORT(1415)"), "AMQ8626I: IBM MQ listener created.");
  EXPECT_EQ(f.first("START LISTENER(L1)"), "AMQ8021I: Request to start IBM MQ listener accepted.");
  EXPECT_TRUE(has(f.first("DIS LSSTATUS(L1)"), "PORT(1415)"));
  EXPECT_EQ(f.first("STOP LISTENER(L1)"), "AMQ8706I: Request to stop IBM MQ listener accepted.");
  EXPECT_EQ(f.first("DIS LSSTATUS(L1)"), "AMQ8147E: IBM MQ object L1 not found.");

  EXPECT_EQ(f.first("DEF SERVICE(S1) SERVTYPE(COMMAND) STARTCMD('/bin/true')"), "AMQ8621I: IBM MQ service created.");
  EXPECT_EQ(f.first("START SERVICE(S1)"), "AMQ8733I: Request to start Service accepted.");
  EXPECT_TRUE(has(f.first("DIS SVSTATUS(S1)"), "AMQ8632I: Display service status details."));
  EXPECT_EQ(f.first("STOP SERVICE(S1)"), "AMQ8735I: Request to stop Service accepted.");

  EXPECT_TRUE(has(f.first("DIS QMSTATUS"), "AMQ8705I: Display Queue Manager Status Details."));
  EXPECT_TRUE(has(f.first("DIS PUBSUB"), "AMQ8723I: Display pub/sub status details."));
  EXPECT_TRUE(has(f.first("DIS CONN(*)"), "AMQ8147E")) << "no connections in this fixture";
  EXPECT_EQ(f.first("DIS CLUSQMGR(*)"), "AMQ8147E: IBM MQ object * not found.");
  EXPECT_EQ(f.first("PING QMGR"), "AMQ8415I: Ping IBM MQ Queue Manager command complete.");
  EXPECT_EQ(f.first("REFRESH SECURITY"), "AMQ8560I: IBM MQ security cache refreshed.");
}

TEST(MqscGolden, OtherObjectTypes) {
  Fixture f;
  struct Case {
    const char* define;
    const char* created;
    const char* display;
    const char* header;
    const char* deleted;
  };
  const Case cases[] = {
      {"DEF NL(N1) NAMES(A,'b',C)", "AMQ8552I: IBM MQ namelist created.", "DIS NL(N1) ALL",
       "AMQ8550I: Display namelist details.", "AMQ8553I: IBM MQ namelist deleted."},
      {"DEF PROCESS(P1) APPLICID('/bin/app')", "AMQ8010I: IBM MQ process created.", "DIS PROCESS(P1) ALL",
       "AMQ8407I: Display Process details.", "AMQ8012I: IBM MQ process deleted."},
      {"DEF AUTHINFO(AI1) AUTHTYPE(IDPWOS) CHCKCLNT(REQUIRED)",
       "AMQ8563I: IBM MQ authentication information object created.", "DIS AUTHINFO(AI1) ALL",
       "AMQ8566I: Display authentication information details.",
       "AMQ8564I: IBM MQ authentication information object deleted."},
      {"DEF TOPIC(T1) TOPICSTR('price/fruit')", "AMQ8690I: IBM MQ topic created.", "DIS TOPIC(T1) ALL",
       "AMQ8633I: Display topic details.", "AMQ8692I: IBM MQ topic deleted."},
      {"DEF SUB(S1) TOPICSTR('price/fruit') DEST(SYSTEM.DEFAULT.LOCAL.QUEUE)", "AMQ8094I: IBM MQ subscription created.",
       "DIS SUB(S1) ALL", "AMQ8096I: IBM MQ subscription inquired.", "AMQ8097I: IBM MQ subscription deleted."},
      {"DEF COMMINFO(CI1) GRPADDR('239.1.1.1')", "AMQ8929I: IBM MQ communication information object created.",
       "DIS COMMINFO(CI1) ALL", "AMQ8932I: Display communication information details.",
       "AMQ8931I: IBM MQ communication information object deleted."},
      {"DEF LSTR(L1) TRPTYPE(TCP)", "AMQ8626I: IBM MQ listener created.", "DIS LISTENER(L1) ALL",
       "AMQ8630I: Display listener information details.", "AMQ8628I: IBM MQ listener deleted."},
      {"DEF SERVICE(S1)", "AMQ8621I: IBM MQ service created.", "DIS SERVICE(S1) ALL",
       "AMQ8629I: Display service information details.", "AMQ8623I: IBM MQ service deleted."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.define);
    EXPECT_EQ(f.first(c.define), c.created);
    std::string d = f.first(c.display);
    EXPECT_EQ(d.substr(0, d.find('\n')), c.header);
    std::string del = std::string(c.display).replace(0, 3, "DELETE");
    del = del.substr(0, del.find(" ALL"));
    EXPECT_EQ(f.first(del), c.deleted);
  }
  f.first("DEF NL(N2) NAMES(A,'b')");
  std::string nl = f.first("DIS NL(N2) ALL");
  EXPECT_TRUE(has(nl, "NAMCOUNT(2)") && has(nl, "NAMES(A,b)")) << nl;
  EXPECT_TRUE(has(f.first("DEF SUB(NOTOPIC)"), "AMQ8405I")) << "a subscription needs a topic";
  EXPECT_TRUE(has(f.first("DEF AUTHINFO(X)"), "AMQ8405I")) << "AUTHTYPE is required";
  // IBM's change message says "information", where its create message says "information object".
  f.first("DEF AUTHINFO(AI2) AUTHTYPE(IDPWOS)");
  EXPECT_EQ(f.first("ALTER AUTHINFO(AI2) AUTHTYPE(IDPWOS) DESCR('x')"),
            "AMQ8567I: IBM MQ authentication information changed.");
  f.first("DEF SUB(S2) TOPICSTR('a/b')");
  EXPECT_TRUE(has(f.first("DIS SBSTATUS(S2)"), "AMQ8099I"));
  EXPECT_TRUE(has(f.first("DIS TPSTATUS('a/b')"), "AMQ8754I: Display topic status details."));
}

TEST(MqscGolden, QueueManagerAndChannelAuthentication) {
  Fixture f;
  EXPECT_TRUE(has(f.first("DIS QMGR"), "QMNAME(QM1)") && has(f.first("DIS QMGR"), "CMDLEVEL(940)"));
  EXPECT_EQ(f.first("DIS QMGR CMDLEVEL PLATFORM"), "AMQ8408I: Display Queue Manager details.\n"
                                                   "   QMNAME(QM1)                             CMDLEVEL(940)\n"
                                                   "   PLATFORM(UNIX)");
  EXPECT_EQ(f.first("ALTER QMGR DEADQ(SYSTEM.DEAD.LETTER.QUEUE) MAXUMSGS(50)"),
            "AMQ8005I: IBM MQ queue manager changed.");
  EXPECT_TRUE(has(f.first("DIS QMGR DEADQ"), "DEADQ(SYSTEM.DEAD.LETTER.QUEUE)"));
  EXPECT_TRUE(has(f.first("ALTER QMGR CMDLEVEL(800)"), "AMQ8405I")) << "read-only";

  ensureDefaultChlauth(*f.qm);
  EXPECT_EQ(f.mqsc("DIS CHLAUTH(*)").size(), 3u);
  EXPECT_EQ(f.first("SET CHLAUTH('APP.*') TYPE(ADDRESSMAP) ADDRESS('10.*') USERSRC(MAP) MCAUSER('app')"),
            "AMQ8877I: IBM MQ channel authentication record set.");
  EXPECT_TRUE(has(f.first("DIS CHLAUTH(APP.*)"), "MCAUSER(app)"));
  EXPECT_TRUE(has(f.first("SET CHLAUTH(X) TYPE(USERMAP) CLNTUSER(u) USERSRC(MAP)"), "AMQ8405I")) << "MAP needs MCAUSER";
  EXPECT_EQ(f.first("SET CHLAUTH('APP.*') TYPE(ADDRESSMAP) ADDRESS('10.*') ACTION(REMOVE)"),
            "AMQ8877I: IBM MQ channel authentication record set.");
  EXPECT_EQ(f.first("DIS CHLAUTH(APP.*)"), "AMQ8884E: Channel authentication record not found.");
}

TEST(MqscGolden, NotAuthorizedUser) {
  Fixture f;
  f.state.deniedUsers.insert("intruder");
  auto replies = f.send(Fixture::escapeRequest("DEF QL(X)"), MQFMT_ADMIN, false, "intruder");
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].text(), "AMQ8135E: Not authorized.");
  EXPECT_EQ(f.first("DIS QL(X)"), "AMQ8147E: IBM MQ object X not found.");
}

TEST(ZosPersonality, TextCommandsGetCsqLines) {
  Fixture f("MQ1");
  f.qm->alterQMgr({{"PLATFORM", "ZOS"}});
  auto lines = [&](const std::string& cmd) {
    std::vector<std::string> text;
    MQMD md = kvarn::mqi::defaultMD();
    md.MsgType = MQMT_REQUEST;
    std::memcpy(md.Format, MQFMT_STRING, 8);
    std::memcpy(md.MsgId, "ZOS-REQUEST-ID-000000001", 24);
    for (const auto& r : handleRequest(*f.qm, f.state, md, cmd, false)) {
      EXPECT_EQ(kvarn::mqi::fieldText(r.md.Format, 8), "MQCMD1");
      EXPECT_EQ(std::memcmp(r.md.CorrelId, md.MsgId, 24), 0);
      text.push_back(r.data);
    }
    return text;
  };
  auto def = lines("DEFINE QLOCAL(PAY)");
  ASSERT_EQ(def.size(), 2u);
  EXPECT_EQ(def[0], "CSQN205I   COUNT=       2, RETURN=00000000, REASON=00000000");
  EXPECT_EQ(def[1], "CSQ9022I ]MQ1 CSQMDRTS ' DEFINE QLOCAL' NORMAL COMPLETION");
  auto dis = lines("DIS QL(PAY) MAXDEPTH");
  ASSERT_EQ(dis.size(), 3u);
  EXPECT_EQ(dis[1], "CSQM401I ]MQ1 QUEUE(PAY) TYPE(QLOCAL) MAXDEPTH(5000)");
  auto none = lines("DIS QL(NOPE*)");
  ASSERT_EQ(none.size(), 3u);
  EXPECT_EQ(none[1], "CSQM297I ]MQ1 CSQMDRTS NO QLOCAL FOUND MATCHING REQUEST CRITERIA");
  auto dup = lines("DEFINE QLOCAL(PAY)");
  EXPECT_EQ(dup[1], "CSQM095I ]MQ1 CSQMAQLC QLOCAL(PAY) ALREADY EXISTS");
  EXPECT_EQ(dup[2], "CSQ9023E ]MQ1 CSQ9SCND ' DEFINE QLOCAL' ABNORMAL COMPLETION");
  EXPECT_EQ(lines("DIS QMGR")[1].substr(0, 13), "CSQM409I ]MQ1");
  // RESET QSTATS is MQSC on z/OS.
  auto rs = lines("RESET QSTATS(PAY)");
  EXPECT_EQ(rs[1], "CSQM455I ]MQ1 QSTATS(PAY) QSGDISP(QMGR) RESETINT(0) HIQDEPTH(0) MSGSIN(0) MSGSOUT(0)");
}

TEST(ZosPersonality, DistributedRejectsResetQstatsAsMqsc) {
  Fixture f;
  EXPECT_TRUE(has(f.first("RESET QSTATS(SYSTEM.DEFAULT.LOCAL.QUEUE)"), "AMQ8405I"));
}

TEST(TolkPersonality, CommandLevelAndDelimitedRecords) {
  Fixture f;
  f.qm->alterQMgr({{"TOLKLEVEL", "921"}});
  PcfWriter level(MQCFT_COMMAND, 1, kTolkDisplayEv, 1, true, 0, 0);
  level.integerList(kTolkEvAttrs, {kTolkCommandLevel});
  auto lv = f.send(level.finish(), MQFMT_ADMIN, true);
  ASSERT_EQ(lv.size(), 1u);
  ASSERT_NE(lv[0].find(kTolkCommandLevel), nullptr);
  EXPECT_EQ(lv[0].find(kTolkCommandLevel)->intValue, 921);

  auto tolk = [&](const std::string& text) { return f.send(Fixture::escapeRequest(text), MQFMT_ADMIN, true); };
  EXPECT_EQ(tolk("ADD EVQ(SYSTEM.ADMIN.QMGR.EVENT)")[0].text(), "AMQ8006I: TOLK event queue added.");
  tolk("ADD EVQ(SYSTEM.ADMIN.CHANNEL.EVENT)");
  tolk("ADD EVQ(SYSTEM.ADMIN.PERFM.EVENT)");
  EXPECT_EQ(tolk("ADD EVQ(NO.SUCH.QUEUE)")[0].text(), "AMQ8147E: IBM MQ object NO.SUCH.QUEUE not found.");
  auto three = tolk("DIS EVQ(*)");
  ASSERT_EQ(three.size(), 1u) << "three records in one message";
  EXPECT_EQ(three[0].header.Control, kTolkMultiRecord | MQCFC_LAST);
  int texts = 0, delimiters = 0;
  for (const auto& p : three[0].params) {
    texts += p.id == MQCACF_ESCAPE_TEXT;
    delimiters += p.id == kTolkResponseDelimiter;
  }
  EXPECT_EQ(texts, 3);
  EXPECT_EQ(delimiters, 2);
  EXPECT_TRUE(tolk("STOP EV").empty()) << "STOP EV is not answered";
  EXPECT_TRUE(tolk("DIS EV")[0].text().find("STATUS(STOPPED)") != std::string::npos);
  EXPECT_EQ(tolk("DEFINE EVSTREAM(S1) DESCR(x)")[0].text(), "AMQ8006I: TOLK event stream created.");
  EXPECT_EQ(tolk("RENAME EVSTREAM(S1) TO(S2)")[0].text(), "AMQ8008I: TOLK event stream renamed.");
  EXPECT_TRUE(tolk("DIS EVSTREAM(S2)")[0].text().find("DESCR(X)") != std::string::npos);
  EXPECT_TRUE(tolk("DIS QL(*)")[0].text().find("AMQ8405I") != std::string::npos) << "TOLK has its own vocabulary";
}

}  // namespace
