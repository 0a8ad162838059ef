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

struct Item : CommandRecord::Piece {
  bool passed = true;
};

// A z/OS record comes as one line: the message number, the command prefix and the
// queue manager, then the attributes. The header is the first two words.
std::string recordForLayout(const std::string &text) {
  if (!text.starts_with("CSQM") || text.find('\n') != std::string::npos) return text;
  size_t first = text.find(' ');
  if (first == std::string::npos) return text;
  size_t second = text.find(' ', text.find_first_not_of(' ', first));
  if (second == std::string::npos) return text;
  return text.substr(0, second) + "\n" + text.substr(second);
}

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

class Layout {
 public:
  Layout(ProgramContext &ctx, CommandRecord &record)
      : ctx_(ctx), record_(record), state_(findModifierState(record)), settings_(ctx.settings) {
    width_ = static_cast<size_t>(std::max<int32_t>(ctx.outputWidth, 1));
    listMode_ = settings_.listval == 1 ? ListValueMode::One : ListValueMode::PerItem;
    several_ = record.has(kMarkSeveralQmgrs);
    quietAll_ = record.kind == RecordKind::ScriptCommand || record.checkingAttributes || record.responsesHidden;
    if (settings_.json()) json_ = std::make_unique<JsonRecordWriter>(ctx, record, state_);
    const CommandDef *command =
        state_ && state_->command ? state_->command : identifyCommand(record, record.commandText);
    fields_ = command ? command->fields : nullptr;
  }

  void run() {
    collectItems();
    int64_t maximum = state_ && state_->hasMaxResp ? state_->maxResp : settings_.defmaxresp;
    scan_.error = record_.has(kMarkError);
    scan_.filterable = record_.has(kMarkFilterable) && !scan_.error;
    scan_.formatting = settings_.on(kOptFormatting);
    scan_.authMessages = settings_.on(kOptAuthMsgs);
    scan_.displayTotals = settings_.on(kOptDisTotals);
    if (scan_.filterable) {
      bool filtering = record_.has(kMarkHasModifiers) && !record_.filters.empty();
      for (Item &item : items_) {
        if (item.kind != Item::Record) continue;
        if (filtering) item.passed = recordPasses(record_, item.text, item.qmgr);
      }
      if (state_ && state_->sortKey) sortRecords();
      if (settings_.colstyle != 1 && !json_) planColumns(maximum);
    }

    uint32_t matched = 0, shown = 0;
    const Item *lastShown = nullptr;
    for (const Item &item : items_) {
      switch (item.kind) {
      case Item::Info: write(item.text, kStyleInfo, item.quiet); continue;
      case Item::Error: write(item.text, kStyleError, item.quiet); continue;
      case Item::Record: {
        ++scan_.groupReceived;
        if (scan_.plain || scan_.error) {
          writeAsReceived(item);
          continue;
        }
        if (!item.passed) continue;
        ++matched;
        ++scan_.groupMatched;
        if (scan_.filterable && matched > maximum) continue;
        ++shown;
        lastShown = &item;
        if (item.text.starts_with("TYPE(HANDLE)")) write(" ", kStyleInfo, item.quiet);
        layRecord(item);
        continue;
      }
      case Item::Text: break;
      }
      // A message with a rule of its own (message_rules.h); any other line is shown as it came.
      if (const MessageRule *rule = findMessageRule(item.text)) {
        LineOutcome outcome = rule->apply(item.text, scan_);
        record_.marks |= outcome.marks;
        if (outcome.subtotal)
          totals("Subtotal", std::max(scan_.groupReceived, receivedFrom(item.qmgr)), scan_.groupMatched, 0, maximum,
                 false, item.quiet, item.qmgr);
        if (outcome.hidden) continue;
      }
      writeAsReceived(item);
    }

    if (!scan_.error) {
      bool quiet = quietAll_;
      if (record_.has(kMarkResponsesLimited)) {
        write("", kStyleNote, quiet);
        write("Responses limited as requested", kStyleNote, quiet);
      }
      if (record_.has(kMarkSourceLimited)) {
        write("", kStyleNote, quiet);
        write("Source records limited as requested", kStyleNote, quiet);
      }
      if (scan_.filterable) {
        uint32_t received = std::max(record_.receivedCount, matched);
        if (settings_.on(kOptDisTotals) && !record_.has(kMarkQmgrDetails))
          totals("Total", received, matched, shown, maximum, true, quiet);
        else if (matched > maximum)
          write(strFormat("Only %u of %u shown as requested", shown, matched), kStyleNote, quiet);
        if (matched == 0) write("No matching responses received", kStyleError, quiet);
      }
    }

    // What scripts read of the user's command: its last record shown and its matches.
    record_.lastShown =
        lastShown ? CommandRecord::RecordText{lastShown->text, lastShown->qmgr} : CommandRecord::RecordText{};
    record_.matched = matched;
    record_.shownAsCurrent = record_.kind == RecordKind::UserCommand && record_.isCurrentCommand && !quietAll_;
  }

 private:
  void collectItems() {
    for (CommandRecord::Piece &piece : record_.pieces()) {
      piece.quiet = piece.quiet || quietAll_;
      items_.push_back(Item{std::move(piece)});
    }
  }

  // Records a queue manager of the group sent, those the filters dropped on arrival too.
  uint32_t receivedFrom(const std::string &qmgr) const {
    auto it = record_.receivedByQmgr.find(qmgr);
    return it == record_.receivedByQmgr.end() ? 0 : it->second;
  }

  void sortRecords() {
    // With several queue managers the completion lines would end up between strangers.
    if (several_) {
      items_.erase(std::remove_if(items_.begin(), items_.end(),
                                  [](const Item &i) { return i.kind == Item::Text && isCompletionMessage(i.text); }),
                   items_.end());
    }
    std::vector<size_t> slots;
    std::vector<RecordRef> refs;
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].kind != Item::Record || !items_[i].passed) continue;
      slots.push_back(i);
      refs.push_back(RecordRef{items_[i].text, items_[i].qmgr});
    }
    std::vector<size_t> order;
    std::string error;
    if (!sortOrder(*state_, refs, order, error)) return;  // arrival order stands
    std::vector<Item> sorted;
    sorted.reserve(slots.size());
    for (size_t k : order) sorted.push_back(std::move(items_[slots[k]]));
    for (size_t k = 0; k < slots.size(); ++k) items_[slots[k]] = std::move(sorted[k]);
  }

  bool tokenHidden(const AttributeToken &t) const {
    return state_ && !t.isHeader && !t.isPseudo && !t.isWholeLine && state_->hidden(t.keyword, t.column);
  }

  void planColumns(int64_t maximum) {
    int64_t planned = 0;
    for (const Item &item : items_) {
      if (item.kind != Item::Record || !item.passed) continue;
      if (++planned > maximum) break;
      std::string text = recordForLayout(item.text);
      AttributeTokenizer tok(text, listMode_, several_, item.qmgr, fields_);
      AttributeToken t;
      size_t listIndex = 0;
      while (tok.next(t)) {
        if (t.isHeader || t.isWholeLine || tokenHidden(t)) continue;
        listIndex = t.keyword.empty() ? listIndex + 1 : 0;
        std::string key = columnKey(t, listIndex);
        size_t length = localTimeStamp(t.text).size();
        auto [it, added] = columns_.try_emplace(key);
        if (added) it->second.order = columns_.size();
        it->second.width = std::max(it->second.width, length);
      }
    }
    std::vector<Column *> ordered;
    for (auto &entry : columns_) ordered.push_back(&entry.second);
    std::sort(ordered.begin(), ordered.end(), [](const Column *a, const Column *b) { return a->order < b->order; });
    size_t position = 0, total = 0;
    for (Column *c : ordered) {
      c->position = position;
      total = position + c->width;
      position += c->width + 1;
    }
    content_ = !columns_.empty();
    if (total <= width_) return;
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
  void write(std::string_view text, uint32_t style, bool quiet) {
    if (!json_) return writeLine(text, style, quiet);
    std::string object = json_->message(text, style);
    if (!object.empty()) writeLine(object, kStyleJson, quiet);
  }

  void writeLine(std::string_view text, uint32_t style, bool quiet) {
    if (quiet) style |= kStyleHidden;
    if (ctx_.output) ctx_.output->addLine(kScreenMqsc, text, style, record_.outputGroup);
  }

  // Response text as received: one output line per physical line. With JSON output a
  // record is still one object, whatever the text layout would do with it.
  void writeAsReceived(const Item &item) {
    if (json_ && item.kind == Item::Record) return layRecord(item);
    forEachPhysicalLine(item.text, [&](std::string_view part) { write(part, kStyleInfo, item.quiet); });
  }

  void layRecord(const Item &item) {
    std::string text = recordForLayout(item.text);
    if (json_) {
      std::string object =
          json_->record(text, item.qmgr, [&](std::string_view line) { writeLine(line, kStyleJson, item.quiet); });
      return writeLine(object, kStyleJson, item.quiet);
    }
    AttributeTokenizer tok(text, listMode_, several_, item.qmgr, fields_);
    AttributeToken t;
    if (!tok.next(t)) return;
    std::string_view header = t.text;
    while (!header.empty() && (header.front() == ' ' || header.front() == '\n')) header.remove_prefix(1);
    writeLine(header, kStyleRecordHeader, item.quiet);

    bool wrapOn = settings_.on(kOptWrap);
    bool content = content_ && !wrapOn;
    size_t columns = settings_.columns > 0 ? static_cast<size_t>(settings_.columns)
                                           : std::max<size_t>(width_ / std::max<int32_t>(settings_.colwidth, 1), 1);
    size_t columnWidth = std::max<size_t>(width_ / columns, 1);
    std::string line;
    size_t next = 0;  // where the next token starts on `line`
    size_t listIndex = 0;
    auto flush = [&] {
      if (!line.empty()) writeLine(line, kStyleAttributes, item.quiet);
      line.clear();
      next = 0;
    };
    while (tok.next(t)) {
      if (tokenHidden(t)) continue;
      std::string token = localTimeStamp(t.text);
      listIndex = t.keyword.empty() ? listIndex + 1 : 0;
      if (t.isWholeLine) {
        flush();
        writeLine(token, kStyleAttributes, item.quiet);
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
        writeLine(token, kStyleAttributes, item.quiet);
        continue;
      }
      if (!line.empty() && (next >= width_ || width_ - next < token.size())) flush();
      line.resize(next, ' ');
      line += token;
      next = (next + token.size() + columnWidth) / columnWidth * columnWidth;
    }
    flush();
  }

  void totals(const char *what, uint32_t received, uint32_t matched, uint32_t shown, int64_t maximum, bool total,
              bool quiet, std::string_view qsgQmgr = {}) {
    std::string line = strFormat("%s display responses - Received:%u", what, received);
    if (matched != received) line += strFormat(" Matched:%u/%u", matched, received);
    if (total && matched > maximum) line += strFormat(" Shown:%u/%u", shown, matched);
    if (!json_) return writeLine(line, kStyleTotals, quiet);
    writeLine(json_->totals({total, qsgQmgr, received, matched, shown, line}), kStyleJson, quiet);
  }

  ProgramContext &ctx_;
  CommandRecord &record_;
  ModifierState *state_;
  const Settings &settings_;
  const FieldDef *fields_ = nullptr;  // the command's keywords: what its records can hold
  size_t width_ = 80;
  ListValueMode listMode_ = ListValueMode::PerItem;
  bool several_ = false;
  bool quietAll_ = false;
  MessageScan scan_;  // what the message rules and the layout share as the lines go by
  bool content_ = false;
  std::unique_ptr<JsonRecordWriter> json_;  // JSON output: how records and messages are written
  std::vector<Item> items_;
  std::map<std::string, Column> columns_;
};

}  // namespace

void layoutCommandRecord(ProgramContext &ctx, CommandRecord &record) {
  checkRecordAttributes(ctx, record);
  Layout(ctx, record).run();
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
