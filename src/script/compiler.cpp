// Recognising statements and compiling them, blocks whole, into command nodes.
#include "script/compiler.h"

#include <cctype>

#include "context/output.h"
#include "runtime/scan.h"
#include "script/compile_session.h"
#include "script/executor.h"
#include "script/import.h"
#include "script/resolver.h"
#include "script/script_host.h"
#include "script/script_state.h"

namespace kvarn::script {

namespace {

constexpr size_t kMaxStatusText = 100;

std::string_view firstToken(std::string_view text, size_t& after) {
  after = 0;
  ScanToken t = scanNextToken(text, after);
  return t.exhausted ? std::string_view() : t.view(text);
}

}  // namespace

bool cmdIsStatement(std::string_view text) {
  size_t after = 0;
  std::string_view first = firstToken(text, after);
  if (first.empty()) return false;
  if (first[0] == '@' || first[0] == '_') return true;
  return findStatementWord(first) != nullptr;
}

bool isValidIdentifier(std::string_view name) {
  if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.') return false;
  return true;
}

CompiledExpr cmdCompileExpression(ProgramContext& ctx, std::string_view text, int offset, std::string& error) {
  ExprOptions options = scriptExprOptions(ctx, kCaseSensitive | kAllowAt | kNoCheck);
  options.positionOffset = offset;
  return expParseExpression(text, options, error);
}

// ---- the status text ----------------------------------------------------------------------

namespace {
void rebuildStatus(ScriptState& state) {
  state.statusText.clear();
  for (const std::string& word : state.waitingFor) {
    std::string piece = state.statusText.empty() ? "Waiting for " + word : "-" + word;
    if (state.statusText.size() + piece.size() > kMaxStatusText) break;
    state.statusText += piece;
  }
}
}  // namespace

void cmdWaitingFor(ProgramContext& ctx, std::string_view word) {
  ScriptState& state = scriptState(ctx);
  state.waitingFor.emplace_back(word);
  rebuildStatus(state);
}

void cmdWaitingDone(ProgramContext& ctx, std::string_view word) {
  ScriptState& state = scriptState(ctx);
  for (size_t i = state.waitingFor.size(); i-- > 0;)
    if (state.waitingFor[i] == word) {
      state.waitingFor.erase(state.waitingFor.begin() + static_cast<long>(i));
      break;
    }
  rebuildStatus(state);
}

// ---- the session ----------------------------------------------------------------------------

CompileSession::CompileSession(ProgramContext& ctx, InputSource& src, const CompileTarget& target)
    : ctx_(ctx), state_(scriptState(ctx)), src_(src), list_(target.list), owner_(target.owner),
      fixedLine_(target.fixedLine), runOnce_(target.runOnce) {}

uint32_t CompileSession::line() const { return fixedLine_ ? fixedLine_ : src_.lineNumber; }

CommandNode* CompileSession::make(CommandType type, std::string_view text) {
  CommandNode* node = list_->append(type, text, line(), src_.indent);
  node->owner = owner_;
  node->block = innermostBlock();
  if (isStatementType(type)) node->stmtNo = owner_ ? owner_->nextStmtNo++ : ++state_.mainStmtNo;
  return node;
}

bool CompileSession::isStatementType(CommandType type) {
  switch (type) {
  case CommandType::SourceLine:
  case CommandType::MultiLine:
  case CommandType::BlankLine:
  case CommandType::Comment:
  case CommandType::Error:
  case CommandType::Import:
  case CommandType::EndImport:
  case CommandType::DynamicStart:
  case CommandType::DynamicEnd:
  case CommandType::Var:
  case CommandType::ErrorCall: return false;
  default: return true;
  }
}

void CompileSession::error(std::string message) {
  CommandNode* err = list_->append(CommandType::Error, message, line(), src_.indent);
  err->owner = owner_;
  errorReported_ = true;
  reportCompileError(*err);
}

// The source line is shown once, then each message not yet shown.
void CompileSession::reportCompileError(CommandNode& err) {
  CommandNode* source = nullptr;
  for (CommandNode* n = err.prev; n; n = n->prev)
    if (n->type == CommandType::SourceLine || n->type == CommandType::MultiLine) {
      source = n;
      break;
    }
  if (source && !source->has(kNodeListed)) {
    if (!src_.name.empty() && !src_.isString)
      addError(ctx_, strFormat("Line %u of file '%s'", source->line, src_.name.c_str()));
    addError(ctx_, source->text);
    source->flags |= kNodeListed;
  }
  addError(ctx_, err.text);
  err.flags |= kNodeListed | kNodeShown;
  state_.errorFlag = true;
}

CommandNode* CompileSession::innermostBlock() const { return blocks_.empty() ? nullptr : blocks_.back(); }

bool CompileSession::inLoop() const {
  for (const CommandNode* b : blocks_)
    if (b->type == CommandType::While || b->type == CommandType::Foreach || b->type == CommandType::Foritem)
      return true;
  return false;
}

// ---- reading ----------------------------------------------------------------------------------

CommandNode* CompileSession::parseCommand(bool nested, bool& endOfInput) {
  endOfInput = false;
  std::string command;
  if (!cmdReadNextCommand(ctx_, src_, *list_, command, fixedLine_)) {
    endOfInput = true;
    return nullptr;
  }
  return compileCommand(command, nested);
}

CommandNode* CompileSession::readCommands(bool nested) {
  for (;;) {
    if (abandoned_) return nullptr;
    bool end = false;
    CommandNode* node = parseCommand(nested, end);
    if (end || ctx_.quit) return nullptr;
    if (nested && node && isTerminator(node->type)) return node;
  }
}

bool CompileSession::isTerminator(CommandType type) {
  return type == CommandType::EndWhile || type == CommandType::EndFor || type == CommandType::EndIf ||
         type == CommandType::Else || type == CommandType::EndFunc;
}

// ---- recognising --------------------------------------------------------------------------

CommandNode* CompileSession::compileCommand(const std::string& text, bool nested) {
  size_t after = 0;
  std::string_view first = firstToken(text, after);
  std::string_view rest = scanTrim(std::string_view(text).substr(after));
  using CT = CommandType;
  const StatementWord* word = findStatementWord(first);

  switch (word ? word->type : CT::Command) {
  case CT::If: return compileIf(text, after);
  case CT::While: return compileWhile(text, after);
  case CT::Foreach: return compileFor(text, after, CT::Foreach);
  case CT::Foritem: return compileFor(text, after, CT::Foritem);
  case CT::Else: return compileKeywordWithText(CT::Else, first, rest, nested);
  case CT::EndIf:
    if (!topBlockIs(CT::If)) error("'endif' not expected outside of an if statement");
    return compileKeywordWithText(CT::EndIf, first, rest, nested);
  case CT::EndFor:
    if (!topBlockIs(CT::Foreach) && !topBlockIs(CT::Foritem)) error("'endfor' not expected outside of a for loop");
    return compileKeywordWithText(CT::EndFor, first, rest, nested);
  case CT::EndWhile:
    if (!topBlockIs(CT::While)) error("'endwhile' not expected outside of a while loop");
    return make(CT::EndWhile, first);
  case CT::Func: return compileFunction(text, after);
  case CT::EndFunc:
    if (!defining_) error("'endfunc' not expected outside of a function");
    return make(CT::EndFunc, first);
  case CT::Var: return compileVar(text, rest);
  case CT::Label: return compileLabel(text, rest, CT::Label);
  case CT::Goto: return compileLabel(text, rest, CT::Goto);
  case CT::Return: return compileReturn(text, after);
  case CT::Break:
    if (!inLoop()) error("'break' issued while not in loop");
    return make(CT::Break, first);
  case CT::Continue: return make(CT::Continue, first);
  case CT::Leave:
    if (defining_ || owner_) error("You can not use 'leave' from within a function, please use 'return'.");
    return make(CT::Leave, first);
  case CT::Eval: return compileWholeExpression(text, CT::Eval);
  default: break;  // print, fprint, wait and everything else
  }
  if (!first.empty() && (first[0] == '"' || first[0] == '@' || first[0] == '_'))
    return compileExpressionStatement(text);
  if (scanStartsWithNoCase(text, "=import")) return compileImportCommand(text);
  // A defined function is called by its name alone or followed by '('; `print 'x'`
  // stays a print even when a function of that name exists.
  if ((rest.empty() || rest[0] == '(') && isScanFunctionName(first)) return compileCall(text, first, after);

  CommandNode* node = make(CT::Command, text);
  size_t pos = after;
  ScanToken second = scanNextToken(text, pos);
  // `name(...)` that is neither a statement nor a script function may still call a
  // synonym with parameters, which the command runs when it is issued.
  if (!second.exhausted && second.view(text) == "(" && !word && !ctx_.synonyms.contains(first))
    error(strFormat("Unrecognised function '%.*s' used.", static_cast<int>(first.size()), first.data()));
  return node;
}

bool CompileSession::topBlockIs(CommandType type) const { return !blocks_.empty() && blocks_.back()->type == type; }

bool CompileSession::isScanFunctionName(std::string_view word) {
  if (word.empty() || word.size() > kMaxFunctionName) return false;
  FunctionDef* f = state_.functions.find(word);
  return f && f->runBody();
}

// else, endif, endfor: text after the keyword is the next command of a block body.
CommandNode* CompileSession::compileKeywordWithText(CommandType type, std::string_view keyword, std::string_view rest,
                                                    bool nested) {
  CommandNode* node = make(type, keyword);
  if (!nested) {
    error(strFormat("Unexpected token '%.*s' found.", static_cast<int>(keyword.size()), keyword.data()));
  } else if (!rest.empty()) {
    src_.pending.assign(rest);
  }
  return node;
}

// ---- blocks ---------------------------------------------------------------------------------

// `keyword (...)`: the position of '(' and of its matching ')' (parentheses counted,
// quotes not considered), or false after reporting.
bool CompileSession::conditionBounds(const std::string& text, size_t after, std::string_view keyword, size_t& open,
                                     size_t& close) {
  size_t pos = after;
  ScanToken t = scanNextToken(text, pos);
  if (t.exhausted || t.view(text) != "(") {
    error(strFormat("Expected '(' after '%.*s'", static_cast<int>(keyword.size()), keyword.data()));
    return false;
  }
  open = t.start;
  close = scanClosingBracketIgnoringQuotes(text, open);
  if (close < text.size()) return true;
  error(strFormat("')' missing after '%.*s'", static_cast<int>(keyword.size()), keyword.data()));
  return false;
}

void CompileSession::compileCondition(CommandNode* node, const std::string& text, size_t after,
                                      std::string_view keyword) {
  size_t open = 0, close = 0;
  if (!conditionBounds(text, after, keyword, open, close)) {
    node->flags |= kNodeInvalid;
    return;
  }
  node->text = text.substr(0, close + 1);
  std::string error;
  node->expr = cmdCompileExpression(ctx_, std::string_view(text).substr(open + 1, close - open - 1),
                                    static_cast<int>(open + 1), error);
  if (!node->expr) {
    node->flags |= kNodeInvalid;
    expressionError(error, std::string_view(text).substr(open + 1, close - open - 1));
  }
  src_.pending = text.substr(close + 1);
}

void CompileSession::expressionError(const std::string& message, std::string_view text) {
  if (!message.empty()) error(message);
  else error(strFormat("Error parsing expression '%.*s' expression", static_cast<int>(text.size()), text.data()));
}

// Reads a block body up to its terminator. Once a body has gone wrong it is still read to
// its terminator, so that none of its statements runs as if it stood outside the block.
CommandNode* CompileSession::readBody(CommandNode* block, CommandType expected) {
  CommandNode* term = readCommands(true);
  if (!term) {
    if (!errorReported_) error(strFormat("'%s' not found before end of file", commandTypeWord(expected)));
    block->flags |= kNodeInvalid;
    state_.compileFailed = true;
    return nullptr;
  }
  if (term->type != expected && !(expected == CommandType::EndIf && term->type == CommandType::Else)) {
    error(strFormat("Found '%s' where '%s' was expected", commandTypeWord(term->type), commandTypeWord(expected)));
    block->flags |= kNodeInvalid;
    state_.compileFailed = true;
    return nullptr;
  }
  return term;
}

CommandNode* CompileSession::openBlock(CommandType type, const std::string& text, CommandType terminator) {
  cmdWaitingFor(ctx_, commandTypeWord(terminator));
  CommandNode* node = make(type, text);
  blocks_.push_back(node);
  errorsAtBlockStart_.push_back(errorReported_);
  if (blocks_.size() > kMaxBlockDepth) {
    error(strFormat("Blocks are nested more than %zu deep", kMaxBlockDepth));
    node->flags |= kNodeInvalid;
    abandonSource();
  }
  return node;
}

// The blocks around stay unfinished and never run. The rest of a file or text is read
// and dropped, so that its block ends do not stand as statements of their own; a
// person typing goes on at the next line.
void CompileSession::abandonSource() {
  abandoned_ = true;
  state_.compileFailed = true;
  if (src_.prompting) return;
  NodeList dropped;
  std::string command;
  while (!ctx_.quit && cmdReadNextCommand(ctx_, src_, dropped, command, fixedLine_)) dropped.clear();
}

void CompileSession::closeBlock(CommandNode* node, CommandType terminator) {
  // A body in which a compile error was reported never runs.
  if (errorReported_ && !errorsAtBlockStart_.back()) node->flags |= kNodeInvalid;
  errorsAtBlockStart_.pop_back();
  blocks_.pop_back();
  cmdWaitingDone(ctx_, commandTypeWord(terminator));
}

CommandNode* CompileSession::compileIf(const std::string& text, size_t after) {
  CommandNode* node = openBlock(CommandType::If, text, CommandType::EndIf);
  compileCondition(node, text, after, "if");
  CommandNode* term = readBody(node, CommandType::EndIf);
  if (term && term->type == CommandType::Else) {
    node->link = term;
    CommandNode* endif = readBody(node, CommandType::EndIf);
    if (endif && endif->type != CommandType::EndIf) {
      error(strFormat("Found '%s' where '%s' was expected", commandTypeWord(endif->type), "endif"));
      node->flags |= kNodeInvalid;
      endif = nullptr;
    }
    if (endif) {
      term->link = endif;
      endif->link = node;
    }
  } else if (term) {
    node->link = term;
    term->link = node;
  }
  closeBlock(node, CommandType::EndIf);
  return node;
}

CommandNode* CompileSession::compileWhile(const std::string& text, size_t after) {
  CommandNode* node = openBlock(CommandType::While, text, CommandType::EndWhile);
  compileCondition(node, text, after, "while");
  if (CommandNode* term = readBody(node, CommandType::EndWhile)) {
    node->link = term;
    term->link = node;
  }
  closeBlock(node, CommandType::EndWhile);
  return node;
}

CommandNode* CompileSession::compileFor(const std::string& text, size_t after, CommandType type) {
  const char* word = commandTypeWord(type);
  CommandNode* node = openBlock(type, text, CommandType::EndFor);
  size_t pos = after;
  ScanToken t = scanNextToken(text, pos);
  if (t.exhausted || t.view(text) != "(") {
    error(strFormat("Expected '(' to follow %s statement", word));
    node->flags |= kNodeInvalid;
  } else {
    size_t close = scanClosingBracket(text, t.start);
    if (close >= text.size()) {
      error(strFormat("Closing bracket missing from %s statement", word));
      node->flags |= kNodeInvalid;
    } else {
      std::string_view header = std::string_view(text).substr(t.start + 1, close - t.start - 1);
      if (type == CommandType::Foreach && scanFindStatementEnd(header) != std::string_view::npos) {
        error("Only one command is allowed in a foreach statement");
        node->flags |= kNodeInvalid;
      }
      node->names.emplace_back(header);
      node->text = text.substr(0, close + 1);
      src_.pending = text.substr(close + 1);
    }
  }
  if (CommandNode* term = readBody(node, CommandType::EndFor)) {
    node->link = term;
    term->link = node;
  }
  closeBlock(node, CommandType::EndFor);
  return node;
}

// ---- expression statements ------------------------------------------------------------------

CommandNode* CompileSession::compileWholeExpression(const std::string& text, CommandType type) {
  CommandNode* node = make(type, text);
  std::string error;
  node->expr = cmdCompileExpression(ctx_, text, 0, error);
  if (!node->expr) {
    node->flags |= kNodeInvalid;
    expressionError(error, text);
  }
  return node;
}

// `@a = ...`, `@a[i, j] = ...`, `_sep = ...`: the position of the '=' or npos.
size_t CompileSession::assignmentSign(const std::string& text, bool& malformed) {
  malformed = false;
  if (text.empty() || (text[0] != '@' && text[0] != '_')) return std::string::npos;
  size_t pos = 0;
  scanNextToken(text, pos);
  size_t at = pos;
  ScanToken t = scanNextToken(text, at);
  if (t.exhausted) return std::string::npos;
  if (t.view(text) == "=") return t.start;
  if (t.view(text) != "[") return std::string::npos;
  size_t close = scanFindAtLevel0(text, ']', t.start + 1);
  if (close == std::string::npos) {
    malformed = true;
    return std::string::npos;
  }
  at = close + 1;
  t = scanNextToken(text, at);
  return !t.exhausted && t.view(text) == "=" ? t.start : std::string::npos;
}

CommandNode* CompileSession::compileExpressionStatement(const std::string& text) {
  bool malformed = false;
  size_t sign = assignmentSign(text, malformed);
  if (malformed) {
    CommandNode* node = make(CommandType::Exec, text);
    node->flags |= kNodeInvalid;
    error("Missing ']' on expression");
    return node;
  }
  if (sign == std::string::npos) return compileWholeExpression(text, CommandType::Exec);
  CommandNode* node = make(CommandType::Assign, text);
  std::string_view target = scanTrim(std::string_view(text).substr(0, sign));
  if (!compileTarget(node, target)) {
    node->flags |= kNodeInvalid;
    return node;
  }
  std::string error;
  std::string_view value = std::string_view(text).substr(sign + 1);
  node->expr = cmdCompileExpression(ctx_, value, static_cast<int>(sign + 1), error);
  if (!node->expr) {
    node->flags |= kNodeInvalid;
    expressionError(error, value);
  }
  return node;
}

// The target's name and its subscript expressions (one per comma-separated item).
bool CompileSession::compileTarget(CommandNode* node, std::string_view target) {
  size_t bracket = target.find('[');
  std::string_view name = scanTrim(target.substr(0, bracket));
  node->names.emplace_back(name);
  if (bracket == std::string_view::npos) return true;
  size_t close = scanFindAtLevel0(target, ']', bracket + 1);
  std::string_view inside = target.substr(bracket + 1, close - bracket - 1);
  for (size_t start = 0; start <= inside.size();) {
    size_t comma = scanFindComma(inside, start);
    std::string_view item =
        inside.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    std::string error;
    CompiledExpr sub = cmdCompileExpression(ctx_, item, static_cast<int>(bracket + 1 + start), error);
    if (!sub) {
      expressionError(error, item);
      return false;
    }
    node->args.push_back(std::move(sub));
    if (node->args.size() > static_cast<size_t>(kMaxSubscripts)) {
      this->error(strFormat("Maximum number of array subscripts on any array is %d", kMaxSubscripts));
      return false;
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return true;
}

// ---- var, label, goto, return ------------------------------------------------------------

CommandNode* CompileSession::compileVar(const std::string& text, std::string_view rest) {
  CommandNode* node = make(CommandType::Var, text);
  if (rest.empty()) {
    error("Empty parameter list in var statement.");
    node->flags |= kNodeInvalid;
    return node;
  }
  for (std::string_view item : scanSplitCommas(rest)) {
    std::string_view name = scanTrim(item);
    std::string_view bare = !name.empty() && name[0] == '@' ? name.substr(1) : name;
    // The name becomes the variable `@name`, whose name counts the '@'.
    if (bare.size() + 1 > kMaxVariableName || !isValidIdentifier(bare)) {
      error(strFormat("Invalid variable name '%.*s'.", static_cast<int>(name.size()), name.data()));
      node->flags |= kNodeInvalid;
      continue;
    }
    node->names.push_back("@" + std::string(bare));
  }
  return node;
}

CommandNode* CompileSession::compileLabel(const std::string& text, std::string_view rest, CommandType type) {
  bool label = type == CommandType::Label;
  CommandNode* node = make(type, text);
  auto fail = [&](std::string message) {
    error(std::move(message));
    node->flags |= kNodeInvalid;
    if (!label) node->flags |= kNodeGotoError;
    if (defining_) defining_->pendingFailed = true;
    return node;
  };
  if (!defining_)
    return fail(label ? "Labels can only be used inside functions."
                      : "Goto statements can only be used inside functions.");
  size_t pos = 0;
  ScanToken t = scanNextToken(rest, pos);
  if (t.exhausted)
    return fail(label ? "Expected label name after 'label' keyword." : "Expected label name after 'goto' keyword.");
  std::string_view name = t.view(rest);
  if (name.size() > kMaxFunctionName || !isValidIdentifier(name))
    return fail(strFormat("Label '%.*s is not a valid label identifier.", static_cast<int>(name.size()), name.data()));
  std::string_view extra = scanTrim(rest.substr(pos));
  if (!extra.empty())
    return fail(strFormat("Unexpected text '%.*s' following label.", static_cast<int>(extra.size()), extra.data()));
  node->names.emplace_back(name);
  return node;
}

CommandNode* CompileSession::compileReturn(const std::string& text, size_t after) {
  CommandNode* node = make(CommandType::Return, text);
  if (!defining_ && !owner_) {
    error("Return statements can only be used inside functions.");
    node->flags |= kNodeInvalid;
    return node;
  }
  std::string_view value = scanTrim(std::string_view(text).substr(after));
  if (value.empty()) return node;
  size_t offset = static_cast<size_t>(value.data() - text.data());
  std::string error;
  node->expr = cmdCompileExpression(ctx_, value, static_cast<int>(offset), error);
  if (!node->expr) {
    node->flags |= kNodeInvalid;
    expressionError(error, value);
  }
  return node;
}

// ---- =import --------------------------------------------------------------------------------

// An =import without variables is carried out now: the file is compiled into an Import
// node after this command, which then does nothing when it runs.
CommandNode* CompileSession::compileImportCommand(const std::string& text) {
  CommandNode* node = make(CommandType::Command, text);
  if (text.find('@') != std::string::npos || cmdInRunTimeText(ctx_)) return node;
  const ScriptHost& host = scriptHost();
  ImportRequest request;
  if (!host.parseImport || !host.parseImport(ctx_, text, request)) return node;
  bool runOnce = runOnce_ && blocks_.empty() && !defining_ && !owner_;
  cmdCompileImport(ctx_, request, CompileTarget{list_, owner_, fixedLine_, runOnce}, *node, &src_);
  return node;
}

// ---- entry points -------------------------------------------------------------------------

// A statement that failed to compile never runs: a failure of the run like a failed
// command, for the summary, the exit code and stop-on-error.
void countCompileFailure(ProgramContext& ctx) { countCommand(ctx, false); }

ParseResult cmdParseCommand(ProgramContext& ctx, InputSource& src, const CompileTarget& target, bool* failed) {
  CompileSession session(ctx, src, target);
  bool end = false;
  session.parseCommand(false, end);
  if (failed) *failed = session.failed();
  if (session.failed()) countCompileFailure(ctx);
  return end ? ParseResult::EndOfInput : ParseResult::Compiled;
}

bool cmdParseFile(ProgramContext& ctx, InputSource& src, const CompileTarget& target) {
  CompileSession session(ctx, src, target);
  for (;;) {
    bool end = false;
    session.parseCommand(false, end);
    if (session.failed()) {
      countCompileFailure(ctx);
      return false;
    }
    if (end || ctx.quit) return true;
  }
}

bool cmdCompileText(ProgramContext& ctx, std::string_view text, const CompileTarget& target) {
  InputSource src;
  src.isString = true;
  src.text.assign(text);
  src.readLine = cmdReadStringLine;
  return cmdParseFile(ctx, src, target);
}

bool cmdCompileCommand(ProgramContext& ctx, std::string_view text, const CompileTarget& target) {
  InputSource src;
  src.isString = true;
  src.pending.assign(text);  // handed out whole as the next command
  src.readLine = cmdReadStringLine;
  return cmdParseFile(ctx, src, target);
}

}  // namespace kvarn::script
