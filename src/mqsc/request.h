// Preparing one MQSC command for its target and building the program's own PCF
// requests. The transport fills an MqscTarget from its connection, calls
// prepareMqscCommand() on the worker thread and puts the returned request with the
// MQMD Format and response handler it names.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "mqi/mqi.h"
#include "mqsc/command_record.h"
#include "mqsc/vocab.h"

struct ProgramContext;

// What preparation needs to know about the connection a command goes to.
struct MqscTarget {
  int32_t platform = 0;  // MQPL_*; 0 until the command-level inquiry answered
  int32_t commandLevel = 0;
  CapabilityFlags capabilities;
  bool tolkMode = false;  // commands go to TOLK's command queue
  int32_t tolkCommandLevel = 0;
  std::string connectedQmgr;     // the queue manager connected to
  std::string adminQmgr;         // the queue manager administered (differs with via())
  uint32_t diagnosticFlags = 0;  // the program's diagnostic flags (256: AMQ8407/CSQM408I are not headers)
  bool checkAttributes = false;  // attribute check mode: output is quiet, tokens are checked

  bool isZos() const { return platform == MQPL_ZOS; }
};

// Indexes of the transport's response handler table.
enum ResponseHandlerIndex : uint16_t {
  kHandlerDefault = 0,
  kHandlerMqsc = 1,
  kHandlerNameCache = 2,
  kHandlerQmgrLevel = 3,
  kHandlerTolkLevel = 4,
  kHandlerNamelistMerge = 5,
  kHandlerClearQueue = 6,
  kHandlerQueueDepth = 7,
};

// Which command queue a request goes to.
enum class CommandQueue { Mq = 0, Tolk = 1 };

// A request ready to put.
struct PreparedRequest {
  std::vector<uint8_t> message;      // PCF or MQSC text (no terminator)
  std::string format = MQFMT_ADMIN;  // MQMD Format: "MQADMIN " or "MQSTR   "
  uint16_t handler = kHandlerMqsc;
  CommandQueue queue = CommandQueue::Mq;
  // STOP EV towards TOLK: no reply comes. After a successful put the transport calls
  // completeWithoutReply() and the command is complete.
  bool expectsNoReply = false;
};

enum class PrepareOutcome {
  Send,      // put `request`; replies go to the handler it names
  Consumed,  // answered without a request of its own (its output is in the record)
  Failed,    // refused before sending; the reason is in the record's lines
};

struct PrepareResult {
  PrepareOutcome outcome = PrepareOutcome::Failed;
  PreparedRequest request;
};

// A request/reply round trip made while a command is being prepared (the DISPLAY before
// a namelist =ADD/=RMV). The transport implements it on the worker thread: put
// `request`, then hand each reply to `onReply` until it returns true (the last reply).
// Returns false when the request could not be put or no (last) reply came in time; the
// implementation then reports why (e.g. "Timed out waiting for response").
struct MqscExchange {
  virtual ~MqscExchange() = default;
  virtual bool inquire(const PreparedRequest &request,
                       const std::function<bool(const MQMD &md, const uint8_t *data, size_t length)> &onReply) = 0;
};

// Output modifier hooks (mqsc_host.h), called in this order on the command text before
// the generic-name rewrite. Each finds its clauses, records them in the command record and
// removes them from the text; false fails the command (its message already added to the
// record). Until the display's are installed they do nothing.
struct ModifierHooks {
  using Hook = std::function<bool(ProgramContext &ctx, CommandRecord &record, std::string &text)>;
  Hook attributeSelection;  // +NAME / -NAME groups
  Hook find;                // =FIND
  Hook where;               // =WHERE
  Hook sort;                // =SORT / =SORTD
  Hook maxResponses;        // =MAXRESP
};
// Runs the modifier hooks on `text`: the clauses are recorded in `record` and taken out
// of the text. False when one is wrong (its message is in the record). Preparation calls
// it before building a request; a command answered without a queue manager calls it alone.
bool takeOutputModifiers(ProgramContext &ctx, CommandRecord &record, std::string &text);

// Prepares one MQSC command: namelist editing (through `exchange`, which may be null
// when no round trip is possible: =ADD/=RMV then fail), the modifier hooks, the generic-
// name rewrite (not towards TOLK), RESET QSTATS as PCF on distributed queue managers,
// STOP EV towards TOLK, and the request message. `text` is edited in place.
// On Failed and Consumed the record has already been completed (lines written, outcome
// counted); on Send the transport puts the request and the replies complete it.
PrepareResult prepareMqscCommand(ProgramContext &ctx, const MqscTarget &target, CommandRecord &record,
                                 std::string &text, MqscExchange *exchange);

// The request message for an MQSC text as it goes to `target` (escape PCF, or MQSTR text
// to z/OS), with handler 1.
PreparedRequest buildMqscRequest(const MqscTarget &target, std::string_view text);

// Completes a command that expects no reply (STOP EV towards TOLK) after its put:
// writes "AMQ8018I: Command Submitted" and completes the record.
void completeWithoutReply(ProgramContext &ctx, CommandRecord &record);

// ---------------------------------------------------------------- internal PCF requests
// Each returns the complete PCF message; Format is MQFMT_ADMIN.

// PCF escape request carrying MQSC text (MQCMD_ESCAPE, MQIACF_ESCAPE_TYPE=MQET_MQSC, MQCACF_ESCAPE_TEXT).
std::vector<uint8_t> buildEscapeRequest(std::string_view text);
// MQCMD_RESET_Q_STATS with MQCA_Q_NAME.
std::vector<uint8_t> buildResetQueueStatsRequest(std::string_view queueName);
// MQCMD_INQUIRE_Q_MGR for MQIA_COMMAND_LEVEL and MQIA_PLATFORM; type MQCFT_COMMAND_XR,
// version 3 first and 1 when no command level came back. 60 bytes.
std::vector<uint8_t> buildCommandLevelRequest(int32_t headerVersion);
// TOLK's command level: command 9000, integer list 39100 = [39304].
std::vector<uint8_t> buildTolkLevelRequest();
// MQCMD_INQUIRE_Q for MQIA_CURRENT_Q_DEPTH of one queue.
std::vector<uint8_t> buildQueueDepthRequest(std::string_view queueName, bool zos);
// MQCMD_CLEAR_Q of one queue.
std::vector<uint8_t> buildClearQueueRequest(std::string_view queueName, bool zos);
// The inquire-names command of a name-list descriptor, with the generic name "*" unless
// the descriptor has no selector. Sent to TOLK's queue when descriptor.fromTolk is set.
std::vector<uint8_t> buildNameListRequest(const NameListDef &descriptor, bool zos);

// TOLK's PCF identifiers.
inline constexpr int32_t ZRT_CMD_DISPLAY_EV = 9000;
inline constexpr int32_t ZRT_ATTR_EV_ATTRS = 39100;
inline constexpr int32_t ZRT_ATTR_COMMAND_LEVEL = 39304;
inline constexpr int32_t ZRT_ATTR_RESPONSE_DELIMITER = 40000;
inline constexpr int32_t kSecondRecordDelimiter = 301162;
