// The defined script functions described for =show func: one "func name(params)" line
// each, or with `withBody` the comment block, that line and the body as written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "context/context.h"

namespace kvarn::script {

// `pattern` may hold '*' and '?' (any case); empty matches every function. Gives
// "No functions defined" or "No matching functions found" when nothing is listed.
std::vector<std::string> cmdDescribeFunctions(ProgramContext& ctx, std::string_view pattern, bool withBody);

}  // namespace kvarn::script
