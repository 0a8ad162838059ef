#include "script/print.h"

#include "runtime/scan.h"

#include <cerrno>
#include <cstring>

#include "script/expr.h"
#include "script/resolver.h"
#include "script/script_state.h"
#include "text/text.h"

namespace kvarn::script {

namespace {

constexpr char kSeparator = '\x05';

struct ItemFormat {
  int width = 0;
  int decimals = 2;
  char justify = 0;  // 'l', 'r' or by type
  bool noBlank = false;
  bool noNewline = false;
};

// Reads a leading ":format:" off `item`.
bool parseFormat(std::string_view& item, ItemFormat& f, std::string& error) {
  if (item.empty() || item[0] != ':') return true;
  size_t i = 1;
  auto number = [&](int& out) {
    int64_t v = 0;
    while (i < item.size() && item[i] >= '0' && item[i] <= '9') {
      v = v * 10 + (item[i] - '0');
      if (v > static_cast<int64_t>(kPrintBufferSize)) v = static_cast<int64_t>(kPrintBufferSize) + 1;
      ++i;
    }
    out = static_cast<int>(v);
  };
  number(f.width);
  if (f.width > static_cast<int>(kPrintBufferSize)) {
    error = strFormat("Field width in print format is larger than the limit of %d", static_cast<int>(kPrintBufferSize));
    return false;
  }
  while (true) {
    if (i >= item.size()) {
      error = "End of formatting character ':' missing in print statement";
      return false;
    }
    char c = item[i++];
    switch (c) {
    case ':': item.remove_prefix(i); return true;
    case 'l':
    case 'r': f.justify = c; break;
    case 'p': number(f.decimals); break;
    case 'n': f.noBlank = true; break;
    case 's': f.noNewline = true; break;
    default: error = strFormat("Unrecognised formatting character '%c' in print format string", c); return false;
    }
  }
}

bool formatItemsInto(ProgramContext& ctx, const std::vector<std::string_view>& items, size_t from, std::string& buffer,
                     bool lineStart, std::string& error);

// Formats the items into `buffer`; `lineStart` says whether the buffer begins a line. A
// print that fails adds nothing: the items formatted before the failing one are taken
// back, so the next print starts where this one began.
bool formatItems(ProgramContext& ctx, const std::vector<std::string_view>& items, size_t from, std::string& buffer,
                 bool lineStart, std::string& error) {
  size_t mark = buffer.size();
  if (formatItemsInto(ctx, items, from, buffer, lineStart, error)) return true;
  buffer.resize(mark);
  return false;
}

bool formatItemsInto(ProgramContext& ctx, const std::vector<std::string_view>& items, size_t from, std::string& buffer,
                     bool lineStart, std::string& error) {
  bool newline = true;
  for (size_t k = from; k < items.size(); ++k) {
    std::string_view item = scanTrim(items[k], " \t");
    ItemFormat f;
    if (!parseFormat(item, f, error)) return false;
    ExprOptions options = scriptExprOptions(ctx, kCaseSensitive | kAllowAt | kNoCheck);
    CompiledExpr expr = expParseExpression(item, options, error);
    if (!expr) return false;
    Value v;
    if (!expEvaluate(*expr, v)) {
      error = expr->error();
      return false;
    }
    std::string text;
    if (!valueToText(v, f.decimals, text, error)) return false;
    bool atStart = buffer.empty() ? lineStart : buffer.back() == '\n';
    if (!atStart && !f.noBlank) buffer += ' ';
    bool right = f.justify ? f.justify == 'r' : (v.type() == LexemeType::Int || v.type() == LexemeType::Dbl);
    size_t pad = text.size() < static_cast<size_t>(f.width) ? static_cast<size_t>(f.width) - text.size() : 0;
    if (right) buffer.append(pad, ' ');
    buffer += text;
    if (!right) buffer.append(pad, ' ');
    newline = !f.noNewline;
  }
  // A print ending in the separator leaves its line open, as 's' does.
  if (newline && (buffer.empty() || buffer.back() != kSeparator)) buffer += '\n';
  return true;
}

// Emits the completed pieces of the print buffer as output lines.
void emitConsole(ProgramContext& ctx, ScriptState& state) {
  std::string& buf = state.printBuffer;
  size_t at = 0;
  while (true) {
    size_t end = buf.find_first_of(std::string_view("\n\x05", 2), at);
    if (end == std::string::npos) break;
    uint32_t style = kStyleInfo | kStylePrint | (state.printLineOpen ? kStyleContinues : 0u);
    std::string_view piece(buf.data() + at, end - at);
    if (buf[end] == '\n') {
      ctx.output->addLine(piece, style);
      state.printLineOpen = false;
    } else {
      std::string segment(piece);
      segment += ' ';
      ctx.output->addLine(segment, style | kStyleOpen);
      state.printLineOpen = true;
    }
    at = end + 1;
  }
  buf.erase(0, at);
  // The buffer holds 20000 bytes: a longer unfinished line goes out as an open segment
  // rather than being cut.
  // The last byte stays, so the next item still knows it is not at the start of a line.
  if (buf.size() > kPrintBufferSize) {
    ctx.output->addLine(std::string_view(buf).substr(0, buf.size() - 1),
                        kStyleInfo | kStylePrint | kStyleOpen | (state.printLineOpen ? kStyleContinues : 0u));
    state.printLineOpen = true;
    buf.erase(0, buf.size() - 1);
  }
}

// Writes the completed lines of a file's print buffer; a separator ends a segment with
// one blank and keeps the line going.
bool emitFile(ScriptFile& file, ScriptState& state) {
  std::string& buf = file.printBuffer;
  std::string out;
  size_t at = 0;
  while (true) {
    size_t end = buf.find_first_of(std::string_view("\n\x05", 2), at);
    if (end == std::string::npos) break;
    out.append(buf, at, end - at);
    out += buf[end] == '\n' ? '\n' : ' ';
    file.lineOpen = buf[end] != '\n';
    at = end + 1;
  }
  buf.erase(0, at);
  if (buf.size() > kPrintBufferSize) {
    out.append(buf, 0, buf.size() - 1);
    buf.erase(0, buf.size() - 1);
  }
  if (!out.empty() && std::fwrite(out.data(), 1, out.size(), file.stream) != out.size()) {
    state.lastErrno = errno;
    return false;
  }
  return true;
}

}  // namespace

std::vector<std::string_view> splitPrintItems(std::string_view items) {
  // Nothing at all to print is no item; a trailing empty item after a comma is one.
  if (scanTrim(items, " \t").empty()) return {};
  return scanSplitCommas(items);
}

bool scriptPrint(ProgramContext& ctx, std::string_view items, std::string& error) {
  ScriptState& state = scriptState(ctx);
  std::vector<std::string_view> parts = splitPrintItems(items);
  bool lineStart = state.printBuffer.empty();  // an open segment already ends in a blank
  bool ok = formatItems(ctx, parts, 0, state.printBuffer, lineStart, error);
  emitConsole(ctx, state);
  return ok;
}

bool scriptFilePrint(ProgramContext& ctx, std::string_view items, std::string& error) {
  ScriptState& state = scriptState(ctx);
  std::vector<std::string_view> parts = splitPrintItems(items);
  if (parts.empty()) {
    error = "File Identifier missing in fprint statement";
    return false;
  }
  ExprOptions options = scriptExprOptions(ctx, kCaseSensitive | kAllowAt | kNoCheck);
  CompiledExpr expr = expParseExpression(scanTrim(parts[0], " \t"), options, error);
  if (!expr) return false;
  Value id;
  if (!expEvaluate(*expr, id)) {
    error = expr->error();
    return false;
  }
  int fileId = valueInteger(id);
  if (fileId == 1) {
    bool lineStart = state.printBuffer.empty();  // an open segment already ends in a blank
    bool ok = formatItems(ctx, parts, 1, state.printBuffer, lineStart, error);
    emitConsole(ctx, state);
    return ok;
  }
  ScriptFile* file = state.file(fileId);
  if (!file) {
    error = strFormat("File Identifier %d is not an open file", fileId);
    return false;
  }
  // The items may open or close files (FOPEN, FCLOSE, a function that does): they are
  // formatted apart and the file looked up again afterwards.
  bool lineStart = file->printBuffer.empty();
  std::string text;
  bool ok = formatItems(ctx, parts, 1, text, lineStart, error);
  file = state.file(fileId);
  if (!file) {
    if (ok) error = strFormat("File Identifier %d was closed while its fprint statement ran", fileId);
    return false;
  }
  file->printBuffer += text;
  if (!emitFile(*file, state) && ok) {
    error = strFormat("Error writing to file %s - %s", file->name.c_str(), std::strerror(state.lastErrno));
    return false;
  }
  return ok;
}

}  // namespace kvarn::script
