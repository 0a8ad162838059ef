// Command history recall in the command area: Previous and Next Command find the
// entries that begin with what is typed before the cursor, or contain it after a '#'.
#pragma once
#include <string_view>

struct ConsoleState;

// -1 older, +1 newer.
void recallCommand(ConsoleState &c, int direction);
void addToHistory(ConsoleState &c, std::string_view command);
