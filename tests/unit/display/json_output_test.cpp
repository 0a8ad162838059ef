// JSON output of command records: one object per shown record with typed attributes,
// messages with their ids and codes, totals; the modifiers apply as they do to text.
// FieldNamesAreStable holds the format's field names: scripts that read the output
// depend on them.
#include <gtest/gtest.h>

#include <set>

#include "context/json_lines.h"
#include "context/settings.h"
#include "display_support.h"

namespace {

using nlohmann::json;

struct JsonDisplayTest : DisplayTest {
  JsonDisplayTest() { ctx.settings.outformat = kOutputJson; }
  // Every line the layout wrote, parsed; a line that is not one JSON object fails.
  std::vector<json> objects() {
    std::vector<json> out;
    for (const auto &line : captured.lines) {
      EXPECT_TRUE(line.second & kStyleJson) << line.first;
      json parsed = json::parse(line.first, nullptr, false);
      EXPECT_TRUE(parsed.is_object()) << line.first;
      out.push_back(parsed);
    }
    return out;
  }
  std::vector<json> ofKind(const std::string &kind) {
    std::vector<json> out;
    for (json &o : objects())
      if (o["kind"] == kind) out.push_back(o);
    return out;
  }
};

std::set<std::string> keysOf(const json &object) {
  std::set<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.insert(it.key());
  return keys;
}

TEST(JsonRecords, ValuesAreTypedFromTheVocabulary) {
  JsonDisplayTest t;
  CommandRecord rec;
  rec.qmgr = "QM1";
  rec.sequence = 7;
  ASSERT_TRUE(t.prepare(rec, "DIS QL(*) ALL"));
  t.reply(rec, {"QUEUE(A) TYPE(QLOCAL) CURDEPTH(12) MAXDEPTH(007) QDEPTHHI(-1) DESCR(it's [x] \\ \"q\" (b)) "
                "BOQNAME( ) NOSHARE NOTRIGGER HARDENBO NEWATTR(5) EVTIME(2026-03-14 10.15.30) CONNTI(yesterday)",
                "QUEUE(caf\xE9) TYPE(QLOCAL) CURDEPTH(0)"});
  std::vector<json> records = t.ofKind("record");
  ASSERT_EQ(records.size(), 2u);
  const json &a = records[0];
  EXPECT_EQ(a["qmgr"], "QM1");
  EXPECT_EQ(a["seq"], 7);
  EXPECT_EQ(a["command"], "DIS QL(*) ALL");
  EXPECT_EQ(a["id"], "AMQ8409I");
  EXPECT_EQ(a["object"], "QUEUE");
  const json &v = a["attributes"];
  EXPECT_EQ(v["QUEUE"], "A");
  EXPECT_EQ(v["TYPE"], "QLOCAL");   // a keyword value stays text
  EXPECT_EQ(v["CURDEPTH"], 12);     // numbers are numbers
  EXPECT_EQ(v["MAXDEPTH"], "007");  // ... but only when they read back the same
  EXPECT_EQ(v["QDEPTHHI"], -1);
  EXPECT_EQ(v["DESCR"], "it's [x] \\ \"q\" (b)");  // exactly as received
  EXPECT_EQ(v["BOQNAME"], "");
  EXPECT_EQ(v["SHARE"], "NOSHARE");  // a bare keyword under its pair's name
  EXPECT_EQ(v["TRIGGER"], "NOTRIGGER");
  EXPECT_EQ(v["HARDENBO"], "HARDENBO");
  EXPECT_EQ(v["NEWATTR"], "5");                    // unknown to the vocabulary: text
  EXPECT_EQ(v["EVTIME"], "2026-03-14T10:15:30Z");  // time stamps in ISO 8601, UTC
  EXPECT_EQ(v["CONNTI"], "yesterday");
  // A byte that is not UTF-8 is kept as its Latin-1 character.
  EXPECT_EQ(records[1]["attributes"]["QUEUE"], "caf\xC3\xA9");

  JsonDisplayTest l;
  CommandRecord lists;
  ASSERT_TRUE(l.prepare(lists, "DIS NAMELIST(*) NAMES"));
  l.reply(lists, {"NAMELIST(N1) NAMES(A, 'B,C' ,D)", "NAMELIST(N2) NAMES( )"}, "AMQ8550I: Display namelist details.");
  std::vector<json> namelists = l.ofKind("record");
  ASSERT_EQ(namelists.size(), 2u);
  EXPECT_EQ(namelists[0]["attributes"]["NAMES"], json({"A", "'B,C'", "D"}));
  EXPECT_EQ(namelists[1]["attributes"]["NAMES"], json::array());

  JsonDisplayTest c;
  CommandRecord chs;
  ASSERT_TRUE(c.prepare(chs, "DIS CHSTATUS(*) ALL"));
  c.reply(chs, {"CHANNEL(C1) NETTIME(1200,3400) MSGS(5) MSGS(6)"}, "AMQ8417I: Display Channel Status details.");
  std::vector<json> status = c.ofKind("record");
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0]["attributes"]["NETTIME"], json({1200, 3400}));
  EXPECT_EQ(status[0]["attributes"]["MSGS"], json({5, 6}));  // seen twice: both kept
}

TEST(JsonRecords, ModifiersApplyAsToText) {
  std::vector<std::string> queues;
  for (int i = 0; i < 6; ++i)
    queues.push_back("QUEUE(Q" + std::to_string(i) + ") CURDEPTH(" + std::to_string(i % 3) + ") MAXDEPTH(" +
                     std::to_string(100 + i) + ")");
  {
    JsonDisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS QL(*) =WHERE(CURDEPTH > 0) =SORTD(MAXDEPTH) -ALL +MAXDEPTH"));
    t.reply(rec, queues);
    std::vector<json> records = t.ofKind("record");
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0]["attributes"], json({{"MAXDEPTH", 105}}));
    EXPECT_EQ(records[3]["attributes"], json({{"MAXDEPTH", 101}}));
    EXPECT_EQ(records[0]["object"], "QUEUE");  // the object keyword even when hidden
  }
  {
    JsonDisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS QL(*) =MAXRESP(2)"));
    t.reply(rec, queues);
    EXPECT_EQ(t.ofKind("record").size(), 2u);
    std::vector<json> notes = t.ofKind("note");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0]["text"], "Only 2 of 6 shown as requested");
  }
  {
    JsonDisplayTest t;
    t.ctx.settings.options |= kOptDisTotals;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS QL(*) =WHERE(CURDEPTH = 2) =MAXRESP(1)"));
    t.reply(rec, queues);
    std::vector<json> totals = t.ofKind("totals");
    ASSERT_EQ(totals.size(), 1u);
    EXPECT_EQ(totals[0]["scope"], "Total");
    EXPECT_EQ(totals[0]["received"], 6);
    EXPECT_EQ(totals[0]["matched"], 2);
    EXPECT_EQ(totals[0]["shown"], 1);
  }
  {
    JsonDisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS QL(*) =WHERE(CURDEPTH > 5)"));
    t.reply(rec, queues);
    std::vector<json> errors = t.ofKind("error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0]["text"], "No matching responses received");
  }
}

TEST(JsonRecords, ErrorsCarryTheCodesOfTheFailingReply) {
  JsonDisplayTest t;
  CommandRecord rec;
  rec.sequence = 3;
  ASSERT_TRUE(t.prepare(rec, "DELETE QLOCAL(NOPE)"));
  MQMD md = replyMd(MQFMT_ADMIN);
  auto reply = escapeReply("AMQ8147E: IBM MQ object NOPE not found.", MQCFC_LAST, MQCC_FAILED, 3008);
  handleMqscResponse(t.ctx, rec, distributedTarget(), md, reply.data(), reply.size());
  std::vector<json> errors = t.ofKind("error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0]["id"], "AMQ8147E");
  EXPECT_EQ(errors[0]["cc"], 2);
  EXPECT_EQ(errors[0]["reason"], 3008);
  EXPECT_EQ(errors[0]["seq"], 3);

  // A reply too short to be PCF: the reason is read from the program's message.
  JsonDisplayTest s;
  CommandRecord shortOne;
  ASSERT_TRUE(s.prepare(shortOne, "DIS QMGR"));
  uint8_t tiny[10] = {};
  handleMqscResponse(s.ctx, shortOne, distributedTarget(), md, tiny, sizeof tiny);
  completeCommandRecord(s.ctx, shortOne);
  std::vector<json> shortErrors = s.ofKind("error");
  ASSERT_FALSE(shortErrors.empty());
  EXPECT_EQ(shortErrors[0]["reason"], 2071);
}

TEST(JsonRecords, ZosRecordsNameTheirQueueManagerAndGroupsHaveSubtotals) {
  JsonDisplayTest t;
  t.ctx.settings.options |= kOptDisTotals;
  CommandRecord rec;
  ASSERT_TRUE(t.prepare(rec, "DIS QL(*) CMDSCOPE(*) =WHERE(TYPE EQ QLOCAL)"));
  t.zosReply(rec, {"CSQN205I   COUNT=       9, RETURN=00000000, REASON=00000000",
                   "CSQN137I ]MQ1 'DISPLAY QUEUE' command accepted for CMDSCOPE(*), sent to 2",
                   "CSQN121I ]MQ1 'DISPLAY QUEUE' command responses from MQ1", "CSQM401I ]MQ1 QUEUE(A) TYPE(QLOCAL)",
                   "CSQM401I ]MQ1 QUEUE(B) TYPE(QALIAS)", "CSQ9022I ]MQ1 CSQMDRTS ' DISPLAY QUEUE' NORMAL COMPLETION",
                   "CSQN121I ]MQ1 'DISPLAY QUEUE' command responses from MQ2", "CSQM401I ]MQ2 QUEUE(C) TYPE(QLOCAL)",
                   "CSQ9022I ]MQ2 CSQMDRTS ' DISPLAY QUEUE' NORMAL COMPLETION",
                   "CSQN122I ]MQ1 'DISPLAY QUEUE' command for CMDSCOPE(*) normal completion"});
  ASSERT_TRUE(rec.complete());
  std::vector<json> records = t.ofKind("record");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]["id"], "CSQM401I");
  EXPECT_EQ(records[0]["attributes"]["QSGQM"], "MQ1");
  EXPECT_EQ(records[0]["attributes"]["QUEUE"], "A");
  EXPECT_EQ(records[0]["object"], "QUEUE");
  EXPECT_EQ(records[1]["attributes"]["QSGQM"], "MQ2");
  std::vector<json> totals = t.ofKind("totals");
  ASSERT_EQ(totals.size(), 3u) << t.output();
  EXPECT_EQ(totals[0]["scope"], "Subtotal");
  EXPECT_EQ(totals[0]["qsgqm"], "MQ1");
  EXPECT_EQ(totals[0]["received"], 2);  // the alias the filter dropped on arrival counts
  EXPECT_EQ(totals[0]["matched"], 1);
  EXPECT_EQ(totals[1]["qsgqm"], "MQ2");
  EXPECT_EQ(totals[2]["scope"], "Total");
  EXPECT_EQ(totals[2]["received"], 3);
}

// The names scripts read: a change here breaks them, so it must be deliberate.
TEST(JsonFormat, FieldNamesAreStable) {
  using Keys = std::set<std::string>;
  auto keys = [](const std::string &line) { return keysOf(json::parse(line)); };
  EXPECT_EQ(keys(jsonObjectForLine("[10:11:12] DISPLAY QMGR", kStyleCommand)), (Keys{"kind", "time", "text"}));
  EXPECT_EQ(keys(jsonObjectForLine("AMQ8006I: IBM MQ queue created.", kStyleInfo)), (Keys{"kind", "id", "text"}));
  EXPECT_EQ(keys(jsonObjectForLine("Connect failed RC(2059) x", kStyleError)), (Keys{"kind", "reason", "text"}));
  EXPECT_EQ(keys(jsonObjectForLine("hello", kStylePrint)), (Keys{"kind", "text"}));
  EXPECT_EQ(keys(jsonSummaryObject(3, 2, 1, "MQSC Command summary - ")),
            (Keys{"kind", "issued", "success", "fail", "text"}));

  JsonDisplayTest t;
  t.ctx.settings.options |= kOptDisTotals;
  CommandRecord rec;
  rec.qmgr = "QM1";
  ASSERT_TRUE(t.prepare(rec, "DIS QL(*)"));
  t.reply(rec, {"QUEUE(A) CURDEPTH(1)"});
  EXPECT_EQ(keysOf(t.ofKind("record").at(0)), (Keys{"kind", "qmgr", "seq", "command", "id", "object", "attributes"}));
  EXPECT_EQ(keysOf(t.ofKind("totals").at(0)),
            (Keys{"kind", "qmgr", "seq", "command", "scope", "received", "matched", "shown", "text"}));

  JsonDisplayTest e;
  CommandRecord failed;
  failed.qmgr = "QM1";
  ASSERT_TRUE(e.prepare(failed, "DELETE QLOCAL(NOPE)"));
  MQMD md = replyMd(MQFMT_ADMIN);
  auto reply = escapeReply("AMQ8147E: IBM MQ object NOPE not found.", MQCFC_LAST, MQCC_FAILED, 3008);
  handleMqscResponse(e.ctx, failed, distributedTarget(), md, reply.data(), reply.size());
  EXPECT_EQ(keysOf(e.ofKind("error").at(0)), (Keys{"kind", "qmgr", "seq", "command", "id", "cc", "reason", "text"}));

  JsonDisplayTest n;
  CommandRecord limited;
  ASSERT_TRUE(n.prepare(limited, "DIS QL(*) =MAXRESP(1)"));
  n.reply(limited, {"QUEUE(A)", "QUEUE(B)"});
  EXPECT_EQ(keysOf(n.ofKind("note").at(0)), (Keys{"kind", "seq", "command", "text"}));
}

}  // namespace
