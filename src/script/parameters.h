// The parameters a command file or a synonym is run with: the script array @_Parm,
// numbered from 1.
#pragma once
#include <string>
#include <string_view>
#include <vector>

struct ProgramContext;

namespace kvarn::script {

// The items of a parameter list (=import parms, a synonym's brackets, foritem): split
// at commas outside quotes, parentheses and square brackets, leading blanks removed.
std::vector<std::string> splitParameters(std::string_view text);

// Replaces @_Parm with `items` (@_Parm[1] is the first); no items deletes the array.
void setScriptParameters(ProgramContext& ctx, const std::vector<std::string>& items);

}  // namespace kvarn::script
