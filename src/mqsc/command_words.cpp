#include "mqsc/command_words.h"

#include <algorithm>

#include "mqsc/clause_scanner.h"

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
    if (text[pos] == '(') pos = std::min(closingBracket(text, pos) + 1, text.size());
  }
}

bool isDisplayCommand(std::string_view text) {
  std::string_view w = commandWord(text, 0);
  return equalsWord(w, "DIS") || equalsWord(w, "DISPLAY");
}

size_t closingBracket(std::string_view text, size_t open) {
  int depth = 0;
  char quote = 0;
  for (size_t i = open; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      return i;
    }
  }
  return text.size();
}
