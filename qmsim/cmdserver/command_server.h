// The command server of a simulated queue manager. It reads SYSTEM.ADMIN.COMMAND.QUEUE
// (and, when the queue manager hosts the event product, VIRKO.TOLK.COMMAND.QUEUE)
// and answers each request on its ReplyToQ, with the request's MsgId as CorrelId, as
// IBM's command server does: PCF escape requests and inquiries on distributed queue
// managers, plain-text MQSC on z/OS.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cmdserver/mqsc_exec.h"
#include "engine/queue_manager.h"
#include "engine/registry.h"

namespace qmsim::cmdserver {

constexpr const char* kCommandQueue = "SYSTEM.ADMIN.COMMAND.QUEUE";
constexpr const char* kTolkCommandQueue = "VIRKO.TOLK.COMMAND.QUEUE";

struct Reply {
  MQMD md;
  std::string data;
};

// Answers one request message; the replies are in the order they are to be put.
// Never throws and never fails on bad input: malformed requests get IBM's error replies.
std::vector<Reply> handleRequest(QueueManager& qm, RuntimeState& state, const MQMD& request, std::string_view body,
                                 bool toTolk);

// Starts the command server of qm as one of its services (it ends when qm stops).
// Calling it again for the same queue manager does nothing.
void attach(const std::shared_ptr<QueueManager>& qm);
// STOP and START of a running command server: stopping closes the command queue,
// so requests wait there unanswered until it starts again.
bool setRunning(const std::string& qmgrName, bool running);
bool isRunning(const std::string& qmgrName);
// The run-time state kept for qm (channel status and the rest).
RuntimeState& runtimeStateFor(QueueManager& qm);

// Makes every queue manager the registry hosts from now on get a command server.
void installIn(Registry& registry);

}  // namespace qmsim::cmdserver
