// Small helpers for reading the first words of an MQSC command.
#pragma once
#include <string_view>

// The n-th word (0-based) of a command: blanks separate words, and a word also ends at
// '(' so that "NL(L1)" reads as "NL".
std::string_view commandWord(std::string_view text, int index);
bool isDisplayCommand(std::string_view text);
// Where the bracketed value opened at `open` ends: its ')' (brackets nest, quoted text
// is skipped) or, unclosed, the text's end.
size_t closingBracket(std::string_view text, size_t open);
