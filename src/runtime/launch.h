// Running operating-system commands.
#pragma once
#include <string>

// Runs `command` through /bin/sh and waits. Returns an empty string on success, or the
// error text ("system() call set errno=%s(%d)\n" ...). `exitStatus` receives the status.
std::string runCommandAndWait(const std::string &command, int *exitStatus = nullptr);

// Starts `command` as a separate process in a new session, standard streams on
// /dev/null, without waiting. Returns an empty string on success, "No command supplied"
// for an empty command, or "Command failed RC(%d) <system text>".
std::string startCommand(const std::string &command);
