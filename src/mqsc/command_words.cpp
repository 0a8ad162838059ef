#include "mqsc/command_words.h"

#include <algorithm>

#include "mqsc/clause_scanner.h"
#include "runtime/scan.h"
#include "text/text.h"

std::string_view commandWord(std::string_view text, int index) {
  size_t pos = 0;
  for (int i = 0;; ++i) {
    while (pos < text.size() && isScanSpace(text[pos])) ++pos;
    size_t start = pos;
    while (pos < text.size() && !isScanSpace(text[pos]) && text[pos] != '(') ++pos;
    if (i == index) return text.substr(start, pos - start);
    if (pos >= text.size()) return {};
    // Skip a bracketed value after the word so that it is not read as the next word.
    if (text[pos] == '(') pos = std::min(scanClosingBracket(text, pos) + 1, text.size());
  }
}

bool isDisplayCommand(std::string_view text) {
  std::string_view w = commandWord(text, 0);
  return scanEqualsNoCase(w, "DIS") || scanEqualsNoCase(w, "DISPLAY");
}
