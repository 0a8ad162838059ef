// The completed vocabulary data: types and IBM values of the less common keywords,
// WHERE-only response attributes, and slips of IBM's language tables that must stay out.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "mqsc/vocab.h"

namespace {

const FieldDef* Field(const char* table, const char* keyword) {
  return findFieldInTable(fieldTableByName(table), keyword, kFieldExactLength);
}

const CommandDef* Row(const char* verb, const char* object) {
  for (const CommandDef* row = CommandTable(); row->verb; ++row)
    if (row->objectType && std::string(row->verb) == verb && std::string(row->objectType) == object) return row;
  return nullptr;
}

TEST(VocabData, LessCommonKeywordsCarryTypesAndIbmValues) {
  struct Case {
    const char* table;
    const char* keyword;
    char type;
    const char* valueKeyword;
    int64_t value;  // IBM's constant
  };
  const Case cases[] = {
      {"qstatus", "INPUT", 'i', "EXCL", 2},         // MQQSO_EXCLUSIVE
      {"qstatus", "BROWSE", 'i', "YES", 1},         // MQQSO_YES
      {"qstatus", "ASTATE", 'r', "SUSPTEMP", 5},    // MQAS_SUSPENDED_TEMPORARY
      {"conn", "UOWSTATE", 'r', "UNRESOLVED", 3},   // MQUOWST_UNRESOLVED
      {"chstatus", "SECPROT", 'i', "TLSV13", 8},    // MQSECPROT_TLSV13
      {"clusqmgr", "QMTYPE", 'i', "REPOS", 1},      // MQQMT_REPOSITORY
      {"clusqmgr", "SUSPEND", 'i', "YES", 1},       // MQSUS_YES
      {"clusqmgr", "STATUS", 'i', "RUNNING", 3},    // MQCHS_RUNNING
      {"comminfo", "ENCODING", 'i', "ASPUB", -1},   // MQENC_AS_PUBLISHED
      {"comminfo", "MCPROP", 'i', "COMPAT", -2},    // MQMCP_COMPAT
      {"cfstruct", "CFCONLOS", 'i', "ASQMGR", 2},   // MQCFCONLOS_ASQMGR
      {"cfstruct", "OFFLOAD", 'i', "BOTH", 3},      // MQCFOFFLD_BOTH
      {"cfstruct", "DSBLOCK", 'i', "256K", 6},      // MQDSB_256K
      {"archive", "ALCUNIT", 'i', "CYL", 22},       // MQSYSP_ALLOC_CYL
      {"archive", "TSTAMP", 'i', "EXT", 2},         // MQSYSP_EXTENDED
      {"qmstatus", "STATUS", 'i', "QUIESCING", 3},  // MQQMSTA_QUIESCING
      {"pubsub", "STATUS", 'i', "COMPAT", 4},       // MQPS_STATUS_COMPAT
      {"apstatus", "BALSTATE", 'i', "HIGH", 3},     // MQBALSTATE_HIGH
      {"policy", "ENCALG", 'i', "AES256", 5},       // MQMLP_ENCRYPTION_ALG_AES256
      {"sub", "DISTYPE", 'i', "UNRESOLVED", 1},     // MQDOPT_DEFINED
      {"sub", "EXPIRY", 'i', "UNLIMITED", -1},      // MQEI_UNLIMITED
      {"channel", "AUTOSTART", 'i', "ENABLED", 1},  // MQAUTO_START_YES
      {"channel", "PROTOCOL", 'l', "MQTTV311", 4},  // MQPROTO_MQTTV311
      {"channel", "CHLTABLE", 'i', "CLNTTBL", 2},   // MQCHTAB_CLNTCONN
  };
  for (const Case& c : cases) {
    const FieldDef* f = Field(c.table, c.keyword);
    ASSERT_NE(f, nullptr) << c.table << ' ' << c.keyword;
    EXPECT_EQ(f->type, c.type) << c.table << ' ' << c.keyword;
    EXPECT_EQ(findValueByKeyword(f, c.valueKeyword), c.value) << c.table << ' ' << c.keyword;
  }
  // Numbers and pairs.
  EXPECT_EQ(fieldTypeOf(fieldTableByName("sbstatus"), "NUMMSGS"), 'i');
  EXPECT_EQ(fieldTypeOf(fieldTableByName("sbstatus"), "MCASTREL"), 'I');
  EXPECT_EQ(fieldTypeOf(fieldTableByName("cfstruct"), "CFLEVEL"), 'i');
  EXPECT_EQ(fieldTypeOf(fieldTableByName("conn"), "EXTCONN"), 'x');
}

TEST(VocabData, WhereOnlyResponseAttributes) {
  // DISPLAY CFSTATUS takes no attribute selectors: its attributes are offered in WHERE only.
  const CommandDef* cfstatus = Row("DISPLAY", "CFSTATUS");
  ASSERT_NE(cfstatus, nullptr);
  const CapabilityFlags zos = CapabilityFlags::forQueueManager(1, 940);
  const VocabContext ctx{&zos, CommandTarget::QueueManager};
  std::string message;
  EXPECT_EQ(findField(ctx, cfstatus, "SIZEUSED", "", kExact, nullptr, &message), nullptr);
  FieldQuery where;
  where.inWhere = true;
  const FieldDef* f = findField(ctx, cfstatus, "SIZEUSED", "", kExact, nullptr, &message, where);
  ASSERT_NE(f, nullptr) << message;
  EXPECT_EQ(f->type, 'i');
  EXPECT_EQ(fieldTypeOf(cfstatus->fields, "FAILDATE"), 't');

  // Channel status attributes are selectors and WHERE operands both.
  const CommandDef* chs = Row("DISPLAY", "CHSTATUS");
  const CapabilityFlags unix = CapabilityFlags::forQueueManager(3, 940);
  const VocabContext dist{&unix, CommandTarget::QueueManager};
  for (const char* keyword : {"MSGS", "BYTSSENT", "SUBSTATE", "STOPREQ", "CURLUWID", "CHSTADA", "SECPROT"}) {
    EXPECT_NE(findField(dist, chs, keyword, "", kExact, nullptr, &message, where), nullptr) << keyword;
  }
  // Queue manager status: the recovery log attributes of later releases.
  const FieldDef* qmstatus = fieldTableByName("qmstatus");
  for (const char* keyword : {"LOGINUSE", "LOGUTIL", "RECSZ", "MEDIASZ", "ARCHLOG", "QMNAME"})
    EXPECT_NE(findFieldInTable(qmstatus, keyword, kFieldExactLength), nullptr) << keyword;
}

TEST(VocabData, SlipsOfTheLanguageTablesStayOut) {
  const std::map<std::string, std::string> slips = {
      {"CHCKLOCAL", "authinfo"}, {"LDAPUSR", "authinfo"}, {"OSCPURL", "authinfo"},   {"SECCOM", "authinfo"},
      {"DEFSOFT", "queue"},      {"CRTTIME", "sub"},      {"LOCALADDR", "clusqmgr"}, {"QPDLOEV", "queue"}};
  for (const auto& [slip, table] : slips)
    EXPECT_EQ(findFieldInTable(fieldTableByName(table), slip, kFieldExactLength), nullptr) << slip;
  EXPECT_NE(Field("authinfo", "CHCKLOCL"), nullptr);
  EXPECT_NE(Field("authinfo", "OCSPURL"), nullptr);
  EXPECT_NE(Field("sub", "CRTIME"), nullptr);
  EXPECT_NE(Field("clusqmgr", "LOCLADDR"), nullptr);
}

TEST(VocabData, EveryValueTableIsReachableAndWellFormed) {
  // A value table must be named by some field, have rows, and no keyword twice.
  std::map<const ValueDef*, int> used;
  for (const CommandDef* row = CommandTable(); row->verb; ++row)
    for (const FieldDef* f = row->fields; f && f->keyword; ++f)
      if (f->values) ++used[f->values];
  ASSERT_FALSE(used.empty());
  for (const auto& [values, uses] : used) {
    std::map<std::string, int> seen;
    int rows = 0;
    for (const ValueDef* v = values; *v->description; ++v, ++rows) {
      std::string upper;
      for (char c : std::string(v->keyword)) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      EXPECT_EQ(++seen[upper], 1) << "duplicate value " << v->keyword;
    }
    EXPECT_GT(rows, 0);
  }
}

}  // namespace
