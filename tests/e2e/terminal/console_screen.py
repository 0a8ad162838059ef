"""The full-screen console on a pseudo-terminal, read through a terminal emulator.

ConsoleScreen starts kvarn (without -f) on a pty of a given size, feeds everything it
writes into a pyte screen, and lets a test type text, press named keys and wait for
text to show. Waits poll the screen until a generous deadline and fail showing what
the screen held."""
import argparse
import curses
import fcntl
import os
import pty
import select
import shutil
import signal
import struct
import sys
import termios
import time

import pyte

from pty_session import sandbox_env

DEADLINE = 20.0
TERM = "xterm-256color"

_KEY_CAPS = {
    "Up": "kcuu1", "Down": "kcud1", "Left": "kcub1", "Right": "kcuf1",
    "PgUp": "kpp", "PgDn": "knp", "Home": "khome", "End": "kend",
    "F1": "kf1", "F2": "kf2", "F3": "kf3", "F4": "kf4", "F5": "kf5", "Shift-Tab": "kcbt",
}
_KEY_BYTES = {"Enter": b"\r", "Escape": b"\x1b", "Tab": b"\t", "Backspace": b"\x7f"}
_terminfo_ready = set()


def key_bytes(name, term=TERM):
    """The bytes the terminal type `term` sends for the named key (from its terminfo)."""
    if name in _KEY_BYTES:
        return _KEY_BYTES[name]
    if term not in _terminfo_ready:
        curses.setupterm(term, sys.stdout.fileno() if sys.stdout.isatty() else os.open(os.devnull, os.O_WRONLY))
        _terminfo_ready.add(term)
    seq = curses.tigetstr(_KEY_CAPS[name])
    if not seq:
        raise AssertionError(f"terminal type {term} has no sequence for {name}")
    return seq


class _Screen(pyte.Screen):
    """pyte's screen with the scroll up and down controls (CSI n S, CSI n T), which curses
    uses to scroll the output region when the terminal type offers them."""

    def scroll_up(self, count=None):
        self._scroll(count, self.index, bottom=True)

    def scroll_down(self, count=None):
        self._scroll(count, self.reverse_index, bottom=False)

    def _scroll(self, count, step, bottom):
        top, end = self.margins or pyte.screens.Margins(0, self.lines - 1)
        x, y = self.cursor.x, self.cursor.y
        self.cursor.y = end if bottom else top
        for _ in range(max(1, count or 1)):
            step()
        self.cursor.x, self.cursor.y = x, y


class _ByteStream(pyte.ByteStream):
    csi = dict(pyte.ByteStream.csi, S="scroll_up", T="scroll_down")


class ConsoleScreen:
    def __init__(self, kvarn, env, cwd, columns=100, rows=30, args=(), term=TERM):
        self.columns, self.rows, self.term = columns, rows, term
        self.screen = _Screen(columns, rows)
        self.stream = _ByteStream(self.screen)
        self.raw = b""          # everything kvarn wrote, for messages outside the screen
        self.ended = False
        env = dict(env)
        if term is None:
            env.pop("TERM", None)
        else:
            env["TERM"] = term
        env.setdefault("LANG", "C.UTF-8")
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            try:
                self._set_size(0, rows, columns)
                os.chdir(cwd)
                os.execve(kvarn, [kvarn] + list(args), env)
            finally:
                os._exit(127)
        self._set_size(self.fd, rows, columns)

    # -- the terminal ---------------------------------------------------------------
    @staticmethod
    def _set_size(fd, rows, columns):
        fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, columns, 0, 0))

    def resize(self, columns, rows):
        """The window changes size: the pty, the emulator, then SIGWINCH to kvarn."""
        self.pump(0.2)
        self.columns, self.rows = columns, rows
        self.screen.resize(rows, columns)
        self._set_size(self.fd, rows, columns)
        os.kill(self.pid, signal.SIGWINCH)

    def pump(self, seconds=0.0):
        """Reads what kvarn has written, for up to `seconds` when nothing comes."""
        deadline = time.time() + seconds
        while not self.ended:
            left = max(0.0, deadline - time.time())
            if not select.select([self.fd], [], [], left)[0]:
                return
            try:
                chunk = os.read(self.fd, 65536)
            except OSError:
                chunk = b""
            if not chunk:
                self.ended = True
                return
            self.raw += chunk
            self.stream.feed(chunk)

    def write(self, data):
        """Writes all of `data` to the terminal, reading the screen while it waits so
        kvarn is never blocked writing to us."""
        view = memoryview(data)
        while view:
            _, writable, _ = select.select([self.fd], [self.fd], [], DEADLINE)
            if not writable:
                self.pump(0)
                continue
            n = os.write(self.fd, view[:4096])
            view = view[n:]
            self.pump(0)

    def type(self, text):
        self.write(text.encode("utf-8") if isinstance(text, str) else text)

    def key(self, name):
        self.write(key_bytes(name, self.term or TERM))

    def command(self, text):
        self.type(text)
        self.key("Enter")

    # -- what shows ----------------------------------------------------------------
    def lines(self):
        return [line.rstrip() for line in self.screen.display]

    def screen_text(self):
        return "\n".join(self.lines())

    def bottom_row(self):
        return self.lines()[-1]

    def message_line(self):
        """The row above the command area (the command area is one row while short)."""
        return self.lines()[-2]

    def wait_for(self, text=None, predicate=None, what=None, seconds=DEADLINE):
        """Polls the screen until `text` shows on it (or `predicate(self)` holds)."""
        check = predicate or (lambda s: text in s.screen_text())
        deadline = time.time() + seconds
        while True:
            self.pump(0.05)
            if check(self):
                # Let a paint in progress finish, then look again.
                self.pump(0.05)
                if check(self):
                    return self.screen_text()
            if time.time() > deadline or self.ended:
                state = "kvarn ended" if self.ended else "timed out"
                raise AssertionError(f"{state} waiting for {what or repr(text)}; the screen was:\n"
                                     + self.framed())

    def wait_gone(self, text, seconds=DEADLINE):
        return self.wait_for(predicate=lambda s: text not in s.screen_text(), what=f"{text!r} to go",
                             seconds=seconds)

    def wait_raw(self, text, seconds=DEADLINE):
        """Polls everything kvarn wrote (not only the screen) for `text`."""
        deadline = time.time() + seconds
        while text.encode() not in self.raw:
            if time.time() > deadline or self.ended:
                if text.encode() in self.raw:
                    break
                raise AssertionError(f"did not see {text!r}; kvarn wrote:\n"
                                     + self.raw.decode(errors="replace")[-4000:])
            self.pump(0.05)

    def wait_exit(self, seconds=DEADLINE):
        """Waits for kvarn to end; returns its exit status."""
        deadline = time.time() + seconds
        while time.time() < deadline:
            self.pump(0.05)
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.pid = None
                return os.waitstatus_to_exitcode(status)
        raise AssertionError("kvarn did not end; the screen was:\n" + self.framed())

    def framed(self):
        bar = "+" + "-" * self.columns + "+"
        return "\n".join([bar] + ["|" + line.ljust(self.columns) + "|" for line in self.lines()] + [bar])

    def close(self):
        if self.pid:
            try:
                os.kill(self.pid, signal.SIGKILL)
            except OSError:
                pass
            try:
                os.waitpid(self.pid, 0)
            except ChildProcessError:
                pass
            self.pid = None
        try:
            os.close(self.fd)
        except OSError:
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def run_test(body):
    """Parses --kvarn/--build, makes a sandbox and runs body(kvarn, env, sandbox);
    prints FAILED and returns 1 when an assertion fails."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--kvarn", required=True)
    ap.add_argument("--build", required=True)
    a = ap.parse_args()
    kvarn = os.path.abspath(a.kvarn)
    sandbox, env = sandbox_env(a.build)
    try:
        body(kvarn, env, sandbox)
    except AssertionError as e:
        print(f"FAILED: {e}")
        return 1
    finally:
        shutil.rmtree(sandbox, ignore_errors=True)
    print("ok")
    return 0
