// ALTER NAMELIST with =ADD(...) / =RMV(...): the current names are fetched with a DISPLAY
// round trip, merged with the typed ones, and the ALTER is sent with a full NAMES(...).
#include <algorithm>
#include <cctype>

#include "context/output.h"
#include "mqsc/clause_scanner.h"
#include "mqsc/command_words.h"
#include "mqsc/pcf_message.h"
#include "mqsc/prepare_steps.h"
#include "mqsc/response.h"
#include "text/text.h"

namespace {

std::string_view skipLeadingBlanks(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\r' || s[i] == '\n' || s[i] == '\t')) ++i;
  return s.substr(i);
}

bool isQuoted(std::string_view name) { return !name.empty() && (name[0] == '\'' || name[0] == '"'); }

// The name as MQ stores it: quotes removed from a quoted name, an unquoted one folded to
// upper case (MQSC folds unquoted names). Received names are always quoted here.
std::string comparisonKey(std::string_view name) {
  if (isQuoted(name)) {
    std::string_view inner = name.substr(1);
    if (!inner.empty() && inner.back() == name[0]) inner.remove_suffix(1);
    return std::string(inner);
  }
  std::string out(name);
  for (char &c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string quoteName(std::string_view name) {
  if (isQuoted(name)) return std::string(name);
  return "'" + std::string(name) + "'";
}

std::string namesTooMany() {
  return strFormat("A namelist can only contain %d names", static_cast<int>(kNamelistMaxNames));
}

}  // namespace

// ------------------------------------------------------------------ merge of the DISPLAY reply

void NamelistMerge::failWithText(std::string_view text) {
  ok_ = false;
  if (!text.empty()) failureText_.emplace_back(text);
}

bool NamelistMerge::takeNames(std::string_view recordText) {
  KeywordClause clause;
  if (!findKeyword(recordText, "NAMES", kKeyRawValue, clause) || !clause.found) return true;  // an empty namelist
  std::string_view value = clause.value(recordText);
  size_t cursor = 0;
  std::string_view item;
  while (nextListItem(value, cursor, item)) {
    if (item.empty()) continue;
    if (names_.size() >= kNamelistMaxNames) {
      message_ = namesTooMany();
      ok_ = false;
      return false;
    }
    names_.push_back(quoteName(item));
  }
  return true;
}

// One z/OS line; true when it ends the exchange.
bool NamelistMerge::zosLine(std::string_view line) {
  line = skipLeadingBlanks(line);
  if (line.empty() || line.starts_with("CSQN205")) return false;
  if (line.starts_with("CSQ9022")) return true;
  if (line.starts_with("CSQM407")) {
    gotNames_ = takeNames(line) || gotNames_;
    return false;
  }
  failWithText(line);
  return false;
}

bool NamelistMerge::onReply(const MQMD &md, const uint8_t *data, size_t length) {
  std::string_view format(md.Format, sizeof md.Format);
  if (target_.isZos() && (format == MQFMT_COMMAND_1 || format == MQFMT_COMMAND_2)) {
    std::string_view text(reinterpret_cast<const char *>(data), length);
    bool last = false;
    if (text.size() > 8 && text[8] == '*') {
      size_t pos = 0;
      while (pos <= text.size()) {
        size_t end = text.find('\0', pos);
        if (end == std::string_view::npos) end = text.size();
        if (end > pos && zosLine(text.substr(pos, end - pos))) last = true;
        pos = end + 1;
      }
    } else {
      size_t end = text.find('\0');
      last = zosLine(text.substr(0, end));
    }
    return last;
  }
  PcfReader reader(data, length);
  if (!reader.hasHeader()) {
    message_ = strFormat("Command processing RC(%ld) %s", 2071L, reasonText(2071));
    ok_ = false;
    return true;
  }
  PcfParameter p;
  while (reader.next(p)) {
    if (p.type != MQCFT_STRING || p.parameter != MQCACF_ESCAPE_TEXT) continue;
    std::string_view text = skipLeadingBlanks(p.string);
    size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    if (text.starts_with("AMQ8550")) {
      gotNames_ = takeNames(text) || gotNames_;
    } else {
      failWithText(text);
    }
  }
  if (reader.header().CompCode == MQCC_FAILED) ok_ = false;
  return (reader.header().Control & MQCFC_LAST) != 0;
}

// ------------------------------------------------------------------ rebuilding the ALTER

bool rebuildNamelistAlter(std::string_view typed, const std::vector<std::string> &current, std::string &rebuilt,
                          std::string &message) {
  std::vector<std::string> names = current;
  std::string copy;
  copy.reserve(typed.size() + 64);
  bool sawAdd = false, sawRmv = false;
  std::vector<std::string_view> adds, removes;
  ScanLevel level{.strayCloseHidesRest = true};
  for (size_t i = 0; i < typed.size(); ++i) {
    char c = typed[i];
    if (level.step(c) && c == '=') {
      std::string_view rest = typed.substr(i);
      bool isAdd = scanStartsWithNoCase(rest, "=add");
      bool isRmv = scanStartsWithNoCase(rest, "=rmv");
      size_t open = i + 4;
      while (open < typed.size() && typed[open] == ' ') ++open;
      if ((isAdd || isRmv) && open < typed.size() && typed[open] == '(') {
        if (isAdd && sawAdd) {
          message = "only one =add() modifier is allowed per command";
          return false;
        }
        if (isRmv && sawRmv) {
          message = "only one =rmv() modifier is allowed per command";
          return false;
        }
        KeywordClause clause;
        if (!parseBracketedValue(typed, i, 4, open, kKeyRawValue | kKeyReportErrors, clause, &message)) return false;
        (isAdd ? sawAdd : sawRmv) = true;
        std::string_view value = clause.value(typed);
        size_t cursor = 0;
        std::string_view item;
        while (nextListItem(value, cursor, item))
          if (!item.empty()) (isAdd ? adds : removes).push_back(item);
        i += clause.clauseLength - 1;
        continue;
      }
    }
    copy.push_back(c);
  }
  for (std::string_view add : adds) {
    std::string key = comparisonKey(add);
    bool present =
        std::any_of(names.begin(), names.end(), [&](const std::string &n) { return comparisonKey(n) == key; });
    if (present) continue;
    if (names.size() >= kNamelistMaxNames) {
      message = namesTooMany();
      return false;
    }
    names.emplace_back(add);
  }
  for (std::string_view rmv : removes) {
    std::string key = comparisonKey(rmv);
    names.erase(
        std::remove_if(names.begin(), names.end(), [&](const std::string &n) { return comparisonKey(n) == key; }),
        names.end());
  }
  while (!copy.empty() && copy.back() == ' ') copy.pop_back();
  copy += " NAMES(";
  if (names.empty()) {
    copy += "' '";
  } else {
    for (size_t i = 0; i < names.size(); ++i) {
      if (i) copy += ',';
      copy += names[i];
    }
  }
  copy += ')';
  rebuilt = std::move(copy);
  return true;
}

// ------------------------------------------------------------------ the step

NamelistStep editNamelist(ProgramContext &ctx, const MqscTarget &target, CommandRecord &record, std::string &text,
                          MqscExchange *exchange, std::string &message) {
  std::string_view verb = commandWord(text, 0), object = commandWord(text, 1);
  if (!(scanEqualsNoCase(verb, "alt") || scanEqualsNoCase(verb, "alter"))) return NamelistStep::NotApplicable;
  if (!(scanEqualsNoCase(object, "nl") || scanEqualsNoCase(object, "namelist"))) return NamelistStep::NotApplicable;

  KeywordClause add, rmv;
  if (!findKeyword(text, "=ADD", kKeyReportErrors | kKeyRawValue, add, &message)) return NamelistStep::Failed;
  if (!findKeyword(text, "=RMV", kKeyReportErrors | kKeyRawValue, rmv, &message)) return NamelistStep::Failed;
  if (!add.found && !rmv.found) return NamelistStep::NotApplicable;

  KeywordClause names;
  if (!findKeyword(text, "NAMES", kKeyRawValue, names)) return NamelistStep::Failed;
  if (names.found) {
    message = "You can not specify NAMES() if using =ADD() or =RMV()";
    return NamelistStep::Failed;
  }
  KeywordClause name;
  if (!findKeyword(text, object, kKeyReportErrors | kKeyRawValue, name, &message)) return NamelistStep::Failed;
  if (!name.found || name.valueLength >= 61) return NamelistStep::NotApplicable;
  if (!exchange) {
    message = "Unable to process =ADD() or =RMV(): no connection for the namelist inquiry";
    return NamelistStep::Failed;
  }

  std::string display =
      strFormat("DISPLAY NAMELIST(%.*s) NAMES", static_cast<int>(name.valueLength), text.data() + name.valuePos);
  PreparedRequest request = buildMqscRequest(target, display);
  request.handler = kHandlerNamelistMerge;
  NamelistMerge merge(target);
  bool answered = exchange->inquire(
      request, [&](const MQMD &md, const uint8_t *data, size_t length) { return merge.onReply(md, data, length); });
  // The queue manager's own words on why the inquiry failed go to the command's output.
  for (const std::string &line : merge.failureText()) addRecordLine(ctx, record, RecordLine{line, kLineResponseText, {}});
  if (!answered || !merge.ok()) {
    if (!merge.message().empty()) message = merge.message();
    return NamelistStep::Failed;
  }
  std::string rebuilt;
  if (!rebuildNamelistAlter(text, merge.names(), rebuilt, message)) return NamelistStep::Failed;
  text = std::move(rebuilt);
  return NamelistStep::Rebuilt;
}
