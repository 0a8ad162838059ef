// Text as a terminal shows it: UTF-8 decoded (a byte outside a well-formed sequence is
// its Latin-1 character, so nothing is dropped), each character as many columns wide as
// the terminal makes it (CJK and emoji two, a combining mark none, a control character
// one, painted as a placeholder). A line of output wraps over rows of a fixed width; a
// wide character that does not fit at the end of a row starts the next one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

struct TextChar {
  char32_t code = 0;     // the character (U+FFFD never: a stray byte is its Latin-1 value)
  uint32_t bytes = 1;    // its length in the text
  uint32_t columns = 1;  // its width on the screen
};

// The character at `at` (at < text.size()).
TextChar textCharAt(std::string_view text, size_t at);

// Screen columns of `text` on one row.
size_t textColumns(std::string_view text);

// Rows `text` takes at `width` columns: at least one (a width of 0: no wrapping).
uint32_t textRows(std::string_view text, uint32_t width);

// Byte offset at which row `row` of `text` starts at `width` columns (text.size() when
// the text has fewer rows).
size_t textRowStart(std::string_view text, uint32_t width, uint32_t row);
