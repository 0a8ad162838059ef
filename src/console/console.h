// The full-screen console: the entry points the driver uses. The console paints the
// output line buffer, reads each command in its command area and keeps the command
// history; every other part of the program writes its output to the line buffer as
// in file mode.
#pragma once
#include <optional>
#include <string>

#include "console/console_state.h"

struct ProgramContext;
struct InputSource;

// Takes over the terminal. False, with a message for the user, when it cannot.
bool openConsole(ProgramContext &ctx, ConsoleHost host, std::string &why);
// Gives the terminal back.
void closeConsole(ProgramContext &ctx);
// The main input source's line reader at the console: the next command entered.
bool consoleReadLine(ProgramContext &ctx, InputSource &src);
// The status line, from any thread: `text` shown once `delaySeconds` have passed (and
// it is still the status); empty text clears it.
void consolePostStatus(ProgramContext &ctx, const std::string &text, int delaySeconds);
// A password typed in the command area at `prompt`, shown as '*', kept nowhere.
std::optional<std::string> consoleReadPassword(ProgramContext &ctx, const std::string &prompt);
// For scripts and =repeat: repaint now; the next key within `seconds` (its character, or
// its key code: Escape is 27; 0 when none came); the screen's size.
void consoleRefresh(ProgramContext &ctx);
int consoleReadKey(ProgramContext &ctx, int seconds);
bool consoleScreenSize(ProgramContext &ctx, int &width, int &height);
// While the command thread waits for replies: paints what arrived and watches for
// Escape. True when the user asked to stop waiting.
bool consoleWhileWaiting(ProgramContext &ctx);
