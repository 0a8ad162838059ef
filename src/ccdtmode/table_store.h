// The table CCDT mode edits, held in memory: reading it, checking that it may change,
// and writing it back.
#pragma once
#include <string>
#include <vector>

#include "ccdt/channel.h"
#include "ccdtmode/ccdt_mode.h"

namespace kvarn::ccdtmode {

// One channel as the commands see it: its 1-based place in the file (JSON; the key
// order in a binary table) and its index among the channels of its name (JSON).
struct StoredChannel {
  kvarn::ccdt::ChannelDefinition def;
  int index = 1;
  size_t position = 0;
};

// The table is read when first needed, and read again when another program changed it
// while nothing here is pending. Returns 0 or a table error code with `message`.
int refreshTable(ProgramContext &ctx, CcdtModeState &state, std::string &message);

// Every channel in file order. Records that cannot be read are reported in `problems`.
std::vector<StoredChannel> tableChannels(CcdtModeState &state, std::vector<std::string> &problems);

// Before a change: a table read with errors, or one this process may not replace, is
// refused with `message`. A binary table that does not exist yet is created.
int prepareChange(ProgramContext &ctx, CcdtModeState &state, std::string &message);

// After a change: the table is written when the last write was more than a second ago.
void noteChange(ProgramContext &ctx, CcdtModeState &state);

// Writes pending changes. Returns 0 or an error code with `message`.
int writeTable(ProgramContext &ctx, CcdtModeState &state, std::string &message);

// Writes the table as held to "<table>.unsaved" beside it, for changes that cannot go
// into the table itself. Returns the sentence that tells the user where they are.
std::string keepChangesAside(ProgramContext &ctx, CcdtModeState &state, std::string &aside);

// Forgets the table held (after leaving the mode or choosing another table).
void dropTable(CcdtModeState &state);

// Milliseconds on a steady clock.
int64_t nowMs();

}  // namespace kvarn::ccdtmode
