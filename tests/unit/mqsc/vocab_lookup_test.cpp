// Lookups as the parser, completion and the output modifiers use them.
#include <gtest/gtest.h>

#include <string>

#include "mqsc/vocab.h"

namespace {

class VocabLookup : public ::testing::Test {
 protected:
  CapabilityFlags unix942 = CapabilityFlags::forQueueManager(3, 942);
  CapabilityFlags zos930 = CapabilityFlags::forQueueManager(1, 930);
  CapabilityFlags ccdt = CapabilityFlags::forCcdt();
  VocabContext mq{&unix942, CommandTarget::QueueManager};
  VocabContext zos{&zos930, CommandTarget::QueueManager};
  std::string message;

  const CommandDef* Command(const VocabContext& ctx, const char* word) {
    return findCommand(ctx, word, "", kExact, false, &message);
  }
  const CommandDef* Object(const VocabContext& ctx, const char* verb, const char* word) {
    return findObjectType(ctx, Command(ctx, verb), word, "", kExact, false, true, &message);
  }
  std::string Field(const CommandDef* row, const char* current, const char* prefix, int direction,
                    const FieldQuery& query = {}) {
    const FieldDef* f = findField(mq, row, current, prefix, direction, nullptr, &message, query);
    return f ? f->keyword : "";
  }
};

TEST_F(VocabLookup, CapabilityFlagsByPlatformAndLevel) {
  auto set = [](const CapabilityFlags& f) {
    std::string s;
    for (int i = 0; i < kCapabilityFlagCount; ++i)
      if (f[i]) s += std::to_string(i) + ' ';
    return s;
  };
  // A feature of later levels, and one that only early z/OS levels have.
  EXPECT_FALSE(CapabilityFlags::forQueueManager(3, 710)[16]);
  EXPECT_TRUE(unix942[16]);
  EXPECT_TRUE(CapabilityFlags::forQueueManager(1, 100)[9]);
  EXPECT_FALSE(zos930[9]);
  EXPECT_TRUE(CapabilityFlags::forQueueManager(11, 800)[25]);  // a platform departing from its column
  EXPECT_FALSE(unix942[25]);
  EXPECT_EQ(set(CapabilityFlags::forQueueManager(5, 942)), "");  // unknown platform: nothing
  EXPECT_TRUE(CapabilityFlags::forQueueManager(28, 942)[71]);
  EXPECT_FALSE(CapabilityFlags::forQueueManager(13, 942)[37]);
  EXPECT_FALSE(CapabilityFlags::forQueueManager(11, 801)[52]);
  EXPECT_TRUE(CapabilityFlags::forQueueManager(3, 801)[52]);
  EXPECT_TRUE(CapabilityFlags::forQueueManager(3, 942, true)[46]);
  EXPECT_FALSE(unix942[46]);

  CapabilityFlags tolk = unix942;
  tolk.applyTolkLevel(921);
  EXPECT_TRUE(tolk[61]);
  EXPECT_FALSE(tolk[62]);
  for (int flag : {14, 15, 19, 27}) EXPECT_FALSE(ccdt[flag]) << flag;
  for (int flag : {1, 21, 36, 64, 71}) EXPECT_TRUE(ccdt[flag]) << flag;
}

TEST_F(VocabLookup, ShortFormsResolveInAnyCase) {
  const CommandDef* dis = Command(mq, "DIS");
  ASSERT_NE(dis, nullptr);
  EXPECT_STREQ(dis->verb, "DISPLAY");
  EXPECT_EQ(Command(mq, "display"), dis);
  const CommandDef* q = Object(mq, "DIS", "Q");
  ASSERT_NE(q, nullptr);
  EXPECT_STREQ(q->objectType, "QUEUE");
  EXPECT_EQ(Object(mq, "display", "queue"), q);
  EXPECT_STREQ(Object(mq, "ALT", "QL")->objectType, "QLOCAL");
  // REF exists only on the REFRESH SECURITY rows.
  EXPECT_STREQ(Command(mq, "REF")->verb, "REFRESH");
  EXPECT_STREQ(Object(mq, "REF", "SEC")->objectType, "SECURITY");
  EXPECT_STREQ(Object(zos, "REFRESH", "SECURITY")->nameKind, "x");
  EXPECT_STREQ(Object(mq, "REFRESH", "SECURITY")->nameKind, "");
  // Short forms can be switched off for object types.
  EXPECT_EQ(findObjectType(mq, dis, "Q", "", kExact, false, false, &message), nullptr);
}

TEST_F(VocabLookup, ExactMissMessages) {
  EXPECT_EQ(Command(mq, "DISPLAZ"), nullptr);
  EXPECT_EQ(message, "Command 'DISPLAZ' not found");
  EXPECT_EQ(Object(mq, "DIS", "QUEUES"), nullptr);
  EXPECT_EQ(message, "Object type 'QUEUES' not recognised");
  EXPECT_EQ(findObjectType(mq, nullptr, "Q", "", kExact, false, true, &message), nullptr);
  EXPECT_EQ(message, "Command not recognised");
  const CommandDef* q = Object(mq, "DIS", "Q");
  EXPECT_EQ(Field(q, "MAXDEPTHS", "", kExact), "");
  EXPECT_EQ(message, "Field 'MAXDEPTHS' not found");
  EXPECT_EQ(Field(q, "", "", kExact), "");
  EXPECT_EQ(message, "Field not found");
  const FieldDef* descr = findFieldInTable(q->fields, "DESCR", kFieldExactLength);
  EXPECT_EQ(findValue(mq, descr, "X", "", kExact, &message), nullptr);
  EXPECT_EQ(message, "Field 'DESCR' does not have any predefined values");
}

TEST_F(VocabLookup, LongWordsAreCutToFitTheMessage) {
  const std::string word(200, 'Z');
  EXPECT_EQ(Command(mq, word.c_str()), nullptr);
  const std::string format = "Command '%s' not found";
  const size_t room = 77 - format.size();
  EXPECT_EQ(message, "Command '" + std::string(room, 'Z') + "...' not found");
  // A word that fits is not cut.
  const std::string fits(room, 'Y');
  Command(mq, fits.c_str());
  EXPECT_EQ(message, "Command '" + fits + "' not found");
}

TEST_F(VocabLookup, CompletingFieldsCyclesWithWrapAround) {
  const CommandDef* q = Object(mq, "DIS", "Q");
  EXPECT_EQ(Field(q, "CUR", "CUR", kNext), "CURDEPTH");
  bool takesValue = true;
  findField(mq, q, "", "CURD", kNext, &takesValue, &message);
  EXPECT_FALSE(takesValue);  // DISPLAY names attributes alone
  findField(mq, Object(mq, "DEF", "QL"), "", "MAXD", kNext, &takesValue, &message);
  EXPECT_TRUE(takesValue);

  // #DEPTH matches anywhere in the keyword; walk forwards and back with wrap-around.
  const std::string first = Field(q, "", "#DEPTH", kNext);
  EXPECT_EQ(first, "CURDEPTH");
  const std::string second = Field(q, first.c_str(), "#DEPTH", kNext);
  EXPECT_EQ(second, "MAXDEPTH");
  const std::string third = Field(q, second.c_str(), "#DEPTH", kNext);
  EXPECT_EQ(third, "TRIGDPTH" == third ? third : third);  // whatever follows, cycling continues
  std::string word = first, last;
  for (int i = 0; i < 20 && word != "" && (i == 0 || word != first); ++i) {
    last = word;
    word = Field(q, word.c_str(), "#DEPTH", kNext);
  }
  EXPECT_EQ(word, first) << "next from the last match wraps to the first";
  EXPECT_EQ(Field(q, first.c_str(), "#DEPTH", kPrevious), last) << "previous from the first wraps to the last";
  EXPECT_EQ(Field(q, "", "#DEPTH", kPrevious), last);
}

TEST_F(VocabLookup, CompletionMessages) {
  const CommandDef* q = Object(mq, "DIS", "Q");
  EXPECT_EQ(Field(q, "", "ZZZ", kNext), "");
  EXPECT_EQ(message, "No field starting with prefix 'ZZZ' found");
  EXPECT_EQ(Field(q, "CURDEPTH", "CURD", kNext), "");
  EXPECT_EQ(message, "No alternative field with prefix 'CURD' found");
  FieldQuery allow;
  allow.allowCurrent = true;
  EXPECT_EQ(Field(q, "CURDEPTH", "CURD", kNext, allow), "CURDEPTH");
  EXPECT_EQ(Command(mq, "DISPLAY"), findCommand(mq, "", "DISP", kNext, false, &message));
  EXPECT_EQ(findCommand(mq, "DISPLAY", "DISP", kNext, false, &message), nullptr);
  EXPECT_EQ(message, "No alternative command with prefix 'DISP' found");
  EXPECT_EQ(findCommand(mq, "", "QQ", kNext, false, &message), nullptr);
  EXPECT_EQ(message, "No command starting with prefix 'QQ' found");
  EXPECT_EQ(findObjectType(mq, Command(mq, "DIS"), "", "QX", kNext, false, true, &message), nullptr);
  EXPECT_EQ(message, "No object type starting with prefix 'QX' found");

  // With every keyword of the object already on the line nothing is left to offer.
  const CommandDef* sec = Object(zos, "RVERIFY", "SECURITY");
  FieldQuery none;
  for (const FieldDef* f = sec->fields; f->keyword; ++f) none.present.push_back(f->keyword);
  EXPECT_EQ(findField(zos, sec, "", "", kNext, nullptr, &message, none), nullptr);
  EXPECT_EQ(message, "No additional fields found");
}

TEST_F(VocabLookup, KeywordsOnTheLineAndWhereClauses) {
  const CommandDef* q = Object(mq, "DIS", "Q");
  FieldQuery query;
  query.present = {"CURDEPTH"};
  EXPECT_EQ(Field(q, "", "CURD", kNext, query), "");
  const CommandDef* alter = Object(mq, "ALTER", "QL");
  query.present = {"NOSHARE"};
  EXPECT_EQ(Field(alter, "", "SHARE", kNext, query), "");  // the opposite is already there
  query.present = {};
  EXPECT_EQ(Field(alter, "", "SHARE", kNext, query), "SHARE");

  FieldQuery where;
  where.inWhere = true;
  EXPECT_EQ(Field(q, "", "WHE", kNext, where), "");   // 'w' is not offered inside WHERE
  EXPECT_EQ(Field(q, "", "CMDS", kNext, where), "");  // nor command-only keywords
  EXPECT_EQ(Field(q, "", "ALL", kNext, where), "");
  EXPECT_EQ(Field(q, "", "QUEU", kNext, where), "QUEUE");  // the object name is, through 'W'
  EXPECT_EQ(Field(q, "", "QUEU", kNext), "");              // but not as a DISPLAY keyword
}

TEST_F(VocabLookup, RowsFilteredByPlatformAndTarget) {
  EXPECT_NE(Object(mq, "DIS", "LISTENER"), nullptr);
  EXPECT_EQ(Object(zos, "DIS", "LISTENER"), nullptr);
  EXPECT_NE(Object(zos, "DIS", "USAGE"), nullptr);
  EXPECT_EQ(Object(mq, "DIS", "USAGE"), nullptr);
  // CAPEXPRY needs command level 931 on distributed platforms.
  CapabilityFlags old = CapabilityFlags::forQueueManager(3, 920);
  VocabContext oldCtx{&old, CommandTarget::QueueManager};
  const CommandDef* q = Object(mq, "DIS", "Q");
  EXPECT_NE(findField(mq, q, "CAPEXPRY", "", kExact, nullptr, &message), nullptr);
  EXPECT_EQ(findField(oldCtx, q, "CAPEXPRY", "", kExact, nullptr, &message), nullptr);

  VocabContext tolk{&unix942, CommandTarget::Tolk};
  EXPECT_EQ(Command(tolk, "DEFINE")->mode, kModeTolk);
  EXPECT_EQ(Object(tolk, "DEFINE", "QLOCAL"), nullptr);
  EXPECT_NE(Object(tolk, "DEFINE", "EVSTREAM"), nullptr);
  EXPECT_EQ(Command(tolk, "CLEAR"), nullptr);
  EXPECT_NE(Command(tolk, "=set"), nullptr);
  EXPECT_EQ(Command(mq, "ADD"), nullptr);  // TOLK-only verb

  VocabContext ccdtCtx{&ccdt, CommandTarget::Ccdt};
  int visible = 0;
  for (const char* verb : {"ALTER", "DEFINE", "DELETE", "DISPLAY", "MOVE"}) {
    const CommandDef* row = Command(ccdtCtx, verb);
    ASSERT_NE(row, nullptr) << verb;
    for (const CommandDef *o = findObjectType(ccdtCtx, row, "", "", kNext, false, true, &message), *start = o; o;) {
      EXPECT_TRUE(std::string(o->objectType) == "CHANNEL" || std::string(o->objectType) == "AUTHINFO")
          << verb << ' ' << o->objectType;
      ++visible;
      o = findObjectType(ccdtCtx, row, o->objectType, "", kNext, false, true, &message);
      if (o == start) break;
    }
  }
  EXPECT_EQ(visible, 9);  // AUTHINFO and CHANNEL in four verbs, MOVE CHANNEL
  EXPECT_EQ(Command(ccdtCtx, "START"), nullptr);
  EXPECT_NE(Command(ccdtCtx, "=ccdt"), nullptr);
}

TEST_F(VocabLookup, CommandCyclingVisitsEachVerbOnce) {
  std::string seen;
  const CommandDef* row = findCommand(mq, "", "RE", kNext, false, &message);
  const CommandDef* start = row;
  int steps = 0;
  while (row && steps < 20) {
    seen += std::string(row->verb) + ' ';
    row = findCommand(mq, row->verb, "RE", kNext, false, &message);
    ++steps;
    if (row == start) break;
  }
  EXPECT_EQ(seen, "REFRESH RESET RESOLVE RESUME ");  // RECOVER is z/OS only; REMOVE, RENAME are TOLK's
}

TEST_F(VocabLookup, FindFieldInTableResolvesVariables) {
  const FieldDef* chs = Object(mq, "DIS", "CHSTATUS")->fields;
  bool ambiguous = false;
  EXPECT_EQ(findFieldInTable(chs, "LSTMSG", 0, &ambiguous), nullptr);  // LSTMSGDA, LSTMSGTI
  EXPECT_TRUE(ambiguous);
  const FieldDef* nettime = findFieldInTable(chs, "NETTIME", 0, &ambiguous);
  ASSERT_NE(nettime, nullptr);
  EXPECT_FALSE(ambiguous);
  EXPECT_EQ(findFieldInTable(chs, "NET", 0, &ambiguous), nettime);  // a unique prefix
  EXPECT_STREQ(findFieldInTable(chs, "nettime", kFieldExactLength)->keyword, "NETTIME");
  EXPECT_EQ(findFieldInTable(chs, "NETT", kFieldExactLength), nullptr);
  EXPECT_NE(findFieldInTable(chs, "NETT", 0), nullptr);
  // Option 2 leaves out command-only keywords.
  EXPECT_NE(findFieldInTable(chs, "CMDSCOPE", kFieldExactLength), nullptr);
  EXPECT_EQ(findFieldInTable(chs, "CMDSCOPE", kFieldExactLength | kFieldSkipCommandOnly), nullptr);
  EXPECT_EQ(findFieldInTable(chs, "", 0, &ambiguous), nullptr);
  EXPECT_EQ(findFieldInTable(nullptr, "X", 0, &ambiguous), nullptr);
  EXPECT_EQ(fieldTypeOf(chs, "NOSUCH"), '\0');
}

TEST_F(VocabLookup, ValuesCycleAndFilter) {
  const CommandDef* q = Object(mq, "DIS", "Q");
  const FieldDef* type = findFieldInTable(q->fields, "TYPE", kFieldExactLength);
  const ValueDef* v = findValue(mq, type, "", "Q", kNext, &message);
  ASSERT_NE(v, nullptr);
  EXPECT_STREQ(v->keyword, "QLOCAL");
  EXPECT_STREQ(findValue(mq, type, "QLOCAL", "Q", kNext, &message)->keyword, "QALIAS");
  EXPECT_STREQ(findValue(mq, type, "", "qc", kNext, &message)->keyword, "QCLUSTER");
  // QCLUSTER needs clustering (flag 8), which z/OS below 210 lacks.
  CapabilityFlags early = CapabilityFlags::forQueueManager(1, 200);
  VocabContext earlyCtx{&early, CommandTarget::QueueManager};
  EXPECT_EQ(findValue(earlyCtx, type, "", "QC", kNext, &message), nullptr);
  EXPECT_EQ(message, "No value with prefix 'QC' found");
  EXPECT_EQ(findValue(mq, type, "QCLUSTER", "QC", kNext, &message), nullptr);
  EXPECT_EQ(message, "No alternative value with prefix 'QC' found");
  EXPECT_EQ(findValue(mq, type, "QBOGUS", "", kExact, &message), nullptr);
  EXPECT_EQ(message, "Value 'QBOGUS' not found");
}

TEST(VocabInitialise, TracesOnce) {
  testing::internal::CaptureStderr();
  InitialiseCommandFields(64);
  InitialiseCommandFields(64);
  const std::string trace = testing::internal::GetCapturedStderr();
  EXPECT_EQ(trace.rfind("InitialiseCommandFields\n", 0), 0u);
  EXPECT_NE(trace.find("Command - DISPLAY QUEUE\n"), std::string::npos);
  EXPECT_EQ(trace.find("InitialiseCommandFields (Return)\n"), trace.size() - 33);
  EXPECT_EQ(trace.find("InitialiseCommandFields (Return)\n"), trace.rfind("InitialiseCommandFields (Return)\n"));
}

}  // namespace
