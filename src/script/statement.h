// Compiled statements: the command nodes the compiler makes from command text, the
// lists that own them, and the script functions defined with `func`.
//
// A top-level statement of the main input is compiled into a list of its own, run and
// freed, so a long command file never accumulates nodes. An import's nodes live in a
// list owned by its Import node; a function's body in a list owned by its definition.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "context/context.h"
#include "script/expr.h"

namespace kvarn::script {

enum class CommandType : uint32_t {
  SourceLine = 1,  // a physical line holding one command
  MultiLine = 2,   // a physical line holding several ';'-separated commands
  BlankLine = 3,
  Command = 4,  // handed to cslIssueCommand: MQSC, '=' commands, print, fprint, wait
  While = 5,
  Foreach = 6,
  EndWhile = 7,
  EndFor = 8,
  If = 9,
  EndIf = 10,
  Else = 11,
  Error = 12,  // a compile error; its text is the message
  Comment = 13,
  Import = 14,
  EndImport = 15,
  DynamicStart = 16,
  DynamicEnd = 17,
  Continue = 18,
  Break = 19,
  Eval = 20,  // a built-in function call used as a statement
  Exec = 21,  // an expression whose text is run as commands
  Assign = 22,
  Foritem = 23,
  Leave = 24,
  Func = 25,
  EndFunc = 26,
  Call = 27,
  Label = 28,
  Goto = 29,
  Var = 30,
  Return = 31,
  ErrorCall = 32,  // the call of the function named by _error_func
};

// The words that begin a statement, in one table: the reserved-word test, the compiler's
// dispatch and the messages that name a block's words all read it.
enum class WordRole : uint8_t {
  Block,      // opens a block: if, while, foreach, foritem
  BlockPart,  // continues or ends one: else, endif, endfor, endwhile, endfunc
  Statement,  // func, var, label, goto, return, break, continue, leave
  Eval,       // a built-in function used as a statement of its own (an Eval node)
  Issued,     // print, fprint, wait: Command nodes the dispatcher runs when issued
};
struct StatementWord {
  std::string_view word;
  CommandType type;
  WordRole role;
};
std::span<const StatementWord> statementWords();
// The row of a word (any case), or null when the word begins no statement.
const StatementWord* findStatementWord(std::string_view word);

// The statement's keyword, as the compiler's messages name it ("endwhile" ...).
const char* commandTypeWord(CommandType type);

enum NodeFlags : uint32_t {
  kNodeListed = 0x0001,             // shown in the echo or reported with an error
  kNodeShown = 0x0002,              // the echo decision has been made
  kNodeInvalid = 0x0004,            // compile failed: skipped when run
  kNodeActive = 0x0008,             // the node's block is running
  kNodeConsole = 0x0010,            // read from the console
  kNodeBreakRequested = 0x0020,     // set on a loop node: end the loop
  kNodeRunout = 0x0040,             // the debugger stops when this loop ends
  kNodeGotoError = 0x0080,          // the goto failed its scope check
  kNodeImportDone = 0x0100,         // an =import carried out when it was compiled
  kNodeContinueRequested = 0x0200,  // set on a loop node: end this pass
};

struct FunctionDef;
class NodeList;
class LoopProgram;

// What an Import node carries: the imported file's source and its compiled nodes.
struct ImportData {
  std::unique_ptr<InputSource> source;
  std::unique_ptr<NodeList> body;  // the file's nodes, ending with EndImport
  bool hasParms = false;
  std::string parms;
  bool quiet = false;
  // The file is read as the import runs (source rewound after a check): the body holds
  // only the EndImport.
  bool streamed = false;
};

struct CommandNode {
  CommandNode* next = nullptr;
  CommandNode* prev = nullptr;
  CommandType type = CommandType::Command;
  uint32_t flags = 0;
  FunctionDef* owner = nullptr;    // the function whose body holds the node
  CommandNode* link = nullptr;     // the partner node of a block, goto or import
  CommandNode* block = nullptr;    // the innermost enclosing block at compile time
  CompiledExpr expr;               // condition, value, return value or statement expression
  CompiledExpr target;             // Assign: the left-hand side
  std::vector<CompiledExpr> args;  // Call: the argument expressions
  std::vector<std::string> names;  // Var: the names declared; Call: the function; Label, Goto: the label
  uint32_t stmtNo = 0;             // statement number for the debugger (0: none)
  uint32_t line = 0;               // source line, 1-based
  uint32_t indent = 0;             // leading blanks of the source line
  std::unique_ptr<ImportData> import;
  std::string text;   // the statement as read (continuations joined)
  VariableMemo memo;  // Assign: where a plain target was stored last
  // While: the loop compiled to operations when it first ran (null: it cannot be).
  std::shared_ptr<LoopProgram> program;
  bool programTried = false;

  bool has(uint32_t flag) const { return (flags & flag) != 0; }
};

// A list of nodes, owning them. Nodes are added at the end; a run of nodes at the end
// can be moved to another list (a comment block moving into a function body).
class NodeList {
 public:
  NodeList() = default;
  NodeList(const NodeList&) = delete;
  NodeList& operator=(const NodeList&) = delete;
  ~NodeList() { clear(); }

  CommandNode* head() const { return head_; }
  CommandNode* tail() const { return tail_; }
  bool empty() const { return head_ == nullptr; }
  size_t size() const { return size_; }

  CommandNode* append(std::unique_ptr<CommandNode> node);
  CommandNode* append(CommandType type, std::string_view text, uint32_t line, uint32_t indent);
  // Moves `first` and every node after it (up to but not including `stop`) to the end
  // of `into`.
  void moveRange(CommandNode* first, CommandNode* stop, NodeList& into);
  void clear();

 private:
  void unlink(CommandNode* node);
  CommandNode* head_ = nullptr;
  CommandNode* tail_ = nullptr;
  size_t size_ = 0;
};

constexpr size_t kMaxFunctionName = 31;

struct FunctionDef {
  std::string name;
  // Shared so that a call keeps running the body it started with when a redefinition
  // is committed under it.
  std::shared_ptr<NodeList> body;         // the body in use
  std::shared_ptr<NodeList> pendingBody;  // a redefinition being compiled or not yet committed
  bool pendingFailed = false;             // the pending body's definition failed
  std::vector<std::string> params;        // each "@name"
  std::vector<std::string> pendingParams;
  uint32_t nextStmtNo = 1;
  std::string file;  // where the definition starts
  uint32_t line = 0;

  // Calls use the pending body while one exists.
  const std::shared_ptr<NodeList>& runBody() const { return pendingBody ? pendingBody : body; }
  const std::vector<std::string>& runParams() const { return pendingBody ? pendingParams : params; }
};

// The defined functions, ordered by name (exact, case-sensitive comparison).
class FunctionTable {
 public:
  FunctionDef* find(std::string_view name);
  FunctionDef& obtain(std::string_view name);
  // Commits every pending body: on success it replaces the body in use, on failure it is
  // discarded; a function left without any body is removed.
  void commit(bool success);
  const std::map<std::string, std::unique_ptr<FunctionDef>, std::less<>>& all() const { return functions_; }
  uint32_t loadedCount = 0;  // functions loaded (for the debugger's report)

 private:
  std::map<std::string, std::unique_ptr<FunctionDef>, std::less<>> functions_;
};

}  // namespace kvarn::script
