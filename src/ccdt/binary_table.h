// The binary client channel definition table (by default AMQCLCHL.TAB).
//
// The file is "AMQR" followed by segments: a 20-byte header (SegLen, RecLen,
// reserved, PrevOffset, NextOffset) and the record data. Records form a doubly
// linked list in ascending order of their 20-byte keys; a segment with RecLen 0 is
// free and is reused by the first record that fits.
//
// A handle reads the whole file when it is opened and checks its structure, so
// damaged files are refused up front. Changes are made to the handle's image with
// the same segment rules a writer in place would follow, and close() writes the
// image beside the old file and renames it into place: a failure at any point
// leaves the old file as it was.
//
// Every operation returns 0 or an error code of status.h, with the message in
// `message`.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ccdt/channel.h"

namespace kvarn::ccdt {

inline constexpr std::string_view kCrlKey = "{000SSL_CRL_DATA000}";
inline constexpr std::string_view kOcspKey = "{000SSL_OCSP_DATA00}";
inline constexpr int kMaxCrlEntries = 10;
inline constexpr int kMaxOcspUrls = 1;

// One CRL server of the CRL authentication-information record.
struct CrlEntry {
  std::string connectionName;  // at most 264 bytes
  int32_t numeric = 0;         // stored and returned unchanged
  std::string ldapUser;        // at most 1024 bytes
  std::string ldapPassword;    // at most 32 bytes
  bool operator==(const CrlEntry &) const = default;
};

struct CrlList {
  std::string description;
  int64_t alterTime = 0;
  std::vector<CrlEntry> entries;
};

struct OcspList {
  std::string description;
  int64_t alterTime = 0;
  std::vector<std::string> urls;  // at most one
};

class BinaryTable {
 public:
  enum class Mode { Read, Update };

  // Opens the table `name` (see locateBinaryTable). For Update a missing file is
  // created as an empty table.
  static int open(std::string_view name, Mode mode, std::unique_ptr<BinaryTable> &table, std::string &message);

  BinaryTable(const BinaryTable &) = delete;
  BinaryTable &operator=(const BinaryTable &) = delete;
  // Saves pending changes if close() was not called; its errors are lost then.
  ~BinaryTable();

  // Writes pending changes and releases the handle.
  int close(std::string &message);
  // Writes pending changes and keeps the handle open.
  int save(std::string &message);
  bool dirty() const { return dirty_; }
  // Forgets pending changes: nothing is written when the handle goes.
  void discardChanges() { dirty_ = false; }
  // Writes the table as held to another file (pending changes stay pending).
  int saveCopy(const std::string &path, std::string &message) const;

  // Inserts the channel, or updates it when its key is the current record's.
  // `versionSetting` 0 writes the definition's own version, else 1 to 12.
  int writeChannel(const ChannelDefinition &def, int versionSetting, std::string &message);
  // Reads by name; the channel becomes the current record.
  int readChannel(std::string_view name, ChannelDefinition &def, std::string &message);
  // Reads the channel after the current key (the first one after rewind());
  // 10008 at the end of the channels.
  int readNextChannel(ChannelDefinition &def, std::string &message);
  void rewind();
  // Deletes the current record.
  int deleteCurrent(std::string &message);

  // Authentication information. Reading a missing record gives an empty list.
  int readCrl(CrlList &list, std::string &message);
  int writeCrl(const CrlList &list, std::string &message);  // no entries removes the record
  int insertCrlEntry(int position, const CrlEntry &entry, std::string &message);
  int readCrlEntry(int position, CrlEntry &entry, std::string &message);
  int readOcsp(OcspList &list, std::string &message);
  int writeOcsp(const OcspList &list, std::string &message);
  int insertOcspUrl(int position, const std::string &url, std::string &message);
  int readOcspUrl(int position, std::string &url, std::string &message);

  const std::string &path() const { return path_; }
  bool isOpen() const { return open_; }
  size_t fileSize() const { return image_.size(); }

 private:
  struct PrivateTag {};

 public:
  explicit BinaryTable(PrivateTag) {}

 private:
  struct Header {
    int32_t segLen = 0;
    int32_t recLen = 0;
    int32_t reserved = 0;
    int32_t prev = 0;
    int32_t next = 0;
  };

  int load(std::string &message);
  int checkStructure();
  Header header(uint32_t offset) const;
  void putHeader(uint32_t offset, const Header &h);
  std::string_view recordData(uint32_t offset) const;
  uint32_t findSpace(size_t dataLength);
  void setNeighbourLinks(uint32_t prev, uint32_t next, uint32_t target);

  int checkUsable(bool forWriting, std::string &message) const;
  int insertRecord(std::string_view data, std::string &message);
  int updateCurrent(std::string_view data, std::string &message);
  int writeRecord(std::string_view data, std::string &message);
  int deleteRecord(const std::string &key);
  int storageError(int code, std::string_view channel, std::string &message) const;

  std::optional<std::string> recordByKey(std::string_view key) const;

  Mode mode_ = Mode::Read;
  bool open_ = false;
  bool dirty_ = false;
  std::string path_;
  std::string image_;
  uint32_t endOffset_ = 4;                 // where the zero end marker sits
  size_t freeSegments_ = 0;                // segments holding no record
  std::map<std::string, uint32_t> index_;  // key -> segment offset, in list order
  uint32_t current_ = 0;
  std::string cursorKey_;  // readNextChannel continues after this key
  std::optional<ChannelDefinition> mqserverChannel_;
};

}  // namespace kvarn::ccdt
