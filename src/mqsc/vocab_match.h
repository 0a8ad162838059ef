// Private to the vocabulary module: prefix matching and the lookup messages. Comparison
// without regard to case is text/text.h's.
#pragma once

#include <string>
#include <string_view>

namespace vocab {

// ASCII case folding: keywords and constant names are plain ASCII, and the C library's
// toupper costs a locale look-up per character on the hot lookup paths.
inline char FoldUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// A prefix matches a name when the name starts with it; a prefix beginning with '#'
// matches when the rest occurs anywhere in the name.
bool prefixMatches(std::string_view name, std::string_view prefix);

// Writes the format with its one "%s" replaced by word; a word too long for a 77-character
// message is cut and "..." appended.
void setMessage(std::string* message, std::string_view format, std::string_view word);

}  // namespace vocab
