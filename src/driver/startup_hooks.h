// Start-up steps that belong to other subsystems. Each is a small function here so
// that the start-up sequence reads in order; the subsystems fill them in.
#pragma once

struct ProgramContext;
struct Options;

// Prepares the MQSC vocabulary tables.
void initialiseVocabulary(ProgramContext &ctx);
// Gives the script language its view of connections, reason codes and the screen.
void connectScriptHost(ProgramContext &ctx);
// Whether this build has CCDT mode; without it -j and -n end the run before it starts.
bool ccdtModeAvailable();
// Whether this build has the script debugger; without it -! ends the run before it starts.
bool scriptDebuggerAvailable();
// -j and -n: CCDT mode on the -t file.
void enterCcdtModeAtStartup(ProgramContext &ctx, const Options &o);
