#include <gtest/gtest.h>

#include "display/modifiers.h"
#include "mqsc/attribute_tokenizer.h"
#include "display_support.h"

namespace {

TEST(Modifiers, WhereTakesItsClauseOutAndAsksForTheKeyword) {
  DisplayTest t;
  CommandRecord rec;
  std::string sent;
  ASSERT_TRUE(t.prepare(rec, "DIS QL(*) =WHERE(CURDEPTH > 0)", &sent));
  EXPECT_EQ(sent.find("=WHERE"), std::string::npos);
  EXPECT_NE(sent.find(" CURDEPTH"), std::string::npos);

  CommandRecord again;
  ASSERT_TRUE(t.prepare(again, "DIS QL(*) CURDEPTH =WHERE(CURDEPTH > 0) =WHERE(MAXDEPTH > 1)", &sent));
  EXPECT_EQ(sent.find("CURDEPTH"), sent.rfind("CURDEPTH"));  // not appended a second time
  EXPECT_NE(sent.find("MAXDEPTH"), std::string::npos);
  ASSERT_NE(findModifierState(again), nullptr);
  EXPECT_EQ(findModifierState(again)->where.size(), 2u);
}

// Only a keyword the DISPLAY takes on its own as an attribute selector is added, and none
// that every record carries anyway: TYPE takes a value in DISPLAY QUEUE and QSTATUS,
// CHLTYPE in DISPLAY CHANNEL, and QUEUE is the object's name.
TEST(Modifiers, WhereAndSortNeverAddWhatTheQueueManagerWouldRefuse) {
  struct Case {
    const char *command;
    const char *sent;
  } cases[] = {
      {"DIS Q(T.*) =WHERE(TYPE EQ QALIAS)", "DIS Q(T.*)"},
      {"DIS Q(*) =WHERE(TYPE EQ QLOCAL) =SORT(QUEUE)", "DIS Q(*)"},
      {"DIS QSTATUS(X) =WHERE(TYPE = 'QUEUE')", "DIS QSTATUS(X)"},
      {"DIS CHL(*) =WHERE(CHLTYPE = SDR)", "DIS CHL(*)"},
      {"DIS QL(*) =SORTD(TYPE)", "DIS QL(*)"},
      {"DIS Q(*) =WHERE(TYPE EQ QLOCAL AND MAXDEPTH > 10)", "DIS Q(*) MAXDEPTH "},
      {"DIS CHL(*) =WHERE(CHLTYPE = SDR) =SORT(DESCR)", "DIS CHL(*) DESCR "},
      {"DIS CHS(*) =WHERE(CHLTYPE = SDR AND STATUS = RUNNING)", "DIS CHS(*)"},
      {"DIS CHS(*) =WHERE(MSGS > 0)", "DIS CHS(*) MSGS "},
  };
  for (const Case &c : cases) {
    DisplayTest t;
    CommandRecord rec;
    std::string sent;
    ASSERT_TRUE(t.prepare(rec, c.command, &sent)) << c.command << ": " << t.output();
    EXPECT_EQ(sent, c.sent) << c.command;
  }
}

TEST(Modifiers, BadClausesFailBeforeSending) {
  struct Case {
    const char *command;
    const char *message;
  } cases[] = {
      {"DIS QL(*) =WHERE(NOSUCHATTR > 0)", "Unknown variable 'NOSUCHATTR'"},
      {"DIS QL(*) =WHERE(CURDEPTH > )", ""},
      {"DIS QL(*) =WHERE(CURDEPTH.long > 1)", ""},
      {"DIS QL(*) =WHERE(CURDEPTH.foo > 1)", ""},
      {"ALTER QL(X) =WHERE(CURDEPTH > 0)", "Command is not suitable for =WHERE() clause"},
      {"FROB QL(X) =WHERE(CURDEPTH > 0)", "Unrecognised command to use =WHERE() clause"},
      {"DIS Q(*) =SORT(CURDEPTH) =SORTD(MAXDEPTH)", "You can only have one =SORT() or =SORTD() clause"},
      {"DIS Q(*) =SORT(CURDEPTH) =SORT(MAXDEPTH)", "You can only have one =SORT() or =SORTD() clause"},
      {"DEFINE QL(X) =SORT(CURDEPTH)", "Command is not suitable for =SORT() or =SORTD() clause"},
      {"DIS Q(*) =MAXRESP(abc)", "=MAXRESP() should specify an integer"},
      {"DIS Q(*) =MAXRESP(12a)", "=MAXRESP() should specify an integer"},
      {"DIS Q(*) =MAXRESP()", "=MAXRESP() should specify an integer"},
      {"DIS Q(*) =MAXRESP(-)", "=MAXRESP() should specify an integer"},
      {"DIS Q(*) =MAXRESP(1) =MAXRESP(2)", "You can only have one =MAXRESP() clause"},
      {"DEFINE QL(X) =MAXRESP(3)", "Command is not suitable for =MAXRESP() clause"},
      {"DEFINE QL(X) -DESCR", "MQSC modifiers are only supported on DISPLAY commands"},
      {"DIS QL(*) =WHERE(CURDEPTH > 0", ""},
  };
  for (const Case &c : cases) {
    DisplayTest t;
    CommandRecord rec;
    EXPECT_FALSE(t.prepare(rec, c.command)) << c.command;
    EXPECT_TRUE(rec.has(kMarkError)) << c.command;
    std::string out = t.output();
    EXPECT_FALSE(out.empty()) << c.command;
    if (*c.message) { EXPECT_NE(out.find(c.message), std::string::npos) << c.command << " gave " << out; }
  }
}

TEST(Modifiers, MaxRespValues) {
  DisplayTest t;
  CommandRecord negative;
  ASSERT_TRUE(t.prepare(negative, "DIS Q(*) =MAXRESP(-1)"));
  EXPECT_EQ(findModifierState(negative)->maxResp, -1);
  CommandRecord huge;
  ASSERT_TRUE(t.prepare(huge, "DIS Q(*) =MAXRESP(999999999999999999)"));
  EXPECT_EQ(findModifierState(huge)->maxResp, INT32_MAX);
}

TEST(Modifiers, AttributeSelection) {
  DisplayTest t;
  CommandRecord rec;
  std::string sent;
  ASSERT_TRUE(t.prepare(rec, "DIS Q(*) -ALL +CURDEPTH,maxdepth", &sent));
  EXPECT_EQ(sent, "DIS Q(*)");
  ModifierState *s = findModifierState(rec);
  ASSERT_NE(s, nullptr);
  EXPECT_FALSE(s->hidden("CURDEPTH"));
  EXPECT_FALSE(s->hidden("MAXDEPTH"));
  EXPECT_TRUE(s->hidden("QUEUE"));
  EXPECT_FALSE(s->hidden("LONGKEYWORDX"));  // keywords past ten characters always show

  CommandRecord hash;
  ASSERT_TRUE(t.prepare(hash, "DIS Q(*) ALL -#DEPTH +MAXDEPTH", &sent));
  EXPECT_EQ(sent, "DIS Q(*) ALL");
  s = findModifierState(hash);
  EXPECT_TRUE(s->hidden("CURDEPTH"));
  EXPECT_FALSE(s->hidden("MAXDEPTH"));
  EXPECT_FALSE(s->hidden("DESCR"));

  // Signs inside brackets and words are not selections.
  CommandRecord plain;
  ASSERT_TRUE(t.prepare(plain, "DIS Q(A-B) WHERE(CURDEPTH GT -1)", &sent));
  EXPECT_EQ(sent, "DIS Q(A-B) WHERE(CURDEPTH GT -1)");
  EXPECT_EQ(findModifierState(plain), nullptr);
}

TEST(Modifiers, SortOrderKeepsItsTieRuleAndSurvivesBadKeys) {
  DisplayTest t;
  CommandRecord rec;
  ASSERT_TRUE(t.prepare(rec, "DIS Q(*) =SORT(CURDEPTH)"));
  ModifierState &s = *findModifierState(rec);
  std::vector<std::string> texts = {"AMQ8409I: x\n QUEUE(A) CURDEPTH(5)", "AMQ8409I: x\n QUEUE(B) CURDEPTH(1)",
                                    "AMQ8409I: x\n QUEUE(C) CURDEPTH(5)", "AMQ8409I: x\n QUEUE(D)"};
  std::vector<SortKey> keys(texts.size());
  std::string error;
  for (size_t i = 0; i < texts.size(); ++i) ASSERT_TRUE(evaluateSortKey(s, parsedRecord(texts[i]), keys[i], error));
  EXPECT_TRUE(keys[3].absent);
  std::vector<size_t> order;
  ASSERT_TRUE(sortOrder(s, keys, order, error));
  // The record without the key sorts first; equal keys come in reverse arrival order.
  EXPECT_EQ(order, (std::vector<size_t>{3, 1, 2, 0}));
  s.sortDescending = true;
  ASSERT_TRUE(sortOrder(s, keys, order, error));
  EXPECT_EQ(order, (std::vector<size_t>{2, 0, 1, 3}));
}

}  // namespace
