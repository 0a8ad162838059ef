#include "driver/optional_modes.h"

#include "context/context.h"
#include "driver/options.h"

bool ccdtModeAvailable() { return false; }

bool scriptDebuggerAvailable() { return false; }

void enterCcdtModeAtStartup(ProgramContext &ctx, const Options &) { ctx.ccdtMode = true; }
