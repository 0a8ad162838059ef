// Function definitions, call statements, labels and gotos.
#include "context/output.h"
#include "runtime/scan.h"
#include "script/compile_session.h"

namespace kvarn::script {

CommandNode* CompileSession::compileFunction(const std::string& text, size_t after) {
  if (defining_ || owner_) {
    CommandNode* node = make(CommandType::Func, text);
    node->flags |= kNodeInvalid;
    error("You can not define a function within another function");
    return node;
  }
  cmdWaitingFor(ctx_, "endfunc");
  CommandNode* funcLine = list_->tail();
  if (funcLine && funcLine->type != CommandType::SourceLine && funcLine->type != CommandType::MultiLine)
    funcLine = nullptr;

  size_t pos = after;
  ScanToken nameToken = scanNextToken(text, pos);
  std::string_view name = nameToken.exhausted ? std::string_view() : nameToken.view(text);
  bool ok = true;
  if (name.empty()) {
    error("Expected function name after 'func'");
    ok = false;
  } else if (name.size() > kMaxFunctionName) {
    error(strFormat(" Function name '%.*s' is too long. Functions names are limited %d characters",
                    static_cast<int>(name.size()), name.data(), static_cast<int>(kMaxFunctionName)));
    ok = false;
  } else if (!isValidIdentifier(name)) {
    error(strFormat("'%.*s' is not a valid function name", static_cast<int>(name.size()), name.data()));
    ok = false;
  }

  // A definition whose name is unusable is still read to its endfunc, into a list that
  // is thrown away, so that its body never runs as top-level statements.
  std::shared_ptr<NodeList> body = std::make_shared<NodeList>();
  FunctionDef* def = nullptr;
  if (ok) {
    def = &state_.functions.obtain(name);
    def->pendingBody = body;
    def->pendingParams.clear();
    def->pendingFailed = false;
    def->nextStmtNo = 1;
    def->file = src_.isString ? std::string() : src_.name;
    def->line = line();
    if (!compileParameters(*def, text, pos)) def->pendingFailed = true;
  }
  if (funcLine) moveCommentBlock(*body);
  CommandNode* funcNode = make(CommandType::Func, text);

  NodeList* savedList = list_;
  FunctionDef* savedOwner = owner_;
  std::vector<CommandNode*> savedBlocks;
  std::vector<bool> savedErrors;
  savedBlocks.swap(blocks_);
  savedErrors.swap(errorsAtBlockStart_);
  bool errorsBefore = errorReported_;
  list_ = body.get();
  owner_ = def;
  FunctionDef unnamed;  // "inside a definition" even when the name was refused
  defining_ = def ? def : &unnamed;
  errorReported_ = false;

  bool success = ok;
  ++state_.definitionsCompiling;
  CommandNode* term = readCommands(true);
  --state_.definitionsCompiling;
  if (!term) {
    if (!errorReported_) error("'endfunc' not found before end of file");
    state_.compileFailed = true;
    success = false;
  } else if (term->type != CommandType::EndFunc) {
    error(strFormat("Found '%s' where '%s' was expected", commandTypeWord(term->type), "endfunc"));
    success = false;
  }
  if (def && !resolveGotos(*def, *body)) success = false;
  if (errorReported_) success = false;

  list_ = savedList;
  owner_ = savedOwner;
  defining_ = nullptr;
  blocks_.swap(savedBlocks);
  errorsAtBlockStart_.swap(savedErrors);
  errorReported_ = errorReported_ || errorsBefore;
  cmdWaitingDone(ctx_, "endfunc");

  if (!success) funcNode->flags |= kNodeInvalid;
  if (def) {
    if (success) ++state_.functions.loadedCount;
    else def->pendingFailed = true;
  }
  // Inside an import the definition takes effect when the import has run. A failed
  // import inside the body left its definitions to this commit.
  if (state_.importsCompiling == 0 && state_.definitionsCompiling == 0) state_.functions.commit(true);
  return funcNode;
}

bool CompileSession::compileParameters(FunctionDef& def, const std::string& text, size_t& pos) {
  const std::string& fn = def.name;
  ScanToken t = scanNextToken(text, pos);
  if (t.exhausted || t.view(text) != "(") {
    error(strFormat("Expected '(' after '%s'", fn.c_str()));
    return false;
  }
  for (;;) {
    t = scanNextToken(text, pos);
    if (t.exhausted) {
      error(strFormat("Expected ')' at the end of the parameter list for function '%s'", fn.c_str()));
      return false;
    }
    std::string_view word = t.view(text);
    if (word == ")") return true;
    if (word == ",") continue;
    std::string_view bare = word[0] == '@' ? word.substr(1) : word;
    // The parameter becomes the variable `@name`, whose name counts the '@'.
    if (bare.size() + 1 > kMaxVariableName) {
      error(strFormat("Variable '@%.*s' is too long. Variable names are limited %d characters",
                      static_cast<int>(bare.size()), bare.data(), static_cast<int>(kMaxVariableName)));
      return false;
    }
    if (!isValidIdentifier(bare)) {
      error(strFormat("'%.*s' is not a valid parameter variable name", static_cast<int>(word.size()), word.data()));
      return false;
    }
    def.pendingParams.push_back("@" + std::string(bare));
    t = scanNextToken(text, pos);
    if (!t.exhausted && t.view(text) == ")") return true;
    if (!t.exhausted && t.view(text) == ",") continue;
    if (t.exhausted) {
      error(strFormat("Expected ')' at the end of the parameter list for function '%s'", fn.c_str()));
      return false;
    }
    error(strFormat("Expected ',' after parameter '%.*s'", static_cast<int>(word.size()), word.data()));
    return false;
  }
}

// The comment block directly above the func line belongs to the function: a run of
// comments and blank lines that begins with a comment and has at most one blank line
// after its last comment.
void CompileSession::moveCommentBlock(NodeList& body) {
  CommandNode* funcLine = list_->tail();
  CommandNode* first = nullptr;
  for (CommandNode* n = funcLine->prev; n && (n->type == CommandType::Comment || n->type == CommandType::BlankLine);
       n = n->prev)
    first = n;
  while (first && first != funcLine && first->type == CommandType::BlankLine) first = first->next;
  if (!first || first == funcLine) return;
  int blanksAfterLast = 0;
  for (CommandNode* n = funcLine->prev; n && n->type == CommandType::BlankLine; n = n->prev) ++blanksAfterLast;
  if (blanksAfterLast > 1) return;
  list_->moveRange(first, funcLine, body);
  for (CommandNode* n = body.head(); n; n = n->next) n->owner = owner_;
}

bool CompileSession::resolveGotos(FunctionDef& def, NodeList& body) {
  bool ok = true;
  for (CommandNode* g = body.head(); g; g = g->next) {
    if (g->type != CommandType::Goto || g->names.empty()) continue;
    CommandNode* label = nullptr;
    for (CommandNode* n = body.head(); n && !label; n = n->next)
      if (n->type == CommandType::Label && !n->names.empty() && n->names[0] == g->names[0]) label = n;
    if (!label) {
      error(strFormat("No definiton of label '%s' found in function '%s'.", g->text.c_str(), def.name.c_str()));
      g->flags |= kNodeInvalid;
      ok = false;
      continue;
    }
    g->link = label;
    bool inScope = label->block == nullptr;
    for (CommandNode* b = g->block; b && !inScope; b = b->block) inScope = b == label->block;
    if (!inScope) {
      const std::string& name = label->names[0];
      error(strFormat("The goto statement on line %u and label '%.*s' on line %u are not in the same loop scope.",
                      g->line, static_cast<int>(name.size()), name.data(), label->line));
      g->flags |= kNodeGotoError | kNodeInvalid;
      ok = false;
    }
  }
  return ok;
}

CommandNode* CompileSession::compileCall(const std::string& text, std::string_view name, size_t after) {
  CommandNode* node = make(CommandType::Call, text);
  node->names.emplace_back(name);
  FunctionDef* f = state_.functions.find(name);
  size_t params = f ? f->runParams().size() : 0;
  std::string fn(name);
  size_t pos = after;
  ScanToken t = scanNextToken(text, pos);
  if (t.exhausted) return node;
  auto fail = [&](std::string message) {
    error(std::move(message));
    node->flags |= kNodeInvalid;
    return node;
  };
  if (t.view(text) != "(")
    return fail(strFormat("Expected a '(' at start of parameters following '%s' function name.", fn.c_str()));
  size_t close = scanClosingBracket(text, t.start);
  if (close >= text.size())
    return fail(strFormat("Missing close bracket ')' at the end of parmaeter list for function '%s'.", fn.c_str()));
  std::string_view inside = std::string_view(text).substr(t.start + 1, close - t.start - 1);
  if (scanTrim(inside).empty()) return node;
  size_t offset = t.start + 1;
  for (std::string_view item : scanSplitCommas(inside)) {
    std::string error;
    CompiledExpr arg =
        cmdCompileExpression(ctx_, item, static_cast<int>(offset + (item.data() - inside.data())), error);
    if (!arg) {
      node->flags |= kNodeInvalid;
      expressionError(error, item);
      return node;
    }
    node->args.push_back(std::move(arg));
  }
  if (node->args.size() > params) {
    if (params == 0) return fail(strFormat("Function '%s' does not take any parameters.", fn.c_str()));
    if (params == 1) return fail(strFormat("Function '%s' takes only 1 parameter.", fn.c_str()));
    return fail(strFormat("Function '%s' only takes %zu parameters.", fn.c_str(), params));
  }
  return node;
}

}  // namespace kvarn::script
