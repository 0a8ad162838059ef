#include "driver/synonyms.h"

#include <algorithm>
#include <set>

#include "context/context.h"
#include "context/output.h"
#include "driver/dispatch.h"
#include "driver/local_handlers.h"
#include "runtime/scan.h"
#include "script/parameters.h"

namespace {

// The name a command calls a synonym by, as synonym expansion reads it: the command's
// first word, when it is the whole command or is followed directly by '('; "" otherwise.
std::string_view callName(std::string_view command) {
  std::string_view text = scanTrim(command);
  size_t nameEnd = 0;
  while (nameEnd < text.size() && text[nameEnd] != '(' && !isScanSpace(text[nameEnd])) ++nameEnd;
  if (nameEnd == 0 || (nameEnd < text.size() && text[nameEnd] != '(')) return {};
  return text.substr(0, nameEnd);
}

// Calls `visit` with the name of each synonym call among the commands the text runs, until
// it returns true. The text is cut into commands as the command reader cuts it: at line
// ends and at ';' outside quotes and brackets, and the text after a block keyword (after
// the ')' of if, while, foreach and foritem, or after else, endif and endfor) is a command
// of its own. Quoted text is one token: a name inside quotes is never a call.
template <typename Visit>
bool anyCall(std::string_view text, Visit &&visit) {
  while (!text.empty()) {
    size_t lineEnd = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, lineEnd);
    text = lineEnd < text.size() ? text.substr(lineEnd + 1) : std::string_view();
    while (!line.empty()) {
      size_t stop = std::min(scanFindStatementEnd(line), line.size());
      std::string_view command = scanTrim(line.substr(0, stop));
      line = stop < line.size() ? line.substr(stop + 1) : std::string_view();
      while (!command.empty()) {
        size_t wordEnd = 0;
        while (wordEnd < command.size() && command[wordEnd] != '(' && !isScanSpace(command[wordEnd])) ++wordEnd;
        std::string_view word = command.substr(0, wordEnd);
        std::string_view rest = scanTrim(command.substr(wordEnd));
        if (scanEqualsNoCase(word, "if") || scanEqualsNoCase(word, "while") || scanEqualsNoCase(word, "foreach") ||
            scanEqualsNoCase(word, "foritem")) {
          if (rest.empty() || rest[0] != '(') break;
          size_t close = scanClosingBracket(rest, 0);
          command = close < rest.size() ? scanTrim(rest.substr(close + 1)) : std::string_view();
          continue;
        }
        if (scanEqualsNoCase(word, "else") || scanEqualsNoCase(word, "endif") || scanEqualsNoCase(word, "endfor")) {
          command = rest;
          continue;
        }
        std::string_view name = callName(command);
        if (!name.empty() && visit(name)) return true;
        break;
      }
    }
  }
  return false;
}

// Whether `command` reaches the synonym `target` through the synonyms it calls; the
// synonyms passed through, in order, are left in `chain`. The synonyms already defined
// cannot call each other round (each was checked when it was defined), so only the chain
// that starts at the new text can come back to `target`. Each synonym is followed at most
// once and the walk keeps its own stack, so a definition costs no more than the synonyms
// that chain reaches, however long it is.
bool reachesSynonym(const ProgramContext &ctx, std::string_view target, std::string_view command,
                    std::vector<const Synonym *> &chain) {
  struct Frame {
    const Synonym *synonym;  // null for the new text itself
    std::vector<std::string_view> calls;
    size_t next = 0;
  };
  auto callsIn = [](std::string_view text) {
    std::vector<std::string_view> calls;
    anyCall(text, [&](std::string_view name) {
      calls.push_back(name);
      return false;
    });
    return calls;
  };
  std::set<const Synonym *> followed;
  std::vector<Frame> stack;
  stack.push_back(Frame{nullptr, callsIn(command)});
  while (!stack.empty()) {
    Frame &top = stack.back();
    if (top.next == top.calls.size()) {
      stack.pop_back();
      continue;
    }
    std::string_view name = top.calls[top.next++];
    if (scanEqualsNoCase(name, target)) {
      for (const Frame &f : stack)
        if (f.synonym) chain.push_back(f.synonym);
      return true;
    }
    const Synonym *next = findSynonym(ctx, name);
    if (!next || !followed.insert(next).second) continue;
    stack.push_back(Frame{next, callsIn(next->command)});
  }
  return false;
}

std::string chainLine(const std::string &name, const std::string &command) {
  return strFormat("Synonym '%.*s' has value '%s'", static_cast<int>(name.size()), name.data(), command.c_str());
}

bool isRunning(const ProgramContext &ctx, const Synonym &synonym) {
  return std::any_of(ctx.runningSynonyms.begin(), ctx.runningSynonyms.end(),
                     [&](const std::string &name) { return scanEqualsNoCase(name, synonym.name); });
}

std::vector<std::string> runningChain(const ProgramContext &ctx) {
  std::vector<std::string> lines{"Synonym recursion detected"};
  for (const std::string &name : ctx.runningSynonyms)
    if (const Synonym *s = findSynonym(ctx, name)) lines.push_back(chainLine(s->name, s->command));
  return lines;
}

}  // namespace

const Synonym *findSynonym(const ProgramContext &ctx, std::string_view name) {
  auto at = ctx.synonyms.find(name);
  return at != ctx.synonyms.end() ? &*at : nullptr;
}

void storeSynonym(ProgramContext &ctx, const std::string &name, const std::string &command) {
  auto at = ctx.synonyms.find(std::string_view(name));
  if (at != ctx.synonyms.end()) at = ctx.synonyms.erase(at);  // the new letter case replaces the old
  ctx.synonyms.insert(at, Synonym{name, command});
}

SynonymCall matchSynonym(const ProgramContext &ctx, std::string_view command) {
  SynonymCall call;
  std::string_view text = scanTrim(command);
  std::string_view name = callName(text);
  if (name.empty()) return call;
  size_t nameEnd = name.size();
  call.synonym = findSynonym(ctx, name);
  if (!call.synonym) return call;
  if (isRunning(ctx, *call.synonym)) {
    call.errors = runningChain(ctx);
    return call;
  }
  // Each synonym run nests a source on the stack: a long chain of synonyms calling each
  // other ends at a fixed depth.
  if (ctx.runningSynonyms.size() >= kMaxSynonymNesting) {
    call.errors.push_back(strFormat("Synonyms are nested more than %zu deep", kMaxSynonymNesting));
    return call;
  }
  if (nameEnd == text.size()) return call;
  size_t close = scanClosingBracket(text, nameEnd);
  if (close >= text.size()) {
    call.errors.push_back("Closing bracket not found on synonym command");
    return call;
  }
  call.hasParameters = true;
  call.parameters = kvarn::script::splitParameters(std::string(text.substr(nameEnd + 1, close - nameEnd - 1)));
  return call;
}

SynonymRun::SynonymRun(ProgramContext &ctx, const Synonym &synonym) : ctx_(ctx) {
  ctx_.runningSynonyms.push_back(synonym.name);
}

SynonymRun::~SynonymRun() { ctx_.runningSynonyms.pop_back(); }

// =syn(name) cmd(text): defines, replaces or (without cmd) deletes a synonym.
void cslDoSynonymCommand(ProgramContext &ctx, ParsedCommand &cmd, int) {
  const std::string &name = cmd.items[0].value;
  if (name.empty()) return addError(ctx, "Please enter a synonym name");
  if (name.size() > kMaxSynonymName) return addError(ctx, "Please keep the synonym to 10 chaarcters or less");
  if (std::string error = checkLocalName(name); !error.empty()) return addError(ctx, error);
  std::string command = cmd.value("cmd");
  if (!command.empty()) {
    std::vector<const Synonym *> chain;
    if (reachesSynonym(ctx, name, command, chain)) {
      addError(ctx, "Synonym recursion detected");
      addError(ctx, chainLine(name, command));
      for (const Synonym *s : chain) addError(ctx, chainLine(s->name, s->command));
      return;
    }
    storeSynonym(ctx, name, command);
  } else {
    if (auto at = ctx.synonyms.find(std::string_view(name)); at != ctx.synonyms.end()) ctx.synonyms.erase(at);
  }
  ctx.settingsChanged = true;
}

std::vector<LocalCommand> synonymLocalCommands() {
  return {{"=syn",
           "Set or clear a command synonym",
           {{"cmd", "Command which should be issued instead", kLocalAnyValue}},
           {{"!t", "<Synonym>"}, {"<value>", ""}},
           cslDoSynonymCommand}};
}

bool runSynonym(ProgramContext &ctx, const std::string &text) {
  SynonymCall call = matchSynonym(ctx, text);
  if (!call.synonym) return false;
  for (const std::string &line : call.errors) addError(ctx, line);
  if (!call.errors.empty()) return true;
  if (call.hasParameters) kvarn::script::setScriptParameters(ctx, call.parameters);
  SynonymRun running(ctx, *call.synonym);
  runStringSource(ctx, call.synonym->command, call.synonym->name);
  return true;
}
