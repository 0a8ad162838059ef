// A fleet's answer: each member's command prepared and answered on its own, held, and
// laid out as one with the same display the user's single commands get.
#include <gtest/gtest.h>

#include <algorithm>

#include "display_support.h"

namespace {

struct Member {
  std::string qmgr;
  std::vector<std::string> records;  // none and `failure` set: the member did not answer
  std::string failure;
};

struct FleetAnswer : DisplayTest {
  // Prepares `command` for each member, feeds its records (or fails it) and merges.
  bool answer(CommandRecord &merged, const std::string &command, const std::vector<Member> &members) {
    merged.commandText = command;
    std::vector<MemberAnswer> answers;
    for (const Member &m : members) {
      auto rec = std::make_shared<CommandRecord>();
      rec->qmgr = m.qmgr;
      rec->fleetMember = true;
      rec->keepRecords = merged.keepRecords;
      rec->output = heldForMerge();
      EXPECT_TRUE(prepare(*rec, command));
      if (!m.failure.empty()) {
        rec->marks |= kMarkError;
        addRecordError(ctx, *rec, m.failure);
        rec->reason = 2033;
        completeCommandRecord(ctx, *rec);
      } else {
        reply(*rec, m.records);
      }
      answers.push_back({m.qmgr, rec});
    }
    return completeMergedAnswer(ctx, merged, answers);
  }
};

std::vector<Member> threeMembers() {
  return {{"QM1", {"QUEUE(A) TYPE(QLOCAL) CURDEPTH(5)", "QUEUE(B) TYPE(QLOCAL) CURDEPTH(1)"}, ""},
          {"QM2", {}, "Timed out waiting for response"},
          {"QM3", {"QUEUE(A) TYPE(QLOCAL) CURDEPTH(9)"}, ""}};
}

TEST(FleetAnswer, EachMemberIsOneQueueManagersPartWithItsSubtotalAndTheFailedOneIsAnError) {
  FleetAnswer t;
  t.ctx.settings.options |= kOptDisTotals;
  CommandRecord merged;
  EXPECT_FALSE(t.answer(merged, "DIS QL(*) CURDEPTH", threeMembers()));
  EXPECT_TRUE(merged.complete());
  std::vector<std::string> expected = {"AMQ8409I: Display Queue details.",
                                       "QSGQM(QM1) QUEUE(A) TYPE(QLOCAL) CURDEPTH(5)",
                                       "AMQ8409I: Display Queue details.",
                                       "QSGQM(QM1) QUEUE(B) TYPE(QLOCAL) CURDEPTH(1)",
                                       "Subtotal display responses - Received:2",
                                       "QM2: Timed out waiting for response",
                                       "Subtotal display responses - Received:0",
                                       "AMQ8409I: Display Queue details.",
                                       "QSGQM(QM3) QUEUE(A) TYPE(QLOCAL) CURDEPTH(9)",
                                       "Subtotal display responses - Received:1",
                                       "Total display responses - Received:3"};
  EXPECT_EQ(t.lines(), expected);
}

TEST(FleetAnswer, WhereSortAndLimitActAcrossTheWholeFleet) {
  FleetAnswer t;
  t.ctx.settings.options |= kOptDisTotals;
  CommandRecord merged;
  t.answer(merged, "DIS QL(*) CURDEPTH =WHERE(CURDEPTH > 1) =SORTD(CURDEPTH) =MAXRESP(1)", threeMembers());
  std::vector<std::string> l = t.lines();
  // The deepest queue of the fleet alone, the member's failure after the records, and
  // the Total counting what every member sent (=WHERE dropped B on arrival).
  std::vector<std::string> expected = {
      "AMQ8409I: Display Queue details.", "QSGQM(QM3) QUEUE(A) TYPE(QLOCAL) CURDEPTH(9)",
      "QM2: Timed out waiting for response", "Total display responses - Received:3 Matched:2/3 Shown:1/2"};
  EXPECT_EQ(l, expected);

  // A member's records are named before its filters run: =WHERE can pick a member.
  FleetAnswer w;
  CommandRecord picked;
  w.answer(picked, "DIS QL(*) CURDEPTH =WHERE(QSGQM = 'QM1')", threeMembers());
  EXPECT_TRUE(w.has("QSGQM(QM1) QUEUE(A)"));
  EXPECT_TRUE(w.has("QSGQM(QM1) QUEUE(B)"));
  EXPECT_FALSE(w.has("QSGQM(QM3)"));
}

TEST(FleetAnswer, ALoopMeetsEveryRecordInShownOrderThenEachFailedMemberWithItsReason) {
  FleetAnswer t;
  CommandRecord merged;
  merged.keepRecords = true;
  t.answer(merged, "DIS QL(*) CURDEPTH =SORT(CURDEPTH)", threeMembers());
  ASSERT_EQ(merged.keptRecords.size(), 4u);
  std::vector<std::string> order;
  for (const ResponseRecord &r : merged.keptRecords) order.push_back(r.qmgr);
  EXPECT_EQ(order, (std::vector<std::string>{"QM1", "QM1", "QM3", "QM2"}));
  std::string_view depth;
  ASSERT_TRUE(merged.keptRecords[0].find("CURDEPTH", false, depth));
  EXPECT_EQ(depth, "1");
  const ResponseRecord &failed = merged.keptRecords.back();
  std::string_view reason, error;
  ASSERT_TRUE(failed.find("REASON", false, reason));
  ASSERT_TRUE(failed.find("ERROR", false, error));
  EXPECT_EQ(reason, "2033");
  EXPECT_EQ(error, "Timed out waiting for response");
}

TEST(FleetAnswer, OnlyTheMembersAreCountedAndTheAnswerFailsWhenOneDid) {
  FleetAnswer t;
  t.ctx.counting.cmds = true;
  t.ctx.counting.dspcmds = true;
  CommandRecord merged;
  EXPECT_FALSE(t.answer(merged, "DIS QL(*)", threeMembers()));
  EXPECT_FALSE(merged.succeeded);
  EXPECT_TRUE(merged.has(kMarkError));
  EXPECT_EQ(t.ctx.issued, 3u);
  EXPECT_EQ(t.ctx.failed, 1u);

  FleetAnswer ok;
  CommandRecord all;
  std::vector<Member> members = threeMembers();
  members[1] = {"QM2", {"QUEUE(Z) TYPE(QLOCAL)"}, ""};
  EXPECT_TRUE(ok.answer(all, "DIS QL(*)", members));
  EXPECT_TRUE(all.succeeded);
}

TEST(FleetAnswer, JsonRecordsAndMessagesNameTheirMember) {
  FleetAnswer t;
  t.ctx.settings.outformat = kOutputJson;
  CommandRecord merged;
  merged.qmgr = "*";
  t.answer(merged, "DIS QL(*) CURDEPTH", threeMembers());
  std::string out = t.output();
  EXPECT_NE(out.find(R"({"kind":"record","qmgr":"QM3")"), std::string::npos) << out;
  // The member that did not answer: one error naming it, with its reason.
  EXPECT_NE(out.find(R"({"kind":"error","qmgr":"QM2")"), std::string::npos) << out;
  EXPECT_NE(out.find(R"("reason":2033,"text":"Timed out waiting for response")"), std::string::npos) << out;
}

}  // namespace
