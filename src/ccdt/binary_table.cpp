#include "ccdt/binary_table.h"

#include "runtime/trace_sink.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unordered_map>
#include <unordered_set>

#include "ccdt/channel_record.h"
#include "ccdt/file_io.h"
#include "ccdt/locate.h"
#include "ccdt/status.h"
#include "ccdt/trace.h"
#include "text/text.h"

namespace kvarn::ccdt {

namespace {

constexpr std::string_view kMagic = "AMQR";
constexpr uint32_t kFirstSegment = 4;
constexpr uint32_t kHeaderLength = 20;
constexpr std::string_view kEmptyTable("AMQR\0\0\0\0", 8);

int32_t readInt32(std::string_view in, size_t offset) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(in[offset + i])) << (8 * i);
  return static_cast<int32_t>(v);
}

void writeInt32(std::string &out, size_t offset, int32_t value) {
  auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

int64_t currentTime() {
  int64_t now = static_cast<int64_t>(std::time(nullptr));
  if (std::getenv("MQ_TIMEDEBUG")) traceWritef("AlterTime updated : %d\n", static_cast<int>(now));
  return now;
}

// Authentication-information records share the channel record's offsets.
constexpr size_t kAuthVersionOffset = 20;
constexpr size_t kAuthDescriptionOffset = 32;
constexpr size_t kAuthStrucLengthOffset = 1492;
constexpr size_t kAuthOcspLengthOffset = 1504;
constexpr size_t kAuthTimeOffset = 1560;
constexpr size_t kAuthPackedLengthOffset = 1636;
constexpr size_t kAuthDataOffset = 1640;
constexpr int32_t kAuthStrucLength = 1496;
constexpr int32_t kCrlRecordVersion = 3;
constexpr int32_t kOcspRecordVersion = 4;
constexpr size_t kMaxCrlConnectionName = 264;
constexpr size_t kMaxLdapUser = 1024;
constexpr size_t kMaxLdapPassword = 32;
constexpr size_t kMaxOcspUrl = 256;

std::string authRecord(std::string_view key, int32_t version, const std::string &description, int64_t now,
                       const std::string &packed) {
  std::string record(kAuthDataOffset, '\0');
  record.replace(0, key.size(), key);
  writeInt32(record, kAuthVersionOffset, version);
  std::string text = description.substr(0, 64);
  text.resize(64, ' ');
  record.replace(kAuthDescriptionOffset, 64, text);
  writeInt32(record, kAuthStrucLengthOffset, kAuthStrucLength);
  writeInt32(record, kAuthTimeOffset, static_cast<int32_t>(static_cast<uint32_t>(now)));
  writeInt32(record, kAuthPackedLengthOffset, static_cast<int32_t>(packed.size()));
  return record + packed;
}

size_t roundUpTo8(size_t n) { return (n + 7) / 8 * 8; }

void appendInt32(std::string &out, int32_t value) {
  out.append(4, '\0');
  writeInt32(out, out.size() - 4, value);
}

void appendScrambled(std::string &out, const std::string &text) {
  std::string padded = text;
  padded.resize(padded.empty() ? 0 : roundUpTo8(padded.size()), '\0');
  scrambleSecret(padded.data(), padded.size());
  appendInt32(out, static_cast<int32_t>(padded.size()));
  out += padded;
}

// Reads packed fields with bounds checks; any overrun marks the reader failed.
class PackedReader {
 public:
  explicit PackedReader(std::string_view data) : data_(data) {}
  bool failed() const { return failed_; }
  bool atEnd() const { return pos_ >= data_.size(); }
  int32_t int32() {
    if (failed_ || data_.size() - pos_ < 4) {
      failed_ = true;
      return 0;
    }
    int32_t v = readInt32(data_, pos_);
    pos_ += 4;
    return v;
  }
  std::string bytes(int32_t length, size_t limit) {
    if (failed_ || length < 0 || static_cast<size_t>(length) > limit ||
        static_cast<size_t>(length) > data_.size() - pos_) {
      failed_ = true;
      return {};
    }
    std::string out(data_.substr(pos_, static_cast<size_t>(length)));
    pos_ += static_cast<size_t>(length);
    return out;
  }

 private:
  std::string_view data_;
  size_t pos_ = 0;
  bool failed_ = false;
};

std::string trimScrambledText(std::string text) {
  while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

int BinaryTable::open(std::string_view name, Mode mode, std::unique_ptr<BinaryTable> &table, std::string &message) {
  auto handle = std::make_unique<BinaryTable>(PrivateTag{});
  handle->mode_ = mode;
  bool useMqserver = false;
  if (int rc = locateBinaryTable(name, handle->path_, useMqserver, message); rc != kOk) return rc;
  if (useMqserver) {
    ChannelDefinition def;
    if (int rc = channelFromMqserver(def, message); rc != kOk) return rc;
    handle->mqserverChannel_ = std::move(def);
    handle->mode_ = Mode::Read;
    handle->open_ = true;
    table = std::move(handle);
    message.clear();
    return kOk;
  }
  if (int rc = handle->load(message); rc != kOk) return rc;
  handle->open_ = true;
  table = std::move(handle);
  message.clear();
  return kOk;
}

BinaryTable::~BinaryTable() {
  std::string ignored;
  if (open_) close(ignored);
}

int BinaryTable::load(std::string &message) {
  int rc = readWholeFile(path_, image_);
  if (rc == kStoreNoFile && mode_ == Mode::Update) {
    // A missing file is created at once, as an empty table.
    image_.assign(kEmptyTable);
    if (int wrc = replaceFile(path_, image_); wrc != 0) return storageError(wrc, "", message);
    rc = 0;
  }
  if (rc != 0) return storageError(rc, "", message);
  if (int src = checkStructure(); src != 0) return storageError(src, "", message);
  return kOk;
}

BinaryTable::Header BinaryTable::header(uint32_t offset) const {
  Header h;
  h.segLen = readInt32(image_, offset);
  h.recLen = readInt32(image_, offset + 4);
  h.reserved = readInt32(image_, offset + 8);
  h.prev = readInt32(image_, offset + 12);
  h.next = readInt32(image_, offset + 16);
  return h;
}

void BinaryTable::putHeader(uint32_t offset, const Header &h) {
  writeInt32(image_, offset, h.segLen);
  writeInt32(image_, offset + 4, h.recLen);
  writeInt32(image_, offset + 8, h.reserved);
  writeInt32(image_, offset + 12, h.prev);
  writeInt32(image_, offset + 16, h.next);
}

std::string_view BinaryTable::recordData(uint32_t offset) const {
  return std::string_view(image_).substr(offset + kHeaderLength, static_cast<size_t>(header(offset).recLen));
}

// Walks the segments and then the key list, refusing anything that does not hold
// together: lengths past the end, records overlapping their segment, links that
// point elsewhere than at a record, loops, keys out of order, records left out.
int BinaryTable::checkStructure() {
  if (image_.size() < kMagic.size() || std::string_view(image_).substr(0, 4) != kMagic) return kStoreNotCcdt;
  std::unordered_map<uint32_t, std::string> records;
  size_t free = 0;
  uint32_t pos = kFirstSegment;
  for (;;) {
    if (image_.size() - pos < 4) return kStoreDamaged;  // no end marker
    int32_t segLen = readInt32(image_, pos);
    if (segLen == 0) break;
    if (segLen < static_cast<int32_t>(kHeaderLength) || static_cast<size_t>(segLen) > image_.size() - pos)
      return kStoreDamaged;
    Header h = header(pos);
    if (h.recLen != 0) {
      if (h.recLen < kKeyLength || h.recLen > segLen - static_cast<int32_t>(kHeaderLength)) return kStoreDamaged;
      records.emplace(pos, std::string(image_, pos + kHeaderLength, kKeyLength));
    } else {
      ++free;
    }
    pos += static_cast<uint32_t>(segLen);
  }
  endOffset_ = pos;
  freeSegments_ = free;

  index_.clear();
  uint32_t head = 0;
  for (const auto &[offset, key] : records) {
    if (header(offset).prev != 0) continue;
    if (head != 0) return kStoreDamaged;  // two heads
    head = offset;
  }
  if (head == 0) return records.empty() ? 0 : kStoreDamaged;
  uint32_t previous = 0;
  const std::string *previousKey = nullptr;
  for (uint32_t at = head; at != 0;) {
    auto found = records.find(at);
    if (found == records.end()) return kStoreDamaged;
    Header h = header(at);
    if (static_cast<uint32_t>(h.prev) != previous) return kStoreDamaged;
    if (previousKey && !(*previousKey < found->second)) return kStoreDamaged;  // also stops loops
    auto inserted = index_.emplace(found->second, at);
    if (!inserted.second) return kStoreDamaged;
    previousKey = &inserted.first->first;
    previous = at;
    if (h.next < 0) return kStoreDamaged;
    at = static_cast<uint32_t>(h.next);
  }
  if (index_.size() != records.size()) return kStoreDamaged;
  return 0;
}

int BinaryTable::storageError(int code, std::string_view channel, std::string &message) const {
  return reportStorageError(code, path_, channel, message);
}

int BinaryTable::checkUsable(bool forWriting, std::string &message) const {
  if (!open_) return storageError(kStoreNoHandle, "", message);
  if (forWriting && (mode_ != Mode::Update || mqserverChannel_)) return storageError(kStoreNotWritable, "", message);
  return kOk;
}

int BinaryTable::close(std::string &message) {
  if (!open_) return storageError(kStoreNoHandle, "", message);
  open_ = false;
  message.clear();
  if (!dirty_) return kOk;
  dirty_ = false;
  if (int rc = replaceFile(path_, image_); rc != 0) return storageError(rc, "", message);
  return kOk;
}

int BinaryTable::saveCopy(const std::string &path, std::string &message) const {
  message.clear();
  if (int rc = replaceFile(path, image_); rc != 0) return reportStorageError(rc, path, "", message);
  return kOk;
}

int BinaryTable::save(std::string &message) {
  if (!open_) return storageError(kStoreNoHandle, "", message);
  message.clear();
  if (!dirty_) return kOk;
  if (int rc = replaceFile(path_, image_); rc != 0) return storageError(rc, "", message);
  dirty_ = false;
  return kOk;
}

uint32_t BinaryTable::findSpace(size_t dataLength) {
  const auto needed = static_cast<int32_t>(dataLength + kHeaderLength);
  // With no free segment the walk could only end at the end marker: a table filled
  // one record at a time is not walked once per record. Traced, every segment is shown.
  bool tracing = traceEnabled(kTraceSpace);
  for (uint32_t pos = kFirstSegment; pos < endOffset_ && (freeSegments_ > 0 || tracing);) {
    Header h = header(pos);
    if (tracing)
      traceWritef("FIND_SPACE:REC(:POS(%d) SEGLEN(%d) RECLEN(%d)\n", static_cast<int>(pos), h.segLen, h.recLen);
    if (h.recLen == 0 && h.segLen >= needed) {
      if (freeSegments_ > 0) --freeSegments_;  // the caller puts its record here
      return pos;
    }
    pos += static_cast<uint32_t>(h.segLen);
  }
  // Append at the end marker and put a new marker after the record.
  uint32_t at = endOffset_;
  size_t newEnd = static_cast<size_t>(at) + static_cast<size_t>(needed);
  if (image_.size() < newEnd + 4) image_.resize(newEnd + 4, '\0');
  writeInt32(image_, newEnd, 0);
  Header fresh;
  fresh.segLen = needed;
  putHeader(at, fresh);
  endOffset_ = static_cast<uint32_t>(newEnd);
  return at;
}

void BinaryTable::setNeighbourLinks(uint32_t prev, uint32_t next, uint32_t target) {
  if (prev != 0) writeInt32(image_, prev + 16, static_cast<int32_t>(target));
  if (next != 0) writeInt32(image_, next + 12, static_cast<int32_t>(target));
}

int BinaryTable::insertRecord(std::string_view data, std::string &message) {
  if (data.size() < static_cast<size_t>(kKeyLength)) return storageError(kStoreDataTooShort, "", message);
  std::string key(data.substr(0, kKeyLength));
  auto after = index_.lower_bound(key);
  if (after != index_.end() && after->first == key) return storageError(kStoreKeyExists, key, message);
  uint32_t next = after == index_.end() ? 0 : after->second;
  uint32_t prev = after == index_.begin() ? 0 : std::prev(after)->second;
  if (image_.size() > UINT32_MAX / 2) {  // offsets are 32-bit
    message = "Storage not available";
    return kErrStorage;
  }

  uint32_t at = findSpace(data.size());
  Header h = header(at);
  h.recLen = static_cast<int32_t>(data.size());
  h.reserved = 0;
  h.prev = static_cast<int32_t>(prev);
  h.next = static_cast<int32_t>(next);
  setNeighbourLinks(prev, next, at);
  putHeader(at, h);
  image_.replace(at + kHeaderLength, data.size(), data);
  index_.emplace(key, at);
  current_ = at;
  cursorKey_ = key;
  dirty_ = true;
  message.clear();
  return kOk;
}

int BinaryTable::updateCurrent(std::string_view data, std::string &message) {
  if (current_ == 0) return storageError(kStoreNoCurrent, "", message);
  if (data.size() < static_cast<size_t>(kKeyLength)) return storageError(kStoreDataTooShort, "", message);
  std::string key(data.substr(0, kKeyLength));
  if (recordData(current_).substr(0, kKeyLength) != key) return storageError(kStoreKeyDiffers, "", message);
  Header old = header(current_);
  if (data.size() + kHeaderLength <= static_cast<size_t>(old.segLen)) {
    old.recLen = static_cast<int32_t>(data.size());
    putHeader(current_, old);
    image_.replace(current_ + kHeaderLength, data.size(), data);
  } else {
    uint32_t at = findSpace(data.size());
    Header h = header(at);
    h.recLen = static_cast<int32_t>(data.size());
    h.reserved = 0;
    h.prev = old.prev;
    h.next = old.next;
    putHeader(at, h);
    image_.replace(at + kHeaderLength, data.size(), data);
    setNeighbourLinks(static_cast<uint32_t>(old.prev), static_cast<uint32_t>(old.next), at);
    old = header(current_);
    old.recLen = 0;
    putHeader(current_, old);
    ++freeSegments_;
    index_[key] = at;
    current_ = at;
  }
  dirty_ = true;
  message.clear();
  return kOk;
}

int BinaryTable::writeRecord(std::string_view data, std::string &message) {
  if (current_ != 0 && data.size() >= static_cast<size_t>(kKeyLength) &&
      recordData(current_).substr(0, kKeyLength) == data.substr(0, kKeyLength))
    return updateCurrent(data, message);
  return insertRecord(data, message);
}

int BinaryTable::deleteRecord(const std::string &key) {
  auto found = index_.find(key);
  if (found == index_.end()) return kStoreNoCurrent;
  uint32_t at = found->second;
  Header h = header(at);
  setNeighbourLinks(static_cast<uint32_t>(h.prev), 0, static_cast<uint32_t>(h.next));
  setNeighbourLinks(0, static_cast<uint32_t>(h.next), static_cast<uint32_t>(h.prev));
  h.recLen = 0;
  putHeader(at, h);
  ++freeSegments_;
  index_.erase(found);
  if (current_ == at) current_ = 0;
  dirty_ = true;
  return 0;
}

std::optional<std::string> BinaryTable::recordByKey(std::string_view key) const {
  auto found = index_.find(std::string(key));
  if (found == index_.end()) return std::nullopt;
  return std::string(recordData(found->second));
}

int BinaryTable::writeChannel(const ChannelDefinition &def, int versionSetting, std::string &message) {
  if (int rc = checkUsable(true, message); rc != kOk) return rc;
  std::string key = channelKey(def.channelName);
  if (key.front() == '{') {
    message = "AMQ8427: The channel name is not valid.";
    return kErrGeneral;
  }
  int version = versionSetting != 0 ? versionSetting : def.version;
  std::string record;
  if (int rc = encodeChannelRecord(def, version, currentTime(), record, message); rc != kOk) return rc;
  return writeRecord(record, message);
}

int BinaryTable::readChannel(std::string_view name, ChannelDefinition &def, std::string &message) {
  if (int rc = checkUsable(false, message); rc != kOk) return rc;
  std::string key = channelKey(name);
  if (mqserverChannel_) {
    if (channelKey(mqserverChannel_->channelName) != key) return storageError(kStoreNotFound, name, message);
    def = *mqserverChannel_;
    message.clear();
    return kOk;
  }
  auto found = index_.find(key);
  if (key.front() == '{' || found == index_.end()) {
    current_ = 0;
    return storageError(kStoreNotFound, name, message);
  }
  current_ = found->second;
  cursorKey_ = key;
  return decodeChannelRecord(recordData(found->second), path_, def, message);
}

int BinaryTable::readNextChannel(ChannelDefinition &def, std::string &message) {
  if (int rc = checkUsable(false, message); rc != kOk) return rc;
  if (mqserverChannel_) {
    if (!cursorKey_.empty()) {
      message.clear();
      return kErrEndOfList;
    }
    cursorKey_ = channelKey(mqserverChannel_->channelName);
    def = *mqserverChannel_;
    message.clear();
    return kOk;
  }
  // The authentication-information records ("{...}" keys) are stepped over, not taken
  // for the end: a channel name may sort after them (any byte above '{').
  auto next = cursorKey_.empty() ? index_.begin() : index_.upper_bound(cursorKey_);
  while (next != index_.end() && next->first.front() == '{') ++next;
  if (next == index_.end()) {
    message.clear();
    return kErrEndOfList;
  }
  // Move on even when this record cannot be read, so a listing can continue.
  current_ = next->second;
  cursorKey_ = next->first;
  return decodeChannelRecord(recordData(next->second), path_, def, message);
}

void BinaryTable::rewind() {
  current_ = 0;
  cursorKey_.clear();
}

int BinaryTable::deleteCurrent(std::string &message) {
  if (int rc = checkUsable(true, message); rc != kOk) return rc;
  if (current_ == 0) return storageError(kStoreNoCurrent, "", message);
  deleteRecord(std::string(recordData(current_).substr(0, kKeyLength)));
  message.clear();
  return kOk;
}

int BinaryTable::readCrl(CrlList &list, std::string &message) {
  if (int rc = checkUsable(false, message); rc != kOk) return rc;
  list = CrlList{};
  message.clear();
  auto record = recordByKey(kCrlKey);
  if (!record) return kOk;
  if (record->size() < kAuthDataOffset || readInt32(*record, kAuthStrucLengthOffset) < kAuthStrucLength)
    return storageError(kStoreDamaged, "", message);
  list.description = std::string(trimTrailingBlanks(std::string_view(*record).substr(kAuthDescriptionOffset, 64)));
  list.alterTime = static_cast<uint32_t>(readInt32(*record, kAuthTimeOffset));
  int32_t packedLength = readInt32(*record, kAuthPackedLengthOffset);
  if (packedLength < 0 || static_cast<size_t>(packedLength) > record->size() - kAuthDataOffset)
    return storageError(kStoreDamaged, "", message);
  PackedReader in(std::string_view(*record).substr(kAuthDataOffset, static_cast<size_t>(packedLength)));
  while (!in.atEnd() && !in.failed()) {
    CrlEntry entry;
    entry.connectionName = in.bytes(in.int32(), kMaxCrlConnectionName);
    if (in.int32() != 4) return storageError(kStoreDamaged, "", message);
    entry.numeric = in.int32();
    std::string user = in.bytes(in.int32(), kMaxLdapUser);
    std::string password = in.bytes(in.int32(), kMaxLdapPassword);
    if (in.failed() || restoreSecret(user.data(), user.size()) != 0 ||
        restoreSecret(password.data(), password.size()) != 0)
      return storageError(kStoreDamaged, "", message);
    entry.ldapUser = trimScrambledText(std::move(user));
    entry.ldapPassword = trimScrambledText(std::move(password));
    list.entries.push_back(std::move(entry));
  }
  if (in.failed()) return storageError(kStoreDamaged, "", message);
  return kOk;
}

int BinaryTable::writeCrl(const CrlList &list, std::string &message) {
  if (int rc = checkUsable(true, message); rc != kOk) return rc;
  if (list.entries.size() > static_cast<size_t>(kMaxCrlEntries)) {
    message = strFormat("AMQ8326: Maximum number (%d) of CRLLDAP AUTHINFO definitions reached.", kMaxCrlEntries);
    return kErrGeneral;
  }
  std::string key(kCrlKey);
  if (list.entries.empty()) {
    deleteRecord(key);
    message.clear();
    return kOk;
  }
  std::string packed;
  for (const auto &entry : list.entries) {
    if (entry.connectionName.size() > kMaxCrlConnectionName || entry.ldapUser.size() > kMaxLdapUser ||
        entry.ldapPassword.size() > kMaxLdapPassword) {
      message = "AMQ8427: Invalid value for 'AUTHINFO'.";
      return kErrGeneral;
    }
    // Control characters would make the whole record read as damaged.
    if (!isRestorableSecret(entry.ldapUser) || !isRestorableSecret(entry.ldapPassword)) {
      message = "LDAP user or password holds control characters, so the AUTHINFO can not be written";
      return kErrGeneral;
    }
    appendInt32(packed, static_cast<int32_t>(entry.connectionName.size()));
    packed += entry.connectionName;
    appendInt32(packed, 4);
    appendInt32(packed, entry.numeric);
    appendScrambled(packed, entry.ldapUser);
    appendScrambled(packed, entry.ldapPassword);
  }
  std::string record = authRecord(kCrlKey, kCrlRecordVersion, list.description, currentTime(), packed);
  deleteRecord(key);
  return insertRecord(record, message);
}

int BinaryTable::insertCrlEntry(int position, const CrlEntry &entry, std::string &message) {
  CrlList list;
  if (int rc = readCrl(list, message); rc != kOk) return rc;
  if (list.entries.size() >= static_cast<size_t>(kMaxCrlEntries)) {
    message = strFormat("AMQ8326: Maximum number (%d) of CRLLDAP AUTHINFO definitions reached.", kMaxCrlEntries);
    return kErrGeneral;
  }
  size_t at = position < 1 ? 0 : std::min(static_cast<size_t>(position - 1), list.entries.size());
  list.entries.insert(list.entries.begin() + static_cast<std::ptrdiff_t>(at), entry);
  return writeCrl(list, message);
}

int BinaryTable::readCrlEntry(int position, CrlEntry &entry, std::string &message) {
  CrlList list;
  if (int rc = readCrl(list, message); rc != kOk) return rc;
  if (position < 1 || static_cast<size_t>(position) > list.entries.size()) {
    message.clear();
    return kErrEndOfList;
  }
  entry = list.entries[static_cast<size_t>(position - 1)];
  return kOk;
}

int BinaryTable::readOcsp(OcspList &list, std::string &message) {
  if (int rc = checkUsable(false, message); rc != kOk) return rc;
  list = OcspList{};
  message.clear();
  auto record = recordByKey(kOcspKey);
  if (!record) return kOk;
  if (record->size() < kAuthDataOffset || readInt32(*record, kAuthVersionOffset) != kOcspRecordVersion ||
      readInt32(*record, kAuthStrucLengthOffset) < kAuthStrucLength)
    return storageError(kStoreDamaged, "", message);
  list.description = std::string(trimTrailingBlanks(std::string_view(*record).substr(kAuthDescriptionOffset, 64)));
  list.alterTime = static_cast<uint32_t>(readInt32(*record, kAuthTimeOffset));
  int32_t packedLength = readInt32(*record, kAuthPackedLengthOffset);
  if (packedLength < 12 || static_cast<size_t>(packedLength) > record->size() - kAuthDataOffset)
    return storageError(kStoreDamaged, "", message);
  std::string_view packed = std::string_view(*record).substr(kAuthDataOffset, static_cast<size_t>(packedLength));
  int32_t headerVersion = readInt32(packed, 0);
  int32_t headerLength = readInt32(packed, 4);
  int32_t count = readInt32(packed, 8);
  if (headerVersion < 1 || headerLength < 12 || headerLength > packedLength || count < 0 || count > kMaxOcspUrls)
    return storageError(kStoreDamaged, "", message);
  PackedReader in(packed.substr(static_cast<size_t>(headerLength)));
  for (int32_t i = 0; i < count; ++i) {
    int32_t entryLength = in.int32();
    int32_t urlLength = in.int32();
    if (entryLength < 8 || urlLength < 0 || urlLength > entryLength - 8)
      return storageError(kStoreDamaged, "", message);
    std::string url = in.bytes(urlLength, kMaxOcspUrl);
    in.bytes(entryLength - 8 - urlLength, SIZE_MAX);  // any padding of the entry
    if (in.failed()) return storageError(kStoreDamaged, "", message);
    list.urls.push_back(std::move(url));
  }
  return kOk;
}

int BinaryTable::writeOcsp(const OcspList &list, std::string &message) {
  if (int rc = checkUsable(true, message); rc != kOk) return rc;
  if (list.urls.size() > static_cast<size_t>(kMaxOcspUrls)) {
    message = strFormat("AMQ8326: Maximum number (%d) of OCSP AUTHINFO definitions reached.", kMaxOcspUrls);
    return kErrGeneral;
  }
  std::string key(kOcspKey);
  if (list.urls.empty()) {
    deleteRecord(key);
    message.clear();
    return kOk;
  }
  std::string packed;
  appendInt32(packed, 1);
  appendInt32(packed, 12);
  appendInt32(packed, static_cast<int32_t>(list.urls.size()));
  for (const auto &given : list.urls) {
    std::string url = given.substr(0, given.find(' ')).substr(0, kMaxOcspUrl);
    appendInt32(packed, static_cast<int32_t>(url.size() + 8));
    appendInt32(packed, static_cast<int32_t>(url.size()));
    packed += url;
  }
  std::string record = authRecord(kOcspKey, kOcspRecordVersion, list.description, currentTime(), packed);
  writeInt32(record, kAuthOcspLengthOffset, static_cast<int32_t>(packed.size() + 130));
  deleteRecord(key);
  return insertRecord(record, message);
}

int BinaryTable::insertOcspUrl(int position, const std::string &url, std::string &message) {
  OcspList list;
  if (int rc = readOcsp(list, message); rc != kOk) return rc;
  if (list.urls.size() >= static_cast<size_t>(kMaxOcspUrls)) {
    message = strFormat("AMQ8326: Maximum number (%d) of OCSP AUTHINFO definitions reached.", kMaxOcspUrls);
    return kErrGeneral;
  }
  size_t at = position < 1 ? 0 : std::min(static_cast<size_t>(position - 1), list.urls.size());
  list.urls.insert(list.urls.begin() + static_cast<std::ptrdiff_t>(at), url);
  return writeOcsp(list, message);
}

int BinaryTable::readOcspUrl(int position, std::string &url, std::string &message) {
  OcspList list;
  if (int rc = readOcsp(list, message); rc != kOk) return rc;
  if (position < 1 || static_cast<size_t>(position) > list.urls.size()) {
    message.clear();
    return kErrEndOfList;
  }
  url = list.urls[static_cast<size_t>(position - 1)];
  return kOk;
}

}  // namespace kvarn::ccdt
