// One simulated queue manager: its objects, local queues and messages, connections
// and object handles, with the MQI operations on them. Every operation is safe to
// call from many threads; a single lock guards the state and waiting gets sleep on
// a condition of their queue.
//
// The command server (and anything else that administers the queue manager from
// inside the process) uses the administration part: object definitions as
// attribute maps, queue status with open counts, the connection and handle list,
// and service threads that stop with the queue manager.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/admission.h"
#include "engine/objects.h"
#include "engine/outcome.h"
#include "mqi/mqi.h"

namespace qmsim {

class Store;

using ConnId = uint64_t;

// Called now and then by a waiting get; returning true abandons the wait with 2009
// (a client whose connection dropped while it waited).
using CancelCheck = std::function<bool()>;

struct ConnectParams {
  std::string applName;
  std::string userId;
  std::string channel;   // empty for server bindings
  std::string connName;  // client address for client bindings
  // Client bindings: the user id the client asserted and the one its MQCSP named, as
  // the error log and authority events report them.
  std::string assertedUserId;
  std::string cspUserId;
};

struct HandleInfo {
  MQHOBJ hobj = MQHO_NONE;
  ObjectKind kind = ObjectKind::Queue;
  std::string objectName;  // the queue the handle resolved to
  MQLONG options = 0;
};

struct ConnectionInfo {
  ConnId id = 0;
  ConnectParams params;
  std::chrono::system_clock::time_point connectedAt;
  std::vector<HandleInfo> handles;
};

struct QueueStatus {
  long depth = 0;
  long openInput = 0;
  long openOutput = 0;
  long uncommitted = 0;
};

// Counts since the previous reset, as RESET QSTATS reports them.
struct QueueStats {
  long msgsIn = 0;
  long msgsOut = 0;
  long highDepth = 0;
  long secondsSinceReset = 0;
};

// Where a put must go when the object descriptor names another queue manager.
struct RouteRequest {
  std::string qmgr;
  std::string queue;
};

class QueueManager {
 public:
  // Opens the queue manager stored in dir, creating it with the default objects when
  // the directory holds none. An empty dir keeps everything in memory. Returns null
  // and sets error when stored data cannot be read; the files are left as they are.
  static std::shared_ptr<QueueManager> open(const std::string& name, const std::filesystem::path& dir,
                                            std::string& error);
  ~QueueManager();
  QueueManager(const QueueManager&) = delete;
  QueueManager& operator=(const QueueManager&) = delete;

  const std::string& name() const { return name_; }

  // --- MQI operations -------------------------------------------------------------
  // A client channel starting: its channel authentication records and connection
  // authentication, with verify as the user repository. Fills params with the user id
  // the connection runs under; refusals are written to the error log and raise events.
  // demandCredentials: the server has a user file, whose users alone may connect while
  // connection authentication is not in force.
  Outcome admitClient(const admission::ClientHello& hello, const admission::PasswordCheck& verify,
                      bool demandCredentials, ConnectParams& params);
  // With security on, a client connection needs CONNECT authority (2035 otherwise).
  Outcome connect(const ConnectParams& params, ConnId& conn);
  // Closes every handle (deleting temporary dynamic queues) and backs out the unit of work.
  void disconnect(ConnId conn);
  // On a failure with route set, the caller may open route->queue on route->qmgr instead.
  Outcome open(ConnId conn, MQOD& od, MQLONG options, MQHOBJ& hobj, std::optional<RouteRequest>* route = nullptr);
  Outcome close(ConnId conn, MQHOBJ hobj, MQLONG options);
  Outcome put(ConnId conn, MQHOBJ hobj, MQMD& md, MQPMO& pmo, std::string_view data);
  // With nonPersistentOnly, a persistent message first in line is left where it is and
  // the get answers 2033 (messages sent ahead to a client are never persistent).
  Outcome get(ConnId conn, MQHOBJ hobj, MQMD& md, MQGMO& gmo, MQLONG bufferLength, char* buffer, MQLONG& dataLength,
              const CancelCheck& cancelled = {}, bool nonPersistentOnly = false);
  Outcome inquire(ConnId conn, MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<MQLONG> intAttrs,
                  std::span<char> charAttrs);
  Outcome set(ConnId conn, MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<const MQLONG> intAttrs,
              std::span<const char> charAttrs);
  Outcome commit(ConnId conn);
  Outcome backout(ConnId conn);

  // --- administration ---------------------------------------------------------------
  ObjectDef qmgrObject() const;
  void alterQMgr(const Attributes& changes);
  std::vector<ObjectDef> objects(ObjectKind kind) const;
  // Those whose names match an MQSC name: exact, or generic with a trailing '*'.
  std::vector<ObjectDef> objects(ObjectKind kind, const std::string& pattern) const;
  std::optional<ObjectDef> object(ObjectKind kind, const std::string& name) const;
  // Fails with MQRC_OBJECT_ALREADY_EXISTS unless replace is set.
  Outcome define(ObjectDef def, bool replace);
  Outcome alter(ObjectKind kind, const std::string& name, const Attributes& changes);
  // Fails with MQRC_OBJECT_IN_USE for an open queue, MQRC_Q_NOT_EMPTY unless purge.
  // The authority records of the object's own name go with it.
  Outcome remove(ObjectKind kind, const std::string& name, bool purge);
  // Puts CONNAUTH and its authentication information into force (REFRESH SECURITY
  // does, and a start): MQRC_UNKNOWN_OBJECT_NAME or MQRC_OBJECT_TYPE_ERROR when
  // CONNAUTH names no user id and password authentication information.
  Outcome refreshConnAuth();
  std::optional<QueueStatus> queueStatus(const std::string& name) const;
  Outcome clearQueue(const std::string& name);
  // Removes the expired messages of the local queues whose names match (exact, or
  // generic with a trailing '*'), as REFRESH QMGR TYPE(EXPIRY) does.
  void discardExpiredMessages(const std::string& pattern);
  // Returns the local queue's statistics and starts them again; empty when no such queue.
  std::optional<QueueStats> resetQueueStats(const std::string& name);
  std::vector<ConnectionInfo> connections() const;
  // A thread that runs until the queue manager stops; its stop_token is signalled first.
  void startService(std::function<void(std::stop_token)> body);

  // --- life cycle ---------------------------------------------------------------------
  // Quiescing: calls with a fail-if-quiescing option and new connections get 2161.
  void quiesce();
  // Stopping: waiting gets end with 2162, later calls fail with 2162, services are joined.
  void stop();
  bool stopping() const;
  // The first storage error seen since start, or empty.
  std::string storageError() const;
  // The error log's recent entries ("AMQ5534E: User ID 'bob' authentication failed").
  std::vector<std::string> recentErrors() const;

 private:
  struct Impl;
  QueueManager(std::string name, std::unique_ptr<Store> store);
  std::string name_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qmsim
