#include "ccdt/json_fields.h"

#include "text/text.h"

namespace kvarn::ccdt::json {

namespace {

const Keyword kTypes[] = {{"clientConnection", kChannelTypeClientConnection}};
const Keyword kHeaderCompression[] = {{"none", 0}, {"system", 8}};
const Keyword kMessageCompression[] = {{"none", 0}, {"rle", 1}, {"zlibfast", 2}, {"zlibhigh", 4}};
const Keyword kAffinity[] = {{"none", 0}, {"preferred", 1}};
const Keyword kReconnect[] = {{"yes", 1}, {"no", 0}, {"queueManager", 2}, {"disabled", 3}};
const Keyword kKeepAlive[] = {{"auto", -1}};

int32_t *numbersOf(int32_t &value) { return &value; }
template <size_t N>
int32_t *numbersOf(std::array<int32_t, N> &values) {
  return values.data();
}

#define NUMBERS(member) [](ChannelDefinition &d) { return numbersOf(d.member); }

const Member kMembers[] = {
    {.path = ".name",
     .kind = MemberKind::Text,
     .parameter = 3501,
     .text = &ChannelDefinition::channelName,
     .maxLength = 20},
    {.path = ".type",
     .kind = MemberKind::Keyword,
     .parameter = 1511,
     .numbers = NUMBERS(channelType),
     .keywords = kTypes,
     .numbersAllowed = true},
    {.path = ".general", .kind = MemberKind::Container, .parameter = 0},
    {.path = ".general.description",
     .kind = MemberKind::Text,
     .parameter = 3502,
     .text = &ChannelDefinition::description,
     .maxLength = 64},
    {.path = ".general.maximumMessageLength",
     .kind = MemberKind::Number,
     .parameter = 1510,
     .numbers = NUMBERS(maxMsgLength)},
    {.path = ".clientConnection", .kind = MemberKind::Container, .parameter = 0},
    {.path = ".clientConnection.connection",
     .kind = MemberKind::ConnectionEntry,
     .parameter = 3506,
     .text = &ChannelDefinition::connectionName,
     .maxLength = 264},
    {.path = ".clientConnection.connection.host", .kind = MemberKind::Host, .parameter = 0},
    {.path = ".clientConnection.connection.port", .kind = MemberKind::Port, .parameter = 0},
    {.path = ".clientConnection.queueManager",
     .kind = MemberKind::Text,
     .parameter = 2015,
     .text = &ChannelDefinition::qmgrName,
     .maxLength = 48},
    {.path = ".compression", .kind = MemberKind::Container, .parameter = 0},
    {.path = ".compression.header",
     .kind = MemberKind::KeywordList,
     .parameter = 1575,
     .numbers = NUMBERS(hdrComp),
     .count = 2,
     .keywords = kHeaderCompression,
     .numbersAllowed = true},
    {.path = ".compression.message",
     .kind = MemberKind::KeywordList,
     .parameter = 1576,
     .numbers = NUMBERS(msgComp),
     .count = 16,
     .keywords = kMessageCompression,
     .numbersAllowed = true},
    {.path = ".connectionManagement", .kind = MemberKind::Container, .parameter = 0},
    {.path = ".connectionManagement.sharingConversations",
     .kind = MemberKind::Number,
     .parameter = 1615,
     .numbers = NUMBERS(sharingConversations)},
    {.path = ".connectionManagement.clientWeight",
     .kind = MemberKind::Number,
     .parameter = 1620,
     .numbers = NUMBERS(clientChannelWeight)},
    {.path = ".connectionManagement.affinity",
     .kind = MemberKind::Keyword,
     .parameter = 1621,
     .numbers = NUMBERS(connectionAffinity),
     .keywords = kAffinity,
     .numbersAllowed = true},
    {.path = ".connectionManagement.defaultReconnect",
     .kind = MemberKind::Keyword,
     .parameter = 1640,
     .numbers = NUMBERS(defReconnect),
     .keywords = kReconnect,
     .numbersAllowed = true},
    {.path = ".connectionManagement.disconnectInterval",
     .kind = MemberKind::Number,
     .parameter = 1503,
     .numbers = NUMBERS(discInterval)},
    {.path = ".connectionManagement.heartbeatInterval",
     .kind = MemberKind::Number,
     .parameter = 1563,
     .numbers = NUMBERS(heartbeatInterval)},
    {.path = ".connectionManagement.keepAliveInterval",
     .kind = MemberKind::Keyword,
     .parameter = 1566,
     .numbers = NUMBERS(keepAliveInterval),
     .keywords = kKeepAlive,
     .numbersAllowed = true},
    {.path = ".connectionManagement.localAddress",
     .kind = MemberKind::LocalAddress,
     .parameter = 3520,
     .text = &ChannelDefinition::localAddress,
     .maxLength = 48},
    {.path = ".connectionManagement.localAddress.host", .kind = MemberKind::Host, .parameter = 0},
    {.path = ".connectionManagement.localAddress.port", .kind = MemberKind::Port, .parameter = 0},
    {.path = ".connectionManagement.localAddress.portRange", .kind = MemberKind::Container, .parameter = 0},
    {.path = ".connectionManagement.localAddress.portRange.low", .kind = MemberKind::PortLow, .parameter = 0},
    {.path = ".connectionManagement.localAddress.portRange.high", .kind = MemberKind::PortHigh, .parameter = 0},
    {.path = ".exits", .kind = MemberKind::Container, .parameter = 0},
    {.path = ".exits.security", .kind = MemberKind::Container, .parameter = 3508},
    {.path = ".exits.security.name",
     .kind = MemberKind::Text,
     .parameter = 3508,
     .text = &ChannelDefinition::securityExit,
     .maxLength = 128},
    {.path = ".exits.security.userData",
     .kind = MemberKind::Text,
     .parameter = 3513,
     .text = &ChannelDefinition::securityUserData,
     .maxLength = 32},
    {.path = ".exits.send", .kind = MemberKind::ExitEntry, .parameter = 3510, .names = SendExits},
    {.path = ".exits.send.name", .kind = MemberKind::ExitName, .parameter = 3510, .names = SendExits},
    {.path = ".exits.send.userData", .kind = MemberKind::ExitData, .parameter = 3515, .names = SendExits},
    {.path = ".exits.receive", .kind = MemberKind::ExitEntry, .parameter = 3511, .names = ReceiveExits},
    {.path = ".exits.receive.name", .kind = MemberKind::ExitName, .parameter = 3511, .names = ReceiveExits},
    {.path = ".exits.receive.userData", .kind = MemberKind::ExitData, .parameter = 3516, .names = ReceiveExits},
    {.path = ".timestamps", .kind = MemberKind::Container, .parameter = 0},
    {.path = ".timestamps.altered", .kind = MemberKind::Altered, .parameter = 2028},
    {.path = ".transmissionSecurity", .kind = MemberKind::Container, .parameter = 0},
    {.path = ".transmissionSecurity.cipherSpecification",
     .kind = MemberKind::Text,
     .parameter = 3544,
     .text = &ChannelDefinition::sslCipherSpec,
     .maxLength = 32},
    {.path = ".transmissionSecurity.certificateLabel",
     .kind = MemberKind::Text,
     .parameter = 2121,
     .text = &ChannelDefinition::certificateLabel,
     .maxLength = 64},
    {.path = ".transmissionSecurity.certificatePeerName",
     .kind = MemberKind::Text,
     .parameter = 3545,
     .text = &ChannelDefinition::sslPeerName,
     .maxLength = 1024},
};

#undef NUMBERS

std::string_view lastName(std::string_view path) { return path.substr(path.find_last_of('.') + 1); }

// Members that only make sense inside their own object are found by full path only.
bool foundByLastName(const Member &member) {
  switch (member.kind) {
  case MemberKind::Host:
  case MemberKind::Port:
  case MemberKind::PortLow:
  case MemberKind::PortHigh:
  case MemberKind::ExitName:
  case MemberKind::ExitData: return false;
  default: return std::string_view(member.path).rfind(".exits.security.", 0) != 0;
  }
}

}  // namespace

std::span<const Member> members() { return kMembers; }

const Member *findMember(std::string_view path) {
  for (const auto &member : kMembers)
    if (scanEqualsNoCase(member.path, path)) return &member;
  return nullptr;
}

const Member *findMemberByLastName(std::string_view name) {
  for (const auto &member : kMembers)
    if (foundByLastName(member) && scanEqualsNoCase(lastName(member.path), name)) return &member;
  return nullptr;
}

const char *keywordOf(const Member &member, int32_t value) {
  for (const auto &keyword : member.keywords)
    if (keyword.value == value) return keyword.name;
  return nullptr;
}

}  // namespace kvarn::ccdt::json
