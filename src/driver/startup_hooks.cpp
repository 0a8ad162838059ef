#include "driver/startup_hooks.h"

#include "driver/context.h"
#include "driver/options.h"
#include "driver/output.h"

void initialiseVocabulary(ProgramContext &) {}

void enterCcdtModeAtStartup(ProgramContext &ctx, const Options &) {
  addError(ctx, "CCDT mode is not available in this build");
}

void disconnectAllAtEnd(ProgramContext &) {}
