// Operator tables: rows of operators, punctuation and functions, searched in order
// (the first matching name wins), and the two standard tables: the script table and
// the =WHERE table (same operators, no '[' or ']').
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "script/lexeme.h"

namespace kvarn::script {

class ExprContext;

// Kind bits of a row.
enum OperatorKind : uint32_t {
  kBinary = 1,
  kUnary = 2,  // unary operator or punctuation
  kFunction = 4,
  kWord = 16,  // name made of letters, digits, '_' and '.'; computed by the table
  kPrefixSign = 32,
  kScriptFunction = 64,
};

// What a built-in operator row does; functions carry a handler instead.
enum class OpCode : uint8_t {
  None,
  Eq,
  Ne,
  Gt,
  Ge,
  Lt,
  Le,
  Add,
  Sub,
  Mul,
  Div,
  Mod,
  Or,
  And,
  BitOr,
  BitAnd,
  Match,
  Lk,
  Nl,
  Ct,
  Ex,
  Ctg,
  Exg,
  Plus,
  Minus,
  Not,
  Comma,
  LParen,
  LBracket,
  RParen,
  RBracket,
};

// A function receives its evaluated arguments (for a variable-parameter position the
// variable key as a STR) and writes its result; on failure it sets the context's error.
using FunctionHandler = bool (*)(ExprContext& ctx, std::span<Value> args, Value& result);

// Variable-parameter flags of a function row.
enum : uint8_t { kFirstParamIsVariable = 1, kSecondParamIsVariable = 2 };

struct OperatorDef {
  std::string_view name;
  uint16_t inputPrecedence = 0;
  uint16_t stackPrecedence = 0;
  uint32_t kind = 0;
  OpCode code = OpCode::None;
  FunctionHandler handler = nullptr;
  int16_t parameterCount = 0;  // -1: any number, checked by the handler
  uint8_t variableParams = 0;
};

// A function row as the function library declares it (input 20, stack 8).
constexpr OperatorDef functionRow(std::string_view name, int16_t params, FunctionHandler handler,
                                  uint8_t variableParams = 0) {
  return OperatorDef{name, 20, 8, kFunction, OpCode::None, handler, params, variableParams};
}

// The built-in functions =WHERE and =SORT offer.
inline constexpr std::string_view kWhereFunctionNames[] = {"SQRT",   "MAX",     "MIN",      "LOWER",  "UPPER",
                                                           "SUBSTR", "FINDSTR", "FINDSTRI", "CMPVER", "DATE"};

class OperatorTable {
 public:
  explicit OperatorTable(std::vector<OperatorDef> rows);

  // The script operators followed by `functions`; `subscripts` adds '[' and ']'.
  static OperatorTable build(std::span<const OperatorDef> functions, bool subscripts);
  // The =WHERE table: the operators without subscripts and, of `scriptFunctions`, only
  // the rows named in kWhereFunctionNames.
  static OperatorTable buildWhere(std::span<const OperatorDef> scriptFunctions);
  // Operators only, for callers that need no functions.
  static const OperatorTable& scriptOperators();
  static const OperatorTable& whereOperators();

  // First row whose name is the whole token (case-insensitive).
  const OperatorDef* match(std::string_view token) const;
  // First row of that name that is not binary (unary signs, '!', NOT, '(').
  const OperatorDef* matchNonBinary(std::string_view name) const;

  std::span<const OperatorDef> rows() const { return rows_; }

 private:
  std::vector<OperatorDef> rows_;
};

// The operator semantics, shared by the evaluator and by anyone who wants to apply an
// operator to two values directly. `caseSensitive` is the expression's flag 2; in check
// mode division by zero and list-operand type checks pass.
bool applyBinary(const OperatorDef& op, Value& left, Value& right, Value& result, bool caseSensitive, bool checkMode,
                 std::string& error);
bool applyUnary(const OperatorDef& op, Value& operand, Value& result, std::string& error);

}  // namespace kvarn::script
