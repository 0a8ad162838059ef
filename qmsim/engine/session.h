// One MQI connection inside the process that hosts its queue manager: the object
// handles it holds, including handles on other hosted queue managers that a put was
// routed to (an object descriptor or remote queue naming another queue manager).
// Both the in-process library and the qmsim server serve MQI calls through it.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "engine/queue_manager.h"
#include "engine/registry.h"

namespace qmsim {

class Session {
 public:
  static Outcome connect(Registry& registry, std::shared_ptr<QueueManager> qm, const ConnectParams& params,
                         std::unique_ptr<Session>& session);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const std::string& qmgrName() const { return home_->name(); }
  Outcome open(MQOD& od, MQLONG options, MQHOBJ& hobj);
  Outcome close(MQHOBJ& hobj, MQLONG options);
  Outcome put(MQHOBJ hobj, MQMD& md, MQPMO& pmo, std::string_view data);
  Outcome put1(MQOD& od, MQMD& md, MQPMO& pmo, std::string_view data);
  Outcome get(MQHOBJ hobj, MQMD& md, MQGMO& gmo, MQLONG bufferLength, char* buffer, MQLONG& dataLength,
              const CancelCheck& cancelled = {}, bool nonPersistentOnly = false);
  Outcome inquire(MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<MQLONG> intAttrs,
                  std::span<char> charAttrs);
  Outcome set(MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<const MQLONG> intAttrs,
              std::span<const char> charAttrs);
  Outcome commit();
  Outcome backout();
  void disconnect();

 private:
  struct Target {
    std::shared_ptr<QueueManager> qm;
    ConnId conn;
    MQHOBJ hobj;
  };
  Session(Registry& registry, std::shared_ptr<QueueManager> home, ConnId conn, ConnectParams params);
  bool lookup(MQHOBJ hobj, Target& target) const;
  Outcome connectionTo(const std::shared_ptr<QueueManager>& qm, ConnId& conn);

  Registry& registry_;
  std::shared_ptr<QueueManager> home_;
  ConnId homeConn_;
  ConnectParams params_;
  mutable std::mutex mu_;
  std::map<std::string, std::pair<std::shared_ptr<QueueManager>, ConnId>> routed_;
  std::map<MQHOBJ, Target> handles_;
  MQHOBJ nextHobj_ = 1;
  bool disconnected_ = false;
};

}  // namespace qmsim
