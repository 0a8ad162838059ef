// The connection and queue commands that the worker thread runs, and the replies it
// waits for itself.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "mqsc/request.h"

struct ProgramContext;
struct Connection;

// =conn, =disc, =tolk, =mqsc, =clear, qdepth and qempty from the user; =conn, =disc
// and refreshnames as internal commands. Anything else is "Unrecognised command".
void runWorkerCommand(ProgramContext &ctx, Connection &conn, const std::string &text, bool internal);

// Puts `request` and hands each reply the reader routes back to `onReply` until it
// returns true or `waitSeconds` pass. True when the last reply came.
bool awaitReply(ProgramContext &ctx, Connection &conn, uint32_t seq, const PreparedRequest &request,
                const std::function<bool(const MQMD &, const uint8_t *, size_t)> &onReply, int waitSeconds);
