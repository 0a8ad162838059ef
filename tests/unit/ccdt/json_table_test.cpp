#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "ccdt/channel_record.h"
#include "ccdt/json_table.h"
#include "ccdt/status.h"
#include "temp_dir.h"

namespace kvarn::ccdt {
namespace {

using testing::slurp;
using testing::spit;
using testing::TempDir;

struct Read {
  JsonTable table;
  std::vector<std::string> messages;
};

Read readJson(const std::string &text) {
  Read r;
  r.table.readText(text, "t.json", 1234567, r.messages);
  return r;
}

bool hasMessage(const Read &r, const std::string &text) {
  for (const auto &m : r.messages)
    if (m == text) return true;
  return false;
}

const char *kMinimal = R"({
  "channel":
  [
    {
      "name": "A",
      "type": "clientConnection",
      "clientConnection":
      {
        "connection":
        [
          {
            "host": "a",
            "port": 1414
          }
        ]
      }
    }
  ]
}
)";

TEST(JsonRead, MinimalFileReadsAndWritesBackUnchanged) {
  Read r = readJson(kMinimal);
  ASSERT_EQ(r.table.channels().size(), 1u);
  const ChannelDefinition &d = r.table.channels()[0].def;
  EXPECT_EQ(d.channelName, "A");
  EXPECT_EQ(d.connectionName, "a(1414)");
  EXPECT_EQ(d.alterTime, 1234567);  // the file's time stands in
  EXPECT_EQ(r.messages, std::vector<std::string>{"CCDT file 't.json', 1 channels read"});
  EXPECT_EQ(r.table.render(JsonFields::Min), kMinimal);
}

TEST(JsonRead, StructuralProblems) {
  Read r = readJson("{}");
  EXPECT_TRUE(r.table.channels().empty());
  EXPECT_TRUE(hasMessage(r, "CCDT file 't.json' does not appear to contain channel definitions"));
  EXPECT_TRUE(hasMessage(r, "CCDT file 't.json', No files found"));

  r = readJson(R"({"other": []})");
  EXPECT_TRUE(hasMessage(r, "CCDT file 't.json' does not appear to contain channel definitions"));
  r = readJson("[1,2]");
  EXPECT_TRUE(hasMessage(r, "CCDT file 't.json' does not appear to be a JSON file"));
  r = readJson("");
  EXPECT_TRUE(hasMessage(r, "CCDT file 't.json' does not appear to be a JSON file"));

  // Missing closing brackets: what was read is kept, with a warning.
  r = readJson("{\"channel\": [ {\"name\": \"A\", \"type\": 6,\n \"connection\": [{\"host\": \"h\"}]");
  ASSERT_EQ(r.table.channels().size(), 1u);
  EXPECT_EQ(r.table.channels()[0].def.connectionName, "h");
  EXPECT_TRUE(hasMessage(r, "At line 2 of file 't.json', 'end of file' found where '}' expected"));

  r = readJson("{\"channel\" [ {\"name\": \"A\", \"type\": 6, \"connection\": [{\"host\": \"h\"} ] ] }");
  EXPECT_TRUE(hasMessage(r, "At line 1 of file 't.json', '[' found where ':' expected"));
  ASSERT_EQ(r.table.channels().size(), 1u);

  r = readJson("{\"channel\": [ \"name\": \"B\", \"connection\": {\"host\": \"x\"}, \"type\": 6 } ] }");
  EXPECT_TRUE(hasMessage(r, "At line 1 of file 't.json', 'name' found where channel definition expected"));
  ASSERT_EQ(r.table.channels().size(), 1u);
  EXPECT_EQ(r.table.channels()[0].def.channelName, "B");
}

TEST(JsonRead, ChecksAtTheEndOfEachChannel) {
  Read r = readJson("{\"channel\": [\n{\"description\": \"d\"\n}\n]}");
  ASSERT_EQ(r.table.channels().size(), 1u);
  const ChannelDefinition &d = r.table.channels()[0].def;
  EXPECT_EQ(d.description, "d");  // found by its last name: .general.description
  EXPECT_EQ(d.channelType, 6);
  EXPECT_TRUE(
      hasMessage(r, "The channel definition ending at line 3 of file 't.json' has not specified a channel name"));
  EXPECT_TRUE(
      hasMessage(r, "The channel definition ending at line 3 of file 't.json' has not specified a channel type"));
  EXPECT_TRUE(
      hasMessage(r, "The channel definition ending at line 3 of file 't.json' has not specified a connection name"));
}

TEST(JsonRead, SameNamedChannelsKeepFileOrderAndIndexes) {
  Read r = readJson(R"({"channel": [
    {"name": "X", "type": 6, "clientConnection": {"connection": [{"host": "one"}]}},
    {"name": "Y", "type": 6, "clientConnection": {"connection": [{"host": "y"}]}},
    {"name": "X", "type": 6, "clientConnection": {"connection": [{"host": "two"}]}}]})");
  ASSERT_EQ(r.table.channels().size(), 3u);
  EXPECT_EQ(r.table.channels()[0].index, 1);
  EXPECT_EQ(r.table.channels()[1].index, 1);
  EXPECT_EQ(r.table.channels()[2].index, 2);
  EXPECT_EQ(r.table.channels()[2].def.connectionName, "two");
  r.table.erase(0);
  EXPECT_EQ(r.table.channels()[1].index, 1);  // renumbered
  r.table.move(1, 0);
  EXPECT_EQ(r.table.channels()[0].def.connectionName, "two");
}

TEST(JsonRead, ValuesOfEveryKind) {
  Read r = readJson(R"({"channel": [{
    "name": "ALL", "type": "clientConnection",
    "general": {"description": "desc \"q\" back\\slash", "maximumMessageLength": 1000},
    "clientConnection": {"connection": [{"host": "a", "port": 1414}, {"host": "b"}, {"port": 99}],
                         "queueManager": "QM1"},
    "compression": {"header": ["system", "none"], "message": ["zlibhigh", "rle"]},
    "connectionManagement": {"sharingConversations": 0, "clientWeight": 5, "affinity": "none",
      "defaultReconnect": "queueManager", "disconnectInterval": 0, "heartbeatInterval": 300,
      "keepAliveInterval": 60, "localAddress": {"host": "10.0.0.1", "portRange": {"low": 2000, "high": 2010}}},
    "exits": {"security": {"name": "secexit", "userData": "secdata"},
              "send": [{"name": "s1", "userData": "d1"}, {"name": "s2"}],
              "receive": [{"userData": "rd"}]},
    "timestamps": {"altered": "2020-01-01T00:00:00.000Z"},
    "transmissionSecurity": {"cipherSpecification": "TLS_AES_128_GCM_SHA256", "certificateLabel": "lbl",
                             "certificatePeerName": "CN=x"}
  }]})");
  ASSERT_EQ(r.table.channels().size(), 1u) << r.messages[0];
  EXPECT_EQ(r.messages.size(), 1u) << r.messages[0];
  const ChannelDefinition &d = r.table.channels()[0].def;
  EXPECT_EQ(d.description, "desc \"q\" back\\slash");
  EXPECT_EQ(d.maxMsgLength, 1000);
  EXPECT_EQ(d.connectionName, "a(1414),b,(99)");
  EXPECT_EQ(d.qmgrName, "QM1");
  EXPECT_EQ(d.hdrComp, (std::array<int32_t, 2>{8, 0}));
  EXPECT_EQ(d.msgComp[0], 4);
  EXPECT_EQ(d.msgComp[1], 1);
  EXPECT_EQ(d.msgComp[2], -1);
  EXPECT_EQ(d.connectionAffinity, 0);
  EXPECT_EQ(d.defReconnect, 2);
  EXPECT_EQ(d.keepAliveInterval, 60);
  EXPECT_EQ(d.localAddress, "10.0.0.1(2000,2010)");
  EXPECT_EQ(d.securityExit, "secexit");
  EXPECT_EQ(d.exitLists[SendExits], (std::vector<std::string>{"s1", "s2"}));
  EXPECT_EQ(d.exitLists[SendData], (std::vector<std::string>{"d1", ""}));
  EXPECT_EQ(d.exitLists[ReceiveExits], std::vector<std::string>{""});
  EXPECT_EQ(d.exitLists[ReceiveData], std::vector<std::string>{"rd"});
  EXPECT_EQ(d.sendExit, "s1");
  EXPECT_TRUE(d.exitLists[MsgExits].empty());
  EXPECT_EQ(d.alterTime, 1577836800);
  EXPECT_EQ(d.sslPeerName, "CN=x");

  // Everything survives a write and a second read.
  Read again = readJson(r.table.render(JsonFields::Date));
  ASSERT_EQ(again.table.channels().size(), 1u);
  EXPECT_EQ(again.table.channels()[0].def, d);
  Read all = readJson(r.table.render(JsonFields::All));
  EXPECT_EQ(all.messages.size(), 1u) << all.messages[0];
  EXPECT_EQ(all.table.channels()[0].def, d);
}

TEST(JsonRead, ValueWarnings) {
  Read r = readJson(R"({"channel": [{
    "name": "A", "type": 6, "connection": [{"host": "h"}],
    "name": "B",
    "description": "0123456789012345678901234567890123456789012345678901234567890123456789",
    "sharingConversations": 1234567890,
    "affinity": "sometimes",
    "header": ["system", "system", "none", "none"],
    "message": [true],
    "localAddress": {"host": "h", "port": 1, "portRange": {"low": 2}},
    "send": [{"name": "a", "name": "b"}],
    "altered": "2020-01-01 00:00:00",
    "altered": "1970-01-01T00:00:00.000Z",
    "bogus": {"deep": [1, 2, {"x": 3}]},
    "queueManager": {"nested": "object"},
    "certificatePeerName": "C:\path"
  }]})");
  ASSERT_EQ(r.table.channels().size(), 1u);
  const ChannelDefinition &d = r.table.channels()[0].def;
  EXPECT_EQ(d.channelName, "A");
  EXPECT_EQ(d.description.size(), 64u);
  EXPECT_EQ(d.sharingConversations, 10);
  EXPECT_EQ(d.localAddress, "h(2)");
  EXPECT_EQ(d.sslPeerName, "C:\\path");
  for (const char *expected : {
           "At line 3 of file 't.json', field 'name' duplicated",
           "At line 4 of file 't.json', value of field 'description' truncated",
           "At line 5 of file 't.json', unrecognised value '1234567890' for field 'sharingConversations'",
           "At line 6 of file 't.json', unrecognised value 'sometimes' for field 'affinity'",
           "At line 7 of file 't.json', repeated value 'system' for field 'header'",
           "At line 8 of file 't.json', unrecognised value 'true' for field 'message'",
           "At line 9 of file 't.json', 'port' ignored because port range specified",
           "At line 10 of file 't.json', field 'name' is repeated",
           "At line 11 of file 't.json', format of field 'altered' incorrect",
           "At line 12 of file 't.json', value of field 'altered' incorrect",
           "At line 13 of file 't.json', unrecognised field name 'bogus' found",
           "At line 14 of file 't.json', unrecognised value '{' for field 'queueManager'",
           "Warning : File 't.json' contains non-escaped field at line 15",
       })
    EXPECT_TRUE(hasMessage(r, expected)) << expected;
}

TEST(JsonRead, AlteredTimeForms) {
  int64_t s = 0;
  ASSERT_TRUE(parseAlteredTime("2020-01-01T00:00:00.000Z", s));
  EXPECT_EQ(s, 1577836800);
  ASSERT_TRUE(parseAlteredTime("2020-01-01T00:00:00.000", s));
  EXPECT_EQ(s, 1577836800);
  ASSERT_TRUE(parseAlteredTime("2020-01-01T02:30:00.000+02:30", s));
  EXPECT_EQ(s, 1577836800);
  ASSERT_TRUE(parseAlteredTime("2019-12-31T23:00:00.000-0100", s));
  EXPECT_EQ(s, 1577836800);
  for (const char *bad : {"2020-01-01T00:00:00Z", "2020-13-01T00:00:00.000Z", "2020-01-01T00:00:00.000+1",
                          "2020-01-01T00:00:00.000Zjunk", "", "2020-01-01"})
    EXPECT_FALSE(parseAlteredTime(bad, s)) << bad;
  EXPECT_EQ(formatAlteredTime(1577836800), "2020-01-01T00:00:00.000Z");
}

TEST(JsonRead, ArbitraryNestingAndBytesDoNotHurt) {
  std::string deep = "{\"channel\": [{\"name\": \"A\", \"connection\": " + std::string(5000, '[') + "]}]}";
  Read r = readJson(deep);
  EXPECT_EQ(r.table.channels().size(), 1u);
  std::string binary = "{\"channel\": [{\"name\": \"";
  for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
  r = readJson(binary);
  EXPECT_EQ(r.table.channels().size(), 1u);
  std::string longToken = "{\"channel\": [{\"name\": \"" + std::string(50000, 'n') + "\"}]}";
  r = readJson(longToken);
  ASSERT_EQ(r.table.channels().size(), 1u);
  EXPECT_EQ(r.table.channels()[0].def.channelName.size(), 20u);
}

TEST(JsonWrite, EscapesRoundTripExactly) {
  Read r = readJson(kMinimal);
  ChannelDefinition d = r.table.channels()[0].def;
  d.description = R"(a\"b \\ c\d ")";
  r.table.replace(0, d);
  Read again = readJson(r.table.render(JsonFields::Min));
  EXPECT_EQ(again.table.channels()[0].def.description, d.description);
  EXPECT_EQ(escapeForDisplay(R"(a\"b)"), R"(a\\\"b)");
}

// Text fields holding every kind of byte the writer has to escape, and UTF-8.
ChannelDefinition channelWithAwkwardText() {
  Read r = readJson(kMinimal);
  ChannelDefinition d = r.table.channels()[0].def;
  d.description = "a\tb\nc\rd\x01"
                  "e \"q\" \\ caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
  d.qmgrName = "Q\bM\f\x1f\x7f"
               "1";
  d.certificateLabel = std::string("lbl\0tail", 8);
  d.sslPeerName = "CN=x\n, O=\"y\\z\"";
  d.securityExit = "sec\\exit\t";
  d.setExitList(SendExits, {"ex\tit", "two\r\n"});
  d.setExitList(SendData, {"d\na\xC3\xA9", "\x1b[0m"});
  return d;
}

TEST(JsonEscapes, ControlCharactersQuotesAndUtf8SurviveAWriteAndARead) {
  Read r = readJson(kMinimal);
  ChannelDefinition d = channelWithAwkwardText();
  r.table.replace(0, d);
  for (JsonFields fields : {JsonFields::Min, JsonFields::All}) {
    std::string text = r.table.render(fields);
    // No control byte but the line breaks between members is left raw.
    for (char c : text) {
      auto byte = static_cast<unsigned char>(c);
      EXPECT_TRUE(c == '\n' || (byte >= 0x20 && byte != 0x7F)) << "raw byte " << int(byte);
    }
    EXPECT_NE(text.find(R"("a\tb\nc\rd\u0001e \"q\" \\ caf)"), std::string::npos) << text;
    EXPECT_NE(text.find("\xF0\x9F\x98\x80"), std::string::npos);  // UTF-8 is written as it is
    EXPECT_NE(text.find(R"("Q\bM\f\u001f\u007f1")"), std::string::npos) << text;

    Read again = readJson(text);
    EXPECT_EQ(again.messages, std::vector<std::string>{"CCDT file 't.json', 1 channels read"});
    ASSERT_EQ(again.table.channels().size(), 1u);
    const ChannelDefinition &back = again.table.channels()[0].def;
    EXPECT_EQ(back.description, d.description);
    EXPECT_EQ(back.certificateLabel, d.certificateLabel);
    EXPECT_EQ(back.exitLists[SendData], d.exitLists[SendData]);
    EXPECT_EQ(back, d);
    EXPECT_EQ(again.table.render(fields), text);
  }
}

TEST(JsonEscapes, UnicodeEscapesFromOtherToolsDecodeToUtf8) {
  Read r = readJson(R"({"channel": [{"name": "U", "type": "clientConnection",
    "connection": [{"host": "h\u00E9st"}],
    "description": "caf\u00e9 \u20AC \uD83D\uDE00 \ud83d\ude00 \/ \b\f\n\r\t \u0041",
    "certificateLabel": "a\u0000b",
    "queueManager": "\u0000"}]})");
  EXPECT_EQ(r.messages, std::vector<std::string>{"CCDT file 't.json', 1 channels read"});
  ASSERT_EQ(r.table.channels().size(), 1u);
  const ChannelDefinition &d = r.table.channels()[0].def;
  EXPECT_EQ(d.connectionName, "h\xC3\xA9st");
  EXPECT_EQ(d.description, "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF0\x9F\x98\x80 / \b\f\n\r\t A");
  // A NUL is a byte of the value like any other: nothing after it is lost, and it
  // stays when the channel goes into a binary record and back.
  EXPECT_EQ(d.certificateLabel, std::string("a\0b", 3));
  EXPECT_EQ(d.qmgrName, std::string(1, '\0'));
  std::string record, message;
  ASSERT_EQ(encodeChannelRecord(d, kMaxRecordVersion, d.alterTime, record, message), 0) << message;
  ChannelDefinition decoded;
  ASSERT_EQ(decodeChannelRecord(record, "t.tab", decoded, message), 0) << message;
  EXPECT_EQ(decoded.certificateLabel, d.certificateLabel);
  EXPECT_EQ(decoded.qmgrName, d.qmgrName);
  EXPECT_EQ(decoded.description, d.description);
}

TEST(JsonEscapes, MalformedUnicodeEscapesReadAsReplacementWithAWarning) {
  const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD
  struct Case {
    const char *escaped;
    std::string decoded;
  };
  const Case cases[] = {
      {R"(x\uD83D)", "x" + kBad},       // high half alone at the end
      {R"(\uDE00y)", kBad + "y"},       // low half alone
      {R"(\uD83D\u0041)", kBad + "A"},  // high half before a plain character
      {R"(\uD83D\uD83D\uDE00)", kBad + "\xF0\x9F\x98\x80"},
      {R"(\uD83Dz)", kBad + "z"},
      {R"(\u12G4)", kBad + "G4"},  // non-hex digit
      {R"(a\u12)", "a" + kBad},    // cut short by the closing quote
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.escaped);
    Read r =
        readJson(std::string("{\"channel\": [{\"name\": \"A\", \"type\": 6, \"connection\": [{\"host\": \"h\"}],\n") +
                 "\"description\": \"" + c.escaped + "\"}]}");
    ASSERT_EQ(r.table.channels().size(), 1u);
    EXPECT_EQ(r.table.channels()[0].def.description, c.decoded);
    EXPECT_TRUE(hasMessage(r, "Warning : File 't.json' contains non-escaped field at line 2"));
  }

  // Input ending inside an escape: nothing is read past the end.
  const std::string head = "{\"channel\": [{\"name\": \"A\", \"type\": 6,\n\"description\": \"ab";
  for (const char *tail :
       {"\\u", "\\u1", "\\u12", "\\u123", "\\uD83D", "\\uD83D\\", "\\uD83D\\u", "\\uD83D\\uDE0", "\\"}) {
    SCOPED_TRACE(tail);
    Read r = readJson(head + tail);
    ASSERT_EQ(r.table.channels().size(), 1u);
    EXPECT_EQ(r.table.channels()[0].def.description.substr(0, 2), "ab");
    EXPECT_TRUE(hasMessage(r, "Warning : File 't.json' contains non-escaped field at line 2"));
  }

  // "\u" without any hex digit is no escape, as in a hand-written Windows path.
  Read r = readJson("{\"channel\": [{\"name\": \"A\", \"type\": 6, \"connection\": [{\"host\": \"h\"}],\n"
                    "\"description\": \"C:\\users\\x\"}]}");
  EXPECT_EQ(r.table.channels()[0].def.description, "C:\\users\\x");
  EXPECT_TRUE(hasMessage(r, "Warning : File 't.json' contains non-escaped field at line 2"));
}

TEST(JsonEscapes, FilesWrittenTheOldWayReadUnchanged) {
  // Only quotes and backslashes were escaped; control bytes and UTF-8 were raw.
  Read r = readJson("{\"channel\": [{\"name\": \"OLD\", \"type\": \"clientConnection\",\n"
                    "\"connection\": [{\"host\": \"h\"}],\n"
                    "\"description\": \"tab\there\x01 \\\"q\\\" C:\\\\new\\\\table caf\xC3\xA9\",\n"
                    "\"certificatePeerName\": \"line one\nline two\"\n"
                    "}]}");
  EXPECT_EQ(r.messages, std::vector<std::string>{"CCDT file 't.json', 1 channels read"});
  ASSERT_EQ(r.table.channels().size(), 1u);
  const ChannelDefinition &d = r.table.channels()[0].def;
  EXPECT_EQ(d.description, "tab\there\x01 \"q\" C:\\new\\table caf\xC3\xA9");
  EXPECT_EQ(d.sslPeerName, "line one\nline two");
  // The raw line break still counts as a line.
  r = readJson("{\"channel\": [{\"name\": \"A\", \"type\": 6, \"description\": \"1\n2\",\n\"bogus\": 1,"
               "\"connection\": [{\"host\": \"h\"}]}]}");
  EXPECT_TRUE(hasMessage(r, "At line 3 of file 't.json', unrecognised field name 'bogus' found"));
}

TEST(JsonFile, SavedTableWithControlCharactersIsValidJson) {
  if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not available";
  TempDir dir;
  std::string path = dir.file("ccdt.json");
  JsonTable table;
  std::vector<std::string> messages;
  ASSERT_EQ(table.read(path, false, messages), 0);
  ChannelDefinition d = channelWithAwkwardText();
  table.insert(0, d);
  std::string message;
  ASSERT_EQ(table.save(JsonFields::All, message), 0) << message;
  EXPECT_EQ(std::system(("python3 -m json.tool '" + path + "' >/dev/null").c_str()), 0) << slurp(path);
  // A standard parser gives back the same bytes.
  std::string out = dir.file("description");
  std::string script = "import json,sys; d = json.load(open(sys.argv[1], encoding='utf-8'))['channel'][0]; "
                       "open(sys.argv[2], 'wb').write((d['general']['description'] + '|' + "
                       "d['transmissionSecurity']['certificateLabel']).encode('utf-8'))";
  ASSERT_EQ(std::system(("python3 -c \"" + script + "\" '" + path + "' '" + out + "'").c_str()), 0);
  EXPECT_EQ(slurp(out), d.description + "|" + d.certificateLabel);
}

TEST(JsonWrite, ConnectionAndLocalAddressObjects) {
  Read r = readJson(kMinimal);
  ChannelDefinition d = r.table.channels()[0].def;
  d.connectionName = "h1(1414),h2,weird(abc)";
  d.localAddress = "(3000)";
  r.table.replace(0, d);
  std::string text = r.table.render(JsonFields::Min);
  EXPECT_NE(text.find("\"host\": \"weird(abc)\""), std::string::npos);
  EXPECT_NE(text.find("\"localAddress\":"), std::string::npos);
  Read again = readJson(text);
  EXPECT_EQ(again.table.channels()[0].def.connectionName, d.connectionName);
  EXPECT_EQ(again.table.channels()[0].def.localAddress, d.localAddress);
  EXPECT_EQ(text.find("timestamps"), std::string::npos);
  EXPECT_NE(r.table.render(JsonFields::Date).find("\"altered\": \"1970-01-15T06:56:07.000Z\""), std::string::npos);
}

// Whatever the writer puts in a file reads back without a warning: a channel from a
// binary record version without an altered time, and compression values that have no
// keyword in the file's vocabulary (they are written as numbers).
TEST(JsonWrite, ValuesWithoutAFileFormReadBackCleanly) {
  Read r = readJson(kMinimal);
  ChannelDefinition d = r.table.channels()[0].def;
  d.alterTime = 0;
  d.hdrComp = {8, -1};
  d.msgComp.fill(-1);
  d.msgComp[0] = 268435455;  // ANY
  d.msgComp[1] = 16;         // LZ4FAST
  d.msgComp[2] = 1;          // RLE
  d.msgComp[3] = -65536;     // as a damaged binary record may hold it
  r.table.replace(0, d);
  for (JsonFields fields : {JsonFields::All, JsonFields::Min, JsonFields::Date}) {
    std::string text = r.table.render(fields);
    EXPECT_EQ(text.find("\"altered\""), std::string::npos);
    Read again = readJson(text);
    ASSERT_EQ(again.messages.size(), 1u) << again.messages.front();
    ASSERT_EQ(again.table.channels().size(), 1u);
    const ChannelDefinition &back = again.table.channels()[0].def;
    EXPECT_EQ(back.alterTime, 1234567);  // the file's time
    EXPECT_EQ(back.hdrComp, d.hdrComp);
    EXPECT_EQ(back.msgComp, d.msgComp);
    if (fields == JsonFields::Min) { EXPECT_EQ(again.table.render(fields), text); }
  }
  // -1 is no list value (it marks an unused place), and a keyword list still refuses
  // words it does not know.
  Read bad = readJson(R"({"channel": [{"name": "A", "type": "clientConnection", "connection": {"host": "h"},
    "compression": {"message": [-1, "fastest"]}}]})");
  EXPECT_TRUE(hasMessage(bad, "At line 2 of file 't.json', unrecognised value '-1' for field 'message'"));
  EXPECT_TRUE(hasMessage(bad, "At line 2 of file 't.json', unrecognised value 'fastest' for field 'message'"));
}

// A binary record may hold numbers of ten digits, which the reader refuses: such a
// channel is one a JSON file cannot hold, and any number of nine digits is. Exit
// entries cannot hold the bytes that separate them in a binary record.
TEST(JsonWrite, ValuesAJsonFileCanHold) {
  Read r = readJson(kMinimal);
  ChannelDefinition d = r.table.channels()[0].def;
  std::string message;
  d.discInterval = 999999999;
  d.heartbeatInterval = -999999999;
  d.msgComp[0] = 268435455;
  EXPECT_TRUE(jsonCanHold(d, message)) << message;
  r.table.replace(0, d);
  Read again = readJson(r.table.render(JsonFields::All));
  EXPECT_EQ(again.messages.size(), 1u) << again.messages.front();

  d.discInterval = 1701273966;
  EXPECT_FALSE(jsonCanHold(d, message));
  EXPECT_EQ(message, "value 1701273966 of 'disconnectInterval' can not be held in a JSON CCDT file");
  d.discInterval = 6000;
  d.connectionAffinity = -1000000000;
  EXPECT_FALSE(jsonCanHold(d, message));
  EXPECT_EQ(message, "value -1000000000 of 'affinity' can not be held in a JSON CCDT file");
  d.connectionAffinity = 1;
  d.hdrComp[1] = 2000000000;
  EXPECT_FALSE(jsonCanHold(d, message));
  EXPECT_EQ(message, "value 2000000000 of 'header' can not be held in a JSON CCDT file");
  d.hdrComp[1] = -1;

  d.setExitList(SendExits, {"e1", "e2"});
  d.setExitList(SendData, {"d1", "d\x02"});
  EXPECT_FALSE(jsonCanHold(d, message));
  EXPECT_EQ(message, "an exit's 'userData' holds a control character a JSON CCDT file can not hold");
  d.setExitList(SendData, {"d1", "d2"});
  d.setExitList(ReceiveExits, {"r\x01"});
  EXPECT_FALSE(jsonCanHold(d, message));
  EXPECT_EQ(message, "an exit's 'name' holds a control character a JSON CCDT file can not hold");
  d.setExitList(ReceiveExits, std::vector<std::string>(100, std::string(99, 'x')));
  EXPECT_FALSE(jsonCanHold(d, message));
  EXPECT_EQ(message, "the exits' 'name' values are too long for a JSON CCDT file");
  d.setExitList(ReceiveExits, std::vector<std::string>(64, std::string(128, 'x')));
  EXPECT_TRUE(jsonCanHold(d, message)) << message;
  r.table.replace(0, d);
  Read exits = readJson(r.table.render(JsonFields::Min));
  EXPECT_EQ(exits.messages.size(), 1u) << exits.messages.front();
}

// Blank connection entries, alone or after a host, are written the same way every
// time the table is read and written again.
TEST(JsonWrite, BlankConnectionEntriesWriteTheSameTwice) {
  const char *lists[] = {
      R"([{"host":" "},{"host":" "}])",
      R"([{"host":"a "},{"host":" "}])",
      R"([{"host":" "},{"host":"b"}])",
      R"([{"host":"a  "},{"host":" b "},{"port":1415}])",
  };
  for (const char *list : lists) {
    SCOPED_TRACE(list);
    std::string text = std::string(R"({"channel":[{"name":"A","type":"clientConnection",)") +
                       R"("clientConnection":{"connection":)" + list + "}}]}";
    Read first = readJson(text);
    std::string written = first.table.render(JsonFields::Date);
    Read second = readJson(written);
    EXPECT_EQ(second.table.render(JsonFields::Date), written);
  }
  Read r = readJson(std::string(R"({"channel":[{"name":"A","type":"clientConnection",)") +
                    R"("clientConnection":{"connection":[{"host":"a "},{"host":" b "}]}}]})");
  Read again = readJson(r.table.render(JsonFields::Min));
  EXPECT_EQ(again.table.channels()[0].def.connectionName, "a, b");
}

TEST(JsonFile, SaveKeepsTheFirstBackupAndReplacesSafely) {
  TempDir dir;
  std::string path = dir.file("ccdt.json");
  spit(path, kMinimal);
  JsonTable table;
  std::vector<std::string> messages;
  ASSERT_EQ(table.read(path, true, messages), 0);
  std::string message;
  ASSERT_EQ(table.save(JsonFields::Min, message), 0);  // nothing changed: nothing written
  EXPECT_FALSE(std::filesystem::exists(path + "_bak"));

  ChannelDefinition d = table.channels()[0].def;
  d.description = "first";
  table.replace(0, d);
  ASSERT_EQ(table.save(JsonFields::Min, message), 0) << message;
  d.description = "second";
  table.replace(0, d);
  ASSERT_EQ(table.save(JsonFields::Min, message), 0) << message;
  EXPECT_EQ(slurp(path + "_bak"), kMinimal);
  EXPECT_NE(slurp(path).find("second"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(path + "_tmp"));

  // A new file cannot be written: the old one stays.
  const std::string before = slurp(path);
  std::filesystem::create_directory(path + "_tmp");
  table.insert(99, d);
  EXPECT_EQ(table.save(JsonFields::Min, message), kErrAccess);
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(slurp(path), before);
}

TEST(JsonFile, MissingFileIsReportedWhenAsked) {
  TempDir dir;
  JsonTable table;
  std::vector<std::string> messages;
  ASSERT_EQ(table.read(dir.file("none.json"), true, messages), 0);
  EXPECT_EQ(messages,
            std::vector<std::string>{"Commands directed to file '" + dir.file("none.json") + "' (Does not exist)"});
  table.insert(0, clientConnectionDefaults());
  std::string message;
  ASSERT_EQ(table.save(JsonFields::Min, message), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.file("none.json")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("none.json_bak")));
}

}  // namespace
}  // namespace kvarn::ccdt
