// One CCDT command, parsed, and the rows of the CCDT command table.
#pragma once
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ccdtmode/ccdt_mode.h"
#include "ccdtmode/channel_attributes.h"
#include "mqsc/command_record.h"

namespace kvarn::ccdtmode {

// Where a command's lines go: its command record, as a queue manager's replies would.
class Reply {
 public:
  Reply(ProgramContext &ctx, CommandRecord &record) : ctx_(ctx), record_(record) {}
  // A line of response text (a record header starts a display record).
  void text(std::string_view line);
  // A failure: the line, and the record marked as failed (and as not found).
  void fail(std::string_view line, bool notFound = false);
  // A failure of the command's syntax or attributes: the command's usage text follows.
  void bad(std::string_view line) {
    fail(line);
    usageWanted_ = true;
  }
  bool usageWanted() const { return usageWanted_; }
  // Several lines of a usage text, as one response.
  void usage(std::string_view lines);
  bool failed() const { return record_.has(kMarkError); }
  CommandRecord &record() { return record_; }
  ProgramContext &ctx() { return ctx_; }

 private:
  ProgramContext &ctx_;
  CommandRecord &record_;
  bool usageWanted_ = false;
};

struct CcdtCommandRow;

struct CcdtCommand {
  const CcdtCommandRow *row = nullptr;
  std::string text;  // the command, modifiers taken out
  std::string name;  // the object's name
  std::vector<Clause> clauses;
  const Clause *find(std::string_view keyword) const;
  bool has(std::string_view keyword) const { return find(keyword) != nullptr; }
};

using CcdtHandler = void (*)(ProgramContext &ctx, CcdtModeState &state, CcdtCommand &command, Reply &reply);

// One row per verb and object: the names, the PCF command code whose attribute rules
// apply, the verb's bit for the attribute rows, the usage text and the handler.
struct CcdtCommandRow {
  const char *verb;
  const char *verbShort;  // "" when none
  const char *object;
  const char *objectShort;
  int code;
  unsigned verbBit;
  const char *usage;  // follows "AMQ8427: Valid syntax for the MQSC command:"
  CcdtHandler handler;
};

std::span<const CcdtCommandRow> channelCommandRows();
std::span<const CcdtCommandRow> authinfoCommandRows();

// A name's characters: blanks, letters, digits and "./_%".
bool isValidObjectName(std::string_view name);
// Text without its trailing blanks, as a std::string.
std::string trimmedName(std::string_view name);
// A 1-based number of a JSON-only parameter: false (with the message in `reply`) when
// it is not a positive number. `all` accepts ALL (-1); `beforeAfter` BEFORE (-2) and
// AFTER (-3).
bool jsonNumber(const CcdtCommand &command, const char *keyword, Reply &reply, int &value, bool all = false,
                bool beforeAfter = false);
inline constexpr int kAll = -1, kBefore = -2, kAfter = -3;

}  // namespace kvarn::ccdtmode
