// A compiled expression and the hooks it is compiled and evaluated with: the name
// resolver (script variables, response attributes), the script-function host and the
// vocabulary hooks (CONST. names, indicator attributes, system variable names).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "script/exp_operators.h"
#include "script/lexeme.h"
#include "script/variables.h"

namespace kvarn::script {

// Option flags, bit values as callers pass them.
enum ExprFlags : unsigned {
  kCopyStrings = 1,    // quoted strings become owned EPSTR instead of STR
  kCaseSensitive = 2,  // string comparisons respect case
  kAllowAt = 4,        // names may carry a leading '@'
  kUseCache = 8,       // look up / store in the compiled-expression cache
  kNoCheck = 16,       // skip the test evaluation
  kSortKey = 32,       // the expression is a =SORT key (for the resolver's messages)
};

enum class IndicatorModifier : uint8_t { None, Short, Long };

class ExprContext;

// A name reference as the resolver sees it.
struct VarRef {
  std::string_view name;  // as written, '@' included, suffix removed
  IndicatorModifier modifier = IndicatorModifier::None;
  int32_t slot = -1;             // whatever bind() stored
  uint32_t position = 0;         // offset in the expression text
  VariableMemo* memo = nullptr;  // kept with the reference between evaluations (null: none)
};

// Compile-time view of a name. The resolver may give it a slot for fast lookups, or
// turn it into a constant (e.g. the value keyword QLOCAL beside TYPE).
struct NameBinding {
  VarRef ref;
  int subscripts = 0;
  std::string_view partner;         // the name on the other side of a binary operator, if any
  const OperatorDef* op = nullptr;  // that operator
  std::optional<Value> constant;    // set to replace the reference by a value
};

enum class Resolution {
  Found,
  Failed,  // error message set in the context
  Absent,  // the value does not exist (e.g. an attribute missing from a response)
};

class NameResolver {
 public:
  virtual ~NameResolver() = default;
  // Called once per name after parsing, before the test evaluation. Return false after
  // ctx.setError() to refuse the name.
  virtual bool bind(NameBinding& binding, ExprContext& ctx) { return true; }
  // Called on every evaluation (and in check mode for names not beginning with '@').
  // `out` may view bytes that stay valid until the next evaluation.
  virtual Resolution resolve(const VarRef& ref, std::span<const int32_t> subscripts, Value& out, ExprContext& ctx) = 0;
  // The key under which a variable is stored, passed to the variable-parameter
  // functions. The default is the variable store's key layout.
  virtual std::string variableKey(const VarRef& ref, std::span<const int32_t> subscripts);
};

// The variable key: the name; for an element '%', the subscript count, 0xDD filler to a
// multiple of 4 bytes and the subscripts as native 32-bit integers.
std::string expVariableKey(std::string_view name, std::span<const int32_t> subscripts);

// Functions defined by the script with `func`.
class ScriptFunctionHost {
 public:
  virtual ~ScriptFunctionHost() = default;
  virtual int32_t find(std::string_view name) const = 0;  // id, or -1
  virtual std::string_view name(int32_t id) const = 0;
  virtual bool call(int32_t id, std::span<Value> args, Value& result, ExprContext& ctx) = 0;
};

// Names the expression lexer needs from the MQSC vocabulary and the variable module.
struct ExprVocabulary {
  // IBM MQ constant names (any case) to values; the script constants SYNC, ASYNC and
  // KEY_ESC are tried first by the lexer itself.
  std::function<std::optional<int64_t>(std::string_view)> constant;
  // Attributes carrying a short- and a long-term value (QTIME, NETTIME ...).
  std::function<bool(std::string_view)> isIndicator;
  // Names of the system variables ("_time" ...), matched exactly.
  std::function<bool(std::string_view)> isSystemVariable;
};

// The process-wide vocabulary used when ExprOptions names none. The defaults know no
// MQ constants, the standard indicator attributes and the standard system variables.
void expSetVocabulary(ExprVocabulary vocabulary);
const ExprVocabulary& expVocabulary();
bool expDefaultIsIndicator(std::string_view name);
bool expDefaultIsSystemVariable(std::string_view name);

struct ExprOptions {
  const OperatorTable* table = nullptr;  // null: OperatorTable::scriptOperators()
  NameResolver* resolver = nullptr;      // null: every name is an error at evaluation
  ScriptFunctionHost* functions = nullptr;
  const ExprVocabulary* vocabulary = nullptr;  // null: expVocabulary()
  unsigned flags = 0;
  int positionOffset = 0;   // added to every reported position
  void* program = nullptr;  // the ProgramContext, handed through to resolvers and functions
  // The script variables, when the resolver is the script's: '@' references are read
  // from them directly, and only what they cannot answer goes to the resolver.
  Variables* variables = nullptr;
};

// One postfix item.
struct ExprNode {
  LexemeType type = LexemeType::NotSet;  // INT, DBL, STR, EPSTR, VAR or OP (or a bound constant)
  uint32_t position = 0;                 // offset in the expression text
  uint8_t subscripts = 0;                // VAR
  uint8_t argc = 0;                      // function OP
  IndicatorModifier modifier = IndicatorModifier::None;
  int32_t first = 0;    // index of the first node of this item's subtree
  int32_t slot = -1;    // VAR: resolver slot; script function: its id
  int32_t argBase = 0;  // function: where its arguments sit in the argument buffer
  const OperatorDef* op = nullptr;
  Value literal;              // operand value (STR views the context's own copy of the text)
  std::string name;           // VAR name; function name for script functions
  mutable VariableMemo memo;  // VAR: where the resolver last found the variable
};

// One step of an evaluation. The compiler lays the steps out in the order operands are
// evaluated (right operand before left, last argument and subscript first), so the
// evaluator runs them in a plain loop. Each step names the postfix item it works on.
enum class ExprStepKind : uint8_t {
  Int,          // literal into the item's slot
  Dbl,
  Str,
  Constant,     // a value bound by the resolver
  Var,          // look the name up; its subscripts are in the integer scratch from `a`
  PlainVar,     // Var of an '@' name without subscripts, read from the variables first
  ElementVar,   // Var of an '@' element, read from the variables first
  Unary,        // operand in the slot before
  Binary,       // operands in slots `a` (left) and `b` (right)
  BinaryImm,    // Binary whose right operand (item `b`) is the integer `literal`
  VarImm,       // BinaryImm whose left operand (item `a`) is an '@' name without subscripts
  OrLeft,       // between the operands of OR: notes the right operand's outcome in int `a`
  Or,           // OR, absorbing an absent operand; operands in slots `b` (left), item - 1 (right)
  Call,         // function, arguments already in the argument buffer
  Subscript,    // slot of `node` as an integer into int `a`
  Arg,          // slot of `node` moved into argument `a`
  VarKey,       // key of the VAR `node` (subscripts from int `b`) into argument `a`
  NotVariable,  // a variable parameter given something else: argument `a` of function `node`
};

struct ExprStep {
  ExprStepKind kind = ExprStepKind::Int;
  OpCode code = OpCode::None;  // Binary: the operator's code
  int32_t node = 0;
  int32_t a = 0;
  int32_t b = 0;
  // Where an absent value met by this step takes the evaluation: -1 ends it, otherwise
  // the OrLeft or Or step of the innermost OR whose operand the step is part of. Any
  // other failure ends the evaluation.
  int32_t onAbsent = -1;
  // Int, BinaryImm, VarImm: the integer; Dbl: its bits.
  int64_t literal = 0;
};

class ExprContext {
 public:
  ExprContext() = default;
  ExprContext(const ExprContext&) = delete;
  ExprContext& operator=(const ExprContext&) = delete;

  const std::string& text() const { return text_; }
  unsigned flags() const { return flags_; }
  bool caseSensitive() const { return flags_ & kCaseSensitive; }
  int positionOffset() const { return positionOffset_; }
  void* program() const { return program_; }
  const OperatorTable& table() const { return *table_; }
  NameResolver* resolver() const { return resolver_; }
  ScriptFunctionHost* functions() const { return functions_; }
  const std::vector<ExprNode>& postfix() const { return nodes_; }
  // The evaluation steps, the integer scratch they use and the item holding the result.
  const std::vector<ExprStep>& steps() const { return steps_; }
  int32_t intSlots() const { return intSlots_; }
  int32_t resultSlot() const { return resultSlot_; }

  bool checkMode() const { return checkMode_; }
  bool absentSignalled() const { return absent_; }
  const std::string& error() const { return error_; }
  void setError(std::string message) { error_ = std::move(message); }
  void setErrorf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

  // Debug dump of the postfix list, one line per item.
  std::string dumpPostfix() const;

 private:
  friend class ExprCompiler;
  friend class ExprEvaluator;
  friend class StepPlanner;

  std::string text_;
  unsigned flags_ = 0;
  int positionOffset_ = 0;
  void* program_ = nullptr;
  const OperatorTable* table_ = nullptr;
  NameResolver* resolver_ = nullptr;
  ScriptFunctionHost* functions_ = nullptr;
  Variables* variables_ = nullptr;
  std::vector<ExprNode> nodes_;
  int32_t argSlots_ = 0;  // total arguments of all function items
  std::vector<ExprStep> steps_;
  int32_t intSlots_ = 0;  // integer scratch: subscripts of each VAR, one per OR
  int32_t resultSlot_ = 0;  // the root item's slot, where the value ends up

  // Evaluation scratch, kept between evaluations so that strings keep their capacity:
  // one result slot per postfix item, the packed function arguments and the integers
  // (subscripts, OR outcomes) the steps keep.
  std::vector<Value> slots_;
  std::vector<Value> args_;
  std::vector<int32_t> ints_;
  bool busy_ = false;  // set while evaluating; a nested evaluation uses its own scratch
  // Evaluation state; a compiled expression is used from one thread only.
  bool checkMode_ = false;
  bool absent_ = false;
  std::string error_;
};

// Dump line of a postfix item ("OP   : +\n", "VAR  : @a\n" ...).
std::string expDumpNode(const ExprNode& node);

}  // namespace kvarn::script
