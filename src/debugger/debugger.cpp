#include "debugger/debugger.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "context/output.h"
#include "debugger/debugger_state.h"
#include "runtime/scan.h"
#include "script/compiler.h"
#include "script/resolver.h"
#include "text/text.h"

namespace kvarn::debugger {

using script::CommandNode;
using script::CommandType;
using script::ExecFrame;
using script::FrameKind;
using script::FunctionDef;
using script::HookEvent;
using script::ScriptState;

DebuggerState& debuggerState(ProgramContext& ctx) {
  if (!ctx.debugger) ctx.debugger = std::make_unique<DebuggerState>();
  return static_cast<DebuggerState&>(*ctx.debugger);
}

void say(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stderr); }

std::vector<const ExecFrame*> visibleFrames(const ScriptState& state) {
  std::vector<const ExecFrame*> frames;
  for (const ExecFrame& f : state.frames)
    if (f.kind == FrameKind::Call || f.kind == FrameKind::Loop) frames.push_back(&f);
  return frames;
}

Position selectedPosition(Session& s) {
  std::vector<const ExecFrame*> frames = visibleFrames(s.script);
  if (s.dbg.selectedFrame < frames.size()) {
    const ExecFrame& f = *frames[s.dbg.selectedFrame];
    // A call's node stands in its caller; a call from an expression has none, and the
    // statement whose expression called stands for it.
    const CommandNode* node = f.node ? f.node : f.caller;
    return {node, node ? node->owner : nullptr};
  }
  const CommandNode* current = s.script.current;
  return {current, current ? current->owner : nullptr};
}

SelectedScope::SelectedScope(Session& s) : variables_(s.script.variables) {
  std::vector<const ExecFrame*> frames = visibleFrames(s.script);
  if (s.dbg.selectedFrame >= frames.size()) return;
  size_t depth = 1;  // the main scope, and one for each call the selected frame is inside
  for (size_t i = 0; i < s.dbg.selectedFrame; ++i)
    if (frames[i]->kind == FrameKind::Call) ++depth;
  if (depth < variables_.depth()) aside_ = variables_.setAsideScopes(depth);
}

SelectedScope::~SelectedScope() {
  if (!aside_.empty()) variables_.restoreScopes(std::move(aside_));
}

namespace {

void collect(script::CommandNode* node, std::vector<CommandNode*>& out) {
  for (; node; node = node->next) {
    out.push_back(node);
    if (node->type == CommandType::Import && node->import && node->import->body)
      collect(node->import->body->head(), out);
  }
}

}  // namespace

std::vector<CommandNode*> unitNodes(ScriptState& state, FunctionDef* function) {
  std::vector<CommandNode*> nodes;
  if (!function) collect(state.mainNodes.head(), nodes);
  else if (const auto& body = function->runBody()) collect(body->head(), nodes);
  return nodes;
}

bool breakpointAt(const DebuggerState& dbg, const CommandNode& node) {
  if (!node.stmtNo) return false;
  std::string_view function = node.owner ? std::string_view(node.owner->name) : std::string_view();
  for (const Breakpoint& b : dbg.breakpoints)
    if (b.stmtNo == node.stmtNo && b.function == function) return true;
  return false;
}

std::vector<const DebugCommand*> allCommands() {
  std::vector<const DebugCommand*> rows;
  for (auto table : {controlCommands(), listingCommands(), breakpointCommands()})
    for (const DebugCommand& row : table) rows.push_back(&row);
  auto word = [](const DebugCommand* c) { return std::isalpha(static_cast<unsigned char>(c->name[0])) != 0; };
  std::stable_sort(rows.begin(), rows.end(), [&](const DebugCommand* a, const DebugCommand* b) {
    if (word(a) != word(b)) return word(a);
    return word(a) && a->name < b->name;
  });
  return rows;
}

namespace {

bool isAssignment(std::string_view text, std::string_view& name, std::string_view& expression) {
  text = scanTrim(text);
  if (text.size() < 2 || text[0] != '@') return false;
  size_t eq = scanFindAtLevel0(text, '=');
  if (eq == std::string_view::npos || (eq + 1 < text.size() && text[eq + 1] == '=')) return false;
  name = scanTrim(text.substr(0, eq));
  expression = scanTrim(text.substr(eq + 1));
  size_t open = name.find('[');
  std::string_view plain = name.substr(0, open);
  for (char c : plain)
    if (c == ' ' || c == '\t' || c == ']') return false;
  if (open != std::string_view::npos && (name.back() != ']' || open + 2 >= name.size())) return false;
  return !expression.empty();
}

// Evaluates an expression typed at the prompt; false after reporting its error.
bool evaluateTyped(Session& s, std::string_view text, script::Value& value) {
  std::string error;
  script::CompiledExpr expr = script::cmdCompileExpression(s.ctx, text, 0, error);
  if (expr && script::expEvaluate(*expr, value)) {
    // A string result may view the compiled expression's text, which goes with it.
    value = value.copy();
    return true;
  }
  if (expr) error = expr->error();
  addError(s.ctx, error.empty() ? "Error evaluating expression" : error);
  return false;
}

CommandResult runAssignment(Session& s, std::string_view name, std::string_view expression) {
  SelectedScope scope(s);
  std::vector<int32_t> subscripts;
  size_t open = name.find('[');
  if (open != std::string_view::npos) {
    for (std::string_view piece : scanSplitCommas(name.substr(open + 1, name.size() - open - 2))) {
      script::Value v;
      if (!evaluateTyped(s, piece, v)) return CommandResult::Continue;
      subscripts.push_back(script::valueInteger(v));
    }
    name = scanTrim(name.substr(0, open));
  }
  script::Value value;
  if (!evaluateTyped(s, expression, value)) return CommandResult::Continue;
  std::string error;
  if (!script::scriptAssign(s.ctx, name, subscripts, value, error)) addError(s.ctx, error);
  return CommandResult::Continue;
}

// The line typed at the prompt, split at ';' outside quotes and parentheses.
bool runLine(ProgramContext& ctx, std::string_view line) {
  for (;;) {
    size_t end = scanFindStatementEnd(line);
    std::string_view part = line.substr(0, end);
    if (!scanTrim(part).empty() && !debuggerCommand(ctx, part)) return false;
    if (end == std::string_view::npos) return true;
    line.remove_prefix(end + 1);
  }
}

void promptLoop(ProgramContext& ctx, Session& s) {
  if (s.dbg.commandLine.capacity() < kCommandLineSize) s.dbg.commandLine.reserve(kCommandLineSize);
  while (s.dbg.active && !s.dbg.runMode && !ctx.quit) {
    uint32_t loaded = s.script.functions.loadedCount;
    if (loaded != s.dbg.functionsReported) {
      uint32_t count = loaded - s.dbg.functionsReported;
      say(strFormat("INF: %u function%s loaded\n", count, count == 1 ? "" : "s"));
      s.dbg.functionsReported = loaded;
    }
    // What the script printed so far comes before the prompt on a shared terminal.
    std::fflush(stdout);
    say("DBG>");
    std::fflush(stderr);
    std::string& line = s.dbg.commandLine;
    line.clear();
    bool gotLine = false;
    for (int c; (c = std::fgetc(stdin)) != EOF;) {
      gotLine = true;
      if (c == '\n') break;
      if (c != '\r' && line.size() < kCommandLineSize - 1) line += static_cast<char>(c);
    }
    if (!gotLine) {
      say("End of debug input\n");
      ctx.quit = true;
      return;
    }
    std::string_view text = line;
    while (!text.empty() && (text[0] == ' ' || text[0] == '\t')) text.remove_prefix(1);
    if (text.empty()) return;  // step: the statement runs
    if (!runLine(ctx, text)) {
      ctx.quit = true;
      return;
    }
  }
}

// While the prompt runs what its user typed, that text is not a script step: functions
// it calls run without stops, and its errors print only their message.
struct InDebugger {
  explicit InDebugger(ScriptState& state) : state_(state), saved_(state.inDebugger) { state.inDebugger = true; }
  ~InDebugger() { state_.inDebugger = saved_; }
  InDebugger(const InDebugger&) = delete;
  InDebugger& operator=(const InDebugger&) = delete;
  ScriptState& state_;
  bool saved_;
};

// -D b: an assignment run while the debugger prompts shows the variable before and after.
void traceAssignment(ProgramContext& ctx, const CommandNode& node, bool after) {
  DebuggerState& dbg = debuggerState(ctx);
  if (!dbg.active || dbg.runMode || node.names.empty()) return;
  ScriptState& state = script::scriptState(ctx);
  const std::string& name = node.names[0];
  std::string shown;
  const script::VariableRecord* record = state.variables.find(name);
  if (!record) {
    shown = "(not exist)";
  } else if (!record->hasValue || record->value.isNotSet()) {
    shown = "*Unknown*";
  } else if (record->value.isString()) {
    std::string_view bytes = record->value.bytes();
    shown = strFormat("'%.*s'", static_cast<int>(bytes.size()), bytes.data());
  } else {
    std::string error;
    if (!script::valueToText(record->value, 2, shown, error)) shown = "*Unknown*";
  }
  say(strFormat("    %s :%s = %s\n", after ? " AFTER" : "BEFORE", name.c_str(), shown.c_str()));
}

}  // namespace

void debuggerStart(ProgramContext& ctx) {
  DebuggerState& dbg = debuggerState(ctx);
  dbg.active = true;
  dbg.debugMode = true;
  ScriptState& state = script::scriptState(ctx);
  state.keepMainNodes = true;
  state.statementHook = [](ProgramContext& c, CommandNode& node, HookEvent event) { debuggerHook(c, node, event); };
  if (ctx.trace.before) state.assignmentHook = traceAssignment;
}

void debuggerTraceStatements(ProgramContext& ctx) {
  debuggerStart(ctx);
  debuggerState(ctx).active = false;
}

void debuggerHook(ProgramContext& ctx, CommandNode& node, HookEvent event) {
  ScriptState& state = script::scriptState(ctx);
  if (state.inDebugger) return;
  DebuggerState& dbg = debuggerState(ctx);
  if (event == HookEvent::LoopEnd) {
    node.flags &= ~script::kNodeRunout;
    dbg.runoutPending = true;
    state.hookStatements = ~uint64_t{0};  // the next statement stops, whatever its number
    return;
  }
  if (event != HookEvent::Statement || !node.stmtNo) return;
  if (dbg.runoutPending) {
    dbg.runoutPending = false;
    setRunMode(dbg, state, false);
  } else if (dbg.runMode) {
    if (!breakpointAt(dbg, node)) return;
    if (node.owner) say(strFormat("Breakpoint at line %u of function '%s'\n", node.stmtNo, node.owner->name.c_str()));
    else say(strFormat("Breakpoint at line %u reached\n", node.stmtNo));
    setRunMode(dbg, state, false);
  }
  size_t depth = 0;
  for (const ExecFrame& f : state.frames) depth += f.kind == FrameKind::Call || f.kind == FrameKind::Loop;
  dbg.selectedFrame = depth;
  Session s{ctx, dbg, state};
  printListingLine(s, node, {});
  InDebugger guard(state);
  promptLoop(ctx, s);
}

bool debuggerCommand(ProgramContext& ctx, std::string_view command) {
  ScriptState& state = script::scriptState(ctx);
  Session s{ctx, debuggerState(ctx), state};
  InDebugger guard(state);
  command = scanTrim(command);
  size_t pos = 0;
  while (pos < command.size() && command[pos] != ' ' && command[pos] != '\t') ++pos;
  std::string_view word = command.substr(0, pos);
  std::string_view operand = scanTrim(command.substr(pos));
  for (const DebugCommand* row : allCommands())
    if (row->handler && scanEqualsNoCase(word, row->name)) return row->handler(s, operand) == CommandResult::Continue;
  std::string_view name, expression;
  if (isAssignment(command, name, expression)) return runAssignment(s, name, expression) == CommandResult::Continue;
  addError(ctx, "Unrecognised Debug Command");
  return true;
}

}  // namespace kvarn::debugger
