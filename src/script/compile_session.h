// One run of the statement compiler over a source: where nodes go, the blocks and the
// function definition open, and whether an error was reported. Internal to the compiler
// (compiler.cpp: statements and blocks; compile_function.cpp: func, calls, goto).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "script/compiler.h"
#include "script/script_state.h"

namespace kvarn::script {

bool isValidIdentifier(std::string_view name);

class CompileSession {
 public:
  CompileSession(ProgramContext& ctx, InputSource& src, const CompileTarget& target);

  // Reads and compiles one command with its whole block; null at end of input.
  CommandNode* parseCommand(bool nested, bool& endOfInput);
  bool failed() const { return errorReported_; }

 private:
  CommandNode* readCommands(bool nested);
  CommandNode* compileCommand(const std::string& text, bool nested);
  CommandNode* make(CommandType type, std::string_view text);
  void error(std::string message);
  void reportCompileError(CommandNode& err);
  void expressionError(const std::string& message, std::string_view text);
  uint32_t line() const;

  // blocks
  CommandNode* innermostBlock() const;
  bool inLoop() const;
  bool topBlockIs(CommandType type) const;
  CommandNode* openBlock(CommandType type, const std::string& text, CommandType terminator);
  void closeBlock(CommandNode* node, CommandType terminator);
  void abandonSource();
  CommandNode* readBody(CommandNode* block, CommandType expected);
  bool conditionBounds(const std::string& text, size_t after, std::string_view keyword, size_t& open, size_t& close);
  void compileCondition(CommandNode* node, const std::string& text, size_t after, std::string_view keyword);
  CommandNode* compileIf(const std::string& text, size_t after);
  CommandNode* compileWhile(const std::string& text, size_t after);
  CommandNode* compileFor(const std::string& text, size_t after, CommandType type);
  CommandNode* compileKeywordWithText(CommandType type, std::string_view keyword, std::string_view rest, bool nested);

  // statements
  CommandNode* compileWholeExpression(const std::string& text, CommandType type);
  CommandNode* compileExpressionStatement(const std::string& text);
  size_t assignmentSign(const std::string& text, bool& malformed);
  bool compileTarget(CommandNode* node, std::string_view target);
  CommandNode* compileVar(const std::string& text, std::string_view rest);
  CommandNode* compileLabel(const std::string& text, std::string_view rest, CommandType type);
  CommandNode* compileReturn(const std::string& text, size_t after);
  CommandNode* compileImportCommand(const std::string& text);

  // functions (compile_function.cpp)
  bool isScanFunctionName(std::string_view word);
  CommandNode* compileFunction(const std::string& text, size_t after);
  bool compileParameters(FunctionDef& def, const std::string& text, size_t& pos);
  void moveCommentBlock(NodeList& body);
  bool resolveGotos(FunctionDef& def, NodeList& body);
  CommandNode* compileCall(const std::string& text, std::string_view name, size_t after);

  static bool isTerminator(CommandType type);
  static bool isStatementType(CommandType type);

  ProgramContext& ctx_;
  ScriptState& state_;
  InputSource& src_;
  NodeList* list_;
  FunctionDef* owner_;
  uint32_t fixedLine_;
  bool runOnce_;
  FunctionDef* defining_ = nullptr;
  std::vector<CommandNode*> blocks_;
  std::vector<bool> errorsAtBlockStart_;
  bool errorReported_ = false;
  bool abandoned_ = false;  // blocks nested past the limit: nothing more is compiled
};

// Blocks (if, while, foreach, foritem) open inside each other at most this deep.
constexpr size_t kMaxBlockDepth = 1000;

}  // namespace kvarn::script
