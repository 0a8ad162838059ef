// Room ccdtmode: CCDT mode, where the MQSC channel and AUTHINFO commands edit a client
// channel definition table instead of going to a queue manager. May include:
// ccdtmode/, ccdt/, mqsc/, context/, runtime/, mqi/.
//
// The mode's state (its switch included) lives in the ProgramContext as this room's
// ContextPart; rooms below that must know where a command goes read its record's target. The table is
// read once and kept; commands change the copy held, and the changes are written (a
// new file renamed over the old one) when the user is next asked for input, at least
// once a second while commands run from a file or script, before another table is read
// and when the mode is left. A table another program changed since it was read is
// never written over.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ccdt/binary_table.h"
#include "ccdt/file_io.h"
#include "ccdt/json_table.h"
#include "context/context.h"
#include "mqsc/command_record.h"

enum class TableForm { Binary, Json };

// What the mode calls above itself. The driver fills one at start-up.
struct CcdtHost {
  // Makes the CCDT connection template current (true) or gives the current connection
  // back (false), so that nothing reaches a queue manager while the mode is on.
  std::function<void(ProgramContext &, bool toTable)> directCommands;
  // The prompt shows the mode.
  std::function<void(ProgramContext &)> refreshPrompt;
};
void ccdtSetHost(CcdtHost host);

struct CcdtModeState : ContextPart {
  bool on = false;  // the switch: MQSC commands go to the table
  TableForm form = TableForm::Binary;
  bool formUsed = false;        // a form was chosen earlier in the run
  std::string tableName = "*";  // as given; "*" for the default table
  int version = 0;              // 0: each channel in its own version, else 1 to 12
  std::string path;             // the file the name resolves to

  // The table held. Binary: the handle (null until the file exists or is first
  // changed). JSON: the channel list.
  std::unique_ptr<kvarn::ccdt::BinaryTable> binary;
  kvarn::ccdt::JsonTable json;
  bool loaded = false;
  kvarn::ccdt::FileStamp stamp;  // the file as read or last written
  std::string damage;            // why the table may only be read ("" when it may change)
  bool dirty = false;            // changes not yet written
  int64_t lastSaveMs = 0;
};

// The state, created on first use.
CcdtModeState &ccdtModeOf(ProgramContext &ctx);
// Whether MQSC commands go to a channel table.
bool inCcdtMode(const ProgramContext &ctx);

// Enters CCDT mode on a table (=ccdt, =ccdtj, -n, -j). `file` empty keeps the name
// remembered; `version` when given replaces the version setting. Switching between
// the forms resets the remembered name to "*".
void enterCcdtMode(ProgramContext &ctx, TableForm form, std::optional<std::string> file, std::optional<int> version);
// Leaves CCDT mode (=mqsc, =disc, =tolk, =conn): pending changes are written first.
void leaveCcdtMode(ProgramContext &ctx);

// Handles one MQSC command in CCDT mode and completes its record.
bool cslIssueCcdtCommand(ProgramContext &ctx, CommandRecord &record);

// The user is about to be asked for input, or the run ends: pending changes are
// written now. Returns false when they could not be (the reason is shown).
bool saveCcdtTable(ProgramContext &ctx);
// The same when the table is let go (the mode or the run ends): changes that cannot be
// written are kept in "<table>.unsaved" beside it.
void finishCcdtTable(ProgramContext &ctx);

// =merge: copies the channels of table `source` whose names match `channels` into the
// table of the mode.
void ccdtMerge(ProgramContext &ctx, std::string_view source, std::string_view channels, bool replace);

// Names of the table's channels (kind "channel") or AUTHINFO entries ("authinfo"), for
// completion. False with `message` when the table cannot be read.
bool ccdtObjectNames(ProgramContext &ctx, std::string_view kind, std::vector<std::string> &names, std::string &message);

// The file the mode edits, as the scripts' _ccdt shows it.
std::string ccdtFileName(ProgramContext &ctx);
