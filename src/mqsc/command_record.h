// The command record: one per MQSC command issued. openCommandRecord() creates it for
// the command to be sent, the response decoder (response.h) adds its output lines and
// marks as replies arrive, and completeCommandRecord() ends it exactly once: outcome,
// the end of the layout, counting.
//
// The output is not held: lines are gathered only until the response record they belong
// to is whole, and each whole piece (a record, read once into its attributes, or a line)
// goes at once to the command's RecordOutput, the layout, which writes it or keeps what
// it must (a sort, columns still to be measured).
//
// Threads: replies are decoded on the connection's reply reader thread while the
// issuing thread may be printing. Every operation of response.h that touches a
// command record takes the ProgramContext's display lock itself; callers that read a
// record's lines from another thread take the same lock.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "context/response_record.h"
#include "mqsc/vocab.h"
#include "runtime/text_spool.h"

struct ProgramContext;

// The mark word of a command record.
enum CommandMarks : uint32_t {
  kMarkError = 0x0001,             // a failing completion code, a known error message or a transport error
  kMarkNotFound = 0x0002,          // a message reporting a missing object arrived
  kMarkFilterable = 0x0004,        // a DISPLAY whose records are object details
  kMarkHasModifiers = 0x0008,      // record filters run as records arrive
  kMarkSeveralQmgrs = 0x0010,      // CSQN137I: sent to several queue managers of a sharing group
  kMarkMarkerAdded = 0x0020,       // the incomplete marker line exists
  kMarkData = 0x0040,              // at least one output line was added
  kMarkQmgrDetails = 0x0080,       // an AMQ8408I or CSQM409I line arrived
  kMarkResponsesLimited = 0x0100,  // a PCF header carried reason 10001
  kMarkSourceLimited = 0x0200,     // a PCF header carried reason 10002
  kMarkComplete = 0x0400,          // completion has run
};

// Flags of one output line of a command record.
enum RecordLineFlags : uint32_t {
  kLineRecordStart = 0x01,   // the first line (header) of a response record
  kLineResponseText = 0x02,  // MQSC response text as received
  kLineError = 0x04,         // an error message of the program
  kLineQuiet = 0x08,         // not shown: a script's command or the attribute check mode
  kLineInfo = 0x10,          // an information message of the program
};

// One output line as it comes. Response text may hold several physical lines separated
// by '\n' (a distributed queue manager sends a whole record as one string).
struct RecordLine {
  std::string text;
  uint32_t flags = 0;
  std::string qmgr;  // the sharing-group queue manager of the line's group (z/OS)
};

// A record filter (the output modifiers and the generic-name filter): given a whole
// record (its text, attributes and group's queue manager), true keeps it.
using RecordFilter = std::function<bool(const ResponseRecord &record)>;

// One piece of a command's output as the layout receives it: a whole response record,
// a line of response text, or a message of the program.
struct OutputPiece {
  // GroupStart and GroupEnd bracket the output of one queue manager of several (body.qmgr
  // names it) where no message of its own does: the members of a fleet.
  enum Kind { Record, Text, Info, Error, GroupStart, GroupEnd } kind = Text;
  ResponseRecord body;  // the record, read; for a line, its text and group's queue manager
  bool quiet = false;   // a quiet line (kLineQuiet)
  int32_t reason = 0;   // an error of a fleet's member: the reason it failed with, when known
  std::string_view text() const { return body.text; }
};

struct CommandRecord;

// What lays a command record's output out: handed each piece, whole and in the order it
// came, then told once that the command is complete. Runs under the display lock, on
// whichever thread adds the piece or completes the command.
class RecordOutput {
 public:
  virtual ~RecordOutput() = default;
  virtual void piece(ProgramContext &ctx, CommandRecord &record, OutputPiece &&piece) = 0;
  virtual void finish(ProgramContext &ctx, CommandRecord &record) = 0;
};
using RecordOutputFactory = std::function<std::unique_ptr<RecordOutput>(ProgramContext &ctx, CommandRecord &record)>;

// State a higher room attaches to a command record (the display's output modifiers);
// freed with the record.
struct RecordExtension {
  virtual ~RecordExtension() = default;
};

// How the command record came to be issued.
enum class RecordKind {
  UserCommand,    // typed or read from a file: shown and counted
  ScriptCommand,  // issued for a script function: lines are quiet
};

struct CommandRecord {
  // --- set when the record is opened and the command handed on
  std::string commandText;  // the command as the user wrote it (after synonym expansion)
  uint32_t sequence = 0;    // the command's sequence number
  std::string qmgr;         // the queue manager administered (its name as known when sent)
  RecordKind kind = RecordKind::UserCommand;
  bool isCurrentCommand = true;  // a successful current command sets ctx's succeeded flag
  uint32_t outputGroup = 0;      // the output's command group its lines belong to (0: the current one)
  bool responsesHidden = false;  // the source's resp echo switch was off: lines are kept hidden
  CommandTarget target = CommandTarget::QueueManager;  // where the command goes (CCDT mode: a table)
  bool keepRecords = false;  // keep the records the filters pass (foreach walks them afterwards)
  bool fleet = false;        // the merged answer of a fleet's members (each record names its own)
  bool tallied = true;       // completion counts the outcome (a fleet's members are counted instead)
  bool fleetMember = false;  // one member's part of a fleet's answer: its records carry qmgr as theirs

  // --- filled by preparation (request.h)
  bool isDisplay = false;                      // first word DIS or DISPLAY: counted only with dspcmds
  bool countable = true;                       // false for commands the program sent on its own account
  std::vector<RecordFilter> filters;           // run on each whole record while kMarkHasModifiers
  std::vector<std::string> nameFilters;        // the generic-name filter records, "QUEUE(A*B)"
  std::shared_ptr<RecordExtension> modifiers;  // the output modifiers' state (display)

  // --- filled by the decoder (response.h)
  uint32_t marks = 0;
  uint32_t recordCount = 0;                        // records kept (headers seen and passed by the filters)
  uint32_t receivedCount = 0;                      // records received, including those the filters dropped
  std::map<std::string, uint32_t> receivedByQmgr;  // the same per queue manager of a sharing group
  std::string groupQmgr;                           // the current group's queue manager name (z/OS, up to 4 characters)
  std::string groupLine;                           // the CSQN121I line of the current group
  std::string errorText;                           // the first line of the first error text
  std::vector<std::string> errorLines;             // the program's own error lines, in order
  int32_t compCode = 0;                            // completion code and reason of the first reply that did not
  int32_t reason = 0;                              //   complete normally (PCF replies)
  bool succeeded = false;           // the outcome, valid once kMarkComplete is set
  bool checkingAttributes = false;  // the attribute check mode was on when replies arrived: output is quiet
  bool zosText = false;             // replies came as z/OS command-server text
  const FieldDef *replyFields = nullptr;  // the command's keywords: what its records can hold
  bool replyFieldsKnown = false;          // replyFields was looked up
  TextSpool responseText;                 // the response text as received, lines joined with '\n'
  std::vector<ResponseRecord> keptRecords;  // with keepRecords: the records passed, in arrival order
  std::optional<OutputPiece> receiving;     // the record whose lines are still arriving
  std::unique_ptr<RecordOutput> output;     // the layout, made when the first piece is whole

  // --- filled by the layout
  ResponseRecord lastShown;     // the last record the layout showed (empty text: none)
  int64_t matched = -1;         // records the filters passed; -1 until laid out
  bool shownAsCurrent = false;  // laid out as the user's current command (scripts read it)

  bool complete() const { return (marks & kMarkComplete) != 0; }
  bool has(uint32_t mark) const { return (marks & mark) != 0; }
};

// Whether an output line that is not a record start belongs to the record before it: an
// attribute line of response text. A message line (CSQ9022I, CSQN122I, AMQ8135E ...)
// is not part of any record, so a record read by name never takes a word from one.
bool continuesRecord(const RecordLine &line);

// A new record for `commandText` (trimmed): its output group is the output's current
// command, and its lines are hidden when the input source's resp echo is off. The
// transport numbers it and names its queue manager when it hands the command on.
std::shared_ptr<CommandRecord> openCommandRecord(ProgramContext &ctx, std::string_view commandText, RecordKind kind);

// Adds one line of the command's output (takes the display lock). A record's lines are
// gathered until the record is whole; then it is read, the filters are run on it, it is
// counted, and it goes on to the layout with every other line in arrival order.
void addRecordLine(ProgramContext &ctx, CommandRecord &record, RecordLine line);

// Adds a message of the program (not response text) to a command record.
void addRecordError(ProgramContext &ctx, CommandRecord &record, std::string_view text);
void addRecordInfo(ProgramContext &ctx, CommandRecord &record, std::string_view text);

// Completes a command record once (later calls do nothing): decides the outcome, sets
// the status bits, ends the layout, counts the command under the =count options and
// drops the incomplete marker. Returns the outcome (true = succeeded).
bool completeCommandRecord(ProgramContext &ctx, CommandRecord &record);

// The output of one member's command of a fleet: its pieces are held, filtered and
// counted as they come, until the fleet's merged answer takes them.
std::unique_ptr<RecordOutput> heldForMerge();

// One member's part of a fleet's answer: its record (complete, made with heldForMerge),
// and for a member that was not asked, why.
struct MemberAnswer {
  std::string qmgr;
  std::shared_ptr<CommandRecord> record;
};

// Lays out the answers of a fleet's members as one command: each member's pieces in
// member order, its records named by their queue manager, bracketed as one queue
// manager's output of several is (its Subtotal), then the Total, with the sort, the
// limit and the attribute selection over all of them. The merged record takes its
// modifiers from the members' (each member prepared the same command) and completes;
// it succeeded when every member did. Its records (keepRecords) are the members' in the
// order shown, then one record per failed member: QSGQM(name) REASON(n) ERROR(text).
bool completeMergedAnswer(ProgramContext &ctx, CommandRecord &merged, std::vector<MemberAnswer> &members);

// The incomplete marker's text for a record still waiting for replies.
std::string incompleteMarkerText(const CommandRecord &record);

// The output of a command with no layout installed (mqsc_host.h): each line written as
// received as it comes (response text and information as information lines, errors as
// error lines, quiet lines hidden).
std::unique_ptr<RecordOutput> linesAsReceived(ProgramContext &ctx, CommandRecord &record);

// The command's vocabulary row (verb and object type), or null when unknown.
const CommandDef *identifyCommand(const CommandRecord &record, std::string_view text);

// Response text may carry a whole record: calls `emit` for each physical line, split at
// line feeds, a carriage return before one dropped, trailing line ends ignored.
template <typename Emit>
void forEachPhysicalLine(std::string_view text, Emit &&emit) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  for (size_t pos = 0;;) {
    size_t end = text.find('\n', pos);
    std::string_view part = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    if (!part.empty() && part.back() == '\r') part.remove_suffix(1);
    emit(part);
    if (end == std::string_view::npos) break;
    pos = end + 1;
  }
}

// The attribute check mode (ctx.countingUnhandled): looks every attribute of a record of
// the command's response up in the field table of its DISPLAY command, adds "  Unhandled
// attribute X" error lines to the output and raises ctx.unhandledAttributes. Part of
// every layout.
void checkRecordAttributes(ProgramContext &ctx, const CommandRecord &record, const ResponseRecord &response);
