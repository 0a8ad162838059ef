#include "console/editing.h"

#include <algorithm>

#include "console/console_settings.h"
#include "console/console_state.h"
#include "console/paint.h"
#include "console/terminal.h"
#include "context/output.h"
#include "runtime/scan.h"
#include "runtime/text_columns.h"

namespace {

std::u32string decode(std::string_view text) {
  std::u32string out;
  for (size_t at = 0; at < text.size();) {
    TextChar ch = textCharAt(text, at);
    out += ch.code;
    at += ch.bytes;
  }
  return out;
}

void appendUtf8(std::string &out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string encode(const std::u32string &text) {
  std::string out;
  for (char32_t c : text) appendUtf8(out, c);
  return out;
}

bool lowerEquals(char32_t a, char32_t b) {
  auto lower = [](char32_t c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
  return lower(a) == lower(b);
}

size_t findNoCase(std::string_view text, std::string_view part, bool matchCase) {
  if (part.empty() || part.size() > text.size()) return std::string_view::npos;
  for (size_t i = 0; i + part.size() <= text.size(); ++i) {
    bool hit = true;
    for (size_t k = 0; k < part.size() && hit; ++k)
      hit = matchCase ? text[i + k] == part[k]
                      : lowerEquals(static_cast<unsigned char>(text[i + k]), static_cast<unsigned char>(part[k]));
    if (hit) return i;
  }
  return std::string_view::npos;
}

size_t rfindNoCase(std::string_view text, std::string_view part, bool matchCase, size_t before) {
  size_t found = std::string_view::npos;
  for (size_t at = findNoCase(text, part, matchCase); at != std::string_view::npos && at < before;) {
    found = at;
    size_t next = findNoCase(text.substr(at + 1), part, matchCase);
    at = next == std::string_view::npos ? next : at + 1 + next;
  }
  return found;
}

void changed(ConsoleState &c) { c.dirty = true; }

// Scrolls the current screen so that line `index` is in view.
void bringIntoView(ConsoleState &c, size_t index) {
  const ScreenLines &lines = c.ctx->output->screen(c.screen);
  if (index >= lines.size()) return;
  uint64_t total = lines.rows();
  const OutputLine &line = lines.at(index);
  uint64_t height = static_cast<uint64_t>(std::max(1, outputRows(c)));
  uint64_t bottom = total - c.scroll[c.screen];
  uint64_t top = bottom > height ? bottom - height : 0;
  if (line.rowIndex >= top && line.rowIndex + line.rows <= bottom) return;
  uint64_t wantBottom = std::min(total, line.rowIndex + std::max<uint64_t>(line.rows, height / 2));
  c.scroll[c.screen] = total - wantBottom;
}

}  // namespace

std::string commandText(const ConsoleState &c) { return encode(c.text); }

void setCommandText(ConsoleState &c, std::string_view text) {
  c.text = decode(text);
  if (c.text.size() > kMaxCommandArea) c.text.resize(kMaxCommandArea);
  c.cursor = c.text.size();
  c.selecting = false;
  c.cursorInOutput = false;
  changed(c);
}

void showMessage(ConsoleState &c, std::string_view text) {
  c.message = std::string(text.substr(0, kMaxMessage));
  if (c.ctx->settings.on(kOptSound) && !text.empty() && c.ctx->output) beep(c);
  changed(c);
}

void deleteSelection(ConsoleState &c) {
  if (!c.selecting) return;
  size_t from = std::min(c.anchor, c.cursor), to = std::max(c.anchor, c.cursor);
  to = std::min(to, c.text.size());
  if (from < to) c.text.erase(from, to - from);
  c.cursor = std::min(from, c.text.size());
  c.selecting = false;
  changed(c);
}

void typeCharacter(ConsoleState &c, char32_t ch) {
  if (c.cursorInOutput) {
    showMessage(c, "Not within command area.");
    return;
  }
  deleteSelection(c);
  if (c.cursor > c.text.size()) c.text.append(c.cursor - c.text.size(), U' ');
  if (!c.insertMode && c.cursor < c.text.size()) {
    c.text[c.cursor++] = ch;
  } else {
    if (c.text.size() >= kMaxCommandArea) {
      showMessage(c, "Not enough space left in command line");
      return;
    }
    c.text.insert(c.text.begin() + static_cast<std::ptrdiff_t>(c.cursor), ch);
    ++c.cursor;
  }
  changed(c);
}

void insertText(ConsoleState &c, std::string_view text) {
  std::u32string chars = decode(text);
  for (char32_t &ch : chars)
    if (ch == U'\n' || ch == U'\r' || ch == U'\t') ch = U' ';
  if (c.text.size() + chars.size() > kMaxCommandArea) {
    showMessage(c, "Too much clipboard data");
    return;
  }
  deleteSelection(c);
  if (c.cursor > c.text.size()) c.text.append(c.cursor - c.text.size(), U' ');
  c.text.insert(c.cursor, chars);
  c.cursor += chars.size();
  changed(c);
}

void moveLeft(ConsoleState &c) {
  if (c.cursorInOutput) {
    if (c.outputColumn > 0) --c.outputColumn;
  } else if (c.cursor > 0) {
    --c.cursor;
  }
  changed(c);
}

void moveRight(ConsoleState &c) {
  if (c.cursorInOutput) {
    if (c.outputColumn + 1 < c.columns) ++c.outputColumn;
  } else if (c.cursor < kMaxCommandArea) {
    ++c.cursor;
  }
  changed(c);
}

void moveUp(ConsoleState &c) {
  int width = std::max(1, c.columns);
  size_t promptCols = textColumns(c.prompt);
  if (!c.cursorInOutput && c.cursor + promptCols >= static_cast<size_t>(width)) {
    c.cursor -= static_cast<size_t>(width);
  } else if (!c.cursorInOutput) {
    c.cursorInOutput = true;
    c.outputRow = std::max(0, outputRows(c) - 1);
    c.outputColumn = static_cast<int>(c.cursor + promptCols);
  } else if (c.outputRow > 0) {
    --c.outputRow;
  }
  changed(c);
}

void moveDown(ConsoleState &c) {
  int width = std::max(1, c.columns);
  if (c.cursorInOutput) {
    if (c.outputRow + 1 < outputRows(c)) {
      ++c.outputRow;
    } else {
      c.cursorInOutput = false;
      size_t promptCols = textColumns(c.prompt);
      c.cursor = static_cast<size_t>(c.outputColumn) > promptCols ? c.outputColumn - promptCols : 0;
    }
  } else if (c.cursor + static_cast<size_t>(width) <= c.text.size()) {
    c.cursor += static_cast<size_t>(width);
  }
  changed(c);
}

void moveHome(ConsoleState &c) {
  if (c.cursorInOutput) c.outputColumn = 0;
  else c.cursor = 0;
  changed(c);
}

void moveEnd(ConsoleState &c) {
  c.cursorInOutput = false;
  c.cursor = c.text.size();
  changed(c);
}

void deleteCharacter(ConsoleState &c) {
  if (c.selecting) return deleteSelection(c);
  if (c.cursor < c.text.size()) c.text.erase(c.cursor, 1);
  changed(c);
}

void backspace(ConsoleState &c) {
  if (c.selecting) return deleteSelection(c);
  if (c.cursorInOutput || c.cursor == 0) return;
  --c.cursor;
  if (c.cursor < c.text.size()) c.text.erase(c.cursor, 1);
  changed(c);
}

void clearCommand(ConsoleState &c) {
  c.text.clear();
  c.cursor = 0;
  c.selecting = false;
  c.cursorInOutput = false;
  changed(c);
}

void addToHistory(ConsoleState &c, std::string_view command) { addCommandHistory(*c.ctx, command); }

void recallCommand(ConsoleState &c, int direction) {
  const std::vector<std::string> &history = consoleSettingsOf(*c.ctx).history;  // oldest first
  if (!c.recalling) {
    std::string key = encode(c.text.substr(0, std::min(c.cursor, c.text.size())));
    if (c.cursor > c.text.size()) key.append(c.cursor - c.text.size(), ' ');
    size_t lead = key.find_first_not_of(' ');
    key = lead == std::string::npos ? std::string() : key.substr(lead);
    c.recallContains = !key.empty() && key[0] == '#';
    c.recallKey = c.recallContains ? key.substr(1) : key;
    c.recallIndex = static_cast<int>(history.size());
    c.recalling = true;
  }
  std::string current = commandText(c);
  int index = c.recallIndex;
  for (;;) {
    index += direction;
    if (index < 0 || index >= static_cast<int>(history.size())) break;
    const std::string &entry = history[static_cast<size_t>(index)];
    if (scanEqualsNoCase(entry, current)) continue;
    bool match = c.recallContains ? findNoCase(entry, c.recallKey, false) != std::string::npos
                                  : scanStartsWithNoCase(entry, c.recallKey);
    if (!match) continue;
    c.recallIndex = index;
    c.text = decode(entry);
    c.cursor = c.text.size();
    c.selecting = false;
    c.cursorInOutput = false;
    changed(c);
    return;
  }
  const char *way = direction < 0 ? "previous" : "next";
  std::string text;
  if (c.recallKey.empty() && !c.recallContains) text = std::string("No ") + way + " command found";
  else if (c.recallContains)
    text = std::string("No ") + way + " command containing characters '" + c.recallKey + "' found";
  else text = std::string("No ") + way + " command matching prefix '" + c.recallKey + "' found";
  showMessage(c, text);
}

void snapshotForUndo(ConsoleState &c) {
  if (c.undoStepped) return;
  if (!c.undo.empty() && c.undo.front().text == c.text) return;
  c.undo.push_front(UndoSnapshot{c.text, c.cursor});
  while (c.undo.size() > kMaxUndoSnapshots) c.undo.pop_back();
  c.undoPos = 0;
}

namespace {

void restoreSnapshot(ConsoleState &c, size_t index) {
  c.undoPos = index;
  c.text = c.undo[index].text;
  c.cursor = c.undo[index].cursor;
  c.undoStepped = true;
  changed(c);
}

}  // namespace

void undoChange(ConsoleState &c) {
  size_t next = c.undoPos;
  // Skip the newest when it is what the command area already holds.
  while (next < c.undo.size() && c.undo[next].text == c.text) ++next;
  if (next >= c.undo.size()) return showMessage(c, "No further undo available");
  restoreSnapshot(c, next);
}

void redoChange(ConsoleState &c) {
  size_t next = c.undoPos;
  while (next > 0 && c.undo[next].text == c.text) --next;
  if (c.undo.empty() || c.undo[next].text == c.text) return showMessage(c, "No further redo available");
  restoreSnapshot(c, next);
}

void copySelection(ConsoleState &c, bool cut) {
  if (!c.selecting) {
    showMessage(c, "No data to select");
    return;
  }
  size_t from = std::min(c.anchor, c.cursor), to = std::min(std::max(c.anchor, c.cursor), c.text.size());
  c.clipboard = from < to ? encode(c.text.substr(from, to - from)) : std::string();
  if (c.terminalOpen) copyToTerminalClipboard(c.clipboard);
  if (cut) deleteSelection(c);
  changed(c);
}

void pasteClipboard(ConsoleState &c) {
  if (c.clipboard.empty()) {
    showMessage(c, "No clipboard data available");
    return;
  }
  insertText(c, c.clipboard);
}

void selectAll(ConsoleState &c) {
  c.cursorInOutput = false;
  c.selecting = true;
  c.anchor = 0;
  c.cursor = c.text.size();
  changed(c);
}

void pageOutput(ConsoleState &c, int direction) {
  uint64_t page = static_cast<uint64_t>(std::max(1, outputRows(c)));
  uint64_t total = c.ctx->output->screen(c.screen).rows();
  uint64_t limit = total > page ? total - page : 0;
  uint64_t &back = c.scroll[c.screen];
  if (direction < 0) back = std::min(limit, back + page);
  else back = back > page ? back - page : 0;
  changed(c);
}

void scrollToTop(ConsoleState &c) {
  uint64_t page = static_cast<uint64_t>(std::max(1, outputRows(c)));
  uint64_t total = c.ctx->output->screen(c.screen).rows();
  c.scroll[c.screen] = total > page ? total - page : 0;
  changed(c);
}

void scrollToBottom(ConsoleState &c) {
  c.scroll[c.screen] = 0;
  moveEnd(c);
}

void runFind(ConsoleState &c, std::string_view command) {
  if (command.empty() || command[0] != '/') {
    showMessage(c, "No find string given");
    return;
  }
  std::string_view rest = command.substr(1);
  size_t slash = rest.find('/');
  std::string_view text = rest.substr(0, slash);
  std::string_view flags = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  if (text.size() > kMaxMessage) {
    showMessage(c, "Find string too long");
    return;
  }
  bool matchCase = false, single = false, back = false;
  for (char f : flags) {
    if (f == 'c' || f == 'C') matchCase = true;
    else if (f == 's' || f == 'S') single = true;
    else if (f == 'b' || f == 'B') back = true;
    else if (f != ' ') {
      showMessage(c, std::string("Unrecognised find command suffix '") + f + "'");
      return;
    }
  }
  c.findText = std::string(text);
  c.findCase = matchCase;
  c.findSingle = single;
  c.findBack = back;
  c.findLine = SIZE_MAX;
  findAgain(c, false);
  if (c.findLine != SIZE_MAX) clearCommand(c);
}

void findAgain(ConsoleState &c, bool reverse) {
  if (c.findText.empty()) {
    showMessage(c, "No find string entered");
    return;
  }
  OwnedMutexGuard guard(c.ctx->displayLock);
  const ScreenLines &lines = c.ctx->output->screen(c.screen);
  if (lines.empty()) {
    showMessage(c, "No data to search");
    return;
  }
  bool backwards = c.findBack != reverse;
  size_t count = lines.size();
  uint32_t group = c.findLine < count ? lines.at(c.findLine).commandNumber : lines.newest().commandNumber;
  auto inScope = [&](size_t i) { return !c.findSingle || lines.at(i).commandNumber == group; };
  // Start just after (or before) the last hit; with none, from the newest end backwards
  // or the oldest end forwards.
  size_t startLine = c.findLine < count ? c.findLine : (backwards ? count - 1 : 0);
  size_t startOffset = c.findLine < count ? c.findOffset : (backwards ? SIZE_MAX : 0);
  bool first = c.findLine < count;
  bool wrapped = false;
  size_t hits = 0, hitLine = SIZE_MAX, hitOffset = 0;
  for (size_t step = 0; step <= count; ++step) {
    size_t i = backwards ? (startLine + count - step) % count : (startLine + step) % count;
    if (step > 0 && (backwards ? i == count - 1 : i == 0)) wrapped = true;
    if (!inScope(i)) continue;
    std::string_view text = lines.at(i).text();
    size_t at;
    if (step == 0 && first) {
      at = backwards ? rfindNoCase(text, c.findText, c.findCase, startOffset)
                     : findNoCase(text.substr(std::min(text.size(), startOffset + 1)), c.findText, c.findCase);
      if (!backwards && at != std::string_view::npos) at += startOffset + 1;
    } else if (step == 0) {
      at = backwards ? rfindNoCase(text, c.findText, c.findCase, SIZE_MAX) : findNoCase(text, c.findText, c.findCase);
    } else {
      at = backwards ? rfindNoCase(text, c.findText, c.findCase, SIZE_MAX) : findNoCase(text, c.findText, c.findCase);
    }
    if (at == std::string_view::npos) continue;
    ++hits;
    hitLine = i;
    hitOffset = at;
    break;
  }
  if (hitLine == SIZE_MAX) {
    showMessage(c, "String not found");
    return;
  }
  bool same = hitLine == c.findLine && hitOffset == c.findOffset;
  c.findLine = hitLine;
  c.findOffset = hitOffset;
  bringIntoView(c, hitLine);
  if (same) showMessage(c, std::string("Only one instance found") + (c.findSingle ? " (single command)" : ""));
  else if (wrapped && first) showMessage(c, "Wrapped...");
  else c.message.clear();
  c.dirty = true;
}
