// Connecting to and disconnecting from queue managers, and choosing between the
// connections of the run.
#pragma once
#include <string>
#include <string_view>

struct ProgramContext;
struct Connection;
struct ParsedCommand;
struct TransportState;

// =conn: fills the template from the options and issues the connect.
void cslDoConnectCommand(ProgramContext &ctx, const ParsedCommand &cmd, int issueKind);
// The connect sequence, on the connection's worker thread. 1 on success.
int connectQmgr(ProgramContext &ctx, Connection &conn);
// 1 if it disconnected, 0 when nothing was connected.
int disconnectQmgr(ProgramContext &ctx, Connection &conn, bool report);
// Makes a listed, usable connection current. 1 when it did.
int selectConnection(ProgramContext &ctx, Connection &conn);
// Makes the connection matching the template current, creating it when none matches.
// 0, or the reason of a failure (2071, 2195).
int findOrCreateConnection(ProgramContext &ctx);
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
