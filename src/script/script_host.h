// What the script language reads from the layers above it (connections, the command
// exchange, the console). The driver fills a ScriptHost at start-up from the transport
// and the console; every member may be left empty, and then a neutral value is used
// (not connected, no command yet, the terminal's size).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct ProgramContext;
struct InputSource;
struct ResponseRecord;

namespace kvarn::script {

struct ImportRequest;

struct ConnectionState {
  bool connected = false;
  std::string adminQmgr;      // the queue manager being administered
  std::string connectedQmgr;  // the one actually connected to
  bool client = false;
  int32_t platform = 0;  // MQPL_* code
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
  std::function<bool(ProgramContext&, int& width, int& height)> screenSize;
  // The console: repaint before a wait, and read a key within `seconds` (0: none came).
  std::function<void(ProgramContext&)> refreshScreen;
  std::function<int(ProgramContext&, int seconds)> consoleKey;

  // ---- what the executor hands up
  // One complete command (MQSC, '=' command, print, fprint, wait): cslIssueCommand.
  std::function<void(ProgramContext&, std::string_view text)> issueCommand;
  // foreach: issues a DISPLAY or RESET QSTATS command without showing its output and
  // returns its response records; false when it failed or gave no complete answer.
  std::function<bool(ProgramContext&, std::string_view command, std::vector<ResponseRecord>& records)> collectRecords;
  // Checks an =import command's operands without reporting; false when they are wrong
  // (the command then reports it when it runs).
  std::function<bool(ProgramContext&, std::string_view text, ImportRequest& request)> parseImport;
  // =import cmdhist: a command read from the file joins the command history.
  std::function<void(ProgramContext&, std::string_view command)> addHistory;
  // The plain line reader for files.
  std::function<bool(ProgramContext&, InputSource&)> readFileLine;
};

void scriptSetHost(ScriptHost host);
const ScriptHost& scriptHost();

}  // namespace kvarn::script
