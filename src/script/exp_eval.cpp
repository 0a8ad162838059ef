// Evaluator: runs the steps the compiler laid out for an expression (StepPlanner, at the
// end of this file) in one loop. The steps follow the tree from the root of the postfix
// list: right operands and later arguments are evaluated first, which decides the error
// a user sees when several operands fail. Every item writes its value into its own slot
// of scratch kept with the compiled expression, so repeated evaluations do not allocate.
#include <bit>
#include <span>
#include <string_view>

#include "script/expr.h"

namespace kvarn::script {

class ExprEvaluator {
 public:
  // `slots`, `args` and `ints` hold as many entries as the plan asked for.
  ExprEvaluator(ExprContext& ctx, Value* slots, Value* args, int32_t* ints)
      : ctx_(ctx), nodes_(ctx.nodes_.data()), slots_(slots), args_(args), ints_(ints) {}

  static bool evaluate(ExprContext& ctx, Value& result, bool checkMode) {
    if (ctx.busy_) [[unlikely]] {
      // Re-entered (a function evaluating this same expression): use fresh scratch.
      std::vector<Value> slots(ctx.nodes_.size()), args(static_cast<size_t>(ctx.argSlots_));
      std::vector<int32_t> ints(static_cast<size_t>(ctx.intSlots_));
      bool saved = ctx.checkMode_;
      ctx.checkMode_ = checkMode;
      bool ok = ExprEvaluator(ctx, slots.data(), args.data(), ints.data()).run(result);
      ctx.checkMode_ = saved;
      return ok;
    }
    ctx.busy_ = true;
    ctx.checkMode_ = checkMode;
    bool ok = ExprEvaluator(ctx, ctx.slots_.data(), ctx.args_.data(), ctx.ints_.data()).run(result);
    ctx.busy_ = false;
    if (checkMode) {
      ctx.checkMode_ = false;
      ctx.absent_ = false;
    }
    return ok;
  }

  [[gnu::always_inline]] bool run(Value& result) {
    ctx_.absent_ = false;
    if (!ctx_.error_.empty()) ctx_.error_.clear();
    if (ctx_.nodes_.empty()) [[unlikely]] {
      ctx_.error_ = "No expression given";
      return false;
    }
    if (execute()) [[likely]] {
      // Every evaluation writes a slot before reading it, so a string result is handed
      // over rather than copied once more; the slot gets the caller's old buffer.
      Value& value = slot(ctx_.resultSlot_);
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
  const ExprNode* nodes_;
  Value* slots_;
  Value* args_;
  int32_t* ints_;  // subscript values, the outcome of each OR's right operand

  // What an OrLeft step notes for its OR.
  static constexpr int32_t kRightAbsent = 1, kLeftAbsent = 2;

  // The common integer operations without the general balancing rules.
  [[gnu::always_inline]] static bool integerFastPath(OpCode code, int64_t a, int64_t b, Value& out) {
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

  Value& slot(int32_t i) { return slots_[i]; }

  // Runs the steps in order. A step that fails ends the evaluation, unless the value
  // was absent and the step lies inside an operand of an OR: then the evaluation goes
  // on with that OR's left operand (the right one was absent) or with the OR itself.
  [[gnu::always_inline]] bool execute() {
    const ExprStep* steps = ctx_.steps_.data();
    const int32_t count = static_cast<int32_t>(ctx_.steps_.size());
    int32_t pc = 0;
    while (pc < count) {
      const ExprStep& s = steps[pc];
      bool ok = true;
      switch (s.kind) {
      case ExprStepKind::Int: slot(s.node).setInt(s.literal); break;
      case ExprStepKind::Dbl: slot(s.node).setDbl(std::bit_cast<double>(s.literal)); break;
      case ExprStepKind::Str: slot(s.node).setView(nodes_[s.node].literal.bytes()); break;
      case ExprStepKind::Constant: slot(s.node) = nodes_[s.node].literal; break;
      case ExprStepKind::Var: ok = resolve(s.node, s.a, slot(s.node)); break;
      case ExprStepKind::PlainVar: ok = readPlain(s.node, slot(s.node)) || resolve(s.node, s.a, slot(s.node)); break;
      case ExprStepKind::ElementVar:
        ok = readElement(s.node, s.a, slot(s.node)) || resolve(s.node, s.a, slot(s.node));
        break;
      case ExprStepKind::BinaryImm: {
        Value& l = slot(s.a);
        if (l.type() == LexemeType::Int && integerFastPath(s.code, l.asInt(), s.literal, slot(s.node))) break;
        slot(s.b).setInt(s.literal);
        ok = combine(*nodes_[s.node].op, l, slot(s.b), slot(s.node));
        break;
      }
      case ExprStepKind::VarImm: ok = varImmediate(s); break;
      case ExprStepKind::Unary:
        ok = applyUnary(*nodes_[s.node].op, slot(s.node - 1), slot(s.node), ctx_.error_);
        break;
      case ExprStepKind::Binary: {
        Value& l = slot(s.a);
        Value& r = slot(s.b);
        if (l.type() == LexemeType::Int && r.type() == LexemeType::Int &&
            integerFastPath(s.code, l.asInt(), r.asInt(), slot(s.node)))
          break;
        ok = combine(*nodes_[s.node].op, l, r, slot(s.node));
        break;
      }
      case ExprStepKind::OrLeft:
        ints_[s.a] = 0;
        ctx_.absent_ = false;
        break;
      case ExprStepKind::Or: ok = orResult(s); break;
      case ExprStepKind::Call: ok = call(s.node, slot(s.node)); break;
      case ExprStepKind::Subscript: ints_[s.a] = ctx_.checkMode_ ? 1 : valueInteger(slot(s.node)); break;
      case ExprStepKind::Arg: {
        Value& arg = slot(s.node);
        Value& dst = args_[static_cast<size_t>(s.a)];
        if (isNumber(arg)) takeNumberOrCopy(dst, arg);
        else std::swap(dst, arg);  // both keep their string capacity
        break;
      }
      case ExprStepKind::VarKey: variableKey(s.node, s.b, args_[static_cast<size_t>(s.a)]); break;
      case ExprStepKind::NotVariable: ok = notVariable(s.node, s.a); break;
      }
      if (ok) {
        ++pc;
        continue;
      }
      if (!ctx_.absent_ || s.onAbsent < 0) return false;
      const ExprStep& target = steps[s.onAbsent];
      if (target.kind == ExprStepKind::OrLeft) {
        ints_[target.a] = kRightAbsent;
        ctx_.absent_ = false;
        pc = s.onAbsent + 1;
      } else {
        ints_[target.a] |= kLeftAbsent;
        pc = s.onAbsent;
      }
    }
    return true;
  }

  // OR absorbs an absent operand: the result is then the other operand's value.
  bool orResult(const ExprStep& s) {
    int32_t r = s.node - 1, l = s.b;
    Value& out = slot(s.node);
    bool rightOk = !(ints_[s.a] & kRightAbsent), leftOk = !(ints_[s.a] & kLeftAbsent);
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
    return combine(*nodes_[s.node].op, slot(l), slot(r), out);
  }

  std::span<const int32_t> subscriptValues(const ExprNode& n, int32_t base) const {
    if (!n.subscripts) return {};
    return std::span<const int32_t>(ints_ + base, n.subscripts);
  }

  bool resolve(int32_t i, int32_t subscriptBase, Value& out) {
    const ExprNode& n = nodes_[i];
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
    switch (resolver->resolve(ref, subscriptValues(n, subscriptBase), out, ctx_)) {
    case Resolution::Found: return true;
    case Resolution::Absent: ctx_.absent_ = true; return false;
    default:
      if (ctx_.error_.empty()) ctx_.setErrorf("Variable '%s' could not be resolved", n.name.c_str());
      return false;
    }
  }

  // `@name op literal`: an integer variable is combined where it is stored, without a
  // copy; anything else takes the steps the two operands would have taken.
  bool varImmediate(const ExprStep& s) {
    if (!ctx_.checkMode_) {
      const ExprNode& n = nodes_[s.a];
      VariableRecord* rec = ctx_.variables_->find(n.name, n.memo);
      if (rec && rec->hasValue && rec->value.type() == LexemeType::Int &&
          integerFastPath(s.code, rec->value.asInt(), s.literal, slot(s.node)))
        return true;
    }
    slot(s.b).setInt(s.literal);
    if (!readPlain(s.a, slot(s.a)) && !resolve(s.a, 0, slot(s.a))) return false;
    return combine(*nodes_[s.node].op, slot(s.a), slot(s.b), slot(s.node));
  }

  // A script variable read straight from the store; false when it is not there with a
  // value (the resolver then looks further, or reports it).
  bool readPlain(int32_t i, Value& out) {
    if (ctx_.checkMode_) return false;
    const ExprNode& n = nodes_[i];
    VariableRecord* rec = ctx_.variables_->find(n.name, n.memo);
    if (!rec || !rec->hasValue) return false;
    // A copy rather than a view: a function later in the same expression may change or
    // free the record while the value is still an operand.
    storeValue(out, rec->value);
    return true;
  }

  bool readElement(int32_t i, int32_t subscriptBase, Value& out) {
    if (ctx_.checkMode_) return false;
    const ExprNode& n = nodes_[i];
    Subscripts key;
    for (int k = 0; k < n.subscripts; ++k) {
      int32_t v = ints_[static_cast<size_t>(subscriptBase + k)];
      if (v < 1) return false;  // the resolver reports it
      key.at[k] = v;
    }
    VariableRecord* rec = ctx_.variables_->findElement(n.name, key, &n.memo);
    if (!rec || !rec->hasValue) return false;
    storeValue(out, rec->value);
    return true;
  }

  std::string_view functionName(const ExprNode& n) const {
    return (n.op->kind & kScriptFunction) ? std::string_view(n.name) : n.op->name;
  }

  bool notVariable(int32_t function, int32_t position) {
    std::string_view fname = functionName(nodes_[function]);
    ctx_.setErrorf("The %s parameter to function '%.*s' must be a variable", position == 0 ? "first" : "second",
                   static_cast<int>(fname.size()), fname.data());
    return false;
  }

  void variableKey(int32_t i, int32_t subscriptBase, Value& out) {
    const ExprNode& a = nodes_[i];
    VarRef ref{a.name, a.modifier, a.slot, a.position};
    std::span<const int32_t> s = subscriptValues(a, subscriptBase);
    out.setOwned(ctx_.resolver_ ? ctx_.resolver_->variableKey(ref, s) : expVariableKey(a.name, s));
  }

  bool call(int32_t i, Value& out) {
    const ExprNode& n = nodes_[i];
    const OperatorDef& op = *n.op;
    bool script = op.kind & kScriptFunction;
    std::string_view fname = functionName(n);
    std::span<Value> argv(args_ + n.argBase, n.argc);
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

// Lays out the steps of an expression by walking its tree the way an evaluation visits
// it: an operator's right operand before its left one, arguments and subscripts from the
// last, a variable parameter as the computation of its key. The walk recurses as deep as
// the expression nests, which the compiler bounds.
class StepPlanner {
 public:
  explicit StepPlanner(ExprContext& ctx)
      : ctx_(ctx), nodes_(ctx.nodes_), orLeftStep_(nodes_.size(), -1), orStep_(nodes_.size(), -1) {}

  void plan() {
    steps_.clear();
    ints_ = 0;
    if (!nodes_.empty()) item(static_cast<int32_t>(nodes_.size()) - 1, kEnds);
    // Absent targets were noted as "OrLeft or Or of item x"; now they are step indexes.
    for (ExprStep& s : steps_) {
      if (s.onAbsent == kEnds) continue;
      int32_t x = s.onAbsent >> 1;
      s.onAbsent = (s.onAbsent & 1) ? orStep_[x] : orLeftStep_[x];
    }
    ctx_.steps_ = std::move(steps_);
    ctx_.intSlots_ = ints_;
    ctx_.resultSlot_ = static_cast<int32_t>(nodes_.size()) - 1;
    // The evaluation scratch, made once: its strings keep their capacity between runs.
    ctx_.slots_.resize(nodes_.size());
    ctx_.args_.resize(static_cast<size_t>(ctx_.argSlots_));
    ctx_.ints_.resize(static_cast<size_t>(ctx_.intSlots_));
  }

 private:
  static constexpr int32_t kEnds = -1;
  static int32_t rightOf(int32_t orItem) { return orItem * 2; }
  static int32_t leftOf(int32_t orItem) { return orItem * 2 + 1; }

  ExprContext& ctx_;
  const std::vector<ExprNode>& nodes_;
  std::vector<ExprStep> steps_;
  int32_t ints_ = 0;
  std::vector<int32_t> orLeftStep_, orStep_;

  int32_t before(int32_t i) const { return nodes_[i].first - 1; }

  // Operators the integer fast path knows (the others go the general way at once).
  static bool integerCode(OpCode code) {
    switch (code) {
    case OpCode::Add:
    case OpCode::Sub:
    case OpCode::Mul:
    case OpCode::Mod:
    case OpCode::Eq:
    case OpCode::Ne:
    case OpCode::Gt:
    case OpCode::Ge:
    case OpCode::Lt:
    case OpCode::Le: return true;
    default: return false;
    }
  }

  // A script variable of a name the store can hold is read from the store first.
  ExprStepKind varKind(const ExprNode& n) const {
    if (!ctx_.variables_ || n.name.size() < 2 || n.name[0] != '@' || n.name.size() > kMaxVariableName ||
        n.modifier != IndicatorModifier::None)
      return ExprStepKind::Var;
    if (!n.subscripts) return ExprStepKind::PlainVar;
    return n.subscripts <= kMaxSubscripts ? ExprStepKind::ElementVar : ExprStepKind::Var;
  }

  int32_t push(ExprStepKind kind, int32_t node, int32_t onAbsent, int32_t a = 0, int32_t b = 0) {
    steps_.push_back(ExprStep{kind, OpCode::None, node, a, b, onAbsent});
    return static_cast<int32_t>(steps_.size()) - 1;
  }

  void item(int32_t i, int32_t onAbsent) {
    const ExprNode& n = nodes_[i];
    switch (n.type) {
    case LexemeType::Int: steps_[push(ExprStepKind::Int, i, onAbsent)].literal = n.literal.asInt(); return;
    case LexemeType::Dbl:
      steps_[push(ExprStepKind::Dbl, i, onAbsent)].literal = std::bit_cast<int64_t>(n.literal.asDbl());
      return;
    case LexemeType::Str:
    case LexemeType::PStr:
    case LexemeType::EPStr: push(ExprStepKind::Str, i, onAbsent); return;
    case LexemeType::Var: push(varKind(n), i, onAbsent, subscripts(i, onAbsent)); return;
    case LexemeType::Op: break;
    default: push(ExprStepKind::Constant, i, onAbsent); return;
    }
    const OperatorDef& op = *n.op;
    if (op.kind & (kFunction | kScriptFunction)) return call(i, onAbsent);
    if (op.kind & kBinary) {
      int32_t r = i - 1, l = before(r);
      if (op.code != OpCode::Or) {
        // An integer literal on the right is taken from the step itself.
        if (nodes_[r].type == LexemeType::Int && integerCode(op.code)) {
          ExprStep step{ExprStepKind::BinaryImm, op.code, i, l, r, onAbsent, nodes_[r].literal.asInt()};
          if (varKind(nodes_[l]) == ExprStepKind::PlainVar && nodes_[l].first == l) step.kind = ExprStepKind::VarImm;
          else item(l, onAbsent);
          steps_.push_back(step);
          return;
        }
        item(r, onAbsent);
        item(l, onAbsent);
        steps_[push(ExprStepKind::Binary, i, onAbsent, l, r)].code = op.code;
        return;
      }
      int32_t state = ints_++;
      item(r, rightOf(i));
      orLeftStep_[i] = push(ExprStepKind::OrLeft, i, onAbsent, state);
      item(l, leftOf(i));
      orStep_[i] = push(ExprStepKind::Or, i, onAbsent, state, l);
      return;
    }
    item(i - 1, onAbsent);
    push(ExprStepKind::Unary, i, onAbsent);
  }

  // The subscripts of the VAR at i, last first; returns where their values are kept.
  int32_t subscripts(int32_t i, int32_t onAbsent) {
    const ExprNode& n = nodes_[i];
    int32_t base = ints_;
    ints_ += n.subscripts;
    int32_t at = i - 1;
    for (int k = n.subscripts - 1; k >= 0; --k) {
      item(at, onAbsent);
      push(ExprStepKind::Subscript, at, onAbsent, base + k);
      at = before(at);
    }
    return base;
  }

  void call(int32_t i, int32_t onAbsent) {
    const ExprNode& n = nodes_[i];
    const OperatorDef& op = *n.op;
    int32_t root = i - 1;
    for (int k = n.argc - 1; k >= 0; --k) {
      int32_t arg = n.argBase + k;
      if ((k == 0 && (op.variableParams & kFirstParamIsVariable)) ||
          (k == 1 && (op.variableParams & kSecondParamIsVariable))) {
        if (nodes_[root].type != LexemeType::Var) push(ExprStepKind::NotVariable, i, onAbsent, k);
        else push(ExprStepKind::VarKey, root, onAbsent, arg, subscripts(root, onAbsent));
      } else {
        item(root, onAbsent);
        push(ExprStepKind::Arg, root, onAbsent, arg);
      }
      root = before(root);
    }
    push(ExprStepKind::Call, i, onAbsent);
  }
};

void expPlanSteps(ExprContext& expr) { StepPlanner(expr).plan(); }

bool expEvaluate(ExprContext& expr, Value& result) { return ExprEvaluator::evaluate(expr, result, false); }

// The test evaluation made while compiling.
bool expCheckEvaluate(ExprContext& expr) {
  Value ignored;
  return ExprEvaluator::evaluate(expr, ignored, true);
}

}  // namespace kvarn::script
