// The MQI header helpers both sides rely on: blank-padded fields and the default
// structures (layouts themselves are checked at compile time in mq_types.h).
#include <gtest/gtest.h>

#include "mqi/mqi.h"

using namespace kvarn::mqi;

TEST(MqiFields, SetFieldPadsWithBlanksAndTruncates) {
  char field[8];
  setField(field, "ABC");
  EXPECT_EQ(std::string(field, 8), "ABC     ");
  setField(field, "ABCDEFGHIJ");
  EXPECT_EQ(std::string(field, 8), "ABCDEFGH");
  EXPECT_EQ(fieldText(field), "ABCDEFGH");
}

TEST(MqiFields, FieldTextStopsAtNulAndDropsTrailingBlanks) {
  char field[48] = "QM1";
  EXPECT_EQ(fieldText(field), "QM1");
  setField(field, "QM1  ");
  EXPECT_EQ(fieldText(field), "QM1");
  setField(field, "");
  EXPECT_EQ(fieldText(field), "");
}

TEST(MqiDefaults, StructuresStartAsIbmDefaultsDo) {
  MQMD md = defaultMD();
  EXPECT_EQ(std::string(md.StrucId, 4), "MD  ");
  EXPECT_EQ(md.Priority, MQPRI_PRIORITY_AS_Q_DEF);
  EXPECT_EQ(md.Persistence, MQPER_PERSISTENCE_AS_Q_DEF);
  EXPECT_EQ(md.Expiry, MQEI_UNLIMITED);
  EXPECT_EQ(std::string(md.Format, 8), "        ");
  MQOD od = defaultOD();
  EXPECT_EQ(fieldText(od.DynamicQName), "AMQ.*");
  EXPECT_EQ(od.ObjectType, MQOT_Q);
  MQCD cd = defaultClientConnCD();
  EXPECT_EQ(cd.ChannelType, MQCHT_CLNTCONN);
  EXPECT_EQ(cd.StrucLength, MQCD_LENGTH_6);
  EXPECT_EQ(std::string(MQFMT_ADMIN), "MQADMIN ");
  EXPECT_EQ(MQCD_LENGTH_12, static_cast<int>(sizeof(MQCD)));
}
