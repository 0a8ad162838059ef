// The command exchange: the issuing thread hands one command at a time to the
// current connection's worker, which puts the request; the connection's reply reader
// routes every response by its CorrelId to the handler the request named.
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
bool putRequest(ProgramContext &ctx, Connection &conn, int queue, uint32_t sequence, const void *message,
                MQMD &md, size_t length, uint16_t handler, uint64_t contextValue, int syncWaitSeconds);

// Gets responses from the reply queue and routes them. waitMs 0: no wait; -1: no limit.
void getResponses(ProgramContext &ctx, Connection &conn, uint32_t awaitedSeq, long waitMs);

// The issuing thread's wait for the command handed over. True when answered.
bool waitForResponse(ProgramContext &ctx, Connection &conn, int64_t deadlineMs, bool extend);

// Starts the worker thread of a new connection; starts the reader after a connect.
void startWorker(ProgramContext &ctx, Connection &conn);
void startReader(ProgramContext &ctx, Connection &conn);

// "STS: tag Req(...) Sts(...)" on standard error with the s debug letter.
void traceStatus(ProgramContext &ctx, const char *tag);

// Reports an error: on the output, and in the command record being answered.
void reportError(ProgramContext &ctx, std::string_view text);

// What preparation needs to know about a connection.
MqscTarget targetOf(ProgramContext &ctx, const Connection &conn);

// The text of a reason code for "RC(%ld) %s" messages.
const char *reasonName(long reason);

// The record of a command in flight, by sequence number (null when none).
std::shared_ptr<CommandRecord> recordFor(ProgramContext &ctx, uint32_t sequence);
