// The generic operand syntax of local (=) commands: a name followed by items of the
// form name or name(value). The driver's command table checks the items against its
// rows; a subsystem that receives a local command (the transport's worker) reads them.
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
  std::vector<ParsedItem> items;       // items[0] is the command itself
  const LocalCommand *command = nullptr;   // the table row, once checked
  std::string text;
  const ParsedItem *find(std::string_view operand) const;
  bool has(std::string_view operand) const { return find(operand) != nullptr; }
  std::string value(std::string_view operand, std::string_view fallback = "") const;
  // The command's name as typed ("" when there is none).
  std::string_view name() const { return items.empty() ? std::string_view() : std::string_view(items[0].name); }
};

using LocalHandler = void (*)(ProgramContext &ctx, ParsedCommand &cmd, int issueSource);

// A handler a subsystem offers for a row of the driver's local command table.
struct LocalHandlerRow {
  const char *name;
  LocalHandler handler;
};

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
