#include <gtest/gtest.h>

#include <algorithm>

#include "context/settings.h"
#include "display_support.h"

namespace {

std::vector<std::string> queues(int n) {
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i)
    out.push_back("QUEUE(Q" + std::to_string(i) + ") TYPE(QLOCAL) CURDEPTH(" + std::to_string(i % 3) + ")");
  return out;
}

size_t count(const std::string &text, const std::string &part) {
  size_t n = 0;
  for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++n;
  return n;
}

TEST(Layout, ResponseLimitNotesAndTotals) {
  {
    DisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*) =MAXRESP(5)"));
    t.reply(rec, queues(20));
    EXPECT_EQ(count(t.output(), "AMQ8409I"), 5u);
    EXPECT_TRUE(t.has("Only 5 of 20 shown as requested"));
  }
  {
    DisplayTest t;
    t.ctx.settings.options |= kOptDisTotals;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*) =MAXRESP(5)"));
    t.reply(rec, queues(20));
    EXPECT_TRUE(t.has("Total display responses - Received:20 Shown:5/20\n"));
    EXPECT_FALSE(t.has("Only 5"));
  }
  {
    // Received counts the records a filter dropped as they arrived.
    DisplayTest t;
    t.ctx.settings.options |= kOptDisTotals;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*) =WHERE(CURDEPTH = 0)"));
    t.reply(rec, queues(6));
    EXPECT_TRUE(t.has("Total display responses - Received:6 Matched:2/6\n"));
  }
  {
    DisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*) =MAXRESP(-1)"));
    t.reply(rec, queues(3));
    EXPECT_EQ(count(t.output(), "AMQ8409I"), 0u);
    EXPECT_TRUE(t.has("Only 0 of 3 shown as requested"));
  }
  {
    DisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*) =WHERE(CURDEPTH > 100)"));
    t.reply(rec, queues(3));
    ASSERT_FALSE(t.captured.lines.empty());
    EXPECT_EQ(t.captured.lines.back().first, "No matching responses received");
    EXPECT_TRUE(t.captured.lines.back().second & kStyleError);
  }
}

TEST(Layout, WhereConstantsNumbersAndMissingAttributes) {
  DisplayTest t;
  CommandRecord rec;
  ASSERT_TRUE(t.prepare(rec, "DIS QL(*) =WHERE(DEFPSIST = YES AND CURDEPTH >= 2)"));
  t.reply(rec, {"QUEUE(A) DEFPSIST(YES) CURDEPTH(2)", "QUEUE(B) DEFPSIST(NO) CURDEPTH(9)",
                "QUEUE(C) DEFPSIST(YES) CURDEPTH(1)", "QUEUE(D) CURDEPTH(7)", "QUEUE(E) DEFPSIST(YES) CURDEPTH(10)"});
  std::string out = t.output();
  EXPECT_TRUE(t.has("QUEUE(A)"));
  EXPECT_TRUE(t.has("QUEUE(E)"));
  EXPECT_FALSE(t.has("QUEUE(B)"));
  EXPECT_FALSE(t.has("QUEUE(C)"));
  EXPECT_FALSE(t.has("QUEUE(D)"));  // no DEFPSIST: not shown

  DisplayTest types;
  CommandRecord typed;
  ASSERT_TRUE(types.prepare(typed, "DIS Q(*) =WHERE(TYPE EQ QLOCAL)"));
  types.reply(typed, {"QUEUE(A) TYPE(QLOCAL)", "QUEUE(B) TYPE(QALIAS)"});
  EXPECT_TRUE(types.has("QUEUE(A)"));
  EXPECT_FALSE(types.has("QUEUE(B)"));
}

TEST(Layout, FindAndSortOrder) {
  DisplayTest t;
  CommandRecord rec;
  ASSERT_TRUE(t.prepare(rec, "DIS Q(*) =FIND(pay) =SORTD(CURDEPTH)"));
  t.reply(rec, {"QUEUE(PAY.A) CURDEPTH(1)", "QUEUE(X) CURDEPTH(50)", "QUEUE(pay.b) CURDEPTH(7)",
                "QUEUE(PAY.C) CURDEPTH(3)"});
  std::string out = t.output();
  size_t b = out.find("QUEUE(pay.b)"), c = out.find("QUEUE(PAY.C)"), a = out.find("QUEUE(PAY.A)");
  ASSERT_NE(b, std::string::npos);
  EXPECT_LT(b, c);
  EXPECT_LT(c, a);
  EXPECT_FALSE(t.has("QUEUE(X)"));

  DisplayTest quoted;
  CommandRecord exact;
  ASSERT_TRUE(quoted.prepare(exact, "DIS Q(*) =FIND('PAY')"));
  quoted.reply(exact, {"QUEUE(PAY.A)", "QUEUE(pay.b)"});
  EXPECT_TRUE(quoted.has("QUEUE(PAY.A)"));
  EXPECT_FALSE(quoted.has("QUEUE(pay.b)"));

  // A key of mixed types cannot order the records: all are shown in arrival order.
  DisplayTest mixed;
  CommandRecord m;
  ASSERT_TRUE(mixed.prepare(m, "DIS Q(*) =SORT(DESCR)"));
  mixed.reply(m, {"QUEUE(B) DESCR(x)", "QUEUE(A) DESCR(y)"});
  EXPECT_LT(mixed.output().find("QUEUE(B)"), mixed.output().find("QUEUE(A)"));
}

TEST(Layout, ColumnStyles) {
  {
    // Content columns line up across records.
    DisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*)"));
    t.reply(rec, {"QUEUE(A) CURDEPTH(0)", "QUEUE(LONGER.NAME) CURDEPTH(12)"});
    std::vector<std::string> l = t.lines();
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[0], "AMQ8409I: Display Queue details.");
    EXPECT_EQ(l[1], "QUEUE(A)           CURDEPTH(0)");
    EXPECT_EQ(l[3], "QUEUE(LONGER.NAME) CURDEPTH(12)");
  }
  {
    // Too wide for the screen: fixed columns of colwidth.
    DisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*)"));
    t.reply(rec, {"QUEUE(A) DESCR(" + std::string(70, 'd') + ") CURDEPTH(0)"});
    std::vector<std::string> l = t.lines();
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[1], "QUEUE(A)");
    EXPECT_EQ(l[2], "DESCR(" + std::string(70, 'd') + ")");
    EXPECT_EQ(l[3], "CURDEPTH(0)");
  }
  {
    // Two columns of 40 on 80: a 45-character token takes both, the next starts a line.
    DisplayTest t;
    t.ctx.settings.colstyle = 1;
    t.ctx.settings.colwidth = 40;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*)"));
    std::string descr = "DESCR(" + std::string(38, 'x') + ")";
    ASSERT_EQ(descr.size(), 45u);
    t.reply(rec, {"QUEUE(A) " + descr + " CURDEPTH(0) MAXDEPTH(5)"});
    std::vector<std::string> l = t.lines();
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[1], "QUEUE(A)");
    EXPECT_EQ(l[2], descr);
    EXPECT_EQ(l[3], "CURDEPTH(0)" + std::string(29, ' ') + "MAXDEPTH(5)");
  }
  {
    DisplayTest t;
    t.ctx.settings.options |= kOptWrap;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*)"));
    t.reply(rec, {"QUEUE(A)     TYPE(QLOCAL)   CURDEPTH(0)"});
    EXPECT_EQ(t.lines().at(1), "QUEUE(A) TYPE(QLOCAL) CURDEPTH(0)");
  }
  {
    // Hidden attributes take no column.
    DisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*) -ALL +CURDEPTH"));
    t.reply(rec, {"QUEUE(A) TYPE(QLOCAL) CURDEPTH(4)"});
    EXPECT_EQ(t.lines().at(1), "CURDEPTH(4)");
  }
}

TEST(Layout, BadRepliesKeepEveryRecord) {
  DisplayTest t;
  CommandRecord rec;
  ASSERT_TRUE(t.prepare(rec, "DIS Q(*)"));
  std::string big(100 * 1024, 'v');
  t.reply(rec, {"QUEUE(A) DESCR(" + big + ") CURDEPTH(1)", "QUEUE(B CURDEPTH(2", "QUEUE(C)) (( CURDEPTH(3)"});
  EXPECT_TRUE(t.has(big));
  EXPECT_TRUE(t.has("QUEUE(B"));
  EXPECT_TRUE(t.has("QUEUE(C)"));
  EXPECT_EQ(count(t.output(), "AMQ8409I"), 3u);

  // A =WHERE reads a 100 kB value like any other.
  DisplayTest w;
  CommandRecord filtered;
  ASSERT_TRUE(w.prepare(filtered, "DIS Q(*) =WHERE(DESCR LK 'vvv*')"));
  w.reply(filtered, {"QUEUE(A) DESCR(" + big + ")", "QUEUE(B) DESCR(other)"});
  EXPECT_TRUE(w.has("QUEUE(A)"));
  EXPECT_FALSE(w.has("QUEUE(B)"));
}

TEST(Layout, ZosGroupsAndSubtotals) {
  DisplayTest t;
  t.ctx.settings.options |= kOptDisTotals;
  CommandRecord rec;
  rec.isDisplay = true;
  rec.marks |= kMarkFilterable;
  t.zosReply(rec, {"CSQN205I   COUNT=       9, RETURN=00000000, REASON=00000000",
                   "CSQN137I ]MQ1 'DISPLAY QUEUE' command accepted for CMDSCOPE(*), sent to 2",
                   "CSQN121I ]MQ1 'DISPLAY QUEUE' command responses from MQ1", "CSQM401I ]MQ1 QUEUE(A) TYPE(QLOCAL)",
                   "CSQM401I ]MQ1 QUEUE(B) TYPE(QLOCAL)", "CSQ9022I ]MQ1 CSQMDRTS ' DISPLAY QUEUE' NORMAL COMPLETION",
                   "CSQN121I ]MQ1 'DISPLAY QUEUE' command responses from MQ2", "CSQM401I ]MQ2 QUEUE(C) TYPE(QLOCAL)",
                   "CSQ9022I ]MQ2 CSQMDRTS ' DISPLAY QUEUE' NORMAL COMPLETION",
                   "CSQN122I ]MQ1 'DISPLAY QUEUE' command for CMDSCOPE(*) normal completion"});
  ASSERT_TRUE(rec.complete());
  std::vector<std::string> l = t.lines();
  std::vector<std::string> expected = {"CSQM401I ]MQ1",
                                       "QSGQM(MQ1) QUEUE(A) TYPE(QLOCAL)",
                                       "CSQM401I ]MQ1",
                                       "QSGQM(MQ1) QUEUE(B) TYPE(QLOCAL)",
                                       "Subtotal display responses - Received:2",
                                       "CSQM401I ]MQ2",
                                       "QSGQM(MQ2) QUEUE(C) TYPE(QLOCAL)",
                                       "Subtotal display responses - Received:1",
                                       "Total display responses - Received:3"};
  EXPECT_EQ(l, expected);
}

TEST(Layout, PlainTextAfterSyntaxErrorAndHandleRecords) {
  DisplayTest t;
  CommandRecord rec;
  ASSERT_TRUE(t.prepare(rec, "DIS QSTATUS(Q) TYPE(HANDLE)"));
  MQMD md = replyMd(MQFMT_ADMIN);
  auto one = escapeReply("AMQ8450I: Display queue status details.\n   QUEUE(Q)   TYPE(HANDLE)", 0);
  auto two = escapeReply("TYPE(HANDLE)   PID(12)", MQCFC_LAST);
  handleMqscResponse(t.ctx, rec, distributedTarget(), md, one.data(), one.size());
  handleMqscResponse(t.ctx, rec, distributedTarget(), md, two.data(), two.size());
  std::vector<std::string> l = t.lines();
  auto at = std::find_if(l.begin(), l.end(), [](const std::string &x) { return x.rfind("TYPE(HANDLE)", 0) == 0; });
  ASSERT_NE(at, l.end());
  ASSERT_NE(at, l.begin());
  EXPECT_EQ(*(at - 1), " ");

  DisplayTest s;
  CommandRecord bad;
  ASSERT_TRUE(s.prepare(bad, "DIS QLOCAL(X) FOO"));
  auto reply =
      escapeReply("AMQ8405I: Syntax error detected at or near end of command segment below:-\nDIS QLOCAL(X) FOO\n\n"
                  "AMQ8427I: Valid syntax for the MQSC command:\n\n  DISPLAY QLOCAL( generic_q_name )",
                  MQCFC_LAST, MQCC_FAILED, 3008);
  handleMqscResponse(s.ctx, bad, distributedTarget(), md, reply.data(), reply.size());
  EXPECT_TRUE(s.has("  DISPLAY QLOCAL( generic_q_name )"));
  EXPECT_FALSE(s.has("No matching responses"));
}

}  // namespace

// Scripts read the user's command from its record: the last record shown (after
// filters, sort and the response limit) and how many the filters passed.
TEST(Layout, NotesTheLastShownRecordAndMatchesInTheCommandRecord) {
  {
    DisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*) =WHERE(CURDEPTH=1) =MAXRESP(2)"));
    t.reply(rec, queues(10));  // depth 1: Q1, Q4, Q7
    EXPECT_TRUE(rec.shownAsCurrent);
    EXPECT_EQ(rec.matched, 3);
    EXPECT_NE(rec.lastShown.text.find("QUEUE(Q4)"), std::string::npos);
  }
  {
    DisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*) =WHERE(CURDEPTH=9)"));
    t.reply(rec, queues(4));
    EXPECT_EQ(rec.matched, 0);
    EXPECT_TRUE(rec.lastShown.text.empty());
  }
  {
    // A script's own command is laid out quietly and is not the user's current command.
    DisplayTest t;
    CommandRecord rec;
    rec.kind = RecordKind::ScriptCommand;
    rec.keepRecords = true;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*)"));
    t.reply(rec, queues(3));
    EXPECT_FALSE(rec.shownAsCurrent);
    EXPECT_EQ(rec.keptRecords.size(), 3u);
  }
}

namespace {

// Feeds one reply of a distributed display; `last` completes the command.
void replyOne(DisplayTest &t, CommandRecord &rec, const std::string &record, bool last) {
  MQMD md = replyMd(MQFMT_ADMIN);
  auto bytes = escapeReply("AMQ8409I: Display Queue details.\n   " + record, last ? MQCFC_LAST : 0);
  handleMqscResponse(t.ctx, rec, distributedTarget(), md, bytes.data(), bytes.size());
}

std::string wide(const std::string &name) { return "QUEUE(" + name + ") DESCR(" + std::string(70, 'd') + ") CURDEPTH(0)"; }

// A display is written as its records arrive, unless its form is still open; and what
// it writes is the same either way.
TEST(LayoutStreaming, RecordsGoOutAsTheyArriveOnceTheirFormIsKnown) {
  {
    // Too wide for content columns from the first record: each record goes out as soon
    // as the next one shows it to be whole.
    DisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*)"));
    replyOne(t, rec, wide("A"), false);
    replyOne(t, rec, wide("B"), false);
    EXPECT_TRUE(t.has("QUEUE(A)"));
    EXPECT_FALSE(t.has("QUEUE(B)"));  // more of it may still come
    replyOne(t, rec, wide("C"), true);
    EXPECT_EQ(count(t.output(), "AMQ8409I"), 3u);
    EXPECT_EQ(rec.lastShown.find("QUEUE")->valueLength, 1u);
    EXPECT_EQ(rec.matched, 3);
  }
  {
    // Narrow records wait while content columns might still fit; a wide one settles the
    // style, and the held records go out first, in the order they came.
    DisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*)"));
    replyOne(t, rec, "QUEUE(A) CURDEPTH(0)", false);
    replyOne(t, rec, "QUEUE(B) CURDEPTH(1)", false);
    EXPECT_TRUE(t.lines().empty());
    replyOne(t, rec, wide("C"), false);
    replyOne(t, rec, "QUEUE(D) CURDEPTH(2)", true);
    std::vector<std::string> l = t.lines();
    ASSERT_GE(l.size(), 4u);
    EXPECT_EQ(l[1], "QUEUE(A)" + std::string(12, ' ') + "CURDEPTH(0)");  // fixed columns for every record, held or not
    std::string out = t.output();
    EXPECT_LT(out.find("QUEUE(A)"), out.find("QUEUE(B)"));
    EXPECT_LT(out.find("QUEUE(B)"), out.find("QUEUE(C)"));
    EXPECT_LT(out.find("QUEUE(C)"), out.find("QUEUE(D)"));
  }
  {
    // A sort needs every record: nothing is written before the last reply.
    DisplayTest t;
    CommandRecord rec;
    ASSERT_TRUE(t.prepare(rec, "DIS Q(*) =SORTD(CURDEPTH)"));
    replyOne(t, rec, wide("A"), false);
    replyOne(t, rec, wide("B") + " CURDEPTH(5)", false);
    replyOne(t, rec, wide("C"), false);
    EXPECT_TRUE(t.lines().empty());
    replyOne(t, rec, "QUEUE(D) CURDEPTH(9)", true);
    std::string out = t.output();
    EXPECT_LT(out.find("QUEUE(D)"), out.find("QUEUE(B)"));
    EXPECT_LT(out.find("QUEUE(B)"), out.find("QUEUE(A)"));
  }
}

TEST(LayoutStreaming, RecordsAreLetGoOnceWrittenUnlessTheCommandKeepsThem) {
  DisplayTest t;
  CommandRecord rec;
  ASSERT_TRUE(t.prepare(rec, "DIS Q(*) =WHERE(CURDEPTH > 0)"));
  t.reply(rec, queues(9));
  EXPECT_TRUE(rec.keptRecords.empty());
  EXPECT_EQ(rec.matched, 6);
  EXPECT_EQ(rec.receivedCount, 9u);

  CommandRecord kept;
  kept.keepRecords = true;
  ASSERT_TRUE(t.prepare(kept, "DIS Q(*) =WHERE(CURDEPTH > 0)"));
  t.reply(kept, queues(9));
  ASSERT_EQ(kept.keptRecords.size(), 6u);  // what the filters passed, read once, in arrival order
  EXPECT_TRUE(kept.keptRecords[0].parsed);
  std::string_view depth;
  ASSERT_TRUE(kept.keptRecords[0].find("curdepth", false, depth));
  EXPECT_EQ(depth, "1");
  // The response text for _lastcmdresp holds only what passed, as it came.
  std::string text = kept.responseText.text();
  EXPECT_EQ(count(text, "AMQ8409I"), 6u);
  EXPECT_EQ(text.find("QUEUE(Q0)"), std::string::npos);
}

}  // namespace
