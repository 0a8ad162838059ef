#include "script/loop_program.h"

#include <algorithm>

#include "script/expr.h"

namespace kvarn::script {

namespace {

using Op = LoopOpCode;
using CT = CommandType;

// The three forms of each binary operation, by operator; None when the operator's
// integer rule is not a plain one.
struct BinaryForms {
  OpCode code;
  Op regs, imm, var;
};
constexpr BinaryForms kBinaryForms[] = {
    {OpCode::Add, Op::Add, Op::AddImm, Op::AddVar}, {OpCode::Sub, Op::Sub, Op::SubImm, Op::SubVar},
    {OpCode::Mul, Op::Mul, Op::MulImm, Op::MulVar}, {OpCode::Mod, Op::Mod, Op::ModImm, Op::ModVar},
    {OpCode::Eq, Op::Eq, Op::EqImm, Op::EqVar},     {OpCode::Ne, Op::Ne, Op::NeImm, Op::NeVar},
    {OpCode::Lt, Op::Lt, Op::LtImm, Op::LtVar},     {OpCode::Le, Op::Le, Op::LeImm, Op::LeVar},
    {OpCode::Gt, Op::Gt, Op::GtImm, Op::GtVar},     {OpCode::Ge, Op::Ge, Op::GeImm, Op::GeVar},
    {OpCode::And, Op::And, Op::AndImm, Op::AndVar},
};
const BinaryForms* binaryForms(OpCode code) {
  for (const BinaryForms& f : kBinaryForms)
    if (f.code == code) return &f;
  return nullptr;
}

// Statements the program runs around: everything else (a jump, a label, a block of
// another kind, an error) leaves the loop to the executor alone.
bool runByExecutor(CT type) {
  switch (type) {
  case CT::Assign:
  case CT::Eval:
  case CT::Command:
  case CT::While:
  case CT::Foreach:
  case CT::Foritem:
  case CT::Call:
  case CT::Exec:
  case CT::Var:
  case CT::BlankLine: return true;
  default: return false;
  }
}

class LoopCompiler {
 public:
  explicit LoopCompiler(LoopProgram& p) : p_(p) {}

  // 1. The loop's condition, 2. its body, statement by statement, 3. the jumps made
  // to nodes resolved to operations.
  bool compile(CommandNode& loop) {
    p_.loop = &loop;
    CommandNode* end = loop.link;
    if (!end || end->type != CT::EndWhile) return false;
    end_ = end;
    emit(Op::PassStart, &loop);
    if (!condition(loop, kExit)) return false;
    emit(Op::BodyStart, &loop);
    for (CommandNode* n = loop.next; n != end;) {
      if (!n || n->has(kNodeInvalid)) return false;
      if (!statement(n)) return false;
    }
    at_.emplace_back(end, static_cast<int32_t>(p_.ops.size()));
    emit(Op::PassEnd, end);
    int32_t exitAt = emit(Op::Exit, end);
    for (const auto& jump : jumps_) {
      int32_t& target = p_.ops[static_cast<size_t>(jump.first)].target;
      if (jump.second == kExit) {
        target = exitAt;
        continue;
      }
      auto it = std::find_if(at_.begin(), at_.end(), [&](const auto& e) { return e.first == jump.second; });
      if (it == at_.end()) return false;
      target = it->second;
    }
    p_.after.resize(p_.ops.size(), nullptr);
    for (auto& [op, node] : after_) p_.after[static_cast<size_t>(op)] = node;
    p_.registers.assign(static_cast<size_t>(registers_), 0);
    p_.subscripts.assign(static_cast<size_t>(subscripts_) + 1, 0);
    return true;
  }

 private:
  static constexpr CommandNode* kExit = nullptr;

  int32_t emit(Op code, CommandNode* node, uint16_t d = 0, uint16_t a = 0, uint16_t b = 0, int64_t imm = 0) {
    p_.ops.push_back(LoopOp{code, d, a, b, 0, imm, node});
    return static_cast<int32_t>(p_.ops.size()) - 1;
  }
  void jumpTo(int32_t op, CommandNode* node) { jumps_.emplace_back(op, node); }
  void label(CommandNode* node) { at_.emplace_back(node, static_cast<int32_t>(p_.ops.size())); }

  // Where the statement at `n` leaves the walk.
  bool statement(CommandNode*& n) {
    label(n);
    switch (n->type) {
    case CT::If: {
      CommandNode* other = n->link;
      if (!other || (other->type != CT::Else && other->type != CT::EndIf)) return false;
      CommandNode* whenFalse = other->type == CT::Else ? other->next : other;
      if (!condition(*n, whenFalse)) return false;
      n = n->next;
      return true;
    }
    case CT::Else:
      if (!n->link || n->link->type != CT::EndIf) return false;
      jumpTo(emit(Op::Jump, n), n->link);
      n = n->next;
      return true;
    case CT::EndIf: n = n->next; return true;
    // In the loop's own body (not in a loop inside it) these end the loop or the pass.
    case CT::Break:
      jumpTo(emit(Op::Jump, n), kExit);
      n = n->next;
      return true;
    case CT::Continue:
      jumpTo(emit(Op::Jump, n), end_);
      n = n->next;
      return true;
    // Nodes that only mark where the source's lines and comments were.
    case CT::SourceLine:
    case CT::MultiLine:
    case CT::Comment:
    case CT::DynamicStart:
    case CT::DynamicEnd:
      n->flags |= kNodeShown;
      n = n->next;
      return true;
    case CT::Assign:
      if (assignment(*n)) {
        n = n->next;
        return true;
      }
      break;
    default: break;
    }
    if (!runByExecutor(n->type)) return false;
    CommandNode* next = n->next;
    if (n->type == CT::While || n->type == CT::Foreach || n->type == CT::Foritem) {
      if (!n->link) return false;
      next = n->link->next;
    }
    after_.emplace_back(emit(Op::Statement, n), next);
    n = next;
    return true;
  }

  // A condition of the loop or of an `if`: on to the next operation when it holds, to
  // `whenFalse` (kExit: the loop's end) when it does not.
  bool condition(CommandNode& n, CommandNode* whenFalse) {
    int32_t result = 0;
    size_t mark = p_.ops.size();
    if (n.expr && expression(*n.expr, n, result)) {
      jumpTo(emit(Op::JumpIfZero, &n, 0, static_cast<uint16_t>(result)), whenFalse);
      return true;
    }
    p_.ops.resize(mark);
    int32_t op = emit(Op::Condition, &n);
    after_.emplace_back(op, n.next);
    jumpTo(op, whenFalse);
    return true;
  }

  // `@name = value` or `@name[subscripts] = value` of integer expressions.
  bool assignment(CommandNode& n) {
    if (n.names.empty() || !n.expr) return false;
    const std::string& name = n.names[0];
    if (name.size() < 2 || name[0] != '@' || name.size() > kMaxVariableName) return false;
    if (n.args.size() > static_cast<size_t>(kMaxSubscripts)) return false;
    size_t mark = p_.ops.size();
    int32_t base = subscripts_;
    subscripts_ += static_cast<int32_t>(n.args.size());
    bool ok = true;
    for (size_t i = 0; ok && i < n.args.size(); ++i) {
      int32_t value = 0;
      ok = n.args[i] && expression(*n.args[i], n, value);
      if (ok) emit(Op::Subscript, &n, static_cast<uint16_t>(base + static_cast<int32_t>(i)), static_cast<uint16_t>(value));
    }
    int32_t value = 0;
    ok = ok && expression(*n.expr, n, value);
    if (!ok) {
      p_.ops.resize(mark);
      return false;
    }
    if (n.args.empty())
      emit(Op::Store, &n, 0, plainSlot(name), static_cast<uint16_t>(value));
    else
      emit(Op::StoreElement, &n, static_cast<uint16_t>(base), arraySlot(name), static_cast<uint16_t>(value),
           static_cast<int64_t>(n.args.size()));
    return true;
  }

  // The steps of a compiled expression as register operations; `result` is the register
  // its value ends in. False when a step has no integer form here.
  bool expression(const ExprContext& e, CommandNode& n, int32_t& result) {
    const std::vector<ExprNode>& items = e.postfix();
    int32_t regs = registers_, subs = subscripts_;
    if (regs + static_cast<int64_t>(items.size()) > 0xFFFF || subs + e.intSlots() > 0xFFFF) return false;
    auto reg = [&](int32_t item) { return static_cast<uint16_t>(regs + item); };
    for (const ExprStep& s : e.steps()) {
      switch (s.kind) {
      case ExprStepKind::Int: emit(Op::Const, &n, reg(s.node), 0, 0, s.literal); break;
      case ExprStepKind::Constant: {
        const Value& v = items[static_cast<size_t>(s.node)].literal;
        if (v.type() != LexemeType::Int) return false;
        emit(Op::Const, &n, reg(s.node), 0, 0, v.asInt());
        break;
      }
      case ExprStepKind::PlainVar:
        emit(Op::Load, &n, reg(s.node), plainSlot(items[static_cast<size_t>(s.node)].name));
        break;
      case ExprStepKind::ElementVar: {
        const ExprNode& v = items[static_cast<size_t>(s.node)];
        emit(Op::LoadElement, &n, reg(s.node), arraySlot(v.name), static_cast<uint16_t>(subs + s.a), v.subscripts);
        break;
      }
      case ExprStepKind::Subscript: emit(Op::Subscript, &n, static_cast<uint16_t>(subs + s.a), reg(s.node)); break;
      case ExprStepKind::Binary:
      case ExprStepKind::BinaryImm:
      case ExprStepKind::VarImm: {
        const BinaryForms* forms = binaryForms(s.code);
        if (!forms) return false;
        if (s.kind == ExprStepKind::Binary)
          emit(forms->regs, &n, reg(s.node), reg(s.a), reg(s.b));
        else if (s.kind == ExprStepKind::BinaryImm)
          emit(forms->imm, &n, reg(s.node), reg(s.a), 0, s.literal);
        else
          emit(forms->var, &n, reg(s.node), plainSlot(items[static_cast<size_t>(s.a)].name), 0, s.literal);
        break;
      }
      default: return false;
      }
    }
    registers_ += static_cast<int32_t>(items.size());
    subscripts_ += e.intSlots();
    result = regs + e.resultSlot();
    return !items.empty();
  }

  uint16_t plainSlot(const std::string& name) {
    for (size_t i = 0; i < p_.plain.size(); ++i)
      if (p_.plain[i].name == name) return static_cast<uint16_t>(i);
    p_.plain.push_back(LoopProgram::PlainSlot{name, {}, nullptr});
    return static_cast<uint16_t>(p_.plain.size() - 1);
  }
  uint16_t arraySlot(const std::string& name) {
    for (size_t i = 0; i < p_.arrays.size(); ++i)
      if (p_.arrays[i].name == name) return static_cast<uint16_t>(i);
    p_.arrays.push_back(LoopProgram::ArraySlot{name, {}, nullptr, nullptr});
    return static_cast<uint16_t>(p_.arrays.size() - 1);
  }

  LoopProgram& p_;
  CommandNode* end_ = nullptr;  // the loop's endwhile
  int32_t registers_ = 0;
  int32_t subscripts_ = 0;
  std::vector<std::pair<CommandNode*, int32_t>> at_;      // the first operation of each node
  std::vector<std::pair<int32_t, CommandNode*>> jumps_;   // jumps to a node (null: the exit)
  std::vector<std::pair<int32_t, CommandNode*>> after_;   // where the executor goes on
};

}  // namespace

std::unique_ptr<LoopProgram> LoopProgram::compile(CommandNode& loop) {
  auto p = std::make_unique<LoopProgram>();
  if (!LoopCompiler(*p).compile(loop)) return nullptr;
  if (p->plain.size() > 0xFFFF || p->arrays.size() > 0xFFFF) return nullptr;
  return p;
}

void LoopProgram::bind(Variables& vars) {
  // Records and arrays stay where they are until the stamp changes.
  uint64_t now = variablesStamp();
  if (now == boundStamp_ && &vars == boundTo_) return;
  boundStamp_ = now;
  boundTo_ = &vars;
  for (PlainSlot& s : plain) s.record = vars.find(s.name, s.memo);
  for (ArraySlot& s : arrays) {
    s.readFrom = vars.soleArray(s.name, s.memo);
    s.storeIn = vars.findArray(s.name);
  }
}

}  // namespace kvarn::script
