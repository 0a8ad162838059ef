// Reply-queue names and the message identifier of a request, which the command
// server copies into the CorrelId of every response.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "mqi/mqi.h"

// Fills a 48-byte DynamicQName from `pattern`; an empty pattern means
// $KVARN_REPLY_PREFIX, or "KVARN.%U.*". %U is the login name in upper case, %u as is,
// %x any other character x; a % at the end ends the pattern.
void expandReplyPrefix(std::string_view pattern, MQCHAR48 &dynamicQName);
// The login name, read once per run ("Unknown" when the system cannot tell).
const std::string &loginName();

struct RequestId {
  uint32_t runStamp = 0;
  uint32_t sequence = 0;
  uint64_t context = 0;
  uint16_t handler = 0;
};

inline constexpr int kHandlerSlots = 9;

void encodeRequestId(const RequestId &id, MQBYTE24 &msgId);
RequestId decodeRequestId(const MQBYTE24 &correlId);
// True when the CorrelId begins with this run's stamp.
bool isOwnReply(const MQBYTE24 &correlId, uint32_t runStamp);
