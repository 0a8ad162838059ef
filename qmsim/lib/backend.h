// What an MQI connection handle stands for inside the qmsim libraries: either a
// session in this process or a session in a qmsim server reached over a socket.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "engine/outcome.h"
#include "engine/queue_manager.h"
#include "mqi/mqi.h"

namespace qmsim {

class Backend {
 public:
  virtual ~Backend() = default;
  virtual Outcome open(MQOD& od, MQLONG options, MQHOBJ& hobj) = 0;
  virtual Outcome close(MQHOBJ& hobj, MQLONG options) = 0;
  virtual Outcome put(MQHOBJ hobj, MQMD& md, MQPMO& pmo, std::string_view data) = 0;
  virtual Outcome put1(MQOD& od, MQMD& md, MQPMO& pmo, std::string_view data) = 0;
  virtual Outcome get(MQHOBJ hobj, MQMD& md, MQGMO& gmo, MQLONG bufferLength, char* buffer, MQLONG& dataLength) = 0;
  virtual Outcome inquire(MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<MQLONG> intAttrs,
                          std::span<char> charAttrs) = 0;
  virtual Outcome set(MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<const MQLONG> intAttrs,
                      std::span<const char> charAttrs) = 0;
  virtual Outcome commit() = 0;
  virtual Outcome backout() = 0;
  virtual Outcome disconnect() = 0;
};

// What MQCONNX was given, already checked and copied out of the caller's structures.
struct ConnectRequest {
  std::string qmgrName;  // blank-trimmed; empty means the default
  const MQCNO* cno = nullptr;
  std::string userId;    // from MQCSP, if any
  std::string password;  // from MQCSP, if any
  bool credentials = false;
};

// Implemented once per library: server bindings or client bindings.
Outcome connectBackend(const ConnectRequest& request, std::unique_ptr<Backend>& backend);

// Server bindings to a named queue manager: in this process, or through the local
// socket of the qmsim server that hosts it, or hosted here on first use.
Outcome connectServerBindings(const std::string& name, const ConnectParams& params, std::unique_ptr<Backend>& backend);

// A backend on a session in this process.
std::unique_ptr<Backend> makeLocalBackend(std::unique_ptr<class Session> session);

// The program name and user as MQ records them in a message's context.
std::string currentApplName();
std::string currentUserId();

}  // namespace qmsim
