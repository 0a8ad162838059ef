#include "console/console.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <ctime>

#define NCURSES_WIDECHAR 1
#include <ncursesw/curses.h>

#include "console/actions.h"
#include "console/console_settings.h"
#include "console/editing.h"
#include "console/find.h"
#include "console/info_screens.h"
#include "console/key_commands.h"
#include "console/key_sequence.h"
#include "console/keys.h"
#include "console/paint.h"
#include "console/terminal.h"
#include "context/output.h"
#include "context/settings.h"
#include "runtime/scan.h"
#include "runtime/signals.h"
#include "runtime/text_columns.h"

namespace {

bool terminalInputWaiting() {
  pollfd fd = {STDIN_FILENO, POLLIN, 0};
  return ::poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN);
}

void wake(ConsoleState &c) {
  if (c.wakePipe[1] >= 0) {
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(c.wakePipe[1], &byte, 1);
  }
}

// Takes over a message another thread posted, and follows =show's screen switch.
void takePosted(ConsoleState &c) {
  ProgramContext &ctx = *c.ctx;
  {
    OwnedMutexGuard guard(ctx.displayLock);
    if (!c.pendingMessage.empty()) {
      c.message = std::move(c.pendingMessage);
      c.pendingMessage.clear();
      c.dirty = true;
    }
    if (c.statusPosted) {
      c.statusPosted = false;
      c.status = std::move(c.postedStatus);
      c.statusFrom = c.postedStatusFrom;
      c.statusExpires = c.statusFrom + 120;
      c.dirty = true;
    }
    // A held-back status comes into view once its time has come.
    if (!c.status.empty() && c.statusFrom > 0 && std::time(nullptr) >= c.statusFrom) {
      c.statusFrom = 0;
      c.dirty = true;
    }
  }
  if (consoleSettingsOf(ctx).view.redrawWanted) {
    consoleSettingsOf(ctx).view.redrawWanted = false;
    if (consoleSettingsOf(ctx).view.screen != c.screen || c.screen != kScreenMqsc)
      switchScreen(c, consoleSettingsOf(ctx).view.screen);
    c.fullRepaint = true;
    c.dirty = true;
  }
  if (ctx.settingsChanged && c.screen != kScreenMqsc) rebuildInfoScreen(c, c.screen);
  // =colour, =set bright/colours and =set history take effect on the screen at once.
  std::vector<int16_t> colours;
  for (const ColourPair &pair : ctx.settings.colours) colours.insert(colours.end(), {pair.fg, pair.bg});
  if (colours != c.paintedColours || ctx.settings.options != c.paintedOptions) {
    c.paintedColours = std::move(colours);
    c.paintedOptions = ctx.settings.options;
    applyColours(c);
    c.fullRepaint = true;
    c.dirty = true;
  }
  if (ctx.settings.history != c.keptHistory) {
    c.keptHistory = ctx.settings.history;
    ctx.output->keepLines(true, static_cast<uint64_t>(std::max(100, ctx.settings.history)));
  }
  if (c.outputAdded.exchange(false)) c.dirty = true;
}

void resize(ConsoleState &c) {
  getmaxyx(stdscr, c.rows, c.columns);
  c.ctx->outputWidth = c.columns;
  c.ctx->output->setWidth(static_cast<uint32_t>(c.columns));
  if (c.screen != kScreenMqsc) rebuildInfoScreen(c, c.screen);
  c.fullRepaint = true;
  c.dirty = true;
}

// The current assignment of a key: an action, a command, or none.
struct Assignment {
  const ActionDef *action = nullptr;
  const KeyBindingEntry *command = nullptr;
  bool none = false;
};

Assignment assignmentOf(const ProgramContext &ctx, const KeyRef &key) {
  Assignment a;
  for (const KeyBindingEntry &b : consoleSettingsOf(ctx).keyBindings) {
    if (!scanEqualsNoCase(b.key, key.name)) continue;
    if (b.isCommand) a.command = &b;
    else if (b.action.empty()) a.none = true;
    else a.action = findAction(b.action);
    return a;
  }
  if (key.defaultAction) a.action = findAction(key.defaultAction);
  return a;
}

void runAction(ConsoleState &c, const ActionDef &action) {
  if (action.flags & kActionSelecting) {
    if (!c.selecting) {
      c.selecting = true;
      c.anchor = c.cursor;
      c.anchorInOutput = c.cursorInOutput;
      c.anchorRow = c.outputRow;
      c.anchorColumn = c.outputColumn;
    }
  } else if ((action.flags & kActionMovement) && c.selecting) {
    c.selecting = false;
    c.anchorInOutput = false;
    c.dirty = true;
  }
  if (action.flags & kActionCancelContinuation) clearCommand(c);
  bool recall = action.handler == findAction("Previous Command")->handler;
  bool complete = action.handler == findAction("Next Value")->handler;
  if (!recall) c.recalling = false;
  bool completePrevious = action.handler == findAction("Previous Value")->handler;
  if (!complete && !completePrevious) c.completing = false;
  bool undo = action.handler == findAction("Undo Last Change")->handler ||
              action.handler == findAction("Redo Last Change")->handler;
  if (!undo) c.undoStepped = false;
  if (action.handler) action.handler(c);
  c.dirty = true;
}

// A command key: its text added to the command area and, unless noenter, entered.
void runCommandKey(ConsoleState &c, const KeyBindingEntry &key) {
  if (key.options & kKeyCommandClear) clearCommand(c);
  std::string text = commandText(c);
  if (!text.empty() && text.back() != ' ') text += ' ';
  text += key.command;
  setCommandText(c, text);
  if (!(key.options & kKeyCommandNoEnter)) {
    c.entered = true;
    c.enteredUnlogged = (key.options & kKeyCommandNoLog) != 0;
  }
}

void handleKey(ConsoleState &c, const KeyStroke &stroke) {
  ProgramContext &ctx = *c.ctx;
  std::optional<KeyRef> key = findKeyByStroke(ctx, stroke);
  if (!key) {
    if (!stroke.escape.empty()) return;
    showMessage(c, stroke.modifiers ? strFormat("Unrecognised key 0x%X (0x%X)", stroke.code, stroke.modifiers)
                                    : strFormat("Unrecognised key 0x%X", stroke.code));
    return;
  }
  if (consoleSettingsOf(ctx).view.showKeys)
    c.status = strFormat("Key '%s' pressed", key->name.c_str()), c.statusExpires = std::time(nullptr) + 5;
  Assignment a = assignmentOf(ctx, *key);
  if (a.command) return runCommandKey(c, *a.command);
  if (a.none || (a.action && !a.action->handler)) return;
  if (!a.action) {
    showMessage(c, strFormat("No defined action for '%s'", key->name.c_str()));
    return;
  }
  runAction(c, *a.action);
}

// The word under the pointer in the output, delimited by blanks, quotes and the
// characters ( ) [ ] < > % ^ & * = - # @.
std::string wordAt(ConsoleState &c, int row, int column) {
  OwnedMutexGuard guard(c.ctx->displayLock);
  const ScreenLines &lines = c.ctx->output->screen(c.screen);
  int height = outputRows(c);
  uint64_t total = lines.rows();
  uint64_t bottom = total - std::min<uint64_t>(c.scroll[c.screen], total);
  uint64_t top = bottom > static_cast<uint64_t>(height) ? bottom - height : 0;
  uint64_t target = top + static_cast<uint64_t>(row);
  if (lines.empty() || target >= bottom) return "";
  size_t lo = 0, hi = lines.size();
  while (hi - lo > 1) {
    size_t mid = (lo + hi) / 2;
    if (lines.at(mid).rowIndex <= target) lo = mid;
    else hi = mid;
  }
  std::string_view text = lines.at(lo).text();
  size_t at =
      textRowStart(text, static_cast<uint32_t>(c.columns), static_cast<uint32_t>(target - lines.at(lo).rowIndex));
  for (int col = 0; at < text.size();) {
    TextChar ch = textCharAt(text, at);
    if (col + static_cast<int>(ch.columns) > column) break;
    col += static_cast<int>(ch.columns);
    at += ch.bytes;
  }
  static constexpr std::string_view kDelimiters = " \"'()[]<>%^&*=-#@";
  if (at >= text.size() || kDelimiters.find(text[at]) != std::string_view::npos) return "";
  size_t from = at, to = at;
  while (from > 0 && kDelimiters.find(text[from - 1]) == std::string_view::npos) --from;
  while (to < text.size() && kDelimiters.find(text[to]) == std::string_view::npos) ++to;
  return std::string(text.substr(from, to - from));
}

void handleMouse(ConsoleState &c, const Keystroke &k) {
  if (k.doubleClick && k.mouseRow < outputRows(c)) {
    std::string word = wordAt(c, k.mouseRow, k.mouseColumn);
    if (word.empty()) return showMessage(c, "No selectable text found at this position");
    if (c.text.size() + word.size() > kMaxCommandArea) return showMessage(c, "Not enough space left in command line");
    c.cursorInOutput = false;
    insertText(c, word);
    return;
  }
  if (!c.ctx->settings.on(kOptMouseCursor)) return;
  int top = c.rows - commandRows(c);
  if (k.mouseRow >= top) {
    size_t offset = static_cast<size_t>((k.mouseRow - top) * c.columns + k.mouseColumn);
    size_t promptLength = textColumns(c.prompt);
    c.cursorInOutput = false;
    c.cursor = offset > promptLength ? offset - promptLength : 0;
  } else {
    c.cursorInOutput = true;
    c.outputRow = k.mouseRow;
    c.outputColumn = k.mouseColumn;
  }
  c.dirty = true;
}

// The command thread is not waiting for replies (any more): the slow-response status goes.
void endOfWait(ConsoleState &c) {
  c.waitStarted = 0;
  if (!c.status.empty()) {
    c.status.clear();
    c.dirty = true;
  }
}

// One command from the command area.
std::optional<std::string> readCommand(ConsoleState &c, const std::string *promptText = nullptr) {
  ProgramContext &ctx = *c.ctx;
  c.prompt = promptText ? *promptText : c.host.prompt ? c.host.prompt(ctx) : std::string(">");
  clearCommand(c);
  endOfWait(c);
  c.undo.clear();
  c.undoPos = 0;
  c.recalling = false;
  c.entered = false;
  c.enteredUnlogged = false;
  c.dirty = true;
  for (;;) {
    if (stopRequested()) {
      noteStopSignal(ctx);
      return std::nullopt;
    }
    takePosted(c);
    // Typed (or pasted) keys still waiting are taken first, then painted once and kept
    // as one undo step: a paint and a snapshot per key make a large paste take minutes.
    if (!terminalInputWaiting()) {
      if (c.dirty || c.fullRepaint) paintConsole(c);
      snapshotForUndo(c);
    }
    int tenths = c.dirty ? 1 : 20;
    Keystroke k = readKeystroke(c, tenths);
    switch (k.kind) {
    case Keystroke::None:
    case Keystroke::Wake: continue;
    case Keystroke::Resize: resize(c); continue;
    case Keystroke::Mouse: handleMouse(c, k); continue;
    case Keystroke::Character:
      if (!c.message.empty()) c.message.clear();
      c.recalling = false;
      c.undoStepped = false;
      c.completing = false;
      typeCharacter(c, k.character);
      break;
    case Keystroke::Key:
      if (k.key.code == 0x1b && k.key.modifiers == 0 && k.key.escape.empty()) {
        // Escape first checks the window's size and empties the command area.
        int rows, columns;
        getmaxyx(stdscr, rows, columns);
        if (rows != c.rows || columns != c.columns) resize(c);
      }
      c.message.clear();
      handleKey(c, k.key);
      break;
    }
    if (c.entered) {
      // A find works on the output here and is not a command.
      std::string typed = commandText(c);
      if (!typed.empty() && typed[0] == '/') {
        addCommandHistory(ctx, typed);
        c.entered = false;
        runFind(c, typed);
        continue;
      }
      break;
    }
  }
  std::string text = commandText(c);
  c.message.clear();
  c.scroll[kScreenMqsc] = 0;
  if (c.screen != kScreenMqsc) switchScreen(c, kScreenMqsc);
  clearCommand(c);
  c.dirty = true;
  paintConsole(c);
  return text;
}

// Lines written to standard error while the console runs are shown as diagnostics.
void captureStandardError(ConsoleState &c) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  c.savedStderr = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  if (c.savedStderr < 0 || ::dup2(fds[1], STDERR_FILENO) < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return;
  }
  ::close(fds[1]);
  c.stderrPipe = fds[0];
  ProgramContext *ctx = c.ctx;
  c.stderrReader = std::thread([ctx, fd = fds[0]] {
    std::string pending;
    char buffer[4096];
    for (;;) {
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      pending.append(buffer, static_cast<size_t>(n));
      for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
        ctx->output->addLine(std::string_view(pending).substr(0, end), kStyleDiagnostic);
    }
    if (!pending.empty()) ctx->output->addLine(pending, kStyleDiagnostic);
  });
}

void releaseStandardError(ConsoleState &c) {
  if (c.savedStderr < 0) return;
  ::dup2(c.savedStderr, STDERR_FILENO);  // the pipe's last writer goes: the reader ends
  ::close(c.savedStderr);
  c.savedStderr = -1;
  if (c.stderrReader.joinable()) c.stderrReader.join();
  ::close(c.stderrPipe);
  c.stderrPipe = -1;
}

}  // namespace

ConsoleState *consoleOf(ProgramContext &ctx) { return static_cast<ConsoleState *>(ctx.fullScreen.get()); }

bool openConsole(ProgramContext &ctx, ConsoleHost host, std::string &why) {
  auto state = std::make_unique<ConsoleState>();
  ConsoleState &c = *state;
  c.ctx = &ctx;
  c.host = std::move(host);
  if (!openTerminal(c, why)) return false;
  if (::pipe2(c.wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) c.wakePipe[0] = c.wakePipe[1] = -1;
  watchResize(c.wakePipe[1]);
  c.consoleThread = std::this_thread::get_id();
  ctx.outputWidth = c.columns;
  ConsoleState *raw = state.get();
  ctx.fullScreen = std::move(state);
  ctx.output->detachStreams();
  captureStandardError(c);
  ctx.output->setWidth(static_cast<uint32_t>(c.columns));
  ctx.output->keepLines(true, static_cast<uint64_t>(std::max(100, ctx.settings.history)));
  ctx.output->setListener([raw](Screen screen, const OutputLine &line) {
    // Under the display lock, on whichever thread added the line.
    if (screen == kScreenMqsc && raw->screen == kScreenMqsc && raw->scroll[kScreenMqsc] > 0)
      raw->scroll[kScreenMqsc] += line.rows;  // a reader scrolled back keeps his place
    raw->outputAdded = true;
    if (std::this_thread::get_id() != raw->consoleThread) wake(*raw);
    else if (screen == kScreenMqsc && (line.style & kStyleError) && raw->screen != kScreenMqsc)
      consoleSettingsOf(*raw->ctx).view.redrawWanted = true, consoleSettingsOf(*raw->ctx).view.screen = kScreenMqsc;
  });
  setKeystrokeCapture([raw](ProgramContext &) -> std::optional<std::string> {
    showMessage(*raw, "Press keystroke to assign to action");
    paintConsole(*raw);
    for (;;) {
      Keystroke k = readKeystroke(*raw, 20);
      if (k.kind != Keystroke::Key) continue;
      raw->message.clear();
      if (k.key.code == 0x1b && k.key.escape.empty() && k.key.modifiers == 0) {
        addInfo(*raw->ctx, "=keyname command cancelled");
        return std::nullopt;
      }
      return formatKeySequence(k.key);
    }
  });
  return true;
}

void closeConsole(ProgramContext &ctx) {
  ConsoleState *c = consoleOf(ctx);
  if (!c) return;
  setKeystrokeCapture(nullptr);
  stopWatchingResize();
  closeTerminal(*c);
  releaseStandardError(*c);
  ctx.output->setListener(nullptr);
  for (int fd : c->wakePipe)
    if (fd >= 0) ::close(fd);
  ctx.fullScreen.reset();
}

bool consoleReadLine(ProgramContext &ctx, InputSource &src) {
  ConsoleState *c = consoleOf(ctx);
  if (!c || ctx.quit) return false;
  std::optional<std::string> text = readCommand(*c);
  if (!text) return false;
  // A password typed in a command never reaches the history.
  addCommandHistory(ctx, scanMaskPasswords(*text));
  src.line = *text;
  src.lineUnlogged = c->enteredUnlogged;
  ++src.lineNumber;
  return true;
}

void consolePostStatus(ProgramContext &ctx, const std::string &text, int delaySeconds) {
  ConsoleState *c = consoleOf(ctx);
  if (!c) return;
  OwnedMutexGuard guard(ctx.displayLock);
  c->postedStatus = text;
  c->postedStatusFrom = text.empty() ? 0 : std::time(nullptr) + std::max(0, delaySeconds);
  c->statusPosted = true;
  if (std::this_thread::get_id() != c->consoleThread) wake(*c);
}

std::optional<std::string> consoleReadPassword(ProgramContext &ctx, const std::string &prompt) {
  ConsoleState *c = consoleOf(ctx);
  if (!c) return std::nullopt;
  c->passwordMode = true;
  std::optional<std::string> text = readCommand(*c, &prompt);
  c->passwordMode = false;
  c->undo.clear();  // nothing of it stays behind
  return text;
}

void consoleRefresh(ProgramContext &ctx) {
  ConsoleState *c = consoleOf(ctx);
  if (!c) return;
  endOfWait(*c);
  takePosted(*c);
  paintConsole(*c);
}

int consoleReadKey(ProgramContext &ctx, int seconds) {
  ConsoleState *c = consoleOf(ctx);
  if (!c) return 0;
  endOfWait(*c);
  std::time_t until = std::time(nullptr) + std::max(0, seconds);
  for (;;) {
    takePosted(*c);
    if (c->dirty || c->fullRepaint) paintConsole(*c);
    Keystroke k = readKeystroke(*c, 2);
    if (k.kind == Keystroke::Character) return static_cast<int>(k.character);
    if (k.kind == Keystroke::Key) return k.key.code == 0x1b && k.key.escape.empty() ? 27 : static_cast<int>(k.key.code);
    if (k.kind == Keystroke::Resize) resize(*c);
    if (std::time(nullptr) >= until || stopRequested()) return 0;
  }
}

bool consoleScreenSize(ProgramContext &ctx, int &width, int &height) {
  ConsoleState *c = consoleOf(ctx);
  if (!c) return false;
  width = c->columns;
  height = c->rows;
  return true;
}

bool consoleWhileWaiting(ProgramContext &ctx) {
  ConsoleState *c = consoleOf(ctx);
  if (!c || std::this_thread::get_id() != c->consoleThread) return false;
  takePosted(*c);
  // A reply slow to come is told on the status line, with the way out.
  std::time_t now = std::time(nullptr);
  if (c->waitStarted == 0) c->waitStarted = now;
  if (now - c->waitStarted >= 2 && c->status.empty()) {
    c->status = "Command server or network slow in responding (Escape stops waiting)";
    c->statusExpires = now + 120;
    c->dirty = true;
  }
  if (c->dirty) paintConsole(*c);
  Keystroke k = readKeystroke(*c, 1);
  if (k.kind == Keystroke::Resize) resize(*c);
  return k.kind == Keystroke::Key && k.key.code == 0x1b && k.key.escape.empty() && k.key.modifiers == 0;
}
