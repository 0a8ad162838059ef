// A `while` loop compiled into one flat array of operations over untagged integer
// registers, for loops whose work is integer arithmetic, comparisons and stores.
//
// The loop's condition and each of its assignments and `if` conditions become register
// operations when every operand is an integer literal or an '@' variable and every
// operator one whose integer rule is plain (+ - * %, comparisons, AND). Variables are
// bound to their records when the program starts and again after anything else has run,
// so that a read is a pointer and a type test. Every other statement of the body (a
// string assignment, a command, a function call, a nested loop ...) is run by the
// executor as it always is, from inside the program.
//
// The program never decides anything the executor would decide differently. A read that
// finds no integer, a modulo by 0 or -1, a subscript below 1: the statement has stored
// nothing yet, and the executor runs it, and the rest of the pass, itself. Once anything
// the executor looks at between statements has changed (the echo, a hook, an error, a
// stop), the same happens at the next statement.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/signals.h"
#include "script/statement.h"
#include "script/variables.h"

namespace kvarn::script {

enum class LoopOpCode : uint8_t {
  PassStart,    // the checks before each pass (stop, leave, break)
  BodyStart,    // the condition held: a pass begins
  PassEnd,      // the end of the body: back to PassStart
  Exit,         // the condition failed: the loop has ended
  Const,        // r[d] = imm
  Load,         // r[d] = plain variable a
  LoadElement,  // r[d] = element of array a, subscripts s[b] ... (imm of them)
  Subscript,    // s[d] = r[a] as a subscript
  // r[d] = r[a] op r[b]; r[a] op imm; plain variable a op imm.
#define KVARN_LOOP_BINARY(name) name, name##Imm, name##Var,
  KVARN_LOOP_BINARY(Add) KVARN_LOOP_BINARY(Sub) KVARN_LOOP_BINARY(Mul) KVARN_LOOP_BINARY(Mod)
  KVARN_LOOP_BINARY(Eq) KVARN_LOOP_BINARY(Ne) KVARN_LOOP_BINARY(Lt) KVARN_LOOP_BINARY(Le)
  KVARN_LOOP_BINARY(Gt) KVARN_LOOP_BINARY(Ge) KVARN_LOOP_BINARY(And)
#undef KVARN_LOOP_BINARY
  Store,         // plain variable a = r[b]
  StoreElement,  // element of array a, subscripts s[d] ... (imm of them) = r[b]
  JumpIfZero,    // to target when r[a] is 0
  Jump,          // to target
  Statement,     // the executor runs the node
  Condition,     // the executor evaluates the node's condition: on to the next op or to target
};

struct LoopOp {
  LoopOpCode code = LoopOpCode::PassStart;
  uint16_t d = 0, a = 0, b = 0;
  int32_t target = 0;
  int64_t imm = 0;
  // The statement the operation is part of: where the executor takes over.
  CommandNode* node = nullptr;
};

class LoopProgram {
 public:
  // The program of `loop` (a While node), or null when its body holds a statement the
  // program cannot run around (goto, break, leave, return, a label ...).
  static std::unique_ptr<LoopProgram> compile(CommandNode& loop);

  // Binds every variable the operations name to its record or array as `vars` holds
  // them now (nothing to do while no record, array or scope came or went).
  void bind(Variables& vars);

  struct PlainSlot {
    std::string name;
    VariableMemo memo;
    VariableRecord* record = nullptr;
  };
  struct ArraySlot {
    std::string name;
    VariableMemo memo;
    ArrayStore* readFrom = nullptr;  // the array when one scope holds it
    ArrayStore* storeIn = nullptr;   // the innermost scope's array
  };

  CommandNode* loop = nullptr;
  std::vector<LoopOp> ops;
  // For a Statement or Condition op: the node the executor goes on with when it takes
  // over after running it (for a Condition, the one it goes to when the condition holds).
  std::vector<CommandNode*> after;
  std::vector<PlainSlot> plain;
  std::vector<ArraySlot> arrays;
  std::vector<int64_t> registers;
  std::vector<int32_t> subscripts;
  bool running = false;  // a call from inside the loop reached the same loop
  // Assignments compiled to operations (for tests).
  size_t compiledStatements = 0;

 private:
  uint64_t boundStamp_ = 0;
  const Variables* boundTo_ = nullptr;
};

// How a run of the program ended.
enum class LoopExit {
  Ended,   // the condition failed
  Resume,  // the executor takes over at `resumeAt`, in the middle of a pass
  Recheck, // the executor takes over at the loop's condition
  Stop,    // a statement the executor ran stopped the run
};

// What the executor does for the program. `Host` has:
//   bool passGo();                       the checks before a pass
//   void passBegins();                   a pass begins (counters)
//   bool statement(CommandNode*);        runs a node; false when the run stops
//   int condition(CommandNode*);         1, 0, or -1 when the run stops
//   bool staysFast();                    nothing changed that the executor must see
//   uint32_t& commandCounter();
namespace loop_detail {
[[gnu::always_inline]] inline bool intValue(const VariableRecord* rec, int64_t& out) {
  if (!rec || !rec->hasValue || rec->value.type() != LexemeType::Int) return false;
  out = rec->value.asInt();
  return true;
}
inline int64_t wrapAdd(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
inline int64_t wrapSub(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}
inline int64_t wrapMul(int64_t a, int64_t b) {
  return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}
inline bool subscriptKey(const int32_t* s, int64_t count, Subscripts& key) {
  for (int64_t i = 0; i < count; ++i) {
    if (s[i] < 1) return false;
    key.at[i] = s[i];
  }
  return true;
}
}  // namespace loop_detail

template <class Host>
LoopExit runLoopProgram(LoopProgram& p, Host& host, Variables& vars, CommandNode*& resumeAt) {
  using namespace loop_detail;
  using Op = LoopOpCode;
  int64_t* r = p.registers.data();
  int32_t* s = p.subscripts.data();
  const LoopOp* ops = p.ops.data();
  LoopProgram::PlainSlot* plain = p.plain.data();
  LoopProgram::ArraySlot* arrays = p.arrays.data();
  p.bind(vars);
  int32_t pc = 0;
  // The executor takes over at the statement of the operation that could not go on.
  auto takeOver = [&](const LoopOp& op) {
    resumeAt = op.node;
    return op.node == p.loop ? LoopExit::Recheck : LoopExit::Resume;
  };
  // After a node the executor ran: the variables are bound again (it may have made,
  // removed or moved any), and the executor goes on itself when anything changed.
  auto settle = [&](CommandNode* next) {
    p.bind(vars);
    if (host.staysFast()) return true;
    resumeAt = next;
    return false;
  };
  for (;;) {
    const LoopOp& op = ops[pc];
    switch (op.code) {
    case Op::PassStart:
      if (!host.passGo()) return LoopExit::Recheck;
      break;
    case Op::BodyStart: host.passBegins(); break;
    case Op::PassEnd: pc = 0; continue;
    case Op::Exit: return LoopExit::Ended;
    case Op::Const: r[op.d] = op.imm; break;
    case Op::Load:
      if (!intValue(plain[op.a].record, r[op.d])) return takeOver(op);
      break;
    case Op::LoadElement: {
      Subscripts key;
      ArrayStore* store = arrays[op.a].readFrom;
      if (!store || !subscriptKey(s + op.b, op.imm, key) || !intValue(store->find(key), r[op.d])) return takeOver(op);
      break;
    }
    case Op::Subscript: s[op.d] = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(r[op.a]))); break;
#define KVARN_LOOP_CASES(name, expr)                                       \
  case Op::name: {                                                         \
    int64_t x = r[op.a], y = r[op.b];                                      \
    r[op.d] = (expr);                                                      \
    break;                                                                 \
  }                                                                        \
  case Op::name##Imm: {                                                    \
    int64_t x = r[op.a], y = op.imm;                                       \
    r[op.d] = (expr);                                                      \
    break;                                                                 \
  }                                                                        \
  case Op::name##Var: {                                                    \
    int64_t x, y = op.imm;                                                 \
    if (!intValue(plain[op.a].record, x)) return takeOver(op);             \
    r[op.d] = (expr);                                                      \
    break;                                                                 \
  }
      KVARN_LOOP_CASES(Add, wrapAdd(x, y))
      KVARN_LOOP_CASES(Sub, wrapSub(x, y))
      KVARN_LOOP_CASES(Mul, wrapMul(x, y))
      KVARN_LOOP_CASES(Eq, x == y)
      KVARN_LOOP_CASES(Ne, x != y)
      KVARN_LOOP_CASES(Lt, x < y)
      KVARN_LOOP_CASES(Le, x <= y)
      KVARN_LOOP_CASES(Gt, x > y)
      KVARN_LOOP_CASES(Ge, x >= y)
      KVARN_LOOP_CASES(And, x != 0 && y != 0)
#undef KVARN_LOOP_CASES
    // Modulo by 0 or -1 follows the general rule (an error, or a defined result).
#define KVARN_LOOP_MOD(name, left, right)             \
  case Op::name: {                                    \
    int64_t x, y = (right);                           \
    if (y == 0 || y == -1) return takeOver(op);       \
    if (!(left)) return takeOver(op);                 \
    r[op.d] = x % y;                                  \
    break;                                            \
  }
      KVARN_LOOP_MOD(Mod, (x = r[op.a], true), r[op.b])
      KVARN_LOOP_MOD(ModImm, (x = r[op.a], true), op.imm)
      KVARN_LOOP_MOD(ModVar, intValue(plain[op.a].record, x), op.imm)
#undef KVARN_LOOP_MOD
    case Op::Store: {
      VariableRecord* rec = plain[op.a].record;
      ++host.commandCounter();
      if (rec) {
        rec->value.setInt(r[op.b]);
        rec->hasValue = true;
        break;
      }
      // Not held anywhere yet: made where an assignment makes it, and everything bound again.
      Value v;
      v.setInt(r[op.b]);
      vars.assignPlain(plain[op.a].name, v, plain[op.a].memo);
      p.bind(vars);
      break;
    }
    case Op::StoreElement: {
      Subscripts key;
      if (!subscriptKey(s + op.d, op.imm, key)) return takeOver(op);
      ++host.commandCounter();
      LoopProgram::ArraySlot& slot = arrays[op.a];
      if (ArrayStore* store = slot.storeIn) {
        VariableRecord& rec = store->obtain(key);
        rec.value.setInt(r[op.b]);
        rec.hasValue = true;
        break;
      }
      Value v;
      v.setInt(r[op.b]);
      vars.setElement(slot.name, key, v, &slot.memo);
      p.bind(vars);
      break;
    }
    case Op::JumpIfZero:
      if (r[op.a] == 0) {
        pc = op.target;
        continue;
      }
      break;
    case Op::Jump: pc = op.target; continue;
    case Op::Statement:
      if (!host.statement(op.node)) return LoopExit::Stop;
      if (!settle(p.after[static_cast<size_t>(pc)])) return LoopExit::Resume;
      break;
    case Op::Condition: {
      int holds = host.condition(op.node);
      if (holds < 0) return LoopExit::Stop;
      if (op.node == p.loop) {
        if (!holds) return LoopExit::Ended;
        host.passBegins();
        if (!settle(p.after[static_cast<size_t>(pc)])) return LoopExit::Resume;
        pc += 2;  // past the BodyStart
        continue;
      }
      CommandNode* other = op.node->link;
      CommandNode* next = holds ? p.after[static_cast<size_t>(pc)]
                                : (other && other->type == CommandType::Else ? other->next : other);
      if (!settle(next)) return LoopExit::Resume;
      if (!holds) {
        pc = op.target;
        continue;
      }
      break;
    }
    }
    ++pc;
  }
}

}  // namespace kvarn::script
