#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "display/where_completion.h"

namespace {

using Outcome = WhereCompletion::Outcome;

struct Completer {
  Completer() { InitialiseCommandFields(); }
  VocabContext vocab;

  // Presses Tab (or Shift-Tab) at the '|' of `command` `presses` times, cycling, and
  // returns each candidate (or message) in turn.
  std::vector<std::string> press(std::string command, int presses, LookupDirection direction = kNext) {
    size_t cursor = command.find('|');
    command.erase(cursor, 1);
    std::vector<std::string> seen;
    std::string previous, prefix;
    for (int i = 0; i < presses; ++i) {
      WhereCompletion r = completeInWhereClause(command, cursor, {direction, previous, prefix}, vocab);
      if (r.outcome == Outcome::Message) {
        seen.push_back("!" + r.message);
        continue;
      }
      if (r.outcome == Outcome::NotInClause) {
        seen.push_back("-");
        continue;
      }
      seen.push_back(r.candidate);
      command = r.text;
      cursor = r.cursor;
      previous = r.candidate;
      prefix = r.prefix;
    }
    last = command;
    return seen;
  }
  std::string first(const std::string &command, LookupDirection direction = kNext) {
    return press(command, 1, direction).front();
  }
  std::string last;
};

TEST(WhereCompletion, OutsideAFilterClauseNothingIsOffered) {
  Completer c;
  EXPECT_EQ(c.first("DIS QL(|*) =WHERE(CURDEPTH > 0)"), "-");
  EXPECT_EQ(c.first("DIS QL(*) =WHE|RE(CURDEPTH > 0)"), "-");
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(CURDEPTH > 0) |"), "-");
  EXPECT_EQ(c.first("DIS QL(*) DESCR('WHERE(|')"), "-");
  EXPECT_EQ(c.first("DIS QL(*) NOWHERE(|"), "-");
}

TEST(WhereCompletion, KeywordsOfTheCommandWhereANameIsExpected) {
  Completer c;
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(CURD|)"), "CURDEPTH");
  EXPECT_EQ(c.last, "DIS QL(*) =WHERE(CURDEPTH )");
  EXPECT_EQ(c.first("dis ql(*) =where(curd|"), "CURDEPTH");
  EXPECT_EQ(c.first("DIS QL(*) WHERE(CURD|)"), "CURDEPTH");
  EXPECT_EQ(c.first("DIS QL(*) =SORT(MAXD|)"), "MAXDEPTH");
  EXPECT_EQ(c.first("DIS QL(*) =SORTD(MAXD|)"), "MAXDEPTH");
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(CURDEPTH > 0 AND MAXD|)"), "MAXDEPTH");
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(CURDEPTH > 0 && (MAXD|)"), "MAXDEPTH");
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(MAX(CURD|"), "CURDEPTH");
  // The word is completed as a whole, whatever follows the cursor.
  c.press("DIS QL(*) =WHERE(CURD|EP > 0)", 1);
  EXPECT_EQ(c.last, "DIS QL(*) =WHERE(CURDEPTH > 0)");
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(ZZZ|)").rfind("!No field", 0), 0u);
}

// True when a field's command mask (letter pairs) names `letter`.
bool maskHas(const char *mask, char letter) {
  const size_t length = mask ? std::strlen(mask) : 0;
  for (size_t i = 0; i < length; i += 2)
    if (mask[i] == letter) return true;
  return false;
}

TEST(WhereCompletion, KeywordsUsableOnlyInWhereAreOffered) {
  Completer c;
  // Find, over the DISPLAY rows, a keyword that only WHERE accepts.
  int checked = 0;
  for (const CommandDef *row = CommandTable(); row->verb; ++row) {
    if (std::string(row->verb) != "DISPLAY" || !row->objectType || !row->fields) continue;
    for (const FieldDef *f = row->fields; f->keyword; ++f) {
      if (f->keyword[0] == '~' || !maskHas(f->commandMask, 'W') || maskHas(f->commandMask, row->commandLetter) ||
          !f->objectMask || !std::strchr(f->objectMask, static_cast<char>(row->objectLetter)) ||
          std::strchr("qwa", f->type))
        continue;
      const std::string command = std::string("DISPLAY ") + row->objectType + "(*) =WHERE(" + f->keyword + "|)";
      std::vector<std::string> seen = c.press(command, 5);  // longer keywords may share the prefix
      EXPECT_NE(std::find(seen.begin(), seen.end(), f->keyword), seen.end()) << command;
      ++checked;
      break;
    }
  }
  EXPECT_GT(checked, 0);
}

TEST(WhereCompletion, RepeatedPressesCycleBothWaysWithWrapAround) {
  Completer c;
  std::vector<std::string> forward = c.press("DIS QL(*) =WHERE(MAX|)", 6);
  ASSERT_GE(forward.size(), 2u);
  EXPECT_EQ(forward.front().substr(0, 3), "MAX");
  // The list wraps around: somewhere later the first candidate comes back.
  size_t again = 1;
  while (again < forward.size() && forward[again] != forward.front()) ++again;
  ASSERT_LT(again, forward.size()) << "no wrap-around in six presses";
  std::vector<std::string> backward = c.press("DIS QL(*) =WHERE(MAX|)", static_cast<int>(again), kPrevious);
  std::vector<std::string> expected(forward.begin(), forward.begin() + static_cast<long>(again));
  std::reverse(expected.begin(), expected.end());
  EXPECT_EQ(backward, expected);  // Shift-Tab walks the same list from its end
  // Cycling replaces the candidate, not piling blanks or words up.
  c.press("DIS QL(*) =WHERE(MAX|)", 3);
  EXPECT_EQ(c.last, "DIS QL(*) =WHERE(" + forward[2] + " )");
}

TEST(WhereCompletion, OperatorsOfEachClauseKind) {
  Completer c;
  // The MQSC clause has its own short list, in its own order.
  EXPECT_EQ(
      c.press("DIS QL(*) WHERE(CURDEPTH |)", 15),
      (std::vector<std::string>{"=", "==", "EQ", "!=", "<>", "NE", ">", "GT", ">=", "GE", "<", "LT", "<=", "LE", "="}));
  EXPECT_EQ(c.press("DIS QL(*) WHERE(CURDEPTH >|)", 3), (std::vector<std::string>{">", ">=", ">"}));
  EXPECT_EQ(c.press("DIS QL(*) WHERE(CURDEPTH>|)", 1), (std::vector<std::string>{">"}));
  EXPECT_EQ(c.first("DIS QL(*) WHERE(CURDEPTH L|)"), "LT");
  // =WHERE offers its operator table, words and symbols alike.
  EXPECT_EQ(c.press("DIS QL(*) =WHERE(DESCR C|)", 3), (std::vector<std::string>{"CT", "CTG", "CT"}));
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(CURDEPTH A|)"), "AND");
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(CURDEPTH > 0 |)"), "==");
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(CURDEPTH &|"), "&&");
  EXPECT_EQ(c.first("DIS QL(*) WHERE(CURDEPTH CT|)"), "!No operator with prefix 'CT' found");
  EXPECT_EQ(c.press("DIS QL(*) WHERE(CURDEPTH LT|)", 2),
            (std::vector<std::string>{"LT", "!No alternative operator with prefix 'LT' found"}));
}

TEST(WhereCompletion, PredefinedValuesOfTheKeywordOnTheLeft) {
  Completer c;
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(DEFPSIST EQ |)").substr(0, 1), "N");
  std::vector<std::string> values = c.press("DIS QL(*) =WHERE(DEFPSIST EQ |)", 3);
  EXPECT_NE(values[0], values[1]);
  EXPECT_EQ(values[0], values[2]);  // two values, then round again
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(DEFPSIST = Y|)"), "YES");
  EXPECT_EQ(c.first("DIS QL(*) WHERE(DEFPSIST EQ Y|)"), "YES");
  EXPECT_EQ(c.first("DIS Q(*) =WHERE(TYPE == QL|)"), "QLOCAL");
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(CURDEPTH > 0 AND DEFPSIST<>N|"), "NO");
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(CURDEPTH > |)"), "!Field 'CURDEPTH' does not have any predefined values");
  EXPECT_EQ(c.first("DIS QL(*) WHERE(CURDEPTH GT |)"), "!Field 'CURDEPTH' does not have any predefined values");
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(DEFPSIST EQ X|)"), "!No alternative suggested values available");
  EXPECT_EQ(c.press("DIS QL(*) =WHERE(DEFPSIST EQ Y|)", 2),
            (std::vector<std::string>{"YES", "!No alternative suggested values available"}));
  // After an arithmetic operator a name is expected, not a value.
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(CURDEPTH + MAXD|)"), "MAXDEPTH");
}

TEST(WhereCompletion, ClauseAndCommandErrors) {
  Completer c;
  EXPECT_EQ(c.first("DIS QL(*) WHERE(DEFPSIST EQ YES |)"),
            "!WHERE() clause does not support multiple expressions, use =WHERE()");
  EXPECT_EQ(c.first("DEFINE QL(X) =WHERE(CURD|)"), "!=WHERE clause applies to DISPLAY commands");
  EXPECT_EQ(c.first("ALTER QL(X) =WHERE(CURD|)"), "!=WHERE clause applies to DISPLAY commands");
  EXPECT_EQ(c.first("FROB QL(X) =WHERE(CURD|)"), "!Unrecognised command");
  EXPECT_EQ(c.first("DIS NOSUCHTYPE(X) =WHERE(CURD|)"), "!Unrecognised command");
  EXPECT_EQ(c.first("=WHERE(CURD|)"), "!Unrecognised command");
  EXPECT_EQ(c.first("DIS QL(*) =WHERE(DESCR EQ 'abc|"), "!No alternative suggested values available");
  // RESET QSTATS takes =WHERE and =SORT but not the MQSC clause; ALTER takes =WHERE in CCDT mode.
  EXPECT_NE(c.first("RESET QSTATS(*) =SORT(|)")[0], '!');
  EXPECT_EQ(c.first("RESET QSTATS(*) WHERE(|)"), "!=WHERE clause applies to DISPLAY commands");
  c.vocab.target = CommandTarget::Ccdt;
  EXPECT_EQ(c.first("ALTER CHANNEL(X) =WHERE(CONN|)").substr(0, 4), "CONN");
}

TEST(WhereCompletion, OddCursorsAndTextsAreSafe) {
  Completer c;
  for (std::string text :
       {"", "(", "=WHERE(", "DIS QL(*) =WHERE(", "DIS QL(*) =WHERE(((((", "DIS QL(*) =WHERE('",
        "DIS QL(*) =WHERE(\"a\" \"", "DIS QL(*) WHERE(", "DIS QL(*) =SORT(,,,", "DIS QL(*) =WHERE(>>>"}) {
    for (size_t cursor = 0; cursor <= text.size() + 2; ++cursor) {
      WhereCompletion r = completeInWhereClause(text, cursor, {}, c.vocab);
      if (r.outcome == Outcome::Completed) {
        EXPECT_LE(r.cursor, r.text.size()) << text;
      } else if (r.outcome == Outcome::Message) {
        EXPECT_FALSE(r.message.empty()) << text;
      }
    }
  }
  // A stale previous candidate (the user edited the word) starts afresh.
  WhereCompletion r = completeInWhereClause("DIS QL(*) =WHERE(CURD)", 21, {kNext, "MAXDEPTH", "MAX"}, c.vocab);
  EXPECT_EQ(r.candidate, "CURDEPTH");
}

}  // namespace
