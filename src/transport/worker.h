// The worker thread of a connection: it takes the command handed over to it, prepares
// and puts an MQSC request or runs a connection command, and settles the sequence
// counters the issuing thread waits on.
#pragma once

struct ProgramContext;
struct Connection;

// Starts the worker thread of a new connection.
void startWorker(ProgramContext &ctx, Connection &conn);
