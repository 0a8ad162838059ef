#include <gtest/gtest.h>

#include "driver/prompt.h"

namespace {

PromptState connected(const char *qm, bool client = false) {
  PromptState s;
  s.connected = true;
  s.connectedQmgr = qm;
  s.requestedQmgr = qm;
  s.client = client;
  return s;
}

TEST(Prompt, DefaultFormatShowsTolkOnlyInTolkMode) {
  PromptState s = connected("QM1");
  EXPECT_EQ(expandPrompt("%eTOLK:%e%m>", s), "QM1>");
  s.tolkMode = true;
  EXPECT_EQ(expandPrompt("%eTOLK:%e%m>", s), "TOLK:QM1>");
}

TEST(Prompt, ConditionalSections) {
  PromptState s = connected("QM1", true);
  s.requestedQmgr = "QM2";
  EXPECT_EQ(expandPrompt("%c[client]%c%C+%C%D-%D%l L%l%r R%r%n CCDT%n%i mq%i", s), "[client]+ R mq");
  PromptState none;
  EXPECT_EQ(expandPrompt("%C%m%C%D(none)%D%M>", none), "(none)>");
  PromptState local = connected("QM1");
  EXPECT_EQ(expandPrompt("%lLOCAL %m%l%rREMOTE%r", local), "LOCAL QM1");
}

TEST(Prompt, NestedSectionsHideInsertedValues) {
  PromptState s = connected("QM1");
  EXPECT_EQ(expandPrompt("%C<%e%m%e>%C", s), "<>");
  s.tolkMode = true;
  EXPECT_EQ(expandPrompt("%C<%e%m%e>%C", s), "<QM1>");
  EXPECT_EQ(expandPrompt("%D<%e%m%e>%D!", s), "!");
}

TEST(Prompt, EscapesAndTime) {
  PromptState s;
  s.now = 3600 * 5 + 61;
  PromptRefresh refresh;
  std::string t = expandPrompt("100%% %q%t", s, &refresh);
  EXPECT_EQ(t.substr(0, 5), "100% ");
  EXPECT_EQ(t.size(), 5u + 5u);  // %q is dropped with its letter; hh:mm
  EXPECT_EQ(refresh, kPromptEveryMinute);
  expandPrompt("%T", s, &refresh);
  EXPECT_EQ(refresh, kPromptEverySecond);
  EXPECT_EQ(expandPrompt("abc%", s), "abc");
}

}  // namespace
