// Debugger commands that move and inspect the run: help, sf, where, print, eval, run,
// runout and end.
#include <algorithm>

#include "context/output.h"
#include "debugger/debugger_state.h"
#include "script/compiler.h"
#include "script/print.h"
#include "text/text.h"

namespace kvarn::debugger {

namespace {

using script::CommandNode;
using script::CommandType;
using script::ExecFrame;
using script::FrameKind;

CommandResult helpCommand(Session&, std::string_view operand) {
  std::string text = "Debugger commands\n";
  bool found = false;
  for (const DebugCommand* row : allCommands()) {
    if (!operand.empty() && !scanEqualsNoCase(operand, row->name)) continue;
    if (row->help.empty() && row->examples.empty()) continue;
    found = true;
    if (!row->help.empty())
      text += strFormat("%-8.*s - %.*s\n", static_cast<int>(row->name.size()), row->name.data(),
                        static_cast<int>(row->help.size()), row->help.data());
    size_t width = 0;
    for (const HelpExample& e : row->examples) width = std::max(width, e.example.size());
    for (const HelpExample& e : row->examples)
      text += strFormat("  %-*.*s - %.*s\n", static_cast<int>(width), static_cast<int>(e.example.size()),
                        e.example.data(), static_cast<int>(e.text.size()), e.text.data());
  }
  if (!found) {
    say(strFormat("Unknown debugger command '%.*s'.\n", static_cast<int>(operand.size()), operand.data()));
    return CommandResult::Continue;
  }
  say(text);
  return CommandResult::Continue;
}

CommandResult selectFrame(Session& s, std::string_view operand) {
  size_t depth = visibleFrames(s.script).size();
  int64_t n = -1;
  if (!operand.empty() && operand.size() < 10 &&
      std::all_of(operand.begin(), operand.end(), [](char c) { return c >= '0' && c <= '9'; }))
    n = std::stoll(std::string(operand));
  if (n < 0 || static_cast<size_t>(n) > depth) {
    say(strFormat("Please enter a stack frame between 0 and %zu.\n", depth));
    return CommandResult::Continue;
  }
  s.dbg.selectedFrame = static_cast<size_t>(n);
  return CommandResult::Continue;
}

CommandResult where(Session& s, std::string_view) {
  std::vector<const ExecFrame*> frames = visibleFrames(s.script);
  for (size_t i = 0; i < frames.size(); ++i) {
    ListingOptions options;
    options.frame = static_cast<int>(i);
    options.selected = s.dbg.selectedFrame == i;
    // A call from inside an expression has no statement of its own: the statement
    // whose expression called stands for it.
    if (const CommandNode* node = frames[i]->node ? frames[i]->node : frames[i]->caller)
      printListingLine(s, *node, options);
  }
  if (const CommandNode* current = s.script.current) {
    ListingOptions options;
    options.frame = static_cast<int>(frames.size());
    options.selected = s.dbg.selectedFrame == frames.size();
    printListingLine(s, *current, options);
  }
  return CommandResult::Continue;
}

CommandResult print(Session& s, std::string_view operand) {
  SelectedScope scope(s);
  std::string error;
  if (!script::scriptPrint(s.ctx, operand, error)) addError(s.ctx, error);
  return CommandResult::Continue;
}

void showResult(Session& s, script::CompiledExpr& expr) {
  script::Value value;
  std::string text, error;
  if (!expr || !script::expEvaluate(*expr, value)) {
    if (expr && !expr->error().empty()) say(expr->error() + "\n");
    else say("Error evaluating expression\n");
    return;
  }
  if (!script::valueToText(value, 2, text, error)) {
    say(error.empty() ? std::string("Error evaluating expression\n") : error + "\n");
    return;
  }
  say(strFormat("Result:'%s'\n", text.c_str()));
  (void)s;
}

CommandResult eval(Session& s, std::string_view operand) {
  if (!operand.empty()) {
    SelectedScope scope(s);
    std::string error;
    script::CompiledExpr expr = script::cmdCompileExpression(s.ctx, operand, 0, error);
    if (!expr) {
      say(error.empty() ? std::string("Error evaluating expression\n") : error + "\n");
      return CommandResult::Continue;
    }
    showResult(s, expr);
    return CommandResult::Continue;
  }
  CommandNode* current = s.script.current;
  if (!current || !(current->type == CommandType::If || current->type == CommandType::While ||
                    current->type == CommandType::Assign)) {
    say("Current command is not a suitable type for evaluation\n");
    return CommandResult::Continue;
  }
  showResult(s, current->expr);
  return CommandResult::Continue;
}

CommandResult run(Session& s, std::string_view) {
  if (s.dbg.breakpoints.empty()) s.dbg.active = false;
  else setRunMode(s.dbg, s.script, true);
  return CommandResult::Continue;
}

CommandResult runout(Session& s, std::string_view) {
  for (size_t i = s.script.frames.size(); i-- > 0;) {
    const ExecFrame& f = s.script.frames[i];
    if (f.kind == FrameKind::Loop && f.node) {
      f.node->flags |= script::kNodeRunout;
      setRunMode(s.dbg, s.script, true);
      return CommandResult::Continue;
    }
  }
  say("Not currently inside loop\n");
  return CommandResult::Continue;
}

CommandResult end(Session&, std::string_view) { return CommandResult::EndProgram; }

constexpr HelpExample kHelpExamples[] = {{"help list", "Display help about list command"}};
constexpr HelpExample kPrintExamples[] = {{"print @a,@b", "Print values or @a and @b"}};
constexpr HelpExample kFrameExamples[] = {{"sf 3", "Set stack frame"}};
constexpr HelpExample kAssignExamples[] = {{"@a = 4", "Assign 4 to variable @a"},
                                           {"@a = @b + @c", "Assign result of @b+@c to variable @a"}};

constexpr DebugCommand kCommands[] = {
    {"end", "End program", {}, end},
    {"eval", "Evaluate current command expression", {}, eval},
    {"help", "Display help text", kHelpExamples, helpCommand},
    {"print", "Print value of variable or expression", kPrintExamples, print},
    {"run", "Run to next breakpoint", {}, run},
    {"runout", "Run until end of the current loop", {}, runout},
    {"sf", "", kFrameExamples, selectFrame},
    {"where", "Print out the current command location", {}, where},
    {"@", "Assign value to variable", kAssignExamples, nullptr},
    {"<Enter>", "Step to next command", {}, nullptr},
    {"?", "Display help text", {}, helpCommand},
};

}  // namespace

std::span<const DebugCommand> controlCommands() { return kCommands; }

}  // namespace kvarn::debugger
