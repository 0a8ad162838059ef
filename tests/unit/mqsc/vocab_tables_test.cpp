// Integrity of the generated vocabulary tables: terminated, free of duplicates, and in
// agreement with IBM's values.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "mqsc/vocab.h"

namespace {

std::set<const FieldDef*> AllFieldTables() {
  std::set<const FieldDef*> tables;
  for (const CommandDef* row = CommandTable(); row->verb; ++row)
    if (row->fields) tables.insert(row->fields);
  tables.insert(messageDescriptorFields());
  return tables;
}

TEST(VocabTables, LocalCommandRowsHaveNoObjectAndEveryOtherRowHasOne) {
  for (const CommandDef* row = CommandTable(); row->verb; ++row) {
    if (row->mode == kModeAlways) {
      EXPECT_EQ(row->objectType, nullptr) << row->verb;
      EXPECT_EQ(row->commandLetter, 'a') << row->verb;
    } else {
      EXPECT_NE(row->objectType, nullptr) << row->verb;
    }
  }
}

TEST(VocabTables, CommandRowsCarryLettersAndTables) {
  for (const CommandDef* row = CommandTable(); row->verb; ++row) {
    if (!row->objectType) continue;
    const std::string object = row->objectType;
    const int letter = object == "CHANNEL"    ? 'c'
                       : object == "QLOCAL"   ? 'l'
                       : object == "QMODEL"   ? 'm'
                       : object == "QREMOTE"  ? 'r'
                       : object == "QUEUE"    ? 'q'
                       : object == "NAMELIST" ? 'n'
                       : object == "PROCESS"  ? 'p'
                                              : 'a';
    EXPECT_EQ(row->objectLetter, letter) << row->verb << ' ' << object;
    EXPECT_NE(row->fields, nullptr) << row->verb << ' ' << object;
  }
}

TEST(VocabTables, FieldTablesAreTerminatedWithoutDuplicates) {
  const auto tables = AllFieldTables();
  for (const FieldDef* table : tables) {
    std::set<std::string> seen;
    const FieldDef* f = table;
    for (; f->keyword; ++f) {
      EXPECT_TRUE(seen.insert(f->keyword).second) << "duplicate " << f->keyword;
      EXPECT_EQ(f->keywordLength, static_cast<int>(std::strlen(f->keyword)));
      ASSERT_NE(f->commandMask, nullptr) << f->keyword;
      EXPECT_EQ(std::strlen(f->commandMask) % 2, 0u) << f->keyword;
      EXPECT_TRUE(f->objectMask && *f->objectMask) << f->keyword;
      if (f->values) {
        const ValueDef* v = f->values;
        int n = 0;
        while (*v->description && n < 100) ++v, ++n;
        EXPECT_LT(n, 100) << "value table of " << f->keyword << " is not terminated";
      }
    }
    EXPECT_EQ(f->pcfParameter, 0);
  }
}

TEST(VocabTables, QueueAndQmgrTablesHoldCurrentKeywords) {
  const FieldDef* queue = fieldTableByName("queue");
  ASSERT_NE(queue, nullptr);
  for (const char* keyword : {"MAXDEPTH", "CURDEPTH", "IPPROCS", "OPPROCS", "QDPLOEV", "CAPEXPRY", "STREAMQ",
                              "IMGRCOVQ", "MAXFSIZE", "CLCHNAME", "TARGTYPE", "QUEUE"})
    EXPECT_NE(findFieldInTable(queue, keyword, kFieldExactLength), nullptr) << keyword;
  EXPECT_EQ(findFieldInTable(queue, "QPDLOEV", kFieldExactLength), nullptr);  // IBM's spelling is QDPLOEV
  const FieldDef* qstatus = fieldTableByName("qstatus");
  for (const char* keyword : {"MSGAGE", "QTIME", "UNCOM", "CURFSIZE", "LGETDATE"})
    EXPECT_NE(findFieldInTable(qstatus, keyword, kFieldExactLength), nullptr) << keyword;
  const FieldDef* chstatus = fieldTableByName("chstatus");
  for (const char* keyword : {"NETTIME", "XQMSGSA", "SUBSTATE", "STATUS", "MSGS"})
    EXPECT_NE(findFieldInTable(chstatus, keyword, kFieldExactLength), nullptr) << keyword;
  EXPECT_EQ(fieldTypeOf(chstatus, "NETTIME"), 'I');
  EXPECT_EQ(fieldTypeOf(queue, "CURDEPTH"), 'i');
  EXPECT_EQ(fieldTypeOf(queue, "QUEUE"), 'R');
  EXPECT_EQ(fieldTypeOf(queue, "DESCR"), 's');
  EXPECT_EQ(fieldTypeOf(queue, "WHERE"), 'w');
}

TEST(VocabTables, LaterQueueKeywordsAreOfferedOnlyToQueueManagersThatHaveThem) {
  const CapabilityFlags old = CapabilityFlags::forQueueManager(3, 500);
  const CapabilityFlags current = CapabilityFlags::forQueueManager(3, 942);
  const FieldDef* queue = fieldTableByName("queue");
  for (const char* keyword : {"CAPEXPRY", "STREAMQ", "STATQ", "CLCHNAME", "IMGRCOVQ", "MAXFSIZE"}) {
    const FieldDef* f = findFieldInTable(queue, keyword, kFieldExactLength);
    ASSERT_NE(f, nullptr) << keyword;
    EXPECT_FALSE(old.Allows(f->conditions)) << keyword;
    EXPECT_TRUE(current.Allows(f->conditions)) << keyword;
  }
}

TEST(VocabTables, ValueTablesCarryIbmNumbers) {
  const FieldDef* queue = fieldTableByName("queue");
  const FieldDef* acctq = findFieldInTable(queue, "ACCTQ", kFieldExactLength);
  EXPECT_EQ(findValueByKeyword(acctq, "QMGR"), -3);
  EXPECT_EQ(findValueByKeyword(acctq, "on"), 1);
  EXPECT_EQ(findValueByKeyword(acctq, "OFF"), 0);
  const FieldDef* defbind = findFieldInTable(queue, "DEFBIND", kFieldExactLength);
  EXPECT_EQ(findValueByKeyword(defbind, "NOTFIXED"), 1);
  EXPECT_EQ(findValueByKeyword(defbind, "GROUP"), 2);
  const FieldDef* qsgdisp = findFieldInTable(queue, "QSGDISP", kFieldExactLength);
  EXPECT_EQ(findValueByKeyword(qsgdisp, "ALL"), -1);
  EXPECT_EQ(findValueByKeyword(qsgdisp, "PRIVATE"), 4);
  const FieldDef* type = findFieldInTable(queue, "TYPE", kFieldExactLength);
  EXPECT_EQ(findValueByKeyword(type, "QCLUSTER"), 7);
  EXPECT_EQ(findValueByKeyword(type, "QREMOTE"), 6);
  EXPECT_EQ(findValueByKeyword(type, "QREM"), std::nullopt);  // whole keyword only
  EXPECT_EQ(findValueByKeyword(findFieldInTable(queue, "DESCR", kFieldExactLength), "X"), std::nullopt);

  // Every value row that mirrors an IBM family agrees with the constant of that name.
  const std::map<std::string, std::map<std::string, std::string>> mirrors = {
      {"chltype", {{"SDR", "MQCHT_SENDER"}, {"SVRCONN", "MQCHT_SVRCONN"}, {"AMQP", "MQCHT_AMQP"}}},
      {"chstatus", {{"RUNNING", "MQCHS_RUNNING"}, {"RETRYING", "MQCHS_RETRYING"}}},
      {"trigtype", {{"DEPTH", "MQTT_DEPTH"}, {"EVERY", "MQTT_EVERY"}}},
      {"platform", {{"MVS", "MQPL_MVS"}, {"WINDOWSNT", "MQPL_WINDOWS_NT"}}},
      {"monlevel", {{"HIGH", "MQMON_HIGH"}, {"QMGR", "MQMON_Q_MGR"}}}};
  for (const auto& [table, rows] : mirrors) {
    const ValueDef* values = valueTableByName(table);
    ASSERT_NE(values, nullptr) << table;
    for (const auto& [keyword, constant] : rows) {
      const ValueDef* v = values;
      while (*v->description && keyword != v->keyword) ++v;
      ASSERT_TRUE(*v->description) << table << ' ' << keyword;
      EXPECT_EQ(v->value, constantByName(constant)) << table << ' ' << keyword;
    }
  }
}

TEST(VocabTables, MessageDescriptorOffsets) {
  const std::map<std::string, int> offsets = {
      {"REPORT", 8},        {"EXPIRY", 16},       {"FORMAT", 32},         {"MSGTYPE", 12},
      {"PUTDATE", 304},     {"PUTTIME", 312},     {"FEEDBACK", 20},       {"ENCODING", 24},
      {"PRIORITY", 40},     {"REPLYTOQ", 100},    {"PERSISTENCE", 44},    {"PUTAPPLTYPE", 272},
      {"REPLYTOQMGR", 148}, {"PUTAPPLNAME", 276}, {"CODEDCHARSETID", 28}, {"USERIDENTIFIER", 196}};
  for (const FieldDef* f = messageDescriptorFields(); f->keyword; ++f) {
    ASSERT_TRUE(offsets.count(f->keyword)) << f->keyword;
    EXPECT_EQ(f->recordOffset, offsets.at(f->keyword)) << f->keyword;
    EXPECT_NE(f->pcfParameter, 0) << f->keyword;
  }
  for (const auto& [keyword, offset] : offsets)
    EXPECT_NE(findFieldInTable(messageDescriptorFields(), keyword, kFieldExactLength), nullptr) << keyword;
  // REPLYTOQ must not be taken as a prefix of REPLYTOQMGR.
  EXPECT_EQ(findFieldInTable(messageDescriptorFields(), "REPLYTOQ", 0)->recordOffset, 100);
}

TEST(VocabTables, NameListDescriptors) {
  const NameListDef* queue = findNameList("queue");
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(queue->inquireCommand, constantByName("MQCMD_INQUIRE_Q"));
  EXPECT_EQ(queue->selector, constantByName("MQIACF_Q_ATTRS"));
  EXPECT_EQ(queue->nameParameter, constantByName("MQCA_Q_NAME"));
  EXPECT_EQ(findNameList("SMDS")->selector, 0);
  EXPECT_EQ(findNameList("evstream")->fromTolk, 1);
  EXPECT_EQ(findNameList("nosuch"), nullptr);
}

TEST(VocabConstants, WellKnownValues) {
  const std::map<std::string, int64_t> known = {{"MQRC_UNKNOWN_OBJECT_NAME", 2085},
                                                {"MQRC_NO_MSG_AVAILABLE", 2033},
                                                {"MQRCCF_COMMAND_FAILED", 3008},
                                                {"MQRCCF_OBJECT_ALREADY_EXISTS", 4001},
                                                {"MQRCCF_OBJECT_OPEN", 4004},
                                                {"MQIA_CURRENT_Q_DEPTH", 3},
                                                {"MQIA_MAX_Q_DEPTH", 15},
                                                {"MQBACF_ACCOUNTING_TOKEN", 7010},
                                                {"MQRC_ACTION_ERROR", 2535},
                                                {"MQCA_Q_NAME", 2016},
                                                {"MQCACH_CHANNEL_NAME", 3501},
                                                {"MQIACF_Q_ATTRS", 1002},
                                                {"MQCMD_INQUIRE_Q", 13},
                                                {"MQCMD_ESCAPE", 38},
                                                {"MQQT_LOCAL", 1},
                                                {"MQQT_CLUSTER", 7},
                                                {"MQPL_UNIX", 3},
                                                {"MQPL_WINDOWS_NT", 11},
                                                {"MQCHT_CLUSSDR", 9},
                                                {"MQFB_EXPIRATION", 258},
                                                {"MQOT_Q", 1},
                                                {"MQAT_WINDOWS_NT", 11},
                                                {"MQMON_Q_MGR", -3},
                                                {"MQRC_NOT_AUTHORIZED", 2035},
                                                {"MQRC_Q_FULL", 2053},
                                                {"MQRC_HOST_NOT_AVAILABLE", 2538}};
  for (const auto& [name, value] : known) EXPECT_EQ(constantByName(name), value) << name;
  EXPECT_EQ(constantByName("mqia_max_q_depth"), 15);           // any case
  EXPECT_EQ(constantByName("MQIA_MAX_Q_DEPT"), std::nullopt);  // whole names only
  EXPECT_EQ(constantByName(""), std::nullopt);
  EXPECT_EQ(constantByName(std::string(300, 'A')), std::nullopt);
  EXPECT_EQ(constantByName("ZRT_ATTR_RESPONSE_DELIMITER"), 40000);
  EXPECT_EQ(constantByName("MYIA_Q_DEPTH_CHECKED"), 10003);
}

TEST(VocabConstants, RowsCarryDescriptionsAndKeywords) {
  const ConstNameDef* depth = constantRowByName("MQIA_MAX_Q_DEPTH");
  ASSERT_NE(depth, nullptr);
  EXPECT_STREQ(depth->description, "Maximum Queue Depth");
  EXPECT_STREQ(depth->keyword, "MAXDEPTH");
  const ConstNameDef* token = constantRowByName("MQBACF_ACCOUNTING_TOKEN");
  EXPECT_STREQ(token->description, "Accounting Token");
  EXPECT_STREQ(token->keyword, "PUBACCT");
  EXPECT_STREQ(parameterText(15), "Maximum Queue Depth");
}

TEST(VocabConstants, SearchOrderTablesAreTerminatedAndFamiliesPresent) {
  int tables = 0;
  std::set<std::string> families;
  for (const ConstNameDef* const* t = constantSearchOrder(); *t; ++t, ++tables) {
    int rows = 0;
    for (const ConstNameDef* row = *t; row->name; ++row, ++rows) {
      const std::string name = row->name;
      families.insert(name.substr(0, name.find('_') + 1));
    }
    EXPECT_GT(rows, 0);
  }
  EXPECT_EQ(constantSearchOrder()[0], constantSearchOrder()[tables - 1]);  // first table once more
  for (const char* family :
       {"MQBACF_", "MQCA_", "MQCACF_", "MQCACH_", "MQIA_", "MQIACF_", "MQIACH_", "MQCMD_", "MQRC_", "MQRCCF_", "MQFB_",
        "MQAT_", "MQOT_", "MQQT_", "MQPL_", "MQCHT_", "ZRT_", "ZRTFB_", "MYIA_"})
    EXPECT_TRUE(families.count(family)) << family;
}

TEST(VocabConstants, ReasonTexts) {
  EXPECT_STREQ(reasonText(2085), "Unknown Object Name");
  EXPECT_STREQ(reasonText(2035), "Not Authorized");
  EXPECT_STREQ(reasonText(3008), "Command Failed");
  EXPECT_STREQ(reasonText(258), "Expiration");  // from the feedback codes
  EXPECT_STREQ(reasonText(123456), "");         // unknown: empty, never null
  EXPECT_STREQ(reasonText(0), "None");
}

}  // namespace
