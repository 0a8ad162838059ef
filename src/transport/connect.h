// Connecting to and disconnecting from queue managers, and choosing between the
// connections of the run.
#pragma once
#include <string>
#include <string_view>

#include "context/context.h"

struct ProgramContext;
struct Connection;
struct ParsedCommand;
struct TransportState;

// =conn: fills the template from the options and settles its credentials. False when
// there is nothing to connect now: the start-up connection is then only recorded as
// owed (or, with -x, dropped).
bool readyConnectTemplate(ProgramContext &ctx, const ParsedCommand &cmd, IssueSource source);
// The connect sequence, on the connection's worker thread. 1 on success.
int connectQmgr(ProgramContext &ctx, Connection &conn);
// 1 if it disconnected, 0 when nothing was connected.
int disconnectQmgr(ProgramContext &ctx, Connection &conn, bool report);
// Makes a listed, usable connection current. 1 when it did.
int selectConnection(ProgramContext &ctx, Connection &conn);
// Every connection is sent =disc and given up to ten seconds to end. 0 if some did not.
int disconnectAll(ProgramContext &ctx);
// Frees the connections whose threads have ended.
void pruneEndedConnections(ProgramContext &ctx);
// True when two connections would reach the same queue manager the same way.
bool connectionMatches(const Connection &candidate, const Connection &templ);
// Marks a connect as failed (status, stop-on-error) and the connection as closing.
void failConnect(ProgramContext &ctx, Connection &conn);
// Credentials remembered for the run, by target queue manager.
void rememberCredentials(TransportState &t, const Connection &conn);
void forgetSavedCredentials(TransportState &t, const std::string &qmgr);
