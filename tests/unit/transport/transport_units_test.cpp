// The pieces of the transport that need no queue manager: where the MQ library is
// looked for, the =conn options and the MQCD version rule, reply-queue names, request
// identifiers and connection matching.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "transport/conn_options.h"
#include "transport/connect.h"
#include "transport/connection.h"
#include "transport/fleet.h"
#include "transport/mq_library.h"
#include "transport/request_id.h"

namespace {

struct EnvGuard {
  explicit EnvGuard(std::initializer_list<const char *> names) {
    for (const char *n : names) {
      const char *v = std::getenv(n);
      saved.push_back({n, v ? std::optional<std::string>(v) : std::nullopt});
      ::unsetenv(n);
    }
  }
  ~EnvGuard() {
    for (auto &[n, v] : saved) v ? ::setenv(n.c_str(), v->c_str(), 1) : ::unsetenv(n.c_str());
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST(LibrarySearch, OrderFollowsTheEnvironment) {
  EnvGuard env{"MQM_DLL_PATH", "MQIC_DLL_PATH", "MQ_INSTALLATION_PATH"};
  auto plain = mqLibraryCandidates(MqBinding::Server, "/k/bin");
  ASSERT_EQ(plain.size(), 2u);
  EXPECT_EQ(plain[0], "/opt/mqm/lib64/libmqm_r.so");
  EXPECT_EQ(plain[1], "/k/lib/kvarn/libmqm_r.so");

  // Once one of IBM MQ's variables is set, the place it names is the only one: a
  // mistyped setting must not end up talking to the simulator.
  ::setenv("MQ_INSTALLATION_PATH", "/inst", 1);
  EXPECT_EQ(mqLibraryCandidates(MqBinding::Client, "/k/bin"), std::vector<std::string>{"/inst/lib64/libmqic_r.so"});
  ::setenv("MQIC_DLL_PATH", "/client/", 1);
  EXPECT_EQ(mqLibraryCandidates(MqBinding::Client, "/k/bin"), std::vector<std::string>{"/client/libmqic_r.so"});
  // The client path does not steer the server library.
  EXPECT_EQ(mqLibraryCandidates(MqBinding::Server, "/k/bin"), std::vector<std::string>{"/inst/lib64/libmqm_r.so"});
  ::unsetenv("MQ_INSTALLATION_PATH");
  EXPECT_EQ(mqLibraryCandidates(MqBinding::Server, "/k/bin"), std::vector<std::string>{"/opt/mqm/lib64/libmqm_r.so"});
}

TEST(ConnOptions, NamesAreCutAndWaitHasAFloor) {
  Connection t;
  EXPECT_TRUE(applyConnOption(t, "QM", std::string(60, 'Q'), true));
  EXPECT_EQ(t.targetQmgr.size(), 48u);
  applyConnOption(t, "wait", "0", true);
  EXPECT_EQ(t.waitSeconds, 1);
  applyConnOption(t, "wait", "-5", true);
  EXPECT_EQ(t.waitSeconds, 1);
  EXPECT_FALSE(applyConnOption(t, "bogus", "x", true));
  EXPECT_FALSE(t.clientBinding);
  applyConnOption(t, "user", "", true);
  EXPECT_TRUE(t.forgetCredentials);
}

TEST(ConnOptions, ChannelFieldsRaiseTheMqcdVersion) {
  struct Case {
    const char *option;
    MQLONG version;
  } cases[] = {{"channel", 6}, {"scyexit", 6}, {"conname", 6}, {"sslciph", 7}, {"sharecnv", 9}, {"certlabl", 11}};
  for (const auto &c : cases) {
    Connection t;
    ASSERT_EQ(t.channelDef.Version, 6);
    applyConnOption(t, c.option, "1", true);
    EXPECT_EQ(t.channelDef.Version, c.version) << c.option;
    EXPECT_TRUE(t.clientBinding) << c.option;
    EXPECT_TRUE(t.useChannelDef) << c.option;
  }
  Connection t;
  applyConnOption(t, "channel", "A.VERY.LONG.CHANNEL.NAME.INDEED", true);
  EXPECT_EQ(std::string(t.channelDef.ChannelName, 20), "A.VERY.LONG.CHANNEL.");
  EXPECT_EQ(mqcdVersionForOffset(offsetof(MQCD, SendUserData)), 1);
  EXPECT_EQ(mqcdVersionForOffset(offsetof(MQCD, MsgRetryInterval)), 3);
  EXPECT_EQ(mqcdVersionForOffset(offsetof(MQCD, SPLProtection)), 12);
}

TEST(ConnOptions, CompressionSetsTheChannelButNotClientBindings) {
  Connection t;
  applyConnOption(t, "compmsg", "zlibhigh", true);
  EXPECT_EQ(t.channelDef.MsgCompList[0], MQCOMPRESS_ZLIBHIGH);
  EXPECT_TRUE(t.useChannelDef);
  EXPECT_FALSE(t.clientBinding);
  EXPECT_EQ(t.channelDef.Version, 8);
  Connection u;
  applyConnOption(u, "comphdr", "other", true);
  EXPECT_FALSE(u.useChannelDef);
  EXPECT_EQ(u.channelDef.HdrCompList[0], 0);
}

TEST(Matching, ConnectionNameIsNotCompared) {
  Connection a, b;
  applyConnOption(a, "conname", "hostA(1414)", true);
  applyConnOption(b, "conname", "hostB(1515)", true);
  EXPECT_TRUE(connectionMatches(a, b));
  applyConnOption(b, "channel", "OTHER", true);
  EXPECT_FALSE(connectionMatches(a, b));
  Connection c, d;
  c.connectedQmgr = "QMB";
  d.viaQmgr = "QMB";
  EXPECT_TRUE(connectionMatches(c, d));  // via names the queue manager already connected
  d.userId = "bob";
  d.hasUserId = true;
  EXPECT_FALSE(connectionMatches(c, d));
  c.closing = true;
  EXPECT_FALSE(connectionMatches(c, c));
}

std::string expand(const char *pattern) {
  MQCHAR48 name;
  expandReplyPrefix(pattern, name);
  return std::string(name, strnlen(name, 48));
}

TEST(ReplyPrefix, Expansion) {
  EnvGuard env{"KVARN_REPLY_PREFIX"};
  std::string upper = loginName();
  for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(expand(""), "KVARN." + upper + ".*");
  ::setenv("KVARN_REPLY_PREFIX", "MY.%u.%%.%x*", 1);
  EXPECT_EQ(expand(""), "MY." + loginName() + ".%.x*");
  EXPECT_EQ(expand("END%"), "END");
  std::string cut = expand("ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(cut.size(), 48u);
}

TEST(RequestIds, RoundTripAndRunStampFilter) {
  RequestId id{0x12345678u, 77, 0x1122334455667788ull, 7};
  MQBYTE24 bytes;
  encodeRequestId(id, bytes);
  RequestId back = decodeRequestId(bytes);
  EXPECT_EQ(back.sequence, 77u);
  EXPECT_EQ(back.context, 0x1122334455667788ull);
  EXPECT_EQ(back.handler, 7);
  for (int i = 18; i < 24; ++i) EXPECT_EQ(bytes[i], 0);
  EXPECT_TRUE(isOwnReply(bytes, 0x12345678u));
  EXPECT_FALSE(isOwnReply(bytes, 0x12345679u));
  // A handler index past the table goes to the default slot.
  id.handler = 200;
  encodeRequestId(id, bytes);
  EXPECT_EQ(decodeRequestId(bytes).handler, 0);
}

}  // namespace

TEST(FleetNames, AListIsSplitAtCommasEachNameTrimmedAndCutOnItsOwn) {
  EXPECT_EQ(splitQmgrList("QM1,QM2, QM3 "), (std::vector<std::string>{"QM1", "QM2", "QM3"}));
  // Empty names between commas are no members; a lone name is a fleet of one.
  EXPECT_EQ(splitQmgrList(",QM1,,  ,QM2,"), (std::vector<std::string>{"QM1", "QM2"}));
  EXPECT_EQ(splitQmgrList("QM1"), (std::vector<std::string>{"QM1"}));
  EXPECT_TRUE(splitQmgrList(" , ,").empty());
  std::string longName(60, 'Q');
  EXPECT_EQ(splitQmgrList(longName + ",QM2", 50), (std::vector<std::string>{std::string(50, 'Q'), "QM2"}));
}

TEST(FleetNames, DeleteClearAndStopAreDestructiveWhateverTheirCase) {
  for (const char *text : {"DELETE QLOCAL(A)", "  delete ql(A)", "CLEAR QLOCAL(A)", "Stop CHANNEL(X)", "DELETE(A)"})
    EXPECT_TRUE(isDestructiveCommand(text)) << text;
  for (const char *text : {"DISPLAY QLOCAL(DELETE)", "DEFINE QLOCAL(STOP)", "DELETED QLOCAL(A)", "", "START CHL(X)"})
    EXPECT_FALSE(isDestructiveCommand(text)) << text;
}
