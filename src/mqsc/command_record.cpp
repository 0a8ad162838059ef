#include "mqsc/command_record.h"

#include <mutex>

#include "context/context.h"
#include "context/output.h"
#include "mqsc/attribute_tokenizer.h"
#include "mqsc/command_words.h"
#include "mqsc/mqsc_host.h"
#include "runtime/scan.h"

namespace {

// Counts the outcome: the counters only when =count asks for this kind of command, the
// status bits (and so the exit code) always.
void recordOutcome(ProgramContext &ctx, const CommandRecord &record, bool succeeded) {
  if (!record.tallied) return;
  bool counted = record.countable && ctx.counting.cmds && (!record.isDisplay || ctx.counting.dspcmds);
  if (counted) {
    countCommand(ctx, succeeded);
    return;
  }
  if (succeeded) {
    ctx.statusFlags |= kStatusCommandSucceeded;
  } else {
    ctx.statusFlags |= kStatusCommandFailed;
    ++ctx.failureEvents;
    ctx.mode |= kModeCommandFailed;
  }
}

const FieldDef *replyFields(CommandRecord &record) {
  if (!record.replyFieldsKnown) {
    const CommandDef *command = identifyCommand(record, record.commandText);
    record.replyFields = command ? command->fields : nullptr;
    record.replyFieldsKnown = true;
  }
  return record.replyFields;
}

RecordOutput &outputOf(ProgramContext &ctx, CommandRecord &record) {
  if (!record.output) {
    RecordOutputFactory layout = mqscHost().layout;
    record.output = layout ? layout(ctx, record) : linesAsReceived(ctx, record);
  }
  return *record.output;
}

void spoolResponseText(CommandRecord &record, std::string_view text) {
  if (!record.responseText.empty()) record.responseText.append("\n");
  record.responseText.append(text);
}

// The record being received is whole: read it, filter it, count it, pass it on.
void endReceivedRecord(ProgramContext &ctx, CommandRecord &record) {
  if (!record.receiving) return;
  OutputPiece piece = std::move(*record.receiving);
  record.receiving.reset();
  // 1. Read once; everything after reads the attributes from the index. A fleet
  //    member's records name it before any filter looks at them.
  parseResponseRecord(piece.body, replyFields(record));
  if (record.fleetMember && piece.body.qmgr.empty()) piece.body.qmgr = record.qmgr;
  // 2. A record any filter rejects is dropped whole.
  if (record.has(kMarkHasModifiers))
    for (const RecordFilter &filter : record.filters)
      if (filter && !filter(piece.body)) return;
  // 3. Counted, kept for whoever asked, and laid out.
  ++record.recordCount;
  record.marks |= kMarkData;
  if (piece.body.text.starts_with("AMQ8408I")) record.marks |= kMarkQmgrDetails;
  spoolResponseText(record, piece.body.text);
  if (record.keepRecords) record.keptRecords.push_back(piece.body);
  outputOf(ctx, record).piece(ctx, record, std::move(piece));
}

OutputPiece::Kind pieceKind(uint32_t flags) {
  if (flags & kLineError) return OutputPiece::Error;
  if (flags & kLineInfo) return OutputPiece::Info;
  return OutputPiece::Text;
}

}  // namespace

bool continuesRecord(const RecordLine &line) {
  return (line.flags & kLineResponseText) && !(line.flags & (kLineRecordStart | kLineError | kLineInfo)) &&
         scanMessageId(scanTrim(line.text)).empty();
}

const CommandDef *identifyCommand(const CommandRecord &record, std::string_view text) {
  VocabContext vctx;
  vctx.target = record.target == CommandTarget::Ccdt ? CommandTarget::Ccdt : CommandTarget::QueueManager;
  const CommandDef *verb = findCommand(vctx, "", commandWord(text, 0), kExact, false, nullptr);
  if (!verb) return nullptr;
  return findObjectType(vctx, verb, "", commandWord(text, 1), kExact, false, true, nullptr);
}

void addRecordLine(ProgramContext &ctx, CommandRecord &record, RecordLine line) {
  OwnedMutexGuard guard(ctx.displayLock);
  if (record.kind == RecordKind::ScriptCommand) line.flags |= kLineQuiet;
  bool quiet = (line.flags & kLineQuiet) != 0;
  // 1. An attribute line of the record being received joins it.
  if (record.receiving && continuesRecord(line)) {
    record.receiving->body.text += '\n';
    record.receiving->body.text += line.text;
    return;
  }
  // 2. Anything else ends that record, and a record start opens the next.
  endReceivedRecord(ctx, record);
  if (line.flags & kLineRecordStart) {
    record.receiving = OutputPiece{OutputPiece::Record, ResponseRecord(std::move(line.text), std::move(line.qmgr)),
                                   quiet};
    return;
  }
  // 3. Any other line is a piece of its own.
  record.marks |= kMarkData;
  if (line.flags & kLineResponseText) spoolResponseText(record, line.text);
  if (line.flags & kLineError) record.errorLines.push_back(line.text);
  OutputPiece piece{pieceKind(line.flags), ResponseRecord(std::move(line.text), std::move(line.qmgr)), quiet};
  outputOf(ctx, record).piece(ctx, record, std::move(piece));
}

std::shared_ptr<CommandRecord> openCommandRecord(ProgramContext &ctx, std::string_view commandText, RecordKind kind) {
  auto record = std::make_shared<CommandRecord>();
  record->commandText = std::string(scanTrim(commandText));
  record->kind = kind;
  record->outputGroup = ctx.output ? ctx.output->currentCommandNumber() : 0;
  const InputSource *source = ctx.input ? ctx.input : ctx.mainInput.get();
  record->responsesHidden = source && !source->echo.resp;
  return record;
}

void addRecordError(ProgramContext &ctx, CommandRecord &record, std::string_view text) {
  addRecordLine(ctx, record, RecordLine{std::string(text), kLineError, record.groupQmgr});
}

void addRecordInfo(ProgramContext &ctx, CommandRecord &record, std::string_view text) {
  addRecordLine(ctx, record, RecordLine{std::string(text), kLineInfo, record.groupQmgr});
}

void checkRecordAttributes(ProgramContext &ctx, const CommandRecord &record, const ResponseRecord &response) {
  if (!ctx.countingUnhandled || !isDisplayCommand(record.commandText)) return;
  VocabContext vctx;
  const CommandDef *display = findCommand(vctx, "", "DISPLAY", kExact, false, nullptr);
  std::string objectType(commandWord(record.commandText, 1));
  const CommandDef *command =
      display ? findObjectType(vctx, display, "", objectType, kExact, false, true, nullptr) : nullptr;
  uint32_t count = 0;
  for (const std::string &line : uncheckedAttributes(response, command, count))
    if (ctx.output) ctx.output->addLine(kScreenMqsc, line, kStyleError, record.outputGroup);
  ctx.unhandledAttributes += count;
}

namespace {

class ReceivedLines : public RecordOutput {
 public:
  void piece(ProgramContext &ctx, CommandRecord &record, OutputPiece &&piece) override {
    if (piece.kind == OutputPiece::Record) checkRecordAttributes(ctx, record, piece.body);
    uint32_t style = piece.kind == OutputPiece::Error ? kStyleError : kStyleInfo;
    if (piece.quiet || record.responsesHidden) style |= kStyleHidden;
    forEachPhysicalLine(piece.text(), [&](std::string_view part) {
      if (ctx.output) ctx.output->addLine(kScreenMqsc, part, style, record.outputGroup);
    });
  }
  void finish(ProgramContext &, CommandRecord &) override {}
};

}  // namespace

std::unique_ptr<RecordOutput> linesAsReceived(ProgramContext &, CommandRecord &) {
  return std::make_unique<ReceivedLines>();
}

bool completeCommandRecord(ProgramContext &ctx, CommandRecord &record) {
  OwnedMutexGuard guard(ctx.displayLock);
  if (record.complete()) return record.succeeded;
  endReceivedRecord(ctx, record);
  record.marks |= kMarkComplete;
  record.marks &= ~kMarkMarkerAdded;
  bool succeeded = !record.has(kMarkError);
  // An empty DISPLAY is a success unless =count emptydsp(fail) says otherwise.
  if (!succeeded && record.has(kMarkNotFound) && record.has(kMarkFilterable) && record.isDisplay &&
      !ctx.counting.emptydspFails)
    succeeded = true;
  record.succeeded = succeeded;

  outputOf(ctx, record).finish(ctx, record);
  recordOutcome(ctx, record, succeeded);
  return succeeded;
}

std::string incompleteMarkerText(const CommandRecord &record) {
  if (record.recordCount == 0) return "<Responses incomplete>";
  return strFormat("<Responses incomplete (received:%d)>", static_cast<int>(record.recordCount));
}

namespace {

class HeldPieces : public RecordOutput {
 public:
  void piece(ProgramContext &, CommandRecord &, OutputPiece &&piece) override { pieces.push_back(std::move(piece)); }
  void finish(ProgramContext &, CommandRecord &) override {}
  std::vector<OutputPiece> pieces;
};

// The first line of a failed member's error text.
std::string failureText(const CommandRecord &record) {
  if (!record.errorLines.empty()) return record.errorLines.front();
  if (!record.errorText.empty()) return record.errorText;
  return "Command failed";
}

}  // namespace

std::unique_ptr<RecordOutput> heldForMerge() { return std::make_unique<HeldPieces>(); }

bool completeMergedAnswer(ProgramContext &ctx, CommandRecord &merged, std::vector<MemberAnswer> &members) {
  OwnedMutexGuard guard(ctx.displayLock);
  // 1. What every member's preparation found (the modifiers, a DISPLAY) holds for the whole.
  merged.fleet = true;
  merged.tallied = false;
  merged.marks |= kMarkSeveralQmgrs;
  for (const MemberAnswer &m : members) {
    const CommandRecord &r = *m.record;
    if (r.modifiers && !merged.modifiers) {
      merged.modifiers = r.modifiers;
      merged.marks |= r.marks & kMarkHasModifiers;
    }
    merged.isDisplay = merged.isDisplay || r.isDisplay;
    merged.countable = merged.countable && r.countable;
    merged.marks |= r.marks & (kMarkFilterable | kMarkQmgrDetails | kMarkResponsesLimited | kMarkSourceLimited);
  }
  // 2. Each member's output in turn, as one queue manager's part of the answer.
  bool allSucceeded = true;
  std::vector<ResponseRecord> failures;
  for (MemberAnswer &m : members) {
    CommandRecord &r = *m.record;
    auto *held = dynamic_cast<HeldPieces *>(r.output.get());
    merged.receivedCount += r.receivedCount;
    merged.receivedByQmgr[m.qmgr] = r.receivedCount;
    merged.recordCount += r.recordCount;
    if (!r.succeeded) {
      allSucceeded = false;
      if (merged.errorText.empty()) merged.errorText = failureText(r);
      if (merged.reason == 0) merged.reason = r.reason;
      std::string text = strFormat("REASON(%d) ERROR(%s)", static_cast<int>(r.reason), failureText(r).c_str());
      failures.emplace_back(std::move(text), m.qmgr, true);
      parseResponseRecord(failures.back(), nullptr);
    }
    OutputPiece start{OutputPiece::GroupStart, ResponseRecord("", m.qmgr), false};
    outputOf(ctx, merged).piece(ctx, merged, std::move(start));
    if (held) {
      for (OutputPiece &piece : held->pieces) {
        piece.body.qmgr = m.qmgr;
        // A failed member's words are its error: no other member's output turns on them.
        if (!r.succeeded && piece.kind == OutputPiece::Text) piece.kind = OutputPiece::Error;
        if (!r.succeeded && piece.kind == OutputPiece::Error) piece.reason = r.reason;
        if (piece.kind == OutputPiece::Record) merged.marks |= kMarkData;
        outputOf(ctx, merged).piece(ctx, merged, std::move(piece));
      }
      held->pieces.clear();
    }
    OutputPiece end{OutputPiece::GroupEnd, ResponseRecord("", m.qmgr), false};
    outputOf(ctx, merged).piece(ctx, merged, std::move(end));
    for (ResponseRecord &kept : r.keptRecords) {
      kept.qmgr = m.qmgr;
      merged.keptRecords.push_back(std::move(kept));
    }
    r.keptRecords.clear();
  }
  // 3. Laid out, sorted and totalled as one; then the failed members' records, so that a
  //    loop over the answer meets each of them once.
  merged.marks |= kMarkComplete;
  merged.marks &= ~kMarkMarkerAdded;
  merged.succeeded = allSucceeded;
  outputOf(ctx, merged).finish(ctx, merged);
  if (!allSucceeded) merged.marks |= kMarkError;
  if (merged.keepRecords)
    for (ResponseRecord &f : failures) merged.keptRecords.push_back(std::move(f));
  return allSucceeded;
}
