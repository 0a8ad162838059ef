#include <gtest/gtest.h>

#include "ccdtmode/channel_attributes.h"

namespace kvarn::ccdtmode {
namespace {

using kvarn::ccdt::ChannelDefinition;

// A value each kind of settable attribute accepts, as typed.
std::string sampleValue(const ChannelAttribute &attr) {
  switch (attr.kind) {
  case AttributeKind::Text:
  case AttributeKind::Secret: return "'Mixed'";
  case AttributeKind::Number: return std::to_string(attr.high);
  case AttributeKind::Keyword:
  case AttributeKind::ChannelType: return attr.values.back().keyword;
  case AttributeKind::KeywordList: return std::string(attr.values[1].keyword) + "," + attr.values[0].keyword;
  case AttributeKind::ExitList: return "'exit1(fn)','exit2(fn)'";
  default: return "";
  }
}

TEST(ChannelAttributes, EverySettableAttributeShowsTheValueItWasGiven) {
  for (const ChannelAttribute &attr : channelAttributes()) {
    if (!(attr.verbs & kVerbDefine) || attr.kind == AttributeKind::Flag || attr.kind == AttributeKind::JsonNumber)
      continue;
    ChannelDefinition def;
    Clause clause{attr.keyword, sampleValue(attr), true};
    std::string message;
    ASSERT_TRUE(applyChannelAttribute(attr, clause, def, message)) << attr.keyword << ": " << message;
    std::string shown = formatChannelAttribute(attr, def);
    std::string expected = std::string(attr.keyword) + "(" + mqscValue(clause.value) + ")";
    if (attr.kind == AttributeKind::Secret) expected = std::string(attr.keyword) + "(*****)";
    if (attr.kind == AttributeKind::ExitList) expected = std::string(attr.keyword) + "(exit1(fn),exit2(fn))";
    EXPECT_EQ(shown, expected) << attr.keyword;
  }
}

TEST(ChannelAttributes, ValuesBeyondTheirLimitsAreRefusedWithTheAttributeNamed) {
  ChannelDefinition def;
  const ChannelDefinition before = def;
  std::string message;
  EXPECT_FALSE(applyChannelAttribute(*findChannelAttribute("HBINT"), {"HBINT", "1000000", true}, def, message));
  EXPECT_EQ(message, "AMQ8427: The value of 'HBINT' should be between 0 and 999999.");
  EXPECT_FALSE(applyChannelAttribute(*findChannelAttribute("MAXMSGL"), {"MAXMSGL", "12x", true}, def, message));
  EXPECT_EQ(message, "AMQ8427: Invalid value for 'MAXMSGL'.");
  EXPECT_FALSE(applyChannelAttribute(*findChannelAttribute("DESCR"), {"DESCR", "'" + std::string(65, 'x') + "'", true},
                                     def, message));
  EXPECT_EQ(message, "AMQ8427: The maximum length of attribute 'DESCR' is 64 characters.");
  EXPECT_FALSE(applyChannelAttribute(*findChannelAttribute("TRPTYPE"), {"TRPTYPE", "UDP", true}, def, message));
  EXPECT_EQ(message, "AMQ8427: Unrecognised value 'UDP'.");
  EXPECT_FALSE(
      applyChannelAttribute(*findChannelAttribute("COMPHDR"), {"COMPHDR", "SYSTEM,SYSTEM", true}, def, message));
  EXPECT_EQ(message, "AMQ8411: Duplicate keyword error 'SYSTEM'.");
  EXPECT_FALSE(
      applyChannelAttribute(*findChannelAttribute("COMPHDR"), {"COMPHDR", "NONE,SYSTEM,NONE", true}, def, message));
  EXPECT_EQ(message, "AMQ8427: Too many values.");
  EXPECT_FALSE(applyChannelAttribute(*findChannelAttribute("ALTDATE"), {"ALTDATE", "2020-01-01", true}, def, message));
  EXPECT_EQ(message, "AMQ8427: You can not set the value of attribute 'ALTDATE'");
  EXPECT_EQ(def, before) << "a refused value changes nothing";
}

TEST(ChannelAttributes, MqscValuesFoldUnquotedTextAndKeepQuotedText) {
  EXPECT_EQ(mqscValue("  host(1414) "), "HOST(1414)");
  EXPECT_EQ(mqscValue("'It''s mixed'"), "It's mixed");
  EXPECT_EQ(mqscValue("''"), "");
  EXPECT_EQ(mqscValue("'"), "'");
}

TEST(ChannelAttributes, KeepAliveTakesAutoAndShowsIt) {
  ChannelDefinition def;
  std::string message;
  const ChannelAttribute &kaint = *findChannelAttribute("KAINT");
  ASSERT_TRUE(applyChannelAttribute(kaint, {"KAINT", "30", true}, def, message));
  EXPECT_EQ(formatChannelAttribute(kaint, def), "KAINT(30)");
  ASSERT_TRUE(applyChannelAttribute(kaint, {"KAINT", "auto", true}, def, message));
  EXPECT_EQ(def.keepAliveInterval, -1);
  EXPECT_EQ(formatChannelAttribute(kaint, def), "KAINT(AUTO)");
}

TEST(ChannelAttributes, ConnectionNameKeepsTheShortFormInStep) {
  ChannelDefinition def;
  std::string message;
  ASSERT_TRUE(applyChannelAttribute(*findChannelAttribute("CONNAME"),
                                    {"CONNAME", "'a-very-long-host-name.example.com(1414)'", true}, def, message));
  EXPECT_EQ(def.connectionName, "a-very-long-host-name.example.com(1414)");
  EXPECT_EQ(def.shortConnectionName, def.connectionName.substr(0, 20));
}

}  // namespace
}  // namespace kvarn::ccdtmode
