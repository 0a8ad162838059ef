#include "console/find.h"

#include <algorithm>

#include "console/console_state.h"
#include "console/editing.h"
#include "console/paint.h"
#include "context/output.h"

namespace {

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
