// MQSC commands of a Linux queue manager that act on its run-time rather than its
// definitions: the channel initiator, connections, the queue manager's refresh and
// reset, the log, clusters, application and authority-service status, retained
// publications, and the commands of components a plain installation lacks (telemetry
// channels, Advanced Message Security policies). Each is a row of a table: its
// keywords and their values are checked as IBM's command server checks them.
#pragma once

#include <optional>

#include "cmdserver/mqsc_exec.h"
#include "cmdserver/mqsc_parser.h"

namespace qmsim::cmdserver {

// The answer when cmd is one of these commands (verb already in its long form).
std::optional<MqscResponse> runAdminCommand(ExecContext& ctx, const std::string& verb, const MqscCommand& cmd);

}  // namespace qmsim::cmdserver
