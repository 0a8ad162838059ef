// Client channels from a binary client channel definition table (AMQCLCHL.TAB),
// read through KVARN's own table reader. Only the client library links this.
#pragma once

#include <string>
#include <vector>

#include "lib/backend.h"
#include "net/ccdt_json.h"

namespace qmsim {

// A binary table starts with this eye-catcher; JSON tables start with '{'.
inline constexpr char kBinaryCcdtMagic[] = "AMQR";

// No real channel table comes near this size; anything larger is refused unread.
inline constexpr size_t kMaxCcdtBytes = 16u * 1024 * 1024;

bool looksLikeBinaryCcdt(const std::string& content);

// The TCP client-connection channels of the table at `path`, in table order.
// A table that cannot be read, or holds a damaged channel record, gives
// MQRC_CHANNEL_CONFIG_ERROR; one that is missing gives MQRC_CCDT_URL_ERROR.
Outcome readBinaryCcdt(const std::string& path, std::vector<CcdtChannel>& channels);

}  // namespace qmsim
