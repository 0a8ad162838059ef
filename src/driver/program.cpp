#include "driver/program.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ccdtmode/ccdt_mode.h"
#include "console/console.h"
#include "context/context.h"
#include "context/output.h"
#include "context/trace.h"
#include "debugger/debugger.h"
#include "driver/capture.h"
#include "driver/config_file.h"
#include "driver/dispatch.h"
#include "driver/host_wiring.h"
#include "driver/input_lines.h"
#include "driver/local_handlers.h"
#include "driver/options.h"
#include "driver/synonyms.h"
#include "runtime/path.h"
#include "runtime/regular_file.h"
#include "runtime/signals.h"
#include "runtime/std_descriptors.h"
#include "runtime/timezone.h"
#include "script/executor.h"
#include "script/script_state.h"
#include "transport/connection_commands.h"

namespace {

constexpr int32_t kUnlimitedWidth = 9999999;

int terminalWidth() {
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 1) return ws.ws_col - 1;
  return 79;
}

std::string programPath(const char *argv0) {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<size_t>(n));
  return argv0 ? argv0 : "";
}

bool readKt90Config(const Options &o, std::string &error) {
  std::string path = o.kt90Config;
  if (path == "$") {
    const char *env = std::getenv("SARVOCFG");
    if (!env || !*env) {
      error = "Environment variable SARVOCFG is not set";
      return false;
    }
    path = env;
  }
  RegularFile f = openRegularFile(path);
  if (!f.stream) {
    error = strFormat("Can not open file '%s' - %s", path.c_str(), f.reason().c_str());
    return false;
  }
  std::fclose(f.stream);
  return true;
}

// Creates the context: settings, configuration and locks. Returns an error
// text (written to standard error by the caller) or "".
std::string createContext(ProgramContext &ctx, bool fileMode) {
  if (fileMode) ctx.mode |= kModeFile;
  ConfigResult cfg = loadConfiguration(ctx);
  if (!cfg.ok) return strFormat("Configuration load failed: %s\n", cfg.text.c_str());
  ctx.configPath = ctx.configPath.empty() ? cfg.text : ctx.configPath;
  if (!ctx.consoleLock.create()) return "Can not create console semaphore\n";
  if (!ctx.displayLock.create()) return "Can not create display semaphore\n";
  ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, stdout, stderr);
  ctx.output->followSettings(ctx.settings);
  wireTrace(ctx);
  if (ctx.trace.any && !ctx.configUnreadable) ctx.startupMessages.push_back(cfg.text);
  return "";
}

void applyFileModeOutput(ProgramContext &ctx, const Options &o) {
  if (o.columns > 0) ctx.settings.columns = o.columns;
  if (isatty(STDOUT_FILENO)) {
    ctx.outputWidth = terminalWidth();
  } else {
    ctx.mainInput->prompting = false;
    ctx.settings.detsep = kSepMsg;
    ctx.outputWidth = 80;
  }
  if (o.hasWidth) ctx.outputWidth = o.width;
  if (ctx.outputWidth == 0) {
    ctx.outputWidth = kUnlimitedWidth;
    ctx.settings.options |= kOptWrap;
  }
}

void showBanner(ProgramContext &ctx, int argc, const char *const *argv) {
  if (ctx.trace.any)
    for (int i = 0; i < argc; ++i) addDiagnostic(ctx, strFormat("argv[%d] = '%s'", i, argv[i]));
  addInfo(ctx, strFormat("KVARN KVARN Program%s- Version %s", " ", kProgramVersion));
  if (ctx.trace.any) {
    addDiagnostic(ctx, strFormat("Build Date:%s %dBit %s", __DATE__ " " __TIME__, 64, "LittleEndian"));
    for (const auto &m : ctx.startupMessages) addDiagnostic(ctx, m);
  }
  for (const auto &m : ctx.startupErrors) addError(ctx, m);
}

void runBootstrap(ProgramContext &ctx) {
  std::string file;
  const char *env = std::getenv("KVARN_BOOTSTRAP");
  bool fromEnv = env && *env;
  if (fromEnv) {
    file = env;
  } else {
    ConfigResult dir = configDirectory();
    if (!dir.ok) return;
    file = joinPath(dir.text, "bootstrap.kvx");
  }
  RegularFile probe = openRegularFile(file);
  if (probe.status == RegularFileStatus::NotRegular) {
    // A fifo would hold start-up until something writes to it.
    addError(ctx, strFormat("Can not open bootstrap file '%s' - %s", file.c_str(), probe.reason().c_str()));
    return;
  }
  if (!probe.stream) {
    if (fromEnv) addError(ctx, strFormat("Can not open bootstrap file '%s'", file.c_str()));
    return;
  }
  std::fclose(probe.stream);
  ctx.runningBootstrap = true;
  cslIssueLocalCommand(ctx, nullptr, strFormat("=import file(%s)", file.c_str()), IssueFromStartup);
  ctx.runningBootstrap = false;
}

void runInitialCommands(ProgramContext &ctx, const Options &o) {
  if (!o.hasInitialCommands) return;
  ctx.mode |= kModeInitialCommands;
  runStringSource(ctx, o.initialCommands, "");
  ctx.mode &= ~kModeInitialCommands;
}

// The loop of interactive mode and of prompting file mode.
void runLoop(ProgramContext &ctx) {
  while (!ctx.quit) {
    kvarn::script::cmdRunSource(ctx, *ctx.mainInput);
    if (!ctx.interrupted) break;
    ctx.interrupted = false;
    ctx.mainInput->rest.clear();
    ctx.mainInput->pending.clear();
  }
}

// Whether a line can be read from `stream` without waiting: it is a file, or its
// buffer or its pipe already holds data.
bool lineWaiting(FILE *stream) {
  if (!stream) return false;
  struct stat st {};
  int fd = fileno(stream);
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return true;
#ifdef __GLIBC__
  if (stream->_IO_read_ptr < stream->_IO_read_end) return true;
#endif
  struct pollfd p {
    fd, POLLIN, 0
  };
  return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

void runFileMode(ProgramContext &ctx, const Options &o) {
  InputSource &main = *ctx.mainInput;
  if (!o.inputFile.empty()) {
    main.stream = std::fopen(o.inputFile.c_str(), "r");
    if (!main.stream) {
      addError(ctx, strFormat("Can not open file '%s'", o.inputFile.c_str()));
      return;
    }
    main.ownsStream = true;
    main.name = o.inputFile;
  } else {
    main.stream = stdin;
  }
  ctx.input = &main;
  bool console = ctx.fullScreen != nullptr;
  runInitialCommands(ctx, o);
  if (o.hasInitialCommands) {
    bool stop = (ctx.statusFlags & kStatusConnectFailed) || (main.stopOnError && (ctx.mode & kModeCommandFailed));
    if (stop) {
      addError(ctx, "Command file processing terminated due to error");
      return;
    }
    if (o.inputFile.empty() && !console) ctx.mode |= kModeEndAtStdin;
  }
  if (ctx.quit) return;
  // Changes to a channel table are written before the program waits for a line: the
  // user's, or a pipe's that has not come yet. Lines already there follow at once.
  std::function<bool(ProgramContext &, InputSource &)> read = console ? consoleReadLine : readFileLine;
  main.readLine = [read, console](ProgramContext &c, InputSource &source) {
    if (inCcdtMode(c) && (console || !lineWaiting(source.stream))) saveCcdtTable(c);
    return read(c, source);
  };
  runLoop(ctx);
}

// Returns false when a connection's threads did not end in time (a queue manager that
// stopped answering): the caller must then leave without tearing the program down.
bool endOfRun(ProgramContext &ctx, int &exitCode) {
  // Changes to a channel table are written while a failure can still be told.
  if (inCcdtMode(ctx)) finishCcdtTable(ctx);
  // Files a script left open are written out now, where a failure can still be told.
  if (ctx.script) {
    for (const std::string &failure : kvarn::script::scriptState(ctx).closeAllFiles()) {
      addError(ctx, failure);
      ctx.statusFlags |= kStatusInternalFailure;
    }
  }
  if (ctx.capture) {
    CaptureLoadResult r = writeCaptureFile(ctx.capturePath, static_cast<CaptureFile &>(*ctx.capture));
    if (!r.ok) addError(ctx, r.error);
  }
  exitCode = exitCodeFromStatus(ctx.statusFlags);
  ctx.output->flushStream();  // disconnecting may take a while
  bool allEnded = disconnectAllAtEnd(ctx);
  if (ctx.fileMode()) {
    std::string summary = commandSummaryLine(ctx, true);
    if (!summary.empty()) addSummaryLine(ctx, summary);
  }
  ctx.output->flush();
  if (ctx.output->writeFailed()) exitCode = exitCodeFromStatus(ctx.statusFlags | kStatusInternalFailure);
  if (!ctx.fileMode() || ctx.forceSave) {
    ctx.saveWanted = true;
    ConfigResult r = saveConfiguration(ctx);
    if (!r.ok) std::fprintf(stderr, "%s\n", r.text.c_str());
  }
  return allEnded;
}

}  // namespace

int kvarnMain(int argc, const char *const *argv) {
  holdStandardDescriptors();
  readTimeZoneBias();
  Options o;
  OptionResult parsed = parseCommandLine(argc, argv, o);
  if (!parsed.ok) {
    std::fputs(parsed.message.c_str(), stderr);
    return parsed.exitCode;
  }
  if (o.info != InfoRequest::None) {
    std::string text = o.info == InfoRequest::Help ? helpText() : versionText();
    bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
    return written ? kExitAllSucceeded : kExitInternalFailure;
  }
  if (o.hasKt90Config) {
    std::string error;
    if (!readKt90Config(o, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return kExitBadCommandLine;
    }
  }
  bool stdinIsTerminal = isatty(STDIN_FILENO);
  bool fileMode = o.fileMode || !o.inputFile.empty() || !stdinIsTerminal;
  if (o.debugMode && !fileMode) {
    std::fputs("Debug mode is only valid in file mode\n", stderr);
    return kExitBadCommandLine;
  }
  if (o.debugMode && o.inputFile.empty()) {
    std::fputs("Please use -i to supply command file in debug mode\n", stderr);
    return kExitBadCommandLine;
  }
  installStopSignals();

  auto ctxOwner = std::make_unique<ProgramContext>();
  ProgramContext &ctx = *ctxOwner;
  ctx.programPath = programPath(argc > 0 ? argv[0] : nullptr);
  setTraceLetters(ctx.trace, o.debugLetters);
  ctx.mainInput = std::make_unique<InputSource>();
  InputSource &main = *ctx.mainInput;
  main.prompting = stdinIsTerminal && o.inputFile.empty();
  main.echo.input = !o.noEcho;
  main.stopOnError = o.stopOnError;
  ctx.input = &main;

  // Without the full-screen console, interactive use reads lines at a prompt.
  std::string error = createContext(ctx, true);
  if (!error.empty()) {
    std::fputs(error.c_str(), stderr);
    return kExitInternalFailure;
  }
  if (!o.capturePath.empty()) {
    auto capture = std::make_unique<CaptureFile>();
    ctx.capturePath = o.capturePath;
    CaptureLoadResult r = loadCaptureFile(o.capturePath, *capture);
    if (!r.ok) {
      std::fprintf(stderr, "%s\n", r.error.c_str());
      return kExitBadCommandLine;
    }
    // A file the reader could not take whole is never written back over.
    if (r.leaveUnchanged) ctx.startupErrors.push_back(r.notice);
    else ctx.capture = std::move(capture);
  }
  ctx.implicitConnect = !o.noConnect;
  ctx.forceSave = o.forceSave;
  if (!o.defaultPath.empty()) ctx.defaultFilePath = tidyDirectory(o.defaultPath);
  tracePoint(ctx, 'A');
  applyFileModeOutput(ctx, o);
  // A terminal on both ends without -f gets the full-screen console; a terminal curses
  // cannot drive says why and the run goes on in file mode.
  if (!fileMode && isatty(STDOUT_FILENO)) {
    std::string why;
    if (openConsole(ctx, consoleHost(), why)) {
      ctx.mode &= ~kModeFile;
    } else {
      std::fprintf(stderr, "%s; continuing without the full-screen console\n", why.c_str());
    }
  }
  if (o.outputFormat >= 0) ctx.settings.outformat = o.outputFormat;
  showBanner(ctx, argc, argv);
  tracePoint(ctx, 'B');

  wireRooms(ctx);
  // -V sets the version CCDT mode writes; -j and -n enter the mode on the -t table.
  if (o.ccdtVersion >= 0) ccdtModeOf(ctx).version = o.ccdtVersion;
  if (o.ccdtJson || o.ccdtBinary) {
    std::optional<std::string> file;
    if (!o.ccdtFile.empty()) file = o.ccdtFile;
    bool json = o.ccdtJson || o.ccdtFile.find(".json") != std::string::npos;
    enterCcdtMode(ctx, json ? TableForm::Json : TableForm::Binary, file, std::nullopt);
  }
  tracePoint(ctx, 'C');
  if (!inCcdtMode(ctx)) {
    ctx.implicitConnectCommand = implicitConnectCommand(o);
    if (ctx.implicitConnect) cslIssueLocalCommand(ctx, nullptr, ctx.implicitConnectCommand, IssueFromStartup);
  }
  ctx.startupState &= ~kStartupInProgress;
  tracePoint(ctx, 'D');
  runBootstrap(ctx);
  tracePoint(ctx, 'E');

  // The debugger stops in the input file's statements, not in the bootstrap's.
  if (o.debugMode) kvarn::debugger::debuggerStart(ctx);
  else if (ctx.trace.stmtHook) kvarn::debugger::debuggerTraceStatements(ctx);
  runFileMode(ctx, o);
  closeConsole(ctx);
  int exitCode = 0;
  if (!endOfRun(ctx, exitCode)) {
    // A thread still blocked inside the MQ library would run on into a torn-down
    // program: everything is written, so leave now.
    std::fflush(nullptr);
    std::_Exit(exitCode);
  }
  unwireTrace();
  return exitCode;
}
