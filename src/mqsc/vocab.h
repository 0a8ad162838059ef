// Room mqsc: the MQSC vocabulary, command preparation and response decoding. May
// include: mqsc/, context/, runtime/, mqi/.
//
// The MQSC vocabulary: command verbs and object types, the keywords (fields) of each
// object type, their predefined values, the IBM MQ constant names, and the capability
// flags that decide which rows apply to a queue manager.
//
// The tables are generated at build time from src/mqsc/data by tools/vocabgen and are
// read-only. Every lookup here is safe to call from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------- table rows

// Object kinds whose names can be fetched and cached for completion.
struct NameListDef {
  const char* kind;        // "queue", "channel", ... (lower case, as IBM's PCF names them)
  int32_t inquireCommand;  // PCF command that lists the names
  int32_t selector;        // attribute-selector parameter, 0 when the inquiry takes none
  int32_t nameParameter;   // PCF parameter carrying the generic name
  int32_t fromTolk;        // 1: the list comes from TOLK's command queue
};

struct ValueDef {
  uint16_t conditions[3];  // required, required, excluded capability flag (0 = none)
  uint16_t pad;
  int64_t value;            // IBM's numeric value
  const char* description;  // "" ends a table
  const char* keyword;      // MQSC keyword; a leading '!' hides the row
  int32_t hidden;           // 1: never offered or matched
  int32_t reserved;
};

struct FieldDef {
  uint16_t conditions[3];
  const char* commandMask;  // pairs: command letter, then ' ' (stands alone), '*' or '+' (takes a value)
  const char* objectMask;   // object letters the keyword applies to
  char type;                // type code: 's', 'i', 'R', 'r', 'I', 'l', 't', 'a', 'q', 'w', ...
  const char* keyword;      // null ends a table; a leading '~' hides the row
  const ValueDef* values;
  const NameListDef* nameList;
  int32_t pcfParameter;  // PCF identifier for TOLK and fixed-layout tables, else 0
  int32_t reserved1;
  int32_t recordOffset;  // byte offset in a fixed-layout record, negative when none
  int32_t recordKind;    // 2 = 32-bit integer, 14 = characters, 25 = time stamp
  int32_t reserved2;
  int32_t keywordLength;  // length of keyword
  int64_t reserved3;
};

// Availability of a command row.
enum CommandMode : uint8_t {
  kModeQueueManager = 1,  // only towards an IBM MQ queue manager
  kModeQmgrOrCcdt = 2,    // queue manager or CCDT file
  kModeAlways = 3,        // local commands
  kModeTolk = 4,          // only when commands are directed to TOLK
};

struct CommandDef {
  uint16_t conditions[3];
  uint8_t mode;  // CommandMode
  char commandLetter;
  const char* verb;         // null ends the table
  const char* verbShort;    // "" when none
  int32_t completionFlag;   // 1 for =key, =keyname and =syn
  int32_t objectLetter;     // 'c' 'l' 'm' 'r' 'q' 'n' 'p', else 'a'
  const char* objectType;   // null for local commands
  const char* objectShort;  // "" when none
  const char* nameKind;     // "*" bracketed name, "" no name, "x" the object keyword takes the value
  const FieldDef* fields;
  const NameListDef* nameList;
};

struct ConstNameDef {
  int64_t value;
  const char* name;  // null ends a table
  const char* description;
  const char* keyword;  // MQSC keyword of a parameter identifier, or null
};

// ---------------------------------------------------------------- capability flags

inline constexpr int kCapabilityFlagCount = 72;

// Per-connection feature vector computed from the queue manager's platform and command level.
class CapabilityFlags {
 public:
  CapabilityFlags() { flags_.fill(0); }
  // Flags for an IBM MQ queue manager (platform is an MQPL_ value).
  static CapabilityFlags forQueueManager(int platform, int commandLevel, bool weakCiphers = false);
  // Flags while editing a CCDT file: everything a channel definition may use.
  static CapabilityFlags forCcdt();
  // Adds the TOLK flags (61, 62) for TOLK's reported command level.
  void applyTolkLevel(int tolkCommandLevel);

  bool operator[](int flag) const { return flag >= 0 && flag < kCapabilityFlagCount && flags_[flag]; }
  void Set(int flag, bool on) {
    if (flag > 0 && flag < kCapabilityFlagCount) flags_[flag] = on ? 1 : 0;
  }
  // True when a row's conditions (required, required, excluded) hold.
  bool Allows(const uint16_t conditions[3]) const;
  const std::array<uint8_t, kCapabilityFlagCount>& Raw() const { return flags_; }

 private:
  std::array<uint8_t, kCapabilityFlagCount> flags_;
};

// ---------------------------------------------------------------- lookup context

// Where commands currently go; decides which command rows are visible.
enum class CommandTarget { QueueManager, Ccdt, Tolk };

struct VocabContext {
  const CapabilityFlags* flags = nullptr;  // null: no connection yet, capability conditions ignored
  CommandTarget target = CommandTarget::QueueManager;
};

// Direction of a lookup: exact resolution or cycling through completion candidates.
enum LookupDirection { kExact = 0, kNext = 1, kPrevious = -1 };

// ---------------------------------------------------------------- tables

// Stores keyword lengths (done by the generator; kept as the start-up hook and trace point).
// With (traceBits & 64) it writes its trace lines to standard error. Runs once.
void InitialiseCommandFields(unsigned traceBits = 0);

const CommandDef* CommandTable();           // ends with a row whose verb is null
const FieldDef* messageDescriptorFields();  // the MQMD keywords with their record offsets
const NameListDef* nameLists();             // 21 descriptors, ends with a null kind
const NameListDef* findNameList(std::string_view kind);
const ConstNameDef* const* constantSearchOrder();  // ends with a null pointer
const ConstNameDef* reasonCodeTable();
const ConstNameDef* feedbackTable();
// Field and value tables by their data-file names ("queue", "qmgr", "defbind" ...); null if none.
const FieldDef* fieldTableByName(std::string_view name);
const ValueDef* valueTableByName(std::string_view name);

// ---------------------------------------------------------------- lookups
// Each lookup that fails writes one message to *message (when given), with the typed word
// cut to fit 77 characters.

// Find a command verb (full or short form). Candidates are distinct verbs of visible rows;
// the first row of the verb is returned.
const CommandDef* findCommand(const VocabContext& ctx, std::string_view current, std::string_view prefix, int direction,
                              bool allowCurrent, std::string* message);

// Find an object type among the visible rows of the command row's verb.
const CommandDef* findObjectType(const VocabContext& ctx, const CommandDef* command, std::string_view current,
                                 std::string_view prefix, int direction, bool allowCurrent, bool matchShortForms,
                                 std::string* message);

struct FieldQuery {
  bool inWhere = false;                   // completing inside a WHERE clause
  std::vector<std::string_view> present;  // keywords already on the command line
  bool allowCurrent = false;
};

// Find a keyword of the command row's object type for its verb. *takesValue is set when the
// keyword takes a bracketed value for this verb.
const FieldDef* findField(const VocabContext& ctx, const CommandDef* command, std::string_view current,
                          std::string_view prefix, int direction, bool* takesValue, std::string* message,
                          const FieldQuery& query = {});

// Find a predefined value of a field.
const ValueDef* findValue(const VocabContext& ctx, const FieldDef* field, std::string_view current,
                          std::string_view prefix, int direction, std::string* message, bool allowCurrent = false);

// Options of findFieldInTable.
enum FieldTableOptions : unsigned {
  kFieldExactLength = 1,      // the keyword must have exactly the given length
  kFieldSkipCommandOnly = 2,  // skip types 'a', 'q' and 'w'
};
// Resolve a variable or response keyword against a field table: exact, or a unique prefix.
// *ambiguous (when given) is set when more than one keyword starts with the name.
const FieldDef* findFieldInTable(const FieldDef* table, std::string_view name, unsigned options,
                                 bool* ambiguous = nullptr);

// The type code of a keyword in a field table ('\0' when not found or ambiguous); for the
// expression engine and the output modifiers.
char fieldTypeOf(const FieldDef* table, std::string_view keyword);

// Numeric value of a field's predefined keyword (whole keyword, any case).
std::optional<int64_t> findValueByKeyword(const FieldDef* field, std::string_view keyword);

// Description of an IBM MQ reason code (then of a feedback code); "" when unknown.
const char* reasonText(int64_t code);

// Value of an IBM MQ constant name (any case) in the search order of the constant tables.
std::optional<int64_t> constantByName(std::string_view name);
// The row of a constant name (first in search order), or null.
const ConstNameDef* constantRowByName(std::string_view name);
// Description of a parameter identifier (e.g. MQIACF_PARAMETER_ID values); "" when unknown.
const char* parameterText(int64_t parameter);
