#include "driver/synonyms.h"

#include <strings.h>

#include <algorithm>
#include <set>

#include "context/context.h"
#include "context/output.h"
#include "driver/local_commands.h"
#include "runtime/scan.h"
#include "script/parameters.h"

namespace {

// Calls `visit` with every word of `text` that could name a synonym (each run of the
// characters a name may hold) until it returns true.
template <typename Visit>
bool anyNameWord(std::string_view text, Visit &&visit) {
  size_t pos = 0;
  while ((pos = text.find_first_of(kLocalNameCharacters, pos)) != std::string_view::npos) {
    size_t end = std::min(text.find_first_not_of(kLocalNameCharacters, pos), text.size());
    if (visit(text.substr(pos, end - pos))) return true;
    pos = end;
  }
  return false;
}

// Whether `command` reaches the synonym `target` through the synonyms it names; the
// synonyms passed through are left in `chain`. Each synonym is followed at most once,
// which keeps the search linear however the synonyms share each other.
bool reachesSynonym(const ProgramContext &ctx, std::string_view target, std::string_view command,
                    std::vector<const Synonym *> &chain, std::set<const Synonym *> &followed) {
  return anyNameWord(command, [&](std::string_view word) {
    if (scanEqualsNoCase(word, target)) return true;
    const Synonym *next = findSynonym(ctx, word);
    if (!next || !followed.insert(next).second) return false;
    chain.push_back(next);
    if (reachesSynonym(ctx, target, next->command, chain, followed)) return true;
    chain.pop_back();
    return false;
  });
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

} // namespace

const Synonym *findSynonym(const ProgramContext &ctx, std::string_view name) {
  for (const auto &s : ctx.synonyms)
    if (scanEqualsNoCase(s.name, name)) return &s;
  return nullptr;
}

void storeSynonym(ProgramContext &ctx, const std::string &name, const std::string &command) {
  auto &list = ctx.synonyms;
  list.erase(std::remove_if(list.begin(), list.end(), [&](const Synonym &s) { return scanEqualsNoCase(s.name, name); }),
             list.end());
  auto at = std::find_if(list.begin(), list.end(),
                         [&](const Synonym &s) { return strcasecmp(s.name.c_str(), name.c_str()) > 0; });
  list.insert(at, Synonym{name, command});
}

SynonymCall matchSynonym(const ProgramContext &ctx, std::string_view command) {
  SynonymCall call;
  std::string_view text = scanTrim(command);
  size_t nameEnd = 0;
  while (nameEnd < text.size() && text[nameEnd] != '(' && !isScanSpace(text[nameEnd])) ++nameEnd;
  if (nameEnd == 0 || (nameEnd < text.size() && text[nameEnd] != '(')) return call;
  call.synonym = findSynonym(ctx, text.substr(0, nameEnd));
  if (!call.synonym) return call;
  if (isRunning(ctx, *call.synonym)) {
    call.errors = runningChain(ctx);
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

void cslDoSynonymCommand(ProgramContext &ctx, ParsedCommand &cmd, int) {
  const std::string &name = cmd.items[0].value;
  if (name.empty()) return addError(ctx, "Please enter a synonym name");
  if (name.size() > kMaxSynonymName) return addError(ctx, "Please keep the synonym to 10 chaarcters or less");
  if (std::string error = checkLocalName(name); !error.empty()) return addError(ctx, error);
  std::string command = cmd.value("cmd");
  if (!command.empty()) {
    std::vector<const Synonym *> chain;
    std::set<const Synonym *> followed;
    if (reachesSynonym(ctx, name, command, chain, followed)) {
      addError(ctx, "Synonym recursion detected");
      addError(ctx, chainLine(name, command));
      for (const Synonym *s : chain) addError(ctx, chainLine(s->name, s->command));
      return;
    }
    storeSynonym(ctx, name, command);
  } else {
    std::erase_if(ctx.synonyms, [&](const Synonym &s) { return scanEqualsNoCase(s.name, name); });
  }
  ctx.settingsChanged = true;
}
