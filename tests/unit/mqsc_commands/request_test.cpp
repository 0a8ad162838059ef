#include <gtest/gtest.h>

#include "mqsc/mqsc_host.h"
#include "mqsc/prepare_steps.h"
#include "mqsc/request.h"
#include "mqsc/response.h"
#include "test_support.h"

namespace {

MqscTarget distributed() {
  MqscTarget t;
  t.platform = MQPL_UNIX;
  t.commandLevel = 930;
  return t;
}
MqscTarget zos() {
  MqscTarget t;
  t.platform = MQPL_ZOS;
  t.commandLevel = 930;
  return t;
}

// Checks an MQCFH written by the program's builders.
void expectHeader(const std::vector<uint8_t> &m, int32_t type, int32_t version, int32_t command, int32_t count) {
  ASSERT_GE(m.size(), 36u);
  MQCFH h = headerOf(m);
  EXPECT_EQ(h.Type, type);
  EXPECT_EQ(h.StrucLength, 36);
  EXPECT_EQ(h.Version, version);
  EXPECT_EQ(h.Command, command);
  EXPECT_EQ(h.MsgSeqNumber, 1);
  EXPECT_EQ(h.Control, MQCFC_LAST);
  EXPECT_EQ(h.CompCode, 0);
  EXPECT_EQ(h.Reason, 0);
  EXPECT_EQ(h.ParameterCount, count);
}

// Checks an MQCFST at `offset`; returns the offset after it.
size_t expectString(const std::vector<uint8_t> &m, size_t offset, int32_t parameter, const std::string &text) {
  size_t padded = (text.size() + 3) & ~size_t{3};
  EXPECT_EQ(intAt(m, offset), MQCFT_STRING);
  EXPECT_EQ(intAt(m, offset + 4), static_cast<int32_t>(20 + padded));
  EXPECT_EQ(intAt(m, offset + 8), parameter);
  EXPECT_EQ(intAt(m, offset + 12), 0);
  EXPECT_EQ(intAt(m, offset + 16), static_cast<int32_t>(text.size()));
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(m.data() + offset + 20), text.size()), text);
  return offset + 20 + padded;
}

size_t expectIntList(const std::vector<uint8_t> &m, size_t offset, int32_t parameter, std::vector<int32_t> values) {
  EXPECT_EQ(intAt(m, offset), MQCFT_INTEGER_LIST);
  EXPECT_EQ(intAt(m, offset + 4), static_cast<int32_t>(16 + 4 * values.size()));
  EXPECT_EQ(intAt(m, offset + 8), parameter);
  EXPECT_EQ(intAt(m, offset + 12), static_cast<int32_t>(values.size()));
  for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(intAt(m, offset + 16 + 4 * i), values[i]);
  return offset + 16 + 4 * values.size();
}

TEST(RequestBytes, EscapeRequestAndZosText) {
  auto m = buildEscapeRequest("DIS QL(A)");
  expectHeader(m, MQCFT_COMMAND, 1, MQCMD_ESCAPE, 2);
  EXPECT_EQ(intAt(m, 36), MQCFT_INTEGER);
  EXPECT_EQ(intAt(m, 40), 16);
  EXPECT_EQ(intAt(m, 44), MQIACF_ESCAPE_TYPE);
  EXPECT_EQ(intAt(m, 48), MQET_MQSC);
  size_t end = expectString(m, 52, MQCACF_ESCAPE_TEXT, "DIS QL(A)");
  EXPECT_EQ(end, m.size());
  EXPECT_EQ(m.size() % 4, 0u);

  TestContext tc;
  CommandRecord rec;
  std::string text = "DIS QL(A)";
  auto r = prepareMqscCommand(tc.ctx, zos(), rec, text, nullptr);
  ASSERT_EQ(r.outcome, PrepareOutcome::Send);
  EXPECT_EQ(r.request.format, MQFMT_STRING);
  EXPECT_EQ(std::string(r.request.message.begin(), r.request.message.end()), "DIS QL(A)");
  EXPECT_EQ(r.request.handler, kHandlerMqsc);

  // Towards TOLK even a z/OS connection sends PCF, to TOLK's queue.
  MqscTarget tolk = zos();
  tolk.tolkMode = true;
  text = "DIS EV(*)";
  CommandRecord rec2;
  r = prepareMqscCommand(tc.ctx, tolk, rec2, text, nullptr);
  EXPECT_EQ(r.request.format, MQFMT_ADMIN);
  EXPECT_EQ(r.request.queue, CommandQueue::Tolk);
  expectHeader(r.request.message, MQCFT_COMMAND, 1, MQCMD_ESCAPE, 2);
}

TEST(RequestBytes, InternalRequests) {
  auto level = buildCommandLevelRequest(3);
  EXPECT_EQ(level.size(), 60u);
  expectHeader(level, MQCFT_COMMAND_XR, 3, MQCMD_INQUIRE_Q_MGR, 1);
  expectIntList(level, 36, MQIACF_Q_MGR_ATTRS, {MQIA_COMMAND_LEVEL, MQIA_PLATFORM});
  expectHeader(buildCommandLevelRequest(1), MQCFT_COMMAND_XR, 1, MQCMD_INQUIRE_Q_MGR, 1);

  auto tolk = buildTolkLevelRequest();
  expectHeader(tolk, MQCFT_COMMAND, 1, 9000, 1);
  expectIntList(tolk, 36, 39100, {39304});

  auto depth = buildQueueDepthRequest("APP.Q", false);
  expectHeader(depth, MQCFT_COMMAND, 1, MQCMD_INQUIRE_Q, 2);
  size_t at = expectString(depth, 36, MQCA_Q_NAME, "APP.Q");
  EXPECT_EQ(expectIntList(depth, at, MQIACF_Q_ATTRS, {MQIA_CURRENT_Q_DEPTH}), depth.size());
  expectHeader(buildQueueDepthRequest("APP.Q", true), MQCFT_COMMAND_XR, 3, MQCMD_INQUIRE_Q, 2);

  auto clear = buildClearQueueRequest("Q1234", false);
  expectHeader(clear, MQCFT_COMMAND, 1, MQCMD_CLEAR_Q, 1);
  EXPECT_EQ(expectString(clear, 36, MQCA_Q_NAME, "Q1234"), clear.size());
  expectHeader(buildClearQueueRequest("Q", true), MQCFT_COMMAND_XR, 3, MQCMD_CLEAR_Q, 1);

  NameListDef withSelector{"queue", MQCMD_INQUIRE_Q_NAMES, 1, MQCA_Q_NAME, 0};
  auto names = buildNameListRequest(withSelector, false);
  expectHeader(names, MQCFT_COMMAND, 1, MQCMD_INQUIRE_Q_NAMES, 1);
  expectString(names, 36, MQCA_Q_NAME, "*");
  NameListDef noSelector{"x", 77, 0, 2000, 0};
  expectHeader(buildNameListRequest(noSelector, false), MQCFT_COMMAND, 1, 77, 0);
}

TEST(PrepareCommand, ResetQstats) {
  TestContext tc;
  CommandRecord rec;
  std::string text = "reset qstats(q1)";
  auto r = prepareMqscCommand(tc.ctx, distributed(), rec, text, nullptr);
  ASSERT_EQ(r.outcome, PrepareOutcome::Send);
  expectHeader(r.request.message, MQCFT_COMMAND, 1, MQCMD_RESET_Q_STATS, 1);
  // Unquoted names are folded as MQSC folds them; quoted ones are kept exactly.
  EXPECT_EQ(expectString(r.request.message, 36, MQCA_Q_NAME, "Q1"), r.request.message.size());
  text = "RESET QSTATS ( 'my.q' )";
  CommandRecord rec2;
  r = prepareMqscCommand(tc.ctx, distributed(), rec2, text, nullptr);
  expectString(r.request.message, 36, MQCA_Q_NAME, "my.q");

  text = "RESET QSTATS(Q1) X";
  CommandRecord bad;
  r = prepareMqscCommand(tc.ctx, distributed(), bad, text, nullptr);
  EXPECT_EQ(r.outcome, PrepareOutcome::Failed);
  EXPECT_TRUE(bad.complete());
  EXPECT_FALSE(bad.succeeded);
  std::string out = tc.sink->joined();
  EXPECT_NE(out.find("AMQ8405: Syntax error detected at or near command segment below :-\nRESET QSTATS(Q1) X\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("AMQ8427: Valid syntax for the MQSC command:\n"), std::string::npos);
  EXPECT_NE(out.find("  RESET QSTATS( generic_q_name )"), std::string::npos);
  EXPECT_EQ(tc.ctx.failed, 1u);
  EXPECT_TRUE(tc.ctx.statusFlags & kStatusCommandFailed);

  // On z/OS the command server parses it.
  text = "RESET QSTATS(Q1) X";
  CommandRecord onZos;
  r = prepareMqscCommand(tc.ctx, zos(), onZos, text, nullptr);
  ASSERT_EQ(r.outcome, PrepareOutcome::Send);
  EXPECT_EQ(r.request.format, MQFMT_STRING);
}

TEST(PrepareCommand, GenericNamesAreCutAndFiltered) {
  TestContext tc;
  CommandRecord rec;
  std::string text = "DIS QL(PAY*.IN) CURDEPTH";
  ASSERT_EQ(prepareMqscCommand(tc.ctx, distributed(), rec, text, nullptr).outcome, PrepareOutcome::Send);
  EXPECT_EQ(text, "DIS QL(PAY*) CURDEPTH");
  EXPECT_EQ(rec.nameFilters, std::vector<std::string>{"QUEUE(PAY*.IN"});
  EXPECT_TRUE(rec.has(kMarkHasModifiers));

  // The filter keeps only the matching records.
  std::string replies[] = {"AMQ8409I: Display Queue details.\n   QUEUE(PAY.A.IN)   TYPE(QLOCAL)",
                           "AMQ8409I: Display Queue details.\n   QUEUE(PAY.A.OUT)   TYPE(QLOCAL)"};
  MqscTarget t = distributed();
  MQMD md = replyMd(MQFMT_ADMIN);
  auto r1 = escapeReply(replies[0], 0), r2 = escapeReply(replies[1], MQCFC_LAST);
  EXPECT_FALSE(handleMqscResponse(tc.ctx, rec, t, md, r1.data(), r1.size()));
  EXPECT_TRUE(handleMqscResponse(tc.ctx, rec, t, md, r2.data(), r2.size()));
  EXPECT_EQ(rec.recordCount, 1u);
  EXPECT_NE(tc.sink->joined().find("PAY.A.IN"), std::string::npos);
  EXPECT_EQ(tc.sink->joined().find("PAY.A.OUT"), std::string::npos);

  text = "dis ql(pay*)";
  CommandRecord plain;
  prepareMqscCommand(tc.ctx, distributed(), plain, text, nullptr);
  EXPECT_EQ(text, "dis ql(pay*)");
  EXPECT_TRUE(plain.nameFilters.empty());

  text = "DIS CHS('a?b') ALL";
  CommandRecord quoted;
  prepareMqscCommand(tc.ctx, zos(), quoted, text, nullptr);
  EXPECT_EQ(text, "DIS CHS('a*') ALL");
  EXPECT_EQ(quoted.nameFilters, std::vector<std::string>{"CHSTATUS(a?b"});

  // Not for other verbs, not towards TOLK, not for keywords without a row.
  for (std::string cmd : {"ALTER QL(A*B) DESCR(x)", "DIS QL(X) DESCR(A*B)"}) {
    CommandRecord r;
    std::string copy = cmd;
    prepareMqscCommand(tc.ctx, distributed(), r, copy, nullptr);
    EXPECT_EQ(copy, cmd);
  }
  MqscTarget tolk = distributed();
  tolk.tolkMode = true;
  text = "DIS Q(A*B)";
  CommandRecord tr;
  prepareMqscCommand(tc.ctx, tolk, tr, text, nullptr);
  EXPECT_EQ(text, "DIS Q(A*B)");

  EXPECT_TRUE(wildcardMatch("PAY*.IN", "PAY.X.IN"));
  EXPECT_FALSE(wildcardMatch("PAY*.IN", "PAY.X.INX"));
  EXPECT_TRUE(wildcardMatch("A?C*", "ABC"));
  EXPECT_FALSE(wildcardMatch("A?C", "AC"));
}

// A queue manager that answers the namelist DISPLAY with canned replies.
struct FakeExchange : MqscExchange {
  std::vector<std::vector<uint8_t>> replies;
  std::string format = MQFMT_ADMIN;
  std::vector<std::string> sent;
  uint16_t handler = 0;
  bool inquire(const PreparedRequest &request,
               const std::function<bool(const MQMD &, const uint8_t *, size_t)> &onReply) override {
    const auto &m = request.message;
    sent.emplace_back(request.format == MQFMT_STRING ? std::string(m.begin(), m.end())
                                                     : std::string(m.begin() + 72, m.end()));
    handler = request.handler;
    MQMD md = replyMd(format.c_str());
    for (const auto &r : replies)
      if (onReply(md, r.data(), r.size())) return true;
    return false;
  }
};

std::string namelistDetails(const std::string &names) {
  return "AMQ8550I: Display namelist details.\n   NAMELIST(L1)   NAMES(" + names + ")\n   DESCR( )";
}

TEST(PrepareCommand, NamelistAddAndRemove) {
  TestContext tc;
  FakeExchange ex;
  ex.replies.push_back(escapeReply(namelistDetails("A\n   ,C"), MQCFC_LAST));

  CommandRecord rec;
  std::string text = "ALTER NL(L1) =ADD(A,B)";
  auto r = prepareMqscCommand(tc.ctx, distributed(), rec, text, &ex);
  ASSERT_EQ(r.outcome, PrepareOutcome::Send) << tc.sink->joined();
  ASSERT_EQ(ex.sent.size(), 1u);
  EXPECT_EQ(ex.sent[0].substr(0, std::string("DISPLAY NAMELIST(L1) NAMES").size()), "DISPLAY NAMELIST(L1) NAMES");
  EXPECT_EQ(ex.handler, kHandlerNamelistMerge);
  EXPECT_EQ(text, "ALTER NL(L1) NAMES('A','C',B)");

  text = "alter namelist(L1) =rmv(a,C) DESCR('x')";
  CommandRecord rec2;
  prepareMqscCommand(tc.ctx, distributed(), rec2, text, &ex);
  EXPECT_EQ(text, "alter namelist(L1)  DESCR('x') NAMES(' ')");

  // A quoted name is taken exactly: 'a' is not A.
  text = "ALTER NL(L1) =ADD('a') =RMV('c')";
  CommandRecord rec3;
  prepareMqscCommand(tc.ctx, distributed(), rec3, text, &ex);
  EXPECT_EQ(text, "ALTER NL(L1) NAMES('A','C','a')");
}

TEST(PrepareCommand, NamelistErrors) {
  TestContext tc;
  FakeExchange ex;
  ex.replies.push_back(escapeReply(namelistDetails("A"), MQCFC_LAST));
  auto failsWith = [&](std::string text, const std::string &message) {
    CommandRecord rec;
    auto r = prepareMqscCommand(tc.ctx, distributed(), rec, text, &ex);
    EXPECT_EQ(r.outcome, PrepareOutcome::Failed) << text;
    EXPECT_TRUE(rec.complete());
    EXPECT_NE(tc.sink->joined().find(message), std::string::npos) << tc.sink->joined();
    tc.sink->lines.clear();
  };
  failsWith("ALTER NL(L1) NAMES(X) =ADD(B)", "You can not specify NAMES() if using =ADD() or =RMV()");
  failsWith("ALTER NL(L1) =ADD(B) =ADD(C)", "only one =add() modifier is allowed per command");
  failsWith("ALTER NL(L1) =RMV(B) =rmv(C)", "only one =rmv() modifier is allowed per command");

  std::string many;
  for (int i = 0; i < 256; ++i) many += (i ? "," : "") + std::string("N") + std::to_string(i);
  failsWith("ALTER NL(L1) =ADD(" + many + ")", "A namelist can only contain 256 names");

  // The queue manager's own words are shown when the namelist is not there.
  ex.replies.clear();
  ex.replies.push_back(escapeReply("AMQ8147E: IBM MQ object L9 not found.", MQCFC_LAST, MQCC_FAILED, 3008));
  failsWith("ALTER NL(L9) =ADD(B)", "AMQ8147E: IBM MQ object L9 not found.");

  // A short reply to the DISPLAY.
  ex.replies.clear();
  ex.replies.push_back(std::vector<uint8_t>(10, 0));
  failsWith("ALTER NL(L1) =ADD(B)", "Command processing RC(2071)");
  EXPECT_EQ(tc.ctx.failed, 6u);

  // Without =ADD or =RMV the command is untouched and nothing is asked.
  ex.sent.clear();
  std::string text = "ALTER NL(L1) NAMES(A)";
  CommandRecord rec;
  EXPECT_EQ(prepareMqscCommand(tc.ctx, distributed(), rec, text, &ex).outcome, PrepareOutcome::Send);
  EXPECT_TRUE(ex.sent.empty());
}

TEST(PrepareCommand, NamelistOnZos) {
  TestContext tc;
  FakeExchange ex;
  ex.format = MQFMT_COMMAND_1;
  auto line = [](const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); };
  ex.replies = {line("CSQN205I   COUNT=       3, RETURN=00000000, REASON=00000000"),
                line("CSQM407I !MQ1 NAMELIST(L1) QSGDISP(QMGR) NAMES(X,Y)"),
                line("CSQ9022I !MQ1 CSQMDRTS ' DISPLAY NAMELIST' NORMAL COMPLETION")};
  CommandRecord rec;
  std::string text = "ALTER NL(L1) =RMV(X)";
  auto r = prepareMqscCommand(tc.ctx, zos(), rec, text, &ex);
  ASSERT_EQ(r.outcome, PrepareOutcome::Send) << tc.sink->joined();
  EXPECT_EQ(ex.sent[0], "DISPLAY NAMELIST(L1) NAMES");
  EXPECT_EQ(text, "ALTER NL(L1) NAMES('Y')");
  EXPECT_EQ(r.request.format, MQFMT_STRING);
}

TEST(PrepareCommand, StopEvAndModifierOrder) {
  TestContext tc;
  MqscTarget tolk = distributed();
  tolk.tolkMode = true;
  CommandRecord rec;
  std::string text = "STOP EV";
  auto r = prepareMqscCommand(tc.ctx, tolk, rec, text, nullptr);
  EXPECT_TRUE(r.request.expectsNoReply);
  completeWithoutReply(tc.ctx, rec);
  EXPECT_TRUE(rec.complete());
  EXPECT_EQ(tc.sink->joined(), "AMQ8018I: Command Submitted\n");
  text = "STOP EV";
  CommandRecord rec2;
  EXPECT_FALSE(prepareMqscCommand(tc.ctx, distributed(), rec2, text, nullptr).request.expectsNoReply);

  std::vector<std::string> order;
  auto hook = [&order](const char *name, bool ok) {
    return [&order, name, ok](ProgramContext &, CommandRecord &, std::string &) {
      order.emplace_back(name);
      return ok;
    };
  };
  mqscSetHost(
      {{hook("select", true), hook("find", true), hook("where", true), hook("sort", true), hook("maxresp", true)}, {}});
  text = "DIS QL(*)";
  CommandRecord rec3;
  prepareMqscCommand(tc.ctx, distributed(), rec3, text, nullptr);
  EXPECT_EQ(order, (std::vector<std::string>{"select", "find", "where", "sort", "maxresp"}));
  order.clear();
  mqscSetHost({{hook("select", true), hook("find", false), hook("where", true), {}, {}}, {}});
  CommandRecord rec4;
  EXPECT_EQ(prepareMqscCommand(tc.ctx, distributed(), rec4, text, nullptr).outcome, PrepareOutcome::Failed);
  EXPECT_EQ(order, (std::vector<std::string>{"select", "find"}));
  mqscSetHost({});
}

}  // namespace
