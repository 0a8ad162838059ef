#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "mqsc/attribute_tokenizer.h"
#include "mqsc/response.h"
#include "test_support.h"

namespace {

std::vector<std::string> tokens(std::string_view record, ListValueMode mode = ListValueMode::PerItem) {
  AttributeTokenizer tok(record, mode);
  AttributeToken t;
  std::vector<std::string> out;
  while (tok.next(t)) out.emplace_back(t.text);
  return out;
}

// A record is read once into an index: every reader after that finds attributes there.
TEST(ResponseRecordIndex, HeaderWordsAttributesAndWholeLines) {
  ResponseRecord r = parsedRecord(
      "AMQ8409I: Display Queue details.\n   QUEUE(Q1)  DESCR( a b )  NOSHARE\n   NAMES(\n A ,\n B )  [note] CURDEPTH(3)");
  ASSERT_TRUE(r.parsed);
  EXPECT_EQ(r.header(), "AMQ8409I: Display Queue details.");
  std::string_view v;
  EXPECT_TRUE(r.find("queue", false, v));  // any case
  EXPECT_EQ(v, "Q1");
  EXPECT_TRUE(r.find("DESCR", false, v));
  EXPECT_EQ(v, " a b ");  // the raw value; the tokens trim it
  EXPECT_TRUE(r.find("NOSHARE", true, v));
  EXPECT_FALSE(r.find("NOSHARE", false, v));
  EXPECT_FALSE(r.find("note", true, v));  // annotations are passed over
  EXPECT_TRUE(r.find("Queue", true, v));  // the header's words are indexed as bare words
  EXPECT_TRUE(r.find("CURDEPTH", false, v));
  EXPECT_EQ(v, "3");

  // Tokens that stand in the record as shown view its text; the rest are made.
  AttributeTokenizer tok(r);
  AttributeToken t;
  std::vector<std::string> shown;
  std::vector<bool> views;
  while (tok.next(t)) {
    shown.emplace_back(t.text);
    views.push_back(t.text.data() >= r.text.data() && t.text.data() < r.text.data() + r.text.size());
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"AMQ8409I: Display Queue details.", "QUEUE(Q1)", "DESCR(a b)", "NOSHARE",
                                             "NAMES(A", "B)", "CURDEPTH(3)"}));
  EXPECT_TRUE(views[1]);
  EXPECT_FALSE(views[2]);
  EXPECT_TRUE(views[6]);

  // A z/OS record comes as one line: its header is the message number and the word after.
  ResponseRecord z = parsedRecord("CSQM401I !MQ1 QUEUE(A) TYPE(QLOCAL)\nCSQM134I !MQ1 WHOLE LINE(X)");
  EXPECT_EQ(z.header(), "CSQM401I !MQ1 QUEUE(A) TYPE(QLOCAL)");  // not one line: the first line is the header
  ResponseRecord one = parsedRecord("CSQM401I !MQ1 QUEUE(A) TYPE(QLOCAL)");
  EXPECT_EQ(one.header(), "CSQM401I !MQ1");
  EXPECT_TRUE(one.find("TYPE", false, v));
  EXPECT_EQ(v, "QLOCAL");
  ResponseRecord whole = parsedRecord("H\n QUEUE(A)\nCSQM134I !MQ1 LINE(X) TAKEN WHOLE");
  EXPECT_FALSE(whole.find("LINE", false, v));  // a message line is no attribute
  std::vector<std::string> wholeTokens = tokens("H\n QUEUE(A)\nCSQM134I !MQ1 LINE(X) TAKEN WHOLE");
  EXPECT_EQ(wholeTokens.back(), "CSQM134I !MQ1 LINE(X) TAKEN WHOLE");

  // A record that begins with its attributes is read from its first line too.
  ResponseRecord handle = parsedRecord("TYPE(HANDLE) APPLTAG(app)\n   PID(12)");
  EXPECT_TRUE(handle.find("TYPE", false, v));
  EXPECT_EQ(v, "HANDLE");
  EXPECT_TRUE(handle.find("PID", false, v));
}

TEST(RecordHeaders, MessageNumbersAndForms) {
  EXPECT_TRUE(isRecordHeader("AMQ8409I: Display Queue details."));
  EXPECT_TRUE(isRecordHeader("AMQ8409: RESET QSTATS details."));
  EXPECT_FALSE(isRecordHeader("AMQ8409IX: nope"));
  EXPECT_FALSE(isRecordHeader("AMQ8147E: IBM MQ object X not found."));
  EXPECT_TRUE(isRecordHeader("CSQM401I !MQ1 QUEUE(A)"));
  EXPECT_TRUE(isRecordHeader("CSQM454I"));
  EXPECT_FALSE(isRecordHeader("CSQM404I !MQ1"));
  EXPECT_FALSE(isRecordHeader("CSQM4O1I"));
  EXPECT_TRUE(isRecordHeader("TYPE(HANDLE) QUEUE(A)"));
  EXPECT_TRUE(isRecordHeader("QSTATS(Q1) RESETINT(1)"));
  EXPECT_TRUE(isRecordHeader("AMQ8407I: Display Process details."));
  EXPECT_FALSE(isRecordHeader("AMQ8407I: Display Process details.", 256));
  EXPECT_FALSE(isRecordHeader("CSQM408I !MQ1", 256));
}

TEST(AttributeTokenizer, HeaderAttributesAndBareKeywords) {
  auto t = tokens("AMQ8409I: Display Queue details.\n   QUEUE(A)   TYPE(QLOCAL)\n   DESCR( two words )  NOSHARE\n"
                  "   [ignored text] TRIGDATA(a\nb)");
  EXPECT_EQ(t, (std::vector<std::string>{"AMQ8409I: Display Queue details.", "QUEUE(A)", "TYPE(QLOCAL)",
                                         "DESCR(two words)", "NOSHARE", "TRIGDATA(a b)"}));
  AttributeTokenizer tok("H\n NOSHARE TRIGGER CURDEPTH(5)");
  AttributeToken token;
  tok.next(token);
  tok.next(token);
  EXPECT_TRUE(token.isBare);
  EXPECT_EQ(token.column, "SHARE");
  EXPECT_EQ(token.value, "NOSHARE");
  tok.next(token);
  EXPECT_EQ(token.column, "TRIGGER");
  tok.next(token);
  EXPECT_EQ(token.keyword, "CURDEPTH");
  EXPECT_EQ(token.value, "5");
  EXPECT_FALSE(tok.next(token));
  EXPECT_FALSE(tok.next(token));
}

TEST(AttributeTokenizer, ListValues) {
  std::string_view record = "AMQ8550I: Display namelist details.\n NAMES( A ,B,\n C ) DESCR(x)";
  EXPECT_EQ(tokens(record),
            (std::vector<std::string>{"AMQ8550I: Display namelist details.", "NAMES(A", "B", "C)", "DESCR(x)"}));
  EXPECT_EQ(tokens(record, ListValueMode::One),
            (std::vector<std::string>{"AMQ8550I: Display namelist details.", "NAMES(A,B,  C)", "DESCR(x)"}));
  EXPECT_EQ(tokens("H\n NAMES( ONE ) MSGEXIT( )"), (std::vector<std::string>{"H", "NAMES(ONE)", "MSGEXIT()"}));
  EXPECT_EQ(tokens("CSQM401I X\nCSQM134I whole line here (x)\n QUEUE(A)"),
            (std::vector<std::string>{"CSQM401I X", "CSQM134I whole line here (x)", "QUEUE(A)"}));
  // An unclosed bracket ends at the end of the record.
  EXPECT_EQ(tokens("H\n DESCR(abc"), (std::vector<std::string>{"H", "DESCR(abc)"}));
}

const FieldDef *queueFields() {
  for (const CommandDef *c = CommandTable(); c->verb; ++c)
    if (std::string_view(c->verb) == "DISPLAY" && c->objectType && std::string_view(c->objectType) == "QLOCAL")
      return c->fields;
  return nullptr;
}

// IBM MQ returns DESCR('x(y') as DESCR(x(y): the value ends where the next attribute of
// the reply begins, never running through it, nor ending before a stray ')'.
TEST(AttributeTokenizer, UnbalancedBracketsInValuesKeepTheAttributesThatFollow) {
  const FieldDef *fields = queueFields();
  ASSERT_NE(fields, nullptr);
  auto read = [&](std::string_view descr) {
    std::string record = "AMQ8409I: Display Queue details.\n   QUEUE(Q)    TYPE(QLOCAL)\n   DESCR(" +
                         std::string(descr) + ")    MAXDEPTH(5000)\n   NOSHARE";
    std::vector<std::vector<std::string>> out;
    for (const FieldDef *table : {fields, static_cast<const FieldDef *>(nullptr)}) {
      AttributeTokenizer tok(record, ListValueMode::PerItem, false, {}, table);
      AttributeToken t;
      std::vector<std::string> got;
      while (tok.next(t))
        if (!t.isHeader) got.push_back(std::string(t.keyword) + "=" + std::string(t.value));
      out.push_back(got);
    }
    EXPECT_EQ(out[0], out[1]) << "the whole vocabulary reads " << descr << " as the command's table does";
    return out[0];
  };
  for (std::string_view descr : {"x(y", "a)b", "((", "))", ")(", "(a) (b", "'q(uote'", "it's (", "a) b"}) {
    EXPECT_EQ(read(descr), (std::vector<std::string>{"QUEUE=Q", "TYPE=QLOCAL", "DESCR=" + std::string(descr),
                                                     "MAXDEPTH=5000", "NOSHARE=NOSHARE"}))
        << descr;
  }
  // Balanced brackets, and a ')' followed by words that are no attribute, stay inside.
  EXPECT_EQ(read("f(x) g(y) z"), (std::vector<std::string>{"QUEUE=Q", "TYPE=QLOCAL", "DESCR=f(x) g(y) z",
                                                           "MAXDEPTH=5000", "NOSHARE=NOSHARE"}));
  // An attribute the vocabulary does not know after a balanced value is left alone.
  EXPECT_EQ(tokens("H\n DESCR(abc) NEWATTR(1) MAXDEPTH(5)"),
            (std::vector<std::string>{"H", "DESCR(abc)", "NEWATTR(1)", "MAXDEPTH(5)"}));
  // A stray ')' carries the value on to the end of its own word only.
  EXPECT_EQ(tokens("H\n DESCR(a) b) c) MAXDEPTH(5)"),
            (std::vector<std::string>{"H", "DESCR(a)", "b)", "c)", "MAXDEPTH(5)"}));
  // The last value of a record may hold a stray bracket too.
  EXPECT_EQ(tokens("H\n MAXDEPTH(5) DESCR(a)b)"), (std::vector<std::string>{"H", "MAXDEPTH(5)", "DESCR(a)b)"}));
  EXPECT_EQ(tokens("H\n MAXDEPTH(5) DESCR(x(y)"), (std::vector<std::string>{"H", "MAXDEPTH(5)", "DESCR(x(y)"}));

  // Reading one attribute by name walks the record the same way.
  std::string_view record = "AMQ8409I: Display Queue details.\n QUEUE(Q) DESCR(x(y)  MAXDEPTH(5000) NOSHARE";
  std::string_view value;
  ASSERT_TRUE(findRecordAttribute(record, "MAXDEPTH", fields, false, value));
  EXPECT_EQ(value, "5000");
  ASSERT_TRUE(findRecordAttribute(record, "descr", fields, false, value));
  EXPECT_EQ(value, "x(y");
  ASSERT_TRUE(findRecordAttribute(record, "QUEUE", fields, false, value));  // not the header's "Queue"
  EXPECT_EQ(value, "Q");
  ASSERT_TRUE(findRecordAttribute(record, "NOSHARE", fields, true, value));
  EXPECT_EQ(value, "NOSHARE");
  EXPECT_FALSE(findRecordAttribute(record, "NOSHARE", fields, false, value));
  EXPECT_FALSE(findRecordAttribute(record, "CURDEPTH", fields, false, value));
  EXPECT_FALSE(findRecordAttribute("H\n DESCR(a MAXDEPTH(1) b) CURDEPTH(0)", "MAXDEPTH", fields, false, value));
}

TEST(TimeStamps, ConvertedToLocalTime) {
  const char *old = std::getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "UTC0", 1);
  tzset();
  EXPECT_EQ(localTimeStamp("CONNTI(2026-12-06 14:05:09)"), "CONNTI(2026-12-06 14:05:09 (Local))");
  EXPECT_EQ(localTimeStamp("EVTIME(2026-12-06 14.05.09)"), "EVTIME(2026-12-06 14:05:09 (Local))");
  setenv("TZ", "CET-1", 1);
  tzset();
  EXPECT_EQ(localTimeStamp("STARTTI(2026-12-31 23:30:00)"), "STARTTI(2027-01-01 00:30:00 (Local))");
  EXPECT_EQ(localTimeStamp("STARTTI(2026-13-31 23:30:00)"), "STARTTI(?)");
  EXPECT_EQ(localTimeStamp("STARTTI( )"), "STARTTI(?)");
  EXPECT_EQ(localTimeStamp("DESCR(2026-12-31 23:30:00)"), "DESCR(2026-12-31 23:30:00)");
  if (old) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

TEST(AttributeCheck, UnknownKeywordsAreReported) {
  const CommandDef *display = nullptr;
  for (const CommandDef *c = CommandTable(); c->verb; ++c)
    if (std::string_view(c->verb) == "DISPLAY" && c->objectType && std::string_view(c->objectType) == "QUEUE") {
      display = c;
      break;
    }
  ASSERT_NE(display, nullptr);
  ResponseRecord rec =
      parsedRecord("AMQ8409I: Display Queue details.\n QUEUE(A) CURDEPTH(0) NOSUCHATTR(1) QSTATUS(x) NOHARDENBO");
  uint32_t count = 0;
  auto lines = uncheckedAttributes(rec, display, count);
  EXPECT_EQ(lines, std::vector<std::string>{"  Unhandled attribute NOSUCHATTR"});
  EXPECT_EQ(count, 1u);
}

}  // namespace

namespace {

TEST(AttributeCheck, CompletionReportsAndCountsInCheckMode) {
  TestContext tc;
  tc.ctx.countingUnhandled = true;
  CommandRecord rec;
  rec.commandText = "DISPLAY QUEUE(SYSTEM.DEFAULT.LOCAL.QUEUE) ALL";
  rec.isDisplay = true;
  MqscTarget target;
  target.platform = MQPL_UNIX;
  auto reply = escapeReply("AMQ8409I: Display Queue details.\n QUEUE(A) CURDEPTH(0) BOGUS(1) ALSOBOGUS");
  MQMD md = replyMd(MQFMT_ADMIN);
  ASSERT_TRUE(handleMqscResponse(tc.ctx, rec, target, md, reply.data(), reply.size()));
  EXPECT_EQ(tc.ctx.unhandledAttributes, 2u);
  size_t hidden = 0, errors = 0;
  for (const auto &[text, style] : tc.sink->lines) {
    if (style & kStyleHidden) ++hidden;
    if (text.rfind("  Unhandled attribute ", 0) == 0) {
      ++errors;
      EXPECT_TRUE(style & kStyleError);
      EXPECT_FALSE(style & kStyleHidden);
    }
  }
  EXPECT_EQ(errors, 2u);
  EXPECT_EQ(hidden, 2u);  // the record's two physical lines
}

}  // namespace
