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

// The operations, in one list: the enum and the runner's dispatch table are both made
// from it. The binary ones come in three forms: r[d] = r[a] op r[b]; r[a] op imm; and
// plain variable a op imm.
#define KVARN_LOOP_BINARY_OPS(X, name) X(name) X(name##Imm) X(name##Var)
#define KVARN_LOOP_OPS(X)                                                                            \
  X(PassStart)   /* the checks before each pass (stop, leave, break) */                             \
  X(BodyStart)   /* the condition held: a pass begins */                                             \
  X(PassEnd)     /* the end of the body: back to PassStart */                                        \
  X(Exit)        /* the condition failed: the loop has ended */                                      \
  X(Const)       /* r[d] = imm */                                                                    \
  X(Load)        /* r[d] = plain variable a */                                                       \
  X(LoadElement) /* r[d] = element of array a, subscripts s[b] ... (imm of them) */                  \
  X(Subscript)   /* s[d] = r[a] as a subscript */                                                    \
  KVARN_LOOP_BINARY_OPS(X, Add) KVARN_LOOP_BINARY_OPS(X, Sub) KVARN_LOOP_BINARY_OPS(X, Mul)           \
  KVARN_LOOP_BINARY_OPS(X, Mod) KVARN_LOOP_BINARY_OPS(X, Eq) KVARN_LOOP_BINARY_OPS(X, Ne)             \
  KVARN_LOOP_BINARY_OPS(X, Lt) KVARN_LOOP_BINARY_OPS(X, Le) KVARN_LOOP_BINARY_OPS(X, Gt)              \
  KVARN_LOOP_BINARY_OPS(X, Ge) KVARN_LOOP_BINARY_OPS(X, And)                                          \
  X(Store)        /* plain variable a = r[b] */                                                      \
  X(StoreElement) /* element of array a, subscripts s[d] ... (imm of them) = r[b] */                 \
  X(JumpIfZero)   /* to target when r[a] is 0 */                                                     \
  X(Jump)         /* to target */                                                                    \
  X(Statement)    /* the executor runs the node */                                                   \
  X(Condition)    /* the executor evaluates the node's condition: on, or to target */

enum class LoopOpCode : uint8_t {
#define KVARN_LOOP_ENUM(name) name,
  KVARN_LOOP_OPS(KVARN_LOOP_ENUM)
#undef KVARN_LOOP_ENUM
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
  // program cannot run around (goto, leave, return, a label ...).
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

// The operations are dispatched through a table of label addresses, each jumping
// straight to the next: no bounds test, and a branch of its own for each operation.
template <class Host>
LoopExit runLoopProgram(LoopProgram& p, Host& host, Variables& vars, CommandNode*& resumeAt) {
  using namespace loop_detail;
  static void* const kDispatch[] = {
#define KVARN_LOOP_LABEL(name) &&op_##name,
      KVARN_LOOP_OPS(KVARN_LOOP_LABEL)
#undef KVARN_LOOP_LABEL
  };
  int64_t* r = p.registers.data();
  int32_t* s = p.subscripts.data();
  const LoopOp* ops = p.ops.data();
  LoopProgram::PlainSlot* plain = p.plain.data();
  LoopProgram::ArraySlot* arrays = p.arrays.data();
  p.bind(vars);
  int32_t pc = 0;
  const LoopOp* op = ops;
#define KVARN_GO(to)                                      \
  do {                                                    \
    pc = (to);                                            \
    op = ops + pc;                                        \
    goto* kDispatch[static_cast<size_t>(op->code)];       \
  } while (0)
#define KVARN_NEXT() KVARN_GO(pc + 1)
  // The executor takes over at the statement of the operation that could not go on.
#define KVARN_TAKE_OVER()                                                   \
  do {                                                                      \
    resumeAt = op->node;                                                    \
    return op->node == p.loop ? LoopExit::Recheck : LoopExit::Resume;       \
  } while (0)
  // After a node the executor ran: the variables are bound again (it may have made,
  // removed or moved any), and the executor goes on itself when anything changed.
  auto settle = [&](CommandNode* next) {
    p.bind(vars);
    if (host.staysFast()) return true;
    resumeAt = next;
    return false;
  };
  // A variable or array not held anywhere yet is made where an assignment makes it, and
  // everything is bound again.
  auto storeMade = [&](LoopProgram::PlainSlot& slot, int64_t value) {
    Value v;
    v.setInt(value);
    vars.assignPlain(slot.name, v, slot.memo);
    p.bind(vars);
  };
  auto elementMade = [&](LoopProgram::ArraySlot& slot, const Subscripts& key, int64_t value) {
    Value v;
    v.setInt(value);
    vars.setElement(slot.name, key, v, &slot.memo);
    p.bind(vars);
  };
  KVARN_GO(0);

op_PassStart:
  if (!host.passGo()) return LoopExit::Recheck;
  KVARN_NEXT();
op_BodyStart:
  host.passBegins();
  KVARN_NEXT();
op_PassEnd:
  KVARN_GO(0);
op_Exit:
  return LoopExit::Ended;
op_Const:
  r[op->d] = op->imm;
  KVARN_NEXT();
op_Load:
  if (!intValue(plain[op->a].record, r[op->d])) KVARN_TAKE_OVER();
  KVARN_NEXT();
op_LoadElement: {
  Subscripts key;
  ArrayStore* store = arrays[op->a].readFrom;
  if (!store || !subscriptKey(s + op->b, op->imm, key) || !intValue(store->find(key), r[op->d])) KVARN_TAKE_OVER();
  KVARN_NEXT();
}
op_Subscript:
  s[op->d] = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(r[op->a])));
  KVARN_NEXT();
#define KVARN_LOOP_FORMS(name, expr)                         \
  op_##name : {                                              \
    int64_t x = r[op->a], y = r[op->b];                      \
    r[op->d] = (expr);                                       \
    KVARN_NEXT();                                            \
  }                                                          \
  op_##name##Imm : {                                         \
    int64_t x = r[op->a], y = op->imm;                       \
    r[op->d] = (expr);                                       \
    KVARN_NEXT();                                            \
  }                                                          \
  op_##name##Var : {                                         \
    int64_t x, y = op->imm;                                  \
    if (!intValue(plain[op->a].record, x)) KVARN_TAKE_OVER(); \
    r[op->d] = (expr);                                       \
    KVARN_NEXT();                                            \
  }
  KVARN_LOOP_FORMS(Add, wrapAdd(x, y))
  KVARN_LOOP_FORMS(Sub, wrapSub(x, y))
  KVARN_LOOP_FORMS(Mul, wrapMul(x, y))
  KVARN_LOOP_FORMS(Eq, x == y)
  KVARN_LOOP_FORMS(Ne, x != y)
  KVARN_LOOP_FORMS(Lt, x < y)
  KVARN_LOOP_FORMS(Le, x <= y)
  KVARN_LOOP_FORMS(Gt, x > y)
  KVARN_LOOP_FORMS(Ge, x >= y)
  KVARN_LOOP_FORMS(And, x != 0 && y != 0)
#undef KVARN_LOOP_FORMS
  // Modulo by 0 or -1 follows the general rule (an error, or a defined result).
#define KVARN_LOOP_MOD(name, left, right)             \
  op_##name : {                                       \
    int64_t x, y = (right);                           \
    if (y == 0 || y == -1 || !(left)) KVARN_TAKE_OVER(); \
    r[op->d] = x % y;                                 \
    KVARN_NEXT();                                     \
  }
  KVARN_LOOP_MOD(Mod, (x = r[op->a], true), r[op->b])
  KVARN_LOOP_MOD(ModImm, (x = r[op->a], true), op->imm)
  KVARN_LOOP_MOD(ModVar, intValue(plain[op->a].record, x), op->imm)
#undef KVARN_LOOP_MOD
op_Store: {
  VariableRecord* rec = plain[op->a].record;
  ++host.commandCounter();
  if (rec) {
    rec->value.setInt(r[op->b]);
    rec->hasValue = true;
    KVARN_NEXT();
  }
  storeMade(plain[op->a], r[op->b]);
  KVARN_NEXT();
}
op_StoreElement: {
  Subscripts key;
  if (!subscriptKey(s + op->d, op->imm, key)) KVARN_TAKE_OVER();
  ++host.commandCounter();
  LoopProgram::ArraySlot& slot = arrays[op->a];
  if (ArrayStore* store = slot.storeIn) {
    VariableRecord& rec = store->obtain(key);
    rec.value.setInt(r[op->b]);
    rec.hasValue = true;
    KVARN_NEXT();
  }
  elementMade(slot, key, r[op->b]);
  KVARN_NEXT();
}
op_JumpIfZero:
  if (r[op->a] == 0) KVARN_GO(op->target);
  KVARN_NEXT();
op_Jump:
  KVARN_GO(op->target);
op_Statement:
  if (!host.statement(op->node)) return LoopExit::Stop;
  if (!settle(p.after[static_cast<size_t>(pc)])) return LoopExit::Resume;
  KVARN_NEXT();
op_Condition: {
  int holds = host.condition(op->node);
  if (holds < 0) return LoopExit::Stop;
  if (op->node == p.loop) {
    if (!holds) return LoopExit::Ended;
    host.passBegins();
    if (!settle(p.after[static_cast<size_t>(pc)])) return LoopExit::Resume;
    KVARN_GO(pc + 2);  // past the BodyStart
  }
  CommandNode* other = op->node->link;
  CommandNode* next = holds ? p.after[static_cast<size_t>(pc)]
                            : (other && other->type == CommandType::Else ? other->next : other);
  if (!settle(next)) return LoopExit::Resume;
  if (!holds) KVARN_GO(op->target);
  KVARN_NEXT();
}
#undef KVARN_GO
#undef KVARN_NEXT
#undef KVARN_TAKE_OVER
}

}  // namespace kvarn::script
