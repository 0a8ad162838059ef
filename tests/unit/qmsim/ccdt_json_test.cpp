// The client library's reader of JSON channel tables: the client channels it takes, the
// entries it passes over, and the clear refusal of text that is not such a table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/ccdt_json.h"

using qmsim::CcdtChannel;
using qmsim::parseJsonCcdt;

namespace {

struct Read {
  bool ok = false;
  std::vector<CcdtChannel> channels;
  std::string error;
};

Read read(const std::string& text) {
  Read r;
  r.ok = parseJsonCcdt(text, r.channels, r.error);
  return r;
}

}  // namespace

TEST(QmsimCcdtJson, ClientChannelsGiveNameQueueManagerAndConnectionList) {
  Read r = read(R"({"channel":[
      {"name":"C1","type":"clientConnection",
       "clientConnection":{"connection":[{"host":"h1","port":1414},{"host":"h2"}],"queueManager":"QM1"}},
      {"name":"C2","clientConnection":{"connection":[{"host":"h3","port":1415}]}}]})");
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.channels.size(), 2u);
  EXPECT_EQ(r.channels[0].name, "C1");
  EXPECT_EQ(r.channels[0].queueManager, "QM1");
  EXPECT_EQ(r.channels[0].connName, "h1(1414),h2");
  EXPECT_EQ(r.channels[1].name, "C2") << "a channel without a type is taken as a client channel";
  EXPECT_EQ(r.channels[1].queueManager, "");
  EXPECT_EQ(r.channels[1].connName, "h3(1415)");
}

TEST(QmsimCcdtJson, EntriesThatAreNotUsableClientChannelsArePassedOver) {
  Read r = read(R"({"channel":[
      {"name":"S1","type":"serverConnection","clientConnection":{}},
      {"name":"N1","type":7,"clientConnection":{}},
      {"type":"clientConnection","clientConnection":{}},
      {"name":5,"clientConnection":{}},
      {"name":"NOCLIENT"},
      "not an object",
      {"name":"K1","clientConnection":{"queueManager":9,"connection":[{"port":1},{"host":3},"x",
                                      {"host":"ok","port":"1416"}]}}],
    "other":{"ignored":[1,2,3]}})");
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.channels.size(), 1u);
  EXPECT_EQ(r.channels[0].name, "K1");
  EXPECT_EQ(r.channels[0].queueManager, "") << "a queue manager that is not a string is left out";
  EXPECT_EQ(r.channels[0].connName, "ok") << "a port that is not a number is left out";
}

TEST(QmsimCcdtJson, StringEscapesAreRead) {
  Read r = read(R"({"channel":[{"name":"A\"B\\C\/D","clientConnection":{"queueManager":"Q\tM"}}]})");
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.channels.size(), 1u);
  EXPECT_EQ(r.channels[0].name, "A\"B\\C/D");
  EXPECT_EQ(r.channels[0].queueManager, "Q\tM");
}

TEST(QmsimCcdtJson, TextThatIsNotAChannelTableIsRefusedWithAReason) {
  const char* const bad[] = {
      "",
      "{",
      R"({"channel":[{"name":"C1"})",
      R"({"channel":[]} trailing)",
      R"({"channel":[],})",
      R"({"channel":"x"})",
      R"({"name":"no channel list"})",
      R"(["channel"])",
      R"({"channel":[{"name":"C1\)",
      R"({"channel":[{"name":tru}]})",
      "{\"channel\":[{\"name\":\"C\t1\",\"clientConnection\":{}}]}",   // a raw tab in a string
      "{\"channel\":[{\"name\":\"C\xff\",\"clientConnection\":{}}]}",  // a byte that is not UTF-8
  };
  for (const char* text : bad) {
    Read r = read(text);
    EXPECT_FALSE(r.ok) << text;
    EXPECT_FALSE(r.error.empty()) << text;
  }
  EXPECT_NE(read(R"({"channel":"x"})").error.find("channel"), std::string::npos);
  EXPECT_NE(read(R"({"channel":[} )").error.find("offset 12"), std::string::npos) << read(R"({"channel":[} )").error;
}

TEST(QmsimCcdtJson, DeepNestingAndLongInputEndWithoutACrash) {
  std::string deep = R"({"channel":[)" + std::string(100000, '[') + std::string(100000, ']') + "]}";
  Read r = read(deep);
  EXPECT_TRUE(r.ok || !r.error.empty());
  EXPECT_TRUE(r.channels.empty());
  std::string open = R"({"channel":[)" + std::string(100000, '{');
  EXPECT_FALSE(read(open).ok);
}
