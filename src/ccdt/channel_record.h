// The channel record of the binary table: one row per field, in file order, with
// the version that introduced it. A record of version v holds every row whose
// version is not above v, closed up; the table drives encoding, decoding and the
// field dump of the trace.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "ccdt/channel.h"

namespace kvarn::ccdt {

enum class FieldKind { Chars, Secret, Int32, Pointer, Time, EndMarker };

struct ChannelField {
  const char *label;
  int fromVersion;
  FieldKind kind;
  int count;                                 // bytes for chars, elements for int32
  int parameter;                             // PCF parameter identifier, 0 when the field is not shown
  std::string ChannelDefinition::*text;      // Chars, Secret
  int32_t *(*numbers)(ChannelDefinition &);  // Int32
};

std::span<const ChannelField> channelFields();

// Bytes of the fixed part of a record of the given version (1 to 12), 0 otherwise.
int channelRecordFixedLength(int version);

// Offset of the end marker (the record's StrucLength) in a record of the version.
int channelRecordStrucLength(int version);

// Largest total of the six exit lists a record may carry.
inline constexpr int kMaxExitListsLength = 10000;

// Encodes `def` as a record of `version`, stamping it with `alterTime`. The
// definition itself is not changed (its password stays plain). Returns 0, or
// 10001 with the message when the version or the exit lists are not writable.
int encodeChannelRecord(const ChannelDefinition &def, int version, int64_t alterTime, std::string &record,
                        std::string &message);

// Decodes a channel record into a full definition; fields the record's version
// lacks keep their defaults. `path` names the file in messages.
int decodeChannelRecord(std::string_view record, std::string_view path, ChannelDefinition &def, std::string &message);

// The reversible scrambling of stored user identifiers and passwords. Both work in
// place and return 0 or an error code; restore refuses bytes that cannot have come
// from scrambled text.
int scrambleSecret(char *data, size_t length);
int restoreSecret(char *data, size_t length);
// Whether `text`, once scrambled, restores: it holds no control characters. Text that
// would not is never written.
bool isRestorableSecret(std::string_view text);

// Writes the field dump of a definition (trace) to stderr.
void dumpChannelFields(const ChannelDefinition &def, int version);

}  // namespace kvarn::ccdt
