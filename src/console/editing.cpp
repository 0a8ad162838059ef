#include "console/editing.h"

#include <algorithm>

#include "console/console_state.h"
#include "console/paint.h"
#include "console/terminal.h"
#include "context/output.h"
#include "runtime/scan.h"
#include "runtime/text_columns.h"

namespace {

void changed(ConsoleState &c) { c.dirty = true; }

}  // namespace

std::u32string commandChars(std::string_view text) {
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

std::string commandUtf8(const std::u32string &text) {
  std::string out;
  for (char32_t c : text) appendUtf8(out, c);
  return out;
}

std::string commandText(const ConsoleState &c) { return commandUtf8(c.text); }

void setCommandText(ConsoleState &c, std::string_view text) {
  c.text = commandChars(text);
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
  // Output is never deleted: a selection that reaches it just ends.
  if (c.anchorInOutput || c.cursorInOutput) {
    c.selecting = false;
    c.anchorInOutput = false;
    changed(c);
    return;
  }
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
  std::u32string chars = commandChars(text);
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
  // A selection that reaches into the output copies what the screen shows there.
  if (c.anchorInOutput || c.cursorInOutput) {
    c.clipboard = selectedScreenText(c);
    if (c.terminalOpen) copyToTerminalClipboard(c.clipboard);
    changed(c);
    return;
  }
  size_t from = std::min(c.anchor, c.cursor), to = std::min(std::max(c.anchor, c.cursor), c.text.size());
  c.clipboard = from < to ? commandUtf8(c.text.substr(from, to - from)) : std::string();
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
