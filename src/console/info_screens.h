// The Help, Settings and Keys screens: rebuilt into their line buffers when the
// console switches to them or what they show has changed.
#pragma once
#include "context/output.h"

struct ConsoleState;

void switchScreen(ConsoleState &c, Screen screen);
void rebuildInfoScreen(ConsoleState &c, Screen screen);
