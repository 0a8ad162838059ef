// Room ccdt: binary and JSON client channel definition tables. May include: ccdt/,
// runtime/.
//
// The in-memory client channel definition shared by the binary and JSON tables.
//
// Character fields hold their text without the blank padding of the file; every
// other byte (including NULs) is kept, so a record read and written again is
// unchanged. Exit lists and the SSL peer name, which follow the fixed part of a
// version 4 or later record, are held as proper lists and a string.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvarn::ccdt {

inline constexpr int kMinRecordVersion = 1;
inline constexpr int kMaxRecordVersion = 12;
inline constexpr int kKeyLength = 20;

// The six trailing exit lists, in file order.
enum ExitList : int { MsgExits = 0, MsgData, SendExits, SendData, ReceiveExits, ReceiveData, kExitListCount };

// A few IBM MQ values the tables rely on.
inline constexpr int32_t kChannelTypeClientConnection = 6;  // MQCHT_CLNTCONN
inline constexpr int32_t kChannelTypeClusterSender = 9;     // MQCHT_CLUSSDR
inline constexpr int32_t kTransportLu62 = 1;
inline constexpr int32_t kTransportTcp = 2;
inline constexpr int32_t kTransportNetbios = 3;
inline constexpr int32_t kTransportSpx = 4;

struct ChannelDefinition {
  std::string channelName;
  int32_t version = kMaxRecordVersion;
  int32_t channelType = kChannelTypeClientConnection;
  int32_t transportType = kTransportTcp;
  std::string description;
  std::string qmgrName;
  std::string xmitqName;
  std::string shortConnectionName;
  std::string mcaName;
  std::string modeName;
  std::string tpName;
  int32_t batchSize = 50;
  int32_t discInterval = 6000;
  int32_t shortRetryCount = 10;
  int32_t shortRetryInterval = 60;
  int32_t longRetryCount = 999999999;
  int32_t longRetryInterval = 1200;
  std::string securityExit;
  std::string msgExit;
  std::string sendExit;
  std::string receiveExit;
  int32_t seqNumberWrap = 999999999;
  int32_t maxMsgLength = 4194304;
  int32_t putAuthority = 1;
  int32_t dataConversion = 0;
  std::string securityUserData;
  std::string msgUserData;
  std::string sendUserData;
  std::string receiveUserData;
  std::string userIdentifier;
  std::string password;
  std::string mcaUserIdentifier;
  int32_t mcaType = 1;
  std::string connectionName;
  std::string remoteUserIdentifier;
  std::string remotePassword;
  std::string msgRetryExit;
  std::string msgRetryUserData;
  int32_t msgRetryCount = 10;
  int32_t msgRetryInterval = 1000;
  int32_t heartbeatInterval = 1;
  int32_t batchInterval = 0;
  int32_t nonPersistentMsgSpeed = 2;
  int32_t strucLength = 0;  // set when written
  int32_t exitNameLength = 128;
  int32_t exitDataLength = 32;
  int32_t msgExitsDefined = 0;
  int32_t sendExitsDefined = 0;
  int32_t receiveExitsDefined = 0;
  int32_t clustersDefined = 0;
  int32_t networkPriority = 0;
  int32_t longMcaUserIdLength = 0;
  int32_t longRemoteUserIdLength = 0;
  std::string mcaSecurityId;
  std::string remoteSecurityId;
  std::string sslCipherSpec;
  int32_t sslPeerNameLength = 0;  // set when written
  int32_t sslClientAuth = 0;
  int32_t keepAliveInterval = -1;
  std::string localAddress;
  int32_t batchHeartbeat = 0;
  std::array<int32_t, 2> hdrComp{-1, -1};
  std::array<int32_t, 16> msgComp{-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  int32_t clwlChannelRank = 0;
  int32_t clwlChannelPriority = 0;
  int32_t clwlChannelWeight = 50;
  int32_t channelMonitoring = 0;
  int32_t channelStatistics = 0;
  int32_t sharingConversations = 10;
  int32_t propertyControl = 0;
  int32_t maxInstances = 999999999;
  int32_t maxInstancesPerClient = 999999999;
  int32_t clientChannelWeight = 0;
  int32_t connectionAffinity = 1;
  int32_t batchDataLimit = 5000;
  int32_t useDlq = 2;
  int32_t defReconnect = 0;
  std::string certificateLabel;
  int32_t splProtection = 0;
  // Fields of the file record that follow the MQCD part.
  int32_t newSequenceNumber = 0;
  int32_t encrypt = 0;
  int32_t exitListsLen = 0;  // set when written
  int32_t flags = 0;
  std::string cluster;
  int64_t alterTime = 0;  // seconds since 1970, UTC
  std::string longMcaUser;

  std::array<std::vector<std::string>, kExitListCount> exitLists;
  std::string sslPeerName;

  // Replaces one exit list and keeps the single MQCD field of that list (the
  // first entry, as a version 1 to 3 record holds it) in step.
  void setExitList(ExitList which, std::vector<std::string> entries);

  bool operator==(const ChannelDefinition &) const = default;
};

// A client-connection channel with the defaults a new definition starts from.
ChannelDefinition clientConnectionDefaults();

// The 20-byte blank-padded key of a channel name (longer names are cut).
std::string channelKey(std::string_view name);

// Text without its trailing blanks.
std::string_view trimTrailingBlanks(std::string_view text);

}  // namespace kvarn::ccdt
