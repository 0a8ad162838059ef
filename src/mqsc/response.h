// Decoding the replies routed to the MQSC side by the transport's handler table. Every
// handler takes the reply's MQMD, its bytes and length (the transport NUL-terminates
// the data beyond `length`, but no handler relies on it) and returns true when this
// reply was the last of its request. Short or malformed replies are reported, never
// read beyond `length`.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "mqi/mqi.h"
#include "mqsc/command_record.h"
#include "mqsc/request.h"

struct ProgramContext;

// Handler 1: replies to an MQSC command (PCF escape responses, TOLK multi-record
// messages, RESET QSTATS, z/OS MQCMD1/MQCMD2 text). Completes the record at the last
// reply (and returns true).
bool handleMqscResponse(ProgramContext &ctx, CommandRecord &record, const MqscTarget &target, const MQMD &md,
                        const uint8_t *data, size_t length);

// Adds NUL-separated MQSC response text to a command record: records, headers, filters.
// Also used by the CCDT displays.
void addResponseText(ProgramContext &ctx, CommandRecord &record, const MqscTarget &target, const char *text,
                     size_t length);

// Handler 3: the queue manager's command level and platform.
struct QmgrLevelReply {
  int32_t commandLevel = 0;
  int32_t platform = 0;
  int32_t agentLevel = 0;
  int32_t agentFeatures = 0;
  int32_t reason = 0;   // the header reason of the last reply (2071 for a short reply)
  bool failed = false;  // CompCode 2, or a short reply
};
bool handleQmgrLevelReply(ProgramContext &ctx, QmgrLevelReply &result, const MQMD &md, const uint8_t *data,
                          size_t length);

// Handler 4: TOLK's command level.
struct TolkLevelReply {
  int32_t commandLevel = 0;
  int32_t reason = 0;
  bool failed = false;
};
bool handleTolkLevelReply(ProgramContext &ctx, TolkLevelReply &result, const MQMD &md, const uint8_t *data,
                          size_t length);

// Handlers 6 and 7: =clear and qdepth. The waiting local command reads the result.
struct QueueCommandReply {
  int32_t reason = -1;  // the header reason; -1 until a reply arrived
  int32_t depth = -1;   // MQIA_CURRENT_Q_DEPTH (qdepth only)
};
bool handleClearQueueReply(ProgramContext &ctx, QueueCommandReply &result, const MQMD &md, const uint8_t *data,
                           size_t length);
bool handleQueueDepthReply(ProgramContext &ctx, QueueCommandReply &result, const MQMD &md, const uint8_t *data,
                           size_t length);

// Handler 2: a connection's cache of one kind of object names.
struct NameCache {
  const NameListDef *descriptor = nullptr;
  uint32_t requestSeq = 0;  // the sequence number of the last request whose replies are entered
  std::time_t filled = 0;   // when the cache was (re)filled
  std::vector<std::string> names;
};
// `sequence` is the request's sequence number (from the reply's CorrelId).
bool handleNameCacheReply(ProgramContext &ctx, NameCache &cache, uint32_t sequence, const MQMD &md, const uint8_t *data,
                          size_t length);

// Handler 5 (the namelist =ADD/=RMV round trip) is driven through MqscExchange by
// prepareMqscCommand; see request.h.
