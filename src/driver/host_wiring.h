// The one place where the rooms below the driver are told what to call above
// themselves: the MQSC room's host (the display's modifiers and layout), the display's
// variable resolver, the expression vocabulary, the script host, and the trace sink.
#pragma once

#include "console/console_state.h"

struct ProgramContext;

// Fills every room's host at start-up, once the trace letters are known.
void wireRooms(ProgramContext &ctx);
// The rooms below the context trace through the context's output buffer.
void wireTrace(ProgramContext &ctx);
void unwireTrace();
// What the console reads of the program: the local commands, the version, the prompt.
ConsoleHost consoleHost();
