// What the MQSC room calls above itself: the display's output modifiers while a command
// is prepared, and the display's layout, which receives a command's output as it comes.
// The driver fills one MqscHost at start-up; an empty member leaves the modifiers unread
// and the lines written as received.
#pragma once
#include "mqsc/command_record.h"
#include "mqsc/request.h"

struct MqscHost {
  ModifierHooks modifiers;
  RecordOutputFactory layout;
};

void mqscSetHost(MqscHost host);
// A copy of the installed host (taken under its lock: replies are laid out on reader
// threads while the host may be replaced between tests).
MqscHost mqscHost();
