// Room display: output modifiers and the layout of completed command records. May
// include: display/, mqsc/, script/, context/, runtime/, mqi/.
//
// The output modifiers: clauses of the program's own that the user adds to a DISPLAY
// (=WHERE, =FIND, =SORT/=SORTD, =MAXRESP, +NAME/-NAME). Preparation takes each out of
// the command text before it is sent and keeps what it needs in a ModifierState on the
// command record; the decoder runs the record filters as records arrive and the layout
// runs them again, sorts and limits.
#pragma once
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "mqsc/command_record.h"
#include "mqsc/vocab.h"
#include "script/expr.h"

struct ProgramContext;
class ResponseResolver;

struct ModifierState : RecordExtension {
  ModifierState();
  ~ModifierState() override;

  const CommandDef *command = nullptr;  // the command's vocabulary row, once identified

  // attribute selection
  bool selecting = false;  // a selection applies
  bool showOnly = false;   // show only the listed keywords (else hide them)
  std::set<std::string> selected;

  std::vector<kvarn::script::CompiledExpr> where;
  kvarn::script::CompiledExpr sortKey;
  bool sortDescending = false;
  bool hasMaxResp = false;
  int32_t maxResp = 0;

  // The record a filter or sort key is looking at.
  const ResponseRecord *current = nullptr;
  std::unique_ptr<ResponseResolver> resolver;

  // True when the user asked to hide an attribute (its keyword, or its column keyword).
  bool hidden(std::string_view keyword, std::string_view column = {}) const;
};

// The state on a command record, created on first use.
ModifierState &modifierState(CommandRecord &record);
// Null when the record has no modifiers.
ModifierState *findModifierState(const CommandRecord &record);

// The preparation steps, in the order preparation calls them. Each removes its clauses
// from `text`; false (the message added to the record) fails the command.
bool parseAttributeSelection(ProgramContext &ctx, CommandRecord &record, std::string &text);
bool parseFindClauses(ProgramContext &ctx, CommandRecord &record, std::string &text);
bool parseWhereClauses(ProgramContext &ctx, CommandRecord &record, std::string &text);
bool parseSortClause(ProgramContext &ctx, CommandRecord &record, std::string &text);
bool parseMaxRespClause(ProgramContext &ctx, CommandRecord &record, std::string &text);

// A record's =SORT/=SORTD key, evaluated once, when the record comes.
struct SortKey {
  kvarn::script::Value value;
  bool absent = false;  // the record has no such attribute: it sorts as a missing value
};
// False (with `error`) when the key cannot be evaluated: the records then keep their
// arrival order.
bool evaluateSortKey(ModifierState &state, const ResponseRecord &record, SortKey &key, std::string &error);

// The order in which records are shown under =SORT/=SORTD: indexes into `keys`, which
// are in arrival order. Records with equal keys come in reverse order of arrival. False
// when two keys cannot be compared: `order` is then the arrival order and `error` says
// why.
bool sortOrder(const ModifierState &state, const std::vector<SortKey> &keys, std::vector<size_t> &order,
               std::string &error);

// A script variable resolver for names beginning with '@' or '_' inside =WHERE and
// =SORT; until the script variables register one, such names are unknown.
void setModifierVariableResolver(kvarn::script::NameResolver *resolver);
