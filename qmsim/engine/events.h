// Instrumentation events as IBM MQ puts them on SYSTEM.ADMIN.QMGR.EVENT and
// SYSTEM.ADMIN.CHANNEL.EVENT: a PCF message (MQCFH of type MQCFT_EVENT, completion
// code MQCC_WARNING) whose parameters describe what happened. Names are blank-padded
// to their MQ lengths, as the queue manager writes them.
#pragma once

#include <string>

#include "mqi/mqi.h"

namespace qmsim::events {

// Who a refused connection or open was: the context an authority event reports.
struct Requester {
  std::string userId;
  std::string applName;
  std::string channel;  // empty for server bindings
  std::string connName;
  std::string cspUserId;  // the MQCSP's user id, when one was given
};

// Not Authorized (type 1): an MQCONN refused; qualifier MQRQ_CONN_NOT_AUTHORIZED, or
// MQRQ_CSP_NOT_AUTHORIZED when the user id and password were the reason.
std::string connectNotAuthorized(const std::string& qmgr, MQLONG qualifier, const Requester& who);
// Not Authorized (type 2): an MQOPEN refused. An empty queue name means the queue manager object.
std::string openNotAuthorized(const std::string& qmgr, MQLONG options, const Requester& who, const std::string& queue);
// Channel Blocked: reason MQRC_CHANNEL_BLOCKED, or MQRC_CHANNEL_BLOCKED_WARNING for a
// record with WARN(YES). The channel name is not known when the address was blocked.
std::string channelBlocked(const std::string& qmgr, MQLONG reason, MQLONG qualifier, const std::string& channel,
                           const std::string& userId, const std::string& connName);

}  // namespace qmsim::events
