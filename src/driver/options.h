// The command line: options, their values and the usage text.
#pragma once
#include <string>
#include <vector>

// --help and --version: answered on standard output before anything else is done.
enum class InfoRequest { None, Help, Version };

struct Options {
  InfoRequest info = InfoRequest::None;  // --help, --version
  int columns = -1;             // -c, 1 to 50
  std::string initialCommands;  // -C
  bool hasInitialCommands = false;
  std::string channelDef;    // -d
  std::string debugLetters;  // -D
  std::string capturePath;   // -D capture:file
  bool noEcho = false;       // -e
  bool fileMode = false;     // -f
  std::string defaultPath;   // -F
  std::string kt90Config;    // -g
  bool hasKt90Config = false;
  std::string inputFile;     // -i
  bool ccdtJson = false;     // -j
  bool client = false;       // -l
  std::string qmgr;          // -m
  bool ccdtBinary = false;   // -n
  int outputFormat = -1;     // -o text (0) or json (1); -1 when not given
  std::string replyPrefix;   // -p
  std::string commandQueue;  // -q
  std::string replyQueue;    // -r
  bool stopOnError = false;  // -s
  bool forceSave = false;    // -S
  std::string ccdtFile;      // -t
  std::string via;           // -v
  int ccdtVersion = -1;      // -V
  bool hasWidth = false;     // -w
  int width = 0;
  bool noConnect = false;          // -x
  bool debugMode = false;          // -!
  std::vector<std::string> given;  // the letters given, in order, for the implicit =conn
};

struct OptionResult {
  bool ok = true;
  int exitCode = 0;
  std::string message;  // written to standard error when not ok
};

OptionResult parseCommandLine(int argc, const char *const *argv, Options &opts);

// The usage text written for -? and for bad options.
std::string usageText();

// --help: the usage text, then where the full description is.
std::string helpText();

// --version: the version, and for each binding kind whether a connection would load
// IBM MQ's library or the simulated queue manager's (and which file).
std::string versionText();

// The implicit "=conn ..." command built from the options.
std::string implicitConnectCommand(const Options &opts);

inline constexpr const char *kProgramVersion = "1.0.0";
inline constexpr const char *kProgramRevision = "1";
