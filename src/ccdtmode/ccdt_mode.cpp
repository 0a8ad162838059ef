#include "ccdtmode/ccdt_mode.h"

#include <mutex>
#include <new>
#include <stdexcept>

#include "ccdt/locate.h"
#include "ccdt/status.h"
#include "ccdtmode/ccdt_command.h"
#include "ccdtmode/table_store.h"
#include "context/echo.h"
#include "context/output.h"
#include "mqi/mqi.h"
#include "mqsc/request.h"
#include "mqsc/response.h"
#include "runtime/scan.h"

using namespace kvarn::ccdtmode;
using kvarn::ccdt::kOk;

namespace {

std::mutex hostMutex;
CcdtHost installedHost;

CcdtHost host() {
  std::lock_guard<std::mutex> lock(hostMutex);
  return installedHost;
}

MqscTarget tableTarget() {
  MqscTarget target;
  target.platform = MQPL_UNIX;
  target.capabilities = CapabilityFlags::forCcdt();
  return target;
}

// ---------------------------------------------------------------- parsing

enum class ParseOutcome { Parsed, UnknownVerb, UnknownObject, BadName, BadSyntax };

struct Cursor {
  std::string_view text;
  size_t pos = 0;
  void skipBlanks() {
    while (pos < text.size() && isScanSpace(text[pos])) ++pos;
  }
  bool atEnd() {
    skipBlanks();
    return pos >= text.size();
  }
  std::string_view word() {
    skipBlanks();
    size_t start = pos;
    while (pos < text.size() && !isScanSpace(text[pos]) && text[pos] != '(' && text[pos] != ')') ++pos;
    return text.substr(start, pos - start);
  }
  bool peek(char c) {
    skipBlanks();
    return pos < text.size() && text[pos] == c;
  }
  // The text between '(' at pos and its ')', quotes respected; false when unclosed.
  bool bracketed(std::string_view &value) {
    size_t open = pos;
    int depth = 0;
    char quote = 0;
    for (size_t i = open; i < text.size(); ++i) {
      char c = text[i];
      if (quote) {
        if (c == quote) quote = 0;
        continue;
      }
      if (c == '\'' || c == '"') quote = c;
      else if (c == '(') ++depth;
      else if (c == ')' && --depth == 0) {
        value = text.substr(open + 1, i - open - 1);
        pos = i + 1;
        return true;
      }
    }
    return false;
  }
};

std::vector<const CcdtCommandRow *> allRows() {
  std::vector<const CcdtCommandRow *> rows;
  for (const CcdtCommandRow &row : channelCommandRows()) rows.push_back(&row);
  for (const CcdtCommandRow &row : authinfoCommandRows()) rows.push_back(&row);
  return rows;
}

bool namesVerb(const CcdtCommandRow &row, std::string_view word) {
  return scanEqualsNoCase(word, row.verb) || (*row.verbShort && scanEqualsNoCase(word, row.verbShort));
}
bool namesObject(const CcdtCommandRow &row, std::string_view word) {
  return scanEqualsNoCase(word, row.object) || (*row.objectShort && scanEqualsNoCase(word, row.objectShort));
}

std::string syntaxError(std::string_view text, size_t at) {
  std::string_view segment = scanTrim(text.substr(0, std::min(text.size(), at + 1)));
  return strFormat("AMQ8405: Syntax error detected at or near command segment below :-\n%.*s",
                   static_cast<int>(segment.size()), segment.data());
}

void generalUsage(Reply &reply, const char *verb) {
  std::string lines = verb ? strFormat("AMQ8426: Valid MQSC %s commands are:\n", verb)
                           : std::string("AMQ8426: Valid MQSC commands are:\n");
  if (!verb) {
    lines += "  ALTER\n  DEFINE\n  DELETE\n  DISPLAY\n  MOVE\n  END";
  } else {
    bool first = true;
    for (const CcdtCommandRow *row : allRows()) {
      std::string lower = row->verb;
      for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (lower != verb) continue;
      lines += strFormat("%s  %s %s", first ? "" : "\n", row->verb, row->object);
      first = false;
    }
  }
  reply.usage(lines);
}

void commandUsage(Reply &reply, const CcdtCommandRow &row) {
  reply.usage(std::string("AMQ8427: Valid syntax for the MQSC command:\n") + row.usage);
}

ParseOutcome parseCommand(std::string_view text, CcdtCommand &command, Reply &reply) {
  Cursor cursor{text};
  // 1. The verb and the object pick the row.
  std::string_view verb = cursor.word();
  std::vector<const CcdtCommandRow *> rows;
  for (const CcdtCommandRow *row : allRows())
    if (namesVerb(*row, verb)) rows.push_back(row);
  if (rows.empty()) {
    reply.fail(syntaxError(text, cursor.pos));
    generalUsage(reply, nullptr);
    return ParseOutcome::UnknownVerb;
  }
  std::string_view object = cursor.word();
  for (const CcdtCommandRow *row : rows)
    if (namesObject(*row, object)) command.row = row;
  if (!command.row) {
    std::string lower(rows.front()->verb);
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    reply.fail(syntaxError(text, cursor.pos));
    generalUsage(reply, lower.c_str());
    return ParseOutcome::UnknownObject;
  }
  bool channel = std::string_view(command.row->object) == "CHANNEL";

  // 2. The object's name, in brackets.
  if (!cursor.peek('(')) {
    reply.fail(channel ? "AMQ8427: Expecting channel name. e.g.CHANNEL(CHL1)"
                       : "AMQ8427: Expecting authentication information name. e.g.AUTHINFO(OCSP1)");
    return ParseOutcome::BadName;
  }
  std::string_view raw;
  if (!cursor.bracketed(raw)) {
    reply.fail("AMQ8427: Closing bracket missing.");
    return ParseOutcome::BadName;
  }
  command.name = trimmedName(mqscValue(raw));
  if (command.name.empty()) {
    reply.fail(channel ? "AMQ8427: Channel name missing. e.g.CHANNEL(CHL1)"
                       : "AMQ8427: Authentication information name missing. e.g.AUTHINFO(OCSP1)");
    return ParseOutcome::BadName;
  }
  if (channel && command.name.size() > static_cast<size_t>(kvarn::ccdt::kKeyLength)) {
    reply.fail("AMQ8427: A channel name is limited to 20 characters.");
    return ParseOutcome::BadName;
  }
  if (!channel && command.name.size() > 48) {
    reply.fail("AMQ8427: An authentication information name is limited to 48 characters.");
    return ParseOutcome::BadName;
  }

  // 3. KEYWORD and KEYWORD(value) clauses.
  while (!cursor.atEnd()) {
    size_t at = cursor.pos;
    Clause clause;
    std::string_view keyword = cursor.word();
    if (keyword.empty()) {
      reply.fail(syntaxError(text, at));
      return ParseOutcome::BadSyntax;
    }
    clause.keyword = mqscValue(keyword);
    if (cursor.peek('(')) {
      std::string_view value;
      if (!cursor.bracketed(value)) {
        reply.fail(syntaxError(text, text.size()));
        return ParseOutcome::BadSyntax;
      }
      clause.value = std::string(value);
      clause.hasValue = true;
    }
    for (const Clause &earlier : command.clauses)
      if (earlier.keyword == clause.keyword) {
        reply.fail(strFormat("Duplicate keyword error '%s'", clause.keyword.c_str()));
        return ParseOutcome::BadSyntax;
      }
    command.clauses.push_back(std::move(clause));
  }
  return ParseOutcome::Parsed;
}

}  // namespace

// ---------------------------------------------------------------- shared helpers

namespace kvarn::ccdtmode {

void Reply::text(std::string_view line) { addResponseText(ctx_, record_, tableTarget(), line.data(), line.size()); }

void Reply::fail(std::string_view line, bool notFound) {
  {
    OwnedMutexGuard guard(ctx_.displayLock);
    record_.marks |= kMarkError | (notFound ? kMarkNotFound : 0u);
    if (record_.errorText.empty()) record_.errorText = std::string(line.substr(0, line.find('\n')));
  }
  text(line);
}

void Reply::usage(std::string_view lines) { text(lines); }

const Clause *CcdtCommand::find(std::string_view keyword) const {
  for (const Clause &c : clauses)
    if (scanEqualsNoCase(c.keyword, keyword)) return &c;
  return nullptr;
}

bool isValidObjectName(std::string_view name) {
  for (char c : name) {
    bool ok = c == ' ' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
              c == '/' || c == '_' || c == '%';
    if (!ok) return false;
  }
  return true;
}

std::string trimmedName(std::string_view name) { return std::string(kvarn::ccdt::trimTrailingBlanks(name)); }

bool jsonNumber(const CcdtCommand &command, const char *keyword, Reply &reply, int &value, bool all, bool beforeAfter) {
  const Clause *clause = command.find(keyword);
  std::string text = clause ? mqscValue(clause->value) : std::string();
  if (all && text == "ALL") {
    value = kAll;
    return true;
  }
  if (beforeAfter && (text == "BEFORE" || text == "AFTER")) {
    value = text == "BEFORE" ? kBefore : kAfter;
    return true;
  }
  bool negative = !text.empty() && text.front() == '-';
  std::string_view digits = negative ? std::string_view(text).substr(1) : std::string_view(text);
  bool numeric =
      !digits.empty() && digits.size() <= 9 && digits.find_first_not_of("0123456789") == std::string_view::npos;
  if (!numeric) {
    reply.bad(strFormat("AMQ8427: Value '%s' is not valid for parameter '%s'", text.c_str(), keyword));
    return false;
  }
  if (negative) {
    reply.bad(strFormat("AMQ8427: Parameter '%s' can not be negative", keyword));
    return false;
  }
  value = std::stoi(std::string(digits));
  if (value == 0) {
    reply.bad(strFormat("AMQ8427: Parameter '%s' can not be zero", keyword));
    return false;
  }
  return true;
}

}  // namespace kvarn::ccdtmode

// ---------------------------------------------------------------- the mode

void ccdtSetHost(CcdtHost h) {
  std::lock_guard<std::mutex> lock(hostMutex);
  installedHost = std::move(h);
}

bool inCcdtMode(const ProgramContext &ctx) { return ctx.ccdt && static_cast<const CcdtModeState &>(*ctx.ccdt).on; }

CcdtModeState &ccdtModeOf(ProgramContext &ctx) {
  auto &part = ctx.ccdt;
  if (!part) part = std::make_unique<CcdtModeState>();
  return static_cast<CcdtModeState &>(*part);
}

std::string ccdtFileName(ProgramContext &ctx) {
  if (!inCcdtMode(ctx)) return {};
  CcdtModeState &s = ccdtModeOf(ctx);
  return s.path.empty() ? s.tableName : s.path;
}

bool saveCcdtTable(ProgramContext &ctx) {
  if (!ctx.ccdt) return true;
  CcdtModeState &s = ccdtModeOf(ctx);
  if (!s.dirty) return true;
  std::string message;
  if (writeTable(ctx, s, message) == kOk) return true;
  addError(ctx, message);
  return false;
}

void finishCcdtTable(ProgramContext &ctx) {
  if (saveCcdtTable(ctx)) return;
  // Changes that cannot go into the table are kept beside it, never dropped.
  CcdtModeState &s = ccdtModeOf(ctx);
  if (!s.dirty) return;
  std::string aside;
  addError(ctx, keepChangesAside(ctx, s, aside));
  s.dirty = false;
}

void enterCcdtMode(ProgramContext &ctx, TableForm form, std::optional<std::string> file, std::optional<int> version) {
  CcdtModeState &s = ccdtModeOf(ctx);
  // The table held until now is written before another is taken up.
  finishCcdtTable(ctx);
  dropTable(s);

  // 1. Commands go to the table from now on.
  if (!s.on) {
    if (auto h = host(); h.directCommands) h.directCommands(ctx, true);
  }
  s.on = true;
  // 2. The table's name: "*" for the default; another form forgets the name.
  if (s.formUsed && s.form != form) s.tableName = "*";
  s.form = form;
  s.formUsed = true;
  if (file) s.tableName = file->empty() ? std::string("*") : *file;
  if (version) s.version = *version;
  s.path.clear();

  // 3. The table is read, and the result reported.
  std::string message;
  bool showResult = !ctx.input || ctx.input->echo.resp;
  if (form == TableForm::Json) {
    int rc = kvarn::ccdt::locateJsonTable(s.tableName, s.path, message);
    if (rc == kOk) rc = refreshTable(ctx, s, message);
    if (rc != kOk) {
      addError(ctx, message);
    } else {
      s.tableName = s.path;
      if (showResult)
        addInfo(ctx, strFormat("CCDT commands directed to file '%s'%s", s.path.c_str(),
                               kvarn::ccdt::fileStamp(s.path).exists ? "" : " (Does not exist)"));
    }
  } else {
    bool useMqserver = false;
    int rc = kvarn::ccdt::locateBinaryTable(s.tableName, s.path, useMqserver, message);
    if (rc == kOk) rc = refreshTable(ctx, s, message);
    if (rc != kOk) addError(ctx, message);
    else if (showResult)
      addInfo(ctx, strFormat("CCDT commands directed to file '%s'%s", s.path.c_str(),
                             kvarn::ccdt::fileStamp(s.path).exists ? "" : " (Does not exist)"));
  }
  // 4. The prompt shows the mode.
  if (auto h = host(); h.refreshPrompt) h.refreshPrompt(ctx);
}

void leaveCcdtMode(ProgramContext &ctx) {
  if (!inCcdtMode(ctx)) return;
  finishCcdtTable(ctx);
  CcdtModeState &s = ccdtModeOf(ctx);
  dropTable(s);
  s.on = false;
  if (auto h = host(); h.directCommands) h.directCommands(ctx, false);
  if (auto h = host(); h.refreshPrompt) h.refreshPrompt(ctx);
}

bool cslIssueCcdtCommand(ProgramContext &ctx, CommandRecord &record) {
  CcdtModeState &state = ccdtModeOf(ctx);
  Reply reply(ctx, record);
  record.target = CommandTarget::Ccdt;
  std::string text = record.commandText;
  record.checkingAttributes = ctx.countingUnhandled;
  record.isDisplay = scanEqualsNoCase(text.substr(0, text.find_first_of(" (")), "DIS") ||
                     scanEqualsNoCase(text.substr(0, text.find_first_of(" (")), "DISPLAY");
  if (record.isDisplay) record.marks |= kMarkFilterable;

  // 1. The output modifiers are taken off the command. Each begins with '=' or is a
  //    sign opening a word, so a command with neither (a DEFINE, mostly) has none.
  bool mayHaveModifiers = text.find('=') != std::string::npos;
  for (size_t i = 0; !mayHaveModifiers && i < text.size(); ++i)
    mayHaveModifiers = (text[i] == '+' || text[i] == '-') && (i == 0 || text[i - 1] == ' ');
  if (mayHaveModifiers && !takeOutputModifiers(ctx, record, text)) return completeCommandRecord(ctx, record);

  // 2. The verb, the object, the name and the clauses.
  CcdtCommand command;
  command.text = text;
  if (parseCommand(text, command, reply) != ParseOutcome::Parsed) {
    if (command.row) commandUsage(reply, *command.row);
    return completeCommandRecord(ctx, record);
  }

  // 3. The table is read (again, when another program changed it).
  std::string message;
  if (refreshTable(ctx, state, message) != kOk) {
    reply.fail(message);
    return completeCommandRecord(ctx, record);
  }

  // 4. The row's handler does the work; a command it could not read shows its usage.
  try {
    command.row->handler(ctx, state, command, reply);
  } catch (const std::bad_alloc &) {
    reply.fail(strFormat("Internal error RC(%d)", kvarn::ccdt::kErrStorage));
  } catch (const std::exception &) { reply.fail(strFormat("Internal error RC(%d)", kvarn::ccdt::kErrGeneral)); }
  if (reply.usageWanted()) commandUsage(reply, *command.row);
  return completeCommandRecord(ctx, record);
}
