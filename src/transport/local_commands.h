// The local commands the transport answers (=conn, =disc, =tolk, =mqsc, =clear), for the
// driver to install in its table, and the disconnect at the end of a run.
#pragma once
#include <span>

#include "context/local_command.h"

struct ProgramContext;

std::span<const LocalHandlerRow> transportLocalHandlers();
// Disconnects every connection at the end of the run; false when a connection's
// threads had not ended after the wait (ten seconds each).
bool disconnectAllAtEnd(ProgramContext &ctx);
