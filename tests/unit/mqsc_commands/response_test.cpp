#include <gtest/gtest.h>

#include "mqsc/attribute_tokenizer.h"
#include "mqsc/mqsc_host.h"
#include "mqsc/response.h"
#include "test_support.h"

namespace {

MqscTarget distributed() {
  MqscTarget t;
  t.platform = MQPL_UNIX;
  return t;
}
MqscTarget zos() {
  MqscTarget t;
  t.platform = MQPL_ZOS;
  return t;
}

CommandRecord displayRecord() {
  CommandRecord r;
  r.isDisplay = true;
  r.marks |= kMarkFilterable;
  return r;
}

bool feed(TestContext &tc, CommandRecord &rec, const MqscTarget &t, const std::vector<uint8_t> &reply,
          const char *format = MQFMT_ADMIN) {
  MQMD md = replyMd(format);
  return handleMqscResponse(tc.ctx, rec, t, md, reply.data(), reply.size());
}

std::vector<uint8_t> text(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// A layout that keeps the pieces it is handed and counts its ends.
struct PieceRecorder : RecordOutput {
  std::vector<OutputPiece> *pieces;
  int *finished;
  PieceRecorder(std::vector<OutputPiece> *p, int *f) : pieces(p), finished(f) {}
  void piece(ProgramContext &, CommandRecord &, OutputPiece &&piece) override { pieces->push_back(std::move(piece)); }
  void finish(ProgramContext &, CommandRecord &) override { ++*finished; }
};
struct RecordingHost {
  std::vector<OutputPiece> pieces;
  int finished = 0;
  RecordingHost() {
    mqscSetHost({{}, [this](ProgramContext &, CommandRecord &) {
                   return std::make_unique<PieceRecorder>(&pieces, &finished);
                 }});
  }
  ~RecordingHost() { mqscSetHost({}); }
};

TEST(MqscResponse, DisplayRecordsAreShownAndCounted) {
  TestContext tc;
  CommandRecord rec = displayRecord();
  rec.keepRecords = true;
  EXPECT_FALSE(
      feed(tc, rec, distributed(), escapeReply("AMQ8409I: Display Queue details.\n   QUEUE(A)   CURDEPTH(0)", 0)));
  EXPECT_FALSE(rec.complete());
  EXPECT_TRUE(tc.sink->lines.empty());  // more lines of the record may follow
  EXPECT_TRUE(feed(tc, rec, distributed(), escapeReply("AMQ8409I: Display Queue details.\n   QUEUE(B)   CURDEPTH(3)")));
  EXPECT_TRUE(rec.complete());
  EXPECT_TRUE(rec.succeeded);
  EXPECT_EQ(rec.recordCount, 2u);
  EXPECT_EQ(tc.sink->lines.size(), 4u);
  EXPECT_EQ(tc.sink->lines[2].first, "AMQ8409I: Display Queue details.");
  EXPECT_EQ(tc.sink->lines[3].first, "   QUEUE(B)   CURDEPTH(3)");
  EXPECT_EQ(tc.ctx.succeeded, 1u);
  EXPECT_EQ(tc.ctx.statusFlags, static_cast<uint32_t>(kStatusCommandSucceeded));
  ASSERT_EQ(rec.keptRecords.size(), 2u);
  EXPECT_EQ(rec.keptRecords[1].find("CURDEPTH")->valueLength, 1u);  // read once, on arrival

  // A reply for a record already complete changes nothing.
  EXPECT_TRUE(feed(tc, rec, distributed(), escapeReply("AMQ8409I: Display Queue details.\n   QUEUE(C)")));
  EXPECT_EQ(rec.recordCount, 2u);
  EXPECT_EQ(tc.ctx.succeeded, 1u);
}

TEST(MqscResponse, NotFoundAndEmptyDisplayCounting) {
  const std::string notFound = "AMQ8147E: IBM MQ object X not found.";
  {
    TestContext tc;
    CommandRecord rec = displayRecord();
    feed(tc, rec, distributed(), escapeReply(notFound, MQCFC_LAST, MQCC_FAILED, MQRCCF_COMMAND_FAILED));
    EXPECT_TRUE(rec.has(kMarkError) && rec.has(kMarkNotFound));
    EXPECT_TRUE(rec.succeeded);
    EXPECT_EQ(tc.ctx.succeeded, 1u);
    EXPECT_EQ(rec.errorText, notFound);
    EXPECT_EQ(tc.sink->joined(), notFound + "\n");
  }
  {
    TestContext tc;
    tc.ctx.counting.emptydspFails = true;
    CommandRecord rec = displayRecord();
    feed(tc, rec, distributed(), escapeReply(notFound, MQCFC_LAST, MQCC_FAILED, MQRCCF_COMMAND_FAILED));
    EXPECT_FALSE(rec.succeeded);
    EXPECT_EQ(tc.ctx.failed, 1u);
  }
  {
    // Not a DISPLAY: a missing object is a failure.
    TestContext tc;
    CommandRecord rec;
    feed(tc, rec, distributed(), escapeReply("AMQ8147: IBM MQ object X not found.", MQCFC_LAST));
    EXPECT_FALSE(rec.succeeded);
    EXPECT_TRUE(tc.ctx.statusFlags & kStatusCommandFailed);
  }
  {
    // DISPLAY commands are not counted without dspcmds, but the exit code still knows.
    TestContext tc;
    tc.ctx.counting.dspcmds = false;
    CommandRecord rec = displayRecord();
    feed(tc, rec, distributed(), escapeReply("AMQ8409I: Display Queue details.\n QUEUE(A)"));
    EXPECT_EQ(tc.ctx.issued, 0u);
    EXPECT_TRUE(tc.ctx.statusFlags & kStatusCommandSucceeded);
  }
}

TEST(MqscResponse, ErrorsAndDamagedReplies) {
  TestContext tc;
  CommandRecord syntax;
  feed(tc, syntax, distributed(),
       escapeReply("AMQ8405I: Syntax error detected at or near end of command segment below:-\nDIS QX\n\nAMQ8427I: "
                   "Valid syntax"));
  EXPECT_FALSE(syntax.succeeded);
  EXPECT_EQ(syntax.errorText, "AMQ8405I: Syntax error detected at or near end of command segment below:-");

  // A failure without text of its own is still reported.
  CommandRecord bare;
  feed(tc, bare, distributed(), asReply(PcfBuilder(MQCMD_ESCAPE).take(), MQCFC_LAST, MQCC_FAILED, 3054));
  EXPECT_FALSE(bare.succeeded);
  EXPECT_NE(tc.sink->joined().find("Command processing RC(3054)"), std::string::npos);

  // A reply too short for a PCF header.
  tc.sink->lines.clear();
  CommandRecord shortOne;
  std::vector<uint8_t> tiny(20, 'x');
  EXPECT_FALSE(feed(tc, shortOne, distributed(), tiny));
  EXPECT_TRUE(shortOne.has(kMarkError));
  EXPECT_TRUE(tc.ctx.statusFlags & kStatusMqCallFailed);
  EXPECT_FALSE(feed(tc, shortOne, distributed(), {}));
  completeCommandRecord(tc.ctx, shortOne);
  EXPECT_NE(tc.sink->joined().find("Command processing RC(2071) "), std::string::npos);

  // Reason 10001: the server cut its answer short; not an error.
  CommandRecord limited = displayRecord();
  feed(tc, limited, distributed(),
       escapeReply("AMQ8409I: Display Queue details.\n QUEUE(A)", MQCFC_LAST, MQCC_WARNING, 10001));
  EXPECT_TRUE(limited.has(kMarkResponsesLimited));
  EXPECT_TRUE(limited.succeeded);

  // A parameter whose length runs past the message ends the walk safely.
  auto broken = escapeReply("AMQ8409I: Display Queue details.\n QUEUE(A)");
  int32_t huge = 1 << 30;
  std::memcpy(broken.data() + 52 + 4, &huge, 4);
  CommandRecord damaged;
  EXPECT_TRUE(feed(tc, damaged, distributed(), broken));
  EXPECT_EQ(damaged.recordCount, 0u);
}

// TOLK packs several records in one message, cut by delimiter parameters.
std::vector<uint8_t> tolkMessage(int32_t control) {
  PcfBuilder b(MQCMD_ESCAPE);
  for (int i = 0; i < 3; ++i) {
    if (i) b.addInteger(i == 2 ? 301162 : ZRT_ATTR_RESPONSE_DELIMITER, 0);
    b.addString(MQCACF_ESCAPE_TEXT, "AMQ8409I: Display EV details.\n EV(E" + std::to_string(i) + ")");
  }
  return asReply(b.take(), control);
}

TEST(MqscResponse, TolkMultiRecordMessages) {
  TestContext tc;
  MqscTarget t = distributed();
  t.tolkMode = true;
  CommandRecord rec = displayRecord();
  rec.keepRecords = true;
  EXPECT_FALSE(feed(tc, rec, t, tolkMessage(0x10000)));
  EXPECT_EQ(rec.receivedCount, 3u);
  EXPECT_EQ(rec.recordCount, 2u);  // the third is counted once it is known to be whole
  EXPECT_FALSE(rec.complete());
  EXPECT_TRUE(feed(tc, rec, t, tolkMessage(0x10001), MQFMT_PCF));
  EXPECT_EQ(rec.recordCount, 6u);
  EXPECT_TRUE(rec.complete());
  ASSERT_EQ(rec.keptRecords.size(), 6u);
  EXPECT_NE(rec.keptRecords[5].text.find("EV(E2)"), std::string::npos);
}

TEST(MqscResponse, ResetQstatsFormatting) {
  TestContext tc;
  CommandRecord rec;
  auto reply = asReply(PcfBuilder(MQCMD_RESET_Q_STATS)
                           .addString(MQCA_Q_NAME, "Q1                                              ")
                           .addInteger(MQIA_TIME_SINCE_RESET, 120)
                           .addInteger(MQIA_HIGH_Q_DEPTH, 7)
                           .addInteger(MQIA_MSG_ENQ_COUNT, 30)
                           .addInteger(MQIA_MSG_DEQ_COUNT, 25)
                           .take());
  EXPECT_TRUE(feed(tc, rec, distributed(), reply));
  EXPECT_EQ(tc.sink->joined(),
            "AMQ8409: RESET QSTATS details.\nQSTATS(Q1) RESETINT(120) HIQDEPTH(7) MSGSIN(30) MSGSOUT(25) \n");
  EXPECT_EQ(rec.recordCount, 1u);
  EXPECT_TRUE(rec.succeeded);

  tc.sink->lines.clear();
  CommandRecord bad;
  auto failed = asReply(PcfBuilder(MQCMD_RESET_Q_STATS).addInteger(MQIACF_PARAMETER_ID, MQCA_Q_NAME).take(), MQCFC_LAST,
                        MQCC_FAILED, 2085);
  feed(tc, bad, distributed(), failed);
  EXPECT_FALSE(bad.succeeded);
  std::string out = tc.sink->joined();
  EXPECT_EQ(out.rfind("AMQ8147: " + std::string(reasonText(2085)), 0), 0u) << out;
  EXPECT_NE(out.find(" Parameter: "), std::string::npos);

  // 3008 closes a generic reset: nothing is added.
  tc.sink->lines.clear();
  CommandRecord summary;
  feed(tc, summary, distributed(), asReply(PcfBuilder(MQCMD_RESET_Q_STATS).take(), MQCFC_LAST, MQCC_FAILED, 3008));
  EXPECT_TRUE(tc.sink->lines.empty());
}

TEST(MqscResponse, ZosLinesAndCompletion) {
  TestContext tc;
  CommandRecord rec = displayRecord();
  MqscTarget t = zos();
  EXPECT_FALSE(feed(tc, rec, t, text("CSQN205I   COUNT=       4, RETURN=00000000, REASON=00000000"), MQFMT_COMMAND_1));
  EXPECT_FALSE(
      feed(tc, rec, t, text("CSQM401I !MQ1 QUEUE(A) TYPE(QLOCAL) QSGDISP(QMGR) CURDEPTH(0)"), MQFMT_COMMAND_1));
  EXPECT_FALSE(
      feed(tc, rec, t, text("CSQM401I !MQ1 QUEUE(B) TYPE(QLOCAL) QSGDISP(QMGR) CURDEPTH(2)"), MQFMT_COMMAND_1));
  EXPECT_TRUE(feed(tc, rec, t, text("CSQ9022I !MQ1 CSQMDRTS ' DISPLAY QUEUE' NORMAL COMPLETION"), MQFMT_COMMAND_1));
  EXPECT_TRUE(rec.succeeded);
  EXPECT_EQ(rec.recordCount, 2u);

  CommandRecord missing = displayRecord();
  feed(tc, missing, t, text("CSQM297I !MQ1 CSQMDRTC NO QLOCAL FOUND MATCHING REQUEST CRITERIA"), MQFMT_COMMAND_1);
  EXPECT_TRUE(
      feed(tc, missing, t, text("CSQ9022I !MQ1 CSQMDRTC ' DISPLAY QLOCAL' NORMAL COMPLETION"), MQFMT_COMMAND_1));
  EXPECT_TRUE(missing.has(kMarkNotFound));
  EXPECT_TRUE(missing.succeeded);

  CommandRecord failing;
  EXPECT_TRUE(
      feed(tc, failing, t, text("CSQ9023E !MQ1 CSQMDRTC ' DEFINE QLOCAL' ABNORMAL COMPLETION"), MQFMT_COMMAND_1));
  EXPECT_FALSE(failing.succeeded);

  // Several lines in one message, separated by NULs, when the ninth byte is '*'.
  CommandRecord packed = displayRecord();
  std::string many("CSQN205I*COUNT=3\0CSQM401I !MQ1 QUEUE(X) CURDEPTH(1)\0CSQ9022I !MQ1 NORMAL COMPLETION", 80);
  EXPECT_TRUE(feed(tc, packed, t, text(many), MQFMT_COMMAND_2));
  EXPECT_EQ(packed.recordCount, 1u);

  // MQCMD1 text from a queue manager not on z/OS is not taken as text.
  CommandRecord notZos;
  EXPECT_FALSE(feed(tc, notZos, distributed(), text("CSQ9022I !MQ1 NORMAL COMPLETION PADDING PADDING PADDING"),
                    MQFMT_COMMAND_1));
}

TEST(MqscResponse, ZosSharingGroupReplies) {
  TestContext tc;
  CommandRecord rec = displayRecord();
  rec.keepRecords = true;
  MqscTarget t = zos();
  const char *lines[] = {
      "CSQN137I !MQ1 'DISPLAY QUEUE' command accepted for CMDSCOPE(*), sent to 2",
      "CSQN121I !MQ1 'DISPLAY QUEUE' command responses from MQ1",
      "CSQM401I !MQ1 QUEUE(A) TYPE(QLOCAL)",
      "CSQ9022I !MQ1 CSQMDRTS ' DISPLAY QUEUE' NORMAL COMPLETION",
      "CSQN121I !MQ1 'DISPLAY QUEUE' command responses from MQ2",
      "CSQM401I !MQ2 QUEUE(B) TYPE(QLOCAL)",
      "CSQ9022I !MQ2 CSQMDRTS ' DISPLAY QUEUE' NORMAL COMPLETION",
  };
  for (const char *l : lines) EXPECT_FALSE(feed(tc, rec, t, text(l), MQFMT_COMMAND_1)) << l;
  EXPECT_TRUE(feed(tc, rec, t, text("CSQN122I !MQ1 'DISPLAY QUEUE' command for CMDSCOPE(*) normal completion"),
                   MQFMT_COMMAND_1));
  EXPECT_TRUE(rec.has(kMarkSeveralQmgrs));
  std::vector<std::string> qmgrs;
  for (const auto &record : rec.keptRecords) qmgrs.push_back(record.qmgr);
  EXPECT_EQ(qmgrs, (std::vector<std::string>{"MQ1", "MQ2"}));

  AttributeTokenizer tok(rec.keptRecords[1], ListValueMode::PerItem, true);
  AttributeToken token;
  ASSERT_TRUE(tok.next(token));
  EXPECT_TRUE(token.isHeader);
  ASSERT_TRUE(tok.next(token));
  EXPECT_EQ(token.text, "QSGQM(MQ2)");
  EXPECT_TRUE(token.isPseudo);
}

TEST(MqscResponse, CompletionLayoutAndMarker) {
  TestContext tc;
  CommandRecord rec = displayRecord();
  EXPECT_EQ(incompleteMarkerText(rec), "<Responses incomplete>");
  rec.recordCount = 4;
  EXPECT_EQ(incompleteMarkerText(rec), "<Responses incomplete (received:4)>");

  {
    RecordingHost host;
    CommandRecord other;
    completeCommandRecord(tc.ctx, other);
    completeCommandRecord(tc.ctx, other);
    EXPECT_EQ(host.finished, 1);
    EXPECT_EQ(tc.ctx.issued, 1u);
  }

  // Script commands are quiet: kept, hidden from the screen.
  CommandRecord script;
  script.kind = RecordKind::ScriptCommand;
  feed(tc, script, distributed(), escapeReply("AMQ8409I: Display Queue details.\n QUEUE(A)"));
  ASSERT_FALSE(tc.sink->lines.empty());
  EXPECT_TRUE(tc.sink->lines.back().second & kStyleHidden);
}

TEST(InternalReplies, LevelsDepthClearAndNames) {
  TestContext tc;
  MQMD md = replyMd(MQFMT_ADMIN);
  QmgrLevelReply level;
  auto r = asReply(PcfBuilder(MQCMD_INQUIRE_Q_MGR)
                       .addInteger(MQIA_COMMAND_LEVEL, 930)
                       .addInteger(MQIA_PLATFORM, 3)
                       .addInteger(80000, 5)
                       .take());
  EXPECT_TRUE(handleQmgrLevelReply(tc.ctx, level, md, r.data(), r.size()));
  EXPECT_EQ(level.commandLevel, 930);
  EXPECT_EQ(level.platform, 3);
  EXPECT_EQ(level.agentLevel, 5);
  QmgrLevelReply shortLevel;
  EXPECT_TRUE(handleQmgrLevelReply(tc.ctx, shortLevel, md, r.data(), 12));
  EXPECT_TRUE(shortLevel.failed);
  EXPECT_NE(tc.sink->joined().find("Command processing RC(2071)"), std::string::npos);

  TolkLevelReply tolk;
  r = asReply(PcfBuilder(9000).addInteger(ZRT_ATTR_COMMAND_LEVEL, 922).take());
  EXPECT_TRUE(handleTolkLevelReply(tc.ctx, tolk, md, r.data(), r.size()));
  EXPECT_EQ(tolk.commandLevel, 922);

  QueueCommandReply depth;
  r = asReply(PcfBuilder(MQCMD_INQUIRE_Q).addString(MQCA_Q_NAME, "Q").addInteger(MQIA_CURRENT_Q_DEPTH, 17).take(), 0);
  EXPECT_FALSE(handleQueueDepthReply(tc.ctx, depth, md, r.data(), r.size()));
  r = asReply(PcfBuilder(MQCMD_INQUIRE_Q).take(), MQCFC_LAST, MQCC_FAILED, MQRCCF_COMMAND_FAILED);
  EXPECT_TRUE(handleQueueDepthReply(tc.ctx, depth, md, r.data(), r.size()));
  EXPECT_EQ(depth.depth, 17);
  EXPECT_EQ(depth.reason, 0);

  QueueCommandReply clear;
  r = asReply(PcfBuilder(MQCMD_CLEAR_Q).take(), MQCFC_LAST, MQCC_FAILED, 2055);
  EXPECT_TRUE(handleClearQueueReply(tc.ctx, clear, md, r.data(), r.size()));
  EXPECT_EQ(clear.reason, 2055);

  NameListDef def{"queue", MQCMD_INQUIRE_Q_NAMES, 1, MQCA_Q_NAME, 0};
  NameCache cache;
  cache.descriptor = &def;
  auto names = [](std::vector<std::string> list, int32_t control) {
    PcfBuilder b(MQCMD_INQUIRE_Q_NAMES);
    for (auto &n : list) b.addString(MQCA_Q_NAME, n + "    ");
    return asReply(b.take(), control);
  };
  r = names({"A", "B"}, 0);
  EXPECT_FALSE(handleNameCacheReply(tc.ctx, cache, 5, md, r.data(), r.size()));
  r = names({"C"}, MQCFC_LAST);
  EXPECT_TRUE(handleNameCacheReply(tc.ctx, cache, 5, md, r.data(), r.size()));
  EXPECT_EQ(cache.names, (std::vector<std::string>{"A", "B", "C"}));
  r = names({"OLD"}, MQCFC_LAST);
  handleNameCacheReply(tc.ctx, cache, 4, md, r.data(), r.size());
  EXPECT_EQ(cache.names.size(), 3u);
  r = names({"NEW"}, MQCFC_LAST);
  handleNameCacheReply(tc.ctx, cache, 6, md, r.data(), r.size());
  EXPECT_EQ(cache.names, std::vector<std::string>{"NEW"});
}

}  // namespace

namespace {

// Records are grouped once, for the layout and for scripts alike: a header takes the
// attribute lines after it, never a message line, and a line of the program's own ends it.
// Each piece goes on as soon as it is whole.
TEST(CommandRecordPieces, RecordsTakeTheirAttributeLinesButNotMessages) {
  TestContext tc;
  RecordingHost host;
  CommandRecord rec;
  rec.keepRecords = true;
  auto add = [&](const char *text, uint32_t flags, const char *qmgr) {
    addRecordLine(tc.ctx, rec, RecordLine{text, flags, qmgr});
  };
  add("CSQN121I !MQ1 RESPONSE FROM QM1", kLineResponseText, "QM1");
  add("QUEUE(A)", kLineResponseText | kLineRecordStart, "QM1");
  add("   CURDEPTH(1)", kLineResponseText, "QM1");
  EXPECT_EQ(host.pieces.size(), 1u);  // the record may go on
  add("CSQ9022I !MQ1 CSQMDRTS ' DISPLAY QUEUE' NORMAL COMPLETION", kLineResponseText, "QM1");
  add("   CURDEPTH(9)", kLineResponseText, "QM1");
  add("QUEUE(B)", kLineResponseText | kLineRecordStart | kLineQuiet, "QM2");
  add("Timed out waiting for response", kLineError, "");
  add("   CURDEPTH(7)", kLineResponseText, "");
  completeCommandRecord(tc.ctx, rec);

  std::vector<OutputPiece> &pieces = host.pieces;
  ASSERT_EQ(pieces.size(), 7u);
  EXPECT_EQ(pieces[1].kind, OutputPiece::Record);
  EXPECT_EQ(pieces[1].text(), "QUEUE(A)\n   CURDEPTH(1)");
  EXPECT_TRUE(pieces[1].body.parsed);
  EXPECT_EQ(pieces[2].kind, OutputPiece::Text);  // the completion message stands alone
  EXPECT_EQ(pieces[3].kind, OutputPiece::Text);  // and what follows it is no record's
  EXPECT_TRUE(pieces[4].quiet);
  EXPECT_EQ(pieces[5].kind, OutputPiece::Error);
  EXPECT_EQ(pieces[6].kind, OutputPiece::Text);
  EXPECT_EQ(host.finished, 1);

  ASSERT_EQ(rec.keptRecords.size(), 2u);
  EXPECT_EQ(rec.keptRecords[1].text, "QUEUE(B)");
  EXPECT_EQ(rec.keptRecords[1].qmgr, "QM2");
  EXPECT_EQ(rec.errorLines, std::vector<std::string>{"Timed out waiting for response"});
  std::string response = rec.responseText.text();
  EXPECT_EQ(response.find("Timed out"), std::string::npos);
  EXPECT_NE(response.find("QUEUE(A)\n   CURDEPTH(1)\nCSQ9022I"), std::string::npos);
}

}  // namespace
