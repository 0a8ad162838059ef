// The program's start-up, command loop and end of run.
#pragma once

// Runs KVARN with the given command line and returns the exit code.
int kvarnMain(int argc, const char *const *argv);
