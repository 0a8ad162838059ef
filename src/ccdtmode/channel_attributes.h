// The attributes of a client-connection channel as the CCDT commands read and show
// them: one row per keyword, with the verbs it applies to, the kind of value it takes,
// its limits and the definition field it fills.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ccdt/channel.h"

namespace kvarn::ccdtmode {

// The verbs of the CCDT commands, as bits of a row's verb mask.
enum VerbBits : unsigned {
  kVerbDefine = 1,
  kVerbAlter = 2,
  kVerbDelete = 4,
  kVerbDisplay = 8,
  kVerbMove = 16,
};

enum class AttributeKind {
  Text,         // characters, up to maxLength
  Secret,       // as Text, shown as asterisks
  Number,       // a decimal number from low to high
  Keyword,      // one of the row's keywords
  KeywordList,  // a list of the row's keywords into an int32 array
  ExitList,     // a list of exit names or exit data
  ChannelType,  // CHLTYPE and TYPE
  Altered,      // ALTDATE and ALTTIME: shown, never set
  Flag,         // REPLACE, NOREPLACE: no value
  JsonNumber,   // INDEX, POSITION, NEWPOS: JSON tables only
};

struct KeywordValue {
  const char *keyword;
  int32_t value;
};

struct ChannelAttribute {
  const char *keyword;
  AttributeKind kind;
  unsigned verbs;  // VerbBits it is accepted with
  std::string kvarn::ccdt::ChannelDefinition::*text = nullptr;
  int32_t *(*number)(kvarn::ccdt::ChannelDefinition &) = nullptr;
  int maxLength = 0;  // Text, Secret, ExitList (each entry)
  int64_t low = 0, high = 0;
  std::span<const KeywordValue> values{};
  int count = 1;  // KeywordList: elements of the array
  kvarn::ccdt::ExitList list = kvarn::ccdt::SendExits;
  bool shownByAll = true;  // part of DISPLAY ... ALL
};

std::span<const ChannelAttribute> channelAttributes();
const ChannelAttribute *findChannelAttribute(std::string_view keyword);

// One KEYWORD(value) of a command, as typed.
struct Clause {
  std::string keyword;  // upper case
  std::string value;    // raw text between the brackets
  bool hasValue = false;
};

// Reads a clause's value for `attr` into `def`. False with `message` (an AMQ8427 or
// AMQ8413 line) when the value is not acceptable.
bool applyChannelAttribute(const ChannelAttribute &attr, const Clause &clause, kvarn::ccdt::ChannelDefinition &def,
                           std::string &message);

// The attribute as a display shows it: "DESCR(text)".
std::string formatChannelAttribute(const ChannelAttribute &attr, const kvarn::ccdt::ChannelDefinition &def);

// ALTDATE(yyyy-mm-dd) or ALTTIME(hh.mm.ss) of an alteration time, in local time.
std::string formatAlteredAttribute(const char *keyword, int64_t seconds);

// An MQSC value: quoted text loses its quotes (a doubled quote stands for one), other
// text is upper-cased and trimmed.
std::string mqscValue(std::string_view raw);

// The keyword of a value in a row's table, or "" when the value has none.
std::string_view keywordOfValue(std::span<const KeywordValue> values, int32_t value);

}  // namespace kvarn::ccdtmode
