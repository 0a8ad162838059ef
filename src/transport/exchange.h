// The command exchange: requests are put on the command queue, and the connection's
// reply reader routes every response by its CorrelId to the handler the request named.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "mqi/mqi.h"
#include "mqsc/command_record.h"
#include "mqsc/request.h"
#include "mqsc/response.h"

struct ProgramContext;
struct Connection;
struct TransportState;

// Which command queue: the IBM MQ command server or TOLK.
enum QueueChoice : int { kMqCommandQueue = 0, kTolkCommandQueue = 1 };

// Opens the chosen command queue on the command connection if it is not open.
bool openCommandQueue(ProgramContext &ctx, int queue, Connection &conn);

// Puts one request. `syncWaitSeconds` > 0 gets the responses on this thread for that
// long (negative: no limit); only the connect-time inquiries do that.
bool putRequest(ProgramContext &ctx, Connection &conn, int queue, uint32_t sequence, const void *message, MQMD &md,
                size_t length, uint16_t handler, uint64_t contextValue, int syncWaitSeconds);

// Gets responses from the reply queue and routes them. waitMs 0: no wait; -1: no limit.
void getResponses(ProgramContext &ctx, Connection &conn, uint32_t awaitedSeq, long waitMs);

// The issuing thread's wait for the command handed over.
enum class WaitOutcome {
  Answered,  // the last response came
  Released,  // at the console, a long answer goes on arriving without the command thread
  TimedOut,  // nothing (more) came in time: lastErrorText says so
  Stopped,   // the user stopped waiting
};
WaitOutcome waitForResponse(ProgramContext &ctx, Connection &conn, int64_t deadlineMs, bool extend);

// Starts the reply reader of a connection after its connect.
void startReader(ProgramContext &ctx, Connection &conn);

// Puts `request` and hands each reply the reader routes back to `onReply` until it
// returns true or `waitSeconds` pass; the worker waits so for the replies it handles
// itself (a namelist round trip, the queue commands). True when the last reply came.
bool awaitReply(ProgramContext &ctx, Connection &conn, uint32_t seq, const PreparedRequest &request,
                const std::function<bool(const MQMD &, const uint8_t *, size_t)> &onReply, int waitSeconds);

// The console's status line (nothing without a console): shown after `delaySeconds`
// when still set; empty text clears it.
void showStatus(ProgramContext &ctx, const std::string &text, int delaySeconds = 0);

// "STS: tag Req(...) Sts(...)" on standard error with the s debug letter.
void traceStatus(ProgramContext &ctx, const char *tag);

// Reports an error: on the output, and in the record of the command the connection is
// answering.
void reportError(ProgramContext &ctx, const Connection &conn, std::string_view text);

// What preparation needs to know about a connection.
MqscTarget targetOf(ProgramContext &ctx, const Connection &conn);

// The text of a reason code for "RC(%ld) %s" messages.
const char *reasonName(long reason);

// The record of a command in flight, by sequence number (null when none).
std::shared_ptr<CommandRecord> recordFor(ProgramContext &ctx, uint32_t sequence);
// Drops a record from the commands in flight: a reply that comes later is ignored.
void forgetRecord(ProgramContext &ctx, uint32_t sequence);
// Ends a command that failed before or while being handed on: marked as an error, with
// `text` (when not empty) as its error line, and completed.
void failRecord(ProgramContext &ctx, CommandRecord &record, std::string_view text);
