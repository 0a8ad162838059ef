#include "driver/startup_hooks.h"

#include "context/context.h"
#include "driver/options.h"
#include "context/output.h"
#include "display/layout.h"
#include "mqsc/vocab.h"
#include "script/exp_context.h"

void initialiseVocabulary(ProgramContext &ctx) {
  InitialiseCommandFields(ctx.trace.dispatch ? 64u : 0u);
  // Expressions read CONST. names from the vocabulary's constant tables.
  using namespace kvarn::script;
  ExprVocabulary vocabulary = expVocabulary();
  vocabulary.constant = [](std::string_view name) { return ConstantByName(name); };
  expSetVocabulary(std::move(vocabulary));
  // Output modifiers and the layout of replies.
  installDisplay();
}

bool ccdtModeAvailable() { return false; }

void enterCcdtModeAtStartup(ProgramContext &ctx, const Options &) { ctx.ccdtMode = true; }
