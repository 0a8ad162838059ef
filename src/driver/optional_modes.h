// The modes a build may lack: CCDT mode (-j, -n) and the script debugger (-!). Without
// them the options that ask for them end the run before it starts.
#pragma once

struct ProgramContext;
struct Options;

bool ccdtModeAvailable();
bool scriptDebuggerAvailable();
// -j and -n: CCDT mode on the -t file.
void enterCcdtModeAtStartup(ProgramContext &ctx, const Options &o);
