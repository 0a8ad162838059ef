// Small helpers for reading the first words of an MQSC command.
#pragma once
#include <string_view>

// The n-th word (0-based) of a command: blanks separate words, and a word also ends at
// '(' so that "NL(L1)" reads as "NL".
std::string_view commandWord(std::string_view text, int index);
bool isDisplayCommand(std::string_view text);
