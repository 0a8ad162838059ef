#include "driver/local_commands.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include "context/commands.h"
#include "context/context.h"
#include "context/echo.h"
#include "driver/ccdt_versions.h"
#include "driver/dispatch.h"
#include "driver/local_table.h"
#include "context/output.h"
#include "driver/reader.h"
#include "context/trace.h"
#include "runtime/memory.h"
#include "runtime/path.h"
#include "runtime/scan.h"
#include "script/executor.h"
#include "script/import.h"
#include "transport/local_commands.h"

namespace {

constexpr size_t kMaxLocalCommand = 1000;
constexpr size_t kMaxSynonym = 10;
constexpr const char *kSynonymChars = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.<>[]";

void ignoredInFileMode(ProgramContext &ctx, const std::string &text) {
  if (text.size() >= 51)
    addError(ctx, strFormat("Command '%.50s...' ignored in file mode", text.c_str()));
  else
    addError(ctx, strFormat("Command '%s' ignored in file mode", text.c_str()));
}

// ---- settings: =set, =colour, =cache ---------------------------------------------------


bool applyOperands(ProgramContext &ctx, ParsedCommand &cmd, const char *group) {
  bool any = false;
  for (size_t i = 1; i < cmd.items.size(); ++i) {
    const ParsedItem &item = cmd.items[i];
    SetResult r = applySetting(ctx.settings, group, item.name, item.value);
    if (r.error) {
      addError(ctx, r.message);
      continue;
    }
    if (!r.changed) continue;
    any = true;
    ctx.settingsChanged = true;
    addInfo(ctx, r.message);
    if (scanEqualsNoCase(item.name, "filepath")) ctx.defaultFilePath = tidyDirectory(ctx.settings.filepath);
  }
  return any;
}

void doSet(ProgramContext &ctx, ParsedCommand &cmd, int) { applyOperands(ctx, cmd, "set"); }

void doColour(ProgramContext &ctx, ParsedCommand &cmd, int) {
  if (ctx.fileMode()) {
    ignoredInFileMode(ctx, cmd.text);
    return;
  }
  applyOperands(ctx, cmd, "colour");
}

void doCache(ProgramContext &ctx, ParsedCommand &cmd, int) {
  for (size_t i = 1; i < cmd.items.size(); ++i) {
    const ParsedItem &item = cmd.items[i];
    if (scanEqualsNoCase(item.name, "purge")) {
      addInfo(ctx, "Object cache purged");
      continue;
    }
    SetResult r = applySetting(ctx.settings, "cache", item.name, item.value);
    if (r.error) addError(ctx, r.message);
    else if (r.changed) {
      ctx.settingsChanged = true;
      addInfo(ctx, r.message);
    }
  }
}

// ---- =count, =echo, =output ---------------------------------------------------------------

uint32_t summaryBit(std::string_view name) {
  static const struct { const char *name; uint32_t bit; } kBits[] = {
      {"default", kSummaryDefault}, {"none", kSummaryNone}, {"fail", kSummaryFail}, {"failnz", kSummaryFailNZ},
      {"ok", kSummaryOk},           {"oknz", kSummaryOkNZ}, {"total", kSummaryTotal}};
  for (const auto &b : kBits)
    if (scanEqualsNoCase(name, b.name)) return b.bit;
  return 0;
}

void doCount(ProgramContext &ctx, ParsedCommand &cmd, int) {
  CountSettings &c = ctx.counting;
  for (size_t i = 1; i < cmd.items.size(); ++i) {
    const ParsedItem &item = cmd.items[i];
    bool yes = !scanEqualsNoCase(item.value, "no");
    if (scanEqualsNoCase(item.name, "cmds")) c.cmds = yes;
    else if (scanEqualsNoCase(item.name, "dspcmds")) c.dspcmds = yes;
    else if (scanEqualsNoCase(item.name, "emptydsp")) c.emptydspFails = scanEqualsNoCase(item.value, "fail");
    else if (scanEqualsNoCase(item.name, "summary")) {
      c.summary = 0;
      for (std::string_view part : kvarn::script::splitParameterList(item.value)) c.summary |= summaryBit(scanTrim(part));
    }
  }
}

void doEcho(ProgramContext &ctx, ParsedCommand &cmd, int) {
  InputSource *src = ctx.input ? ctx.input : ctx.mainInput.get();
  EchoSwitches &e = src->echo;
  bool cmdsBefore = e.input && e.cmds;
  static const struct { const char *name; bool EchoSwitches::*field; } kSwitches[] = {
      {"input", &EchoSwitches::input}, {"cmds", &EchoSwitches::cmds},   {"func", &EchoSwitches::func},
      {"lang", &EchoSwitches::lang},   {"langcon", &EchoSwitches::langcon}, {"resp", &EchoSwitches::resp},
      {"blank", &EchoSwitches::blank}};
  for (size_t i = 1; i < cmd.items.size(); ++i)
    for (const auto &s : kSwitches)
      if (scanEqualsNoCase(cmd.items[i].name, s.name)) e.*s.field = !scanEqualsNoCase(cmd.items[i].value, "no");
  if (cmdsBefore && e.input && e.cmds) addCommandEcho(ctx, cmd.text, true);
}

void doOutput(ProgramContext &ctx, ParsedCommand &cmd, int) {
  ctx.output->closeCopyFile();
  bool append = scanEqualsNoCase(cmd.value("append"), "yes");
  std::string file(scanTrim(cmd.value("file")));
  if (file.empty()) return;
  if (!ctx.output->openCopyFile(file, append)) addError(ctx, strFormat("Can not open output file '%s'", file.c_str()));
}

// ---- =show --------------------------------------------------------------------------------

std::string userName() {
  if (const passwd *pw = getpwuid(getuid()); pw && pw->pw_name) return pw->pw_name;
  return "Unknown";
}

std::string machineName() {
  char host[HOST_NAME_MAX + 1] = {};
  return gethostname(host, sizeof host) == 0 && host[0] ? host : "Unknown";
}

std::string platformName(int platform) {
  static const struct { int value; const char *name; } kPlatforms[] = {
      {1, "z/OS"}, {2, "OS/2"}, {3, "Unix"}, {4, "OS/400"}, {5, "Windows"}, {11, "Windows"},
      {12, "VMS"}, {13, "NSS"}, {15, "Open TP1"}, {18, "VM"}, {23, "TPF"}, {27, "VSE"},
  };
  for (const auto &p : kPlatforms)
    if (p.value == platform) return p.name;
  return std::to_string(platform);
}

void showMachine(ProgramContext &ctx) {
  static const std::string user = userName();
  static const std::string machine = machineName();
  addInfo(ctx, "Machine Details");
  addInfo(ctx, "---------------");
  addInfo(ctx, "User   : " + user);
  addInfo(ctx, "Machine: " + machine);
  addInfo(ctx, "");
  AdministeredQmgr qm = administeredQmgr(ctx);
  if (qm.name.empty()) return;
  addInfo(ctx, "Administering Queue Manager");
  addInfo(ctx, "---------------------------");
  addInfo(ctx, "Qm           : " + qm.name);
  addInfo(ctx, strFormat("Command Level: %d", qm.commandLevel));
  addInfo(ctx, "Platform     : " + platformName(qm.platform));
  if (qm.agentLevel) addInfo(ctx, strFormat("SARVOA Level : %d", qm.agentLevel));
  else if (ctx.trace.machine) addInfo(ctx, "SARVOA Level : Inactive");
}

void doShow(ProgramContext &ctx, ParsedCommand &cmd, int) {
  for (size_t i = 1; i < cmd.items.size(); ++i) {
    const ParsedItem &item = cmd.items[i];
    const std::string &name = item.name;
    if (scanEqualsNoCase(name, "key") || scanEqualsNoCase(name, "scrn") || scanEqualsNoCase(name, "parse")) {
      if (ctx.fileMode()) ignoredInFileMode(ctx, cmd.text);
    } else if (scanEqualsNoCase(name, "scroll")) {
      if (ctx.fileMode()) {
        ignoredInFileMode(ctx, cmd.text);
      } else if (SetResult r = applySetting(ctx.settings, "show", "scroll", item.value); r.changed) {
        ctx.settingsChanged = true;
        addInfo(ctx, r.message);
      }
    } else if (scanEqualsNoCase(name, "noecho")) {
      ctx.output->showHidden = scanEqualsNoCase(item.value, "yes");
    } else if (scanEqualsNoCase(name, "machine")) {
      showMachine(ctx);
    } else if (scanEqualsNoCase(name, "summary")) {
      std::string line = commandSummaryLine(ctx, false);
      if (!line.empty()) addInfo(ctx, line);
    } else if (scanEqualsNoCase(name, "memory")) {
      MemoryCounters m = CSMemoryCounters();
      addInfo(ctx, strFormat("Memory: Blocks:%d Allocs:%d Bytes:%d High:%d", m.blocksInUse, m.allocations,
                             m.bytesInUse, m.highWater));
    } else if (scanEqualsNoCase(name, "cmdhist")) {
      for (const auto &h : ctx.history) addInfo(ctx, h);
      addInfo(ctx, strFormat("%d command entries", static_cast<int>(ctx.history.size())));
    } else if (scanEqualsNoCase(name, "conns")) {
      for (const std::string &line : connectionReport(ctx)) addInfo(ctx, line);
    } else if (scanEqualsNoCase(name, "func")) {
      addInfo(ctx, "No functions defined");
    }
  }
}

// ---- =syn ---------------------------------------------------------------------------------

Synonym *findSynonym(ProgramContext &ctx, std::string_view name) {
  for (auto &s : ctx.synonyms)
    if (scanEqualsNoCase(s.name, name)) return &s;
  return nullptr;
}

// Follows the synonyms used by `command`; true (with the chain) when `name` is met again.
bool synonymRecursion(ProgramContext &ctx, const std::string &name, const std::string &command,
                      std::vector<std::pair<std::string, std::string>> &chain, int depth) {
  if (depth > 64) return true;
  size_t pos = 0;
  while (true) {
    ScanToken t = scanNextToken(command, pos);
    if (t.exhausted) return false;
    std::string_view token = t.view(command);
    if (scanEqualsNoCase(token, name)) return true;
    if (Synonym *s = findSynonym(ctx, token)) {
      chain.emplace_back(std::string(token), s->command);
      if (synonymRecursion(ctx, name, s->command, chain, depth + 1)) return true;
      chain.pop_back();
    }
  }
}

void doSyn(ProgramContext &ctx, ParsedCommand &cmd, int) {
  const std::string &name = cmd.items[0].value;
  if (name.size() > kMaxSynonym) {
    addError(ctx, "Please keep the synonym to 10 chaarcters or less");
    return;
  }
  if (!name.empty() && name[0] >= '0' && name[0] <= '9') {
    addError(ctx, strFormat("Name '%s' can not start with a number", name.c_str()));
    return;
  }
  for (char c : name)
    if (!std::strchr(kSynonymChars, c)) {
      addError(ctx, strFormat("Name '%s' contains invalid character '%c'.", name.c_str(), c));
      return;
    }
  std::string command = cmd.value("cmd");
  if (!command.empty()) {
    std::vector<std::pair<std::string, std::string>> chain{{name, command}};
    if (synonymRecursion(ctx, name, command, chain, 0)) {
      addError(ctx, "Synonym recursion detected");
      for (const auto &[n, c] : chain)
        addError(ctx, strFormat("Synonym '%.*s' has value '%s'", static_cast<int>(n.size()), n.data(), c.c_str()));
      return;
    }
  }
  auto &list = ctx.synonyms;
  list.erase(std::remove_if(list.begin(), list.end(), [&](const Synonym &s) { return scanEqualsNoCase(s.name, name); }),
             list.end());
  if (!command.empty()) {
    auto at = std::find_if(list.begin(), list.end(),
                           [&](const Synonym &s) { return strcasecmp(s.name.c_str(), name.c_str()) > 0; });
    list.insert(at, Synonym{name, command});
  }
  ctx.settingsChanged = true;
  ctx.saveWanted = ctx.saveWanted || !ctx.fileMode();
}

// ---- =import --------------------------------------------------------------------------------

kvarn::script::ImportRequest importRequest(const ParsedCommand &cmd) {
  kvarn::script::ImportRequest r;
  r.file = cmd.value("file");
  r.hasParms = cmd.has("parms");
  r.parms = cmd.value("parms");
  r.quiet = cmd.has("quiet");
  r.stopOnFailure = cmd.has("sof");
  r.keepHistory = cmd.has("cmdhist");
  return r;
}

void cslDoImportCommand(ProgramContext &ctx, ParsedCommand &cmd, int) {
  kvarn::script::cmdImportCommand(ctx, importRequest(cmd));
}

// ---- CCDT mode entry points ------------------------------------------------------------------

// =ccdt and =ccdtj: the version is checked as -V checks it; the mode itself comes with
// the CCDT commands, and until then nothing of a channel table may reach a queue manager.
void doCcdt(ProgramContext &ctx, ParsedCommand &cmd, int) {
  if (cmd.has("version")) {
    int version = 0;
    switch (parseCcdtVersion(cmd.value("version"), version)) {
    case CcdtVersionParse::Ok: break;
    case CcdtVersionParse::UnknownName: addError(ctx, ccdtVersionListMessage()); return;
    case CcdtVersionParse::OutOfRange: addError(ctx, scanTrim(ccdtVersionRangeMessage())); return;
    }
  }
  addError(ctx, "CCDT mode is not available in this build");
}

void doMerge(ProgramContext &ctx, ParsedCommand &cmd, int) {
  if (!ctx.ccdtMode) return addError(ctx, "The merge command should be issued while in CCDT mode");
  if (!cmd.has("ccdt")) return addError(ctx, "Please enter a CCDT parameter");
  if (!cmd.has("channel")) return addError(ctx, "Please enter a CHANNEL parameter");
  if (scanTrim(cmd.value("channel")).empty()) return addError(ctx, "The CHANNEL parameter should not be empty");
}

// ---- the rest ---------------------------------------------------------------------------

void doScreenOnly(ProgramContext &ctx, ParsedCommand &cmd, int) {
  if (ctx.fileMode()) ignoredInFileMode(ctx, cmd.text);
}

// Whether the line of a local command is echoed (the echo rule for non-statements).
} // namespace

std::string commandSummaryLine(const ProgramContext &ctx, bool endOfRun) {
  uint32_t bits = ctx.counting.summary;
  if (endOfRun) bits &= ~kSummaryNone;
  else if (bits & kSummaryNone) return "";
  if (bits == 0) bits = kSummaryDefault;
  if (bits & kSummaryDefault) bits |= kSummaryTotal | kSummaryOk | kSummaryFail;
  bool total = bits & kSummaryTotal;
  bool ok = (bits & kSummaryOk) || ((bits & kSummaryOkNZ) && (!endOfRun || ctx.succeeded != 0));
  bool fail = (bits & kSummaryFail) || ((bits & kSummaryFailNZ) && (!endOfRun || ctx.failed != 0));
  if (!total && !ok && !fail) return "";
  std::string line = "MQSC Command summary - ";
  if (total) line += strFormat("Issued: %u ", ctx.issued);
  if (ok) line += strFormat("Success: %u ", ctx.succeeded);
  if (fail) line += strFormat("Fail: %u ", ctx.failed);
  return line;
}

bool runSynonym(ProgramContext &ctx, const std::string &text) {
  std::string_view t = scanTrim(text);
  size_t nameEnd = 0;
  while (nameEnd < t.size() && t[nameEnd] != '(' && !isScanSpace(t[nameEnd])) ++nameEnd;
  Synonym *syn = findSynonym(ctx, t.substr(0, nameEnd));
  if (!syn) return false;
  if (nameEnd < t.size() && t[nameEnd] != '(') return false;
  if (nameEnd < t.size()) {
    int depth = 0;
    size_t close = std::string_view::npos;
    for (size_t i = nameEnd; i < t.size(); ++i) {
      if (t[i] == '(') ++depth;
      else if (t[i] == ')' && --depth == 0) { close = i; break; }
    }
    if (close == std::string_view::npos) {
      addError(ctx, "Closing bracket not found on synonym command");
      return true;
    }
    std::string parms(t.substr(nameEnd + 1, close - nameEnd - 1));
    kvarn::script::cmdSetParameters(ctx, &parms);
  }
  runStringSource(ctx, syn->command, syn->name);
  return true;
}

void registerDriverHandlers() {
  static const struct { const char *name; LocalHandler handler; } kHandlers[] = {
      {"=set", doSet},       {"=colour", doColour},   {"=cache", doCache},         {"=count", doCount},
      {"=echo", doEcho},     {"=output", doOutput},   {"=show", doShow},           {"=syn", doSyn},
      {"=import", cslDoImportCommand}, {"=cls", doScreenOnly}, {"=purge", doScreenOnly},
      {"=repeat", doScreenOnly},  {"=ccdt", doCcdt},     {"=ccdtj", doCcdt},          {"=merge", doMerge},
  };
  for (const auto &h : kHandlers) setLocalHandler(h.name, h.handler);
  for (const LocalHandlerRow &row : transportLocalHandlers()) setLocalHandler(row.name, row.handler);
  setLocalCommandIssuer(cslIssueLocalCommand);
}

void cslIssueLocalCommand(ProgramContext &ctx, InputSource *source, std::string_view text, int issueSource) {
  ++ctx.localCommandSeq;
  std::string command(text);
  TraceScope trace(ctx, "cslIssueLocalCommand", command);
  if (command.size() >= kMaxLocalCommand) {
    addCommandEcho(ctx, command, true);
    addError(ctx, "Command too long");
    return;
  }
  ParsedCommand parsed;
  SyntaxResult check = checkLocalCommand(command, parsed);
  if (!check.ok) {
    if (!check.help) addCommandEcho(ctx, command, true);
    for (const auto &line : check.lines) check.help ? addInfo(ctx, line) : addError(ctx, line);
    return;
  }
  // =echo echoes itself (by the switches as they were before it); the echo of =output
  // stays out of the file it opens.
  const std::string &name = parsed.command->name;
  if (name != "=echo") echoCommandLine(ctx, source, command, issueSource, EchoKind::Command, name == "=output");
  if (parsed.command->handler) {
    parsed.command->handler(ctx, parsed, issueSource);
  } else if (issueSource == IssueFromUser) {
    addError(ctx, "Unrecognised command");
  }
}

bool parseImportCommand(ProgramContext &, std::string_view text, kvarn::script::ImportRequest &request) {
  ParsedCommand parsed;
  SyntaxResult check = checkLocalCommand(std::string(text), parsed);
  if (!check.ok || !parsed.command || parsed.command->name != "=import") return false;
  request = importRequest(parsed);
  return true;
}
