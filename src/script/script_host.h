// What the script language reads from the layers above it (connections, the command
// exchange, the console). The driver fills a ScriptHost at start-up from the transport
// and the console; every member may be left empty, and then a neutral value is used
// (not connected, no command yet, the terminal's size).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct ProgramContext;

namespace kvarn::script {

struct ConnectionState {
  bool connected = false;
  std::string adminQmgr;      // the queue manager being administered
  std::string connectedQmgr;  // the one actually connected to
  bool client = false;
  int32_t platform = 0;       // MQPL_* code
  int32_t commandLevel = 0;
  int32_t tolkCommandLevel = 0;
  int32_t agentLevel = 0;
};

struct ScriptHost {
  // Makes the implicit connection of start-up when it is still pending.
  std::function<void(ProgramContext&)> ensureConnected;
  std::function<ConnectionState(ProgramContext&)> connection;
  std::function<int64_t(ProgramContext&)> lastReasonCode;
  // IBM MQ name of a reason code ("MQRC_..."), empty when it has none.
  std::function<std::string(int64_t)> reasonName;
  std::function<std::string(ProgramContext&)> ccdtFile;
  std::function<int64_t(ProgramContext&)> commandOk;
  std::function<int64_t(ProgramContext&)> responses;  // -1: no command record
  std::function<int64_t(ProgramContext&)> matches;    // -1: no command record
  std::function<std::string(ProgramContext&)> lastCommandResponse;
  std::function<bool(ProgramContext&, int& width, int& height)> screenSize;
  // The console: repaint before a wait, and read a key within `seconds` (0: none came).
  std::function<void(ProgramContext&)> refreshScreen;
  std::function<int(ProgramContext&, int seconds)> consoleKey;
  // True when `name` is a defined script function (for _error_func).
  std::function<bool(ProgramContext&, std::string_view name)> isScriptFunction;
};

void scriptSetHost(ScriptHost host);
const ScriptHost& scriptHost();

}  // namespace kvarn::script
