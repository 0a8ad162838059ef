// Listings: the listing line, and the list and llist commands.
#include <algorithm>
#include <climits>
#include <optional>

#include "debugger/debugger_state.h"
#include "text/text.h"

namespace kvarn::debugger {

using script::CommandNode;
using script::CommandType;
using script::FunctionDef;

void printListingLine(Session& s, const CommandNode& node, const ListingOptions& options) {
  std::string line;
  if (options.sourceLine) line += strFormat("Line:%5u ", node.line);
  if (options.frame >= 0) line += strFormat("[%2d]%c", options.frame, options.selected ? '+' : ' ');
  if (node.owner) {
    line += "FNC:";
    if (options.functionColumn) line += strFormat("(%-10s)", node.owner->name.c_str());
  } else {
    line += "CMD:            ";
  }
  line += node.stmtNo ? strFormat("%5u", node.stmtNo) : std::string(5, ' ');
  line += breakpointAt(s.dbg, node) ? '!' : ' ';
  line += &node == s.script.current ? '>' : ' ';
  line += ' ';
  line.append(node.indent, ' ');
  if (node.type == CommandType::Import && node.import && node.import->source)
    line += strFormat("File:'%s'", node.import->source->name.c_str());
  else line += node.text;
  line += '\n';
  say(line);
}

namespace {

std::optional<int64_t> number(std::string_view text) {
  text = scanTrim(text);
  if (text.empty() || text.size() > 9) return std::nullopt;
  int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

void listFunctions(Session& s) {
  const auto& all = s.script.functions.all();
  if (all.empty()) {
    say("No functions are currently defined.\n");
    return;
  }
  std::string text = "Functions\n";
  for (const auto& [name, f] : all) {
    text += "  " + name + "(";
    const std::vector<std::string>& params = f->runParams();
    for (size_t i = 0; i < params.size(); ++i) text += (i ? "," : "") + params[i];
    text += ")\n";
  }
  say(text);
}

CommandResult listStatements(Session& s, std::string_view request, bool sourceLines) {
  request = scanTrim(request);
  Position at = selectedPosition(s);
  FunctionDef* function = at.function;
  uint32_t current = at.node ? at.node->stmtNo : 0;
  auto nextWord = [&]() {
    size_t end = 0;
    while (end < request.size() && request[end] != ' ' && request[end] != '\t') ++end;
    std::string_view word = request.substr(0, end);
    request = scanTrim(request.substr(end));
    return word;
  };
  bool internal = false;
  std::string_view first = request.substr(0, std::min(request.find_first_of(" \t"), request.size()));
  if (scanEqualsNoCase(first, "func")) {
    nextWord();
    std::string_view name = nextWord();
    if (name.empty()) {
      listFunctions(s);
      return CommandResult::Continue;
    }
    if (name.size() > script::kMaxFunctionName) {
      say(strFormat("Function name '%.*s' is too long.\n", static_cast<int>(name.size()), name.data()));
      return CommandResult::Continue;
    }
    function = s.script.functions.find(name);
    if (!function || !function->runBody()) {
      say(strFormat("Function '%.*s' not found.\n", static_cast<int>(name.size()), name.data()));
      return CommandResult::Continue;
    }
    if (!at.node || at.node->owner != function) current = 1;
    first = request.substr(0, std::min(request.find_first_of(" \t"), request.size()));
  }
  if (scanEqualsNoCase(first, "internal")) {
    nextWord();
    internal = true;
  }
  int64_t count = kDefaultListCount;
  int64_t from = 0, to = 0;
  bool all = false;
  size_t comma = request.find(',');
  std::string_view head = scanTrim(request.substr(0, comma));
  std::string_view tail = comma == std::string_view::npos ? std::string_view() : scanTrim(request.substr(comma + 1));
  std::optional<int64_t> tailCount = number(tail);
  std::optional<int64_t> tailAt = !tail.empty() && tail[0] == '@' ? number(tail.substr(1)) : std::nullopt;
  if (tailCount) count = *tailCount;
  if (head == "*") {
    all = true;
  } else if (head == "+") {
    // Before any listing, + and - go on from the current statement.
    from = static_cast<int64_t>(s.dbg.lastListed ? s.dbg.lastListed : current) + (s.dbg.lastListed ? 1 : 0);
    to = from + count - 1;
  } else if (head == "-") {
    to = static_cast<int64_t>(s.dbg.firstListed ? s.dbg.firstListed : current) - 1;
    from = to - count + 1;
  } else if (!head.empty() && head[0] == '@') {
    from = number(head.substr(1)).value_or(1);
    to = tailAt ? *tailAt : from + count - 1;
  } else {
    if (std::optional<int64_t> n = number(head)) count = *n;
    from = static_cast<int64_t>(current) - count / 3;
    to = from + count - 1;
  }
  // A range around the current statement slides to begin at the first; one before the
  // first listing is cut there, and may hold nothing.
  bool around = head.empty() || number(head).has_value();
  if (!all && from < 1) {
    if (around) to += 1 - from;
    from = 1;
  }
  if (all) {
    from = 1;
    to = INT_MAX;
  }
  std::vector<CommandNode*> nodes = unitNodes(s.script, function);
  // Nodes without a statement number (blank lines, or every node with `internal`) are
  // shown only between listed statements.
  std::vector<const CommandNode*> shown, between;
  uint32_t firstShown = 0, lastShown = 0;
  for (const CommandNode* node : nodes) {
    if (!node->stmtNo) {
      if (!shown.empty() && (internal || node->type == CommandType::BlankLine)) between.push_back(node);
      continue;
    }
    if (node->stmtNo < from || node->stmtNo > to) {
      if (node->stmtNo > to) break;
      continue;
    }
    shown.insert(shown.end(), between.begin(), between.end());
    between.clear();
    shown.push_back(node);
    if (!firstShown) firstShown = node->stmtNo;
    lastShown = node->stmtNo;
  }
  if (shown.empty()) {
    say(strFormat("No lines found in range %d-%d\n", static_cast<int>(from), static_cast<int>(to)));
    return CommandResult::Continue;
  }
  ListingOptions options;
  options.sourceLine = sourceLines;
  for (const CommandNode* node : shown) printListingLine(s, *node, options);
  s.dbg.firstListed = firstShown;
  s.dbg.lastListed = lastShown;
  return CommandResult::Continue;
}

CommandResult list(Session& s, std::string_view operand) { return listStatements(s, operand, false); }
CommandResult llist(Session& s, std::string_view operand) { return listStatements(s, operand, true); }

constexpr HelpExample kListExamples[] = {
    {"list", "List a few source lines around current position"},
    {"list 10", "List 10 source lines around current position"},
    {"list @3,10", "List 10 lines starting at line 3"},
    {"list @3,@20", "List from line 3 to line 20"},
    {"list *", "List all lines"},
    {"list +", "List the next few lines"},
    {"list +,10", "List the next 10 lines"},
    {"list -", "List the previous few lines"},
    {"list -,10", "List the previous 10 lines"},
    {"list func", "List defined functions"},
    {"list func test", "List some of function 'test'"},
    {"list func test *", "List all of function 'test'"},
};

constexpr DebugCommand kCommands[] = {
    {"list", "List Source lines", kListExamples, list},
    {"l", "", {}, list},
    {"llist", "", {}, llist},
};

}  // namespace

std::span<const DebugCommand> listingCommands() { return kCommands; }

}  // namespace kvarn::debugger
