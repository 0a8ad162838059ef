#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "display/message_rules.h"
#include "mqsc/command_record.h"

namespace {

// The rule for `line` applied to `scan`; fails the test when no rule has the line.
LineOutcome apply(std::string_view line, MessageScan &scan) {
  const MessageRule *rule = findMessageRule(line);
  EXPECT_NE(rule, nullptr) << line;
  return rule ? rule->apply(line, scan) : LineOutcome{};
}

// A DISPLAY's output being laid out with its records filterable.
MessageScan displayScan() {
  MessageScan scan;
  scan.filterable = true;
  return scan;
}

std::vector<std::string_view> idsOf(const MessageRule &rule) {
  std::vector<std::string_view> ids;
  std::string_view rest = rule.ids;
  while (!rest.empty()) {
    size_t end = rest.find(' ');
    if (end != 0) ids.push_back(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return ids;
}

TEST(MessageRules, EveryMessageNumberOfARowFindsThatRow) {
  // An earlier row matching a later row's message would take its lines from it.
  for (const MessageRule &rule : messageRules()) {
    ASSERT_FALSE(idsOf(rule).empty());
    ASSERT_NE(rule.apply, nullptr);
    for (std::string_view id : idsOf(rule)) {
      std::string line = std::string(id) + " ]MQ1 some text";
      EXPECT_EQ(findMessageRule(line), &rule) << line;
    }
  }
}

TEST(MessageRules, ALineWithNoRuleIsLeftToTheLayout) {
  for (std::string_view line : {"AMQ8409I: Display Queue details.", "CSQM401I ]MQ1 QUEUE(A) TYPE(QLOCAL)",
                                "QUEUE(X) DESCR(AMQ8135 CSQ9022I)", "CSQN", "CSQ", "", " AMQ8135"}) {
    EXPECT_EQ(findMessageRule(line), nullptr) << '"' << line << '"';
  }
}

TEST(MessageRules, SyntaxErrorsAndOtherCsq9MessagesShowTheRestAsReceived) {
  for (std::string_view line :
       {"AMQ8405I: Syntax error detected at or near end of command segment below:-",
        "AMQ8427I: Valid syntax for the MQSC command:", "CSQ9016I ]MQ1 'DISPLAY' command request not authorized"}) {
    MessageScan scan = displayScan();
    scan.formatting = true;
    LineOutcome outcome = apply(line, scan);
    EXPECT_TRUE(scan.plain) << line;
    EXPECT_FALSE(outcome.hidden) << line;
    EXPECT_FALSE(outcome.subtotal) << line;
    EXPECT_EQ(outcome.marks, 0u) << line;
  }
}

TEST(MessageRules, AnAuthorisationFailureInADisplayIsShownOnlyWhenAuthMessagesAreOn) {
  std::string_view line = "AMQ8135E: Not authorized.";
  MessageScan display = displayScan();
  EXPECT_TRUE(apply(line, display).hidden);

  display.authMessages = true;
  EXPECT_FALSE(apply(line, display).hidden);

  MessageScan other;  // not a DISPLAY: the failure is the command's answer
  EXPECT_FALSE(apply(line, other).hidden);
  EXPECT_FALSE(other.plain);
}

TEST(MessageRules, CommandServerCountsWithAFailingReasonEndFilteringAndTotals) {
  {
    MessageScan scan = displayScan();
    apply("CSQN205I   COUNT=       9, RETURN=00000000, REASON=00000000", scan);
    EXPECT_FALSE(scan.error);
    EXPECT_TRUE(scan.filterable);
  }
  {
    MessageScan scan = displayScan();
    apply("CSQN205I   COUNT=       2, RETURN=00000000, REASON=00000004", scan);
    EXPECT_FALSE(scan.error);
    EXPECT_TRUE(scan.filterable);
  }
  for (std::string_view line : {"CSQN205I   COUNT=       2, RETURN=0000000C, REASON=00000008",
                                "CSQN205I   COUNT=       2, RETURN=0000000C, REASON=0000000C"}) {
    MessageScan scan = displayScan();
    apply(line, scan);
    EXPECT_TRUE(scan.error) << line;
    EXPECT_FALSE(scan.filterable) << line;
  }
  // Without a reason, or with nothing after it, the state stands.
  for (std::string_view line : {"CSQN205I   COUNT=       2, RETURN=00000000", "CSQN205I REASON="}) {
    MessageScan scan = displayScan();
    apply(line, scan);
    EXPECT_FALSE(scan.error) << line;
    EXPECT_TRUE(scan.filterable) << line;
  }
}

TEST(MessageRules, GroupHousekeepingLinesAreHiddenWhenFormatting) {
  for (std::string_view line : {"CSQN205I   COUNT=       9, RETURN=00000000, REASON=00000000",
                                "CSQN137I ]MQ1 'DISPLAY QUEUE' command accepted for CMDSCOPE(*), sent to 2",
                                "CSQN122I ]MQ1 'DISPLAY QUEUE' command for CMDSCOPE(*) normal completion"}) {
    MessageScan formatted = displayScan();
    formatted.formatting = true;
    EXPECT_TRUE(apply(line, formatted).hidden) << line;
    EXPECT_FALSE(formatted.plain) << line;

    MessageScan raw = displayScan();
    EXPECT_FALSE(apply(line, raw).hidden) << line;
  }
}

TEST(MessageRules, AGroupStartCountsItsQueueManagersRecordsAfresh) {
  std::string_view line = "CSQN121I ]MQ1 'DISPLAY QUEUE' command responses from MQ2";
  MessageScan scan = displayScan();
  scan.groupReceived = 4;
  scan.groupMatched = 3;
  LineOutcome outcome = apply(line, scan);
  EXPECT_TRUE(scan.groupPresent);
  EXPECT_EQ(scan.groupReceived, 0u);
  EXPECT_EQ(scan.groupMatched, 0u);
  EXPECT_TRUE(outcome.hidden);

  // Once the output is shown as received the line is part of it.
  MessageScan plain = displayScan();
  plain.plain = true;
  EXPECT_FALSE(apply(line, plain).hidden);
}

TEST(MessageRules, QueueManagerDetailsMarkTheRecordAndAreShown) {
  MessageScan scan = displayScan();
  scan.formatting = true;
  LineOutcome outcome = apply("CSQM409I ]MQ1 QMNAME(MQ1)", scan);
  EXPECT_TRUE(outcome.marks & kMarkQmgrDetails);
  EXPECT_FALSE(outcome.hidden);
  EXPECT_FALSE(scan.plain);
}

TEST(MessageRules, ACompletionInAGroupAsksForTheSubtotal) {
  std::string_view normal = "CSQ9022I ]MQ1 CSQMDRTS ' DISPLAY QUEUE' NORMAL COMPLETION";
  MessageScan scan = displayScan();
  scan.displayTotals = true;
  scan.groupPresent = true;
  EXPECT_TRUE(apply(normal, scan).subtotal);
  EXPECT_FALSE(scan.plain);  // unlike the other CSQ9 messages

  MessageScan noGroup = scan;
  noGroup.groupPresent = false;
  EXPECT_FALSE(apply(normal, noGroup).subtotal);

  MessageScan noTotals = scan;
  noTotals.displayTotals = false;
  EXPECT_FALSE(apply(normal, noTotals).subtotal);

  MessageScan plain = scan;
  plain.plain = true;
  EXPECT_FALSE(apply(normal, plain).subtotal);

  MessageScan unfiltered = scan;
  unfiltered.filterable = false;
  EXPECT_FALSE(apply(normal, unfiltered).subtotal);

  MessageScan failed = scan;
  EXPECT_TRUE(apply("CSQ9023E ]MQ2 CSQMDRTS ' DISPLAY QUEUE' ABNORMAL COMPLETION", failed).subtotal);
}

TEST(MessageRules, OnlyANormalCompletionOfADisplayIsHiddenWhenFormatting) {
  std::string_view normal = "CSQ9022I ]MQ1 CSQMDRTS ' DISPLAY QUEUE' NORMAL COMPLETION";
  std::string_view abnormal = "CSQ9023E ]MQ1 CSQMDRTS ' DISPLAY QUEUE' ABNORMAL COMPLETION";
  MessageScan scan = displayScan();
  scan.formatting = true;
  EXPECT_TRUE(apply(normal, scan).hidden);
  EXPECT_FALSE(apply(abnormal, scan).hidden);

  MessageScan raw = displayScan();
  EXPECT_FALSE(apply(normal, raw).hidden);

  MessageScan failed = scan;
  failed.error = true;
  EXPECT_FALSE(apply(normal, failed).hidden);

  MessageScan other = scan;
  other.filterable = false;
  EXPECT_FALSE(apply(normal, other).hidden);
}

TEST(MessageRules, CompletionMessagesAreTheTwoCsq9Completions) {
  EXPECT_TRUE(isCompletionMessage("CSQ9022I ]MQ1 CSQMDRTS ' DISPLAY QUEUE' NORMAL COMPLETION"));
  EXPECT_TRUE(isCompletionMessage("CSQ9023E ]MQ1 CSQMDRTS ' DISPLAY QUEUE' ABNORMAL COMPLETION"));
  EXPECT_FALSE(isCompletionMessage("CSQ9016I ]MQ1 'DISPLAY' command request not authorized"));
  EXPECT_FALSE(isCompletionMessage("CSQN122I ]MQ1 'DISPLAY QUEUE' command for CMDSCOPE(*) normal completion"));
  EXPECT_FALSE(isCompletionMessage(""));
}

}  // namespace
