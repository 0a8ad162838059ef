// Physical lines into commands: comments and blank lines are recorded and skipped,
// a ';' outside quotes and brackets splits a line, a trailing '-' or '+' continues a
// command on the next line.
#include <string>

#include "context/output.h"
#include "context/trace.h"
#include "runtime/scan.h"
#include "script/compiler.h"

namespace kvarn::script {

namespace {

void skipBlanksAndSeparators(std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ';' || text[i] == ' ' || text[i] == '\t')) ++i;
  text.erase(0, i);
}

uint32_t leadingBlanks(std::string_view line) {
  uint32_t n = 0;
  while (n < line.size() && (line[n] == ' ' || line[n] == '\t')) ++n;
  return n;
}

// A line holding a ';' outside quotes and brackets followed by more text.
bool holdsSeveralCommands(std::string_view line) {
  size_t sep = scanFindStatementEnd(line);
  if (sep == std::string_view::npos) return false;
  for (size_t i = sep; i < line.size(); ++i)
    if (line[i] != ';' && !isScanSpace(line[i])) return true;
  return false;
}

CommandType lineType(std::string_view line) {
  if (scanTrim(line).empty()) return CommandType::BlankLine;
  return holdsSeveralCommands(line) ? CommandType::MultiLine : CommandType::SourceLine;
}

// Removes a trailing continuation character; returns it ('-', '+') or 0. A '+' directly
// before a final '-' goes with it.
char takeContinuation(std::string& piece) {
  size_t last = piece.find_last_not_of(" \t\r\n");
  if (last == std::string::npos || (piece[last] != '-' && piece[last] != '+')) return 0;
  char cont = piece[last];
  size_t cut = last;
  if (cont == '-' && last > 0 && piece[last - 1] == '+') cut = last - 1;
  piece.resize(cut);
  return cont;
}

}  // namespace

bool cmdReadStringLine(ProgramContext&, InputSource& src) {
  if (src.textPos >= src.text.size()) {
    src.endOfInput = true;
    return false;
  }
  size_t nl = src.text.find('\n', src.textPos);
  size_t end = nl == std::string::npos ? src.text.size() : nl;
  src.line.assign(src.text, src.textPos, end - src.textPos);
  if (!src.line.empty() && src.line.back() == '\r') src.line.pop_back();
  src.textPos = nl == std::string::npos ? src.text.size() : nl + 1;
  ++src.lineNumber;
  return true;
}

bool cmdReadNextCommand(ProgramContext& ctx, InputSource& src, NodeList& record, std::string& command,
                        uint32_t fixedLine) {
  TraceScope trace(ctx, "cmdReadNextCommand", {}, false);
  if (!src.pending.empty()) {
    skipBlanksAndSeparators(src.pending);
    if (!src.pending.empty()) {
      command = std::string(scanTrim(src.pending));
      src.pending.clear();
      return true;
    }
  }
  std::string collected;
  bool tooLong = false;  // the joined command passed the limit: its pieces are dropped
  uint32_t firstLine = 0;
  char previous = 0;  // the continuation character that ended the last piece
  auto lineOf = [&] { return fixedLine ? fixedLine : src.lineNumber; };
  for (;;) {
    std::string piece;
    if (!src.rest.empty()) {
      piece.swap(src.rest);
    } else {
      if (!src.readLine || !src.readLine(ctx, src)) {
        if (previous) cmdWaitingDone(ctx, "continuation");
        command = std::string(scanTrim(collected));
        return !command.empty();
      }
      std::string_view line = src.line;
      src.indent = leadingBlanks(line);
      if (previous == 0 && src.indent < line.size() && line[src.indent] == '*') {
        record.append(CommandType::Comment, line, lineOf(), src.indent);
        continue;
      }
      CommandType type = lineType(line);
      CommandNode* node = record.append(type, line, lineOf(), src.indent);
      if (src.prompting) node->flags |= kNodeConsole;
      if (type == CommandType::BlankLine && previous == 0) continue;
      piece = src.line;
    }
    if (size_t sep = scanFindStatementEnd(piece); sep != std::string::npos) {
      src.rest = piece.substr(sep);
      skipBlanksAndSeparators(src.rest);
      piece.resize(sep);
    }
    char cont = takeContinuation(piece);
    if (!previous) firstLine = lineOf();
    if (collected.size() + piece.size() > kMaxStatementLength) tooLong = true;
    if (tooLong) {
      collected.clear();
    } else if (previous == '-') {
      size_t end = piece.find_last_not_of(" \t");
      if (end != std::string::npos) collected.append(piece, 0, end + 1);
    } else {
      std::string t = cont == '-' ? piece : std::string(scanTrim(piece));
      if (!collected.empty() && !t.empty()) collected += ' ';
      collected += t;
    }
    if (cont && !previous) cmdWaitingFor(ctx, "continuation");
    if (!cont && previous) cmdWaitingDone(ctx, "continuation");
    previous = cont;
    if (cont) continue;
    if (tooLong) {
      addError(ctx, strFormat("The command continued from line %u is longer than %zu characters and was skipped",
                              firstLine, kMaxStatementLength));
      countCommand(ctx, false);
      tooLong = false;
      continue;
    }
    command = std::string(scanTrim(collected));
    if (!command.empty()) return true;
    collected.clear();
  }
}

}  // namespace kvarn::script
