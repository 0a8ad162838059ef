#include "console/key_sequence.h"

#include "console/console_settings.h"
#include "context/output.h"

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool startsHexNumber(std::string_view text, size_t pos) {
  return pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X');
}

// "0x" and one to eight hexadecimal digits.
bool readHexNumber(std::string_view text, size_t &pos, uint32_t &value) {
  if (!startsHexNumber(text, pos)) return false;
  pos += 2;
  size_t start = pos;
  value = 0;
  for (int d; pos < text.size() && (d = hexDigit(text[pos])) >= 0; ++pos) {
    if (pos - start == 8) return false;
    value = value * 16 + static_cast<uint32_t>(d);
  }
  return pos > start;
}

void skip(std::string_view text, size_t &pos, std::string_view chars) {
  while (pos < text.size() && chars.find(text[pos]) != std::string_view::npos) ++pos;
}

}  // namespace

bool parseKeySequence(std::string_view text, KeyStroke &out) {
  out = KeyStroke{};
  size_t pos = 0;
  skip(text, pos, " ");
  if (startsHexNumber(text, pos)) {
    if (!readHexNumber(text, pos, out.code)) return false;
    skip(text, pos, " (");
    if (pos < text.size() && !readHexNumber(text, pos, out.modifiers)) return false;
    skip(text, pos, " )");
    return pos == text.size();
  }
  while (pos < text.size() && out.escape.size() < kMaxEscapeBytes) {
    int high = hexDigit(text[pos]);
    int low = pos + 1 < text.size() ? hexDigit(text[pos + 1]) : -1;
    if (high < 0 || low < 0) return false;
    out.escape += static_cast<char>(high * 16 + low);
    pos += 2;
  }
  return true;
}

std::string formatKeySequence(const KeyStroke &stroke) {
  if (stroke.escape.empty())
    return stroke.modifiers ? strFormat("0x%X (0x%x)", stroke.code, stroke.modifiers) : strFormat("0x%X", stroke.code);
  std::string text;
  for (char c : stroke.escape) text += strFormat("%02X", static_cast<unsigned char>(c));
  return text;
}
