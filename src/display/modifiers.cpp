#include "display/modifiers.h"

#include <algorithm>
#include <atomic>
#include <cctype>

#include "context/context.h"
#include "context/output.h"
#include "context/settings.h"
#include "mqsc/attribute_tokenizer.h"
#include "mqsc/clause_scanner.h"
#include "mqsc/command_words.h"
#include "script/functions.h"
#include "text/text.h"

using namespace kvarn::script;

namespace {

std::atomic<NameResolver *> variableResolver{nullptr};
constexpr int32_t kScriptVariableSlot = -2;  // a name the script resolver answers

std::string upper(std::string_view s) {
  std::string out(s);
  for (char &c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool isDisplayRow(const CommandDef *c) { return c && c->verb && scanEqualsNoCase(c->verb, "DISPLAY"); }
bool isResetQstatsRow(const CommandDef *c) {
  return c && c->verb && c->objectType && scanEqualsNoCase(c->verb, "RESET") &&
         scanEqualsNoCase(c->objectType, "QSTATS");
}
bool isPolicyRow(const CommandDef *c) {
  return isDisplayRow(c) && c->objectType && scanEqualsNoCase(c->objectType, "POLICY");
}

// Takes a clause out of the command, with one blank before it so that blanks do not pile up.
void removeClause(std::string &text, const KeywordClause &clause) {
  size_t from = clause.keywordPos, length = clause.clauseLength;
  if (from > 0 && text[from - 1] == ' ') {
    --from;
    ++length;
  }
  text.erase(from, length);
}

bool failWith(ProgramContext &ctx, CommandRecord &record, std::string_view message) {
  addRecordError(ctx, record, message);
  return false;
}

// Identifies the command once; false (message added) when it is unknown.
const CommandDef *commandFor(ProgramContext &ctx, CommandRecord &record, ModifierState &state, std::string_view text,
                             const char *unknownMessage) {
  if (!state.command) state.command = identifyCommand(record, text);
  if (!state.command) failWith(ctx, record, unknownMessage);
  return state.command;
}

bool listTruth(const Value &v) {
  if (v.type() != LexemeType::List) return valueTruth(v);
  ListCursor cursor(v.bytes());
  std::string_view entry;
  while (cursor.next(entry))
    if (!entry.empty()) return true;
  return false;
}

// Whether the keyword stands alone as an attribute selector of this command's DISPLAY:
// its command mask pairs the DISPLAY letter with a blank, and it applies to the object.
bool selectsDisplayAttribute(const CommandDef *command, const FieldDef *field) {
  if (!field->commandMask || !field->objectMask) return false;
  std::string_view mask = field->commandMask;
  bool bare = false;
  for (size_t i = 0; i + 1 < mask.size(); i += 2)
    if (mask[i] == command->commandLetter && mask[i + 1] == ' ') bare = true;
  return bare &&
         std::string_view(field->objectMask).find(static_cast<char>(command->objectLetter)) != std::string_view::npos;
}

// Attributes IBM MQ returns in every record of a DISPLAY beside the object's name (type
// 'R') and the keywords that take a value there (TYPE, CHLTYPE of DISPLAY CHANNEL).
struct AlwaysReturned {
  std::string_view objectType;
  std::string_view keywords;  // each between blanks
};
constexpr AlwaysReturned kAlwaysReturned[] = {
    {"CHSTATUS", " CHLTYPE CONNAME CURRENT RQMNAME STATUS SUBSTATE XMITQ "},
};

bool alwaysReturned(const CommandDef *command, std::string_view keyword) {
  for (const AlwaysReturned &row : kAlwaysReturned) {
    if (!command->objectType || !scanEqualsNoCase(command->objectType, row.objectType)) continue;
    std::string blanked = " " + std::string(keyword) + " ";
    if (row.keywords.find(blanked) != std::string_view::npos) return true;
  }
  return false;
}

// A =WHERE or =SORT keyword goes on the DISPLAY so that the queue manager returns it,
// unless every record carries it anyway (the object's name, its type) or the queue
// manager would refuse it there: a keyword that takes a value in a DISPLAY (TYPE, CHLTYPE
// of DISPLAY CHANNEL, QSGDISP) or that the object's DISPLAY does not take at all.
bool appendedToDisplay(const CommandDef *command, const FieldDef *field) {
  if (!isDisplayRow(command) || isPolicyRow(command)) return false;
  if (field->type == 'R' || field->type == 'L') return false;
  return selectsDisplayAttribute(command, field) && !alwaysReturned(command, field->keyword);
}

// The bare keyword pairs whose first word names the pair in expressions.
constexpr std::pair<const char *, const char *> kBarePairs[] = {
    {"SHARE", "NOSHARE"}, {"HARDENBO", "NOHARDENBO"}, {"TRIGGER", "NOTRIGGER"}, {"ENFORCE", "TOLERATE"}};

}  // namespace

// ---------------------------------------------------------------- the resolver

// Names in =WHERE and =SORT are the command's response keywords: bound at compile time
// (typed, checked, appended to the command so that the queue manager returns them) and
// read from the current record at evaluation.
class ResponseResolver : public NameResolver {
 public:
  ResponseResolver(ModifierState &state, bool sortKey) : state_(state), sortKey_(sortKey) {}
  void setSortKey(bool sortKey) { sortKey_ = sortKey; }

  std::vector<std::string> keywordsToAppend;

  bool bind(NameBinding &binding, ExprContext &ctx) override {
    std::string_view name = binding.ref.name;
    if (!name.empty() && (name[0] == '@' || name[0] == '_')) {
      NameResolver *vars = variableResolver.load();
      if (!vars) {
        ctx.setErrorf("Unknown variable '%.*s'", static_cast<int>(name.size()), name.data());
        return false;
      }
      if (!vars->bind(binding, ctx)) return false;
      binding.ref.slot = kScriptVariableSlot;
      return true;
    }
    size_t dot = name.find('.');
    if (dot != std::string_view::npos) {
      ctx.setErrorf("Unknown suffix on variable '%.*s'", static_cast<int>(name.size()), name.data());
      return false;
    }
    const FieldDef *fields = state_.command ? state_.command->fields : nullptr;
    // A predefined value beside an attribute that has it is a constant.
    if (!binding.partner.empty() && fields) {
      const FieldDef *partner = findFieldInTable(fields, binding.partner, 0);
      if (partner && partner->values) {
        if (std::optional<int64_t> number = findValueByKeyword(partner, name)) {
          switch (partner->type) {
          case 'i':
          case 'j': binding.constant = Value::integer(*number); return true;
          case 's':
          case 'R':
          case 'r':
          case 'l': binding.constant = Value::owned(upper(name)); return true;
          default: break;
          }
        }
      }
    }
    bool ambiguous = false;
    const FieldDef *field = fields ? findFieldInTable(fields, name, 0, &ambiguous) : nullptr;
    if (!field) {
      ctx.setErrorf(ambiguous ? "Variable '%.*s' is ambiguous" : "Unknown variable '%.*s'",
                    static_cast<int>(name.size()), name.data());
      return false;
    }
    if (binding.ref.modifier != IndicatorModifier::None && field->type != 'I') {
      ctx.setErrorf("Invalid suffix used on variable '%.*s'", static_cast<int>(name.size()), name.data());
      return false;
    }
    switch (field->type) {
    case 'I':
    case 'i':
    case 'j':
    case 'L':
    case 'l':
    case 'R':
    case 'r':
    case 's': break;
    default:
      ctx.setErrorf("Variable '%s' is not suitable for %s clause", field->keyword, sortKey_ ? "=SORT" : "=WHERE");
      return false;
    }
    binding.ref.slot = static_cast<int32_t>(fields_.size());
    fields_.push_back(field);
    if (appendedToDisplay(state_.command, field)) keywordsToAppend.emplace_back(field->keyword);
    return true;
  }

  Resolution resolve(const VarRef &ref, std::span<const int32_t> subscripts, Value &out, ExprContext &ctx) override {
    if (ref.slot == kScriptVariableSlot) {
      NameResolver *vars = variableResolver.load();
      if (!vars) return Resolution::Failed;
      VarRef inner = ref;
      inner.slot = -1;  // the script resolver finds its variables by name
      return vars->resolve(inner, subscripts, out, ctx);
    }
    if (ref.slot < 0 || static_cast<size_t>(ref.slot) >= fields_.size()) return Resolution::Failed;
    const FieldDef *field = fields_[ref.slot];
    if (ctx.checkMode()) return typedPlaceholder(field, out);
    std::string_view keyword = field->keyword;
    const ResponseRecord *record = state_.current;
    if (!record) return Resolution::Absent;
    if (keyword == "QSGQM") {
      if (record->qmgr.empty()) return Resolution::Absent;
      out.setView(record->qmgr);
      return Resolution::Found;
    }
    for (const auto &pair : kBarePairs) {
      if (keyword != pair.first) continue;
      for (const char *word : {pair.first, pair.second}) {
        std::string_view found;
        if (record->find(word, true, found)) {
          out.setView(found);
          return Resolution::Found;
        }
      }
      return Resolution::Absent;
    }
    std::string_view value;
    if (!record->find(keyword, false, value)) return Resolution::Absent;
    switch (field->type) {
    case 'I': {
      size_t comma = value.find(',');
      std::string_view part = ref.modifier == IndicatorModifier::Long
                                  ? (comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1))
                                  : value.substr(0, comma);
      out.setInt(readInteger(part));
      return Resolution::Found;
    }
    case 'i':
    case 'j':
      if (std::optional<int64_t> number = findValueByKeyword(field, scanTrim(value, " "))) out.setInt(*number);
      else out.setInt(readInteger(value));
      return Resolution::Found;
    case 'L':
    case 'l': {
      std::string packed;
      if (!splitList(value, packed)) return Resolution::Absent;
      out.setListBytes(std::move(packed));
      return Resolution::Found;
    }
    default: out.setView(scanTrim(value, " ")); return Resolution::Found;
    }
  }

 private:
  // Reads a leading signed decimal number; anything else reads as 0.
  static int64_t readInteger(std::string_view s) {
    s = scanTrim(s, " ");
    bool negative = !s.empty() && s.front() == '-';
    if (negative) s.remove_prefix(1);
    int64_t v = 0;
    for (char c : s) {
      if (c < '0' || c > '9') break;
      if (v > (INT64_MAX - 9) / 10) break;  // a value beyond 64 bits stops growing
      v = v * 10 + (c - '0');
    }
    return negative ? -v : v;
  }
  // The test evaluation while compiling has no record: a value of the keyword's type.
  static Resolution typedPlaceholder(const FieldDef *field, Value &out) {
    switch (field->type) {
    case 'I':
    case 'i':
    case 'j': out.setInt(0); break;
    case 'L':
    case 'l': out.setListBytes(std::string("\xFF\xFF", 2)); break;
    default: out.setView(""); break;
    }
    return Resolution::Found;
  }

  ModifierState &state_;
  bool sortKey_;
  std::vector<const FieldDef *> fields_;
};

// ---------------------------------------------------------------- state

ModifierState::ModifierState() : resolver(std::make_unique<ResponseResolver>(*this, false)) {}
ModifierState::~ModifierState() {
  // Compiled expressions point at the resolver: release them first.
  where.clear();
  sortKey.reset();
}

bool ModifierState::hidden(std::string_view keyword, std::string_view column) const {
  if (!selecting) return false;
  std::string_view key = keyword.empty() ? column : keyword;
  if (key.empty() || key.size() > 10) return false;
  bool listed = selected.count(std::string(key)) > 0 ||
                (!column.empty() && column != key && selected.count(std::string(column)) > 0);
  return showOnly ? !listed : listed;
}

ModifierState &modifierState(CommandRecord &record) {
  auto state = std::dynamic_pointer_cast<ModifierState>(record.modifiers);
  if (!state) {
    state = std::make_shared<ModifierState>();
    record.modifiers = state;
  }
  return *state;
}

ModifierState *findModifierState(const CommandRecord &record) {
  return dynamic_cast<ModifierState *>(record.modifiers.get());
}

void setModifierVariableResolver(NameResolver *resolver) { variableResolver.store(resolver); }

// ---------------------------------------------------------------- filters

namespace {

RecordFilter whereFilter(std::shared_ptr<ModifierState> state, CompiledExpr expr) {
  return [state, expr](const ResponseRecord &record) {
    state->current = &record;
    Value v;
    bool ok = expEvaluate(*expr, v);
    bool pass = ok && !expr->absentSignalled() && listTruth(v);
    state->current = nullptr;
    return pass;
  };
}

std::shared_ptr<ModifierState> sharedState(CommandRecord &record) {
  modifierState(record);
  return std::static_pointer_cast<ModifierState>(record.modifiers);
}

// Compiles a =WHERE or =SORT expression; null after adding the message.
CompiledExpr compileClause(ProgramContext &ctx, CommandRecord &record, ModifierState &state, std::string_view text,
                           size_t offset, unsigned flags, bool sortKey, const char *syntaxMessage) {
  state.resolver->setSortKey(sortKey);
  state.resolver->keywordsToAppend.clear();
  ExprOptions options;
  options.table = &whereFunctionTable();  // the operators and the =WHERE functions
  options.resolver = state.resolver.get();
  options.flags = flags;
  options.positionOffset = static_cast<int>(offset);
  options.program = &ctx;
  std::string error;
  CompiledExpr expr = expParseExpression(text, options, error);
  if (!expr) failWith(ctx, record, error.empty() ? syntaxMessage : error);
  return expr;
}

void appendKeywords(std::string &text, const std::vector<std::string> &keywords) {
  for (const std::string &keyword : keywords) {
    KeywordClause present;
    findKeyword(text, keyword, kKeyBare, present);
    if (present.found) continue;
    if (!text.empty() && text.back() != ' ') text += ' ';
    text += keyword;
    text += ' ';
  }
}

}  // namespace

// ---------------------------------------------------------------- clauses

bool parseFindClauses(ProgramContext &ctx, CommandRecord &record, std::string &text) {
  while (true) {
    KeywordClause clause;
    std::string message;
    if (!findKeyword(text, "=FIND", kKeyReportErrors, clause, &message)) return failWith(ctx, record, message);
    if (!clause.found) return true;
    std::string pattern = "*" + std::string(clause.value(text)) + "*";
    bool caseSensitive = clause.quoted;
    record.filters.push_back([pattern, caseSensitive](const ResponseRecord &rec) {
      return patternMatch(rec.text, pattern, caseSensitive) ||
             (!rec.qmgr.empty() && patternMatch(rec.qmgr, pattern, caseSensitive));
    });
    record.marks |= kMarkHasModifiers;
    removeClause(text, clause);
  }
}

bool parseWhereClauses(ProgramContext &ctx, CommandRecord &record, std::string &text) {
  std::shared_ptr<ModifierState> state;
  while (true) {
    KeywordClause clause;
    std::string message;
    if (!findKeyword(text, "=WHERE", kKeyReportErrors | kKeyRawValue, clause, &message))
      return failWith(ctx, record, message);
    if (!clause.found) return true;
    if (!state) {
      state = sharedState(record);
      if (!commandFor(ctx, record, *state, text, "Unrecognised command to use =WHERE() clause")) return false;
      const CommandDef *c = state->command;
      bool suitable = isDisplayRow(c) || isResetQstatsRow(c) ||
                      (record.target == CommandTarget::Ccdt && c->verb && scanEqualsNoCase(c->verb, "ALTER"));
      if (!suitable) return failWith(ctx, record, "Command is not suitable for =WHERE() clause");
    }
    unsigned flags = kAllowAt | (ctx.settings.on(kOptCaseWhere) ? kCaseSensitive : 0u);
    CompiledExpr expr =
        compileClause(ctx, record, *state, clause.value(text), clause.valuePos, flags, false, "=WHERE() Syntax error");
    if (!expr) return false;
    std::vector<std::string> keywords = std::move(state->resolver->keywordsToAppend);
    state->where.push_back(expr);
    record.filters.push_back(whereFilter(state, expr));
    record.marks |= kMarkHasModifiers;
    removeClause(text, clause);
    appendKeywords(text, keywords);
  }
}

bool parseSortClause(ProgramContext &ctx, CommandRecord &record, std::string &text) {
  KeywordClause ascending, descending;
  std::string message;
  if (!findKeyword(text, "=SORT", kKeyReportErrors | kKeyRawValue, ascending, &message) ||
      !findKeyword(text, "=SORTD", kKeyReportErrors | kKeyRawValue, descending, &message))
    return failWith(ctx, record, message);
  if (!ascending.found && !descending.found) return true;
  if (ascending.found && descending.found)
    return failWith(ctx, record, "You can only have one =SORT() or =SORTD() clause");
  KeywordClause clause = ascending.found ? ascending : descending;
  // A second clause of the same form.
  std::string rest = text;
  removeClause(rest, clause);
  KeywordClause again;
  findKeyword(rest, ascending.found ? "=SORT" : "=SORTD", kKeyRawValue | kKeyAllowUnclosed, again);
  if (again.found) return failWith(ctx, record, "You can only have one =SORT() or =SORTD() clause");

  std::shared_ptr<ModifierState> state = sharedState(record);
  if (!commandFor(ctx, record, *state, text, "Unrecognised command to use =SORT() or =SORTD() clause")) return false;
  if (!isDisplayRow(state->command) && !isResetQstatsRow(state->command))
    return failWith(ctx, record, "Command is not suitable for =SORT() or =SORTD() clause");
  unsigned flags = kSortKey | kAllowAt | (ctx.settings.on(kOptCaseSort) ? kCaseSensitive : 0u);
  CompiledExpr expr =
      compileClause(ctx, record, *state, clause.value(text), clause.valuePos, flags, true, "=SORT() Syntax error");
  if (!expr) return false;
  std::vector<std::string> keywords = std::move(state->resolver->keywordsToAppend);
  state->sortKey = expr;
  state->sortDescending = descending.found;
  removeClause(text, clause);
  appendKeywords(text, keywords);
  return true;
}

bool parseMaxRespClause(ProgramContext &ctx, CommandRecord &record, std::string &text) {
  KeywordClause clause;
  std::string message;
  if (!findKeyword(text, "=MAXRESP", kKeyReportErrors, clause, &message)) return failWith(ctx, record, message);
  if (!clause.found) return true;
  std::string rest = text;
  removeClause(rest, clause);
  KeywordClause again;
  findKeyword(rest, "=MAXRESP", kKeyAllowUnclosed, again);
  if (again.found) return failWith(ctx, record, "You can only have one =MAXRESP() clause");
  ModifierState &state = modifierState(record);
  if (!commandFor(ctx, record, state, text, "Unrecognised command to use =MAXRESP() clause")) return false;
  if (!isDisplayRow(state.command) && !isResetQstatsRow(state.command))
    return failWith(ctx, record, "Command is not suitable for =MAXRESP() clause");
  std::string_view value = clause.value(text);
  bool negative = value.size() > 1 && value.front() == '-';
  std::string_view digits = negative ? value.substr(1) : value;
  bool ok = !digits.empty() && digits.size() <= 18 &&
            std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!ok) return failWith(ctx, record, "=MAXRESP() should specify an integer");
  int64_t v = 0;
  for (char c : digits) v = v * 10 + (c - '0');
  // Beyond 32 bits the limit is as good as unlimited (or, negative, as none).
  v = std::min<int64_t>(v, INT32_MAX);
  state.maxResp = static_cast<int32_t>(negative ? -v : v);
  state.hasMaxResp = true;
  removeClause(text, clause);
  return true;
}

// ---------------------------------------------------------------- attribute selection

namespace {

bool isNameEnd(char c) {
  return c == ' ' || c == '\t' || c == '(' || c == ')' || c == ',' || c == '+' || c == '-' || c == '=' || c == '<' ||
         c == '>' || c == '!' || c == '*' || c == '/';
}

void applyName(ModifierState &state, char sign, const std::string &name) {
  bool add = (sign == '-') != state.showOnly;
  if (add) state.selected.insert(name);
  else state.selected.erase(name);
}

}  // namespace

bool parseAttributeSelection(ProgramContext &ctx, CommandRecord &record, std::string &text) {
  ModifierState *state = nullptr;
  ScanLevel level{.strayCloseHidesRest = true};
  bool rescan = false;
  for (size_t pos = 0; pos < text.size(); rescan ? void() : void(++pos)) {
    rescan = false;
    char c = text[pos];
    if (!level.step(c) || (c != '+' && c != '-')) continue;
    if (pos > 0 && text[pos - 1] != ' ') continue;  // a sign inside a word is not a group
    if (pos + 1 >= text.size() || text[pos + 1] == ' ') continue;
    if (!state) {
      state = &modifierState(record);
      if (!commandFor(ctx, record, *state, text, "Unrecognised command to use with MQSC modifiers")) return false;
      if (!isDisplayRow(state->command) && !isResetQstatsRow(state->command))
        return failWith(ctx, record, "MQSC modifiers are only supported on DISPLAY commands");
    }
    char sign = c;
    size_t end = pos + 1;
    while (true) {
      std::string name;
      if (end < text.size() && (text[end] == '\'' || text[end] == '"')) {
        char q = text[end];
        size_t close = text.find(q, end + 1);
        if (close == std::string::npos) close = text.size() - 1;
        name = text.substr(end + 1, close - end - 1);
        end = close + 1;
      } else {
        size_t start = end;
        while (end < text.size() && !isNameEnd(text[end])) ++end;
        name = upper(std::string_view(text).substr(start, end - start));
      }
      if (scanEqualsNoCase(name, "ALL")) {
        state->selected.clear();
        state->showOnly = sign == '-';
      } else if (!name.empty() && name[0] == '#') {
        std::string part = name.substr(1);
        for (const FieldDef *f = state->command->fields; f && f->keyword; ++f) {
          if (f->type == 'q' || f->keyword[0] == '~') continue;
          if (scanContainsNoCase(f->keyword, part)) applyName(*state, sign, f->keyword);
        }
      } else if (!name.empty()) {
        applyName(*state, sign, name);
      }
      size_t next = end;
      while (next < text.size() && text[next] == ' ') ++next;
      if (next < text.size() && text[next] == ',') {
        end = next + 1;
        while (end < text.size() && text[end] == ' ') ++end;
        continue;
      }
      break;
    }
    // The group goes with the blank before it; the scan goes on at what followed it.
    size_t from = pos;
    if (from > 0 && text[from - 1] == ' ') --from;
    text.erase(from, end - from);
    pos = from;
    rescan = true;
  }
  if (state) state->selecting = !state->selected.empty() || state->showOnly;
  return true;
}

// ---------------------------------------------------------------- sorting

bool evaluateSortKey(ModifierState &state, const ResponseRecord &record, SortKey &key, std::string &error) {
  if (!state.sortKey) return true;
  state.current = &record;
  Value v;
  bool ok = expEvaluate(*state.sortKey, v);
  state.current = nullptr;
  key.absent = state.sortKey->absentSignalled();  // a record without the key sorts as a missing value
  if (key.absent) return true;
  if (!ok) {
    error = state.sortKey->error();
    return false;
  }
  key.value = v.copy();
  return true;
}

bool sortOrder(const ModifierState &state, const std::vector<SortKey> &keys, std::vector<size_t> &order,
               std::string &error) {
  order.resize(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) order[i] = i;
  if (!state.sortKey || keys.size() < 2) return true;
  bool caseSensitive = state.sortKey->caseSensitive();
  bool failed = false;
  auto compare = [&](size_t a, size_t b) {
    int r = 0;
    std::string e;
    if (!valueCompare(keys[a].absent ? nullptr : &keys[a].value, keys[b].absent ? nullptr : &keys[b].value,
                      caseSensitive, r, e)) {
      if (!failed) error = e;
      failed = true;
      return false;
    }
    return state.sortDescending ? r > 0 : r < 0;
  };
  // Equal keys come in reverse order of arrival: a stable sort of the reversed list.
  std::reverse(order.begin(), order.end());
  std::vector<size_t> sorted = order;
  std::stable_sort(sorted.begin(), sorted.end(), compare);
  if (failed) {
    for (size_t i = 0; i < keys.size(); ++i) order[i] = i;
    return false;
  }
  order = std::move(sorted);
  return true;
}
