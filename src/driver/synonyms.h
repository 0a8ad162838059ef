// Synonyms: short names (at most 10 characters) that stand for a command text. They
// are kept in the context ordered by name without regard to case and saved with the
// configuration.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "context/local_command.h"

struct ProgramContext;
struct Synonym;

inline constexpr size_t kMaxSynonymName = 10;

const Synonym *findSynonym(const ProgramContext &ctx, std::string_view name);
// Inserts in name order, replacing a synonym of the same name; no checks (the
// configuration file's synonyms are taken as written).
void storeSynonym(ProgramContext &ctx, const std::string &name, const std::string &command);

// How a command calls a synonym: its first word is a synonym's name and is the whole
// command or is followed directly by '(' ; the text inside that bracket is the call's
// parameters, split at commas as =import parms are.
struct SynonymCall {
  const Synonym *synonym = nullptr;  // null: the command is not a synonym call
  bool hasParameters = false;
  std::vector<std::string> parameters;
  std::vector<std::string> errors;  // the call is refused with these lines
};
SynonymCall matchSynonym(const ProgramContext &ctx, std::string_view command);

// Marks a synonym as running for the length of its run, so that synonyms that call
// each other (as a hand-edited configuration file can make them) end with a message.
// Synonyms run inside each other at most this deep.
constexpr size_t kMaxSynonymNesting = 100;

class SynonymRun {
 public:
  SynonymRun(ProgramContext &ctx, const Synonym &synonym);
  ~SynonymRun();
  SynonymRun(const SynonymRun &) = delete;
  SynonymRun &operator=(const SynonymRun &) = delete;

 private:
  ProgramContext &ctx_;
};

// Expands a synonym invocation; returns false when `text` is not one.
bool runSynonym(ProgramContext &ctx, const std::string &text);
