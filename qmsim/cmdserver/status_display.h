// MQSC commands about run-time state rather than definitions: the status displays,
// START and STOP of channels, listeners and services, and channel authentication
// records (SET and DISPLAY CHLAUTH).
#pragma once

#include <optional>
#include <string>

#include "cmdserver/mqsc_exec.h"
#include "cmdserver/mqsc_parser.h"

namespace qmsim::cmdserver {

// The answer when cmd is a status display (QSTATUS, CHSTATUS ...), otherwise empty.
std::optional<MqscResponse> displayStatus(ExecContext& ctx, const MqscCommand& cmd);
MqscResponse displayChlauth(ExecContext& ctx, const MqscCommand& cmd);
MqscResponse setChlauth(ExecContext& ctx, const MqscCommand& cmd);
MqscResponse startStop(ExecContext& ctx, const MqscCommand& cmd, const std::string& verb);
// RESET, RESOLVE and PING of a channel.
MqscResponse channelAction(ExecContext& ctx, const MqscCommand& cmd, const std::string& verb);
// SUSPEND and RESUME QMGR CLUSTER.
MqscResponse suspendResume(ExecContext& ctx, const MqscCommand& cmd, const std::string& verb);
// Whether a channel's connection name answers a TCP connection.
bool reachable(const std::string& conname);

// The channel authentication records a new queue manager has, as IBM creates them.
void ensureDefaultChlauth(QueueManager& qm);

}  // namespace qmsim::cmdserver
