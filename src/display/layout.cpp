#include "display/layout.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "context/context.h"
#include "context/output.h"
#include "context/settings.h"
#include "display/json_records.h"
#include "display/message_rules.h"
#include "display/modifiers.h"
#include "mqsc/attribute_tokenizer.h"
#include "mqsc/request.h"
#include "runtime/scan.h"

namespace {

struct Column {
  size_t width = 0;
  size_t position = 0;
  size_t order = 0;
};

// The column a token belongs to in the content style: list items after the first each
// take a column of their own after the list's first.
std::string columnKey(const AttributeToken &token, size_t listIndex) {
  std::string key(token.column.empty() ? token.keyword : token.column);
  if (listIndex > 0) key += "\x01" + std::to_string(listIndex);
  return key;
}

// A token as it is shown: a time stamp in local time, anything else as it is.
std::string_view shownToken(const AttributeToken &token, std::string &scratch) {
  if (token.isWholeLine || token.keyword.empty() || !isTimeStampAttribute(token.keyword)) return token.text;
  scratch = localTimeStamp(token.text);
  return scratch;
}

// The layout of one command's output, fed piece by piece as the output arrives. What
// can be written at once is written at once and let go: a record costs memory only
// while it is laid out. The output is held only while its form is still open: a sort
// needs every record; content columns need the widest value of every column until they
// are known to be too wide for the screen (the style then falls back to fixed columns
// and the held records go out); a z/OS response, whose last line may still turn the
// whole command into plain text, is held to its end.
class Layout : public RecordOutput {
 public:
  Layout(ProgramContext &ctx, CommandRecord &record)
      : ctx_(ctx), record_(record), state_(findModifierState(record)), settings_(ctx.settings) {
    width_ = static_cast<size_t>(std::max<int32_t>(ctx.outputWidth, 1));
    listMode_ = settings_.listval == 1 ? ListValueMode::One : ListValueMode::PerItem;
    if (settings_.json()) json_ = std::make_unique<JsonRecordWriter>(ctx, record, state_);
    maximum_ = state_ && state_->hasMaxResp ? state_->maxResp : settings_.defmaxresp;
    scan_.formatting = settings_.on(kOptFormatting);
    scan_.authMessages = settings_.on(kOptAuthMsgs);
    scan_.displayTotals = settings_.on(kOptDisTotals);
    sorting_ = state_ && state_->sortKey;
    bool filterable = record.has(kMarkFilterable) && !record.has(kMarkError);
    columnsOpen_ = filterable && settings_.colstyle != 1 && !json_ && !settings_.on(kOptWrap);
    // Measured as they come, content columns show as soon as they are too wide (and,
    // sorted, at the end without being measured again).
    measuring_ = columnsOpen_ && settings_.colstyle == 0 && !record.zosText;
    holding_ = sorting_ || columnsOpen_ || record.zosText;
  }

  void piece(ProgramContext &, CommandRecord &, OutputPiece &&piece) override {
    if (piece.kind == OutputPiece::Record) checkRecordAttributes(ctx_, record_, piece.body);
    if (!holding_) return emit(std::move(piece));
    if (piece.kind != OutputPiece::Record) return held_.push_back(std::move(piece));
    ResponseRecord &body = piece.body;
    if (measuring_) measure(body);
    if (sorting_ && !sortFailed_) {
      keys_.emplace_back();
      std::string error;
      if (!evaluateSortKey(*state_, body, keys_.back(), error)) sortFailed_ = true;  // arrival order stands
    }
    body.attributes.shrink_to_fit();
    held_.push_back(std::move(piece));
    if (!measuring_ || sorting_ || measuredTotal() <= width_) return;
    // Too wide for content columns: the fixed style it is, and nothing need wait.
    columnsOpen_ = measuring_ = holding_ = false;
    content_ = false;
    releaseHeld();
  }

  void finish(ProgramContext &, CommandRecord &) override {
    syncScan();
    if (holding_) {
      if (scan_.filterable) {
        if (sorting_) sortHeld();
        if (columnsOpen_) planColumns();
      }
      releaseHeld();
    }

    if (!scan_.error) {
      bool quiet = quietAll();
      if (record_.has(kMarkResponsesLimited)) {
        write("", kStyleNote, quiet);
        write("Responses limited as requested", kStyleNote, quiet);
      }
      if (record_.has(kMarkSourceLimited)) {
        write("", kStyleNote, quiet);
        write("Source records limited as requested", kStyleNote, quiet);
      }
      if (scan_.filterable) {
        uint32_t received = std::max(record_.receivedCount, matched_);
        if (settings_.on(kOptDisTotals) && !record_.has(kMarkQmgrDetails))
          totals("Total", received, matched_, shown_, true, quiet);
        else if (matched_ > maximum_)
          write(strFormat("Only %u of %u shown as requested", shown_, matched_), kStyleNote, quiet);
        if (matched_ == 0) write("No matching responses received", kStyleError, quiet);
      }
    }

    // What scripts read of the user's command: its last record shown and its matches.
    record_.lastShown = std::move(lastShown_);
    record_.matched = matched_;
    record_.shownAsCurrent = record_.kind == RecordKind::UserCommand && record_.isCurrentCommand && !quietAll();
  }

 private:
  bool quietAll() const {
    return record_.kind == RecordKind::ScriptCommand || record_.checkingAttributes || record_.responsesHidden;
  }

  // The command's state as the pieces go out: an error the replies reported since the
  // last piece turns the rest of the output to plain text.
  void syncScan() {
    if (!scanStarted_) {
      scanStarted_ = true;
      scan_.error = record_.has(kMarkError);
      scan_.filterable = record_.has(kMarkFilterable) && !scan_.error;
    } else if (!scan_.error && record_.has(kMarkError)) {
      scan_.error = true;
      scan_.filterable = false;
    }
  }

  void releaseHeld() {
    std::vector<OutputPiece> held = std::move(held_);
    held_.clear();
    for (OutputPiece &piece : held) emit(std::move(piece));
  }

  void emit(OutputPiece &&item) {
    syncScan();
    bool quiet = item.quiet || quietAll();
    // A fleet's messages name the member they came from.
    std::string_view member = record_.fleet ? std::string_view(item.body.qmgr) : std::string_view();
    switch (item.kind) {
    case OutputPiece::Info: write(item.text(), kStyleInfo, quiet, member); return;
    case OutputPiece::Error: write(item.text(), kStyleError, quiet, member, item.reason); return;
    case OutputPiece::GroupStart: startQmgrGroup(scan_); return;
    case OutputPiece::GroupEnd:
      if (qmgrSubtotalDue(scan_))
        totals("Subtotal", std::max(scan_.groupReceived, receivedFrom(item.body.qmgr)), scan_.groupMatched, 0, false,
               quiet, item.body.qmgr);
      return;
    case OutputPiece::Record: {
      ++scan_.groupReceived;
      if (scan_.plain || scan_.error) return writeAsReceived(item, quiet, member);
      ++matched_;
      ++scan_.groupMatched;
      if (scan_.filterable && matched_ > maximum_) return;
      ++shown_;
      if (item.text().starts_with("TYPE(HANDLE)")) write(" ", kStyleInfo, quiet);
      layRecord(item.body, quiet);
      lastShown_ = std::move(item.body);
      return;
    }
    case OutputPiece::Text: break;
    }
    // A message with a rule of its own (message_rules.h); any other line is shown as it came.
    if (const MessageRule *rule = findMessageRule(item.text())) {
      LineOutcome outcome = rule->apply(item.text(), scan_);
      record_.marks |= outcome.marks;
      if (outcome.subtotal)
        totals("Subtotal", std::max(scan_.groupReceived, receivedFrom(item.body.qmgr)), scan_.groupMatched, 0, false,
               quiet, item.body.qmgr);
      if (outcome.hidden) return;
    }
    writeAsReceived(item, quiet, member);
  }

  // Records a queue manager of the group sent, those the filters dropped on arrival too.
  uint32_t receivedFrom(const std::string &qmgr) const {
    auto it = record_.receivedByQmgr.find(qmgr);
    return it == record_.receivedByQmgr.end() ? 0 : it->second;
  }

  void sortHeld() {
    // With several queue managers the completion lines would end up between strangers.
    if (record_.has(kMarkSeveralQmgrs)) {
      held_.erase(std::remove_if(held_.begin(), held_.end(),
                                 [](const OutputPiece &p) {
                                   return (p.kind == OutputPiece::Text && isCompletionMessage(p.text())) ||
                                          p.kind == OutputPiece::GroupStart || p.kind == OutputPiece::GroupEnd;
                                 }),
                  held_.end());
    }
    std::vector<size_t> slots;
    for (size_t i = 0; i < held_.size(); ++i)
      if (held_[i].kind == OutputPiece::Record) slots.push_back(i);
    std::vector<size_t> order;
    std::string error;
    if (sortFailed_ || !sortOrder(*state_, keys_, order, error)) return;  // arrival order stands
    std::vector<OutputPiece> sorted;
    sorted.reserve(slots.size());
    for (size_t k : order) sorted.push_back(std::move(held_[slots[k]]));
    for (size_t k = 0; k < slots.size(); ++k) held_[slots[k]] = std::move(sorted[k]);
    // A fleet's sorted records come first; what its members said besides follows them.
    if (record_.fleet)
      std::stable_partition(held_.begin(), held_.end(),
                            [](const OutputPiece &p) { return p.kind == OutputPiece::Record; });
    // A foreach walks the records in the order they are shown.
    std::vector<ResponseRecord> &kept = record_.keptRecords;
    if (kept.size() == order.size()) {
      std::vector<ResponseRecord> inOrder;
      inOrder.reserve(kept.size());
      for (size_t k : order) inOrder.push_back(std::move(kept[k]));
      kept = std::move(inOrder);
    }
  }

  bool tokenHidden(const AttributeToken &t) const {
    return state_ && !t.isHeader && !t.isPseudo && !t.isWholeLine && state_->hidden(t.keyword, t.column);
  }

  // Takes a record's tokens into the content columns (the first records the limit
  // lets show, in the order they are shown).
  void measure(const ResponseRecord &record) {
    // Counted to the end, so that the end knows whether every record shown was measured.
    if (++measured_ > maximum_ || tooWide_) return;
    AttributeTokenizer tok(record, listMode_, record_.has(kMarkSeveralQmgrs));
    AttributeToken t;
    std::string scratch;
    size_t listIndex = 0;
    while (tok.next(t)) {
      if (t.isHeader || t.isWholeLine || tokenHidden(t)) continue;
      listIndex = t.keyword.empty() ? listIndex + 1 : 0;
      size_t length = shownToken(t, scratch).size();
      auto [it, added] = columns_.try_emplace(columnKey(t, listIndex));
      if (added) it->second.order = columns_.size();
      if (length > it->second.width) {
        widths_ += length - it->second.width;
        it->second.width = length;
      }
    }
    // Too wide only gets wider: with the auto style nothing more need be measured.
    tooWide_ = settings_.colstyle == 0 && measuredTotal() > width_;
  }
  // The width the content columns take on one line: each column one blank from the next.
  size_t measuredTotal() const { return columns_.empty() ? 0 : widths_ + columns_.size() - 1; }

  // Positions the content columns measured over the records to be shown.
  void planColumns() {
    // Measured as they came over every record shown: too wide is too wide in any order.
    bool exact = measuring_ && measured_ <= maximum_;
    if (exact && settings_.colstyle == 0 && measuredTotal() > width_) {
      content_ = false;
      return;
    }
    if (!measuring_ || sorting_) {  // measured again, in the order the records are shown
      columns_.clear();
      widths_ = measured_ = 0;
      tooWide_ = false;
      for (const OutputPiece &piece : held_)
        if (piece.kind == OutputPiece::Record) measure(piece.body);
    }
    std::vector<Column *> ordered;
    for (auto &entry : columns_) ordered.push_back(&entry.second);
    std::sort(ordered.begin(), ordered.end(), [](const Column *a, const Column *b) { return a->order < b->order; });
    size_t position = 0;
    for (Column *c : ordered) {
      c->position = position;
      position += c->width + 1;
    }
    content_ = !columns_.empty();
    if (measuredTotal() <= width_) return;
    if (settings_.colstyle == 0) {  // auto: too wide for content columns
      content_ = false;
      return;
    }
    // Content style kept: a column that would cross the end of a line starts the next.
    position = 0;
    for (Column *c : ordered) {
      size_t lineStart = position / width_ * width_;
      if (position + c->width > lineStart + width_ && position != lineStart) position = lineStart + width_;
      c->position = position;
      position += c->width + 1;
    }
  }

  // A line of the command's output; with JSON output its message object.
  // `member`: the fleet member that said it (text: a prefix; JSON: its qmgr, and the
  // reason it failed with).
  void write(std::string_view text, uint32_t style, bool quiet, std::string_view member = {}, int32_t reason = 0) {
    if (!json_) {
      if (member.empty() || text.empty()) return writeLine(text, style, quiet);
      std::string named(member);
      named += ": ";
      named += text;
      return writeLine(named, style, quiet);
    }
    std::string object = json_->message(text, style, member, reason);
    if (!object.empty()) writeLine(object, kStyleJson, quiet);
  }

  void writeLine(std::string_view text, uint32_t style, bool quiet) {
    if (quiet) style |= kStyleHidden;
    if (ctx_.output) ctx_.output->addLine(kScreenMqsc, text, style, record_.outputGroup);
  }

  // Response text as received: one output line per physical line. With JSON output a
  // record is still one object, whatever the text layout would do with it.
  void writeAsReceived(const OutputPiece &item, bool quiet, std::string_view member = {}) {
    if (json_ && item.kind == OutputPiece::Record) return layRecord(item.body, quiet);
    uint32_t style = item.kind == OutputPiece::Error ? kStyleError : kStyleInfo;
    forEachPhysicalLine(item.text(), [&](std::string_view part) { write(part, style, quiet, member); });
  }

  void layRecord(const ResponseRecord &record, bool quiet) {
    bool several = record_.has(kMarkSeveralQmgrs);
    if (json_) {
      std::string object =
          json_->record(record, several, [&](std::string_view line) { writeLine(line, kStyleJson, quiet); });
      return writeLine(object, kStyleJson, quiet);
    }
    AttributeTokenizer tok(record, listMode_, several);
    AttributeToken t;
    if (!tok.next(t)) return;
    std::string_view header = t.text;
    while (!header.empty() && (header.front() == ' ' || header.front() == '\n')) header.remove_prefix(1);
    writeLine(header, kStyleRecordHeader, quiet);

    bool wrapOn = settings_.on(kOptWrap);
    bool content = content_ && !wrapOn;
    size_t columns = settings_.columns > 0 ? static_cast<size_t>(settings_.columns)
                                           : std::max<size_t>(width_ / std::max<int32_t>(settings_.colwidth, 1), 1);
    size_t columnWidth = std::max<size_t>(width_ / columns, 1);
    std::string &line = line_;
    line.clear();
    size_t next = 0;  // where the next token starts on `line`
    size_t listIndex = 0;
    auto flush = [&] {
      if (!line.empty()) writeLine(line, kStyleAttributes, quiet);
      line.clear();
      next = 0;
    };
    std::string scratch;
    while (tok.next(t)) {
      if (tokenHidden(t)) continue;
      std::string_view token = shownToken(t, scratch);
      listIndex = t.keyword.empty() ? listIndex + 1 : 0;
      if (t.isWholeLine) {
        flush();
        writeLine(token, kStyleAttributes, quiet);
        continue;
      }
      if (wrapOn) {
        if (!line.empty()) line += ' ';
        line += token;
        continue;
      }
      if (content) {
        auto it = columns_.find(columnKey(t, listIndex));
        if (it == columns_.end()) continue;
        size_t target = it->second.position;
        if (line.size() > target) target = line.size() + 1;  // never overwrite
        line.resize(target, ' ');
        line += token;
        continue;
      }
      if (columns == 1) {
        flush();
        writeLine(token, kStyleAttributes, quiet);
        continue;
      }
      if (!line.empty() && (next >= width_ || width_ - next < token.size())) flush();
      line.resize(next, ' ');
      line += token;
      next = (next + token.size() + columnWidth) / columnWidth * columnWidth;
    }
    flush();
  }

  void totals(const char *what, uint32_t received, uint32_t matched, uint32_t shown, bool total, bool quiet,
              std::string_view qsgQmgr = {}) {
    std::string line = strFormat("%s display responses - Received:%u", what, received);
    if (matched != received) line += strFormat(" Matched:%u/%u", matched, received);
    if (total && matched > maximum_) line += strFormat(" Shown:%u/%u", shown, matched);
    if (!json_) return writeLine(line, kStyleTotals, quiet);
    writeLine(json_->totals({total, qsgQmgr, received, matched, shown, line}), kStyleJson, quiet);
  }

  ProgramContext &ctx_;
  CommandRecord &record_;
  ModifierState *state_;
  const Settings &settings_;
  size_t width_ = 80;
  ListValueMode listMode_ = ListValueMode::PerItem;
  int64_t maximum_ = 0;  // records shown at most
  MessageScan scan_;     // what the message rules and the layout share as the lines go by
  bool scanStarted_ = false;
  std::unique_ptr<JsonRecordWriter> json_;  // JSON output: how records and messages are written

  bool sorting_ = false;      // =SORT or =SORTD: every record is held to the end
  bool sortFailed_ = false;   // a key could not be evaluated: the records keep their arrival order
  std::vector<SortKey> keys_;  // the held records' sort keys, in arrival order
  bool columnsOpen_ = false;  // the content columns are not known yet
  bool measuring_ = false;    // they are measured as the records come
  bool holding_ = false;      // pieces are held, not written
  std::vector<OutputPiece> held_;
  std::map<std::string, Column> columns_;
  size_t widths_ = 0;    // the columns' widths added up
  bool tooWide_ = false;  // auto style: the columns are wider than the screen
  int64_t measured_ = 0;  // records measured for the columns
  bool content_ = false;  // the content style, columns planned

  uint32_t matched_ = 0, shown_ = 0;
  ResponseRecord lastShown_;
  std::string line_;  // the attribute line being built, its storage kept between records
};

}  // namespace

std::unique_ptr<RecordOutput> layoutCommandRecord(ProgramContext &ctx, CommandRecord &record) {
  return std::make_unique<Layout>(ctx, record);
}

MqscHost displayMqscHost() {
  MqscHost host;
  host.modifiers.attributeSelection = parseAttributeSelection;
  host.modifiers.find = parseFindClauses;
  host.modifiers.where = parseWhereClauses;
  host.modifiers.sort = parseSortClause;
  host.modifiers.maxResponses = parseMaxRespClause;
  host.layout = layoutCommandRecord;
  return host;
}
