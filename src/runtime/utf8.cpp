#include "runtime/utf8.h"

namespace {

// Length of the well-formed UTF-8 sequence at text[i], or 0 when the byte there does
// not start one.
size_t sequenceLength(std::string_view text, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char b = byte(i);
  if (b < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) low = 0xA0;   // overlong
    if (b == 0xED) high = 0x9F;  // UTF-16 surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) low = 0x90;   // overlong
    if (b == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  return length;
}

size_t firstInvalid(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    size_t n = sequenceLength(text, i);
    if (n == 0) return i;
    i += n;
  }
  return std::string_view::npos;
}

}  // namespace

bool isValidUtf8(std::string_view text) { return firstInvalid(text) == std::string_view::npos; }

std::string utf8OrLatin1(std::string_view text) {
  size_t bad = firstInvalid(text);
  if (bad == std::string_view::npos) return std::string(text);
  std::string out(text.substr(0, bad));
  out.reserve(text.size() + 8);
  for (size_t i = bad; i < text.size();) {
    size_t n = sequenceLength(text, i);
    if (n > 0) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    unsigned char b = static_cast<unsigned char>(text[i++]);
    out.push_back(static_cast<char>(0xC0 | (b >> 6)));
    out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
  }
  return out;
}

void appendJsonEscaped(std::string &out, std::string_view text, bool escapeDelete) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    switch (c) {
    case '"': out += "\\\""; continue;
    case '\\': out += "\\\\"; continue;
    case '\b': out += "\\b"; continue;
    case '\f': out += "\\f"; continue;
    case '\n': out += "\\n"; continue;
    case '\r': out += "\\r"; continue;
    case '\t': out += "\\t"; continue;
    default: break;
    }
    if (byte < 0x20 || (escapeDelete && byte == 0x7F)) {
      out += "\\u00";
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0xF]);
    } else {
      out.push_back(c);
    }
  }
}
