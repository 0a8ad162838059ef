#include "console/completion.h"

#include <algorithm>
#include <string>
#include <vector>

#include "console/console_state.h"
#include "console/editing.h"
#include "display/where_completion.h"
#include "mqsc/vocab.h"
#include "runtime/scan.h"

namespace {

bool isWordEnd(char ch) { return ch == ' ' || ch == '(' || ch == ')'; }

// The words of the command before `end`, at bracket level 0: each keyword's name, its
// bracketed value skipped.
std::vector<std::string_view> wordsBefore(std::string_view command, size_t end) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < end) {
    while (i < end && command[i] == ' ') ++i;
    size_t start = i;
    while (i < end && !isWordEnd(command[i])) ++i;
    if (i > start) words.push_back(command.substr(start, i - start));
    if (i < end && command[i] == '(') {
      size_t close = scanClosingBracket(command, i);
      if (close >= end) break;  // the cursor is inside this bracket
      i = close + 1;
    } else if (i < end) {
      ++i;
    }
  }
  return words;
}

// The keyword whose bracket is open at `at` (the '(' just before the word), or "".
std::string_view keywordBefore(std::string_view command, size_t open) {
  size_t end = open;
  size_t start = end;
  while (start > 0 && !isWordEnd(command[start - 1])) --start;
  return command.substr(start, end - start);
}

// Cycles through `names` (sorted) by prefix, without regard to case.
bool cycleNames(const std::vector<std::string> &names, std::string_view current, std::string_view prefix, int direction,
                std::string &out) {
  std::vector<const std::string *> matching;
  for (const std::string &n : names)
    if (scanStartsWithNoCase(n, prefix)) matching.push_back(&n);
  if (matching.empty()) return false;
  auto it = std::find_if(matching.begin(), matching.end(), [&](const std::string *n) { return *n == current; });
  if (it == matching.end()) {
    out = direction > 0 ? *matching.front() : *matching.back();
  } else if (direction > 0) {
    out = ++it == matching.end() ? *matching.front() : **it;
  } else {
    out = it == matching.begin() ? *matching.back() : **(--it);
  }
  return matching.size() > 1 || current.empty() || out != current;
}

}  // namespace

void completeAtCursor(ConsoleState &c, int direction) {
  ProgramContext &ctx = *c.ctx;
  std::string command = commandText(c);
  // The cursor as a byte offset.
  ConsoleState measure;
  measure.text = c.text.substr(0, std::min(c.cursor, c.text.size()));
  size_t cursor = commandText(measure).size();
  VocabContext vocab = c.host.vocabulary ? c.host.vocabulary(ctx) : VocabContext{};

  // 1. Inside a filter clause the clause's own grammar decides.
  CompletionStep step;
  step.direction = direction > 0 ? kNext : kPrevious;
  if (c.completing) {
    step.previous = c.completionCandidate;
    step.prefix = c.completionPrefix;
  }
  WhereCompletion where = completeInWhereClause(command, cursor, step, vocab);
  if (where.outcome == WhereCompletion::Outcome::Message) return showMessage(c, where.message);
  if (where.outcome == WhereCompletion::Outcome::Completed) {
    setCommandText(c, where.text);
    measure.text.clear();
    setCommandText(measure, std::string_view(where.text).substr(0, std::min(where.cursor, where.text.size())));
    c.cursor = measure.text.size();
    c.completionCandidate = where.candidate;
    c.completionPrefix = where.prefix;
    c.completing = true;
    return;
  }

  // 2. The word at the cursor, and what was typed of it before the first press.
  // A repeated press finds the word it completed just before the blank it added.
  if (c.completing && !c.completionCandidate.empty() && cursor > c.completionCandidate.size() &&
      cursor <= command.size() && command[cursor - 1] == ' ' &&
      scanEqualsNoCase(
          std::string_view(command).substr(cursor - 1 - c.completionCandidate.size(), c.completionCandidate.size()),
          c.completionCandidate)) {
    command.erase(cursor - 1, 1);
    --cursor;
  }
  size_t start = std::min(cursor, command.size());
  while (start > 0 && !isWordEnd(command[start - 1])) --start;
  size_t end = start;
  while (end < command.size() && !isWordEnd(command[end])) ++end;
  std::string word = command.substr(start, end - start);
  bool cycling = c.completing && scanEqualsNoCase(word, c.completionCandidate);
  std::string prefix = cycling ? c.completionPrefix : word;
  std::string current = cycling ? word : std::string();
  std::vector<std::string_view> words = wordsBefore(command, start);
  bool inBracket = start > 0 && command[start - 1] == '(';

  std::string candidate, message;
  const CommandDef *verb = words.empty() ? nullptr : findCommand(vocab, "", words[0], kExact, true, nullptr);
  const CommandDef *row =
      verb && words.size() > 1 ? findObjectType(vocab, verb, "", words[1], kExact, true, true, nullptr) : nullptr;
  if (!row && verb && !verb->objectType) row = verb;
  auto names = [&](const NameListDef *kind) {
    std::vector<std::string> list;
    if (!kind) return showMessage(c, "Tab selection is not supported for this object.");
    if (!c.host.objectNames || !c.host.objectNames(ctx, kind, list, message)) return showMessage(c, message);
    if (!cycleNames(list, current, prefix, direction, candidate)) {
      if (list.empty()) showMessage(c, current.empty() ? "No object name found" : "No other object name found");
      else
        showMessage(c, current.empty() ? "No object name with prefix '" + prefix + "' found"
                                       : "No other object name with prefix '" + prefix + "' found");
    }
  };

  if (inBracket) {
    std::string_view keyword = keywordBefore(command, start - 1);
    bool objectName = words.size() >= 2 && row && scanEqualsNoCase(keyword, words[1]);
    if (objectName || (words.size() == 2 && scanEqualsNoCase(keyword, words.back()) && row == verb)) {
      names(row ? row->nameList : nullptr);
    } else if (!row) {
      showMessage(c, "Unrecognised command");
    } else {
      bool takesValue = false;
      FieldQuery query;
      query.allowCurrent = true;
      const FieldDef *field = findField(vocab, row, "", keyword, kExact, &takesValue, nullptr, query);
      if (field && field->values) {
        const ValueDef *value = findValue(vocab, field, current, prefix, direction, &message);
        if (value) candidate = value->keyword;
        else showMessage(c, message);
      } else if (field && field->nameList) {
        names(field->nameList);
      } else {
        showMessage(c, strFormat("Field '%.*s' does not have any predefined values", static_cast<int>(keyword.size()),
                                 keyword.data()));
      }
    }
  } else if (words.empty()) {
    const CommandDef *found = findCommand(vocab, current, prefix, direction, false, &message);
    if (found) candidate = found->verb;
    else showMessage(c, message.empty() ? strFormat("Command '%s' not found", prefix.c_str()) : message);
  } else if (!verb) {
    showMessage(c, strFormat("Command '%.*s' not found", static_cast<int>(words[0].size()), words[0].data()));
  } else if (words.size() == 1 && verb->objectType) {
    const CommandDef *found = findObjectType(vocab, verb, current, prefix, direction, false, true, &message);
    if (found) candidate = found->objectType;
    else showMessage(c, message.empty() ? "Unrecognised object type" : message);
  } else if (!row) {
    showMessage(c, "Unrecognised object type");
  } else {
    bool takesValue = false;
    FieldQuery query;
    query.present.assign(words.begin(), words.end());
    const FieldDef *field = findField(vocab, row, current, prefix, direction, &takesValue, &message, query);
    if (field) candidate = field->keyword;
    else showMessage(c, message);
  }
  if (candidate.empty()) return;

  // 3. The word replaced; a completed last word gets its blank.
  std::string completed = command.substr(0, start) + candidate;
  size_t newCursor = completed.size();
  std::string rest = command.substr(end);
  if (rest.empty()) {
    completed += ' ';
    newCursor = completed.size();
  }
  completed += rest;
  setCommandText(c, completed);
  measure.text.clear();
  setCommandText(measure, std::string_view(completed).substr(0, newCursor));
  c.cursor = measure.text.size();
  c.completionCandidate = candidate;
  c.completionPrefix = prefix;
  c.completing = true;
}
