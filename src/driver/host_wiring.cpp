#include "driver/host_wiring.h"

#include "ccdtmode/ccdt_mode.h"
#include "console/console.h"
#include "console/console_settings.h"
#include "context/context.h"
#include "context/output.h"
#include "display/layout.h"
#include "display/modifiers.h"
#include "driver/dispatch.h"
#include "driver/input_lines.h"
#include "driver/local_handlers.h"
#include "driver/local_table.h"
#include "driver/mqsc_issue.h"
#include "driver/options.h"
#include "driver/prompt.h"
#include "driver/synonyms.h"
#include "mqsc/attribute_tokenizer.h"
#include "mqsc/command_record.h"
#include "mqsc/vocab.h"
#include "runtime/trace_sink.h"
#include "script/exp_context.h"
#include "script/import.h"
#include "script/resolver.h"
#include "script/script_host.h"
#include "script/script_state.h"
#include "transport/connection.h"
#include "transport/connection_commands.h"
#include "transport/transport_host.h"

namespace {

// foreach issues its command quietly and walks the response records it kept. A command
// that failed shows its error, so that a loop that runs no pass says why.
bool collectForeachRecords(ProgramContext &ctx, std::string_view command, std::vector<ResponseRecord> &records) {
  std::shared_ptr<CommandRecord> record = issueMqsc(ctx, command, IssueFromScript, true).record;
  if (!record || !record->complete()) return false;
  noteCommandRecord(ctx, *record);
  // A fleet's answer is walked whole: a member that failed is one record of it, with
  // its reason, and never hides what the others sent.
  if (record->has(kMarkError) && !record->fleet) {
    // A display that found nothing is an empty loop, not a failure to report. Any other
    // failure (an error reply, a time-out, no connection) is shown as it would be at the
    // top level, so that a loop that runs no pass says why.
    if (record->has(kMarkNotFound)) return false;
    if (!record->errorText.empty()) {
      addError(ctx, record->errorText);
      return false;
    }
    OwnedMutexGuard guard(ctx.displayLock);
    for (const std::string &line : record->errorLines) addError(ctx, line);
    return false;
  }
  OwnedMutexGuard guard(ctx.displayLock);
  records = std::move(record->keptRecords);
  for (ResponseRecord &r : records) r.shrink();
  return true;
}

// The script language's view of connections, reason codes and the commands it issues.
void wireScriptHost() {
  using namespace kvarn::script;
  ScriptHost host;
  host.ensureConnected = [](ProgramContext &ctx) { makeOwedConnection(ctx); };
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
    for (const ConstNameDef *row = reasonCodeTable(); row && row->name; ++row)
      if (row->value == code) return row->name;
    return {};
  };
  host.issueCommand = [](ProgramContext &ctx, std::string_view text) { cslIssueCommand(ctx, text); };
  // The console, when it runs.
  host.refreshScreen = consoleRefresh;
  host.consoleKey = consoleReadKey;
  host.screenSize = consoleScreenSize;
  host.collectRecords = collectForeachRecords;
  host.parseImport = parseImportCommand;
  host.readFileLine = readFileLine;
  host.addHistory = [](ProgramContext &ctx, std::string_view command) { addCommandHistory(ctx, command); };
  host.ccdtFile = [](ProgramContext &ctx) { return ccdtFileName(ctx); };
  scriptSetHost(std::move(host));
}

}  // namespace

void wireRooms(ProgramContext &ctx) {
  // 1. The MQSC vocabulary; expressions read CONST. names from its constant tables.
  InitialiseCommandFields(ctx.trace.dispatch ? 64u : 0u);
  kvarn::script::ExprVocabulary vocabulary = kvarn::script::expVocabulary();
  vocabulary.constant = [](std::string_view name) { return constantByName(name); };
  kvarn::script::expSetVocabulary(std::move(vocabulary));

  // 2. Preparation reads the display's output modifiers; a completed record is laid out by
  //    the display. @ and _ names in =WHERE and =SORT are the script's variables: they are
  //    read while the command thread waits for the replies, so nothing changes them meanwhile.
  mqscSetHost(displayMqscHost());
  setModifierVariableResolver(&kvarn::script::ScriptResolver::instance());

  // 3. The script language.
  wireScriptHost();

  // 4. While a command waits for its replies, the console (when there is one) repaints
  //    what arrived and takes Escape to stop waiting.
  TransportHost transport;
  transport.whileWaiting = [](ProgramContext &c) { return c.fullScreen && consoleWhileWaiting(c); };
  transport.mayReleaseEarly = [](ProgramContext &c) {
    return c.fullScreen && c.input == c.mainInput.get() && kvarn::script::scriptState(c).frames.empty();
  };
  transport.showStatus = [](ProgramContext &c, const std::string &text, int delaySeconds) {
    if (c.fullScreen) consolePostStatus(c, text, delaySeconds);
  };
  transport.readPassword = [](ProgramContext &c, const std::string &prompt) -> std::optional<std::string> {
    if (!c.fullScreen) return std::nullopt;
    return consoleReadPassword(c, prompt).value_or("");
  };
  transportSetHost(std::move(transport));

  // 5. CCDT mode puts its own connection template in front while it lasts.
  CcdtHost ccdt;
  ccdt.directCommands = [](ProgramContext &c, bool toTable) { directCommandsToTable(c, toTable); };
  ccdt.refreshPrompt = [](ProgramContext &c) {
    if (c.fullScreen) consoleRefresh(c);
  };
  ccdtSetHost(std::move(ccdt));
}

ConsoleHost consoleHost() {
  ConsoleHost host;
  host.localCommands = [] {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const LocalCommand &command : localCommandTable())
      if (command.listed) rows.emplace_back(command.name, command.description);
    return rows;
  };
  host.versionLine = [] {
    return strFormat("KVARN Version %s (Revision: %s Build Date %s)", kProgramVersion, kProgramRevision, __DATE__);
  };
  host.vocabulary = [](ProgramContext &ctx) {
    VocabContext vocab;
    if (ctx.transport && transportOf(ctx).current->connected()) vocab.flags = &transportOf(ctx).current->capabilities;
    if (ctx.transport && transportOf(ctx).tolkMode) vocab.target = CommandTarget::Tolk;
    if (inCcdtMode(ctx)) {
      static const CapabilityFlags tableFlags = CapabilityFlags::forCcdt();
      vocab.flags = &tableFlags;
      vocab.target = CommandTarget::Ccdt;
    }
    return vocab;
  };
  // Names are asked of the queue manager: the start-up connection is made for them.
  host.objectNames = [](ProgramContext &ctx, const NameListDef *kind, std::vector<std::string> &names,
                        std::string &message) {
    // In CCDT mode the names are the table's.
    if (inCcdtMode(ctx)) return ccdtObjectNames(ctx, kind->kind, names, message);
    makeOwedConnection(ctx);
    return objectNames(ctx, kind, names, message);
  };
  host.machineDetails = machineDetails;
  host.prompt = [](ProgramContext &ctx) {
    PromptState state;
    state.ccdtMode = inCcdtMode(ctx);
    if (ctx.transport) {
      const Connection &conn = *transportOf(ctx).current;
      state.connected = conn.connected();
      state.connectedQmgr = conn.connectedQmgr;
      state.requestedQmgr = conn.targetQmgr;
      state.client = conn.clientBinding;
      state.tolkMode = transportOf(ctx).tolkMode;
      state.agentLevelKnown = conn.agentLevel > 0;
    }
    return expandPrompt(ctx.settings.prompt, state);
  };
  return host;
}

void wireTrace(ProgramContext &ctx) {
  setTraceSink([](void *c, std::string_view line) { addTrace(*static_cast<ProgramContext *>(c), line); }, &ctx);
}

void unwireTrace() { setTraceSink(nullptr, nullptr); }
