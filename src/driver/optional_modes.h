// The modes a build may lack: the script debugger (-!). Without it the option that asks
// for it ends the run before it starts.
#pragma once

bool scriptDebuggerAvailable();
