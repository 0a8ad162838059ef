#include "driver/options.h"

#include <cstdlib>
#include <cstring>

#include "context/output.h"
#include "context/settings.h"
#include "ccdt/versions.h"
#include "runtime/scan.h"
#include "transport/fleet.h"
#include "transport/mq_library.h"

namespace {

constexpr const char *kOptionLetters = "c:C:d:D:efF:g:i:jlm:no:p:q:r:sSt:v:V:w:x?!";
constexpr size_t kMaxNameValue = 50;
constexpr int kMinColumns = 1, kMaxColumns = 50;

struct UsageRow {
  char letter;
  const char *description;
};

constexpr UsageRow kUsageRows[] = {
    {'c', "<Number of columns>"},
    {'C', "<Initial command(s)>"},
    {'d', "<Channel Definition>] for example -d \"channel(MYCHANNEL)\""},
    {'D', "<Debugging flags>"},
    {'e', "No Command Echo"},
    {'f', "Run in file mode"},
    {'F', "<Default file path>"},
    {'g', "<KT90 Configuration file>"},
    {'i', "<Input file>"},
    {'j', "CCDT mode (JSON)"},
    {'l', "Client connection"},
    {'m', "<Queue Manager name>"},
    {'n', "CCDT mode (BINARY)"},
    {'o', "<Output format: text or json>"},
    {'p', "<Temporary reply queue prefix>"},
    {'q', "<Command queue name>"},
    {'r', "<Reply queue name>"},
    {'s', "Stop on error"},
    {'S', "Force save of config in file mode"},
    {'t', "<CCDT file name>"},
    {'v', "<via Queue Manager name to connect to>"},
    {'V', "<CCDT Version eg.7.1>"},
    {'w', "<Output width>"},
    {'x', "No implicit connect"},
    {'!', "Debug Mode"},
};

bool takesValue(char letter) {
  const char *p = std::strchr(kOptionLetters, letter);
  return p && p[1] == ':';
}

bool knownLetter(char letter) { return letter != ':' && std::strchr(kOptionLetters, letter) != nullptr; }

// A number written with an optional sign and digits only.
bool parseInt(const std::string &text, long &value) {
  if (text.empty()) return false;
  char *end = nullptr;
  value = std::strtol(text.c_str(), &end, 10);
  return *end == '\0';
}

OptionResult usageFailure(std::string prefix = "") { return OptionResult{false, 132, prefix + usageText()}; }

OptionResult failure(const std::string &msg) { return OptionResult{false, 132, msg}; }

OptionResult applyValue(Options &o, char letter, std::string value) {
  if (!value.empty() && value[0] == ':') value.erase(0, 1);
  auto cut = [](std::string v) { return v.size() > kMaxNameValue ? v.substr(0, kMaxNameValue) : v; };
  long n = 0;
  switch (letter) {
  case 'c':
    if (!parseInt(value, n) || n < kMinColumns || n > kMaxColumns)
      return failure(strFormat("Please use a COLUMN value between %d and %d\n", kMinColumns, kMaxColumns));
    o.columns = static_cast<int>(n);
    break;
  case 'C':
    o.initialCommands = value;
    o.hasInitialCommands = true;
    break;
  case 'd': o.channelDef = value; break;
  case 'D':
    if (value.rfind("capture:", 0) == 0) o.capturePath = value.substr(8);
    else o.debugLetters += value;
    break;
  case 'F': o.defaultPath = value; break;
  case 'g':
    o.kt90Config = value;
    o.hasKt90Config = true;
    break;
  case 'i': o.inputFile = value; break;
  case 'm':
    // A list names a fleet: a comma is no character of a queue manager name, and each
    // name is cut on its own.
    if (value.find(',') == std::string::npos) {
      o.qmgr = cut(value);
    } else {
      o.qmgr.clear();
      for (const std::string &name : splitQmgrList(value, kMaxNameValue)) o.qmgr += (o.qmgr.empty() ? "" : ",") + name;
    }
    break;
  case 'o':
    if (scanEqualsNoCase(value, "text")) o.outputFormat = kOutputText;
    else if (scanEqualsNoCase(value, "json")) o.outputFormat = kOutputJson;
    else return failure(strFormat("Please use an output format of text or json, not '%s'\n", value.c_str()));
    break;
  case 'p': o.replyPrefix = cut(value); break;
  case 'q': o.commandQueue = cut(value); break;
  case 'r': o.replyQueue = cut(value); break;
  case 't': o.ccdtFile = value; break;
  case 'v': o.via = cut(value); break;
  case 'V': {
    int version = 0;
    switch (parseCcdtVersion(value, version)) {
    case CcdtVersionParse::Ok: o.ccdtVersion = version; break;
    case CcdtVersionParse::UnknownName: return failure(ccdtVersionListMessage() + "\n");
    case CcdtVersionParse::OutOfRange: return failure(ccdtVersionRangeMessage());
    }
    break;
  }
  case 'w':
    if (!parseInt(value, n) || n < 0) return failure("Please use non negative width value.\n");
    o.hasWidth = true;
    o.width = n > 9999999 ? 9999999 : static_cast<int>(n);
    break;
  default: break;
  }
  return {};
}

void applyFlag(Options &o, char letter) {
  switch (letter) {
  case 'e': o.noEcho = true; break;
  case 'f': o.fileMode = true; break;
  case 'j': o.ccdtJson = true; break;
  case 'l': o.client = true; break;
  case 'n': o.ccdtBinary = true; break;
  case 's': o.stopOnError = true; break;
  case 'S': o.forceSave = true; break;
  case 'x': o.noConnect = true; break;
  case '!': o.debugMode = true; break;
  default: break;
  }
}

}  // namespace

std::string usageText() {
  std::string text = strFormat("IBM MQ KVARN Program Version %s (Build Date %s, Revision %s)\n", kProgramVersion,
                               __DATE__, kProgramRevision);
  text += "\nUsage: KVARN <Optional flags as below>\n";
  for (const auto &row : kUsageRows) {
    bool closed = std::strchr(row.description, ']') != nullptr;
    text += strFormat("        [-%c  %s%s\n", row.letter, row.description, closed ? "" : "]");
  }
  return text;
}

std::string helpText() {
  return usageText() +
         "\nWith no -f and a terminal, KVARN starts its full-screen console; in file mode it reads\n"
         "commands from -i or standard input and ends with a summary line and an exit code.\n"
         "--version shows the version and whether a connection would use IBM MQ or the simulator.\n"
         "The manual page kvarn(1) describes every option, the environment and the exit codes.\n";
}

namespace {

std::string libraryLine(const char *kind, MqBinding binding) {
  MqLibraryChoice c = chooseMqLibrary(binding);
  if (c.error == 0 && c.shipped) return strFormat("%s: the simulated queue manager (qmsim), %s\n", kind, c.path.c_str());
  if (c.error == 0) return strFormat("%s: IBM MQ, %s\n", kind, c.path.c_str());
  if (!c.path.empty()) return strFormat("%s: IBM MQ, %s - %s\n", kind, c.path.c_str(), c.reason.c_str());
  return strFormat("%s: no library found (neither IBM MQ's %s nor the simulated queue manager's)\n", kind,
                   mqLibraryName(binding));
}

}  // namespace

std::string versionText() {
  return strFormat("kvarn %s (revision %s, built %s)\n", kProgramVersion, kProgramRevision, __DATE__) +
         libraryLine("Server bindings", MqBinding::Server) + libraryLine("Client bindings", MqBinding::Client);
}

OptionResult parseCommandLine(int argc, const char *const *argv, Options &o) {
  int i = 1;
  for (; i < argc; ++i) {
    const char *arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "--version") == 0) {
      o.info = arg[2] == 'h' ? InfoRequest::Help : InfoRequest::Version;
      return {};
    }
    if ((arg[0] != '-' && arg[0] != '/') || arg[1] == '\0') break;
    for (const char *p = arg + 1; *p; ++p) {
      char letter = *p;
      if (!knownLetter(letter)) return usageFailure();
      if (letter == '?') return usageFailure();
      o.given.push_back(std::string(1, letter));
      if (!takesValue(letter)) {
        applyFlag(o, letter);
        continue;
      }
      std::string value;
      if (p[1] != '\0') {
        value = p + 1;
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        return usageFailure();
      }
      OptionResult r = applyValue(o, letter, value);
      if (!r.ok) return r;
      break;
    }
  }
  if (i < argc) return usageFailure(strFormat("Unrecognised parameter '%s'\n\n", argv[i]));
  return {};
}

std::string implicitConnectCommand(const Options &o) {
  std::string cmd = o.qmgr.find(',') == std::string::npos ? "=conn " : "=fleet ";
  if (!o.qmgr.empty()) cmd += "qm(" + o.qmgr + ") ";
  if (!o.commandQueue.empty()) cmd += "cmdq(" + o.commandQueue + ") ";
  if (!o.replyQueue.empty()) cmd += "replyq(" + o.replyQueue + ") ";
  if (!o.replyPrefix.empty()) cmd += "replypfx(" + o.replyPrefix + ") ";
  if (!o.via.empty()) cmd += "via(" + o.via + ") ";
  if (o.client) cmd += "client ";
  if (!o.channelDef.empty()) cmd += o.channelDef + " ";
  return cmd;
}
