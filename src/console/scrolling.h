// Paging the current screen's output: by pages, to the oldest line, back to the newest.
#pragma once

struct ConsoleState;

// +1 towards the newest output, -1 towards the oldest.
void pageOutput(ConsoleState &c, int direction);
void scrollToTop(ConsoleState &c);
void scrollToBottom(ConsoleState &c);
