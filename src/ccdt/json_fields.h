// The members of a JSON channel object: one row per dotted path, with the kind of
// value it takes and the definition field it fills. Shared by the reader and the
// writer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "ccdt/channel.h"

namespace kvarn::ccdt::json {

// The longest exit list the reader keeps: its entries, each with a separator, and one
// more byte.
inline constexpr size_t kMaxExitListText = 9999;

struct Keyword {
  const char *name;
  int32_t value;
};

enum class MemberKind {
  Container,        // an object of further members
  Text,             // string into a chars field
  Number,           // int32
  Keyword,          // keyword of the row's table, or a number when allowed
  KeywordList,      // array of keywords into an int32 list
  ConnectionEntry,  // object with host and port, appended to Connection Name
  LocalAddress,     // object with host and port or portRange
  ExitEntry,        // object with name and userData, appended to two exit lists
  Host,
  Port,
  PortLow,
  PortHigh,
  ExitName,
  ExitData,
  Altered,
};

struct Member {
  const char *path;
  MemberKind kind;
  int parameter;
  std::string ChannelDefinition::*text = nullptr;
  int maxLength = 0;
  int32_t *(*numbers)(ChannelDefinition &) = nullptr;
  int count = 1;
  std::span<const Keyword> keywords{};
  bool numbersAllowed = false;
  ExitList names = SendExits;  // ExitEntry
};

std::span<const Member> members();
const Member *findMember(std::string_view path);  // exact path, without regard to case
const Member *findMemberByLastName(std::string_view name);

// Keyword of a value from a row's table, or nullptr.
const char *keywordOf(const Member &member, int32_t value);

}  // namespace kvarn::ccdt::json
