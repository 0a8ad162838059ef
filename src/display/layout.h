// The layout of a command's output: which records are shown (=SORT, the response limit),
// their attributes in columns, the z/OS housekeeping lines hidden, and the notes and
// totals. Installed as every command record's output: it receives the output piece by
// piece as it arrives and writes what it can at once.
#pragma once
#include <cstdint>
#include <string>

#include "mqsc/command_record.h"
#include "mqsc/mqsc_host.h"

struct ProgramContext;

// The layout of one command record: writes through the program's output, and notes in
// the record, when it completes, the last record shown and the number matched.
std::unique_ptr<RecordOutput> layoutCommandRecord(ProgramContext &ctx, CommandRecord &record);

// What the MQSC room calls of the display: the output modifiers and this layout.
MqscHost displayMqscHost();
