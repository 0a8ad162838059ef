#include "mqsc/command_words.h"

#include <algorithm>

#include "mqsc/clause_scanner.h"
#include "runtime/scan.h"

namespace {
bool isWordSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
} // namespace

std::string_view commandWord(std::string_view text, int index) {
  size_t pos = 0;
  for (int i = 0;; ++i) {
    while (pos < text.size() && isWordSpace(text[pos])) ++pos;
    size_t start = pos;
    while (pos < text.size() && !isWordSpace(text[pos]) && text[pos] != '(') ++pos;
    if (i == index) return text.substr(start, pos - start);
    if (pos >= text.size()) return {};
    // Skip a bracketed value after the word so that it is not read as the next word.
    if (text[pos] == '(') pos = std::min(scanClosingBracket(text, pos) + 1, text.size());
  }
}

bool isDisplayCommand(std::string_view text) {
  std::string_view w = commandWord(text, 0);
  return equalsWord(w, "DIS") || equalsWord(w, "DISPLAY");
}
