// The parameters a command file or a synonym is run with: the script array @_Parm,
// numbered from 1.
#pragma once
#include <string>
#include <vector>

struct ProgramContext;

namespace kvarn::script {

// Replaces @_Parm with `items` (@_Parm[1] is the first); no items deletes the array.
void setScriptParameters(ProgramContext& ctx, const std::vector<std::string>& items);

}  // namespace kvarn::script
