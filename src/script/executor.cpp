#include "script/executor.h"

#include <algorithm>

#include "context/echo.h"
#include "context/output.h"
#include "context/trace.h"
#include "runtime/scan.h"
#include "runtime/signals.h"
#include "runtime/stack.h"
#include "script/compiler.h"
#include "script/import.h"
#include "script/loop_program.h"
#include "script/parameters.h"
#include "script/print.h"
#include "script/resolver.h"
#include "script/script_host.h"
#include "script/script_state.h"

namespace kvarn::script {

namespace {

using CT = CommandType;

// The innermost loop frame, not looking past a function call; -1 when none.
int innermostLoop(const ScriptState& state) {
  for (size_t i = state.frames.size(); i-- > 0;) {
    if (state.frames[i].kind == FrameKind::Loop) return static_cast<int>(i);
    if (state.frames[i].kind == FrameKind::Call) break;
  }
  return -1;
}

// Pushes a frame for the life of a scope; the frame is found again by index because the
// stack may grow under it.
class FrameGuard {
 public:
  FrameGuard(ScriptState& state, CommandNode* node, FrameKind kind, Value* result = nullptr,
             FunctionDef* function = nullptr)
      : state_(state), index_(state.frames.size()) {
    if (!function && kind != FrameKind::Call) {
      if (node) function = node->owner;
      else if (state.current) function = state.current->owner;
    }
    state.frames.push_back(ExecFrame{node, kind, false, result, function, state.current});
    if (node) node->flags |= kNodeActive;
  }
  ~FrameGuard() {
    if (CommandNode* node = state_.frames[index_].node) node->flags &= ~kNodeActive;
    state_.frames.resize(index_);
  }
  ExecFrame& frame() { return state_.frames[index_]; }
  bool isInnermost() const { return state_.frames.size() == index_ + 1; }
  FrameGuard(const FrameGuard&) = delete;
  FrameGuard& operator=(const FrameGuard&) = delete;

 private:
  ScriptState& state_;
  size_t index_;
};

InputSource& currentSource(ProgramContext& ctx) { return ctx.input ? *ctx.input : *ctx.mainInput; }

// A statement not echoed is still added, hidden, where the output is kept (the console
// can show hidden lines); in file mode it would be dropped at once, so it is not made.
void echoStatement(ProgramContext& ctx, std::string_view text, bool invalid = false) {
  bool visible = echoVisible(ctx, nullptr, IssueFromUser, EchoKind::Statement) || invalid;
  if (visible || ctx.output->keepsLines()) addCommandEcho(ctx, text, visible);
}

void echoBlankLine(ProgramContext& ctx) {
  const InputSource& src = currentSource(ctx);
  bool visible = src.echo.input && src.echo.blank && !ctx.runningBootstrap;
  ctx.output->addLine("", kStyleInfo | (visible ? 0u : kStyleHidden));
}

[[gnu::always_inline]] inline bool evaluate(CompiledExpr& expr, Value& out, std::string& error) {
  if (!expr) {
    error = "No expression";
    return false;
  }
  if (expEvaluate(*expr, out)) return true;
  error = expr->error();
  return false;
}

bool evaluateText(CompiledExpr& expr, std::string& text, std::string& error) {
  Value v;
  if (!evaluate(expr, v, error)) return false;
  return valueToText(v, 2, text, error);
}

// Compiles and evaluates a text now (foreach and foritem headers, wait, substitutions).
bool evaluateNow(ProgramContext& ctx, std::string_view text, std::string& result, std::string& error) {
  CompiledExpr expr = cmdCompileExpression(ctx, text, 0, error);
  if (!expr) {
    if (error.empty())
      error = strFormat("Error parsing expression '%.*s' expression", static_cast<int>(text.size()), text.data());
    return false;
  }
  return evaluateText(expr, result, error);
}

constexpr uint64_t bit(CommandType type) { return uint64_t{1} << static_cast<uint32_t>(type); }

// What running a node tells the loop that runs a list of nodes.
enum class Flow {
  Next,     // go on with the next node
  EndBody,  // the body being run ends here (its end, break, continue, return, a goto out)
  Stop,     // the run stops (an error, leave, quit): every runner up to the statement returns
};

class Executor {
 public:
  explicit Executor(ProgramContext& ctx) : ctx_(ctx), state_(scriptState(ctx)) {}
  // Runs a list of nodes: Next once it ran to its end or its body ended, Stop otherwise.
  Flow run(CommandNode* node);

 private:
  bool mustReturn(Flow& flow);
  bool handleError();
  // The dispatcher is kept small: each statement's work is a function of its own, so
  // that running the common ones costs no more than they need.
  Flow runNode(CommandNode* node, CommandNode*& next);
  [[gnu::noinline]] Flow runIf(CommandNode* node, CommandNode*& next);
  [[gnu::noinline]] Flow runWhile(CommandNode* node);
  [[gnu::noinline]] Flow runForeach(CommandNode* node);
  [[gnu::noinline]] Flow runForitem(CommandNode* node);
  Flow runLoopBody(CommandNode* loop, LoopCounters& counters);
  struct CompiledLoop;
  // Runs passes of a while loop through its compiled program while that can be done.
  // Next when the loop ended, Stop when the run stops, and otherwise (no program, or the
  // executor must look for itself) `pending` with the passes run so far.
  enum class Compiled { Ended, Stop, Pending };
  Compiled runCompiled(CommandNode* node, FrameGuard& guard, int& misses);
  [[gnu::noinline]] Flow runCall(CommandNode* node);
  [[gnu::noinline]] void runAssign(CommandNode* node);
  void assign(CommandNode* node, const Value& value, const int32_t* subscripts, size_t count);
  [[gnu::noinline]] void runEval(CommandNode* node);
  [[gnu::noinline]] Flow runExec(CommandNode* node);
  [[gnu::noinline]] void runReturn(CommandNode* node);
  [[gnu::noinline]] Flow runGoto(CommandNode* node, CommandNode*& next);
  [[gnu::noinline]] void runVar(CommandNode* node);
  // A loop the debugger marked to stop after has ended.
  void loopEnded(CommandNode* node) {
    if (node->has(kNodeRunout) && state_.statementHook) state_.statementHook(ctx_, *node, HookEvent::LoopEnd);
  }
  // Once the run is ending, the errors it leaves behind in the frames it unwinds (a
  // call that yields nothing, say) are not news.
  void report(const std::string& message) {
    if (!state_.stopRun) addError(ctx_, message);
  }

  // The statement echo as decided when the run last settled: what it depends on (the
  // current source, its echo switches, the output) changes only in nodes after which the
  // run settles again, script functions called from expressions included.
  void noteEcho() {
    echoOn_ = echoVisible(ctx_, nullptr, IssueFromUser, EchoKind::Statement);
    keepsEcho_ = ctx_.output->keepsLines();
    callsSeen_ = state_.callsStarted;
  }
  void echo(const CommandNode& node) {
    bool visible = echoOn_ || node.has(kNodeInvalid);
    if (visible || keepsEcho_) addCommandEcho(ctx_, node.text, visible);
  }

  // Nothing asks the run to stop, leave or jump, and no command has failed since the
  // last full look (mustReturn).
  bool calm() const {
    return !(stopRequested() | ctx_.quit | state_.leaveFlag | state_.stopRun | state_.errorFlag) &&
           !state_.pendingGoto && ctx_.failureEvents == failuresSeen_;
  }
  // Nodes that neither run other nodes nor end a body: the frames are as they were.
  static bool keepsFrames(CommandType type) {
    constexpr uint64_t kKeeping = bit(CT::Assign) | bit(CT::If) | bit(CT::Else) | bit(CT::EndIf) | bit(CT::Eval) |
                                  bit(CT::Var) | bit(CT::SourceLine) | bit(CT::Comment) | bit(CT::BlankLine) |
                                  bit(CT::Label);
    return static_cast<uint32_t>(type) < 64 && (kKeeping >> static_cast<uint32_t>(type) & 1);
  }

  ProgramContext& ctx_;
  ScriptState& state_;
  uint32_t failuresSeen_ = 0;
  bool echoOn_ = false;
  bool keepsEcho_ = false;
  uint64_t callsSeen_ = 0;
  // The value of a statement's expression (a condition, a subscript, an assignment's
  // value), used before anything else runs; its string keeps its capacity.
  Value result_;
};

// Step checks before each node. True when the caller must return `flow`.
bool Executor::mustReturn(Flow& flow) {
  flow = Flow::Stop;
  failuresSeen_ = ctx_.failureEvents;
  if (stopRequested()) noteStopSignal(ctx_);  // a script loop stops on Ctrl-C too
  if (ctx_.quit || state_.leaveFlag || state_.stopRun) return true;
  if (!state_.frames.empty()) {
    const ExecFrame& top = state_.frames.back();
    if (top.exit) {
      flow = Flow::Next;
      return true;
    }
    if (top.kind == FrameKind::Loop && top.node && (top.node->flags & (kNodeBreakRequested | kNodeContinueRequested))) {
      flow = Flow::Next;
      return true;
    }
  }
  InputSource& src = currentSource(ctx_);
  if (src.stopOnError && (state_.compileFailed || ctx_.failureEvents != src.failuresAtStart)) {
    if (&src == ctx_.mainInput.get()) ctx_.quit = true;
    return true;
  }
  if (state_.errorFlag && !handleError()) return true;
  return false;
}

// An error stops the run, unless _error_func names a function: that is called and the
// run goes on (unless the function left).
bool Executor::handleError() {
  state_.errorFlag = false;
  if (state_.errorFunction.empty() || state_.inErrorFunction) return false;
  FunctionDef* f = state_.functions.find(state_.errorFunction);
  if (!f || !f->runBody()) return false;
  state_.inErrorFunction = true;
  CommandNode call;
  call.type = CT::ErrorCall;
  call.text = state_.errorFunction;
  std::string error;
  cmdCallFunction(ctx_, state_.errorFunction, {}, nullptr, &call, error);
  state_.inErrorFunction = false;
  state_.errorFlag = false;
  return !state_.leaveFlag && !ctx_.quit;
}

Flow Executor::run(CommandNode* node) {
  // Loops and calls nest the executor on the stack; the limits on each keep the depth
  // well inside it, and this is the last guard should they ever be combined past it.
  if (stackRemaining() < kStackReserve / 2) {
    cmdRuntimeError(ctx_, node ? std::string_view(node->text) : std::string_view(), "Statements are nested too deeply");
    state_.stopRun = true;
    return Flow::Stop;
  }
  CommandNode* saved = state_.current;
  Flow flow = Flow::Next;
  // The frames, the source and the goto waiting are looked at before the first node and
  // after any node that may change them; after the others (assignments, conditions,
  // ends of blocks) one test tells whether anything asks the run to stop or step aside.
  bool settle = true;
  InputSource* source = nullptr;
  for (;;) {
    if (settle || !calm()) {
      source = &currentSource(ctx_);
      noteEcho();
      if (mustReturn(flow)) break;
      if (state_.pendingGoto && (state_.frames.empty() || !state_.frames.back().exit)) {
        node = state_.pendingGoto;
        state_.pendingGoto = nullptr;
      }
    }
    if (!node) {
      flow = Flow::Next;
      break;
    }
    source->runLine = node->line;
    if (node->has(kNodeInvalid)) {
      node = node->next;
      continue;
    }
    state_.current = node;
    if (state_.statementHook && node->stmtNo && (state_.hookStatements >> (node->stmtNo & 63) & 1)) {
      state_.statementHook(ctx_, *node, HookEvent::Statement);
      if (ctx_.quit) break;  // the debugger ended the program
    }
    CommandNode* next = node->next;
    Flow result = runNode(node, next);
    settle = !keepsFrames(node->type) || state_.statementHook || state_.callsStarted != callsSeen_;
    if (result != Flow::Next) {
      flow = result == Flow::EndBody ? Flow::Next : Flow::Stop;
      break;
    }
    node = next;
  }
  state_.current = saved;
  return flow;
}

Flow Executor::runNode(CommandNode* node, CommandNode*& next) {
  switch (node->type) {
  case CT::SourceLine:
  case CT::Comment:
  case CT::MultiLine:
  case CT::Label:
  case CT::Func:
  case CT::DynamicStart:
  case CT::DynamicEnd: node->flags |= kNodeShown; return Flow::Next;
  case CT::BlankLine:
    node->flags |= kNodeShown;
    echoBlankLine(ctx_);
    return Flow::Next;
  case CT::EndIf: echo(*node); return Flow::Next;
  case CT::Command:
    if (scriptHost().issueCommand) scriptHost().issueCommand(ctx_, node->text);
    state_.nestLimitReported = false;
    return Flow::Next;
  case CT::If: return runIf(node, next);
  case CT::Else: next = node->link; return Flow::Next;
  case CT::While:
    if (runWhile(node) == Flow::Stop) return Flow::Stop;
    next = node->link ? node->link->next : nullptr;
    return Flow::Next;
  case CT::Foreach:
    if (runForeach(node) == Flow::Stop) return Flow::Stop;
    next = node->link ? node->link->next : nullptr;
    return Flow::Next;
  case CT::Foritem:
    if (runForitem(node) == Flow::Stop) return Flow::Stop;
    next = node->link ? node->link->next : nullptr;
    return Flow::Next;
  case CT::EndWhile:
  case CT::EndFor: echo(*node); return Flow::EndBody;
  case CT::EndImport:
  case CT::EndFunc: return Flow::EndBody;
  case CT::Error:
    if (!node->has(kNodeListed)) report(node->text);
    node->flags |= kNodeListed;
    return Flow::Next;
  case CT::Import: return cmdRunImport(ctx_, *node) ? Flow::Next : Flow::Stop;
  case CT::Continue: {
    echo(*node);
    int loop = innermostLoop(state_);
    if (loop < 0) {
      report("'continue' issued while not in loop");
      return Flow::Next;
    }
    state_.frames[static_cast<size_t>(loop)].node->flags |= kNodeContinueRequested;
    return Flow::EndBody;
  }
  case CT::Break: {
    echo(*node);
    int loop = innermostLoop(state_);
    if (loop < 0) {
      report("'break' issued while not in loop");
      return Flow::Next;
    }
    state_.frames[static_cast<size_t>(loop)].node->flags |= kNodeBreakRequested;
    return Flow::EndBody;
  }
  case CT::Eval: runEval(node); return Flow::Next;
  case CT::Exec: return runExec(node);
  case CT::Assign: runAssign(node); return Flow::Next;
  case CT::Leave:
    echo(*node);
    state_.leaveFlag = true;
    return Flow::Stop;
  case CT::Call:
  case CT::ErrorCall: return runCall(node);
  case CT::Goto: return runGoto(node, next);
  case CT::Var: runVar(node); return Flow::Next;
  case CT::Return: runReturn(node); return Flow::EndBody;
  }
  return Flow::Next;
}

Flow Executor::runIf(CommandNode* node, CommandNode*& next) {
  echo(*node);
  std::string error;
  if (!evaluate(node->expr, result_, error)) {
    report(error);
    return Flow::Stop;
  }
  if (!valueTruth(result_)) {
    CommandNode* other = node->link;
    next = other && other->type == CT::Else ? other->next : other;
  }
  return Flow::Next;
}

// One pass of a loop's body; Stop when the body asked to stop the run.
Flow Executor::runLoopBody(CommandNode* loop, LoopCounters& counters) {
  ++counters.index;
  Flow flow = run(loop->next);
  loop->flags &= ~kNodeContinueRequested;
  return flow;
}

// What the executor does for a compiled loop (see loop_program.h).
struct Executor::CompiledLoop {
  Executor& x;
  CommandNode* loop;
  FrameGuard& guard;

  bool passGo() {
    return !stopRequested() && !x.ctx_.quit && !guard.frame().exit && !loop->has(kNodeBreakRequested);
  }
  void passBegins() { ++x.state_.whileLoop.index; }
  uint32_t& commandCounter() { return x.state_.commandCounter; }
  bool statement(CommandNode* node) {
    currentSource(x.ctx_).runLine = node->line;
    x.state_.current = node;
    CommandNode* next = node->next;
    return x.runNode(node, next) != Flow::Stop;
  }
  int condition(CommandNode* node) {
    currentSource(x.ctx_).runLine = node->line;
    x.state_.current = node;
    std::string error;
    if (!evaluate(node->expr, x.result_, error)) {
      x.report(error);
      return -1;
    }
    return valueTruth(x.result_) ? 1 : 0;
  }
  // Nothing the executor looks at between statements asks it to look now.
  bool staysFast() {
    x.noteEcho();
    if (x.echoOn_ || x.keepsEcho_ || x.state_.statementHook || x.state_.assignmentHook || !x.calm()) return false;
    if (!guard.isInnermost() || guard.frame().exit || (loop->flags & (kNodeBreakRequested | kNodeContinueRequested)))
      return false;
    return !x.state_.compileFailed;
  }
};

Executor::Compiled Executor::runCompiled(CommandNode* node, FrameGuard& guard, int& misses) {
  // A loop that keeps handing over to the executor is left to it.
  constexpr int kMaxMisses = 16;
  if (misses >= kMaxMisses) return Compiled::Pending;
  if (!node->programTried) {
    node->programTried = true;
    node->program = LoopProgram::compile(*node);
  }
  LoopProgram* program = node->program.get();
  if (!program || program->running || !state_.compiledLoops || state_.statementHook || state_.assignmentHook)
    return Compiled::Pending;
  noteEcho();
  if (echoOn_ || keepsEcho_) return Compiled::Pending;
  CompiledLoop host{*this, node, guard};
  CommandNode* resumeAt = nullptr;
  program->running = true;
  ++state_.compiledLoopRuns;
  LoopExit exit = runLoopProgram(*program, host, state_.variables, resumeAt);
  program->running = false;
  state_.current = node;
  switch (exit) {
  case LoopExit::Ended: return Compiled::Ended;
  case LoopExit::Stop: return Compiled::Stop;
  case LoopExit::Recheck: ++misses; return Compiled::Pending;
  case LoopExit::Resume: break;
  }
  // The rest of the pass, as the executor runs a body.
  ++misses;
  Flow flow = run(resumeAt);
  node->flags &= ~kNodeContinueRequested;
  return flow == Flow::Stop ? Compiled::Stop : Compiled::Pending;
}

Flow Executor::runWhile(CommandNode* node) {
  FrameGuard guard(state_, node, FrameKind::Loop);
  int64_t saved = state_.whileLoop.index;
  state_.whileLoop.index = 0;
  Flow flow = Flow::Next;
  int misses = 0;
  for (;;) {
    if (ctx_.quit || guard.frame().exit) break;
    if (node->has(kNodeBreakRequested)) break;
    Compiled compiled = runCompiled(node, guard, misses);
    if (compiled == Compiled::Ended) break;
    if (compiled == Compiled::Stop) {
      flow = Flow::Stop;
      break;
    }
    if (ctx_.quit || guard.frame().exit || node->has(kNodeBreakRequested)) break;
    echo(*node);
    std::string error;
    if (!evaluate(node->expr, result_, error)) {
      report(error);
      flow = Flow::Stop;
      break;
    }
    if (!valueTruth(result_)) break;
    if (runLoopBody(node, state_.whileLoop) == Flow::Stop) {
      flow = Flow::Stop;
      break;
    }
  }
  node->flags &= ~kNodeBreakRequested;
  loopEnded(node);
  state_.whileLoop.passes = state_.whileLoop.index;
  state_.whileLoop.index = saved;
  return flow;
}

// A loop header's `<@var>` groups replaced in place; false when a group failed.
bool substituteInPlace(ProgramContext& ctx, std::string& text, SubstituteInto into) {
  if (text.find('<') == std::string::npos) return true;
  std::string out;
  switch (cmdSubstitute(ctx, text, out, into)) {
  case Substitution::Dropped: return false;
  case Substitution::Replaced: text = std::move(out); break;
  case Substitution::Unchanged: break;
  }
  return true;
}

// The command of a foreach header: an expression's text when it begins with '"', '@'
// or '_', substituted when it holds '<'. False after reporting.
bool foreachCommand(ProgramContext& ctx, const CommandNode& node, std::string& command) {
  std::string_view header = node.names.empty() ? std::string_view() : node.names[0];
  while (!header.empty() && (header[0] == ' ' || header[0] == '\t')) header.remove_prefix(1);
  command.assign(header);
  if (!header.empty() && (header[0] == '"' || header[0] == '@' || header[0] == '_')) {
    std::string error;
    if (!evaluateNow(ctx, header, command, error)) {
      cmdRuntimeError(ctx, node.text, error);
      return false;
    }
  }
  if (!substituteInPlace(ctx, command, SubstituteInto::Command)) return false;
  size_t pos = 0;
  ScanToken first = scanNextToken(command, pos);
  std::string_view word = first.exhausted ? std::string_view() : first.view(command);
  bool display = scanEqualsNoCase(word, "dis") || scanEqualsNoCase(word, "display");
  if (!display && scanEqualsNoCase(word, "reset")) {
    ScanToken second = scanNextToken(command, pos);
    display = !second.exhausted && scanEqualsNoCase(second.view(command), "qstats");
  }
  if (display) return true;
  if (word.empty()) addError(ctx, "foreach() statement expects DISPLAY or RESET QSTATS command.");
  else
    addError(ctx, strFormat("foreach() statement expects DISPLAY or RESET QSTATS command. Command '%.*s' received",
                            static_cast<int>(std::min<size_t>(word.size(), 100)), word.data()));
  return false;
}

Flow Executor::runForeach(CommandNode* node) {
  echo(*node);
  std::string command;
  state_.eachLoop.passes = 0;  // a loop that runs no pass counts none
  if (!foreachCommand(ctx_, *node, command)) return Flow::Next;
  std::vector<ResponseRecord> records;
  const ScriptHost& host = scriptHost();
  if (!host.collectRecords || !host.collectRecords(ctx_, command, records)) return Flow::Next;
  FrameGuard guard(state_, node, FrameKind::Loop);
  int64_t saved = state_.eachLoop.index;
  state_.eachLoop.index = 0;
  Flow flow = Flow::Next;
  for (ResponseRecord& record : records) {
    if (ctx_.quit || guard.frame().exit || node->has(kNodeBreakRequested)) break;
    state_.foreachRecords.push_back(std::move(record));
    Flow pass = runLoopBody(node, state_.eachLoop);
    state_.foreachRecords.pop_back();
    if (pass == Flow::Stop) {
      flow = Flow::Stop;
      break;
    }
  }
  node->flags &= ~kNodeBreakRequested;
  loopEnded(node);
  state_.eachLoop.passes = state_.eachLoop.index;
  state_.eachLoop.index = saved;
  return flow;
}

Flow Executor::runForitem(CommandNode* node) {
  echo(*node);
  std::string header = node->names.empty() ? std::string() : node->names[0];
  if (!substituteInPlace(ctx_, header, SubstituteInto::Expression)) return Flow::Next;
  std::string list, error;
  if (!evaluateNow(ctx_, header, list, error)) {
    cmdRuntimeError(ctx_, node->text, error);
    return Flow::Next;
  }
  FrameGuard guard(state_, node, FrameKind::Loop);
  int64_t saved = state_.itemLoop.index;
  std::string savedItem = state_.item;
  state_.itemLoop.index = 0;
  Flow flow = Flow::Next;
  for (const std::string& piece : splitParameters(list)) {
    if (ctx_.quit || guard.frame().exit || node->has(kNodeBreakRequested)) break;
    std::string_view item = scanTrim(piece);
    if (item.empty()) continue;
    state_.item.assign(item);
    if (runLoopBody(node, state_.itemLoop) == Flow::Stop) {
      flow = Flow::Stop;
      break;
    }
  }
  node->flags &= ~kNodeBreakRequested;
  loopEnded(node);
  state_.item = savedItem;
  state_.itemLoop.passes = state_.itemLoop.index;
  state_.itemLoop.index = saved;
  return flow;
}

Flow Executor::runCall(CommandNode* node) {
  echo(*node);
  std::vector<Value> args;
  for (CompiledExpr& e : node->args) {
    Value v;
    std::string error;
    if (!evaluate(e, v, error)) {
      report(error);
      return Flow::Next;
    }
    args.push_back(v.copy());
  }
  std::string error;
  std::string_view name = node->names.empty() ? std::string_view(node->text) : std::string_view(node->names[0]);
  if (!cmdCallFunction(ctx_, name, args, nullptr, node, error)) {
    cmdRuntimeError(ctx_, node->text, error);
    return Flow::Next;
  }
  return Flow::Next;
}

void Executor::runAssign(CommandNode* node) {
  ++state_.commandCounter;
  echo(*node);
  // More subscripts than a key can hold are refused by scriptAssign; up to one more are
  // kept so that it sees the excess.
  int32_t subscripts[kMaxSubscripts + 1];
  size_t count = 0;
  std::string error;
  for (CompiledExpr& e : node->args) {
    if (!evaluate(e, result_, error)) return report(error);
    if (count < std::size(subscripts)) subscripts[count++] = valueInteger(result_);
  }
  if (!evaluate(node->expr, result_, error)) return report(error);
  if (state_.assignmentHook) [[unlikely]] {
    state_.assignmentHook(ctx_, *node, false);
    assign(node, result_, subscripts, count);
    return state_.assignmentHook(ctx_, *node, true);
  }
  assign(node, result_, subscripts, count);
}

void Executor::assign(CommandNode* node, const Value& value, const int32_t* subscripts, size_t count) {
  // A plain user variable of a valid name is stored under its name as it stands.
  const std::string& name = node->names[0];
  if (name.size() > 1 && name[0] == '@' && name.size() <= kMaxVariableName) {
    if (!count) return state_.variables.assignPlain(name, value, node->memo);
    // An element of subscripts the store takes; the others are refused by scriptAssign.
    if (count <= static_cast<size_t>(kMaxSubscripts) &&
        std::all_of(subscripts, subscripts + count, [](int32_t s) { return s >= 1; }))
      return state_.variables.setElement(name, Subscripts::of(subscripts, count), value, &node->memo);
  }
  std::string error;
  if (!scriptAssign(ctx_, name, std::span<const int32_t>(subscripts, count), value, error, &node->memo)) report(error);
}

void Executor::runEval(CommandNode* node) {
  ++state_.commandCounter;
  echo(*node);
  std::string error;
  if (!evaluate(node->expr, result_, error)) report(error);
}

Flow Executor::runExec(CommandNode* node) {
  ++state_.commandCounter;
  echo(*node);
  std::string text, error;
  if (!evaluateText(node->expr, text, error)) {
    report(error);
    return Flow::Next;
  }
  return cmdRunText(ctx_, text, RunTextAs::Statements) ? Flow::Next : Flow::Stop;
}

void Executor::runReturn(CommandNode* node) {
  echo(*node);
  Value value;
  bool haveValue = false;
  if (node->expr) {
    std::string error;
    if (evaluate(node->expr, value, error)) haveValue = true;
    else report(error);
  }
  // Every frame up to and including the function call ends.
  for (size_t i = state_.frames.size(); i-- > 0;) {
    ExecFrame& f = state_.frames[i];
    f.exit = true;
    if (f.kind == FrameKind::Call) {
      if (f.result && haveValue) *f.result = value.copy();
      break;
    }
  }
}

// A goto may leave loops: each one between it and its label ends as if by break, and the
// label is taken once they have.
Flow Executor::runGoto(CommandNode* node, CommandNode*& next) {
  echo(*node);
  CommandNode* label = node->link;
  if (!label) return Flow::Next;
  auto enclosesLabel = [&](const CommandNode* loop) {
    for (const CommandNode* b = label->block; b; b = b->block)
      if (b == loop) return true;
    return false;
  };
  bool leftLoops = false;
  for (size_t i = state_.frames.size(); i-- > 0;) {
    ExecFrame& f = state_.frames[i];
    if (f.kind != FrameKind::Loop || enclosesLabel(f.node)) break;
    f.node->flags |= kNodeBreakRequested;
    leftLoops = true;
  }
  if (!leftLoops) {
    next = label;
    return Flow::Next;
  }
  state_.pendingGoto = label;
  return Flow::EndBody;
}

void Executor::runVar(CommandNode* node) {
  for (const std::string& name : node->names) {
    std::string error;
    if (!scriptDeclare(ctx_, name, {}, nullptr, error)) report(error);
  }
}

}  // namespace

// ---- entry points -------------------------------------------------------------------------

int cmdRunCommands(ProgramContext& ctx, CommandNode* node) { return Executor(ctx).run(node) == Flow::Stop ? 0 : 1; }

void cmdRunSource(ProgramContext& ctx, InputSource& src) {
  TraceScope trace(ctx, "cmdReadCommands", {}, false);
  ScriptState& state = scriptState(ctx);
  InputSource* previous = ctx.input;
  if (&src != previous) src.parent = previous;
  ctx.input = &src;
  src.failuresAtStart = ctx.failureEvents;
  bool keep = state.keepMainNodes && &src == ctx.mainInput.get();
  while (!ctx.quit && !ctx.interrupted) {
    NodeList statement;
    NodeList& list = keep ? state.mainNodes : statement;
    CommandNode* before = list.tail();
    ParseResult r = cmdParseCommand(ctx, src, CompileTarget{&list, nullptr, 0, !keep});
    CommandNode* first = before ? before->next : list.head();
    if (first) cmdRunCommands(ctx, first);
    // Nothing of a statement outlives it: an error or leave ends only that statement.
    state.errorFlag = false;
    state.leaveFlag = false;
    state.stopRun = false;
    state.pendingGoto = nullptr;
    state.current = nullptr;
    if (src.stopOnError && (state.compileFailed || ctx.failureEvents != src.failuresAtStart)) {
      if (&src == ctx.mainInput.get()) ctx.quit = true;
      break;
    }
    if (r == ParseResult::EndOfInput) break;
  }
  state.compileFailed = false;
  ctx.input = previous;
}

namespace {

// Text run at run time that runs text in turn (an Exec of itself, a wait whose expression
// waits) is bounded: past the limit the text is not run, reported once until the next
// command runs.
bool textNestingAllowed(ProgramContext& ctx) {
  ScriptState& state = scriptState(ctx);
  if (state.textNesting < kMaxTextNesting && stackRemaining() >= kStackReserve) return true;
  if (!state.nestLimitReported) addError(ctx, "Maximum command nest level reached");
  state.nestLimitReported = true;
  return false;
}

struct TextNesting {
  explicit TextNesting(ScriptState& state) : state_(state) { ++state_.textNesting; }
  ~TextNesting() { --state_.textNesting; }
  TextNesting(const TextNesting&) = delete;
  TextNesting& operator=(const TextNesting&) = delete;
  ScriptState& state_;
};

}  // namespace

int cmdRunText(ProgramContext& ctx, std::string_view text, RunTextAs as) {
  ScriptState& state = scriptState(ctx);
  if (scanTrim(text).empty()) return 1;
  if (!textNestingAllowed(ctx)) return 1;
  TextNesting nesting(state);
  NodeList block;
  FunctionDef* owner = state.current ? state.current->owner : nullptr;
  uint32_t line = state.current ? state.current->line : 0;
  CompileTarget target{&block, owner, line ? line : 1};
  // The frame stands while the text compiles too: an =import in it is then left to run
  // time, where text an Exec statement runs may not import.
  FrameGuard guard(state, nullptr, as == RunTextAs::OneCommand ? FrameKind::Substituted : FrameKind::Dynamic);
  bool compiled =
      as == RunTextAs::OneCommand ? cmdCompileCommand(ctx, text, target) : cmdCompileText(ctx, text, target);
  if (!compiled) return 1;
  return cmdRunCommands(ctx, block.head());
}

namespace {

// An import read as it runs: each top-level statement of the file is compiled, run and
// freed in turn, so a file of any length runs in the memory of its longest statement.
// The whole file was compiled once already, as a check, so a file that does not compile
// runs nothing, as one compiled whole. Definitions compiled here stay pending like
// those of a file compiled whole, and take effect when the import has run.
int runStreamedImport(ProgramContext& ctx, InputSource& src, FrameGuard& guard) {
  ScriptState& state = scriptState(ctx);
  for (;;) {
    NodeList statement;
    ++state.importsCompiling;
    bool failed = false;
    ParseResult r = cmdParseCommand(ctx, src, CompileTarget{&statement, nullptr, 0, true}, &failed);
    --state.importsCompiling;
    if (failed) return 0;  // the file changed since it was checked
    if (CommandNode* first = statement.head())
      if (!cmdRunCommands(ctx, first)) return 0;
    if (guard.frame().exit || ctx.quit) return 1;
    if (r == ParseResult::EndOfInput) return 1;
  }
}

}  // namespace

int cmdRunImport(ProgramContext& ctx, CommandNode& node) {
  ScriptState& state = scriptState(ctx);
  ImportData& data = *node.import;
  InputSource& src = *data.source;
  FrameGuard guard(state, &node, FrameKind::Import);
  setScriptParameters(ctx, data.hasParms ? splitParameters(data.parms) : std::vector<std::string>());
  InputSource& parent = currentSource(ctx);
  src.echo = parent.echo;
  src.echo.blank = false;
  if (data.quiet) src.echo.input = false;
  state.compileFailed = false;
  src.parent = &parent;
  src.failuresAtStart = ctx.failureEvents;
  ctx.input = &src;
  ++state.importsRunning;
  int rc = data.streamed ? runStreamedImport(ctx, src, guard) : cmdRunCommands(ctx, data.body->head());
  --state.importsRunning;
  ctx.input = &parent;
  src.parent = nullptr;
  bool left = state.leaveFlag;
  state.leaveFlag = false;
  if (left) rc = 1;
  // Definitions made by the file take effect once it has run; an import that stopped
  // on an error leaves the previous definitions in force.
  if (state.importsRunning == 0) state.functions.commit(rc != 0);
  return rc;
}

bool cmdCallFunction(ProgramContext& ctx, std::string_view name, std::span<Value> args, Value* result,
                     CommandNode* callNode, std::string& error) {
  ScriptState& state = scriptState(ctx);
  FunctionDef* f = state.functions.find(name);
  std::shared_ptr<NodeList> body = f ? f->runBody() : nullptr;
  if (!body) {
    error = strFormat("Function '%.*s' is not defined", static_cast<int>(name.size()), name.data());
    return false;
  }
  // Each call nests the executor on the program's stack: deep recursion is refused while
  // there is still room to report it.
  // A refused call ends the whole run: the callers waiting for its value cannot go on.
  if (state.callDepth >= kMaxCallDepth || stackRemaining() < kStackReserve) {
    error = strFormat("Function '%.*s' not called: calls are nested %d deep, as deep as scripts may go",
                      static_cast<int>(name.size()), name.data(), state.callDepth);
    cmdRuntimeError(ctx, callNode ? std::string_view(callNode->text) : name, error);
    state.stopRun = true;
    return false;
  }
  const std::vector<std::string> params = f->runParams();
  InputSource& src = currentSource(ctx);
  EchoSwitches savedEcho = src.echo;
  if (state.callDepth == 0) src.echo.input = src.echo.func;
  Value returned;
  {
    FrameGuard guard(state, callNode, FrameKind::Call, &returned, f);
    state.variables.pushScope();
    ++state.callDepth;
    ++state.callsStarted;
    if (state.statementHook && callNode) state.statementHook(ctx, *callNode, HookEvent::Call);
    for (size_t i = 0; i < params.size(); ++i) {
      std::string bindError;
      scriptDeclare(ctx, params[i], {}, i < args.size() ? &args[i] : nullptr, bindError);
    }
    int rc = cmdRunCommands(ctx, body->head());
    // A body that stopped (an error in a condition, an error flag no _error_func took)
    // ends the run it is part of, not just itself.
    if (!rc && !state.leaveFlag) {
      returned.setInt(0);
      state.stopRun = true;
    }
    if (state.statementHook && callNode) state.statementHook(ctx, *callNode, HookEvent::Return);
    --state.callDepth;
    state.variables.popScope();
  }
  if (state.callDepth == 0) src.echo = savedEcho;
  if (result) *result = std::move(returned);
  return true;
}

bool cmdInRunTimeText(const ProgramContext& ctx) {
  if (!ctx.script) return false;
  const ScriptState& state = static_cast<const ScriptState&>(*ctx.script);
  for (const ExecFrame& f : state.frames)
    if (f.kind == FrameKind::Dynamic) return true;
  return false;
}

bool cmdInFunctionOrRunTimeText(const ProgramContext& ctx) {
  if (!ctx.script) return false;
  return static_cast<const ScriptState&>(*ctx.script).callDepth > 0 || cmdInRunTimeText(ctx);
}

// ---- substitution, run-time errors, print and wait --------------------------------------

Substitution cmdSubstitute(ProgramContext& ctx, std::string_view text, std::string& out, SubstituteInto into) {
  out.clear();
  bool replaced = false, lastFailed = false;
  bool inQuotes = false;  // inside a quoted MQSC string of the text
  size_t copied = 0;
  auto copyUpTo = [&](size_t end) {
    for (size_t k = copied; k < end; ++k)
      if (text[k] == '\'') inQuotes = !inQuotes;
    out.append(text, copied, end - copied);
  };
  for (size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
    if (i + 1 >= text.size() || (text[i + 1] != '@' && text[i + 1] != '_')) continue;
    size_t close = scanFindAtLevel0(text, '>', i + 1);
    if (close == std::string_view::npos) break;
    copyUpTo(i);
    std::string value, error;
    std::string_view inner = text.substr(i + 1, close - i - 1);
    lastFailed = !evaluateNow(ctx, inner, value, error);
    if (lastFailed) {
      cmdRuntimeError(ctx, text, error);
    } else if (into == SubstituteInto::Command && inQuotes) {
      for (char c : value) {
        if (c == '\'') out += '\'';
        out += c;
      }
    } else {
      out += value;
    }
    replaced = true;
    copied = close + 1;
    i = close;
  }
  if (!replaced) return Substitution::Unchanged;
  out.append(text, copied);
  if (out.size() > kMaxSubstitutedText) {
    cmdRuntimeError(ctx, text,
                    strFormat("The command is longer than %zu characters after substitution", kMaxSubstitutedText));
    return Substitution::Dropped;
  }
  return lastFailed ? Substitution::Dropped : Substitution::Replaced;
}

bool cmdRunSubstituted(ProgramContext& ctx, const std::string& command) {
  ScriptState& state = scriptState(ctx);
  if (command.find('<') == std::string::npos || state.substituting > 0) return false;
  // Print and wait items are expressions, whose strings take values as they are; other
  // commands get quotes doubled inside quoted strings.
  std::string replaced;
  SubstituteInto into = cmdIsStatement(command) ? SubstituteInto::Expression : SubstituteInto::Command;
  switch (cmdSubstitute(ctx, command, replaced, into)) {
  case Substitution::Unchanged: return false;
  case Substitution::Dropped: return true;
  case Substitution::Replaced: break;
  }
  ++state.substituting;
  cmdRunText(ctx, replaced, RunTextAs::OneCommand);
  --state.substituting;
  return true;
}

void cmdRuntimeError(ProgramContext& ctx, std::string_view statement, std::string_view message) {
  ScriptState& state = scriptState(ctx);
  if (state.stopRun) return;  // the run is ending for a reason already reported
  if (state.inDebugger) {
    // What the debugger's user typed failed: the message says enough, and the script
    // runs on as it was.
    addError(ctx, message);
    return;
  }
  addError(ctx, strFormat("Runtime error: %.*s", static_cast<int>(statement.size()), statement.data()));
  bool first = true;
  auto location = [&](const InputSource& src) {
    addError(ctx, strFormat(first ? "File Location: Line %u of file:'%s'" : "imported from: Line %u of file:'%s'",
                            src.runLine, src.name.c_str()));
    first = false;
  };
  for (size_t i = state.frames.size(); i-- > 0;)
    if (state.frames[i].kind == FrameKind::Import && state.frames[i].node && state.frames[i].node->import)
      location(*state.frames[i].node->import->source);
  if (ctx.mainInput && !ctx.mainInput->name.empty()) location(*ctx.mainInput);
  addError(ctx, strFormat("Error Message: %.*s", static_cast<int>(message.size()), message.data()));
  state.errorFlag = true;
}

void cmdRunPrint(ProgramContext& ctx, std::string_view text, bool toFile) {
  ScriptState& state = scriptState(ctx);
  ++state.commandCounter;
  echoStatement(ctx, text);
  size_t pos = 0;
  scanNextToken(text, pos);
  std::string_view items = text.substr(pos);
  std::string error;
  bool ok = toFile ? scriptFilePrint(ctx, items, error) : scriptPrint(ctx, items, error);
  if (!ok && !state.stopRun) addError(ctx, error);
}

void cmdRunWait(ProgramContext& ctx, std::string_view text) {
  ScriptState& state = scriptState(ctx);
  ++state.commandCounter;
  echoStatement(ctx, text);
  if (!textNestingAllowed(ctx)) return;
  TextNesting nesting(state);
  std::string value, error;
  if (!evaluateNow(ctx, text, value, error)) cmdRuntimeError(ctx, text, error);
}

// ---- script functions in expressions ------------------------------------------------------

namespace {

class ScriptFunctions : public ScriptFunctionHost {
 public:
  explicit ScriptFunctions(ProgramContext& ctx) : ctx_(ctx) {}
  int32_t find(std::string_view name) const override {
    FunctionDef* f = scriptState(ctx_).functions.find(name);
    if (!f || !f->runBody()) return -1;
    for (size_t i = 0; i < names_.size(); ++i)
      if (names_[i] == name) return static_cast<int32_t>(i);
    names_.emplace_back(name);
    return static_cast<int32_t>(names_.size() - 1);
  }
  std::string_view name(int32_t id) const override {
    return id >= 0 && static_cast<size_t>(id) < names_.size() ? std::string_view(names_[static_cast<size_t>(id)])
                                                              : std::string_view();
  }
  bool call(int32_t id, std::span<Value> args, Value& result, ExprContext& expr) override {
    if (expr.checkMode()) {
      result.setInt(0);
      return true;
    }
    std::vector<Value> copies;
    copies.reserve(args.size());
    for (const Value& a : args) copies.push_back(a.copy());
    std::string error;
    if (!cmdCallFunction(ctx_, name(id), copies, &result, nullptr, error)) {
      expr.setError(std::move(error));
      return false;
    }
    // A call that ended the run has no value for the expression to go on with.
    if (scriptState(ctx_).stopRun) {
      expr.setError("The run was stopped inside the function");
      return false;
    }
    return true;
  }

 private:
  ProgramContext& ctx_;
  mutable std::vector<std::string> names_;
};

}  // namespace

ScriptFunctionHost& scriptFunctionHost(ProgramContext& ctx) {
  ScriptState& state = scriptState(ctx);
  if (!state.functionHost) state.functionHost = std::make_unique<ScriptFunctions>(ctx);
  return *state.functionHost;
}

}  // namespace kvarn::script
