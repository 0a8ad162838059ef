// The system variables (_name): read-only values computed on every read from the
// program's state, and the two settable ones (_stream, _error_func).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "context/context.h"
#include "script/lexeme.h"

namespace kvarn::script {

// False when `name` is not a system variable.
bool systemVariableValue(ProgramContext& ctx, std::string_view name, Value& out);
bool isSystemVariableName(std::string_view name);
std::vector<std::string_view> systemVariableNames();
// Assignment to a system variable; false with `error` set when refused (the error flag
// of the statement executor is set in the script state too).
bool assignSystemVariable(ProgramContext& ctx, std::string_view name, const Value& value, std::string& error);

// "Windows", "z/OS" ... for an IBM MQ platform code; "UNKNOWN(%d)" for another.
std::string platformName(int32_t code);

}  // namespace kvarn::script
