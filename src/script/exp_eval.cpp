// Evaluator: walks the postfix list recursively from its end. Each item knows where its
// subtree starts, so an operator finds its left operand without evaluating the right one
// first; right operands and later arguments are evaluated first, which decides the error
// a user sees when several operands fail. Every item writes its value into its own slot
// of scratch kept with the compiled expression, so repeated evaluations do not allocate.
#include <array>

#include "script/expr.h"

namespace kvarn::script {

class ExprEvaluator {
 public:
  ExprEvaluator(ExprContext& ctx, std::vector<Value>& slots, std::vector<Value>& args)
      : ctx_(ctx), nodes_(ctx.nodes_), slots_(slots), args_(args) {
    if (slots_.size() != nodes_.size()) slots_.resize(nodes_.size());
    if (args_.size() != static_cast<size_t>(ctx.argSlots_)) args_.resize(static_cast<size_t>(ctx.argSlots_));
  }

  static bool evaluate(ExprContext& ctx, Value& result, bool checkMode) {
    if (ctx.busy_) {
      // Re-entered (a function evaluating this same expression): use fresh scratch.
      std::vector<Value> slots, args;
      bool saved = ctx.checkMode_;
      ctx.checkMode_ = checkMode;
      bool ok = ExprEvaluator(ctx, slots, args).run(result);
      ctx.checkMode_ = saved;
      return ok;
    }
    ctx.busy_ = true;
    ctx.checkMode_ = checkMode;
    bool ok = ExprEvaluator(ctx, ctx.slots_, ctx.args_).run(result);
    ctx.busy_ = false;
    if (checkMode) {
      ctx.checkMode_ = false;
      ctx.absent_ = false;
    }
    return ok;
  }

  bool run(Value& result) {
    ctx_.absent_ = false;
    ctx_.error_.clear();
    if (nodes_.empty()) {
      ctx_.error_ = "No expression given";
      return false;
    }
    int32_t last = static_cast<int32_t>(nodes_.size()) - 1;
    if (eval(last)) {
      // Every evaluation writes a slot before reading it, so a string result is handed
      // over rather than copied once more; the slot gets the caller's old buffer.
      Value& value = slot(last);
      if (isNumber(value)) takeNumberOrCopy(result, value);
      else std::swap(result, value);
      return true;
    }
    if (ctx_.absent_) {
      result.setInt(0);  // an absent value makes the whole expression false, not an error
      return true;
    }
    if (ctx_.error_.empty()) ctx_.error_ = "Expression evaluation failed";
    return false;
  }

 private:
  ExprContext& ctx_;
  const std::vector<ExprNode>& nodes_;
  std::vector<Value>& slots_;
  std::vector<Value>& args_;

  // The common integer operations without the general balancing rules.
  static bool integerFastPath(OpCode code, int64_t a, int64_t b, Value& out) {
    auto wrap = [](uint64_t v) { return static_cast<int64_t>(v); };
    switch (code) {
    case OpCode::Add: out.setInt(wrap(static_cast<uint64_t>(a) + static_cast<uint64_t>(b))); return true;
    case OpCode::Sub: out.setInt(wrap(static_cast<uint64_t>(a) - static_cast<uint64_t>(b))); return true;
    case OpCode::Mul: out.setInt(wrap(static_cast<uint64_t>(a) * static_cast<uint64_t>(b))); return true;
    case OpCode::Eq: out.setInt(a == b); return true;
    case OpCode::Ne: out.setInt(a != b); return true;
    case OpCode::Gt: out.setInt(a > b); return true;
    case OpCode::Ge: out.setInt(a >= b); return true;
    case OpCode::Lt: out.setInt(a < b); return true;
    case OpCode::Le: out.setInt(a <= b); return true;
    case OpCode::And: out.setInt(a != 0 && b != 0); return true;
    case OpCode::Or: out.setInt(a != 0 || b != 0); return true;
    case OpCode::Mod:
      if (b == 0 || b == -1) return false;  // the general rule reports or defines these
      out.setInt(a % b);
      return true;
    default: return false;
    }
  }

  // Mixed INT/DBL arithmetic and comparison as reals.
  static bool realFastPath(OpCode code, double a, double b, Value& out) {
    switch (code) {
    case OpCode::Add: out.setDbl(a + b); return true;
    case OpCode::Sub: out.setDbl(a - b); return true;
    case OpCode::Mul: out.setDbl(a * b); return true;
    case OpCode::Div:
      if (b == 0.0) return false;
      out.setDbl(a / b);
      return true;
    case OpCode::Eq: out.setInt(a == b); return true;
    case OpCode::Ne: out.setInt(a != b); return true;
    case OpCode::Gt: out.setInt(a > b); return true;
    case OpCode::Ge: out.setInt(a >= b); return true;
    case OpCode::Lt: out.setInt(a < b); return true;
    case OpCode::Le: out.setInt(a <= b); return true;
    default: return false;
    }
  }

  // A number is set in place; anything else is copied whole.
  static void takeNumberOrCopy(Value& dst, const Value& src) {
    switch (src.type()) {
    case LexemeType::Int: dst.setInt(src.asInt()); return;
    case LexemeType::Dbl: dst.setDbl(src.asDbl()); return;
    default: dst = src; return;
    }
  }

  static bool isNumber(const Value& v) { return v.type() == LexemeType::Int || v.type() == LexemeType::Dbl; }
  static double real(const Value& v) {
    return v.type() == LexemeType::Int ? static_cast<double>(v.asInt()) : v.asDbl();
  }

  bool combine(const OperatorDef& op, Value& left, Value& right, Value& out) {
    if (left.type() == LexemeType::Int && right.type() == LexemeType::Int) {
      if (op.code == OpCode::Div && right.asInt() != 0) {
        out.setDbl(static_cast<double>(left.asInt()) / static_cast<double>(right.asInt()));
        return true;
      }
      if (integerFastPath(op.code, left.asInt(), right.asInt(), out)) return true;
    } else if (isNumber(left) && isNumber(right)) {
      if (realFastPath(op.code, real(left), real(right), out)) return true;
    }
    return applyBinary(op, left, right, out, ctx_.caseSensitive(), ctx_.checkMode_, ctx_.error_);
  }

  int32_t before(int32_t i) const { return nodes_[i].first - 1; }
  Value& slot(int32_t i) { return slots_[static_cast<size_t>(i)]; }

  bool eval(int32_t i) {
    const ExprNode& n = nodes_[i];
    Value& out = slot(i);
    switch (n.type) {
    case LexemeType::Int: out.setInt(n.literal.asInt()); return true;
    case LexemeType::Dbl: out.setDbl(n.literal.asDbl()); return true;
    case LexemeType::Str:
    case LexemeType::PStr:
    case LexemeType::EPStr: out.setView(n.literal.bytes()); return true;
    case LexemeType::Var: return resolve(i, out);
    case LexemeType::Op: break;
    default: out = n.literal; return true;  // a constant bound by the resolver
    }
    const OperatorDef& op = *n.op;
    if (op.kind & (kFunction | kScriptFunction)) return call(i, out);
    if (op.kind & kBinary) return binary(i, op, out);
    if (!eval(i - 1)) return false;
    return applyUnary(op, slot(i - 1), out, ctx_.error_);
  }

  bool binary(int32_t i, const OperatorDef& op, Value& out) {
    int32_t r = i - 1, l = before(r);
    if (op.code != OpCode::Or) {
      if (!eval(r) || !eval(l)) return false;
      return combine(op, slot(l), slot(r), out);
    }
    // OR absorbs an absent operand: the result is then the other operand's value.
    bool rightOk = eval(r);
    if (!rightOk && !ctx_.absent_) return false;
    ctx_.absent_ = false;
    bool leftOk = eval(l);
    if (!leftOk && !ctx_.absent_) return false;
    if (!leftOk) {
      if (!rightOk) return false;  // both absent: the signal stays raised
      ctx_.absent_ = false;
      out = slot(r);
      return true;
    }
    if (!rightOk) {
      out = slot(l);
      return true;
    }
    return combine(op, slot(l), slot(r), out);
  }

  // Evaluates the subscripts of the VAR at i (in check mode each counts as 1).
  bool subscripts(int32_t i, std::array<int32_t, kMaxSubscripts>& subs) {
    const ExprNode& n = nodes_[i];
    int32_t at = i - 1;
    for (int k = n.subscripts - 1; k >= 0; --k) {
      if (!eval(at)) return false;
      subs[k] = ctx_.checkMode_ ? 1 : valueInteger(slot(at));
      at = before(at);
    }
    return true;
  }

  bool resolve(int32_t i, Value& out) {
    const ExprNode& n = nodes_[i];
    std::array<int32_t, kMaxSubscripts> subs;
    if (n.subscripts && !subscripts(i, subs)) return false;
    if (ctx_.checkMode_ && !n.name.empty() && n.name[0] == '@') {
      out.setInt(1);
      return true;
    }
    NameResolver* resolver = ctx_.resolver_;
    if (!resolver) {
      ctx_.setErrorf("Unknown variable '%s'", n.name.c_str());
      return false;
    }
    VarRef ref{n.name, n.modifier, n.slot, n.position, &n.memo};
    switch (resolver->resolve(ref, std::span<const int32_t>(subs.data(), n.subscripts), out, ctx_)) {
    case Resolution::Found: return true;
    case Resolution::Absent: ctx_.absent_ = true; return false;
    default:
      if (ctx_.error_.empty()) ctx_.setErrorf("Variable '%s' could not be resolved", n.name.c_str());
      return false;
    }
  }

  bool variableArgument(int32_t root, const char* which, std::string_view fname, Value& out) {
    const ExprNode& a = nodes_[root];
    if (a.type != LexemeType::Var) {
      ctx_.setErrorf("The %s parameter to function '%.*s' must be a variable", which, static_cast<int>(fname.size()),
                     fname.data());
      return false;
    }
    std::array<int32_t, kMaxSubscripts> subs;
    if (a.subscripts && !subscripts(root, subs)) return false;
    VarRef ref{a.name, a.modifier, a.slot, a.position};
    std::span<const int32_t> s(subs.data(), a.subscripts);
    out.setOwned(ctx_.resolver_ ? ctx_.resolver_->variableKey(ref, s) : expVariableKey(a.name, s));
    return true;
  }

  bool call(int32_t i, Value& out) {
    const ExprNode& n = nodes_[i];
    const OperatorDef& op = *n.op;
    bool script = op.kind & kScriptFunction;
    std::string_view fname = script ? std::string_view(n.name) : op.name;
    Value* args = args_.data() + n.argBase;
    int32_t root = i - 1;
    for (int k = n.argc - 1; k >= 0; --k) {
      if (k == 0 && (op.variableParams & kFirstParamIsVariable)) {
        if (!variableArgument(root, "first", fname, args[k])) return false;
      } else if (k == 1 && (op.variableParams & kSecondParamIsVariable)) {
        if (!variableArgument(root, "second", fname, args[k])) return false;
      } else {
        if (!eval(root)) return false;
        Value& arg = slot(root);
        if (isNumber(arg)) takeNumberOrCopy(args[k], arg);
        else std::swap(args[k], arg);  // both keep their string capacity
      }
      root = before(root);
    }
    std::span<Value> argv(args, n.argc);
    if (script) {
      if (ctx_.checkMode_) {
        out.setInt(1);
        return true;
      }
      if (!ctx_.functions_) {
        ctx_.setErrorf("Unknown function name '%s' at position %d", n.name.c_str(),
                       static_cast<int>(n.position) + ctx_.positionOffset_);
        return false;
      }
      return ctx_.functions_->call(n.slot, argv, out, ctx_);
    }
    if (!op.handler) {
      ctx_.setErrorf("Function %.*s has no implementation", static_cast<int>(fname.size()), fname.data());
      return false;
    }
    return op.handler(ctx_, argv, out);
  }
};

bool expEvaluate(ExprContext& expr, Value& result) { return ExprEvaluator::evaluate(expr, result, false); }

// The test evaluation made while compiling.
bool expCheckEvaluate(ExprContext& expr) {
  Value ignored;
  return ExprEvaluator::evaluate(expr, ignored, true);
}

}  // namespace kvarn::script
