// The IBM MQ messages the layout treats on their own: each rule names the messages it
// matches and, beside them, what it does when one of their lines comes by in the
// command's output. A line no rule matches is the layout's: shown as received.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

// What the message rules read and change as the layout goes through a command's output
// lines in order. The layout shares the state with them: it reads `plain`, `filterable`
// and `error` for the records and counts the current group's records.
struct MessageScan {
  // Settings, read only.
  bool formatting = false;     // FORMATTING: the z/OS housekeeping lines are hidden
  bool authMessages = false;   // AUTHMSGS: authorisation failure messages are shown
  bool displayTotals = false;  // DISTOTALS: totals and group subtotals are written
  // The layout's state.
  bool plain = false;          // the rest of the output is shown as received
  bool filterable = false;     // records are filtered, sorted, limited and counted
  bool error = false;          // the command failed: neither notes nor totals
  bool groupPresent = false;   // a queue-sharing group's responses came
  uint32_t groupReceived = 0;  // records of the current group's queue manager
  uint32_t groupMatched = 0;   // of them, those the filters passed
};

// What the layout does with a message's line after its rule.
struct LineOutcome {
  bool hidden = false;    // not written
  bool subtotal = false;  // the group's subtotal is written before the line (or in its place)
  uint32_t marks = 0;     // marks the command record gets (CommandMarks)
};

using MessageRuleFn = LineOutcome (*)(std::string_view line, MessageScan &scan);

// One message rule: the message numbers a line may begin with, separated by blanks (a
// number may be cut short to match a family of messages), and its work.
struct MessageRule {
  std::string_view ids;
  MessageRuleFn apply;
};

// Every rule, in the order they are tried.
std::span<const MessageRule> messageRules();

// The first rule whose message numbers `line` begins with; null when no rule has it.
const MessageRule *findMessageRule(std::string_view line);

// The completion message of one queue manager's responses (z/OS): CSQ9022I or CSQ9023E.
bool isCompletionMessage(std::string_view line);

// One queue manager's part of an answer from several begins (CSQN121I, or a fleet
// member's): its records are counted afresh.
void startQmgrGroup(MessageScan &scan);
// At the end of that part (CSQ9022I, or the member's last piece): whether its Subtotal
// is written.
bool qmgrSubtotalDue(const MessageScan &scan);
