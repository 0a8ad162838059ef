#include "script/resolver.h"

#include "script/executor.h"

#include <cstdlib>

#include "script/functions.h"
#include "script/response_attr.h"
#include "script/script_state.h"
#include "script/system_vars.h"
#include "text/text.h"

namespace kvarn::script {

namespace {

bool nameTooLong(std::string_view name, std::string& error) {
  if (name.size() <= kMaxVariableName) return false;
  error = strFormat("Variable name of '%.*s' is larger than the limit of %d characters.", static_cast<int>(name.size()),
                    name.data(), static_cast<int>(kMaxVariableName));
  return true;
}

ProgramContext* programOf(ExprContext& ctx) { return static_cast<ProgramContext*>(ctx.program()); }

}  // namespace

namespace {

// The checks of scriptVariableKey, with the key written into `buf`.
bool makeVariableKey(std::string_view name, std::span<const int32_t> subscripts, char (&buf)[kMaxVariableKey],
                     std::string_view& key, std::string& error) {
  if (nameTooLong(name, error)) return false;
  if (subscripts.size() > static_cast<size_t>(kMaxSubscripts)) {
    error = "Invalid variable name.";
    return false;
  }
  key = varMakeKey(buf, name, subscripts.data(), subscripts.size());
  for (int32_t s : subscripts)
    if (s < 1) {
      error = strFormat("Out of bounds array error on variable '%s'", varDisplayName(key).c_str());
      return false;
    }
  return true;
}

}  // namespace

bool scriptVariableKey(std::string_view name, std::span<const int32_t> subscripts, std::string& key,
                       std::string& error) {
  char buf[kMaxVariableKey];
  std::string_view made;
  if (!makeVariableKey(name, subscripts, buf, made, error)) return false;
  key.assign(made);
  return true;
}

ScriptResolver& ScriptResolver::instance() {
  static ScriptResolver resolver;
  return resolver;
}

bool ScriptResolver::bind(NameBinding& binding, ExprContext& ctx) {
  std::string error;
  if (nameTooLong(binding.ref.name, error)) {
    ctx.setError(std::move(error));
    return false;
  }
  return true;
}

namespace {

Resolution readRecord(VariableRecord* rec, std::string_view key, Value& out) {
  if (rec) {
    if (!rec->hasValue) return Resolution::Failed;
    // A copy rather than a view: a function later in the same expression (DELVAR, SORT,
    // FGETS) may change or free the record while the value is still an operand.
    storeValue(out, rec->value);
    return Resolution::Found;
  }
  if (varKeyName(key).size() == key.size() && key.size() > 1) {
    std::string envName(key.substr(1));
    if (const char* env = std::getenv(envName.c_str())) {
      std::string_view s(env);
      if (s.empty()) out.setView({});
      else out.setConcat(s, {});
      return Resolution::Found;
    }
  }
  return Resolution::Failed;
}

}  // namespace

Resolution scriptReadVariable(ProgramContext& ctx, std::string_view key, Value& out) {
  return readRecord(scriptState(ctx).variables.find(key), key, out);
}

Resolution ScriptResolver::resolve(const VarRef& ref, std::span<const int32_t> subscripts, Value& out,
                                   ExprContext& ctx) {
  ProgramContext* program = programOf(ctx);
  if (!program) {
    ctx.setErrorf("Unknown variable '%.*s'", static_cast<int>(ref.name.size()), ref.name.data());
    return Resolution::Failed;
  }
  std::string_view name = ref.name;
  if (!name.empty() && name[0] == '@') {
    // A plain variable's key is its name (checked when the expression was compiled).
    if (subscripts.empty()) {
      Variables& vars = scriptState(*program).variables;
      VariableRecord* rec = ref.memo ? vars.find(name, *ref.memo) : vars.find(name);
      if (readRecord(rec, name, out) == Resolution::Found) return Resolution::Found;
    }
    char buf[kMaxVariableKey];
    std::string_view key;
    std::string error;
    if (!makeVariableKey(name, subscripts, buf, key, error)) {
      ctx.setError(std::move(error));
      return Resolution::Failed;
    }
    if (subscripts.empty()) {
      if (scriptReadVariable(*program, key, out) == Resolution::Found) return Resolution::Found;
    } else {
      Variables& vars = scriptState(*program).variables;
      VariableRecord* rec =
          vars.findElement(name, Subscripts::of(subscripts.data(), subscripts.size()), ref.memo);
      if (readRecord(rec, key, out) == Resolution::Found) return Resolution::Found;
    }
    ctx.setErrorf("Variable '%s' is not defined in the current scope.", varDisplayName(key).c_str());
    return Resolution::Failed;
  }
  if (!name.empty() && name[0] == '_') {
    if (systemVariableValue(*program, name, out)) return Resolution::Found;
    ctx.setErrorf("Unrecognised system Variable '%.*s'.", static_cast<int>(name.size()), name.data());
    return Resolution::Failed;
  }
  attributeValue(scriptState(*program).currentRecord(), name, ref.modifier, out);
  return Resolution::Found;
}

ExprOptions scriptExprOptions(ProgramContext& ctx, unsigned flags) {
  ExprOptions options;
  options.table = &scriptFunctionTable();
  options.resolver = &ScriptResolver::instance();
  options.flags = flags;
  options.program = &ctx;
  options.functions = &scriptFunctionHost(ctx);
  options.variables = &scriptState(ctx).variables;
  return options;
}

bool scriptAssign(ProgramContext& ctx, std::string_view name, std::span<const int32_t> subscripts, const Value& value,
                  std::string& error, VariableMemo* memo) {
  if (!name.empty() && name[0] == '_') return assignSystemVariable(ctx, name, value, error);
  char buf[kMaxVariableKey];
  std::string_view key;
  if (!makeVariableKey(name, subscripts, buf, key, error)) return false;
  Variables& vars = scriptState(ctx).variables;
  if (subscripts.empty()) vars.set(key, false, &value);
  else vars.setElement(name, Subscripts::of(subscripts.data(), subscripts.size()), value, memo);
  return true;
}

bool scriptDeclare(ProgramContext& ctx, std::string_view name, std::span<const int32_t> subscripts, const Value* value,
                   std::string& error) {
  char buf[kMaxVariableKey];
  std::string_view key;
  if (!makeVariableKey(name, subscripts, buf, key, error)) return false;
  scriptState(ctx).variables.set(key, true, value);
  return true;
}

}  // namespace kvarn::script
