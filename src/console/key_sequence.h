// The text of a key sequence, as =keyname takes it and the configuration file keeps
// it: a key code "0x10D" with an optional modifier mask ("0x10D (0x1)"), or the bytes
// of a terminal escape sequence as pairs of hexadecimal digits ("1B5B3131").
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "console/console_settings.h"
#include "context/context.h"

inline constexpr size_t kMaxEscapeBytes = 6;

// False when the text holds anything else. Blank text gives an empty stroke; bytes
// after the sixth are ignored.
bool parseKeySequence(std::string_view text, KeyStroke &out);
std::string formatKeySequence(const KeyStroke &stroke);
