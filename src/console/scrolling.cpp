#include "console/scrolling.h"

#include <algorithm>

#include "console/console_state.h"
#include "console/editing.h"
#include "console/paint.h"
#include "context/output.h"

void pageOutput(ConsoleState &c, int direction) {
  uint64_t page = static_cast<uint64_t>(std::max(1, outputRows(c)));
  uint64_t total = c.ctx->output->screen(c.screen).rows();
  uint64_t limit = total > page ? total - page : 0;
  uint64_t &back = c.scroll[c.screen];
  if (direction < 0) back = std::min(limit, back + page);
  else back = back > page ? back - page : 0;
  c.dirty = true;
}

void scrollToTop(ConsoleState &c) {
  uint64_t page = static_cast<uint64_t>(std::max(1, outputRows(c)));
  uint64_t total = c.ctx->output->screen(c.screen).rows();
  c.scroll[c.screen] = total > page ? total - page : 0;
  c.dirty = true;
}

void scrollToBottom(ConsoleState &c) {
  c.scroll[c.screen] = 0;
  moveEnd(c);
}
