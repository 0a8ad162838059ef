// Preparing an MQSC command: the program's own extensions are taken out and acted on,
// and what is left goes to the command server unchanged.
#include "mqsc/request.h"

#include <cctype>
#include <mutex>
#include <new>

#include "context/context.h"
#include "context/output.h"
#include "mqsc/clause_scanner.h"
#include "mqsc/command_words.h"
#include "mqsc/mqsc_host.h"
#include "mqsc/pcf_message.h"
#include "mqsc/prepare_steps.h"
#include "text/text.h"

namespace {

// RESET QSTATS read word by word: RESET, QSTATS, '(', name, ')', and nothing after.
struct WordReader {
  std::string_view text;
  size_t pos = 0;
  std::string_view next() {
    while (pos < text.size() && isScanSpace(text[pos])) ++pos;
    if (pos >= text.size()) return {};
    size_t start = pos;
    char c = text[pos];
    if (c == '(' || c == ')') return text.substr(pos++, 1);
    if (c == '\'' || c == '"') {
      size_t end = ++pos;
      for (; end < text.size(); ++end) {
        if (text[end] != c) continue;
        if (end + 1 < text.size() && text[end + 1] == c) {
          ++end;
          continue;
        }  // doubled quote
        break;
      }
      pos = end < text.size() ? end + 1 : end;
      return text.substr(start, pos - start);
    }
    while (pos < text.size() && !isScanSpace(text[pos]) && text[pos] != '(' && text[pos] != ')') ++pos;
    return text.substr(start, pos - start);
  }
};

// The queue name as MQ stores it: unquoted names are folded to upper case as MQSC does,
// quoted ones lose their quotes and doubled quotes.
std::string storedName(std::string_view word) {
  std::string out;
  if (!word.empty() && (word[0] == '\'' || word[0] == '"')) {
    char q = word[0];
    std::string_view inner = word.substr(1);
    if (!inner.empty() && inner.back() == q) inner.remove_suffix(1);
    for (size_t i = 0; i < inner.size(); ++i) {
      out.push_back(inner[i]);
      if (inner[i] == q && i + 1 < inner.size() && inner[i + 1] == q) ++i;
    }
    return out;
  }
  for (char c : word) out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  return out;
}

bool isResetQstats(std::string_view text) {
  return scanEqualsNoCase(commandWord(text, 0), "RESET") && scanEqualsNoCase(commandWord(text, 1), "QSTATS");
}

// Returns false (with the AMQ8405/AMQ8427 lines added) when the form is not the simple one.
bool readResetQstats(ProgramContext &ctx, CommandRecord &record, std::string_view text, std::string &name) {
  WordReader r{text};
  std::string_view w1 = r.next(), w2 = r.next(), open = r.next(), q = r.next(), close = r.next(), rest = r.next();
  bool ok = scanEqualsNoCase(w1, "RESET") && scanEqualsNoCase(w2, "QSTATS") && open == "(" && !q.empty() && q != ")" &&
            q != "(" && close == ")" && rest.empty();
  if (ok) {
    name = storedName(q);
    if (!name.empty()) return true;
  }
  std::string out = "AMQ8405: Syntax error detected at or near command segment below :-\n";
  std::string_view segment = scanTrim(text);
  out += strFormat("%.*s\n\n", static_cast<int>(segment.size()), segment.data());
  out += "AMQ8427: Valid syntax for the MQSC command:\n\n";
  out += "  RESET QSTATS( generic_q_name )\n";
  record.marks |= kMarkError;
  addRecordLine(ctx, record, RecordLine{std::move(out), kLineResponseText, {}});
  return false;
}

PrepareResult finish(ProgramContext &ctx, CommandRecord &record, PrepareOutcome outcome) {
  completeCommandRecord(ctx, record);
  PrepareResult r;
  r.outcome = outcome;
  return r;
}

PrepareResult fail(ProgramContext &ctx, CommandRecord &record, const std::string &message) {
  if (!message.empty()) addRecordError(ctx, record, message);
  record.marks |= kMarkError;
  return finish(ctx, record, PrepareOutcome::Failed);
}

}  // namespace

bool takeOutputModifiers(ProgramContext &ctx, CommandRecord &record, std::string &text) {
  ModifierHooks hooks = mqscHost().modifiers;
  for (const ModifierHooks::Hook *hook :
       {&hooks.attributeSelection, &hooks.find, &hooks.where, &hooks.sort, &hooks.maxResponses}) {
    if (*hook && !(*hook)(ctx, record, text)) return false;
  }
  return true;
}

std::vector<uint8_t> buildEscapeRequest(std::string_view text) {
  return PcfBuilder(MQCMD_ESCAPE).addInteger(MQIACF_ESCAPE_TYPE, MQET_MQSC).addString(MQCACF_ESCAPE_TEXT, text).take();
}

std::vector<uint8_t> buildResetQueueStatsRequest(std::string_view queueName) {
  return PcfBuilder(MQCMD_RESET_Q_STATS).addString(MQCA_Q_NAME, queueName).take();
}

std::vector<uint8_t> buildCommandLevelRequest(int32_t headerVersion) {
  return PcfBuilder(MQCMD_INQUIRE_Q_MGR, MQCFT_COMMAND_XR, headerVersion)
      .addIntegerList(MQIACF_Q_MGR_ATTRS, {MQIA_COMMAND_LEVEL, MQIA_PLATFORM})
      .take();
}

std::vector<uint8_t> buildTolkLevelRequest() {
  return PcfBuilder(ZRT_CMD_DISPLAY_EV).addIntegerList(ZRT_ATTR_EV_ATTRS, {ZRT_ATTR_COMMAND_LEVEL}).take();
}

namespace {
PcfBuilder queueCommandBuilder(int32_t command, bool zos) {
  return zos ? PcfBuilder(command, MQCFT_COMMAND_XR, MQCFH_VERSION_3) : PcfBuilder(command);
}
}  // namespace

std::vector<uint8_t> buildQueueDepthRequest(std::string_view queueName, bool zos) {
  return queueCommandBuilder(MQCMD_INQUIRE_Q, zos)
      .addString(MQCA_Q_NAME, queueName)
      .addIntegerList(MQIACF_Q_ATTRS, {MQIA_CURRENT_Q_DEPTH})
      .take();
}

std::vector<uint8_t> buildClearQueueRequest(std::string_view queueName, bool zos) {
  return queueCommandBuilder(MQCMD_CLEAR_Q, zos).addString(MQCA_Q_NAME, queueName).take();
}

std::vector<uint8_t> buildNameListRequest(const NameListDef &descriptor, bool zos) {
  PcfBuilder b = queueCommandBuilder(descriptor.inquireCommand, zos);
  if (descriptor.selector != 0) b.addString(descriptor.nameParameter, "*");
  return b.take();
}

PreparedRequest buildMqscRequest(const MqscTarget &target, std::string_view text) {
  PreparedRequest r;
  r.queue = target.tolkMode ? CommandQueue::Tolk : CommandQueue::Mq;
  if (target.isZos() && !target.tolkMode) {
    r.format = MQFMT_STRING;
    r.message.assign(text.begin(), text.end());
  } else {
    r.format = MQFMT_ADMIN;
    r.message = buildEscapeRequest(text);
  }
  return r;
}

void completeWithoutReply(ProgramContext &ctx, CommandRecord &record) {
  addRecordLine(ctx, record, RecordLine{"AMQ8018I: Command Submitted", kLineResponseText, {}});
  completeCommandRecord(ctx, record);
}

namespace {
PrepareResult prepareSteps(ProgramContext &ctx, const MqscTarget &target, CommandRecord &record, std::string &text,
                           MqscExchange *exchange);
}  // namespace

PrepareResult prepareMqscCommand(ProgramContext &ctx, const MqscTarget &target, CommandRecord &record,
                                 std::string &text, MqscExchange *exchange) {
  try {
    return prepareSteps(ctx, target, record, text, exchange);
  } catch (const std::bad_alloc &) {
    ctx.statusFlags |= kStatusInternalFailure;
    return fail(ctx, record, "Unable to allocate storage");
  }
}

namespace {
PrepareResult prepareSteps(ProgramContext &ctx, const MqscTarget &target, CommandRecord &record, std::string &text,
                           MqscExchange *exchange) {
  record.isDisplay = isDisplayCommand(text);
  if (record.isDisplay) record.marks |= kMarkFilterable;
  std::string message;

  // 1. Namelist editing: a rebuilt ALTER is sent as it stands.
  NamelistStep nl = editNamelist(ctx, target, record, text, exchange, message);
  if (nl == NamelistStep::Failed) return fail(ctx, record, message);
  if (nl == NamelistStep::Rebuilt) {
    PrepareResult r;
    r.outcome = PrepareOutcome::Send;
    r.request = buildMqscRequest(target, text);
    return r;
  }

  // 2. The output modifiers, in their order.
  if (!takeOutputModifiers(ctx, record, text)) return fail(ctx, record, {});

  // 3. Generic names the queue manager cannot filter.
  if (!target.tolkMode && !rewriteGenericNames(text, target.isZos(), record, message))
    return fail(ctx, record, message);

  PrepareResult r;
  r.outcome = PrepareOutcome::Send;
  if (!target.isZos() && !target.tolkMode && isResetQstats(text)) {
    std::string name;
    if (!readResetQstats(ctx, record, text, name)) return finish(ctx, record, PrepareOutcome::Failed);
    r.request.message = buildResetQueueStatsRequest(name);
    r.request.format = MQFMT_ADMIN;
    return r;
  }
  r.request = buildMqscRequest(target, text);
  if (target.tolkMode && scanEqualsNoCase(commandWord(text, 0), "STOP") && scanEqualsNoCase(commandWord(text, 1), "EV"))
    r.request.expectsNoReply = true;
  return r;
}
}  // namespace
