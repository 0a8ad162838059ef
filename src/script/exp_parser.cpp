// Expression compiler: tokens to postfix with an operator stack (input and stack
// precedence per row), function argument and subscript lists parsed recursively,
// then each name bound through the resolver and a test evaluation in check mode.
#include <cstdarg>

#include "runtime/trace_sink.h"
#include <cstdio>

#include "script/exp_lexer.h"
#include "script/expr.h"
#include "text/text.h"

namespace kvarn::script {

bool expCheckEvaluate(ExprContext& expr);  // exp_eval.cpp
void expPlanSteps(ExprContext& expr);

namespace {

unsigned g_debugFlags = 0;

constexpr OperatorDef kScriptFunctionRow = {"", 20, 8, kScriptFunction, OpCode::None, nullptr, -1, 0};

bool isFunctionRow(const OperatorDef* row) { return row && (row->kind & (kFunction | kScriptFunction)); }

int arityOf(const ExprNode& n) {
  if (n.type == LexemeType::Var) return n.subscripts;
  if (n.type != LexemeType::Op) return 0;
  if (isFunctionRow(n.op)) return n.argc;
  return (n.op->kind & kBinary) ? 2 : 1;
}

}  // namespace

void expSetDebugFlags(unsigned flags) { g_debugFlags = flags; }

class ExprCompiler {
 public:
  ExprCompiler(ExprContext& ctx, const ExprOptions& options)
      : ctx_(ctx), setup_{ctx.table_, options.functions, options.vocabulary ? options.vocabulary : &expVocabulary(),
                          options.flags, options.positionOffset} {}

  bool compile(std::string& error) {
    if (!tokenize() || !parseTop() || !analyse() || !bindNames() || !planSteps() || !checkEvaluation()) {
      error = std::move(error_);
      ctx_.nodes_.clear();
      ctx_.steps_.clear();
      return false;
    }
    return true;
  }

  static CompiledExpr compileNew(std::string_view text, const ExprOptions& options, std::string& error) {
    auto expr = std::make_shared<ExprContext>();
    expr->text_.assign(text);
    expr->flags_ = options.flags;
    expr->positionOffset_ = options.positionOffset;
    expr->program_ = options.program;
    expr->table_ = options.table ? options.table : &OperatorTable::scriptOperators();
    expr->resolver_ = options.resolver;
    expr->functions_ = options.functions;
    expr->variables_ = options.variables;
    ExprCompiler compiler(*expr, options);
    if (!compiler.compile(error)) return nullptr;
    expr->error_.clear();
    return expr;
  }

  std::string dumpTokens() const {
    std::string out;
    for (const ExprNode& n : tokens_) out += expDumpNode(n);
    return out;
  }

 private:
  enum class Closer { None, Args, Subscripts };
  enum class End { Text, Comma, CloseParen, CloseBracket };
  static constexpr size_t kNone = static_cast<size_t>(-1);

  ExprContext& ctx_;
  LexerSetup setup_;
  std::vector<ExprNode> tokens_;
  std::vector<std::string_view> raw_;
  size_t next_ = 0;
  int depth_ = 0;
  std::string error_;

  int pos(size_t idx) const { return static_cast<int>(tokens_[idx].position) + setup_.positionOffset; }
  std::string rawText(size_t idx) const { return std::string(raw_[idx]); }

  bool fail(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
    va_list ap;
    va_start(ap, fmt);
    error_ = vstrFormat(fmt, ap);
    va_end(ap);
    return false;
  }

  bool tokenize() {
    std::vector<RawToken> raw = expSplitTokens(ctx_.text_);
    if (raw.empty()) return fail("No expression given");
    // Each term costs a compiled node of its own: a bound keeps one pathological line
    // from taking hundreds of megabytes to parse.
    if (raw.size() > kMaxExpressionTerms)
      return fail("Expression of %zu terms not compiled: expressions are limited to %zu terms", raw.size(),
                  kMaxExpressionTerms);
    tokens_.resize(raw.size());
    raw_.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
      raw_.push_back(raw[i].text);
      if (!expClassifyToken(raw[i], setup_, tokens_[i], error_)) return false;
      if (tokens_[i].type == LexemeType::Op && !tokens_[i].op) tokens_[i].op = &kScriptFunctionRow;
    }
    if (g_debugFlags & 4) traceWritef("InStream\n--------\n%s", dumpTokens().c_str());
    return true;
  }

  bool isOpToken(size_t idx, OpCode code) const {
    return idx < tokens_.size() && tokens_[idx].type == LexemeType::Op && tokens_[idx].op->code == code &&
           !isFunctionRow(tokens_[idx].op);
  }

  void emit(size_t idx) { ctx_.nodes_.push_back(std::move(tokens_[idx])); }

  std::string_view functionName(size_t idx) const {
    const ExprNode& n = tokens_[idx];
    return n.op == &kScriptFunctionRow ? std::string_view(n.name) : n.op->name;
  }

  bool parseTop() {
    End end;
    if (!parseLevel(Closer::None, end)) return false;
    if (g_debugFlags & 4) traceWritef("OutStream\n---------\n%s", ctx_.dumpPostfix().c_str());
    return true;
  }

  // One expression up to the end of the text or, inside a list, up to a ',' or the
  // closing character (reported through `end`).
  bool parseLevel(Closer closer, End& end) {
    if (++depth_ > kMaxNestingDepth) return fail("Expression is nested too deeply");
    std::vector<size_t> stack;
    bool expectOperand = true;
    size_t prev = kNone, lastOp = kNone;
    end = End::Text;

    auto popWhile = [&](uint16_t inputPrecedence) {
      while (!stack.empty() && tokens_[stack.back()].op->code != OpCode::LParen &&
             tokens_[stack.back()].op->stackPrecedence >= inputPrecedence) {
        emit(stack.back());
        stack.pop_back();
      }
    };

    while (next_ < tokens_.size() && end == End::Text) {
      size_t idx = next_++;
      ExprNode& tok = tokens_[idx];
      if (tok.type != LexemeType::Op) {
        if (!expectOperand) return fail("An operator was expected after operand at position %d", pos(prev));
        if (tok.type == LexemeType::Var && isOpToken(next_, OpCode::LParen))
          return fail("Unknown function name '%s' at position %d", tok.name.c_str(), pos(idx));
        if (tok.type == LexemeType::Var && isOpToken(next_, OpCode::LBracket)) {
          if (!parseSubscripts(idx)) return false;
        } else {
          emit(idx);
        }
        expectOperand = false;
        prev = idx;
        continue;
      }
      if (isFunctionRow(tok.op)) {
        if (!expectOperand) return fail("An operator was expected after operand at position %d", pos(prev));
        if (!parseFunction(idx)) return false;
        expectOperand = false;
        prev = idx;
        continue;
      }
      switch (tok.op->code) {
      case OpCode::Comma:
        if (closer == Closer::None)
          return fail("Unexpected character '%s' found at position %d", rawText(idx).c_str(), pos(idx));
        if (expectOperand) return fail("An operand was expected before '%c' at position %d", ',', pos(idx));
        end = End::Comma;
        break;
      case OpCode::RParen:
      case OpCode::RBracket: {
        bool paren = tok.op->code == OpCode::RParen;
        if (expectOperand)
          return fail("An operand was expected before '%c' at position %d", paren ? ')' : ']', pos(idx));
        popWhile(tok.op->inputPrecedence);
        if (paren && !stack.empty()) {
          stack.pop_back();  // the matching '('
        } else if (paren ? closer == Closer::Args : closer == Closer::Subscripts) {
          end = paren ? End::CloseParen : End::CloseBracket;
        } else {
          return fail("Unmatched parenthesis");
        }
        break;
      }
      case OpCode::LParen:
        if (!expectOperand) return fail("An operator was expected after operand at position %d", pos(prev));
        stack.push_back(idx);
        lastOp = idx;
        break;
      case OpCode::LBracket:
        return fail("Unexpected character '%s' found at position %d", rawText(idx).c_str(), pos(idx));
      default: {
        if (expectOperand) {
          const OperatorDef* unary = (tok.op->kind & kBinary) ? ctx_.table_->matchNonBinary(tok.op->name) : tok.op;
          if (!unary) return fail("Unexpected operator '%s' found at position %d", rawText(idx).c_str(), pos(idx));
          tok.op = unary;
        } else if (!(tok.op->kind & kBinary)) {
          return fail("Unexpected operator '%s' found at position %d", rawText(idx).c_str(), pos(idx));
        }
        popWhile(tok.op->inputPrecedence);
        stack.push_back(idx);
        expectOperand = true;
        lastOp = idx;
        break;
      }
      }
      prev = idx;
    }

    if (end == End::Text && closer != Closer::None) {
      --depth_;
      return true;  // the caller reports the missing ')' or ']'
    }
    if (expectOperand) {
      if (lastOp == kNone) return fail("Missing operand");
      return fail("An operand was expected after '%s' at position %d", rawText(lastOp).c_str(), pos(lastOp));
    }
    while (!stack.empty()) {
      size_t idx = stack.back();
      stack.pop_back();
      if (tokens_[idx].op->code == OpCode::LParen)
        return fail("The ')' to match the '(' at position %d was not found", pos(idx));
      emit(idx);
    }
    --depth_;
    return true;
  }

  bool parseFunction(size_t idx) {
    std::string name(functionName(idx));
    if (!isOpToken(next_, OpCode::LParen))
      return fail("Expected '(' to follow function %s at position %d", name.c_str(), pos(idx));
    ++next_;
    int argc = 0;
    if (isOpToken(next_, OpCode::RParen)) {
      ++next_;
    } else {
      for (;;) {
        if (argc == kMaxFunctionParams)
          return fail("Maximum number of parameters to any function is %d", kMaxFunctionParams);
        End end;
        if (!parseLevel(Closer::Args, end)) return false;
        ++argc;
        if (end == End::Text) return fail("Missing ')' for function %s at position %d", name.c_str(), pos(idx));
        if (end == End::CloseParen) break;
      }
    }
    int expected = tokens_[idx].op->parameterCount;
    if (expected >= 0 && argc != expected)
      return fail("Function %s at position %d takes %d parameter%s", name.c_str(), pos(idx), expected,
                  expected == 1 ? "" : "s");
    tokens_[idx].argc = static_cast<uint8_t>(argc);
    emit(idx);
    return true;
  }

  bool parseSubscripts(size_t idx) {
    ++next_;  // '['
    int count = 0;
    for (;;) {
      if (count == kMaxSubscripts) return fail("Maximum number of array subscripts on any array is %d", kMaxSubscripts);
      End end;
      if (!parseLevel(Closer::Subscripts, end)) return false;
      ++count;
      if (end == End::Text)
        return fail("Missing ']' for array '%s' at position %d", tokens_[idx].name.c_str(), pos(idx));
      if (end == End::CloseBracket) break;
    }
    tokens_[idx].subscripts = static_cast<uint8_t>(count);
    emit(idx);
    return true;
  }

  // Records each item's subtree start (the evaluator walks from the end), bounds the
  // depth of the tree (laying out the evaluation steps recurses) and finds the partner of each name beside a
  // binary operator for binding.
  std::vector<int32_t> partner_, partnerOp_;
  bool analyse() {
    std::vector<ExprNode>& nodes = ctx_.nodes_;
    struct Item {
      int32_t root, first, depth;
    };
    std::vector<Item> stack;
    partner_.assign(nodes.size(), -1);
    partnerOp_.assign(nodes.size(), -1);
    for (size_t i = 0; i < nodes.size(); ++i) {
      int arity = arityOf(nodes[i]);
      if (stack.size() < static_cast<size_t>(arity)) return fail("Missing operand");
      int32_t first = static_cast<int32_t>(i), depth = 0;
      if (arity == 2 && nodes[i].type == LexemeType::Op) {
        int32_t right = stack[stack.size() - 1].root, left = stack[stack.size() - 2].root;
        partner_[left] = right;
        partner_[right] = left;
        partnerOp_[left] = partnerOp_[right] = static_cast<int32_t>(i);
      }
      for (int k = 0; k < arity; ++k) {
        first = std::min(first, stack.back().first);
        depth = std::max(depth, stack.back().depth);
        stack.pop_back();
      }
      if (depth + 1 > kMaxNestingDepth) return fail("Expression is nested too deeply");
      nodes[i].first = first;
      if (nodes[i].type == LexemeType::Op && isFunctionRow(nodes[i].op)) {
        nodes[i].argBase = ctx_.argSlots_;
        ctx_.argSlots_ += nodes[i].argc;
      }
      stack.push_back({static_cast<int32_t>(i), first, depth + 1});
    }
    if (stack.size() != 1) return fail("Missing operand");
    return true;
  }

  bool bindNames() {
    NameResolver* resolver = ctx_.resolver_;
    if (!resolver) return true;
    std::vector<ExprNode>& nodes = ctx_.nodes_;
    for (size_t i = 0; i < nodes.size(); ++i) {
      ExprNode& n = nodes[i];
      if (n.type != LexemeType::Var) continue;
      NameBinding b;
      b.ref = VarRef{n.name, n.modifier, n.slot, n.position};
      b.subscripts = n.subscripts;
      int32_t p = partner_[i];
      if (p >= 0 && nodes[p].type == LexemeType::Var) b.partner = nodes[p].name;
      if (partnerOp_[i] >= 0) b.op = nodes[partnerOp_[i]].op;
      ctx_.error_.clear();
      if (!resolver->bind(b, ctx_)) {
        error_ = ctx_.error_.empty() ? strFormat("Unknown variable '%s'", n.name.c_str()) : ctx_.error_;
        return false;
      }
      n.slot = b.ref.slot;
      if (b.constant && n.subscripts == 0) {
        n.type = b.constant->type();
        n.literal = b.constant->copy();
        n.type = n.literal.type();
      }
    }
    return true;
  }

  // The evaluation steps, laid out once the items are final (binding may have turned
  // names into constants).
  bool planSteps() {
    expPlanSteps(ctx_);
    return true;
  }

  bool checkEvaluation() {
    if (ctx_.flags_ & kNoCheck) return true;
    if (!expCheckEvaluate(ctx_)) {
      error_ = ctx_.error_;
      return false;
    }
    return true;
  }
};

CompiledExpr expCacheFind(std::string_view text, const ExprOptions& options);  // exp_cache.cpp
void expCacheStore(const CompiledExpr& expr, const ExprOptions& options);

CompiledExpr expParseExpression(std::string_view text, const ExprOptions& options, std::string& error) {
  if (g_debugFlags & 64) traceWritef("expParseExpression '%.*s'\n", static_cast<int>(text.size()), text.data());
  CompiledExpr result;
  if (options.flags & kUseCache) result = expCacheFind(text, options);
  if (!result) {
    result = ExprCompiler::compileNew(text, options, error);
    if (result) {
      if (options.flags & kUseCache) expCacheStore(result, options);
    }
  }
  if (g_debugFlags & 64) traceWritef("expParseExpression (Return)\n");
  return result;
}

ExprRun expRun(std::string_view text, const ExprOptions& options, int decimals) {
  ExprRun run;
  CompiledExpr expr = expParseExpression(text, options, run.error);
  if (!expr) return run;
  Value v;
  if (!expEvaluate(*expr, v)) {
    run.error = expr->error();
    return run;
  }
  run.value = v.copy();
  if (run.value.type() == LexemeType::List) {
    run.ok = true;  // a list has no text form; callers read run.value
    return run;
  }
  run.ok = valueToText(run.value, decimals, run.text, run.error);
  return run;
}

}  // namespace kvarn::script
