#include "console/paint.h"

#define NCURSES_WIDECHAR 1
#include <ncursesw/curses.h>

#include <algorithm>
#include <ctime>
#include <string>

#include "console/console_settings.h"
#include "console/console_state.h"
#include "console/editing.h"
#include "context/settings.h"
#include "runtime/text_columns.h"

namespace {

// The first rule that applies, in the order the colour slots are documented.
struct SlotRule {
  uint32_t bits;
  int slot;
};
constexpr SlotRule kSlotRules[] = {
    {0x20 | 0x4000 | 0x400000, 3},
    {0x01 | 0x04, 2},
    {0x800000, 2},
    {0x40, 4},
    {0x100, 7},
    {0x1000 | 0x8000, 2},
    {0x10000, 10},
    {0x80, -1},
    {0x10, 1},
    {0x800, 8},
    {0x40000, 2},
    {0x400 | 0x80000, 3},
    {0x8000000, 10},
};

// One row of text painted from `text` (already cut to the row), at most `width` columns.
void paintText(int row, int column, std::string_view text, int width, attr_t attributes, short pair) {
  std::wstring wide;
  int used = 0;
  for (size_t at = 0; at < text.size();) {
    TextChar ch = textCharAt(text, at);
    at += ch.bytes;
    if (used + static_cast<int>(ch.columns) > width) break;
    wchar_t c = static_cast<wchar_t>(ch.code);
    if (ch.code < 0x20 || (ch.code >= 0x7f && ch.code < 0xa0)) c = L'?';
    wide += c;
    used += static_cast<int>(ch.columns);
  }
  attr_set(attributes, pair, nullptr);
  mvaddnwstr(row, column, wide.c_str(), static_cast<int>(wide.size()));
  attr_set(A_NORMAL, 0, nullptr);
}

size_t lineAtRow(const ScreenLines &lines, uint64_t row) {
  size_t lo = 0, hi = lines.size();
  while (hi - lo > 1) {
    size_t mid = (lo + hi) / 2;
    if (lines.at(mid).rowIndex <= row) lo = mid;
    else hi = mid;
  }
  return lo;
}

void paintOutput(ConsoleState &c) {
  const ProgramContext &ctx = *c.ctx;
  const ScreenLines &lines = ctx.output->screen(c.screen);
  int height = outputRows(c);
  uint64_t total = lines.rows();
  uint64_t back = std::min<uint64_t>(c.scroll[c.screen], total > static_cast<uint64_t>(height) ? total - height : 0);
  c.scroll[c.screen] = back;
  uint64_t bottom = total - back;  // one past the last row shown
  uint64_t top = bottom > static_cast<uint64_t>(height) ? bottom - height : 0;
  uint32_t current = ctx.output->currentCommandNumber();
  uint32_t width = static_cast<uint32_t>(c.columns);
  for (int r = 0; r < height; ++r) {
    move(r, 0);
    clrtoeol();
    uint64_t row = top + static_cast<uint64_t>(r);
    if (row >= bottom || lines.empty()) continue;
    size_t index = lineAtRow(lines, row);
    const OutputLine &line = lines.at(index);
    if ((line.style & kStyleHidden) && !ctx.output->showHidden) continue;
    uint32_t sub = static_cast<uint32_t>(row - line.rowIndex);
    std::string_view text = line.text();
    size_t start = textRowStart(text, width, sub);
    size_t end = textRowStart(text, width, sub + 1);
    int slot = colourSlotOf(line.style, line.commandNumber == current);
    attr_t attributes = index == c.findLine ? A_REVERSE : A_NORMAL;
    paintText(r, 0, text.substr(start, end - start), c.columns, attributes,
              c.colours && slot > 0 ? static_cast<short>(slot) : 0);
  }
  if (ctx.settings.on(kOptScroll) && height > 0) {
    short pair = c.colours ? 9 : 0;
    if (top > 0) paintText(0, std::max(0, c.columns - 6), "<more>", 6, A_BOLD, pair);
    if (back > 0) paintText(height - 1, std::max(0, c.columns - 6), "<more>", 6, A_BOLD, pair);
  }
}

void paintMessageLine(ConsoleState &c) {
  int row = outputRows(c);
  move(row, 0);
  clrtoeol();
  std::string text = c.message;
  if (text.empty() && consoleSettingsOf(*c.ctx).view.repeating) text = consoleSettingsOf(*c.ctx).view.message;
  std::time_t now = std::time(nullptr);
  if (text.empty() && !c.status.empty() && now >= c.statusFrom && now < c.statusExpires) text = c.status;
  paintText(row, 0, text, c.columns, A_BOLD, 0);
}

// The prompt and the command text as painted (a password shows as '*').
std::u32string commandCells(const ConsoleState &c) {
  std::u32string cells;
  for (size_t at = 0; at < c.prompt.size();) {
    TextChar ch = textCharAt(c.prompt, at);
    cells += ch.code;
    at += ch.bytes;
  }
  for (char32_t ch : c.text) cells += c.passwordMode ? U'*' : ch;
  return cells;
}

uint32_t cellColumns(char32_t ch) {
  if (ch < 0x80) return 1;
  return static_cast<uint32_t>(std::max(1, ::wcwidth(static_cast<wchar_t>(ch))));
}

void paintCommandArea(ConsoleState &c) {
  int rows = commandRows(c);
  int top = c.rows - rows;
  std::u32string cells = commandCells(c);
  size_t promptChars = cells.size() - c.text.size();
  for (int r = top; r < c.rows; ++r) {
    move(r, 0);
    clrtoeol();
  }
  int row = top, column = 0;
  int cursorRow = top, cursorColumn = 0;
  size_t selFrom = std::min(c.anchor, c.cursor), selTo = std::max(c.anchor, c.cursor);
  for (size_t i = 0; i <= cells.size(); ++i) {
    uint32_t w = i < cells.size() ? cellColumns(cells[i]) : 1;
    if (column + static_cast<int>(w) > c.columns) {
      ++row;
      column = 0;
    }
    if (i == promptChars + c.cursor) {
      cursorRow = row;
      cursorColumn = column;
    }
    if (i == cells.size() || row >= c.rows) break;
    wchar_t wc[2] = {static_cast<wchar_t>(cells[i]), 0};
    if (cells[i] < 0x20) wc[0] = L'?';
    bool selected = c.selecting && i >= promptChars && i - promptChars >= selFrom && i - promptChars < selTo;
    attr_set(selected ? A_REVERSE : A_NORMAL, 0, nullptr);
    mvaddnwstr(row, column, wc, 1);
    column += static_cast<int>(w);
  }
  attr_set(A_NORMAL, 0, nullptr);
  if (c.cursorInOutput) move(c.outputRow, c.outputColumn);
  else move(std::min(cursorRow, c.rows - 1), cursorColumn);
}

// The screen position of character `index` of the command text.
void commandPoint(const ConsoleState &c, size_t index, int &row, int &column) {
  row = c.rows - commandRows(c);
  column = 0;
  std::u32string cells = commandCells(c);
  size_t promptChars = cells.size() - c.text.size();
  for (size_t i = 0; i < cells.size() && i < promptChars + index; ++i) {
    uint32_t w = cellColumns(cells[i]);
    if (column + static_cast<int>(w) > c.columns) {
      ++row;
      column = 0;
    }
    column += static_cast<int>(w);
  }
  if (column >= c.columns) {
    ++row;
    column = 0;
  }
}

// The selection's ends on the screen, first before last, when it reaches the output.
bool selectionOnScreen(const ConsoleState &c, int &r1, int &c1, int &r2, int &c2) {
  if (!c.selecting || (!c.anchorInOutput && !c.cursorInOutput)) return false;
  if (c.anchorInOutput) r1 = c.anchorRow, c1 = c.anchorColumn;
  else commandPoint(c, c.anchor, r1, c1);
  if (c.cursorInOutput) r2 = c.outputRow, c2 = c.outputColumn;
  else commandPoint(c, c.cursor, r2, c2);
  if (r2 < r1 || (r2 == r1 && c2 < c1)) std::swap(r1, r2), std::swap(c1, c2);
  return true;
}

void paintSelection(const ConsoleState &c) {
  int r1, c1, r2, c2;
  if (!selectionOnScreen(c, r1, c1, r2, c2)) return;
  for (int r = r1; r <= r2 && r < c.rows; ++r) {
    int from = r == r1 ? c1 : 0;
    int to = r == r2 ? c2 : c.columns;
    if (to > from) mvchgat(r, from, to - from, A_REVERSE, 0, nullptr);
  }
}

}  // namespace

std::string selectedScreenText(const ConsoleState &c) {
  int r1, c1, r2, c2;
  if (!selectionOnScreen(c, r1, c1, r2, c2)) return "";
  std::string out;
  for (int r = r1; r <= r2 && r < c.rows; ++r) {
    int from = r == r1 ? c1 : 0;
    int to = r == r2 ? c2 : c.columns;
    std::string line;
    for (int col = from; col < to; ++col) {
      cchar_t cell;
      if (mvin_wch(r, col, &cell) == ERR) break;
      wchar_t wide[CCHARW_MAX + 1] = {};
      attr_t attributes;
      short pair;
      if (getcchar(&cell, wide, &attributes, &pair, nullptr) == ERR || wide[0] == 0) continue;
      line += commandUtf8(std::u32string(1, static_cast<char32_t>(wide[0])));
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (r > r1) out += '\n';
    out += line;
  }
  return out;
}

int colourSlotOf(uint32_t style, bool currentCommand) {
  for (const SlotRule &rule : kSlotRules) {
    if (!(style & rule.bits)) continue;
    if (rule.slot == -1) return currentCommand ? 1 : 3;
    return rule.slot;
  }
  return 0;
}

int commandRows(const ConsoleState &c) {
  size_t columns = textColumns(c.prompt);
  for (char32_t ch : c.text) columns += cellColumns(ch);
  int width = std::max(1, c.columns);
  int rows = static_cast<int>(columns / static_cast<size_t>(width)) + 1;
  return std::min(rows, std::max(1, c.rows - 1));
}

int outputRows(const ConsoleState &c) { return std::max(0, c.rows - commandRows(c) - 1); }

void paintConsole(ConsoleState &c) {
  OwnedMutexGuard guard(c.ctx->displayLock);
  if (c.fullRepaint) {
    erase();
    // Redraw every cell, not only those curses thinks changed: output written to the
    // terminal behind curses' back (a library's message on stderr) is painted over.
    clearok(curscr, TRUE);
    c.fullRepaint = false;
  }
  paintOutput(c);
  paintMessageLine(c);
  paintCommandArea(c);
  paintSelection(c);
  if (c.cursorInOutput) move(c.outputRow, c.outputColumn);
  curs_set(c.insertMode ? 1 : 2);
  refresh();
  c.dirty = false;
}
