#include <gtest/gtest.h>

#include <cstring>

#include "ccdt/channel_record.h"
#include "ccdt/status.h"

namespace kvarn::ccdt {
namespace {

int32_t int32At(const std::string &record, size_t offset) {
  int32_t v;
  std::memcpy(&v, record.data() + offset, 4);
  return v;
}

// A definition with a non-default value in every field a record can carry.
ChannelDefinition everyFieldSet() {
  ChannelDefinition d;
  int32_t n = 100;
  for (const auto &field : channelFields()) {
    switch (field.kind) {
    case FieldKind::Chars:
    case FieldKind::Secret: {
      std::string value = std::string(field.label).substr(0, 4) + std::to_string(n++);
      d.*field.text = value.substr(0, field.count);
      break;
    }
    case FieldKind::Int32:
      for (int i = 0; i < field.count; ++i) field.numbers(d)[i] = n++;
      break;
    default: break;
    }
  }
  d.connectionName = "host.example.com(1414),other(1415)";
  d.channelName = "CHAN.ALL";
  d.setExitList(MsgExits, {"msgexit1"});
  d.setExitList(MsgData, {"msgdata1"});
  d.setExitList(SendExits, {"sendA", "sendB"});
  d.setExitList(SendData, {"dataA", "dataB"});
  d.setExitList(ReceiveExits, {"recvA"});
  d.setExitList(ReceiveData, {""});
  d.sslPeerName = "CN=peer,O=example";
  d.userIdentifier = "user1";
  d.password = "secret";
  return d;
}

// Every field both the source and the target version hold must survive.
void expectCommonFieldsEqual(const ChannelDefinition &a, const ChannelDefinition &b, int version) {
  ChannelDefinition left = a, right = b;
  for (const auto &field : channelFields()) {
    if (field.fromVersion > version) continue;
    if (field.text && std::string(field.label) != "Short Connection Name") {
      EXPECT_EQ(left.*field.text, right.*field.text) << field.label << " v" << version;
    }
    if (field.numbers && std::string(field.label) != "Struc Length" && std::string(field.label) != "Version" &&
        std::string(field.label) != "Encrypt" && std::string(field.label) != "ExitListsLen" &&
        std::string(field.label).find("Defined") == std::string::npos &&
        std::string(field.label) != "SSL PeerName Length") {
      for (int i = 0; i < field.count; ++i) {
        EXPECT_EQ(field.numbers(left)[i], field.numbers(right)[i]) << field.label << " v" << version;
      }
    }
  }
}

TEST(ChannelRecord, FixedLengthsOfEveryVersion) {
  const int expected[] = {992, 1320, 1488, 1552, 1620, 1780, 1880, 1972, 1996, 2008, 2072, 2076};
  for (int v = 1; v <= 12; ++v) EXPECT_EQ(channelRecordFixedLength(v), expected[v - 1]) << v;
  EXPECT_EQ(channelRecordStrucLength(12), 1944);
  EXPECT_EQ(channelRecordFixedLength(0), 0);
  EXPECT_EQ(channelRecordFixedLength(13), 0);
}

TEST(ChannelRecord, FieldsSitAtTheirVersion12Offsets) {
  ChannelDefinition d = everyFieldSet();
  d.userIdentifier.clear();  // keep the user and password unscrambled to look at them
  std::string record, message;
  ASSERT_EQ(encodeChannelRecord(d, 12, 1577836800, record, message), 0) << message;
  EXPECT_EQ(record.substr(0, 20), "CHAN.ALL            ");
  EXPECT_EQ(int32At(record, 20), 12);
  EXPECT_EQ(record.substr(1024, 34), d.connectionName);
  EXPECT_EQ(record.substr(192, 20), d.connectionName.substr(0, 20));  // short connection name
  EXPECT_EQ(int32At(record, 1492), 1944);                             // StrucLength
  EXPECT_EQ(int32At(record, 1756), d.msgComp[0]);
  EXPECT_EQ(int32At(record, 1940), d.splProtection);
  EXPECT_EQ(int32At(record, 1516), 0);  // pointer slots are written as 0
  EXPECT_EQ(int32At(record, 2008), 1577836800);
  EXPECT_EQ(record.substr(1876, 64).substr(0, d.certificateLabel.size()), d.certificateLabel);
  // Exit lists follow the fixed part, then the peer name.
  std::string lists = std::string("msgexit1\x02\x01msgdata1\x02\x01sendA\x02sendB\x02\x01"
                                  "dataA\x02"
                                  "dataB\x02\x01recvA\x02\x01\x02\x01");
  EXPECT_EQ(record.substr(2076, lists.size()), lists);
  EXPECT_EQ(int32At(record, 1952), static_cast<int32_t>(lists.size()));
  EXPECT_EQ(record.substr(2076 + lists.size()), d.sslPeerName);
  EXPECT_EQ(int32At(record, 1508), 2);  // send exits defined
}

TEST(ChannelRecord, EveryVersionRoundTripsAndConvertsBothWays) {
  const ChannelDefinition original = everyFieldSet();
  for (int v = 1; v <= 12; ++v) {
    std::string record, message;
    ASSERT_EQ(encodeChannelRecord(original, v, 1700000000, record, message), 0) << message;
    ChannelDefinition back;
    ASSERT_EQ(decodeChannelRecord(record, "f", back, message), 0) << v << ": " << message;
    EXPECT_EQ(back.version, v);
    expectCommonFieldsEqual(original, back, v);
    if (v >= 4) {
      EXPECT_EQ(back.exitLists, original.exitLists) << v;
    } else {
      // Only the first entry of each list fits a record below version 4.
      EXPECT_EQ(back.exitLists[SendExits], std::vector<std::string>{"sendA"}) << v;
      EXPECT_TRUE(back.exitLists[ReceiveData].empty()) << v;
    }
    EXPECT_EQ(back.sslPeerName, v >= 7 ? original.sslPeerName : "") << v;
    if (v >= 5) { EXPECT_EQ(back.alterTime, 1700000000); }
    // Written again in version 12, the fields of version v are all still there.
    std::string upgraded;
    ASSERT_EQ(encodeChannelRecord(back, 12, 1700000000, upgraded, message), 0);
    ChannelDefinition again;
    ASSERT_EQ(decodeChannelRecord(upgraded, "f", again, message), 0);
    expectCommonFieldsEqual(back, again, v);
    EXPECT_EQ(again.exitLists, back.exitLists);
  }
}

TEST(ChannelRecord, PasswordIsScrambledInTheFileAndPlainInMemory) {
  ChannelDefinition d = everyFieldSet();
  std::string record, message;
  ASSERT_EQ(encodeChannelRecord(d, 12, 1, record, message), 0);
  EXPECT_EQ(record.find("secret"), std::string::npos);
  EXPECT_EQ(int32At(record, 1948), 1);  // Encrypt
  EXPECT_EQ(d.password, "secret");
  ChannelDefinition back;
  ASSERT_EQ(decodeChannelRecord(record, "f", back, message), 0);
  EXPECT_EQ(back.userIdentifier, "user1");
  EXPECT_EQ(back.password, "secret");

  // Bytes that do not restore to text are refused rather than shown as garbage.
  std::string damaged = record;
  for (int i = 984; i < 1008; ++i) damaged[i] = '\x01';
  EXPECT_EQ(decodeChannelRecord(damaged, "f", back, message), kErrGeneral);
  EXPECT_EQ(message, "Failed to restore userid/password information RC(1001)");

  // A user id or password holding such bytes (read from a record that kept them
  // unscrambled, or typed) is refused on writing instead of making an unreadable record.
  for (const char *user : {"us\x01r", "user1"}) {
    ChannelDefinition odd = d;
    odd.userIdentifier = user;
    odd.password = std::string(user) == "user1" ? "pw\x7f" : "secret";
    std::string written;
    EXPECT_EQ(encodeChannelRecord(odd, 12, 1, written, message), kErrGeneral) << user;
    EXPECT_EQ(message, "User id or password holds control characters, so the channel can not be written");
  }
  // Without a user id nothing is scrambled, and the password is kept as it is.
  ChannelDefinition plain = d;
  plain.userIdentifier.clear();
  plain.password = "pw\x01";
  ASSERT_EQ(encodeChannelRecord(plain, 12, 1, record, message), 0) << message;
  ASSERT_EQ(decodeChannelRecord(record, "f", back, message), 0) << message;
  EXPECT_EQ(back.password, "pw\x01");
}

TEST(ChannelRecord, WritingRules) {
  ChannelDefinition d;
  d.channelName = "CLUS";
  d.channelType = kChannelTypeClusterSender;
  d.connectionName = "abcdefghijklmnopqrstuvwxyz(1414)";
  std::string record, message;
  ASSERT_EQ(encodeChannelRecord(d, 12, 5000, record, message), 0);
  ChannelDefinition back;
  ASSERT_EQ(decodeChannelRecord(record, "f", back, message), 0);
  EXPECT_EQ(back.xmitqName, "SYSTEM.CLUSTER.TRANSMIT.QUEUE");
  EXPECT_EQ(back.shortConnectionName, "abcdefghijklmnopqrst");
  EXPECT_EQ(back.encrypt, 0);

  EXPECT_EQ(encodeChannelRecord(d, 13, 0, record, message), kErrGeneral);
  EXPECT_EQ(message, "AMQ8427: Sorry, this program does not support writing version 13 channel records");
  EXPECT_EQ(encodeChannelRecord(d, 0, 0, record, message), kErrGeneral);

  d.setExitList(SendExits, std::vector<std::string>(100, std::string(120, 'x')));
  EXPECT_EQ(encodeChannelRecord(d, 12, 0, record, message), kErrGeneral);
  EXPECT_EQ(message, "Exit lists too large");
  d.setExitList(SendExits, {"bad\x02name"});
  EXPECT_EQ(encodeChannelRecord(d, 12, 0, record, message), kErrGeneral);
}

TEST(ChannelRecord, PeerNameOfOlderRecordsSitsOnAnEightByteBoundary) {
  ChannelDefinition d;
  d.channelName = "P";
  d.sslPeerName = "CN=x";
  std::string record, message;
  ASSERT_EQ(encodeChannelRecord(d, 8, 0, record, message), 0);
  const size_t fixed = static_cast<size_t>(channelRecordFixedLength(8));
  EXPECT_EQ(record.substr(fixed, 6), std::string(6, '\x01'));
  EXPECT_EQ(record.substr(fixed + 8), "CN=x");
  ChannelDefinition back;
  ASSERT_EQ(decodeChannelRecord(record, "f", back, message), 0);
  EXPECT_EQ(back.sslPeerName, "CN=x");
  ASSERT_EQ(encodeChannelRecord(d, 9, 0, record, message), 0);
  EXPECT_EQ(record.substr(static_cast<size_t>(channelRecordFixedLength(9)) + 6), "CN=x");
}

TEST(ChannelRecord, DamagedRecordsAreRefused) {
  ChannelDefinition d = everyFieldSet();
  std::string record, message;
  ASSERT_EQ(encodeChannelRecord(d, 12, 0, record, message), 0);
  ChannelDefinition back;

  std::string v13 = record;
  v13[20] = 13;
  EXPECT_EQ(decodeChannelRecord(v13, "f", back, message), kErrGeneral);
  EXPECT_EQ(message, "AMQ8427: Sorry, this program does not support reading version 13 channel records");

  EXPECT_EQ(decodeChannelRecord(record.substr(0, 2000), "f", back, message), kErrFormat);
  EXPECT_EQ(message, "File 'f' does not appear to be the correct format");
  EXPECT_EQ(decodeChannelRecord(record.substr(0, 10), "f", back, message), kErrFormat);

  std::string longLists = record;  // ExitListsLen past the end of the record
  longLists[1952] = '\x7f';
  longLists[1953] = '\x7f';
  EXPECT_EQ(decodeChannelRecord(longLists, "f", back, message), kErrFormat);

  std::string longPeer = record;  // peer name length past the end
  longPeer[1684] = '\x7f';
  EXPECT_EQ(decodeChannelRecord(longPeer, "f", back, message), kErrFormat);
  longPeer[1687] = '\x80';  // negative
  EXPECT_EQ(decodeChannelRecord(longPeer, "f", back, message), kErrFormat);

  std::string unterminated = record;  // lists missing their end bytes
  for (size_t i = 2076; i < unterminated.size(); ++i)
    if (unterminated[i] == '\x01') unterminated[i] = 'z';
  EXPECT_EQ(decodeChannelRecord(unterminated, "f", back, message), kErrFormat);
}

}  // namespace
}  // namespace kvarn::ccdt
