#include "display/message_rules.h"

#include <cstdlib>
#include <string>

#include "mqsc/command_record.h"

void startQmgrGroup(MessageScan &scan) {
  scan.groupMatched = scan.groupReceived = 0;
  scan.groupPresent = true;
}

bool qmgrSubtotalDue(const MessageScan &scan) {
  return scan.displayTotals && scan.groupPresent && !scan.plain && scan.filterable;
}

namespace {

// True when `line` begins with one of the blank-separated numbers of `ids`.
bool beginsWithOneOf(std::string_view line, std::string_view ids) {
  while (!ids.empty()) {
    size_t end = ids.find(' ');
    std::string_view id = ids.substr(0, end);
    if (!id.empty() && line.starts_with(id)) return true;
    if (end == std::string_view::npos) break;
    ids.remove_prefix(end + 1);
  }
  return false;
}

constexpr std::string_view kCompletionIds = "CSQ9022I CSQ9023E";

// Syntax errors, the valid syntax, messages that are no object details: what follows
// is shown as it came.
LineOutcome restAsReceived(std::string_view, MessageScan &scan) {
  scan.plain = true;
  return {};
}

// An authorisation failure in a DISPLAY's output is left out unless AUTHMSGS asks for it.
LineOutcome authorisationFailure(std::string_view, MessageScan &scan) {
  return {.hidden = scan.filterable && !scan.authMessages};
}

// CSQN205I: how many responses the command server sends, with its return and reason
// codes (hexadecimal). A reason of 5 or more is taken as the command's failure.
LineOutcome commandServerCounts(std::string_view line, MessageScan &scan) {
  size_t at = line.find("REASON=");
  if (at != std::string_view::npos) {
    unsigned long reason = std::strtoul(std::string(line.substr(at + 7, 8)).c_str(), nullptr, 16);
    if (reason >= 5) scan.error = true, scan.filterable = false;
  }
  return {.hidden = scan.formatting};
}

// CSQN137I (sent to the group's queue managers), CSQN122I (the group's completion).
LineOutcome groupHousekeeping(std::string_view, MessageScan &scan) { return {.hidden = scan.formatting}; }

// CSQN121I: one queue manager's responses start; its records are counted afresh.
LineOutcome groupStart(std::string_view, MessageScan &scan) {
  startQmgrGroup(scan);
  return {.hidden = !scan.plain};
}

// CSQM409I: the queue manager's details, which are no objects to total.
LineOutcome queueManagerDetails(std::string_view, MessageScan &) { return {.marks = kMarkQmgrDetails}; }

// CSQ9022I, CSQ9023E: one queue manager's responses end. In a group its records get a
// subtotal; a normal completion of a DISPLAY is housekeeping.
LineOutcome completion(std::string_view line, MessageScan &scan) {
  LineOutcome outcome;
  outcome.subtotal = qmgrSubtotalDue(scan);
  outcome.hidden = scan.formatting && scan.filterable && !scan.error && line.starts_with("CSQ9022I");
  return outcome;
}

// Tried in order, the first match wins: the completion messages come before the other
// CSQ9 messages.
constexpr MessageRule kRows[] = {
    {"AMQ8405 AMQ8413 AMQ8421 AMQ8427 AMQ8463 AMQ8569 AMQ8326 AMQ8426 AMQ8468", restAsReceived},
    {"AMQ8135", authorisationFailure},
    {"CSQN205I", commandServerCounts},
    {"CSQN137I CSQN122I", groupHousekeeping},
    {"CSQN121I", groupStart},
    {"CSQM409I", queueManagerDetails},
    {kCompletionIds, completion},
    {"CSQ9", restAsReceived},
};

}  // namespace

std::span<const MessageRule> messageRules() { return kRows; }

const MessageRule *findMessageRule(std::string_view line) {
  for (const MessageRule &rule : kRows)
    if (beginsWithOneOf(line, rule.ids)) return &rule;
  return nullptr;
}

bool isCompletionMessage(std::string_view line) { return beginsWithOneOf(line, kCompletionIds); }
