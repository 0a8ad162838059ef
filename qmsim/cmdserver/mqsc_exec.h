// Runs MQSC commands against a simulated queue manager, as IBM's command server
// does for an escape request: checks the syntax, acts, and answers with messages
// and detail records (see response.h).
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "cmdserver/response.h"
#include "engine/queue_manager.h"

namespace qmsim::cmdserver {

// Run-time state the command server keeps beside the definitions: what START and
// STOP changed, and the event product's objects when it is hosted.
struct RuntimeState {
  struct Running {
    std::string status;  // RUNNING, STOPPED ...
    std::chrono::system_clock::time_point since;
  };
  std::mutex mu;
  std::map<std::string, Running> channels;
  std::map<std::string, Running> listeners;
  std::map<std::string, Running> services;
  std::set<std::string> deniedUsers;  // user ids whose commands get AMQ8135
  std::chrono::system_clock::time_point started = std::chrono::system_clock::now();
  // The event product TOLK: its event queues, and emitters and streams by name.
  std::set<std::string> tolkQueues;
  std::map<std::string, std::map<std::string, std::string>> tolkEmitters, tolkStreams;
  bool tolkRunning = true;
};

struct ExecContext {
  QueueManager& qm;
  RuntimeState& state;
  std::string userId;  // from the request's message descriptor
  bool zos = false;
};

MqscResponse executeMqsc(ExecContext& ctx, const std::string& text);

// The TOLK vocabulary, answered when the request came to TOLK's command queue.
MqscResponse executeTolk(ExecContext& ctx, const std::string& text);

// Platform of a queue manager from its stored PLATFORM attribute.
bool isZos(const QueueManager& qm);

// Date and time as MQSC shows them: yyyy-mm-dd and hh.mm.ss, local time.
std::string mqscDate(std::chrono::system_clock::time_point t);
std::string mqscTime(std::chrono::system_clock::time_point t);

}  // namespace qmsim::cmdserver
