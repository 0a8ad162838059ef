#include "runtime/text_columns.h"

#include <cwchar>

namespace {

// A continuation byte 10xxxxxx.
bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

uint32_t columnsOf(char32_t code) {
  if (code < 0x20 || (code >= 0x7F && code < 0xA0)) return 1;  // painted as a placeholder
  if (code < 0x7F) return 1;
  int w = ::wcwidth(static_cast<wchar_t>(code));
  if (w < 0) return 1;
  return static_cast<uint32_t>(w);
}

}  // namespace

TextChar textCharAt(std::string_view text, size_t at) {
  TextChar ch;
  auto c = static_cast<unsigned char>(text[at]);
  ch.code = c;
  if (c >= 0x80) {
    uint32_t need = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
    if (need > 0 && at + need < text.size()) {
      char32_t code = c & (0x3F >> need);
      bool ok = true;
      for (uint32_t k = 1; ok && k <= need; ++k) {
        if (!continuation(static_cast<unsigned char>(text[at + k]))) ok = false;
        else code = (code << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
      }
      // No overlong forms, no surrogates, nothing past U+10FFFF.
      static const char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
      if (ok && code >= kMinimum[need] && !(code >= 0xD800 && code <= 0xDFFF) && code <= 0x10FFFF) {
        ch.code = code;
        ch.bytes = need + 1;
      }
    }
  }
  ch.columns = columnsOf(ch.code);
  return ch;
}

size_t textColumns(std::string_view text) {
  size_t columns = 0;
  for (size_t at = 0; at < text.size();) {
    TextChar ch = textCharAt(text, at);
    columns += ch.columns;
    at += ch.bytes;
  }
  return columns;
}

namespace {

// Walks the rows of `text`; `onRow(start)` is called with each row's first byte and
// returns false to stop.
template <typename OnRow>
void walkRows(std::string_view text, uint32_t width, OnRow &&onRow) {
  if (width == 0) width = 1;
  if (!onRow(size_t{0})) return;
  uint32_t used = 0;
  for (size_t at = 0; at < text.size();) {
    TextChar ch = textCharAt(text, at);
    if (used + ch.columns > width && used > 0) {
      if (!onRow(at)) return;
      used = 0;
    }
    used += ch.columns;
    at += ch.bytes;
  }
}

}  // namespace

uint32_t textRows(std::string_view text, uint32_t width) {
  if (width == 0) return 1;  // no width: every line on one row
  // Plain ASCII, the usual case, needs no walk.
  bool ascii = true;
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) return text.size() <= width ? 1 : static_cast<uint32_t>((text.size() + width - 1) / width);
  uint32_t rows = 0;
  walkRows(text, width, [&](size_t) {
    ++rows;
    return true;
  });
  return rows;
}

size_t textRowStart(std::string_view text, uint32_t width, uint32_t row) {
  size_t found = text.size();
  uint32_t seen = 0;
  walkRows(text, width, [&](size_t start) {
    if (seen++ == row) {
      found = start;
      return false;
    }
    return true;
  });
  return found;
}
