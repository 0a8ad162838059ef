// Lookups over the command, field and value tables: exact resolution for the command
// parser and the output modifiers, and prefix cycling for Tab completion.
#include <cstdio>

#include "runtime/trace_sink.h"
#include <cstring>
#include <mutex>

#include "mqsc/vocab.h"
#include "mqsc/vocab_data.h"
#include "mqsc/vocab_match.h"
#include "text/text.h"

using vocab::prefixMatches;
using vocab::setMessage;

namespace {

// Messages of one lookup kind.
struct Messages {
  const char* exactMiss;
  const char* noMatch;
  const char* noAlternative;
};

constexpr Messages kCommandMessages{"Command '%s' not found", "No command starting with prefix '%s' found",
                                    "No alternative command with prefix '%s' found"};
constexpr Messages kObjectMessages{"Object type '%s' not recognised", "No object type starting with prefix '%s' found",
                                   "No alternative object type with prefix '%s' found"};
constexpr Messages kFieldMessages{"Field '%s' not found", "No field starting with prefix '%s' found",
                                  "No alternative field with prefix '%s' found"};
constexpr Messages kValueMessages{"Value '%s' not found", "No value with prefix '%s' found",
                                  "No alternative value with prefix '%s' found"};

// Walks candidates in table order and picks the answer for a direction: the row equal to the
// current word, and the first/last matches overall, after and before it.
template <class Row>
class Cycle {
 public:
  Cycle(std::string_view current, std::string_view prefix, int direction)
      : current_(current), prefix_(prefix), direction_(direction) {}

  // Offers a candidate; returns true when the walk can stop (exact hit).
  template <class Equals, class Matches>
  bool Offer(const Row* row, Equals equals, Matches matches) {
    const bool isCurrent = !currentRow_ && !current_.empty() && equals(current_);
    if (isCurrent) {
      currentRow_ = row;
      if (direction_ == kExact) return true;
    }
    if (direction_ == kExact) return false;
    if (!matches(prefix_)) return false;
    if (isCurrent) {
      currentMatches_ = true;
      return false;
    }
    if (!firstAll_) firstAll_ = row;
    lastAll_ = row;
    if (currentRow_) {
      if (!firstAfter_) firstAfter_ = row;
    } else {
      lastBefore_ = row;
    }
    return false;
  }

  const Row* Result(bool allowCurrent, const Messages& messages, std::string* message,
                    const char* emptyNoMatch = nullptr) const {
    if (direction_ == kExact) {
      if (!currentRow_) setMessage(message, messages.exactMiss, current_);
      return currentRow_;
    }
    if (firstAll_) {
      if (direction_ == kPrevious) return lastBefore_ ? lastBefore_ : lastAll_;
      return firstAfter_ ? firstAfter_ : firstAll_;
    }
    if (currentRow_ && currentMatches_) {
      if (allowCurrent) return currentRow_;
      setMessage(message, messages.noAlternative, prefix_);
      return nullptr;
    }
    if (prefix_.empty() && emptyNoMatch) setMessage(message, emptyNoMatch, prefix_);
    else setMessage(message, messages.noMatch, prefix_);
    return nullptr;
  }

 private:
  std::string_view current_, prefix_;
  int direction_;
  const Row* currentRow_ = nullptr;
  bool currentMatches_ = false;
  const Row *firstAll_ = nullptr, *lastAll_ = nullptr, *firstAfter_ = nullptr, *lastBefore_ = nullptr;
};

bool ModeVisible(uint8_t mode, CommandTarget target) {
  switch (mode) {
  case kModeQueueManager: return target == CommandTarget::QueueManager;
  case kModeQmgrOrCcdt: return target != CommandTarget::Tolk;
  case kModeAlways: return true;
  case kModeTolk: return target == CommandTarget::Tolk;
  }
  return false;
}

bool ConditionsHold(const VocabContext& ctx, const uint16_t conditions[3]) {
  return !ctx.flags || ctx.flags->Allows(conditions);
}

bool RowVisible(const VocabContext& ctx, const CommandDef& row) {
  return ModeVisible(row.mode, ctx.target) && ConditionsHold(ctx, row.conditions);
}

// For exact lookups the word being resolved is the current word, or the prefix when the
// caller passed only that.
std::string_view ExactWord(std::string_view current, std::string_view prefix, int direction) {
  return direction == kExact && current.empty() ? prefix : current;
}

// Position of the command letter's pair in a command mask, or npos.
size_t MaskPair(const char* mask, char letter) {
  if (!mask) return std::string_view::npos;
  const std::string_view m(mask);
  for (size_t i = 0; i + 1 < m.size() + 1; i += 2)
    if (m[i] == letter) return i;
  return std::string_view::npos;
}

// Keywords that exclude each other on one command line.
constexpr std::pair<const char*, const char*> kOpposites[] = {
    {"CHLTYPE", "TYPE"},      {"SAVED", "CURRENT"},       {"SHARE", "NOSHARE"},
    {"TRIGGER", "NOTRIGGER"}, {"HARDENBO", "NOHARDENBO"}, {"REPLACE", "NOREPLACE"},
};

bool AlreadyPresent(std::string_view keyword, const std::vector<std::string_view>& present) {
  for (std::string_view word : present) {
    if (scanEqualsNoCase(word, keyword)) return true;
    for (const auto& [a, b] : kOpposites)
      if ((scanEqualsNoCase(keyword, a) && scanEqualsNoCase(word, b)) ||
          (scanEqualsNoCase(keyword, b) && scanEqualsNoCase(word, a)))
        return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------- tables

void InitialiseCommandFields(unsigned traceBits) {
  // Keyword lengths are computed by the generator, so the tables stay read-only; this is the
  // start-up hook that the parser and the expression engine call before the first lookup.
  static std::once_flag done;
  std::call_once(done, [traceBits] {
    if (!(traceBits & 64)) return;
    traceWritef("InitialiseCommandFields\n");
    for (const CommandDef* row = kCommandTable; row->verb; ++row)
      traceWritef("Command - %s %s\n", row->verb, row->objectType ? row->objectType : "");
    traceWritef("InitialiseCommandFields (Return)\n");
  });
}

const CommandDef* CommandTable() { return kCommandTable; }
const FieldDef* messageDescriptorFields() { return kMessageDescriptorFields; }
const NameListDef* nameLists() { return kNameLists; }
const ConstNameDef* const* constantSearchOrder() { return kConstantSearchOrder; }
const ConstNameDef* reasonCodeTable() { return kReasonCodeTable; }
const ConstNameDef* feedbackTable() { return kFeedbackTable; }

const NameListDef* findNameList(std::string_view kind) {
  for (const NameListDef* row = kNameLists; row->kind; ++row)
    if (scanEqualsNoCase(row->kind, kind)) return row;
  return nullptr;
}

const FieldDef* fieldTableByName(std::string_view name) {
  for (const FieldTableInfo* info = kFieldTables; info->name; ++info)
    if (name == info->name) return info->table;
  return nullptr;
}

const ValueDef* valueTableByName(std::string_view name) {
  for (const ValueTableInfo* info = kValueTables; info->name; ++info)
    if (name == info->name) return info->table;
  return nullptr;
}

// ---------------------------------------------------------------- commands

const CommandDef* findCommand(const VocabContext& ctx, std::string_view current, std::string_view prefix, int direction,
                              bool allowCurrent, std::string* message) {
  current = ExactWord(current, prefix, direction);
  Cycle<CommandDef> cycle(current, prefix, direction);
  // Rows are grouped by verb; a verb is one candidate, matched by its name or by the short
  // form of any of its visible rows (REF exists only on the REFRESH SECURITY rows).
  for (const CommandDef* row = kCommandTable; row->verb; ++row) {
    if (!RowVisible(ctx, *row)) continue;
    bool seen = false;
    for (const CommandDef* earlier = kCommandTable; earlier != row && !seen; ++earlier)
      seen = std::strcmp(earlier->verb, row->verb) == 0 && RowVisible(ctx, *earlier);
    if (seen) continue;
    auto anyName = [&](auto test) {
      if (test(std::string_view(row->verb))) return true;
      for (const CommandDef* same = row; same->verb; ++same)
        if (std::strcmp(same->verb, row->verb) == 0 && *same->verbShort && RowVisible(ctx, *same) &&
            test(std::string_view(same->verbShort)))
          return true;
      return false;
    };
    auto equals = [&](std::string_view word) {
      return anyName([&](std::string_view name) { return scanEqualsNoCase(name, word); });
    };
    auto matches = [&](std::string_view p) {
      return anyName([&](std::string_view name) { return prefixMatches(name, p); });
    };
    if (cycle.Offer(row, equals, matches)) break;
  }
  return cycle.Result(allowCurrent, kCommandMessages, message);
}

const CommandDef* findObjectType(const VocabContext& ctx, const CommandDef* command, std::string_view current,
                                 std::string_view prefix, int direction, bool allowCurrent, bool matchShortForms,
                                 std::string* message) {
  current = ExactWord(current, prefix, direction);
  bool verbKnown = false;
  Cycle<CommandDef> cycle(current, prefix, direction);
  for (const CommandDef* row = kCommandTable; command && row->verb; ++row) {
    if (std::strcmp(row->verb, command->verb) != 0 || !row->objectType || !RowVisible(ctx, *row)) continue;
    verbKnown = true;
    bool seen = false;  // REFRESH SECURITY has one row per platform family
    for (const CommandDef* earlier = kCommandTable; earlier != row && !seen; ++earlier)
      seen = earlier->objectType && std::strcmp(earlier->verb, row->verb) == 0 &&
             std::strcmp(earlier->objectType, row->objectType) == 0 && RowVisible(ctx, *earlier);
    if (seen) continue;
    const bool useShort = matchShortForms && *row->objectShort;
    auto equals = [&](std::string_view word) {
      return scanEqualsNoCase(row->objectType, word) || (useShort && scanEqualsNoCase(row->objectShort, word));
    };
    auto matches = [&](std::string_view p) {
      return prefixMatches(row->objectType, p) || (useShort && prefixMatches(row->objectShort, p));
    };
    if (cycle.Offer(row, equals, matches)) break;
  }
  if (!verbKnown) {
    if (message) *message = "Command not recognised";
    return nullptr;
  }
  return cycle.Result(allowCurrent, kObjectMessages, message);
}

// ---------------------------------------------------------------- fields

const FieldDef* findField(const VocabContext& ctx, const CommandDef* command, std::string_view current,
                          std::string_view prefix, int direction, bool* takesValue, std::string* message,
                          const FieldQuery& query) {
  if (takesValue) *takesValue = false;
  current = ExactWord(current, prefix, direction);
  if (direction == kExact && current.empty()) {
    if (message) *message = "Field not found";
    return nullptr;
  }
  Cycle<FieldDef> cycle(current, prefix, direction);
  const FieldDef* table = command ? command->fields : nullptr;
  for (const FieldDef* f = table; f && f->keyword; ++f) {
    if (f->keyword[0] == '~' || !ConditionsHold(ctx, f->conditions)) continue;
    const bool verbApplies = MaskPair(f->commandMask, command->commandLetter) != std::string_view::npos;
    const bool whereApplies = query.inWhere && MaskPair(f->commandMask, 'W') != std::string_view::npos;
    if (!verbApplies && !whereApplies) continue;
    if (!f->objectMask || !std::strchr(f->objectMask, static_cast<char>(command->objectLetter))) continue;
    if (query.inWhere && (f->type == 'q' || f->type == 'w' || f->type == 'a' || scanEqualsNoCase(f->keyword, "ALL")))
      continue;
    if (AlreadyPresent(f->keyword, query.present)) continue;
    const std::string_view keyword(f->keyword, f->keywordLength);
    auto equals = [&](std::string_view word) { return scanEqualsNoCase(keyword, word); };
    auto matches = [&](std::string_view p) { return prefixMatches(keyword, p); };
    if (cycle.Offer(f, equals, matches)) break;
  }
  const FieldDef* found = cycle.Result(query.allowCurrent, kFieldMessages, message, "No additional fields found");
  if (found && takesValue) {
    const size_t at = MaskPair(found->commandMask, command->commandLetter);
    *takesValue = at != std::string_view::npos && found->commandMask[at + 1] == '*';
  }
  return found;
}

const FieldDef* findFieldInTable(const FieldDef* table, std::string_view name, unsigned options, bool* ambiguous) {
  if (ambiguous) *ambiguous = false;
  const FieldDef* match = nullptr;
  int matches = 0;
  if (name.empty()) return nullptr;  // an empty name would match every keyword
  const char first = vocab::FoldUpper(name.front());
  for (const FieldDef* f = table; f && (f->keyword || f->pcfParameter); ++f) {
    if (!f->keyword) continue;
    const size_t length = static_cast<size_t>(f->keywordLength);
    if ((options & kFieldExactLength) ? length != name.size() : length < name.size()) continue;
    if (vocab::FoldUpper(f->keyword[0]) != first) continue;
    if ((options & kFieldSkipCommandOnly) && (f->type == 'a' || f->type == 'q' || f->type == 'w')) continue;
    if (!scanStartsWithNoCase(std::string_view(f->keyword, length), name)) continue;
    if (length == name.size()) return f;  // a whole keyword beats any longer one it prefixes
    if (options & kFieldExactLength) continue;
    match = f;
    ++matches;
  }
  if (matches > 1) {
    if (ambiguous) *ambiguous = true;
    return nullptr;
  }
  return match;
}

char fieldTypeOf(const FieldDef* table, std::string_view keyword) {
  const FieldDef* f = findFieldInTable(table, keyword, kFieldExactLength);
  return f ? f->type : '\0';
}

// ---------------------------------------------------------------- values

const ValueDef* findValue(const VocabContext& ctx, const FieldDef* field, std::string_view current,
                          std::string_view prefix, int direction, std::string* message, bool allowCurrent) {
  if (!field || !field->values) {
    setMessage(message, "Field '%s' does not have any predefined values",
               field && field->keyword ? field->keyword : "");
    return nullptr;
  }
  current = ExactWord(current, prefix, direction);
  Cycle<ValueDef> cycle(current, prefix, direction);
  for (const ValueDef* v = field->values; v->description && *v->description; ++v) {
    if (v->hidden || !v->keyword || v->keyword[0] == '!' || !ConditionsHold(ctx, v->conditions)) continue;
    auto equals = [&](std::string_view word) { return scanEqualsNoCase(v->keyword, word); };
    auto matches = [&](std::string_view p) { return prefixMatches(v->keyword, p); };
    if (cycle.Offer(v, equals, matches)) break;
  }
  return cycle.Result(allowCurrent, kValueMessages, message);
}

std::optional<int64_t> findValueByKeyword(const FieldDef* field, std::string_view keyword) {
  if (!field || !field->values) return std::nullopt;
  for (const ValueDef* v = field->values; v->description && *v->description; ++v)
    if (!v->hidden && v->keyword && v->keyword[0] != '!' && scanEqualsNoCase(v->keyword, keyword)) return v->value;
  return std::nullopt;
}
