// The program context room: what every subsystem reads and writes. The ProgramContext
// is created at start-up and passed to nearly every operation; it holds the settings,
// counters, input sources and the output line buffer. Subsystems keep their own state
// in it as a ContextPart they own the type of (the transport's connections, the
// capture file), so this room includes nothing above the runtime.
//
// May include: runtime/, context/. Never: anything above.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "context/output.h"
#include "context/settings.h"
#include "context/status.h"
#include "runtime/lock.h"

struct ProgramContext;

// State a subsystem keeps in the context; the subsystem owns its type.
struct ContextPart {
  virtual ~ContextPart() = default;
};

// Where a command came from: typed or read by the user, issued by the program itself
// (the start-up connection, the bootstrap import, internal connection steps), or issued
// by a script for its own use (foreach: the replies are kept, not shown).
enum IssueSource : int {
  IssueFromUser = 2,
  IssueFromStartup = 3,
  IssueFromScript = 4,
};

struct EchoSwitches {
  bool input = true;  // master switch
  bool cmds = true;
  bool lang = false;
  bool func = false;
  bool langcon = true;
  bool resp = true;
  bool blank = true;
};

struct InputSource {
  std::string name;  // file name; empty for standard input and strings
  FILE *stream = nullptr;
  bool ownsStream = false;
  std::string text;  // a string source's text
  size_t textPos = 0;
  std::string line;              // the last line read
  std::string rest;              // the rest of the line after a ';' separator
  std::string pending;           // text after a block keyword: the next command
  uint32_t indent = 0;           // leading blanks of the current line
  uint32_t failuresAtStart = 0;  // ctx.failureEvents when the source started (stop on error)
  uint32_t lineNumber = 0;
  uint32_t runLine = 0;  // line of the statement running (run-time error reports)
  bool readError = false;
  bool lineUnlogged = false;  // the line came from a console key with nolog: never echoed
  bool endOfInput = false;
  bool stopOnError = false;
  bool prompting = false;
  bool isString = false;
  EchoSwitches echo;
  // Returns false when there is no further line.
  std::function<bool(ProgramContext &, InputSource &)> readLine;
  InputSource *parent = nullptr;  // the source this one interrupted

  InputSource() = default;
  InputSource(const InputSource &) = delete;
  InputSource &operator=(const InputSource &) = delete;
  ~InputSource();
};

// Bits of the summary setting of =count.
enum SummaryBits : uint32_t {
  kSummaryDefault = 1,
  kSummaryNone = 2,
  kSummaryFail = 4,
  kSummaryFailNZ = 8,
  kSummaryOk = 16,
  kSummaryOkNZ = 32,
  kSummaryTotal = 64,
};

struct CountSettings {
  bool cmds = true;     // count command success and failure
  bool dspcmds = true;  // DISPLAY commands are counted too
  bool emptydspFails = false;
  uint32_t summary = 0;
};

// Diagnostic switches of -D.
struct TraceSwitches {
  bool any = false;
  bool before = false;    // b
  bool dispatch = false;  // d
  bool expr = false;      // e
  bool general = false;   // g
  bool keys = false;      // k
  bool machine = false;   // m or P
  bool pcf = false;       // P
  bool status = false;    // s
  bool stmtHook = false;  // t
};

struct Synonym {
  std::string name;
  std::string command;
};

// The order of the synonyms: by name without regard to case (ASCII). Transparent, so a
// synonym is found by a name of any string type.
struct SynonymOrder {
  using is_transparent = void;
  static bool less(std::string_view a, std::string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
      char x = a[i], y = b[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
      if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    return a.size() < b.size();
  }
  bool operator()(const Synonym &a, const Synonym &b) const { return less(a.name, b.name); }
  bool operator()(const Synonym &a, std::string_view b) const { return less(a.name, b); }
  bool operator()(std::string_view a, const Synonym &b) const { return less(a, b.name); }
};

enum StartupBits : uint32_t { kStartupInProgress = 1, kStartupConnectPending = 2 };

enum ModeBits : uint32_t {
  kModeFile = 1,
  kModeEndAtStdin = 2,
  kModeInitialCommands = 4,
  kModeConnectFailed = 8,
  kModeCommandFailed = 16,
};

struct ProgramContext {
  Settings settings;
  uint32_t statusFlags = 0;
  uint32_t issued = 0, succeeded = 0, failed = 0;
  uint32_t startupState = kStartupInProgress;
  uint32_t mode = 0;
  bool quit = false;
  bool interrupted = false;
  bool stopSignalNoted = false;  // a stop signal has been reported and ends the run
  bool implicitConnect = true;
  bool runningBootstrap = false;
  bool saveWanted = false;
  bool settingsChanged = false;
  bool forceSave = false;  // -S
  std::string defaultFilePath;
  int32_t outputWidth = 80;
  std::string implicitConnectCommand;
  std::string programPath;
  std::string configPath;  // the configuration file loaded (or to be written)
  TraceSwitches trace;
  CountSettings counting;
  std::set<Synonym, SynonymOrder> synonyms;  // ordered by name without regard to case
  std::vector<std::string> runningSynonyms;  // synonyms being run, outermost first
  uint32_t failureEvents = 0;                // command and connection failures so far (stop on error)
  // "!unhandled!": while set, the response decoder counts attributes it has no name for.
  bool countingUnhandled = false;
  uint32_t unhandledAttributes = 0;
  std::unique_ptr<ContextPart> capture;  // the -D capture: file (the driver's CaptureFile)
  std::string capturePath;
  std::vector<std::string> startupMessages;  // shown as diagnostics after the banner
  std::vector<std::string> startupErrors;    // shown as errors after the banner
  bool configUnreadable = false;             // kvarn.cfg exists but could not be read: never saved over

  InputSource *input = nullptr;  // the current source (chain through parent)
  std::unique_ptr<InputSource> mainInput;
  std::unique_ptr<OutputBuffer> output;

  OwnedMutex consoleLock;
  OwnedMutex displayLock;

  // Connections, the connection template and the counters of the command exchange
  // (the transport's TransportState).
  std::unique_ptr<ContextPart> transport;

  // Script variables, open script files, the print buffer and the current response
  // record (the script room's ScriptState).
  std::unique_ptr<ContextPart> script;

  // The full-screen console while it runs (the console room's ConsoleState), and what
  // it keeps from run to run: the command history and the user's keys (ConsoleSettings).
  std::unique_ptr<ContextPart> fullScreen;
  std::unique_ptr<ContextPart> consoleSettings;

  // CCDT mode: its switch, table, name and version (the ccdtmode room's CcdtModeState).
  std::unique_ptr<ContextPart> ccdt;

  // The script debugger's state in debug mode (the debugger room's DebuggerState).
  std::unique_ptr<ContextPart> debugger;

  bool fileMode() const { return (mode & kModeFile) != 0; }

  ProgramContext();
  ~ProgramContext();
  ProgramContext(const ProgramContext &) = delete;
  ProgramContext &operator=(const ProgramContext &) = delete;
};

// A stop signal arrived: ends the run (reported once) with a failing exit code.
void noteStopSignal(ProgramContext &ctx);

// Records the outcome of one MQSC command in the counters and statusFlags.
void countCommand(ProgramContext &ctx, bool succeeded);
