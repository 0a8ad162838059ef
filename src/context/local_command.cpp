#include "context/local_command.h"

#include <cctype>

#include "context/output.h"
#include "runtime/scan.h"

namespace {

bool isNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '='; }
bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '='; }

}  // namespace

std::string splitLocalItems(std::string_view text, std::vector<ParsedItem> &items, bool &help) {
  size_t pos = 0;
  while (true) {
    while (pos < text.size() && isScanSpace(text[pos])) ++pos;
    if (pos >= text.size()) return "";
    char c = text[pos];
    if (c == '?') {
      help = true;
      return "";
    }
    if (!isNameStart(c))
      return strFormat("Unexpected character '%c' found at position %d", c, static_cast<int>(pos + 1));
    if (items.size() >= kMaxCommandItems) return "Too many command parameters";
    ParsedItem item;
    size_t start = pos++;
    while (pos < text.size() && isNameChar(text[pos])) ++pos;
    item.name = std::string(text.substr(start, pos - start));
    size_t look = pos;
    while (look < text.size() && (text[look] == ' ' || text[look] == '\t')) ++look;
    if (look < text.size() && text[look] == '(') {
      size_t open = look;
      size_t i = scanClosingBracketIgnoringQuotes(text, open);
      if (i >= text.size())
        return strFormat("Missing closing bracket for bracket at position %d", static_cast<int>(open + 1));
      item.value = std::string(scanTrim(text.substr(open + 1, i - open - 1), " \t"));
      item.hasValue = true;
      pos = i + 1;
    }
    items.push_back(std::move(item));
  }
}

ParsedCommand parseLocalCommand(std::string_view text) {
  ParsedCommand cmd;
  cmd.text = std::string(text);
  bool help = false;
  splitLocalItems(text, cmd.items, help);
  return cmd;
}

const ParsedItem *ParsedCommand::find(std::string_view operand) const {
  for (size_t i = 1; i < items.size(); ++i)
    if (scanEqualsNoCase(items[i].name, operand)) return &items[i];
  return nullptr;
}

std::string ParsedCommand::value(std::string_view operand, std::string_view fallback) const {
  const ParsedItem *item = find(operand);
  return item && item->hasValue ? item->value : std::string(fallback);
}

std::string checkLocalName(std::string_view name) {
  std::string text(name);
  if (!name.empty() && name[0] >= '0' && name[0] <= '9')
    return strFormat("Name '%s' can not start with a number", text.c_str());
  for (char c : name)
    if (kLocalNameCharacters.find(c) == std::string_view::npos)
      return strFormat("Name '%s' contains invalid character '%c'.", text.c_str(), c);
  return "";
}

void reportIgnoredInFileMode(ProgramContext &ctx, std::string_view commandText) {
  std::string text(commandText);
  if (text.size() >= 51) addError(ctx, strFormat("Command '%.50s...' ignored in file mode", text.c_str()));
  else addError(ctx, strFormat("Command '%s' ignored in file mode", text.c_str()));
}
