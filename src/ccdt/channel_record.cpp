#include "ccdt/channel_record.h"

#include "runtime/trace_sink.h"

#include <cstdio>
#include <cstring>

#include "ccdt/status.h"
#include "ccdt/trace.h"
#include "text/text.h"

namespace kvarn::ccdt {

namespace {

int32_t *numbersOf(int32_t &value) { return &value; }
template <size_t N>
int32_t *numbersOf(std::array<int32_t, N> &values) {
  return values.data();
}

#define CHARS(label, ver, len, param, member)                                                                          \
  { label, ver, FieldKind::Chars, len, param, &ChannelDefinition::member, nullptr }
#define SECRET(label, ver, len, param, member)                                                                         \
  { label, ver, FieldKind::Secret, len, param, &ChannelDefinition::member, nullptr }
#define INTS(label, ver, count, param, member)                                                                         \
  {                                                                                                                    \
    label, ver, FieldKind::Int32, count, param, nullptr, [](ChannelDefinition &d) { return numbersOf(d.member); }      \
  }
#define INT(label, ver, param, member) INTS(label, ver, 1, param, member)
#define POINTER(label, ver, param)                                                                                     \
  { label, ver, FieldKind::Pointer, 1, param, nullptr, nullptr }

const ChannelField kChannelFields[] = {
    CHARS("Channel Name", 1, 20, 3501, channelName),
    INT("Version", 1, 0, version),
    INT("Channel Type", 1, 1511, channelType),
    INT("Transport Type", 1, 1501, transportType),
    CHARS("Description", 1, 64, 3502, description),
    CHARS("QMgr Name", 1, 48, 2015, qmgrName),
    CHARS("XmitQ name", 1, 48, 0, xmitqName),
    CHARS("Short Connection Name", 1, 20, 0, shortConnectionName),
    CHARS("MCA Name", 1, 20, 0, mcaName),
    CHARS("Mode Name", 1, 8, 0, modeName),
    CHARS("Tp Name", 1, 64, 0, tpName),
    INT("Batch Size", 1, 0, batchSize),
    INT("Disc. Interval", 1, 1503, discInterval),
    INT("Short Retry Count", 1, 0, shortRetryCount),
    INT("Short Retry Interval", 1, 0, shortRetryInterval),
    INT("Long Retry Count", 1, 0, longRetryCount),
    INT("Long Retry Interval", 1, 0, longRetryInterval),
    CHARS("Security Exit", 1, 128, 3508, securityExit),
    CHARS("Message Exit", 1, 128, 0, msgExit),
    CHARS("Send Exit", 1, 128, 0, sendExit),
    CHARS("Receive Exit", 1, 128, 0, receiveExit),
    INT("Sequence Wrap", 1, 0, seqNumberWrap),
    INT("Max Message Length", 1, 1510, maxMsgLength),
    INT("Put Authority", 1, 0, putAuthority),
    INT("Data Conversion", 1, 0, dataConversion),
    CHARS("Security User Data", 1, 32, 3513, securityUserData),
    CHARS("Message User Data", 1, 32, 0, msgUserData),
    CHARS("Send User Data", 1, 32, 0, sendUserData),
    CHARS("Receive User Data", 1, 32, 0, receiveUserData),
    CHARS("User Identifier", 2, 12, 0, userIdentifier),
    SECRET("Password", 2, 12, 0, password),
    CHARS("MCA User Id", 2, 12, 0, mcaUserIdentifier),
    INT("MCA Type", 2, 0, mcaType),
    CHARS("Connection Name", 2, 264, 3506, connectionName),
    CHARS("Remote Useridentifer", 2, 12, 0, remoteUserIdentifier),
    SECRET("Remote Password", 2, 12, 0, remotePassword),
    CHARS("Msg Retry Exit", 3, 128, 0, msgRetryExit),
    CHARS("Msg Retry User Data", 3, 32, 0, msgRetryUserData),
    INT("Msg Retry Count", 3, 0, msgRetryCount),
    INT("Msg Retry Interval", 3, 0, msgRetryInterval),
    INT("Heartbeat Interval", 4, 1563, heartbeatInterval),
    INT("Batch Interval", 4, 0, batchInterval),
    INT("NPM Speed", 4, 0, nonPersistentMsgSpeed),
    INT("Struc Length", 4, 0, strucLength),
    INT("Exit Name Length", 4, 0, exitNameLength),
    INT("Exit Data Length", 4, 0, exitDataLength),
    INT("Msg Exits Defined", 4, 0, msgExitsDefined),
    INT("Snd Exits Defined", 4, 0, sendExitsDefined),
    INT("Rcv Exits Defined", 4, 0, receiveExitsDefined),
    POINTER("Msg Exits Ptr", 4, 0),
    POINTER("Msg Data  Ptr", 4, 0),
    POINTER("Snd Exits Ptr", 4, 3510),
    POINTER("Snd Data  Ptr", 4, 3515),
    POINTER("Rcv Exits Ptr", 4, 3511),
    POINTER("Rcv Data  Ptr", 4, 3516),
    POINTER("Cluster Ptr", 5, 0),
    INT("Clusters Defined", 5, 0, clustersDefined),
    INT("Network Priority", 5, 0, networkPriority),
    INT("Long MCA UserId Length", 6, 0, longMcaUserIdLength),
    INT("Long Remote UserId Length", 6, 0, longRemoteUserIdLength),
    POINTER("Long MCA Userid Ptr", 6, 0),
    POINTER("Long Remote Ptr", 6, 0),
    CHARS("MCA Security Id", 6, 40, 0, mcaSecurityId),
    CHARS("Remote Security Id", 6, 40, 0, remoteSecurityId),
    CHARS("SSL Cipher Spec", 7, 32, 3544, sslCipherSpec),
    POINTER("SSL PeerName Ptr", 7, 3545),
    INT("SSL PeerName Length", 7, 0, sslPeerNameLength),
    INT("SSL Client Auth", 7, 0, sslClientAuth),
    INT("Keep Alive Int.", 7, 1566, keepAliveInterval),
    CHARS("Local Address", 7, 48, 3520, localAddress),
    INT("Batch Heartbeat", 7, 0, batchHeartbeat),
    INTS("Hdr Comp", 8, 2, 1575, hdrComp),
    INTS("Msg Comp", 8, 16, 1576, msgComp),
    INT("CLWL Rank", 8, 0, clwlChannelRank),
    INT("CLWL Priority", 8, 0, clwlChannelPriority),
    INT("CLWL Weight", 8, 0, clwlChannelWeight),
    INT("Monitoring", 8, 0, channelMonitoring),
    INT("Statistics", 8, 0, channelStatistics),
    INT("Sharing Conversations", 9, 1615, sharingConversations),
    INT("Property Control", 9, 0, propertyControl),
    INT("Maximum Instances", 9, 0, maxInstances),
    INT("Max Instances per Client", 9, 0, maxInstancesPerClient),
    INT("Client Channel Weight", 9, 1620, clientChannelWeight),
    INT("Connection Affinity", 9, 1621, connectionAffinity),
    INT("Batch Data Limit", 10, 0, batchDataLimit),
    INT("Use DLQ", 10, 0, useDlq),
    INT("Default Reconnect", 10, 1640, defReconnect),
    CHARS("Certificate Label", 11, 64, 2121, certificateLabel),
    INT("SPL Protection", 12, 0, splProtection),
    {"End of MQCD Marker", 1, FieldKind::EndMarker, 1, 0, nullptr, nullptr},
    INT("New Sequence Number", 1, 0, newSequenceNumber),
    INT("Encrypt", 1, 0, encrypt),
    INT("ExitListsLen", 4, 0, exitListsLen),
    INT("Flags", 5, 0, flags),
    CHARS("Cluster", 5, 48, 0, cluster),
    {"Alter Time", 5, FieldKind::Time, 1, 2028, nullptr, nullptr},
    CHARS("Long MCA User", 6, 64, 0, longMcaUser),
};

#undef CHARS
#undef SECRET
#undef INTS
#undef INT
#undef POINTER

constexpr int kUserIdOffset = 984;  // User Identifier then Password: 24 bytes, same in every version >= 2
constexpr int kSecretLength = 24;
constexpr char kEntryEnd = 0x02;
constexpr char kListEnd = 0x01;

int fieldBytes(const ChannelField &field) {
  switch (field.kind) {
  case FieldKind::Chars:
  case FieldKind::Secret: return field.count;
  case FieldKind::Int32: return 4 * field.count;
  case FieldKind::Pointer:
  case FieldKind::Time: return 4;
  case FieldKind::EndMarker: return 0;
  }
  return 0;
}

void putInt32(std::string &out, size_t offset, int32_t value) {
  auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

int32_t getInt32(std::string_view in, size_t offset) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(in[offset + i])) << (8 * i);
  return static_cast<int32_t>(v);
}

// The six exit lists as the record carries them.
bool encodeExitLists(const ChannelDefinition &def, std::string &out) {
  for (const auto &list : def.exitLists) {
    for (const auto &entry : list) {
      std::string_view text = trimTrailingBlanks(entry);
      if (text.find(kEntryEnd) != std::string_view::npos || text.find(kListEnd) != std::string_view::npos) return false;
      out.append(text);
      out.push_back(kEntryEnd);
    }
    out.push_back(kListEnd);
  }
  return true;
}

bool decodeExitLists(std::string_view lists, ChannelDefinition &def) {
  size_t pos = 0;
  for (auto &list : def.exitLists) {
    list.clear();
    std::string entry;
    for (;;) {
      if (pos >= lists.size()) return false;
      char c = lists[pos++];
      if (c == kListEnd) break;
      if (c == kEntryEnd) {
        list.push_back(std::move(entry));
        entry.clear();
      } else {
        entry.push_back(c);
      }
    }
    if (!entry.empty()) return false;  // an entry without its terminator
  }
  return true;
}

// Lists of one entry made from the single MQCD fields (records below version 4).
void exitListsFromSingleFields(ChannelDefinition &def) {
  const std::string *singles[kExitListCount] = {&def.msgExit,      &def.msgUserData, &def.sendExit,
                                                &def.sendUserData, &def.receiveExit, &def.receiveUserData};
  for (int i = 0; i < kExitListCount; ++i) {
    std::string_view text = trimTrailingBlanks(*singles[i]);
    def.exitLists[i].clear();
    if (!text.empty()) def.exitLists[i].emplace_back(text);
  }
}

// Where the peer name starts: right after the lists, except that records below
// version 9 with (nearly) empty lists keep it on the next 8-byte boundary.
size_t peerNameOffset(int version, size_t fixedLength, size_t listsLength) {
  if (version < 9 && (listsLength == 6 || listsLength == 7)) return fixedLength + 8;
  return fixedLength + listsLength;
}

// A byte an unscrambled user id or password never holds: finding one means the
// scrambled bytes were damaged.
bool isSecretControlByte(unsigned char c) { return (c > 0 && c < 0x20) || c == 0x7F; }

}  // namespace

std::span<const ChannelField> channelFields() { return kChannelFields; }

int channelRecordFixedLength(int version) {
  if (version < kMinRecordVersion || version > kMaxRecordVersion) return 0;
  int length = 0;
  for (const auto &field : kChannelFields)
    if (field.fromVersion <= version) length += fieldBytes(field);
  return length;
}

int channelRecordStrucLength(int version) {
  int length = 0;
  for (const auto &field : kChannelFields) {
    if (field.kind == FieldKind::EndMarker) break;
    if (field.fromVersion <= version) length += fieldBytes(field);
  }
  return length;
}

int scrambleSecret(char *data, size_t length) {
  for (size_t i = 0; i < length; ++i)
    data[i] = static_cast<char>(static_cast<unsigned char>(data[i]) ^ static_cast<unsigned char>(0xA5 + 29 * i));
  return 0;
}

bool isRestorableSecret(std::string_view text) {
  for (char c : text)
    if (isSecretControlByte(static_cast<unsigned char>(c))) return false;
  return true;
}

int restoreSecret(char *data, size_t length) {
  scrambleSecret(data, length);  // the scrambling is its own inverse
  for (size_t i = 0; i < length; ++i) {
    if (isSecretControlByte(static_cast<unsigned char>(data[i]))) {
      scrambleSecret(data, length);  // leave the bytes as they were
      return kStoreDamaged;
    }
  }
  return 0;
}

int encodeChannelRecord(const ChannelDefinition &source, int version, int64_t alterTime, std::string &record,
                        std::string &message) {
  if (version < kMinRecordVersion || version > kMaxRecordVersion) {
    message = strFormat("AMQ8427: Sorry, this program does not support writing version %d channel records", version);
    return kErrGeneral;
  }
  ChannelDefinition def = source;
  def.version = version;
  def.alterTime = alterTime;
  def.shortConnectionName = def.connectionName.substr(0, 20);
  if (def.channelType == kChannelTypeClusterSender && trimTrailingBlanks(def.xmitqName).empty())
    def.xmitqName = "SYSTEM.CLUSTER.TRANSMIT.QUEUE";
  def.strucLength = channelRecordStrucLength(version);

  std::string lists;
  if (version >= 4) {
    if (!encodeExitLists(def, lists)) {
      message = "File exit format error";
      return kErrGeneral;
    }
    if (lists.size() > static_cast<size_t>(kMaxExitListsLength)) {
      message = "Exit lists too large";
      return kErrGeneral;
    }
    def.exitListsLen = static_cast<int32_t>(lists.size());
    def.msgExitsDefined = static_cast<int32_t>(def.exitLists[MsgExits].size());
    def.sendExitsDefined = static_cast<int32_t>(def.exitLists[SendExits].size());
    def.receiveExitsDefined = static_cast<int32_t>(def.exitLists[ReceiveExits].size());
  } else {
    // Only the first entry of each list fits in the single fields.
    for (int i = 0; i < kExitListCount; ++i) def.setExitList(static_cast<ExitList>(i), def.exitLists[i]);
  }
  bool carriesPeerName = version >= 7;
  def.sslPeerNameLength = carriesPeerName ? static_cast<int32_t>(def.sslPeerName.size()) : 0;
  bool scrambled = version >= 2 && !trimTrailingBlanks(def.userIdentifier).empty();
  def.encrypt = scrambled ? 1 : 0;

  const size_t fixedLength = static_cast<size_t>(channelRecordFixedLength(version));
  record.assign(fixedLength, '\0');
  size_t offset = 0;
  for (const auto &field : kChannelFields) {
    if (field.fromVersion > version) continue;
    switch (field.kind) {
    case FieldKind::Chars:
    case FieldKind::Secret: {
      const std::string &text = def.*field.text;
      size_t n = std::min(text.size(), static_cast<size_t>(field.count));
      record.replace(offset, field.count, std::string(field.count, ' '));
      record.replace(offset, n, text, 0, n);
      break;
    }
    case FieldKind::Int32: {
      int32_t *values = field.numbers(def);
      for (int i = 0; i < field.count; ++i) putInt32(record, offset + 4 * i, values[i]);
      break;
    }
    case FieldKind::Time: putInt32(record, offset, static_cast<int32_t>(static_cast<uint32_t>(def.alterTime))); break;
    case FieldKind::Pointer:
    case FieldKind::EndMarker: break;
    }
    offset += fieldBytes(field);
  }
  if (scrambled) {
    // Control characters would make the record read as damaged: it is not written.
    if (!isRestorableSecret(std::string_view(record).substr(kUserIdOffset, kSecretLength))) {
      message = "User id or password holds control characters, so the channel can not be written";
      return kErrGeneral;
    }
    scrambleSecret(record.data() + kUserIdOffset, kSecretLength);
  }
  if (version >= 4) {
    record += lists;
    if (carriesPeerName && !def.sslPeerName.empty()) {
      record.resize(peerNameOffset(version, fixedLength, lists.size()), '\0');
      record += def.sslPeerName;
    }
  }
  if (traceEnabled(kTraceRecords))
    traceWritef("DBG:%s %s%s Chan(%.20s) Ver(%d) Len(%d)   OutVer(%d) OutLen(%d) \n", "Writing", "64", "",
                def.channelName.c_str(), source.version, static_cast<int>(fixedLength), version,
                static_cast<int>(record.size()));
  if (traceEnabled(kTraceFields)) dumpChannelFields(def, version);
  return kOk;
}

int decodeChannelRecord(std::string_view record, std::string_view path, ChannelDefinition &out, std::string &message) {
  std::string file(path);
  if (record.size() < 24) {
    message = strFormat("File '%s' does not appear to be the correct format", file.c_str());
    return kErrFormat;
  }
  const int version = getInt32(record, 20);
  if (version < kMinRecordVersion || version > kMaxRecordVersion) {
    message = strFormat("AMQ8427: Sorry, this program does not support reading version %d channel records", version);
    return kErrGeneral;
  }
  const size_t fixedLength = static_cast<size_t>(channelRecordFixedLength(version));
  if (record.size() < fixedLength) {
    message = strFormat("File '%s' does not appear to be the correct format", file.c_str());
    return kErrFormat;
  }
  std::string fixed(record.substr(0, fixedLength));
  ChannelDefinition def;
  size_t offset = 0;
  for (const auto &field : kChannelFields) {
    if (field.fromVersion > version) continue;
    switch (field.kind) {
    case FieldKind::Chars:
    case FieldKind::Secret:
      def.*field.text = std::string(trimTrailingBlanks(std::string_view(fixed).substr(offset, field.count)));
      break;
    case FieldKind::Int32: {
      int32_t *values = field.numbers(def);
      for (int i = 0; i < field.count; ++i) values[i] = getInt32(fixed, offset + 4 * i);
      break;
    }
    case FieldKind::Time: def.alterTime = static_cast<uint32_t>(getInt32(fixed, offset)); break;
    case FieldKind::Pointer:
    case FieldKind::EndMarker: break;
    }
    offset += fieldBytes(field);
  }
  if (def.encrypt == 1 && version >= 2) {
    int rc = restoreSecret(fixed.data() + kUserIdOffset, kSecretLength);
    if (rc != 0) {
      message = strFormat("Failed to restore userid/password information RC(%d)", rc);
      return kErrGeneral;
    }
    std::string_view secret = std::string_view(fixed).substr(kUserIdOffset, kSecretLength);
    def.userIdentifier = std::string(trimTrailingBlanks(secret.substr(0, 12)));
    def.password = std::string(trimTrailingBlanks(secret.substr(12, 12)));
  }

  bool listsRead = false;
  size_t listsLength = 0;
  if (version >= 4 && def.exitListsLen > 0) {
    listsLength = static_cast<size_t>(def.exitListsLen);
    if (listsLength > record.size() - fixedLength || !decodeExitLists(record.substr(fixedLength, listsLength), def)) {
      message = strFormat("File '%s' does not appear to be the correct format", file.c_str());
      return kErrFormat;
    }
    listsRead = true;
  }
  if (!listsRead) exitListsFromSingleFields(def);
  if (version >= 7 && def.sslPeerNameLength != 0) {
    size_t start = peerNameOffset(version, fixedLength, listsLength);
    if (def.sslPeerNameLength < 0 || start > record.size() ||
        static_cast<size_t>(def.sslPeerNameLength) > record.size() - start) {
      message = strFormat("File '%s' does not appear to be the correct format", file.c_str());
      return kErrFormat;
    }
    def.sslPeerName = std::string(record.substr(start, def.sslPeerNameLength));
  }
  if (traceEnabled(kTraceRecords))
    traceWritef("DBG:%s %s%s Chan(%.20s) Ver(%d) Len(%d)   OutVer(%d) OutLen(%d) \n", "Reading", "64", "",
                def.channelName.c_str(), version, static_cast<int>(record.size()), kMaxRecordVersion,
                channelRecordFixedLength(kMaxRecordVersion));
  if (traceEnabled(kTraceFields)) dumpChannelFields(def, version);
  out = std::move(def);
  return kOk;
}

void dumpChannelFields(const ChannelDefinition &source, int version) {
  ChannelDefinition def = source;
  int offset = 0;
  for (const auto &field : kChannelFields) {
    if (field.fromVersion > version) continue;
    traceWritef("%4X %-25.25s ", offset, field.label);
    switch (field.kind) {
    case FieldKind::Chars: traceWritef("'%s'", (def.*field.text).c_str()); break;
    case FieldKind::Secret: traceWritef("'%s'", (def.*field.text).empty() ? "" : "********"); break;
    case FieldKind::Int32: {
      int32_t *values = field.numbers(def);
      for (int i = 0; i < field.count; ++i) traceWritef("%s%d", i ? "," : "", values[i]);
      break;
    }
    case FieldKind::Time: traceWritef("%lld", static_cast<long long>(def.alterTime)); break;
    case FieldKind::Pointer:
    case FieldKind::EndMarker: break;
    }
    traceWritef("\n");
    offset += fieldBytes(field);
  }
}

}  // namespace kvarn::ccdt
