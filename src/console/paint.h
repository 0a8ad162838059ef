// Painting the console: the visible rows of the current screen's lines, the message
// line and the command area. Only the console thread paints, under the display lock.
#pragma once
#include <cstdint>
#include <string>

struct ConsoleState;

// Rows the command area takes (prompt and text wrapped at the screen width).
int commandRows(const ConsoleState &console);
// Rows above the message line that show output.
int outputRows(const ConsoleState &console);
// Paints what changed (everything when a full repaint is pending).
void paintConsole(ConsoleState &console);
// The selection, when it reaches into the output, as the text shown on the screen
// between its ends (rows joined with line feeds, trailing blanks dropped); "" when the
// selection lies inside the command area.
std::string selectedScreenText(const ConsoleState &console);

// The colour slot of a line's style.
int colourSlotOf(uint32_t style, bool currentCommand);
