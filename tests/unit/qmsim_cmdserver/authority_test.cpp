// Object authority through the command server: SET, DISPLAY and DELETE AUTHREC,
// DISPLAY ENTAUTH and REFRESH SECURITY as MQSC and as PCF, generic profiles, and
// records that outlive a restart.
#include <gtest/gtest.h>

#include "cmdserver_test_support.h"
#include "engine/authority.h"
#include "qmsim_test_support.h"

using namespace cmdserver_test;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Appends an MQCFSL to a finished request, as PCF clients send entity names.
std::string withStringList(std::string msg, MQLONG id, const std::vector<std::string>& items, size_t width) {
  auto put = [&](MQLONG v) { msg.append(reinterpret_cast<const char*>(&v), sizeof v); };
  size_t strings = items.size() * width;
  size_t length = (24 + strings + 3) / 4 * 4;
  put(MQCFT_STRING_LIST);
  put(static_cast<MQLONG>(length));
  put(id);
  put(MQCCSI_DEFAULT);
  put(static_cast<MQLONG>(items.size()));
  put(static_cast<MQLONG>(width));
  for (const auto& s : items) msg += s + std::string(width - s.size(), ' ');
  msg.append(length - 24 - strings, '\0');
  MQCFH h;
  std::memcpy(&h, msg.data(), sizeof h);
  ++h.ParameterCount;
  std::memcpy(msg.data(), &h, sizeof h);
  return msg;
}

TEST(AuthorityProfiles, GenericProfilesMatchByQualifier) {
  using qmsim::authority::profileMatches;
  EXPECT_TRUE(profileMatches("DEV.**", "DEV.QUEUE.1"));
  EXPECT_TRUE(profileMatches("DEV.**", "DEV"));
  EXPECT_FALSE(profileMatches("DEV.**", "DEVX.QUEUE"));
  EXPECT_TRUE(profileMatches("DEV.*", "DEV.Q1"));
  EXPECT_FALSE(profileMatches("DEV.*", "DEV.Q1.X")) << "'*' stays within one qualifier";
  EXPECT_TRUE(profileMatches("A?C.**.Z", "ABC.X.Y.Z"));
  EXPECT_TRUE(profileMatches("**", "ANY.THING"));
  EXPECT_FALSE(profileMatches("PAY.IN", "PAY.IN.X"));
  EXPECT_FALSE(profileMatches("", "X"));
}

TEST(AuthrecMqsc, SetDisplayDeleteWithIbmMessages) {
  Fixture f;
  f.first("DEFINE QLOCAL(DEV.QUEUE.1)");
  EXPECT_EQ(f.first("SET AUTHREC PROFILE('DEV.**') OBJTYPE(QUEUE) GROUP('mqclient') AUTHADD(BROWSE,GET,INQ,PUT)"),
            "AMQ8862I: IBM MQ authority record set.");
  EXPECT_EQ(f.first("SET AUTHREC OBJTYPE(QMGR) GROUP('mqclient') AUTHADD(CONNECT,INQ)"),
            "AMQ8862I: IBM MQ authority record set.");
  EXPECT_EQ(f.first("DISPLAY AUTHREC PROFILE('DEV.**') OBJTYPE(QUEUE)"),
            "AMQ8864I: Display authority record details.\n"
            "   PROFILE(DEV.**)                         ENTITY(mqclient)\n"
            "   ENTTYPE(GROUP)                          OBJTYPE(QUEUE)\n"
            "   AUTHLIST(BROWSE,GET,INQ,PUT)");
  EXPECT_TRUE(has(f.first("DIS AUTHREC OBJTYPE(QMGR)"), "PROFILE(self)"));
  // MATCH(PROFILE) finds the generic profiles that cover a name; EXACT only the name.
  EXPECT_TRUE(has(f.first("DIS AUTHREC PROFILE(DEV.QUEUE.1) OBJTYPE(QUEUE)"), "PROFILE(DEV.**)"));
  EXPECT_EQ(f.first("DIS AUTHREC PROFILE(DEV.QUEUE.1) OBJTYPE(QUEUE) MATCH(EXACT)"), "AMQ8459I: Not found.");
  EXPECT_EQ(f.mqsc("DIS AUTHREC").size(), 2u);
  EXPECT_EQ(f.mqsc("DIS AUTHREC GROUP('other')")[0], "AMQ8459I: Not found.");
  // AUTHRMV takes away; ALL expands to what applies to the type.
  EXPECT_EQ(f.first("SET AUTHREC PROFILE('DEV.**') OBJTYPE(QUEUE) GROUP('mqclient') AUTHRMV(BROWSE)"),
            "AMQ8862I: IBM MQ authority record set.");
  EXPECT_TRUE(has(f.first("DIS AUTHREC PROFILE('DEV.**') OBJTYPE(QUEUE)"), "AUTHLIST(GET,INQ,PUT)"));
  f.first("SET AUTHREC PROFILE(DEV.QUEUE.1) OBJTYPE(QUEUE) PRINCIPAL('app') AUTHADD(ALL)");
  EXPECT_TRUE(has(f.first("DIS AUTHREC PROFILE(DEV.QUEUE.1) OBJTYPE(QUEUE) MATCH(EXACT)"),
                  "AUTHLIST(BROWSE,CHG,CLR,CRT,DLT,DSP,GET,INQ,PUT,PASSALL,PASSID,SET,SETALL,SETID)"));
  f.first("SET AUTHREC PROFILE(DEV.QUEUE.1) OBJTYPE(QUEUE) PRINCIPAL('app') AUTHRMV(ALL)");
  EXPECT_TRUE(has(f.first("DIS AUTHREC PROFILE(DEV.QUEUE.1) OBJTYPE(QUEUE) MATCH(EXACT)"), "AUTHLIST(NONE)"));
  EXPECT_EQ(f.first("DELETE AUTHREC PROFILE(DEV.QUEUE.1) OBJTYPE(QUEUE) PRINCIPAL('app')"),
            "AMQ8863I: IBM MQ authority record deleted.");
  EXPECT_EQ(f.first("DELETE AUTHREC PROFILE(DEV.QUEUE.1) OBJTYPE(QUEUE) PRINCIPAL('app')"), "AMQ8459I: Not found.");
}

TEST(AuthrecMqsc, ErrorsLeaveNothingBehind) {
  Fixture f;
  EXPECT_TRUE(has(f.first("SET AUTHREC PROFILE(X) GROUP(g) AUTHADD(PUT)"), "AMQ8405I")) << "OBJTYPE missing";
  EXPECT_TRUE(has(f.first("SET AUTHREC PROFILE('A.**') OBJTYPE(QUEUE) AUTHADD(PUT)"), "AMQ8405I")) << "no entity";
  EXPECT_TRUE(
      has(f.first("SET AUTHREC PROFILE('A.**') OBJTYPE(QUEUE) GROUP(g) PRINCIPAL(p) AUTHADD(PUT)"), "AMQ8405I"));
  EXPECT_TRUE(has(f.first("SET AUTHREC PROFILE('A.**') OBJTYPE(QUEUE) GROUP(g)"), "AMQ8405I")) << "nothing to change";
  EXPECT_TRUE(has(f.first("SET AUTHREC PROFILE('A.**') OBJTYPE(QUEUE) GROUP(g) AUTHADD(CONNECT)"),
                  "SET AUTHREC PROFILE('A.**') OBJTYPE(QUEUE) GROUP(g) AUTHADD(CONNECT)\n"))
      << "CONNECT is a queue manager authority";
  EXPECT_TRUE(has(f.first("SET AUTHREC PROFILE('A.**') OBJTYPE(QUEUE) GROUP(g) AUTHADD(FLY)"), "AMQ8405I"));
  EXPECT_TRUE(
      has(f.first("SET AUTHREC PROFILE('A.**') OBJTYPE(QUEUE) GROUP(g) AUTHADD(PUT) AUTHRMV(PUT)"), "AMQ8405I"));
  EXPECT_TRUE(has(f.first("SET AUTHREC PROFILE('A B') OBJTYPE(QUEUE) GROUP(g) AUTHADD(PUT)"), "AMQ8405I"));
  EXPECT_TRUE(has(f.first("SET AUTHREC PROFILE(X) OBJTYPE(WIDGET) GROUP(g) AUTHADD(PUT)"), "AMQ8405I"));
  EXPECT_TRUE(has(f.first("DIS AUTHREC MATCH(MEMBERSHIP)"), "AMQ8405I")) << "membership asks about a principal";
  EXPECT_EQ(f.first("SET AUTHREC PROFILE(NO.SUCH.Q) OBJTYPE(QUEUE) GROUP(g) AUTHADD(PUT)"),
            "AMQ8147E: IBM MQ object NO.SUCH.Q not found.")
      << "an explicit profile names an existing object";
  EXPECT_EQ(f.first("DIS AUTHREC"), "AMQ8459I: Not found.");
  EXPECT_TRUE(has(f.first("SET AUTHREC(X) OBJTYPE(QMGR) GROUP(g) AUTHADD(CONNECT)"), "AMQ8405I"));
}

TEST(AuthrecMqsc, EntauthAddsGroupsAndTakesTheMostSpecificProfile) {
  Fixture f;
  f.first("DEFINE QLOCAL(PAY.IN)");
  f.first("SET AUTHREC PROFILE('PAY.**') OBJTYPE(QUEUE) GROUP('payers') AUTHADD(PUT,INQ)");
  f.first("SET AUTHREC PROFILE('PAY.*') OBJTYPE(QUEUE) GROUP('payers') AUTHADD(GET)");
  f.first("SET AUTHREC PROFILE(PAY.IN) OBJTYPE(QUEUE) PRINCIPAL('bob') AUTHADD(BROWSE)");
  EXPECT_EQ(f.first("DISPLAY ENTAUTH GROUP('payers') OBJNAME(PAY.IN) OBJTYPE(QUEUE)"),
            "AMQ8866I: Display entity authority details.\n"
            "   OBJNAME(PAY.IN)                         ENTITY(payers)\n"
            "   ENTTYPE(GROUP)                          OBJTYPE(QUEUE)\n"
            "   AUTHLIST(GET)")
      << "PAY.* is more specific than PAY.**";
  EXPECT_TRUE(has(f.first("DIS ENTAUTH PRINCIPAL('bob') OBJNAME(PAY.IN) OBJTYPE(QUEUE)"), "AUTHLIST(BROWSE)"));
  EXPECT_TRUE(has(f.first("DIS ENTAUTH PRINCIPAL('nobody') OBJNAME(PAY.IN) OBJTYPE(QUEUE)"), "AUTHLIST(NONE)"));
  EXPECT_TRUE(has(f.first("DIS ENTAUTH GROUP('mqm') OBJTYPE(QMGR)"), "CONNECT"));
  EXPECT_TRUE(has(f.first("DIS ENTAUTH GROUP('mqm') OBJTYPE(QMGR)"), "OBJNAME(QM1)"));
  EXPECT_EQ(f.first("DIS ENTAUTH GROUP(g) OBJNAME(NOPE) OBJTYPE(QUEUE)"), "AMQ8147E: IBM MQ object NOPE not found.");
  EXPECT_TRUE(has(f.first("DIS ENTAUTH OBJNAME(PAY.IN) OBJTYPE(QUEUE)"), "AMQ8405I"));
  EXPECT_TRUE(has(f.first("DIS ENTAUTH GROUP(g) OBJNAME('PAY.*') OBJTYPE(QUEUE)"), "AMQ8405I"));
}

TEST(AuthrecMqsc, RefreshSecurityOfEveryType) {
  Fixture f;
  for (const char* cmd : {"REFRESH SECURITY", "REFRESH SECURITY TYPE(ALL)", "REFRESH SECURITY TYPE(AUTHSERV)",
                          "REFRESH SECURITY(*) TYPE(CONNAUTH)", "REF SEC TYPE(SSL)"})
    EXPECT_EQ(f.first(cmd), "AMQ8560I: IBM MQ security cache refreshed.") << cmd;
  EXPECT_TRUE(has(f.first("REFRESH SECURITY TYPE(CLASSES)"), "AMQ8405I")) << "z/OS only";
  EXPECT_TRUE(has(f.first("REFRESH SECURITY TYPE(NONE)"), "AMQ8405I"));
  EXPECT_TRUE(has(f.first("REFRESH SECURITY(X)"), "AMQ8405I"));
}

TEST(AuthrecMqsc, RecordsSurviveARestart) {
  qmsim_test::TempHome home;
  std::string error;
  {
    auto qm = QueueManager::open("QMA", home.path() / "QMA", error);
    ASSERT_TRUE(qm) << error;
    RuntimeState state;
    ExecContext ctx{*qm, state, "tester", false};
    EXPECT_EQ(executeMqsc(ctx, "SET AUTHREC OBJTYPE(QMGR) PRINCIPAL('app') AUTHADD(CONNECT)").items.at(0).messageId,
              "AMQ8862I");
    qm->stop();
  }
  auto qm = QueueManager::open("QMA", home.path() / "QMA", error);
  ASSERT_TRUE(qm) << error;
  RuntimeState state;
  ExecContext ctx{*qm, state, "tester", false};
  auto r = executeMqsc(ctx, "DIS AUTHREC PRINCIPAL('app')");
  ASSERT_EQ(r.items.size(), 1u);
  EXPECT_TRUE(has(layoutDistributed(r.items[0]), "AUTHLIST(CONNECT)"));
  qm->stop();
}

TEST(AuthrecPcf, SetInquireDeleteAndEntityAuthority) {
  Fixture f;
  f.first("DEFINE QLOCAL(APP.Q)");
  std::string set = withStringList(Fixture::command(MQCMD_SET_AUTH_REC)
                                       .string(MQCACF_AUTH_PROFILE_NAME, "APP.*")
                                       .integer(MQIACF_OBJECT_TYPE, MQOT_Q)
                                       .integerList(MQIACF_AUTH_ADD_AUTHS, {MQAUTH_OUTPUT, MQAUTH_INPUT})
                                       .finish(),
                                   MQCACF_GROUP_ENTITY_NAMES, {"apps"}, 12);
  auto ok = f.send(set);
  ASSERT_EQ(ok.size(), 1u);
  EXPECT_EQ(ok[0].header.CompCode, MQCC_OK);
  EXPECT_TRUE(has(f.first("DIS AUTHREC PROFILE('APP.*')"), "AUTHLIST(GET,PUT)")) << "MQSC sees what PCF set";

  auto recs = f.send(Fixture::command(MQCMD_INQUIRE_AUTH_RECS)
                         .integer(MQIACF_AUTH_OPTIONS, MQAUTHOPT_NAME_ALL_MATCHING | MQAUTHOPT_ENTITY_EXPLICIT)
                         .string(MQCACF_AUTH_PROFILE_NAME, "APP.Q")
                         .integer(MQIACF_OBJECT_TYPE, MQOT_Q)
                         .finish());
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].header.CompCode, MQCC_OK);
  EXPECT_EQ(recs[0].find(MQCACF_AUTH_PROFILE_NAME)->text, "APP.*");
  EXPECT_EQ(recs[0].find(MQCACF_ENTITY_NAME)->text, "apps");
  EXPECT_EQ(recs[0].find(MQIACF_ENTITY_TYPE)->intValue, MQZAET_GROUP);
  EXPECT_EQ(recs[0].find(MQIACF_AUTHORIZATION_LIST)->ints, (std::vector<MQLONG>{MQAUTH_INPUT, MQAUTH_OUTPUT}));

  auto ent = f.send(Fixture::command(MQCMD_INQUIRE_ENTITY_AUTH)
                        .string(MQCACF_ENTITY_NAME, "apps")
                        .integer(MQIACF_ENTITY_TYPE, MQZAET_GROUP)
                        .integer(MQIACF_OBJECT_TYPE, MQOT_Q)
                        .string(MQCACF_AUTH_PROFILE_NAME, "APP.Q")
                        .finish());
  ASSERT_EQ(ent.size(), 1u);
  EXPECT_EQ(ent[0].find(MQIACF_AUTHORIZATION_LIST)->ints, (std::vector<MQLONG>{MQAUTH_INPUT, MQAUTH_OUTPUT}));

  std::string del = withStringList(Fixture::command(MQCMD_DELETE_AUTH_REC)
                                       .string(MQCACF_AUTH_PROFILE_NAME, "APP.*")
                                       .integer(MQIACF_OBJECT_TYPE, MQOT_Q)
                                       .finish(),
                                   MQCACF_GROUP_ENTITY_NAMES, {"apps"}, 12);
  EXPECT_EQ(f.send(del)[0].header.CompCode, MQCC_OK);
  EXPECT_EQ(f.send(del)[0].header.Reason, MQRCCF_NONE_FOUND);
  EXPECT_EQ(
      f.send(Fixture::command(MQCMD_REFRESH_SECURITY).integer(MQIACF_SECURITY_TYPE, MQSECTYPE_AUTHSERV).finish())[0]
          .header.CompCode,
      MQCC_OK);
}

TEST(AuthrecPcf, BadRequestsGetIbmReasons) {
  Fixture f;
  auto reason = [&](const std::string& body) { return f.send(body).at(0).header.Reason; };
  EXPECT_EQ(reason(Fixture::command(MQCMD_SET_AUTH_REC).string(MQCACF_AUTH_PROFILE_NAME, "X").finish()),
            MQRCCF_OBJECT_TYPE_MISSING);
  EXPECT_EQ(reason(Fixture::command(MQCMD_SET_AUTH_REC)
                       .string(MQCACF_AUTH_PROFILE_NAME, "X.**")
                       .integer(MQIACF_OBJECT_TYPE, MQOT_Q)
                       .integerList(MQIACF_AUTH_ADD_AUTHS, {MQAUTH_OUTPUT})
                       .finish()),
            MQRCCF_ENTITY_NAME_MISSING);
  EXPECT_EQ(reason(withStringList(Fixture::command(MQCMD_SET_AUTH_REC)
                                      .string(MQCACF_AUTH_PROFILE_NAME, "X.**")
                                      .integer(MQIACF_OBJECT_TYPE, MQOT_Q)
                                      .finish(),
                                  MQCACF_PRINCIPAL_ENTITY_NAMES, {"u"}, 12)),
            MQRCCF_AUTH_VALUE_MISSING);
  EXPECT_EQ(reason(withStringList(Fixture::command(MQCMD_SET_AUTH_REC)
                                      .string(MQCACF_AUTH_PROFILE_NAME, "X.**")
                                      .integer(MQIACF_OBJECT_TYPE, MQOT_Q)
                                      .integerList(MQIACF_AUTH_ADD_AUTHS, {MQAUTH_CONNECT})
                                      .finish(),
                                  MQCACF_PRINCIPAL_ENTITY_NAMES, {"u"}, 12)),
            MQRCCF_AUTH_VALUE_ERROR);
  EXPECT_EQ(reason(Fixture::command(MQCMD_INQUIRE_AUTH_RECS)
                       .integer(MQIACF_AUTH_OPTIONS, MQAUTHOPT_NAME_EXPLICIT)
                       .string(MQCACF_AUTH_PROFILE_NAME, "NOTHING")
                       .integer(MQIACF_OBJECT_TYPE, MQOT_ALL)
                       .finish()),
            MQRCCF_NONE_FOUND);
  EXPECT_EQ(reason(Fixture::command(MQCMD_REFRESH_SECURITY).integer(MQIACF_SECURITY_TYPE, 99).finish()),
            MQRCCF_PARM_VALUE_ERROR);
  EXPECT_EQ(f.first("DIS AUTHREC"), "AMQ8459I: Not found.") << "no failed request stored anything";
}

}  // namespace

namespace {

MQLONG openQueue(QueueManager& qm, ConnId conn, const std::string& name, MQLONG options) {
  MQOD od = kvarn::mqi::defaultOD();
  kvarn::mqi::setField(od.ObjectName, name);
  MQHOBJ h = MQHO_NONE;
  Outcome o = qm.open(conn, od, options, h);
  if (o.ok()) qm.close(conn, h, MQCO_NONE);
  return o.reason;
}

TEST(AuthorityChecks, ClientsNeedRecordsOnlyWhenCheckingIsOn) {
  Fixture f;
  f.first("DEFINE QLOCAL(DEV.Q)");
  const ConnectParams client{"app", "alice", "DEV.APP.SVRCONN", "127.0.0.1"};
  ConnId conn = 0;
  ASSERT_TRUE(f.qm->connect(client, conn).ok()) << "off by default";
  f.qm->disconnect(conn);

  f.qm->alterQMgr({{"AUTHCHECK", "YES"}});
  EXPECT_EQ(f.qm->connect(client, conn).reason, MQRC_NOT_AUTHORIZED);
  ConnId local = 0;
  ASSERT_TRUE(f.qm->connect({"app", "alice", "", ""}, local).ok()) << "server bindings administer";
  EXPECT_EQ(openQueue(*f.qm, local, "DEV.Q", MQOO_OUTPUT), MQRC_NONE);
  f.qm->disconnect(local);

  EXPECT_EQ(f.first("SET AUTHREC OBJTYPE(QMGR) PRINCIPAL('alice') AUTHADD(CONNECT)"),
            "AMQ8862I: IBM MQ authority record set.");
  ASSERT_TRUE(f.qm->connect(client, conn).ok());
  EXPECT_EQ(openQueue(*f.qm, conn, "DEV.Q", MQOO_OUTPUT), MQRC_NOT_AUTHORIZED);
  f.first("SET AUTHREC PROFILE('DEV.**') OBJTYPE(QUEUE) PRINCIPAL('alice') AUTHADD(PUT,INQ)");
  EXPECT_EQ(openQueue(*f.qm, conn, "DEV.Q", MQOO_OUTPUT | MQOO_INQUIRE), MQRC_NONE);
  EXPECT_EQ(openQueue(*f.qm, conn, "DEV.Q", MQOO_INPUT_AS_Q_DEF), MQRC_NOT_AUTHORIZED) << "GET was not granted";
  MQOD qmod = kvarn::mqi::defaultOD();
  qmod.ObjectType = MQOT_Q_MGR;
  MQHOBJ h = MQHO_NONE;
  EXPECT_EQ(f.qm->open(conn, qmod, MQOO_INQUIRE, h).reason, MQRC_NOT_AUTHORIZED) << "INQ on the queue manager";
  f.qm->disconnect(conn);

  // Taking CONNECT away shuts the door again; the mqm group always passes.
  f.first("SET AUTHREC OBJTYPE(QMGR) PRINCIPAL('alice') AUTHRMV(CONNECT)");
  EXPECT_EQ(f.qm->connect(client, conn).reason, MQRC_NOT_AUTHORIZED);
  ASSERT_TRUE(f.qm->connect({"app", "mqm", "DEV.ADMIN.SVRCONN", "127.0.0.1"}, conn).ok());
  f.qm->disconnect(conn);
}

TEST(AuthorityChecks, ConnectionAuthenticationSwitchesCheckingOnAtRefresh) {
  Fixture f;
  f.first("DEFINE QLOCAL(DEV.Q)");
  const ConnectParams client{"app", "alice", "DEV.APP.SVRCONN", "127.0.0.1"};
  ConnId conn = 0;
  // A development script's order: the settings first, the refresh puts them in force.
  EXPECT_EQ(f.first("DEFINE AUTHINFO(DEV.AUTHINFO) AUTHTYPE(IDPWOS) CHCKCLNT(REQUIRED) ADOPTCTX(YES)"),
            "AMQ8563I: IBM MQ authentication information object created.");
  EXPECT_EQ(f.first("ALTER QMGR CONNAUTH(DEV.AUTHINFO) CHLAUTH(ENABLED)"), "AMQ8005I: IBM MQ queue manager changed.");
  ASSERT_TRUE(f.qm->connect(client, conn).ok()) << "not in force before REFRESH SECURITY TYPE(CONNAUTH)";
  f.qm->disconnect(conn);
  EXPECT_EQ(f.first("REFRESH SECURITY TYPE(CONNAUTH)"), "AMQ8560I: IBM MQ security cache refreshed.");
  EXPECT_EQ(f.qm->connect(client, conn).reason, MQRC_NOT_AUTHORIZED);
  f.first("SET AUTHREC OBJTYPE(QMGR) PRINCIPAL('alice') AUTHADD(CONNECT)");
  f.first("REFRESH SECURITY");
  ASSERT_TRUE(f.qm->connect(client, conn).ok());
  EXPECT_EQ(openQueue(*f.qm, conn, "DEV.Q", MQOO_OUTPUT), MQRC_NOT_AUTHORIZED);
  f.qm->disconnect(conn);

  // CHCKCLNT(NONE) takes it out of force again, at the next refresh.
  f.first("ALTER AUTHINFO(DEV.AUTHINFO) AUTHTYPE(IDPWOS) CHCKCLNT(NONE)");
  f.first("SET AUTHREC OBJTYPE(QMGR) PRINCIPAL('alice') AUTHRMV(CONNECT)");
  EXPECT_EQ(f.qm->connect(client, conn).reason, MQRC_NOT_AUTHORIZED);
  f.first("REFRESH SECURITY TYPE(CONNAUTH)");
  ASSERT_TRUE(f.qm->connect(client, conn).ok());
  f.qm->disconnect(conn);
}

TEST(AuthorityChecks, ABadConnauthNameLeavesTheSettingsInForce) {
  Fixture f;
  const ConnectParams client{"app", "alice", "DEV.APP.SVRCONN", "127.0.0.1"};
  ConnId conn = 0;
  f.first("DEFINE AUTHINFO(DEV.AUTHINFO) AUTHTYPE(IDPWOS) CHCKCLNT(REQDADM)");
  f.first("ALTER QMGR CONNAUTH(DEV.AUTHINFO)");
  f.first("REFRESH SECURITY TYPE(CONNAUTH)");
  EXPECT_EQ(f.qm->connect(client, conn).reason, MQRC_NOT_AUTHORIZED);
  // A name that does not exist, or is not user id and password information, is refused
  // and never quietly switches checking off.
  f.first("ALTER QMGR CONNAUTH(NO.SUCH.AUTHINFO)");
  EXPECT_EQ(f.first("REFRESH SECURITY TYPE(CONNAUTH)"), "AMQ8147E: IBM MQ object NO.SUCH.AUTHINFO not found.");
  EXPECT_EQ(f.qm->connect(client, conn).reason, MQRC_NOT_AUTHORIZED);
  f.first("DEFINE AUTHINFO(DEV.CRL) AUTHTYPE(CRLLDAP) CONNAME('ldap.example.com')");
  f.first("ALTER QMGR CONNAUTH(DEV.CRL)");
  EXPECT_EQ(f.first("REFRESH SECURITY TYPE(CONNAUTH)"), "AMQ8151E: IBM MQ object has different type.");
  EXPECT_EQ(f.qm->connect(client, conn).reason, MQRC_NOT_AUTHORIZED);
  auto pcf =
      f.send(Fixture::command(MQCMD_REFRESH_SECURITY).integer(MQIACF_SECURITY_TYPE, MQSECTYPE_CONNAUTH).finish());
  ASSERT_EQ(pcf.size(), 1u);
  EXPECT_EQ(pcf[0].header.Reason, MQRC_OBJECT_TYPE_ERROR);
  // A blank name switches it off.
  f.first("ALTER QMGR CONNAUTH(' ')");
  EXPECT_EQ(f.first("REFRESH SECURITY TYPE(CONNAUTH)"), "AMQ8560I: IBM MQ security cache refreshed.");
  ASSERT_TRUE(f.qm->connect(client, conn).ok());
  f.qm->disconnect(conn);
}

TEST(AuthorityChecks, ConnectionAuthenticationInForceAfterARestart) {
  qmsim_test::TempHome home;
  std::string error;
  {
    auto qm = QueueManager::open("QMC", home.path() / "QMC", error);
    ASSERT_TRUE(qm) << error;
    RuntimeState state;
    ExecContext ctx{*qm, state, "tester", false};
    executeMqsc(ctx, "DEFINE AUTHINFO(DEV.AUTHINFO) AUTHTYPE(IDPWOS) CHCKCLNT(OPTIONAL)");
    executeMqsc(ctx, "ALTER QMGR CONNAUTH(DEV.AUTHINFO)");  // a restart reads it, as a refresh would
    qm->stop();
  }
  auto qm = QueueManager::open("QMC", home.path() / "QMC", error);
  ASSERT_TRUE(qm) << error;
  ConnId conn = 0;
  EXPECT_EQ(qm->connect({"app", "alice", "DEV.APP.SVRCONN", "127.0.0.1"}, conn).reason, MQRC_NOT_AUTHORIZED);
  qm->stop();
}

TEST(AuthorityRecords, DeletingAnObjectDeletesTheRecordsOfItsName) {
  Fixture f;
  f.first("DEFINE QLOCAL(DEV.Q)");
  f.first("DEFINE CHANNEL(DEV.C) CHLTYPE(CLNTCONN) CONNAME('h(1)') QMNAME(QM1)");
  f.first("DEFINE CHANNEL(DEV.C2) CHLTYPE(SVRCONN)");
  f.first("SET AUTHREC PROFILE(DEV.Q) OBJTYPE(QUEUE) PRINCIPAL('app') AUTHADD(PUT)");
  f.first("SET AUTHREC PROFILE(DEV.Q) OBJTYPE(QUEUE) GROUP('apps') AUTHADD(GET)");
  f.first("SET AUTHREC PROFILE('DEV.*') OBJTYPE(QUEUE) GROUP('apps') AUTHADD(BROWSE)");
  f.first("SET AUTHREC PROFILE(DEV.C) OBJTYPE(CLNTCONN) GROUP('apps') AUTHADD(DSP)");
  f.first("SET AUTHREC PROFILE(DEV.C2) OBJTYPE(CHANNEL) GROUP('apps') AUTHADD(DSP)");
  EXPECT_EQ(f.first("DELETE QLOCAL(DEV.Q)"), "AMQ8007I: IBM MQ queue deleted.");
  EXPECT_EQ(f.first("DIS AUTHREC PROFILE(DEV.Q) OBJTYPE(QUEUE) MATCH(EXACT)"), "AMQ8459I: Not found.");
  EXPECT_TRUE(has(f.first("DIS AUTHREC PROFILE('DEV.*') OBJTYPE(QUEUE)"), "AUTHLIST(BROWSE)"))
      << "generic profiles stay";
  // A queue defined again under the name starts with no records of its own.
  f.first("DEFINE QLOCAL(DEV.Q)");
  EXPECT_EQ(f.mqsc("DIS AUTHREC PROFILE(DEV.Q) OBJTYPE(QUEUE)").size(), 1u);
  // The client channel's records go with it, and only those of its type.
  EXPECT_EQ(f.first("DELETE CHANNEL(DEV.C)"), "AMQ8015I: IBM MQ channel deleted.");
  EXPECT_EQ(f.first("DIS AUTHREC PROFILE(DEV.C) OBJTYPE(CLNTCONN)"), "AMQ8459I: Not found.");
  EXPECT_TRUE(has(f.first("DIS AUTHREC PROFILE(DEV.C2) OBJTYPE(CHANNEL)"), "AUTHLIST(DSP)"));
  // A failed delete keeps them.
  f.first("SET AUTHREC PROFILE(DEV.Q) OBJTYPE(QUEUE) PRINCIPAL('app') AUTHADD(PUT)");
  MQMD md = kvarn::mqi::defaultMD();
  ConnId conn = 0;
  ASSERT_TRUE(f.qm->connect({"app", "mqm", "", ""}, conn).ok());
  MQOD od = kvarn::mqi::defaultOD();
  kvarn::mqi::setField(od.ObjectName, "DEV.Q");
  MQHOBJ h = MQHO_NONE;
  ASSERT_TRUE(f.qm->open(conn, od, MQOO_OUTPUT, h).ok());
  MQPMO pmo = kvarn::mqi::defaultPMO();
  ASSERT_TRUE(f.qm->put(conn, h, md, pmo, "x").ok());
  f.qm->close(conn, h, MQCO_NONE);
  f.qm->disconnect(conn);
  EXPECT_EQ(f.first("DELETE QLOCAL(DEV.Q)"), "AMQ8143E: IBM MQ queue not empty.");
  EXPECT_TRUE(has(f.first("DIS AUTHREC PROFILE(DEV.Q) OBJTYPE(QUEUE) MATCH(EXACT)"), "AUTHLIST(PUT)"));
}

}  // namespace
