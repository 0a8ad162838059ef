// Find in the output of the current screen: a find command ("/text/flags": c case,
// s one command's output, b backwards), and Find Next / Find Previous.
#pragma once
#include <string_view>

struct ConsoleState;

void runFind(ConsoleState &c, std::string_view command);
void findAgain(ConsoleState &c, bool reverse);
