#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "ccdt/binary_table.h"
#include "ccdt/status.h"
#include "temp_dir.h"

namespace kvarn::ccdt {
namespace {

using testing::slurp;
using testing::spit;
using testing::TempDir;

int32_t int32At(const std::string &bytes, size_t offset) {
  int32_t v;
  std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

void putInt32(std::string &bytes, size_t offset, int32_t v) { std::memcpy(bytes.data() + offset, &v, 4); }

ChannelDefinition channel(const std::string &name, const std::string &conname = "host(1414)") {
  ChannelDefinition d = clientConnectionDefaults();
  d.channelName = name;
  d.connectionName = conname;
  return d;
}

class BinaryTableTest : public ::testing::Test {
 protected:
  std::unique_ptr<BinaryTable> openTable(BinaryTable::Mode mode = BinaryTable::Mode::Update) {
    std::unique_ptr<BinaryTable> table;
    std::string message;
    EXPECT_EQ(BinaryTable::open(path, mode, table, message), 0) << message;
    return table;
  }
  void writeAll(std::initializer_list<std::string> names, int version = 0) {
    auto table = openTable();
    std::string message;
    for (const auto &name : names) ASSERT_EQ(table->writeChannel(channel(name), version, message), 0) << message;
    ASSERT_EQ(table->close(message), 0) << message;
  }
  std::vector<std::string> namesInOrder() {
    auto table = openTable(BinaryTable::Mode::Read);
    std::vector<std::string> names;
    ChannelDefinition d;
    std::string message;
    while (table->readNextChannel(d, message) == 0) names.push_back(d.channelName);
    return names;
  }
  // Opening must fail with `code`, and the file must stay as it is.
  void expectRefused(const std::string &bytes, int code, BinaryTable::Mode mode = BinaryTable::Mode::Update) {
    spit(path, bytes);
    std::unique_ptr<BinaryTable> table;
    std::string message;
    EXPECT_EQ(BinaryTable::open(path, mode, table, message), code) << message;
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(slurp(path), bytes);
  }

  TempDir dir;
  std::string path = dir.file("AMQCLCHL.TAB");
};

TEST_F(BinaryTableTest, MissingFileIsCreatedEmptyThenHoldsTheRecord) {
  {
    auto table = openTable();
    EXPECT_EQ(slurp(path), std::string("AMQR\0\0\0\0", 8));
    std::string message;
    ASSERT_EQ(table->writeChannel(channel("A"), 0, message), 0);
    ASSERT_EQ(table->close(message), 0);
  }
  std::string bytes = slurp(path);
  ASSERT_EQ(bytes.size(), 4u + 20u + 2076u + 6u + 4u);
  EXPECT_EQ(int32At(bytes, 4), 20 + 2076 + 6);  // SegLen
  EXPECT_EQ(int32At(bytes, 8), 2076 + 6);       // RecLen
  EXPECT_EQ(int32At(bytes, 16), 0);
  EXPECT_EQ(int32At(bytes, 20), 0);
  EXPECT_EQ(int32At(bytes, bytes.size() - 4), 0);
  EXPECT_FALSE(std::filesystem::exists(path + "_tmp"));
}

TEST_F(BinaryTableTest, ReadingAMissingFileFails) {
  std::unique_ptr<BinaryTable> table;
  std::string message;
  EXPECT_EQ(BinaryTable::open(path, BinaryTable::Mode::Read, table, message), kErrNoFile);
  EXPECT_EQ(message, "Can not find file '" + path + "'");
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(BinaryTableTest, ListStaysInKeyOrderWithWorkingLinks) {
  writeAll({"MIDDLE", "ZED", "BETA"});
  writeAll({"AAA"});  // new head
  EXPECT_EQ(namesInOrder(), (std::vector<std::string>{"AAA", "BETA", "MIDDLE", "ZED"}));
  // The new head has no previous record, and the old head now points back at it.
  std::string bytes = slurp(path);
  size_t pos = 4;
  std::map<std::string, std::pair<int32_t, int32_t>> links;  // name -> prev, next
  std::map<std::string, int32_t> offsets;
  while (int32At(bytes, pos) != 0) {
    std::string key = bytes.substr(pos + 20, 20);
    key = key.substr(0, key.find(' '));
    links[key] = {int32At(bytes, pos + 12), int32At(bytes, pos + 16)};
    offsets[key] = static_cast<int32_t>(pos);
    pos += static_cast<size_t>(int32At(bytes, pos));
  }
  EXPECT_EQ(links["AAA"].first, 0);
  EXPECT_EQ(links["AAA"].second, offsets["BETA"]);
  EXPECT_EQ(links["BETA"].first, offsets["AAA"]);
  EXPECT_EQ(links["ZED"].second, 0);
}

TEST_F(BinaryTableTest, ReadUpdateDeleteAndDuplicate) {
  writeAll({"ONE", "TWO"});
  auto table = openTable();
  std::string message;
  ChannelDefinition d;
  ASSERT_EQ(table->readChannel("TWO", d, message), 0);
  EXPECT_EQ(d.connectionName, "host(1414)");
  d.description = "changed";
  ASSERT_EQ(table->writeChannel(d, 0, message), 0);  // update of the current record

  EXPECT_EQ(table->writeChannel(channel("ONE"), 0, message), kErrExists);  // not current: an insert
  EXPECT_EQ(message, "Entry already exists");

  EXPECT_EQ(table->readChannel("NONE", d, message), kErrChannelNotFound);
  EXPECT_EQ(message, "AMQ8147: IBM MQ channel 'NONE' not found");
  EXPECT_EQ(table->deleteCurrent(message), kStoreNoCurrent);

  ASSERT_EQ(table->readChannel("ONE", d, message), 0);
  ASSERT_EQ(table->deleteCurrent(message), 0);
  ASSERT_EQ(table->close(message), 0);
  EXPECT_EQ(namesInOrder(), std::vector<std::string>{"TWO"});
  auto reader = openTable(BinaryTable::Mode::Read);
  ASSERT_EQ(reader->readChannel("TWO", d, message), 0);
  EXPECT_EQ(d.description, "changed");
  EXPECT_EQ(reader->writeChannel(d, 0, message), kStoreNotWritable);
}

TEST_F(BinaryTableTest, FreedSegmentsAreReusedAndTheFileDoesNotGrow) {
  writeAll({"A", "B", "C"});
  const auto size = std::filesystem::file_size(path);
  {
    auto table = openTable();
    std::string message;
    ChannelDefinition d;
    ASSERT_EQ(table->readChannel("B", d, message), 0);
    ASSERT_EQ(table->deleteCurrent(message), 0);
    ASSERT_EQ(table->writeChannel(channel("BB"), 0, message), 0);  // same size
    ASSERT_EQ(table->close(message), 0);
  }
  EXPECT_EQ(std::filesystem::file_size(path), size);
  {
    auto table = openTable();
    std::string message;
    ChannelDefinition d;
    ASSERT_EQ(table->readChannel("C", d, message), 0);
    ASSERT_EQ(table->deleteCurrent(message), 0);
    ASSERT_EQ(table->writeChannel(channel("D"), 4, message), 0);  // smaller: version 4
    ASSERT_EQ(table->close(message), 0);
  }
  EXPECT_EQ(std::filesystem::file_size(path), size);
  EXPECT_EQ(namesInOrder(), (std::vector<std::string>{"A", "BB", "D"}));
}

TEST_F(BinaryTableTest, UpdateThatOutgrowsItsSegmentMovesAndFreesTheOldOne) {
  writeAll({"A", "B", "C"}, 4);
  {
    auto table = openTable();
    std::string message;
    ChannelDefinition d;
    ASSERT_EQ(table->readChannel("B", d, message), 0);
    ASSERT_EQ(table->writeChannel(d, 12, message), 0);
    ASSERT_EQ(table->close(message), 0);
  }
  EXPECT_EQ(namesInOrder(), (std::vector<std::string>{"A", "B", "C"}));
  auto table = openTable();
  std::string message;
  ChannelDefinition d;
  ASSERT_EQ(table->readChannel("B", d, message), 0);
  EXPECT_EQ(d.version, 12);
  // The freed version 4 segment takes a new version 4 record.
  const auto size = std::filesystem::file_size(path);
  ASSERT_EQ(table->writeChannel(channel("AB"), 4, message), 0);
  ASSERT_EQ(table->close(message), 0);
  EXPECT_EQ(std::filesystem::file_size(path), size);
}

TEST_F(BinaryTableTest, AFreeSegmentTooSmallForOneRecordStillTakesALaterOne) {
  writeAll({"A", "B", "C"}, 4);
  const auto size = std::filesystem::file_size(path);
  const auto segment = (size - 8) / 3;  // "AMQR", three version 4 records, the end marker
  {
    auto table = openTable();
    std::string message;
    ChannelDefinition d;
    ASSERT_EQ(table->readChannel("B", d, message), 0);
    ASSERT_EQ(table->deleteCurrent(message), 0);
    ASSERT_EQ(table->writeChannel(channel("D"), 12, message), 0);  // too large: appended
    ASSERT_EQ(table->close(message), 0);
  }
  const auto grown = std::filesystem::file_size(path);
  EXPECT_GT(grown, size);
  {
    auto table = openTable();
    std::string message;
    ASSERT_EQ(table->writeChannel(channel("E"), 4, message), 0);  // fits the freed segment
    ASSERT_EQ(table->writeChannel(channel("F"), 4, message), 0);  // none left: appended
    ASSERT_EQ(table->close(message), 0);
  }
  EXPECT_EQ(std::filesystem::file_size(path), grown + segment);
  EXPECT_EQ(namesInOrder(), (std::vector<std::string>{"A", "C", "D", "E", "F"}));
}

TEST_F(BinaryTableTest, DamagedFilesAreRefusedAndLeftAlone) {
  writeAll({"A", "B", "C"});
  const std::string good = slurp(path);
  const size_t second = 4 + static_cast<size_t>(int32At(good, 4));
  const std::string formatMessage = "File '" + path + "' does not appear to be the correct format";

  expectRefused("", kErrFormat);
  expectRefused("AMQX" + good.substr(4), kErrFormat);
  expectRefused(good.substr(0, good.size() - 4), kErrFormat);  // no end marker
  expectRefused(good.substr(0, 1000), kErrFormat);             // truncated inside a segment
  std::string bytes = good;
  putInt32(bytes, 4, 1 << 30);  // segment past the end
  expectRefused(bytes, kErrFormat);
  bytes = good;
  putInt32(bytes, 4, 12);  // shorter than a header
  expectRefused(bytes, kErrFormat);
  bytes = good;
  putInt32(bytes, 8, int32At(good, 4));  // record overlaps the next segment
  expectRefused(bytes, kErrFormat);
  bytes = good;
  putInt32(bytes, second + 16, static_cast<int32_t>(second));  // loop onto itself
  expectRefused(bytes, kErrFormat, BinaryTable::Mode::Read);
  bytes = good;
  putInt32(bytes, 4 + 16, 4 + 100);  // link into the middle of a segment
  expectRefused(bytes, kErrFormat);
  bytes = good;
  putInt32(bytes, 4 + 16, 1 << 30);  // link outside the file
  expectRefused(bytes, kErrFormat);
  bytes = good;
  putInt32(bytes, 4 + 16, -8);
  expectRefused(bytes, kErrFormat);
  bytes = good;
  putInt32(bytes, second + 12, 0);  // two heads
  expectRefused(bytes, kErrFormat);
  bytes = good;
  bytes.replace(second + 20, 1, "Z");  // keys out of order
  expectRefused(bytes, kErrFormat);
  EXPECT_FALSE(std::filesystem::exists(path + "_tmp"));
}

TEST_F(BinaryTableTest, UnreadableRecordIsReportedAndListingGoesOn) {
  writeAll({"A", "B", "C"});
  std::string bytes = slurp(path);
  const size_t second = 4 + static_cast<size_t>(int32At(bytes, 4));
  putInt32(bytes, second + 20 + 20, 13);  // B becomes version 13
  spit(path, bytes);
  auto table = openTable(BinaryTable::Mode::Read);
  std::string message;
  ChannelDefinition d;
  ASSERT_EQ(table->readNextChannel(d, message), 0);
  EXPECT_EQ(table->readNextChannel(d, message), kErrGeneral);
  EXPECT_EQ(message, "AMQ8427: Sorry, this program does not support reading version 13 channel records");
  ASSERT_EQ(table->readNextChannel(d, message), 0);
  EXPECT_EQ(d.channelName, "C");
  EXPECT_EQ(table->readNextChannel(d, message), kErrEndOfList);
}

TEST_F(BinaryTableTest, FailedSaveLeavesTheOldFile) {
  writeAll({"A"});
  const std::string before = slurp(path);
  std::filesystem::create_directory(path + "_tmp");  // the new file cannot be written
  auto table = openTable();
  std::string message;
  ASSERT_EQ(table->writeChannel(channel("B"), 0, message), 0);
  EXPECT_EQ(table->close(message), kErrAccess);
  EXPECT_NE(message.find("Error accessing file"), std::string::npos);
  EXPECT_EQ(slurp(path), before);
}

TEST_F(BinaryTableTest, ChannelsAndAuthInfoRecordsLiveTogether) {
  writeAll({"ZZZ"});
  auto table = openTable();
  std::string message;
  CrlEntry first{"ldap1(389)", 7, "cn=admin", "pw1"};
  CrlEntry second{"ldap2", 0, "", ""};
  ASSERT_EQ(table->insertCrlEntry(1, first, message), 0) << message;
  ASSERT_EQ(table->insertCrlEntry(0, second, message), 0);  // below 1 counts as 1
  ASSERT_EQ(table->insertOcspUrl(1, "http://ocsp.example.com/check more", message), 0);
  EXPECT_EQ(table->insertOcspUrl(1, "http://second", message), kErrGeneral);
  EXPECT_EQ(message, "AMQ8326: Maximum number (1) of OCSP AUTHINFO definitions reached.");
  ASSERT_EQ(table->close(message), 0);

  EXPECT_EQ(namesInOrder(), std::vector<std::string>{"ZZZ"});  // pseudo-records are not channels
  table = openTable();
  ChannelDefinition d;
  EXPECT_EQ(table->readChannel(std::string(kCrlKey), d, message), kErrChannelNotFound);
  CrlList crl;
  ASSERT_EQ(table->readCrl(crl, message), 0) << message;
  ASSERT_EQ(crl.entries.size(), 2u);
  EXPECT_EQ(crl.entries[0], second);
  EXPECT_EQ(crl.entries[1], first);
  CrlEntry entry;
  EXPECT_EQ(table->readCrlEntry(3, entry, message), kErrEndOfList);
  std::string url;
  ASSERT_EQ(table->readOcspUrl(1, url, message), 0);
  EXPECT_EQ(url, "http://ocsp.example.com/check");  // cut at the first blank
  EXPECT_EQ(slurp(path).find("pw1"), std::string::npos);

  for (int i = 3; i <= 10; ++i) ASSERT_EQ(table->insertCrlEntry(99, CrlEntry{"h" + std::to_string(i)}, message), 0);
  EXPECT_EQ(table->insertCrlEntry(1, CrlEntry{"eleven"}, message), kErrGeneral);
  EXPECT_EQ(message, "AMQ8326: Maximum number (10) of CRLLDAP AUTHINFO definitions reached.");
  ASSERT_EQ(table->readCrl(crl, message), 0);
  EXPECT_EQ(crl.entries.back().connectionName, "h10");

  crl.entries.clear();  // an empty list removes the record
  ASSERT_EQ(table->writeCrl(crl, message), 0);
  ASSERT_EQ(table->readCrl(crl, message), 0);
  EXPECT_TRUE(crl.entries.empty());
}

// An LDAP user or password that would not restore from its scrambled form is refused,
// and the CRL record already there stays readable.
TEST_F(BinaryTableTest, CrlSecretsWithControlCharactersAreRefused) {
  writeAll({"A"});
  auto table = openTable();
  std::string message;
  ASSERT_EQ(table->insertCrlEntry(1, CrlEntry{"ldap1", 0, "cn=ok", "pw"}, message), 0) << message;
  EXPECT_EQ(table->insertCrlEntry(2, CrlEntry{"ldap2", 0, "u\x08", ""}, message), kErrGeneral);
  EXPECT_EQ(message, "LDAP user or password holds control characters, so the AUTHINFO can not be written");
  EXPECT_EQ(table->insertCrlEntry(2, CrlEntry{"ldap2", 0, "u", "p\x7f"}, message), kErrGeneral);
  ASSERT_EQ(table->close(message), 0) << message;
  table = openTable(BinaryTable::Mode::Read);
  CrlList crl;
  ASSERT_EQ(table->readCrl(crl, message), 0) << message;
  ASSERT_EQ(crl.entries.size(), 1u);
  EXPECT_EQ(crl.entries[0].ldapUser, "cn=ok");
}

// Names that sort after the authentication-information records (bytes above '{', as
// a JSON table may hold) are still listed, and the records themselves never are.
TEST_F(BinaryTableTest, ChannelsSortingAfterTheAuthInfoRecordsAreListed) {
  writeAll({"A", "~X", "\xc3\xa9t\xc3\xa9", "|"});
  auto table = openTable();
  std::string message;
  ASSERT_EQ(table->insertCrlEntry(1, CrlEntry{"ldap"}, message), 0) << message;
  ASSERT_EQ(table->insertOcspUrl(1, "http://ocsp", message), 0) << message;
  ASSERT_EQ(table->close(message), 0) << message;
  std::vector<std::string> names;
  for (const std::string &n : namesInOrder()) names.push_back(std::string(trimTrailingBlanks(n)));
  EXPECT_EQ(names, (std::vector<std::string>{"A", "|", "~X", "\xc3\xa9t\xc3\xa9"}));
}

TEST_F(BinaryTableTest, MqserverStandsInForTheFile) {
  setenv("MQSERVER", "SYSTEM.DEF.SVRCONN/TCP/mq.example.com(1414)", 1);
  std::unique_ptr<BinaryTable> table;
  std::string message;
  ASSERT_EQ(BinaryTable::open("!", BinaryTable::Mode::Update, table, message), 0) << message;
  ChannelDefinition d;
  ASSERT_EQ(table->readNextChannel(d, message), 0);
  EXPECT_EQ(d.channelName, "SYSTEM.DEF.SVRCONN");
  EXPECT_EQ(d.connectionName, "mq.example.com(1414)");
  EXPECT_EQ(d.qmgrName, "*");
  EXPECT_EQ(table->readNextChannel(d, message), kErrEndOfList);
  EXPECT_EQ(table->writeChannel(d, 0, message), kStoreNotWritable);
  unsetenv("MQSERVER");
}

TEST_F(BinaryTableTest, ClosedHandleIsRefused) {
  auto table = openTable();
  std::string message;
  ASSERT_EQ(table->close(message), 0);
  ChannelDefinition d;
  EXPECT_EQ(table->readChannel("A", d, message), kErrGeneral);
  EXPECT_EQ(message, "Bad file handle");
  EXPECT_EQ(table->close(message), kErrGeneral);
}

}  // namespace
}  // namespace kvarn::ccdt
