// The script resolver: '@' names from the variable scopes (then the environment), '_'
// names from the system variables, other names from the current response record. And
// the operations statements use on variables: assignment, declaration, deletion.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "context/context.h"
#include "script/expr.h"

namespace kvarn::script {

class ScriptResolver : public NameResolver {
 public:
  // Stateless: the program context comes with each expression (ExprOptions::program).
  static ScriptResolver& instance();
  bool bind(NameBinding& binding, ExprContext& ctx) override;
  Resolution resolve(const VarRef& ref, std::span<const int32_t> subscripts, Value& out, ExprContext& ctx) override;
};

// Compile options for script expressions: the script table, the resolver and `program`.
ExprOptions scriptExprOptions(ProgramContext& ctx, unsigned flags);

// `target = value`: a '_' name is a system variable; otherwise the key is stored where the
// scope rules put it. Subscripts must be at least 1. False with `error` set when refused.
// `memo` (an assignment statement's) speeds up repeated stores of elements of one array.
bool scriptAssign(ProgramContext& ctx, std::string_view name, std::span<const int32_t> subscripts, const Value& value,
                  std::string& error, VariableMemo* memo = nullptr);
// `var @x` and parameters: always in the current scope, with or without a value.
bool scriptDeclare(ProgramContext& ctx, std::string_view name, std::span<const int32_t> subscripts, const Value* value,
                   std::string& error);
// Reads a user variable as the resolver does (scopes, then the environment).
Resolution scriptReadVariable(ProgramContext& ctx, std::string_view key, Value& out);

// Validates a user-variable name and subscripts; returns the key or sets `error`.
bool scriptVariableKey(std::string_view name, std::span<const int32_t> subscripts, std::string& key,
                       std::string& error);

}  // namespace kvarn::script
