// The steps of command preparation, each in a file of its own: namelist editing
// (namelist_edit.cpp) and the generic-name rewrite (generic_names.cpp).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mqi/mqi.h"
#include "mqsc/command_record.h"
#include "mqsc/request.h"

// ---- namelist =ADD / =RMV

inline constexpr size_t kNamelistMaxNames = 256;

enum class NamelistStep {
  NotApplicable,  // not ALTER NAMELIST, or neither =ADD nor =RMV: the command goes on unchanged
  Rebuilt,        // the text now holds the rebuilt ALTER with NAMES(...)
  Failed,         // the message is in `message` (or the record's lines)
};

NamelistStep editNamelist(ProgramContext &ctx, const MqscTarget &target, CommandRecord &record, std::string &text,
                          MqscExchange *exchange, std::string &message);

// Collects the current names of a namelist from the replies to its DISPLAY.
class NamelistMerge {
 public:
  NamelistMerge(const MqscTarget &target) : target_(target) {}
  // One reply; true when it was the last.
  bool onReply(const MQMD &md, const uint8_t *data, size_t length);
  bool ok() const { return ok_ && gotNames_; }
  const std::vector<std::string> &names() const { return names_; }
  const std::string &message() const { return message_; }
  // The reply's text when it reported a failure, for the command's output.
  const std::vector<std::string> &failureText() const { return failureText_; }

 private:
  bool takeNames(std::string_view recordText);
  void failWithText(std::string_view text);
  bool zosLine(std::string_view line);
  const MqscTarget &target_;
  std::vector<std::string> failureText_;
  std::vector<std::string> names_;
  std::string message_;
  bool ok_ = true;
  bool gotNames_ = false;
};

// Rebuilds the ALTER command from the typed text and the current names. False with
// `message` on a repeated modifier or too many names.
bool rebuildNamelistAlter(std::string_view typed, const std::vector<std::string> &current, std::string &rebuilt,
                          std::string &message);

// ---- generic names

// The response keyword that carries the object's name for a typed keyword, or "" when
// the keyword has no row for this platform.
std::string_view genericNameKeyword(std::string_view typed, bool zos);

// Rewrites DIS/DISPLAY clauses whose value holds an inner wildcard to a plain generic
// name, recording a name filter per clause. False with `message` on a syntax error.
bool rewriteGenericNames(std::string &text, bool zos, CommandRecord &record, std::string &message);

// Matches MQ object names against a pattern of '*' (any run) and '?' (any one character).
bool wildcardMatch(std::string_view pattern, std::string_view name);
