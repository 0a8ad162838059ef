// The debugger's state in the program context and what its command families share.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "context/context.h"
#include "script/script_state.h"

namespace kvarn::debugger {

constexpr size_t kMaxBreakpoints = 10;
constexpr uint32_t kClearedBreakpoint = 99999999;  // marks an entry about to be removed
constexpr size_t kCommandLineSize = 40000;
constexpr int kDefaultListCount = 16;

// A breakpoint names its function rather than pointing at it: a function may be
// redefined or removed while the breakpoint stands.
struct Breakpoint {
  uint32_t stmtNo = 0;
  std::string function;  // empty: the main program
};

struct DebuggerState : ContextPart {
  bool active = false;         // prompting
  bool debugMode = false;      // the hook is installed
  bool runMode = false;        // resume until a breakpoint
  bool runoutPending = false;  // a marked loop ended: stop at the next statement
  size_t selectedFrame = 0;    // 0 .. the current depth (frames of calls and loops)
  uint32_t lastListed = 0;     // the last statement of the last listing
  uint32_t firstListed = 0;    // the first statement of the last listing
  uint32_t functionsReported = 0;
  std::vector<Breakpoint> breakpoints;  // sorted by function name, then number
  std::string commandLine;              // the prompt's line, kCommandLineSize at first use
};

DebuggerState& debuggerState(ProgramContext& ctx);

// Enters or leaves run mode: while it lasts only statements whose numbers share their
// low bits with a breakpoint's reach the hook.
inline void setRunMode(DebuggerState& dbg, script::ScriptState& script, bool on) {
  dbg.runMode = on;
  uint64_t mask = ~uint64_t{0};
  if (on) {
    mask = 0;
    for (const Breakpoint& b : dbg.breakpoints) mask |= uint64_t{1} << (b.stmtNo & 63);
  }
  script.hookStatements = mask;
}

// What a command handler is given.
struct Session {
  ProgramContext& ctx;
  DebuggerState& dbg;
  script::ScriptState& script;
};

enum class CommandResult { Continue, EndProgram };
using CommandHandler = CommandResult (*)(Session& s, std::string_view operand);

struct HelpExample {
  std::string_view example;
  std::string_view text;
};

// One debugger command: its name, its help rows and its handler. A row without a
// handler is help text only (`@`, `<Enter>`); one without help text is an alias.
struct DebugCommand {
  std::string_view name;
  std::string_view help;
  std::span<const HelpExample> examples;
  CommandHandler handler;
};

std::span<const DebugCommand> controlCommands();     // help, sf, where, print, eval, run, runout, end
std::span<const DebugCommand> listingCommands();     // list, l, llist
std::span<const DebugCommand> breakpointCommands();  // bp, bc, bl

// Every command, in the order their help is shown: those named by words alphabetically,
// then the help-only rows as their table gives them.
std::vector<const DebugCommand*> allCommands();

// Messages of the debugger go to standard error.
void say(std::string_view text);

// The call and loop frames, outermost first: frame n of `sf` and `where`.
std::vector<const script::ExecFrame*> visibleFrames(const script::ScriptState& state);

// Where the selected frame stands: its statement and the function (null: the main
// program) whose statements `list` and `bp` mean by default.
struct Position {
  const script::CommandNode* node = nullptr;
  script::FunctionDef* function = nullptr;
};
Position selectedPosition(Session& s);

// What the user types runs in the scope of the selected frame: the scopes of the calls
// inside that frame are set aside meanwhile.
class SelectedScope {
 public:
  explicit SelectedScope(Session& s);
  ~SelectedScope();
  SelectedScope(const SelectedScope&) = delete;
  SelectedScope& operator=(const SelectedScope&) = delete;

 private:
  script::Variables& variables_;
  std::vector<std::unique_ptr<script::Scope>> aside_;
};

// The nodes of a function's body or of the main program (with imported files' nodes in
// place), in order.
std::vector<script::CommandNode*> unitNodes(script::ScriptState& state, script::FunctionDef* function);

bool breakpointAt(const DebuggerState& dbg, const script::CommandNode& node);

// One statement in the listing format.
struct ListingOptions {
  int frame = -1;  // -1: no frame column
  bool selected = false;
  bool sourceLine = false;  // llist: the source line number first
  bool functionColumn = true;
};
void printListingLine(Session& s, const script::CommandNode& node, const ListingOptions& options);

}  // namespace kvarn::debugger
