#include "mqsc/command_record.h"

#include <mutex>

#include "context/context.h"
#include "context/output.h"
#include "mqsc/attribute_tokenizer.h"
#include "mqsc/command_words.h"
#include "mqsc/mqsc_host.h"
#include "runtime/scan.h"

namespace {

void addLine(ProgramContext &ctx, CommandRecord &record, std::string_view text, uint32_t flags) {
  OwnedMutexGuard guard(ctx.displayLock);
  if (record.kind == RecordKind::ScriptCommand) flags |= kLineQuiet;
  record.lines.push_back(RecordLine{std::string(text), flags, record.groupQmgr});
  record.marks |= kMarkData;
}

// Counts the outcome: the counters only when =count asks for this kind of command, the
// status bits (and so the exit code) always.
void recordOutcome(ProgramContext &ctx, const CommandRecord &record, bool succeeded) {
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

}  // namespace

bool continuesRecord(const RecordLine &line) {
  return (line.flags & kLineResponseText) && !(line.flags & (kLineRecordStart | kLineError | kLineInfo)) &&
         scanMessageId(scanTrim(line.text)).empty();
}

std::vector<CommandRecord::Piece> CommandRecord::pieces() const {
  std::vector<Piece> out;
  for (const RecordLine &line : lines) {
    bool quiet = (line.flags & kLineQuiet) != 0;
    if (line.flags & kLineError) {
      out.push_back(Piece{Piece::Error, line.text, line.qmgr, quiet});
    } else if (line.flags & kLineInfo) {
      out.push_back(Piece{Piece::Info, line.text, line.qmgr, quiet});
    } else if (line.flags & kLineRecordStart) {
      out.push_back(Piece{Piece::Record, line.text, line.qmgr, quiet});
    } else if (!out.empty() && out.back().kind == Piece::Record && continuesRecord(line)) {
      // An attribute line that came on its own belongs to the record before it.
      out.back().text += '\n';
      out.back().text += line.text;
    } else {
      out.push_back(Piece{Piece::Text, line.text, line.qmgr, quiet});
    }
  }
  return out;
}

std::vector<CommandRecord::RecordText> CommandRecord::recordTexts() const {
  std::vector<RecordText> out;
  for (Piece &piece : pieces())
    if (piece.kind == Piece::Record) out.push_back(RecordText{std::move(piece.text), std::move(piece.qmgr)});
  return out;
}

std::string CommandRecord::responseText() const {
  std::string text;
  for (const RecordLine &line : lines) {
    if (!(line.flags & kLineResponseText)) continue;
    if (!text.empty()) text += '\n';
    text += line.text;
  }
  return text;
}

std::vector<std::string> CommandRecord::records() const {
  std::vector<std::string> out;
  for (RecordText &r : recordTexts()) out.push_back(std::move(r.text));
  return out;
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
  addLine(ctx, record, text, kLineError);
}

void addRecordInfo(ProgramContext &ctx, CommandRecord &record, std::string_view text) {
  addLine(ctx, record, text, kLineInfo);
}

void checkRecordAttributes(ProgramContext &ctx, const CommandRecord &record) {
  if (!ctx.countingUnhandled || !isDisplayCommand(record.commandText)) return;
  VocabContext vctx;
  const CommandDef *display = findCommand(vctx, "", "DISPLAY", kExact, false, nullptr);
  std::string objectType(commandWord(record.commandText, 1));
  const CommandDef *command =
      display ? findObjectType(vctx, display, "", objectType, kExact, false, true, nullptr) : nullptr;
  uint32_t count = 0;
  for (const std::string &line : uncheckedAttributes(record, command, count))
    if (ctx.output) ctx.output->addLine(kScreenMqsc, line, kStyleError, record.outputGroup);
  ctx.unhandledAttributes += count;
}

void writeLinesAsReceived(ProgramContext &ctx, CommandRecord &record) {
  checkRecordAttributes(ctx, record);
  for (const RecordLine &line : record.lines) {
    uint32_t style = (line.flags & kLineError) ? kStyleError : kStyleInfo;
    if ((line.flags & kLineQuiet) || record.responsesHidden) style |= kStyleHidden;
    forEachPhysicalLine(line.text, [&](std::string_view part) {
      if (ctx.output) ctx.output->addLine(kScreenMqsc, part, style, record.outputGroup);
    });
  }
}

bool completeCommandRecord(ProgramContext &ctx, CommandRecord &record) {
  OwnedMutexGuard guard(ctx.displayLock);
  if (record.complete()) return record.succeeded;
  record.marks |= kMarkComplete;
  record.marks &= ~kMarkMarkerAdded;
  bool succeeded = !record.has(kMarkError);
  // An empty DISPLAY is a success unless =count emptydsp(fail) says otherwise.
  if (!succeeded && record.has(kMarkNotFound) && record.has(kMarkFilterable) && record.isDisplay &&
      !ctx.counting.emptydspFails)
    succeeded = true;
  record.succeeded = succeeded;

  CommandLayout layout = mqscHost().layout;
  if (layout) layout(ctx, record);
  else writeLinesAsReceived(ctx, record);
  recordOutcome(ctx, record, succeeded);
  return succeeded;
}

std::string incompleteMarkerText(const CommandRecord &record) {
  if (record.recordCount == 0) return "<Responses incomplete>";
  return strFormat("<Responses incomplete (received:%d)>", static_cast<int>(record.recordCount));
}
