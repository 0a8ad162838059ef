// Where a channel table lives, from the name the user gave, the environment
// (MQCHLLIB, MQCHLTAB, MQSERVER) and the platform default directory.
#pragma once

#include <string>
#include <string_view>

#include "ccdt/channel.h"

namespace kvarn::ccdt {

inline constexpr const char *kDefaultTableDirectory = "/var/mqm";
inline constexpr const char *kDefaultBinaryTableName = "AMQCLCHL.TAB";
inline constexpr const char *kDefaultJsonTableName = "amqclchl";
inline constexpr size_t kMaxTablePath = 256;

// The path of a binary table. A name beginning with "!" while MQSERVER is set
// names no file: `useMqserver` is set and the channel comes from MQSERVER.
// Returns 0, or 10001 "Channel File name too large".
int locateBinaryTable(std::string_view name, std::string &path, bool &useMqserver, std::string &message);

// The path of a JSON table (".json" added unless the name holds it).
int locateJsonTable(std::string_view name, std::string &path, std::string &message);

// The single client-connection channel described by MQSERVER
// (channel/transport/connection name, and for LU62 /mode/tp). Returns 0, 10006
// for a malformed value or unknown transport, 10008 when MQSERVER is not set.
int channelFromMqserver(ChannelDefinition &def, std::string &message);
int parseMqserver(std::string_view value, ChannelDefinition &def, std::string &message);

}  // namespace kvarn::ccdt
