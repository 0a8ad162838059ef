#include "script/parameters.h"

#include "runtime/scan.h"
#include "script/exp_context.h"
#include "script/script_state.h"

namespace kvarn::script {

std::vector<std::string> splitParameters(std::string_view text) {
  std::vector<std::string> items;
  for (std::string_view item : scanSplitCommas(text)) {
    size_t lead = item.find_first_not_of(' ');
    items.emplace_back(lead == std::string_view::npos ? std::string_view() : item.substr(lead));
  }
  return items;
}

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
