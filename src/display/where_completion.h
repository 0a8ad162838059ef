// Tab completion inside filter clauses: the MQSC clause WHERE(keyword op value) and the
// program's own =WHERE(...), =SORT(...) and =SORTD(...) of a DISPLAY (or RESET QSTATS).
// The console asks here first; when the cursor is in no such clause it completes the
// command the ordinary way.
//
// Inside a clause the word at the cursor is completed as what the grammar expects there:
// a response keyword of the command (including those usable only in WHERE), an operator,
// or a predefined value of the keyword on the left of a comparison.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "mqsc/vocab.h"

struct CompletionStep {
  LookupDirection direction = kNext;  // kNext (Tab) or kPrevious (Shift-Tab)
  // To cycle, pass back what the last call returned: its candidate and the prefix it
  // started from. Empty on a first press; ignored when the word at the cursor is no
  // longer that candidate.
  std::string_view previous;
  std::string_view prefix;
};

struct WhereCompletion {
  enum class Outcome {
    NotInClause,  // the cursor is not inside a filter clause: complete the usual way
    Completed,    // text and cursor hold the completed command
    Message,      // nothing to offer: show message
  };
  Outcome outcome = Outcome::NotInClause;
  std::string text;       // the command with the word replaced and one blank after it
  size_t cursor = 0;      // just after that blank
  std::string candidate;  // pass back as CompletionStep::previous
  std::string prefix;     // pass back as CompletionStep::prefix
  std::string message;
};

// `cursor` is an offset into `command` (past its end counts as its end). `vocab` decides
// which command rows and keywords are visible; in CCDT mode =WHERE also applies to ALTER.
WhereCompletion completeInWhereClause(std::string_view command, size_t cursor, const CompletionStep &step,
                                      const VocabContext &vocab = {});
