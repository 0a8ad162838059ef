// The layout of a completed command record: which records are shown (filters, =SORT,
// the response limit), their attributes in columns, the z/OS housekeeping lines hidden,
// and the notes and totals. Installed as the command record's layout.
#pragma once
#include <cstdint>
#include <string>

#include "mqsc/command_record.h"

struct ProgramContext;

// Lays out a completed command record through the program's output.
void layoutCommandRecord(ProgramContext &ctx, CommandRecord &record);

// After the layout of the user's current command: its last shown record (the text and
// its group's queue manager) and the number of records it matched. Scripts read
// attributes from the current record by name.
struct CurrentRecord {
  std::string text;
  std::string qmgr;
  int64_t matched = -1;    // records the filters passed; -1 until a command has been laid out
};
CurrentRecord currentRecord();

// Installs the modifier hooks of preparation and this layout.
void installDisplay();
