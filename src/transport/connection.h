// Room transport: MQ library loading, connections and the command exchange. May
// include: transport/, mqsc/, context/, runtime/, mqi/.
//
// Queue-manager connections and the transport's share of the ProgramContext: the
// connection template that =conn fills, the connection list, the sequence counters
// of the command exchange and the remembered credentials.
#pragma once
#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mqi/mqi.h"
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>

#include "context/context.h"
#include "context/output.h"
#include "mqsc/command_record.h"
#include "mqsc/response.h"
#include "mqsc/vocab.h"
#include "transport/event.h"

struct ProgramContext;
struct MqEntryTable;

inline constexpr MQHCONN kNoHconn = -1;
inline constexpr MQHOBJ kNoHobj = -1;

struct Connection {
  ProgramContext *owner = nullptr;
  std::string viaQmgr;        // connect here when the target cannot be reached directly
  std::string connectedQmgr;  // as MQINQ reports it, cut at the first blank
  std::string targetQmgr;     // qm(...)
  std::string adminQmgr;      // targetQmgr, or connectedQmgr when that is empty
  std::string replyModelQueue = "SYSTEM.DEFAULT.MODEL.QUEUE";
  std::string replyPrefix;
  std::string replyQueue;
  std::string commandQueue = "SYSTEM.ADMIN.COMMAND.QUEUE";
  bool clientBinding = false;
  bool useChannelDef = false;
  MQCD channelDef = defaultChannelDef();
  std::string ccdtUrl;
  std::string userId, passwordOption, password;
  bool hasUserId = false, hasPasswordOption = false;
  bool forgetCredentials = false;
  std::string ldapUserId, ldapPassword, crlConnName, keyRepository;
  int waitSeconds = 120;
  MqEntryTable *entryTable = nullptr;
  std::atomic<int> commandLevel{-1};  // -1 not asked, 0 inquiry outstanding
  int tolkCommandLevel = 0;
  int agentLevel = 0, agentFeatures = 0;
  int platform = -1;
  CapabilityFlags capabilities;

  std::atomic<bool> readerRunning{false};
  std::atomic<bool> workerAlive{false};
  std::thread reader, worker;
  std::atomic<int> workerTid{0}, readerTid{0};  // the threads' system ids, for =show conns
  AutoResetEvent requestEvent, responseEvent;
  AutoResetEvent readerEnded;  // set by the reader as it ends
  MQHCONN replyHconn = kNoHconn;
  MQHOBJ replyInputHobj = kNoHobj;
  std::atomic<bool> closing{false};
  std::atomic<bool> disconnectPending{false};
  std::string commandText;  // the command handed over
  bool handedMqsc = false;  // it is MQSC (else a connection command)
  IssueSource issueSource = IssueFromUser;
  uint32_t handedSeq = 0;  // the last command handed to this connection's worker
  // The last command the worker took, and the last it finished with (an MQSC command:
  // put, its answer still to come). Each connection counts its own, so that the members
  // of a fleet run their commands side by side.
  std::atomic<uint32_t> takenSeq{0}, doneSeq{0};
  // A fleet member: its connect messages are kept in memberLines (not shown as they
  // come) and it stays listed while its fleet lasts, connected or not.
  bool fleetMember = false;
  CapturedMessages memberLines;
  MQHCONN commandHconn = kNoHconn;
  MQHOBJ commandQueueHobj = kNoHobj, tolkQueueHobj = kNoHobj, replyOutputHobj = kNoHobj;
  std::vector<char> replyBuffer;
  std::vector<NameCache> nameCaches;

  // A reply the worker waits for while the reader routes it: the namelist round trip
  // and the queue commands.
  std::mutex pendingMutex;
  std::condition_variable pendingDone;
  std::function<bool(const MQMD &, const uint8_t *, size_t)> pendingReply;
  bool pendingComplete = false;

  bool connected() const { return commandHconn != kNoHconn && !closing; }
  bool ended() const { return !workerAlive && !readerRunning; }

  static MQCD defaultChannelDef();
  // Copies the settings of =conn (not the handles, threads or events).
  void copySettingsFrom(const Connection &other);
  // Back to the template defaults; waitSeconds follows the mode.
  void reset(bool fileMode);
};

// A fleet (fleet.h): its members, each with a connection of its own.
struct FleetMember {
  std::string name;            // the queue manager as named
  Connection *conn = nullptr;  // listed among the transport's connections while the fleet lasts
  std::string failure;         // why it could not be connected ("" when it was)
  int reason = 0;              //   and the reason code
};

struct Fleet {
  std::vector<FleetMember> members;
  // Commands that delete, clear or stop go to the members without being confirmed.
  bool unconfirmedDestructive = false;
};

struct SavedCredential {
  std::string targetQmgr, userId, password;
};

struct TransportState : ContextPart {
  Connection connectionTemplate;
  std::list<std::unique_ptr<Connection>> connections;  // newest first
  Connection *current = &connectionTemplate;
  // Current while commands edit a channel table: never connected, so nothing reaches a
  // queue manager. The connection it stood in for comes back when the mode ends.
  Connection tableTemplate;
  Connection *beforeTable = nullptr;

  // Request counters, compared as command sequence numbers.
  std::atomic<uint32_t> issuedSeq{0}, submittedSeq{0}, processedSeq{0}, putSeq{0}, answeredSeq{0}, releasedSeq{0},
      completedSeq{0}, responseCount{0};
  uint32_t runStamp = 0;
  std::atomic<bool> tolkMode{false};
  std::string tolkCommandQueue = "VIRKO.TOLK.COMMAND.QUEUE";
  std::atomic<int> lastReason{0};
  std::string lastErrorText;
  int64_t commandStartMs = 0;
  bool waiting = false;
  std::vector<SavedCredential> savedCredentials;  // newest first

  // The fleet: the members commands go to while it is the destination (fleetCurrent),
  // and the event a member's worker or reader sets when one of its commands moves on.
  std::unique_ptr<Fleet> fleet;
  bool fleetCurrent = false;
  bool fleetBeforeTable = false;  // the fleet was the destination when CCDT mode began
  AutoResetEvent fleetProgress;

  // Records of the MQSC commands in flight, by sequence number.
  std::mutex recordsMutex;
  std::map<uint32_t, std::shared_ptr<CommandRecord>> records;
  // The reply to the last =clear or qdepth, and the count item of qempty.
  QueueCommandReply queueReply;
  int32_t emptiedCount = 0;

  TransportState();
  ~TransportState();
};

// The transport state of a context, created on first use.
TransportState &transportOf(ProgramContext &ctx);

// CCDT mode begins (true): the table template becomes current; or ends (false): the
// connection current before it comes back, if it is still there.
void directCommandsToTable(ProgramContext &ctx, bool toTable);

// Milliseconds on a steady clock.
int64_t steadyMs();

// Raises a sequence counter to `value`; a counter never goes back.
inline void raiseSeq(std::atomic<uint32_t> &counter, uint32_t value) {
  uint32_t now = counter.load();
  while (value > now && !counter.compare_exchange_weak(now, value)) {}
}
