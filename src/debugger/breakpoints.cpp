// Breakpoints: the bp, bc and bl commands and the table they keep.
#include <algorithm>
#include <optional>

#include "debugger/debugger_state.h"
#include "text/text.h"

namespace kvarn::debugger {

namespace {

using script::CommandNode;
using script::FunctionDef;

struct Target {
  bool all = false;                 // `*`
  FunctionDef* function = nullptr;  // null: the main program
  uint32_t stmtNo = 0;              // 0: the function's first statement
};

std::optional<int64_t> number(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int64_t n = 0;
  bool negative = text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return negative ? -n : n;
}

bool validNumber(std::optional<int64_t> n) {
  if (*n < 1) {
    say("The line number should be 1 or greater.\n");
    return false;
  }
  return true;
}

// The statement an operand of bp or bc names; nullopt after saying why there is none.
std::optional<Target> parseTarget(Session& s, std::string_view operand) {
  operand = scanTrim(operand);
  Position at = selectedPosition(s);
  Target t;
  if (operand.empty()) {
    t.function = at.function;
    t.stmtNo = at.node ? at.node->stmtNo : 0;
    if (!t.stmtNo) {
      say("Please enter a valid line number.\n");
      return std::nullopt;
    }
    return t;
  }
  if (operand == "*") {
    t.all = true;
    return t;
  }
  // A statement number that must be there: a missing one is asked for again.
  auto requiredNumber = [&](std::string_view text) -> std::optional<uint32_t> {
    std::optional<int64_t> n = number(text);
    if (!n) {
      say("Please enter a valid line number.\n");
      return std::nullopt;
    }
    if (!validNumber(n)) return std::nullopt;
    return static_cast<uint32_t>(*n);
  };
  if (operand[0] == '#') {
    std::optional<uint32_t> n = requiredNumber(scanTrim(operand.substr(1)));
    if (!n) return std::nullopt;
    t.stmtNo = *n;
    return t;
  }
  if (std::optional<int64_t> n = number(operand)) {
    if (!validNumber(n)) return std::nullopt;
    t.function = at.function;
    t.stmtNo = static_cast<uint32_t>(*n);
    return t;
  }
  size_t end = operand.find_first_of(" \t");
  std::string_view name = operand.substr(0, end);
  std::string_view rest = end == std::string_view::npos ? std::string_view() : scanTrim(operand.substr(end));
  if (name.size() > script::kMaxFunctionName) {
    say(strFormat("Function name '%.*s' is too long.\n", static_cast<int>(name.size()), name.data()));
    return std::nullopt;
  }
  t.function = s.script.functions.find(name);
  if (!t.function || !t.function->runBody()) {
    say(strFormat("Function name '%.*s' is not defined.\n", static_cast<int>(name.size()), name.data()));
    return std::nullopt;
  }
  if (!rest.empty()) {
    std::optional<uint32_t> n = requiredNumber(rest);
    if (!n) return std::nullopt;
    t.stmtNo = *n;
  }
  return t;
}

std::string functionName(const FunctionDef* f) { return f ? f->name : std::string(); }

void sortBreakpoints(DebuggerState& dbg) {
  // Cleared entries sort last, whatever their function, and are cut off there.
  std::sort(dbg.breakpoints.begin(), dbg.breakpoints.end(), [](const Breakpoint& a, const Breakpoint& b) {
    bool aCleared = a.stmtNo == kClearedBreakpoint, bCleared = b.stmtNo == kClearedBreakpoint;
    if (aCleared != bCleared) return bCleared;
    if (a.function != b.function) return a.function < b.function;
    return a.stmtNo < b.stmtNo;
  });
  while (!dbg.breakpoints.empty() && dbg.breakpoints.back().stmtNo == kClearedBreakpoint) dbg.breakpoints.pop_back();
}

Breakpoint* findBreakpoint(DebuggerState& dbg, std::string_view function, uint32_t stmtNo) {
  for (Breakpoint& b : dbg.breakpoints)
    if (b.function == function && b.stmtNo == stmtNo) return &b;
  return nullptr;
}

CommandResult setBreakpoint(Session& s, std::string_view operand) {
  if (scanTrim(operand) == "*") {
    say("Asterisk(*) is not supported by 'bp' command.\n");
    return CommandResult::Continue;
  }
  std::optional<Target> t = parseTarget(s, operand);
  if (!t) return CommandResult::Continue;
  std::vector<CommandNode*> nodes = unitNodes(s.script, t->function);
  uint32_t last = 0, wanted = t->stmtNo, found = 0;
  for (const CommandNode* node : nodes) {
    if (!node->stmtNo) continue;
    last = std::max(last, node->stmtNo);
    if (node->stmtNo >= wanted && (!found || node->stmtNo < found)) found = node->stmtNo;
  }
  std::string name = functionName(t->function);
  const char* warning = nullptr;
  uint32_t stmtNo = wanted;
  if (wanted == 0) {
    stmtNo = found ? found : 1;  // the function's first statement
  } else if (wanted > last) {
    warning = "Warning - breakpoint set on non-existent line.\n";
  } else if (found != wanted) {
    warning = "Warning - setting breakpoint on next available line.\n";
    stmtNo = found;
  }
  if (findBreakpoint(s.dbg, name, stmtNo)) {
    say(strFormat("Breakpoint on line %u already set.\n", stmtNo));
    return CommandResult::Continue;
  }
  if (s.dbg.breakpoints.size() >= kMaxBreakpoints) {
    say(strFormat("Maximum limit of %zu breakpoints already set.\n", kMaxBreakpoints));
    return CommandResult::Continue;
  }
  if (warning) say(warning);
  s.dbg.breakpoints.push_back({stmtNo, name});
  sortBreakpoints(s.dbg);
  return CommandResult::Continue;
}

CommandResult clearBreakpoint(Session& s, std::string_view operand) {
  std::optional<Target> t = parseTarget(s, operand);
  if (!t) return CommandResult::Continue;
  if (t->all) {
    s.dbg.breakpoints.clear();
    return CommandResult::Continue;
  }
  uint32_t stmtNo = t->stmtNo;
  if (!stmtNo) {
    for (const CommandNode* node : unitNodes(s.script, t->function))
      if (node->stmtNo) {
        stmtNo = node->stmtNo;
        break;
      }
  }
  Breakpoint* b = findBreakpoint(s.dbg, functionName(t->function), stmtNo);
  if (!b) {
    say(strFormat("Breakpoint line %u is not currently set.\n", stmtNo));
    return CommandResult::Continue;
  }
  b->stmtNo = kClearedBreakpoint;
  sortBreakpoints(s.dbg);
  return CommandResult::Continue;
}

const CommandNode* statementOf(Session& s, const Breakpoint& b) {
  FunctionDef* f = nullptr;
  if (!b.function.empty()) {
    f = s.script.functions.find(b.function);
    if (!f) return nullptr;
  }
  for (const CommandNode* node : unitNodes(s.script, f))
    if (node->stmtNo == b.stmtNo) return node;
  return nullptr;
}

CommandResult listBreakpoints(Session& s, std::string_view) {
  if (s.dbg.breakpoints.empty()) {
    say("No breakpoints set\n");
    return CommandResult::Continue;
  }
  std::vector<const Breakpoint*> missing;
  for (const Breakpoint& b : s.dbg.breakpoints) {
    if (const CommandNode* node = statementOf(s, b)) printListingLine(s, *node, {});
    else missing.push_back(&b);
  }
  if (missing.empty()) return CommandResult::Continue;
  std::string text = "Breakpoints for which there is no current line:\n";
  for (const Breakpoint* b : missing)
    text += b->function.empty() ? strFormat("  Line %5u of the main program\n", b->stmtNo)
                                : strFormat("  Line %5u of function '%s'\n", b->stmtNo, b->function.c_str());
  say(text);
  return CommandResult::Continue;
}

constexpr HelpExample kClearExamples[] = {
    {"bc", "Clears a breakpoint on the current line"},
    {"bc 25", "Clear breakpoint on line 25"},
    {"bc test 5", "Clear breakpoint on line 5 of function 'test'"},
    {"bc *", "Clear all breakpoints"},
};
constexpr HelpExample kSetExamples[] = {
    {"bp", "Set breakpoint on the current line"},
    {"bp 25", "Set breakpoint on line 25"},
    {"bp test", "Set breakpoint at function 'test'"},
    {"bp test 5", "Set breakpoint on line 5 of function 'test'"},
};

constexpr DebugCommand kCommands[] = {
    {"bc", "Clears a current breakpoint", kClearExamples, clearBreakpoint},
    {"bl", "List breakpoints", {}, listBreakpoints},
    {"bp", "Sets a new breakpoint", kSetExamples, setBreakpoint},
};

}  // namespace

std::span<const DebugCommand> breakpointCommands() { return kCommands; }

}  // namespace kvarn::debugger
