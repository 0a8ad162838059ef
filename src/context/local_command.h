// Local (=) commands: the generic operand syntax (a name followed by items of the form
// name or name(value)) and the shape of a command's row. Each subsystem offers complete
// rows (name, operands, help text, handler) beside its handlers; the driver joins them
// into the one table that checks, dispatches and explains the commands. A subsystem
// that receives a local command (the transport's worker) reads the items.
#pragma once
#include <string>
#include <string_view>
#include <vector>

struct ProgramContext;
struct LocalCommand;

struct ParsedItem {
  std::string name;
  std::string value;
  bool hasValue = false;
};

struct ParsedCommand {
  std::vector<ParsedItem> items;          // items[0] is the command itself
  const LocalCommand *command = nullptr;  // the table row, once checked
  std::string text;
  const ParsedItem *find(std::string_view operand) const;
  bool has(std::string_view operand) const { return find(operand) != nullptr; }
  std::string value(std::string_view operand, std::string_view fallback = "") const;
  // The command's name as typed ("" when there is none).
  std::string_view name() const { return items.empty() ? std::string_view() : std::string_view(items[0].name); }
};

using LocalHandler = void (*)(ProgramContext &ctx, ParsedCommand &cmd, int issueSource);

struct LocalValue {
  std::string value;  // "!t" (type label), "<value>", "<number>", "" (no value), or a keyword
  std::string description;
  bool listed = true;  // shown when the values are listed (accepted either way)
};

enum LocalOperandFlags : unsigned { kOperandList = 1 };

// Rows the program uses itself, or that only diagnose it, are kept out of help and
// the command list.
inline constexpr bool kUnlisted = false;
inline constexpr bool kListed = true;
inline constexpr bool kUsesConnection = true;
inline constexpr bool kLeavesCcdtMode = true;
inline constexpr bool kTakesLongLists = true;

struct LocalOperand {
  std::string name;
  std::string description;
  std::vector<LocalValue> values;  // empty: the operand takes no value
  unsigned flags = 0;
  bool listed = true;  // shown in help
};

struct LocalCommand {
  std::string name;
  std::string description;
  std::vector<LocalOperand> operands;
  std::vector<LocalValue> ownValues;  // values of the command's own bracketed value (none: it takes none)
  LocalHandler handler = nullptr;     // none: a step the program issues itself, answered elsewhere
  bool listed = true;                 // shown by =? and the Help screen
  bool usesConnection = false;        // handed to the current connection: a start-up connection
                                      // still owed is made before it runs
  bool leavesCcdtMode = false;        // directs commands to a queue manager: CCDT mode ends first
  bool takesLongLists = false;        // may name hundreds of queue managers: longer than other commands
};

// Value lists many operands share.
inline const std::vector<LocalValue> kLocalAnyValue = {{"<value>", ""}};
inline const std::vector<LocalValue> kLocalNumber = {{"<number>", ""}};
inline const std::vector<LocalValue> kLocalYesNo = {{"yes", "Option is active"}, {"no", "Option is not active"}};
inline const std::vector<LocalValue> kLocalOnOff = {{"on", "Sets value on"}, {"off", "Sets value off"}};
// A number shown in help under its own label ("<age>").
inline std::vector<LocalValue> localNumberOf(const char *label, const std::string &description) {
  return {{"!t", label}, {"<number>", description}};
}

inline constexpr size_t kMaxCommandItems = 20;

// Splits `text` into items. Returns an error line, or "" on success; sets `help` when
// a lone '?' stands where an item should start.
std::string splitLocalItems(std::string_view text, std::vector<ParsedItem> &items, bool &help);
// Splits text the program built itself (no help, errors ignored).
ParsedCommand parseLocalCommand(std::string_view text);

// The rule for the names users give to synonyms and keys: no leading digit, only
// letters, digits and "-_.<>[]". Returns the message for a bad name, or "".
inline constexpr std::string_view kLocalNameCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.<>[]";
std::string checkLocalName(std::string_view name);

// "Command '%s' ignored in file mode" (cut to 50 characters) for commands that act on
// the full-screen console.
void reportIgnoredInFileMode(ProgramContext &ctx, std::string_view commandText);
