#include "driver/startup_hooks.h"

#include "context/context.h"
#include "driver/options.h"
#include "context/output.h"
#include "display/layout.h"
#include "mqsc/vocab.h"
#include "context/commands.h"
#include "script/exp_context.h"
#include "script/script_host.h"
#include "transport/connection.h"

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

void connectScriptHost(ProgramContext &) {
  using namespace kvarn::script;
  ScriptHost host;
  host.ensureConnected = [](ProgramContext &ctx) {
    if (!(ctx.startupState & kStartupConnectPending)) return;
    ctx.startupState &= ~kStartupConnectPending;
    issueLocalCommand(ctx, nullptr, ctx.implicitConnectCommand, IssueFromStartup);
  };
  host.matches = [](ProgramContext &) { return static_cast<int64_t>(currentRecord().matched); };
  host.connection = [](ProgramContext &ctx) {
    ConnectionState s;
    if (!ctx.transport) return s;
    const Connection &conn = *transportOf(ctx).current;
    s.connected = conn.connected();
    s.adminQmgr = conn.adminQmgr;
    s.connectedQmgr = conn.connectedQmgr;
    s.client = conn.clientBinding;
    s.platform = conn.platform;
    s.commandLevel = conn.commandLevel.load() < 0 ? 0 : conn.commandLevel.load();
    s.tolkCommandLevel = conn.tolkCommandLevel;
    s.agentLevel = conn.agentLevel;
    return s;
  };
  host.lastReasonCode = [](ProgramContext &ctx) -> int64_t {
    return ctx.transport ? transportOf(ctx).lastReason.load() : 0;
  };
  host.reasonName = [](int64_t code) -> std::string {
    for (const ConstNameDef *row = ReasonCodeTable(); row && row->name; ++row)
      if (row->value == code) return row->name;
    return {};
  };
  scriptSetHost(std::move(host));
}

bool ccdtModeAvailable() { return false; }

void enterCcdtModeAtStartup(ProgramContext &ctx, const Options &) { ctx.ccdtMode = true; }
