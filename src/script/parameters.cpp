#include "script/parameters.h"

#include "script/exp_context.h"
#include "script/script_state.h"

namespace kvarn::script {

void setScriptParameters(ProgramContext& ctx, const std::vector<std::string>& items) {
  constexpr std::string_view kArray = "@_Parm";
  Variables& variables = scriptState(ctx).variables;
  variables.remove(kArray);
  for (size_t i = 0; i < items.size(); ++i) {
    const int32_t subscript = static_cast<int32_t>(i + 1);
    const Value value = Value::view(items[i]);
    variables.set(expVariableKey(kArray, std::span<const int32_t>(&subscript, 1)), false, &value);
  }
}

}  // namespace kvarn::script
