#include "driver/reader.h"

#include <cstring>

#include "driver/context.h"
#include "driver/dispatch.h"
#include "driver/output.h"
#include "driver/prompt.h"
#include "driver/trace.h"
#include "runtime/scan.h"

namespace {

// Finds the first ';' outside quotes and brackets, or npos.
size_t findSeparator(std::string_view text) { return scanFindStatementEnd(text); }

void skipSeparators(std::string &text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ';' || text[i] == ' ' || text[i] == '\t')) ++i;
  text.erase(0, i);
}

std::string trimAll(std::string_view v) {
  std::string_view t = scanTrim(v);
  return std::string(t);
}

void showPrompt(ProgramContext &ctx) {
  PromptState state;
  state.ccdtMode = ctx.ccdtMode;
  std::string prompt = expandPrompt(ctx.settings.prompt, state);
  ctx.output->flush();
  std::fputs(prompt.c_str(), stdout);
  std::fflush(stdout);
}

} // namespace

bool readFileLine(ProgramContext &ctx, InputSource &src) {
  if ((ctx.mode & kModeEndAtStdin) && src.stream == stdin) {
    ctx.quit = true;
    return false;
  }
  if (!src.stream || src.endOfInput || src.readError) return false;
  if (src.prompting) showPrompt(ctx);
  static thread_local std::string buffer;
  if (buffer.size() != kLineBufferSize) buffer.assign(kLineBufferSize, '\0');
  if (!std::fgets(buffer.data(), static_cast<int>(buffer.size()), src.stream)) {
    if (std::ferror(src.stream)) {
      src.readError = true;
      addError(ctx, strFormat("Error reading from file '%s'", src.name.c_str()));
    } else {
      src.endOfInput = true;
    }
    return false;
  }
  size_t len = std::strlen(buffer.c_str());
  std::string_view line(buffer.data(), len);
  if (size_t nl = line.find('\n'); nl != std::string_view::npos) line = line.substr(0, nl);
  if (size_t cr = line.find('\r'); cr != std::string_view::npos) line = line.substr(0, cr);
  src.line.assign(line);
  ++src.lineNumber;
  return true;
}

bool readStringLine(ProgramContext &, InputSource &src) {
  if (src.textPos >= src.text.size()) {
    src.endOfInput = true;
    return false;
  }
  size_t nl = src.text.find('\n', src.textPos);
  size_t end = nl == std::string::npos ? src.text.size() : nl;
  src.line = src.text.substr(src.textPos, end - src.textPos);
  if (!src.line.empty() && src.line.back() == '\r') src.line.pop_back();
  src.textPos = nl == std::string::npos ? src.text.size() : nl + 1;
  ++src.lineNumber;
  return true;
}

bool cmdReadNextCommand(ProgramContext &ctx, InputSource &src, std::string &command) {
  TraceScope trace(ctx, "cmdReadNextCommand", {}, false);
  std::string collected;
  char previous = 0;          // the continuation character that ended the last piece
  while (true) {
    std::string piece;
    if (!src.rest.empty()) {
      piece.swap(src.rest);
    } else {
      if (!src.readLine || !src.readLine(ctx, src)) {
        command = trimAll(collected);
        return !command.empty();
      }
      std::string_view line = src.line;
      size_t first = line.find_first_not_of(" \t");
      if (first != std::string_view::npos && line[first] == '*' && previous == 0) continue;   // a comment
      piece = src.line;
    }
    if (size_t sep = findSeparator(piece); sep != std::string::npos) {
      src.rest = piece.substr(sep);
      skipSeparators(src.rest);
      piece.resize(sep);
    }
    // A trailing '-' or '+' continues the command on the next line.
    char cont = 0;
    size_t last = piece.find_last_not_of(" \t\r\n");
    if (last != std::string::npos && (piece[last] == '-' || piece[last] == '+')) {
      cont = piece[last];
      size_t cut = last;
      if (cont == '-' && last > 0 && piece[last - 1] == '+') cut = last - 1;
      piece.resize(cut);
    }
    if (previous == '-') {
      size_t end = piece.find_last_not_of(" \t");
      collected += end == std::string::npos ? std::string() : piece.substr(0, end + 1);
    } else {
      std::string t = cont == '-' ? piece : trimAll(piece);
      if (!collected.empty() && !t.empty()) collected += ' ';
      collected += t;
    }
    previous = cont;
    if (cont) continue;
    command = trimAll(collected);
    if (!command.empty()) return true;
    collected.clear();
  }
}

void cmdReadCommands(ProgramContext &ctx, InputSource &src) {
  TraceScope trace(ctx, "cmdReadCommands", {}, false);
  uint32_t failuresAtStart = ctx.failureEvents;
  std::string command;
  while (!ctx.quit && !ctx.interrupted) {
    if (!cmdReadNextCommand(ctx, src, command)) break;
    cslIssueCommand(ctx, command);
    if (src.stopOnError && ctx.failureEvents != failuresAtStart) {
      if (&src == ctx.mainInput.get()) ctx.quit = true;
      break;
    }
  }
}

void runNestedSource(ProgramContext &ctx, InputSource &src) {
  src.parent = ctx.input;
  ctx.input = &src;
  cmdReadCommands(ctx, src);
  ctx.input = src.parent;
}
