// The PCF commands qmsim's command server answers besides the escape: the queue
// manager inquiry (command level and platform), queue inquiry, clear and reset of
// queue statistics, and the object inquiries that return names.
#pragma once

#include <string>
#include <vector>

#include "cmdserver/mqsc_exec.h"
#include "cmdserver/pcf.h"

namespace qmsim::cmdserver {

// The response messages for a parsed request, in order, the last with MQCFC_LAST.
std::vector<std::string> answerPcf(ExecContext& ctx, const PcfRequest& req);
// A lone error response to a request whose header could be read (or a default one).
std::string pcfError(const MQCFH& request, MQLONG reason, MQLONG parameter = 0);

// The event product's PCF: its command-level inquiry and its escape requests.
constexpr MQLONG kTolkDisplayEv = 9000;
constexpr MQLONG kTolkEvAttrs = 39100;
constexpr MQLONG kTolkCommandLevel = 39304;
constexpr MQLONG kTolkResponseDelimiter = 40000;
constexpr MQLONG kTolkMultiRecord = 0x10000;
std::vector<std::string> answerTolk(ExecContext& ctx, const PcfRequest& req);

}  // namespace qmsim::cmdserver
