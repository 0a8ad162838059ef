// qmsim's own description of IBM MQ's objects as MQSC shows them: for each object
// type its keywords in IBM's display order, their value types, ranges and defaults,
// and the messages MQSC answers with. Written from IBM's MQSC reference; it is the
// command server's model and shares nothing with KVARN's vocabulary.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/objects.h"

namespace qmsim::cmdserver {

enum class ValueKind { String, Integer, Enum, Flag, List, ReadOnly };

struct AttrDef {
  std::string keyword;
  ValueKind kind = ValueKind::String;
  size_t maxLength = 0;
  long min = 0, max = 0;
  std::vector<std::string> words;  // enum values; a flag's negative keyword; keywords an integer also takes
  std::string defaultValue;        // as stored: flags YES/NO
  std::string classes;             // the object classes it applies to; empty: all

  bool appliesTo(char cls) const { return classes.empty() || classes.find(cls) != std::string::npos; }
};

struct TypeDef {
  std::string keyword;                // QLOCAL, CHANNEL ...
  std::vector<std::string> synonyms;  // QL ...
  ObjectKind kind;
  std::string subtype;        // stored QTYPE for queue types; empty for others
  std::string nameKeyword;    // QUEUE, CHANNEL ...
  std::string typeKeyword;    // shown second: TYPE for queues, CHLTYPE for channels, or empty
  std::string defaultObject;  // SYSTEM.DEFAULT.* the definitions start from
  size_t maxName = 48;
  std::string created, changed, deleted, display;  // the messages
  const std::vector<AttrDef>* attrs = nullptr;
  bool displayAllByDefault = false;  // DISPLAY QMGR shows everything without ALL
};

// Object types MQSC names in DEFINE, ALTER, DELETE and DISPLAY (QUEUE and QCLUSTER
// for DISPLAY only).
const std::vector<TypeDef>& objectTypes();
const TypeDef* findType(const std::string& keyword);
const TypeDef& qmgrType();
const TypeDef& queueTypeFor(const std::string& qtype);  // the QLOCAL ... row of a stored queue

// The class letter attribute rows are selected by: queue type, channel type or auth type.
char objectClass(const ObjectDef& def);
// Channel types and their class letters.
std::string channelTypeFromClass(char cls);
char channelClass(const std::string& chltype);

const AttrDef* findAttr(const TypeDef& type, const std::string& keyword);
// A keyword in either of its forms (NOSHARE finds SHARE).
const AttrDef* findAttrOrFlag(const TypeDef& type, const std::string& keyword, bool& negative);

// Checks and normalises one value for the attribute; false with a reason when invalid.
bool normaliseValue(const AttrDef& attr, const std::vector<std::string>& items, bool quoted, std::string& stored);

// The attribute as DISPLAY shows it: KEYWORD(value), KEYWORD( ) when blank, or a bare flag.
std::string formatAttr(const AttrDef& attr, const std::string& stored);

}  // namespace qmsim::cmdserver
