#include "driver/startup_hooks.h"

#include "driver/context.h"
#include "driver/options.h"
#include "driver/output.h"
#include "mqsc/vocab.h"

void initialiseVocabulary(ProgramContext &ctx) { InitialiseCommandFields(ctx.trace.dispatch ? 64u : 0u); }

void enterCcdtModeAtStartup(ProgramContext &ctx, const Options &) {
  addError(ctx, "CCDT mode is not available in this build");
}
