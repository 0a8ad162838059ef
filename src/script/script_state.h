// The script language's state in the program context: the variables and their scopes,
// the current response record, loop counters, open script files and the print buffer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "context/context.h"
#include "script/statement.h"
#include "script/variables.h"
#include "context/response_record.h"
#include "runtime/text_spool.h"

namespace kvarn::script {

struct ScriptFile {
  int id = 0;
  FILE* stream = nullptr;
  std::string name;
  std::string printBuffer;  // fprint text not yet ended by a newline
  bool lineOpen = false;    // a _sep segment has been written on the current line

  // Ends a line left open by fprint and closes the file; 0, or the error number of a
  // write that failed (now, or earlier while fprint's lines were written out).
  int close();
};

// The message for a file whose text could not all be written when it was closed.
std::string fileCloseFailure(const ScriptFile& file, int error);

// What the latest MQSC command left for _cmdok, _responses and _lastcmdresp.
struct LatestCommand {
  bool recorded = false;
  bool succeeded = false;
  int64_t responses = 0;     // response records received
  TextSpool responseText;    // its response text, lines joined by '\n'
};

struct LoopCounters {
  int64_t index = 0;   // pass of the innermost running loop of the kind
  int64_t passes = 0;  // passes of the last completed one
};

constexpr size_t kPrintBufferSize = 20000;
constexpr int kFirstFileId = 100;

// One running loop, import, function call or run-time block (the text of an Exec
// statement, or a command after substitution). break, continue, goto and return find
// their way out through these.
enum class FrameKind { Loop, Import, Call, Dynamic, Substituted };
struct ExecFrame {
  CommandNode* node = nullptr;  // the loop, import or call node (null for a call from an expression)
  FrameKind kind = FrameKind::Loop;
  bool exit = false;        // leave this frame (break, return, goto out of it)
  Value* result = nullptr;  // Call: where return stores its value
  // Call: the function called; otherwise the function whose body runs the frame (null:
  // the main program).
  FunctionDef* function = nullptr;
  // The statement running when the frame began: for a call from an expression, the
  // statement whose expression called.
  CommandNode* caller = nullptr;
};

// What the statement hook is told: a statement is about to run, a function is entered
// or left, or a loop marked for the debugger (kNodeRunout) has ended.
enum class HookEvent { Statement, Call, Return, LoopEnd };

struct ScriptState : ContextPart {
  ScriptState();
  ~ScriptState() override;

  Variables variables;

  // The current record: the innermost foreach pass, else the last record displayed.
  std::vector<ResponseRecord> foreachRecords;
  std::optional<ResponseRecord> lastDisplayed;
  int64_t matched = -1;  // records the filters passed in the last command shown; -1: none yet
  const ResponseRecord* currentRecord() const {
    if (!foreachRecords.empty()) return &foreachRecords.back();
    return lastDisplayed ? &*lastDisplayed : nullptr;
  }

  LoopCounters eachLoop, whileLoop, itemLoop;
  LatestCommand latestCommand;
  std::string item;  // the current foritem item

  std::string stream;         // _stream
  std::string errorFunction;  // _error_func
  bool errorFlag = false;     // set by failed system-variable assignments
  int lastErrno = 0;

  // print: text after the last newline or separator, and whether the output line is
  // left open by a separator.
  std::string printBuffer;
  bool printLineOpen = false;

  std::vector<ScriptFile> files;
  int nextFileId = kFirstFileId;
  int evalDepth = 0;

  // ---- the compiler and the executor
  FunctionTable functions;
  std::unique_ptr<ScriptFunctionHost> functionHost;  // script functions for expressions
  std::vector<ExecFrame> frames;
  CommandNode* current = nullptr;      // the node being run
  CommandNode* pendingGoto = nullptr;  // a goto's label waiting for loops to end
  bool leaveFlag = false;
  bool compileFailed = false;
  uint32_t commandCounter = 0;  // statements run
  uint32_t mainStmtNo = 0;      // statement numbers given out in the main program
  int callDepth = 0;
  uint64_t callsStarted = 0;  // script function calls begun, for the executor's settled state
  // While loops run through their compiled programs (off: every statement by the
  // executor, as the statement hooks need it); how many runs of a program began.
  bool compiledLoops = true;
  uint64_t compiledLoopRuns = 0;
  int textNesting = 0;  // run-time text and wait statements under way
  bool nestLimitReported = false;
  // The running top-level statement ends: an error stopped a function body or a bound
  // was reached, so every loop, call and import it is in ends too (its cause was reported).
  bool stopRun = false;
  int importsRunning = 0;
  int importsCompiling = 0;
  int definitionsCompiling = 0;  // function bodies being compiled (an =import may stand in one)
  int substituting = 0;          // runs of substituted text under way
  bool inErrorFunction = false;
  InputSource* compileSource = nullptr;  // the source being compiled (imports nest through parent)
  // Called before each executable statement when set (the debugger, -D t), and for the
  // other events of HookEvent.
  std::function<void(ProgramContext&, CommandNode&, HookEvent)> statementHook;
  // Which statement numbers reach the hook, by their low six bits: all of them while
  // stepping; while running on to a breakpoint only those whose bit a breakpoint set,
  // so a run costs one test per statement until it gets near one.
  uint64_t hookStatements = ~uint64_t{0};
  // Called before and after each assignment statement when set (the debugger's
  // variable trace).
  std::function<void(ProgramContext&, const CommandNode&, bool after)> assignmentHook;
  // While set, run-time errors print only their message (the debugger evaluating what
  // its user typed).
  bool inDebugger = false;
  // The main input's statements are kept once run instead of freed, so that they can be
  // listed and found again (debug mode).
  bool keepMainNodes = false;
  NodeList mainNodes;
  // What the reader waits for ("Waiting for endwhile-endif"), for the console's status line.
  std::vector<std::string> waitingFor;
  std::string statusText;

  ScriptFile* file(int id);
  // Takes an opened stream into the open files; returns its file id.
  int addFile(FILE* stream, std::string name);
  // Writes out partial fprint lines and closes every file (the end of a run). Returns
  // a message for each file whose text could not all be written.
  std::vector<std::string> closeAllFiles();
};

// The program's script state, created at first use.
ScriptState& scriptState(ProgramContext& ctx);

}  // namespace kvarn::script
