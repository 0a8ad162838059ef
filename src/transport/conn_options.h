// The =conn options: each writes one setting of the connection template, and the
// options that write into the channel definition raise its MQCD version to the
// version that introduced the field.
#pragma once
#include <cstddef>
#include <string_view>

#include "mqi/mqi.h"

struct Connection;

// The MQCD version that introduced the field at byte `offset` (1 for the fields
// before UserIdentifier).
MQLONG mqcdVersionForOffset(size_t offset);
// Raises cd.Version (and StrucLength) to at least `version`.
void raiseMqcdVersion(MQCD &cd, MQLONG version);

// Applies one option to the template. Returns false for a name it does not know.
bool applyConnOption(Connection &t, std::string_view name, std::string_view value, bool hasValue);

inline constexpr int kMaxConnOptions = 19;
