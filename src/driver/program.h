// Room driver (the top): start-up, command line, configuration file, the command loop,
// dispatch and the local command table. May include every room below it.
//
// The program's start-up, command loop and end of run.
#pragma once

// Runs KVARN with the given command line and returns the exit code.
int kvarnMain(int argc, const char *const *argv);
