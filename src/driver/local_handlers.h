// Handlers of the local commands the driver owns, in files by concern; the dispatcher
// (local_commands.cpp) installs them in the local command table.
#pragma once
#include "context/local_command.h"

// output_commands.cpp: what is echoed, counted and copied, and the line buffer.
void cslDoEchoCommand(ProgramContext &ctx, ParsedCommand &cmd, int issueSource);
void cslDoCountCommand(ProgramContext &ctx, ParsedCommand &cmd, int issueSource);
void cslDoOutputCommand(ProgramContext &ctx, ParsedCommand &cmd, int issueSource);
void cslDoClsCommand(ProgramContext &ctx, ParsedCommand &cmd, int issueSource);
void cslDoPurgeCommand(ProgramContext &ctx, ParsedCommand &cmd, int issueSource);
// =cls: scrolls earlier output out of view with empty lines.
void clearScreen(ProgramContext &ctx);

// repeat_command.cpp: =repeat at the console.
void cslDoRepeatCommand(ProgramContext &ctx, ParsedCommand &cmd, int issueSource);

// show_command.cpp: =show and its operands.
void cslDoShowCommand(ProgramContext &ctx, ParsedCommand &cmd, int issueSource);
