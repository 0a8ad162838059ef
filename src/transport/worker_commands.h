// The connection and queue commands that the worker thread runs.
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
