// The script debugger: started by the driver in debug mode (-!), it is called by the
// executor before each statement, lists it, and reads debugger commands from standard
// input while the script itself comes from the input file.
#pragma once

#include <optional>
#include <string_view>

#include "context/context.h"
#include "script/script_state.h"

namespace kvarn::debugger {

// Switches debug mode on: the executor calls the hook, the prompt is active and the
// main input's statements are kept for listing.
void debuggerStart(ProgramContext& ctx);

// -D t without -!: the hook lists each statement as it runs and never prompts.
void debuggerTraceStatements(ProgramContext& ctx);

// Called by the executor (see HookEvent); returns when the statement may run. Ending
// the program at the prompt sets ctx.quit.
void debuggerHook(ProgramContext& ctx, script::CommandNode& node, script::HookEvent event);

// Runs one debugger command (one ';'-separated part of a prompt line). False when it
// ended the program.
bool debuggerCommand(ProgramContext& ctx, std::string_view command);

}  // namespace kvarn::debugger
