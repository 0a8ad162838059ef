// Text for consumers that require UTF-8 (the JSON Lines output). Queue managers send
// whatever their code page holds; a byte that is not part of a well-formed UTF-8
// sequence is taken as the Latin-1 character of the same value, so it is kept and its
// value can be recovered, never dropped.
#pragma once
#include <string>
#include <string_view>

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool isValidUtf8(std::string_view text);

// `text` with every byte outside a well-formed sequence replaced by the UTF-8 form of
// U+0080..U+00FF (the byte's Latin-1 reading). Well-formed text comes back unchanged.
std::string utf8OrLatin1(std::string_view text);

// Appends `text` as the inside of a JSON string: '"', '\\' and the control characters
// escaped (\b \f \n \r \t, \u00xx for the rest), and with `escapeDelete` DEL (0x7F)
// as \u007f too; every other byte as it is.
void appendJsonEscaped(std::string &out, std::string_view text, bool escapeDelete = false);
