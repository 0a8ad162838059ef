#include "console/terminal.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include "console/console_settings.h"
#include "console/console_state.h"
#include "console/key_sequence.h"
#include "console/keys.h"
#include "context/settings.h"

#define NCURSES_WIDECHAR 1
#include <ncursesw/curses.h>
#include <ncursesw/term.h>
// terminfo's capability names are macros; the console's own fields share two of them.
#undef columns
#undef lines

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace {

SCREEN *gScreen = nullptr;
FILE *gTerminal = nullptr;  // where curses writes: the clipboard goes there too
// What curses reports (a KEY_ code, or a code terminfo's extended keys were given at
// start-up) -> the key table's code and modifiers.
std::unordered_map<int, KeyStroke> gKeyMap;

void mapKey(int curses, uint32_t code, uint32_t modifiers) {
  if (curses > 0) gKeyMap[curses] = KeyStroke{code, modifiers, {}};
}

// An extended key named by terminfo (kUP5 is Ctrl-Up on xterm-like terminals): the code
// curses gave its sequence, if the terminal has it.
void mapTerminfoKey(const char *capability, uint32_t code, uint32_t modifiers) {
  char *sequence = tigetstr(const_cast<char *>(capability));
  if (sequence == nullptr || sequence == reinterpret_cast<char *>(-1)) return;
  mapKey(key_defined(sequence), code, modifiers);
}

void buildKeyMap() {
  gKeyMap.clear();
  // The same code in both numberings.
  for (int code : {KEY_DOWN, KEY_UP, KEY_LEFT, KEY_RIGHT, KEY_HOME, KEY_DC, KEY_IC, KEY_NPAGE, KEY_PPAGE})
    mapKey(code, static_cast<uint32_t>(code), 0);
  // Codes that differ, and keys a Linux terminal sends instead of a PC keyboard's.
  mapKey(KEY_END, 0x166, 0);
  mapKey(KEY_BACKSPACE, 0x08, 0);
  mapKey(127, 0x08, 0);
  mapKey(KEY_ENTER, 0x0a, 0);
  mapKey(KEY_BTAB, 0x09, kModShift);
  mapKey(KEY_SLEFT, 0x187, kModShift);
  mapKey(KEY_SRIGHT, 0x190, kModShift);
  mapKey(KEY_SHOME, 0x184, kModShift);
  mapKey(KEY_SEND, 0x180, kModShift);
  mapKey(KEY_SR, 0x223, kModShift);
  mapKey(KEY_SF, 0x224, kModShift);
  mapKey(KEY_A1, 0x1c1, 0);
  mapKey(KEY_A3, 0x1c3, 0);
  mapKey(KEY_B2, 0x1c5, 0);
  mapKey(KEY_C1, 0x1c7, 0);
  mapKey(KEY_C3, 0x1c9, 0);
  for (int n = 1; n <= 12; ++n) mapKey(KEY_F(n), 0x108 + n, 0);
  for (int n = 13; n <= 24; ++n) mapKey(KEY_F(n), 0x108 + n, kModShift);  // Shift-F1 to Shift-F12
  mapTerminfoKey("kUP5", 0x1e0, kModCtrl);
  mapTerminfoKey("kDN5", 0x1e1, kModCtrl);
  mapTerminfoKey("kHOM5", 0x1bf, kModCtrl);
  mapTerminfoKey("kEND5", 0x1c0, kModCtrl);
  mapTerminfoKey("kHOM6", 0x184, kModShift | kModCtrl);
  mapTerminfoKey("kEND6", 0x180, kModShift | kModCtrl);
  mapTerminfoKey("kUP", 0x103, 0);
  mapTerminfoKey("kUP2", 0x223, kModShift);
  mapTerminfoKey("kDN2", 0x224, kModShift);
  mapTerminfoKey("kLFT2", 0x187, kModShift);
  mapTerminfoKey("kRIT2", 0x190, kModShift);
  mapTerminfoKey("kLFT5", 0x21e, kModCtrl);
  mapTerminfoKey("kRIT5", 0x21f, kModCtrl);
  mapTerminfoKey("kLFT3", 0x220, kModAlt);
  mapTerminfoKey("kRIT3", 0x221, kModAlt);
}

// A byte read straight after Escape: Alt with a letter or digit, as a Linux terminal
// sends it, or the next byte of a sequence.
int nextByteWithin(int milliseconds) {
  timeout(milliseconds);
  int c = getch();
  timeout(0);
  return c;
}

// One key from curses: a key code (KEY_CODE_YES), a character decoded here from the
// terminal's UTF-8 (a byte that does not belong to one reads as U+FFFD), or ERR.
// get_wch is not used: after a byte that is not UTF-8 it swallows the keys that follow
// it, Enter and Escape included, until the input pauses.
int readWideKey(wint_t &ch) {
  int c = getch();
  if (c == ERR) return ERR;
  ch = static_cast<wint_t>(c);
  if (c >= KEY_MIN) return KEY_CODE_YES;
  if (c < 0x80) return OK;
  int need = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
  ch = 0xFFFD;
  if (need < 0) return OK;
  uint32_t code = static_cast<uint32_t>(c) & (0x3Fu >> need);
  for (int i = 0; i < need; ++i) {
    int next = nextByteWithin(50);
    if (next == ERR) return OK;
    if (next > 0xff || (next & 0xC0) != 0x80) {
      ungetch(next);
      return OK;
    }
    code = (code << 6) | (static_cast<uint32_t>(next) & 0x3Fu);
  }
  static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (code >= kSmallest[need] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) ch = static_cast<wint_t>(code);
  return OK;
}

bool userSequenceMatches(const ProgramContext &ctx, const std::string &bytes, KeyStroke &out) {
  for (const KeyNameEntry &k : consoleSettingsOf(ctx).keyNames)
    if (!k.stroke.escape.empty() && k.stroke.escape == bytes) {
      out = k.stroke;
      return true;
    }
  return false;
}

}  // namespace

bool openTerminal(ConsoleState &console, std::string &why) { return openTerminalOn(console, stdout, stdin, why); }

bool openTerminalOn(ConsoleState &console, FILE *out, FILE *in, std::string &why) {
  const char *term = std::getenv("TERM");
  if (!term || !*term || std::strcmp(term, "dumb") == 0) {
    why = "The terminal type (TERM) does not allow a full-screen console";
    return false;
  }
  // Wide characters need a UTF-8 character type; the rest of the locale stays "C".
  if (!std::setlocale(LC_CTYPE, "")) std::setlocale(LC_CTYPE, "C.UTF-8");
  if (MB_CUR_MAX == 1) std::setlocale(LC_CTYPE, "C.UTF-8");
  gScreen = newterm(nullptr, out, in);
  gTerminal = out;
  if (!gScreen) {
    why = std::string("The terminal type '") + term + "' is not known";
    return false;
  }
  set_term(gScreen);
  if (tigetstr(const_cast<char *>("cup")) == nullptr ||
      tigetstr(const_cast<char *>("cup")) == reinterpret_cast<char *>(-1)) {
    endwin();
    delscreen(gScreen);
    gScreen = nullptr;
    why = std::string("The terminal type '") + term + "' can not move the cursor";
    return false;
  }
  console.terminalOpen = true;
  raw();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  nodelay(stdscr, TRUE);
  set_escdelay(25);
  mousemask(BUTTON1_CLICKED | BUTTON1_DOUBLE_CLICKED | BUTTON1_PRESSED, nullptr);
  mouseinterval(300);
  getmaxyx(stdscr, console.rows, console.columns);
  console.colours = has_colors();
  if (console.colours) {
    start_color();
    use_default_colors();
  }
  applyColours(console);
  buildKeyMap();
  return true;
}

void closeTerminal(ConsoleState &console) {
  console.terminalOpen = false;
  if (!gScreen) return;
  endwin();
  delscreen(gScreen);
  gScreen = nullptr;
}

void applyColours(ConsoleState &console) {
  if (!console.colours || !console.ctx) return;
  for (int pair = 1; pair < kColourSlots; ++pair) {
    ColourPair c = effectiveColourPair(console.ctx->settings, pair);
    init_pair(static_cast<short>(pair), c.fg, c.bg);
  }
}

namespace {
volatile sig_atomic_t gResizeWakeFd = -1;
struct sigaction gCursesResize {};

void onResize(int signal, siginfo_t *info, void *context) {
  int saved = errno;
  if (gResizeWakeFd >= 0) {
    char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(gResizeWakeFd, &byte, 1);
  }
  if (gCursesResize.sa_flags & SA_SIGINFO) {
    if (gCursesResize.sa_sigaction) gCursesResize.sa_sigaction(signal, info, context);
  } else if (gCursesResize.sa_handler != SIG_DFL && gCursesResize.sa_handler != SIG_IGN && gCursesResize.sa_handler) {
    gCursesResize.sa_handler(signal);
  }
  errno = saved;
}
}  // namespace

void watchResize(int wakeFd) {
  if (wakeFd < 0) return;
  gResizeWakeFd = wakeFd;
  struct sigaction ours {};
  ours.sa_sigaction = onResize;
  ours.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&ours.sa_mask);
  ::sigaction(SIGWINCH, &ours, &gCursesResize);
}

void stopWatchingResize() {
  if (gResizeWakeFd < 0) return;
  ::sigaction(SIGWINCH, &gCursesResize, nullptr);
  gResizeWakeFd = -1;
}

void beep(ConsoleState &) {
  if (::beep() == ERR) {
    napms(50);
    flash();
  }
}

Keystroke readKeystroke(ConsoleState &console, int tenths) {
  Keystroke k;
  wint_t ch = 0;
  int got = readWideKey(ch);
  if (got == ERR) {
    // Nothing typed yet: wait on the terminal and the wake-up pipe together.
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {console.wakePipe[0], POLLIN, 0}};
    int n = ::poll(fds, console.wakePipe[0] >= 0 ? 2 : 1, tenths * 100);
    if (n > 0 && (fds[1].revents & POLLIN)) {
      char drain[64];
      while (::read(console.wakePipe[0], drain, sizeof drain) > 0) {}
      // A resize may be what woke us: curses then has KEY_RESIZE waiting.
      got = readWideKey(ch);
      if (got == ERR) {
        k.kind = Keystroke::Wake;
        return k;
      }
    } else {
      got = readWideKey(ch);
    }
    if (got == ERR) return k;
  }
  if (got == KEY_CODE_YES) {
    if (ch == KEY_RESIZE) {
      k.kind = Keystroke::Resize;
      return k;
    }
    if (ch == KEY_MOUSE) {
      MEVENT event;
      if (getmouse(&event) != OK) return k;
      k.kind = Keystroke::Mouse;
      k.mouseRow = event.y;
      k.mouseColumn = event.x;
      k.doubleClick = (event.bstate & BUTTON1_DOUBLE_CLICKED) != 0;
      return k;
    }
    auto it = gKeyMap.find(static_cast<int>(ch));
    k.kind = Keystroke::Key;
    k.key = it != gKeyMap.end() ? it->second : KeyStroke{static_cast<uint32_t>(ch), 0, {}};
    return k;
  }
  // A character.
  if (ch == 0x1b) {
    // Escape: a sequence the user named, Alt with a key, or Escape alone.
    std::string bytes(1, '\x1b');
    for (int n = 0; n < 9; ++n) {
      int next = nextByteWithin(n == 0 ? 30 : 10);
      if (next == ERR) break;
      if (next > 0xff) {
        ungetch(next);
        break;
      }
      bytes += static_cast<char>(next);
      KeyStroke named;
      if (userSequenceMatches(*console.ctx, bytes, named)) {
        k.kind = Keystroke::Key;
        k.key = named;
        return k;
      }
      // A terminal's sequence is ESC [ or ESC O and ends at its final byte; anything else
      // after Escape is Alt with one key. What follows is typed text, not part of it.
      bool introducer = bytes[1] == '[' || bytes[1] == 'O';
      if (!introducer) break;
      unsigned char last = static_cast<unsigned char>(bytes.back());
      if (bytes.size() > 2 && last >= 0x40 && last <= 0x7e) break;
    }
    k.kind = Keystroke::Key;
    if (bytes.size() == 1) {
      k.key = KeyStroke{0x1b, 0, {}};
    } else if (bytes.size() == 2 && ((bytes[1] >= 'a' && bytes[1] <= 'z') || (bytes[1] >= '0' && bytes[1] <= '9'))) {
      char c = bytes[1];
      k.key = KeyStroke{c >= 'a' ? 0x1a1u + (c - 'a') : 0x197u + (c - '0'), kModAlt, {}};
    } else if (bytes.size() == 2 && bytes[1] >= 'A' && bytes[1] <= 'Z') {
      k.key = KeyStroke{0x1a1u + (bytes[1] - 'A'), kModAlt, {}};
    } else {
      k.kind = Keystroke::None;
      console.message = "Unrecognised Escape sequence '" + formatKeySequence(KeyStroke{0, 0, bytes}) + "'";
      console.dirty = true;
    }
    return k;
  }
  if (ch == '\r' || ch == '\n') {
    k.kind = Keystroke::Key;
    k.key = KeyStroke{0x0a, 0, {}};
    return k;
  }
  if (ch == '\t') {
    k.kind = Keystroke::Key;
    k.key = KeyStroke{0x09, 0, {}};
    return k;
  }
  if (ch == 127 || ch == 8) {  // DEL, or Ctrl-H from a terminal that sends it for Backspace
    k.kind = Keystroke::Key;
    k.key = KeyStroke{0x08, 0, {}};
    return k;
  }
  if (ch < 0x20) {
    k.kind = Keystroke::Key;
    k.key = KeyStroke{static_cast<uint32_t>(ch), kModCtrl, {}};
    return k;
  }
  k.kind = Keystroke::Character;
  k.character = static_cast<char32_t>(ch);
  return k;
}

void copyToTerminalClipboard(const std::string &text) {
  static const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string encoded;
  for (size_t i = 0; i < text.size(); i += 3) {
    uint32_t v = static_cast<unsigned char>(text[i]) << 16;
    if (i + 1 < text.size()) v |= static_cast<unsigned char>(text[i + 1]) << 8;
    if (i + 2 < text.size()) v |= static_cast<unsigned char>(text[i + 2]);
    encoded += kBase64[(v >> 18) & 63];
    encoded += kBase64[(v >> 12) & 63];
    encoded += i + 1 < text.size() ? kBase64[(v >> 6) & 63] : '=';
    encoded += i + 2 < text.size() ? kBase64[v & 63] : '=';
  }
  std::string osc = "\x1b]52;c;" + encoded + "\x07";
  FILE *terminal = gTerminal ? gTerminal : stdout;
  std::fwrite(osc.data(), 1, osc.size(), terminal);
  std::fflush(terminal);
}
