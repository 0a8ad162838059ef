// Private to the vocabulary module: case-insensitive matching and the lookup messages.
#pragma once

#include <string>
#include <string_view>

namespace vocab {

// ASCII case folding: keywords and constant names are plain ASCII, and the C library's
// toupper costs a locale look-up per character on the hot lookup paths.
inline char FoldUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline bool EqualsNoCaseSameLength(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (FoldUpper(a[i]) != FoldUpper(b[i])) return false;
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool ContainsNoCase(std::string_view text, std::string_view part);

// A prefix matches a name when the name starts with it; a prefix beginning with '#'
// matches when the rest occurs anywhere in the name.
bool prefixMatches(std::string_view name, std::string_view prefix);

// Writes the format with its one "%s" replaced by word; a word too long for a 77-character
// message is cut and "..." appended.
void setMessage(std::string* message, std::string_view format, std::string_view word);

}  // namespace vocab
