// The layout of a completed command record: which records are shown (filters, =SORT,
// the response limit), their attributes in columns, the z/OS housekeeping lines hidden,
// and the notes and totals. Installed as the command record's layout.
#pragma once
#include <cstdint>
#include <string>

#include "mqsc/command_record.h"
#include "mqsc/mqsc_host.h"

struct ProgramContext;

// Lays out a completed command record through the program's output, and notes in it
// the last record shown and the number matched.
void layoutCommandRecord(ProgramContext &ctx, CommandRecord &record);

// What the MQSC room calls of the display: the output modifiers and this layout.
MqscHost displayMqscHost();
