// PCF round trips with the command server: the inquiries KVARN builds, the replies
// it reads, and IBM's error replies for malformed requests.
#include <gtest/gtest.h>

#include "cmdserver_test_support.h"

using namespace cmdserver_test;

namespace {

TEST(PcfRoundTrip, EscapeRepliesOnePerRecordWithLastOnTheLast) {
  Fixture f;
  auto replies = f.send(Fixture::escapeRequest("DIS QL(SYSTEM.ADMIN.*)"));
  ASSERT_GT(replies.size(), 3u);
  for (size_t i = 0; i < replies.size(); ++i) {
    const Answer& a = replies[i];
    EXPECT_EQ(a.header.Type, MQCFT_RESPONSE);
    EXPECT_EQ(a.header.Command, MQCMD_ESCAPE);
    EXPECT_EQ(a.header.MsgSeqNumber, static_cast<MQLONG>(i + 1));
    EXPECT_EQ(a.header.Control, i + 1 == replies.size() ? MQCFC_LAST : MQCFC_NOT_LAST);
    EXPECT_EQ(a.format, "MQADMIN");
    EXPECT_EQ(a.md.MsgType, MQMT_REPLY);
    EXPECT_EQ(std::string(a.md.CorrelId, a.md.CorrelId + 15), "REQUEST-ID-0001");
    ASSERT_NE(a.find(MQIACF_ESCAPE_TYPE), nullptr);
    EXPECT_EQ(a.find(MQIACF_ESCAPE_TYPE)->intValue, MQET_MQSC);
    EXPECT_EQ(a.text().rfind("AMQ8409I: Display Queue details.", 0), 0u);
  }
  auto failed = f.send(Fixture::escapeRequest("DIS QL(NONE)"));
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].header.CompCode, MQCC_FAILED);
  EXPECT_EQ(failed[0].header.Reason, MQRCCF_COMMAND_FAILED);
}

TEST(PcfRoundTrip, InquireQMgrCommandLevelAndPlatform) {
  Fixture f;
  f.qm->alterQMgr({{"PLATFORM", "WINDOWSNT"}, {"CMDLEVEL", "913"}});
  // Version 3 extended request first, with the agent parameters; then version 1.
  auto xr = f.send(Fixture::command(MQCMD_INQUIRE_Q_MGR, MQCFT_COMMAND_XR, 3)
                       .integerList(MQIACF_Q_MGR_ATTRS, {MQIA_COMMAND_LEVEL, MQIA_PLATFORM})
                       .integer(80000, 1)
                       .integer(80001, 2)
                       .finish());
  ASSERT_EQ(xr.size(), 2u);
  EXPECT_EQ(xr[0].header.Type, MQCFT_XR_MSG);
  EXPECT_EQ(xr[0].header.Version, 3);
  EXPECT_EQ(xr[0].find(MQIA_COMMAND_LEVEL)->intValue, 913);
  EXPECT_EQ(xr[0].find(MQIA_PLATFORM)->intValue, MQPL_WINDOWS_NT);
  EXPECT_EQ(xr[0].find(MQCA_Q_MGR_NAME)->text, "QM1");
  EXPECT_EQ(xr[1].header.Type, MQCFT_XR_SUMMARY);
  EXPECT_EQ(xr[1].header.Control, MQCFC_LAST);
  auto v1 =
      f.send(Fixture::command(MQCMD_INQUIRE_Q_MGR).integerList(MQIACF_Q_MGR_ATTRS, {MQIA_COMMAND_LEVEL}).finish());
  ASSERT_EQ(v1.size(), 1u);
  EXPECT_EQ(v1[0].header.Type, MQCFT_RESPONSE);
  EXPECT_EQ(v1[0].header.Control, MQCFC_LAST);
  EXPECT_EQ(v1[0].find(MQIA_COMMAND_LEVEL)->intValue, 913);
  EXPECT_EQ(v1[0].find(MQIA_PLATFORM), nullptr);
}

TEST(PcfRoundTrip, InquireQueueDepthAndGenericNames) {
  Fixture f;
  f.mqsc("DEF QL(D1)");
  f.mqsc("DEF QL(D2)");
  f.mqsc("DEF QA(D3) TARGET(D1)");
  ConnId conn = 0;
  f.qm->connect({"app", "u", "", ""}, conn);
  MQOD od = kvarn::mqi::defaultOD();
  kvarn::mqi::setField(od.ObjectName, "D1");
  MQHOBJ h = MQHO_NONE;
  ASSERT_TRUE(f.qm->open(conn, od, MQOO_OUTPUT, h).ok());
  for (int i = 0; i < 3; ++i) {
    MQMD md = kvarn::mqi::defaultMD();
    MQPMO pmo = kvarn::mqi::defaultPMO();
    f.qm->put(conn, h, md, pmo, "m");
  }
  auto one = f.send(Fixture::command(MQCMD_INQUIRE_Q)
                        .string(MQCA_Q_NAME, "D1")
                        .integerList(MQIACF_Q_ATTRS, {MQIA_CURRENT_Q_DEPTH})
                        .finish());
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].find(MQIA_CURRENT_Q_DEPTH)->intValue, 3);
  auto all = f.send(Fixture::command(MQCMD_INQUIRE_Q)
                        .string(MQCA_Q_NAME, "D*")
                        .integerList(MQIACF_Q_ATTRS, {MQIA_CURRENT_Q_DEPTH})
                        .finish());
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[2].find(MQCA_Q_NAME)->text, "D3");
  EXPECT_EQ(all[2].find(MQIA_CURRENT_Q_DEPTH), nullptr) << "an alias has no depth";
  EXPECT_EQ(all[2].header.Control, MQCFC_LAST);
  auto missing = f.send(Fixture::command(MQCMD_INQUIRE_Q).string(MQCA_Q_NAME, "NOPE").finish());
  EXPECT_EQ(missing[0].header.Reason, MQRC_UNKNOWN_OBJECT_NAME);

  // CLEAR refuses an open queue with 4004, then empties it once closed.
  auto open = f.send(Fixture::command(MQCMD_CLEAR_Q).string(MQCA_Q_NAME, "D1").finish());
  EXPECT_EQ(open[0].header.CompCode, MQCC_FAILED);
  EXPECT_EQ(open[0].header.Reason, MQRCCF_OBJECT_OPEN);
  f.qm->close(conn, h, MQCO_NONE);
  auto reset = f.send(Fixture::command(MQCMD_RESET_Q_STATS).string(MQCA_Q_NAME, "D1").finish());
  ASSERT_EQ(reset.size(), 1u);
  EXPECT_EQ(reset[0].find(MQIA_MSG_ENQ_COUNT)->intValue, 3);
  EXPECT_EQ(reset[0].find(MQIA_HIGH_Q_DEPTH)->intValue, 3);
  EXPECT_EQ(f.send(Fixture::command(MQCMD_RESET_Q_STATS).string(MQCA_Q_NAME, "D1").finish())[0]
                .find(MQIA_MSG_ENQ_COUNT)
                ->intValue,
            0);
  auto cleared = f.send(Fixture::command(MQCMD_CLEAR_Q).string(MQCA_Q_NAME, "D1").finish());
  EXPECT_EQ(cleared[0].header.CompCode, MQCC_OK);
  EXPECT_EQ(f.qm->queueStatus("D1")->depth, 0);
  EXPECT_EQ(f.send(Fixture::command(MQCMD_CLEAR_Q).string(MQCA_Q_NAME, "D3").finish())[0].header.Reason,
            MQRCCF_Q_WRONG_TYPE);
  f.qm->disconnect(conn);
}

TEST(PcfRoundTrip, NameInquiriesOfEveryList) {
  Fixture f;
  f.mqsc("DEF TOPIC(T1) TOPICSTR('a')");
  f.mqsc("DEF SUB(S1) TOPICSTR('a')");
  f.mqsc("DEF LISTENER(L1) TRPTYPE(TCP)");
  f.mqsc("START LISTENER(L1)");
  f.mqsc("SET CHLAUTH(C1) TYPE(BLOCKUSER) USERLIST(bad)");
  struct Case {
    MQLONG command, nameParam;
    const char* expected;
  };
  const Case cases[] = {
      {MQCMD_INQUIRE_Q, MQCA_Q_NAME, "SYSTEM.ADMIN.ACCOUNTING.QUEUE"},
      {MQCMD_INQUIRE_CHANNEL, MQCACH_CHANNEL_NAME, "SYSTEM.ADMIN.SVRCONN"},
      {MQCMD_INQUIRE_CHLAUTH_RECS, MQCACH_CHANNEL_NAME, "C1"},
      {MQCMD_INQUIRE_AUTH_INFO, MQCA_AUTH_INFO_NAME, "SYSTEM.DEFAULT.AUTHINFO.CRLLDAP"},
      {MQCMD_INQUIRE_COMM_INFO, MQCA_COMM_INFO_NAME, "SYSTEM.DEFAULT.COMMINFO.MULTICAST"},
      {MQCMD_INQUIRE_NAMELIST, MQCA_NAMELIST_NAME, "SYSTEM.DEFAULT.NAMELIST"},
      {MQCMD_INQUIRE_PROCESS, MQCA_PROCESS_NAME, "SYSTEM.DEFAULT.PROCESS"},
      {MQCMD_INQUIRE_LISTENER, MQCACH_LISTENER_NAME, "L1"},
      {MQCMD_INQUIRE_LISTENER_STATUS, MQCACH_LISTENER_NAME, "L1"},
      {MQCMD_INQUIRE_SERVICE, MQCA_SERVICE_NAME, "SYSTEM.DEFAULT.SERVICE"},
      {MQCMD_INQUIRE_SUBSCRIPTION, MQCACF_SUB_NAME, "S1"},
      {MQCMD_INQUIRE_TOPIC, MQCA_TOPIC_NAME, "SYSTEM.BASE.TOPIC"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    PcfWriter w = Fixture::command(c.command);
    w.string(c.nameParam, "*");
    auto replies = f.send(w.finish());
    ASSERT_FALSE(replies.empty());
    EXPECT_EQ(replies.back().header.Control, MQCFC_LAST);
    EXPECT_EQ(replies[0].find(c.nameParam)->text, c.expected);
  }
  auto none = f.send(Fixture::command(MQCMD_INQUIRE_CLUSTER_Q_MGR).string(MQCA_CLUSTER_Q_MGR_NAME, "*").finish());
  EXPECT_EQ(none[0].header.CompCode, MQCC_FAILED);
}

TEST(PcfErrors, MalformedRequestsGetErrorRepliesNotCrashes) {
  Fixture f;
  auto one = [&](const std::string& body, const char* format = MQFMT_ADMIN) {
    auto r = f.send(body, format);
    EXPECT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].header.CompCode, MQCC_FAILED);
    EXPECT_EQ(r[0].header.Control, MQCFC_LAST);
    return r[0].header.Reason;
  };
  EXPECT_EQ(one("short"), MQRCCF_MSG_LENGTH_ERROR);
  EXPECT_EQ(one(Fixture::escapeRequest("DIS QMGR"), MQFMT_STRING), MQRCCF_MD_FORMAT_ERROR);
  std::string body = Fixture::escapeRequest("DIS QMGR");
  std::string badType = body;
  badType[0] = 9;
  EXPECT_EQ(one(badType), MQRCCF_CFH_TYPE_ERROR);
  EXPECT_EQ(one(body.substr(0, body.size() - 4)), MQRCCF_CFST_LENGTH_ERROR);
  EXPECT_EQ(one(body + "xxxx"), MQRCCF_CFH_PARM_COUNT_ERROR);
  EXPECT_EQ(one(Fixture::command(MQCMD_ESCAPE).integer(MQIACF_ESCAPE_TYPE, 2).string(MQCACF_ESCAPE_TEXT, "x").finish()),
            MQRCCF_ESCAPE_TYPE_ERROR);
  EXPECT_EQ(one(Fixture::command(MQCMD_ESCAPE).integer(MQIACF_ESCAPE_TYPE, 1).finish()), MQRCCF_PARM_COUNT_TOO_SMALL);
  EXPECT_EQ(one(Fixture::command(4242).finish()), MQRCCF_CFH_COMMAND_ERROR);
  EXPECT_EQ(one(Fixture::command(MQCMD_INQUIRE_Q).integer(MQIA_Q_TYPE, 1).finish()), MQRCCF_PARM_COUNT_TOO_SMALL);
  // An integer list whose count runs past the message.
  std::string list = Fixture::command(MQCMD_INQUIRE_Q_MGR).integerList(MQIACF_Q_MGR_ATTRS, {1, 2}).finish();
  MQLONG huge = 0x7fffffff;
  std::memcpy(list.data() + sizeof(MQCFH) + 12, &huge, 4);
  EXPECT_EQ(one(list), MQRCCF_CFIL_COUNT_ERROR);
}

// A string list (MQCFSL) is checked against the bytes it really holds: a huge count of
// empty strings or of strings running past the structure is refused, not allocated.
TEST(PcfErrors, StringListCountsMustFitTheStructure) {
  Fixture f;
  auto stringList = [](MQLONG count, MQLONG strLen, const std::string& strings) {
    std::string body = Fixture::command(MQCMD_INQUIRE_Q_NAMES).string(MQCA_Q_NAME, "*").finish();
    MQCFH h;
    std::memcpy(&h, body.data(), sizeof h);
    ++h.ParameterCount;
    std::memcpy(body.data(), &h, sizeof h);
    std::string padded = strings;
    padded.append((4 - padded.size() % 4) % 4, ' ');
    MQLONG fields[] = {MQCFT_STRING_LIST, static_cast<MQLONG>(24 + padded.size()), MQCACF_Q_NAMES, 0, count, strLen};
    body.append(reinterpret_cast<const char*>(fields), sizeof fields);
    return body + padded;
  };
  auto reason = [&](const std::string& body) {
    auto r = f.send(body, MQFMT_ADMIN);
    EXPECT_EQ(r.size(), 1u);
    if (r.empty()) return MQLONG{-1};
    EXPECT_EQ(r[0].header.CompCode, MQCC_FAILED);
    return r[0].header.Reason;
  };
  EXPECT_EQ(reason(stringList(0x7fffffff, 0, "")), MQRCCF_CFSL_COUNT_ERROR);
  EXPECT_EQ(reason(stringList(1, 0, "")), MQRCCF_CFSL_COUNT_ERROR);
  EXPECT_EQ(reason(stringList(-1, 4, "ABCD")), MQRCCF_CFSL_COUNT_ERROR);
  EXPECT_EQ(reason(stringList(2, -4, "ABCD")), MQRCCF_CFSL_STRING_LENGTH_ERR);
  EXPECT_EQ(reason(stringList(3, 4, "ABCDEFGH")), MQRCCF_CFSL_TOTAL_LENGTH_ERROR);
  EXPECT_EQ(reason(stringList(0x40000000, 4, "ABCDEFGH")), MQRCCF_CFSL_TOTAL_LENGTH_ERROR);
}

}  // namespace
