#!/usr/bin/env python3
"""The console under awkward input: a 20x5 window takes a command; bytes that are not
UTF-8 typed into the command area read as U+FFFD without eating the keys after them; a CJK string prints as typed; 100 kB
pasted in one go neither ends nor stalls the program, and after Escape a command is
still answered."""
import sys

from console_screen import ConsoleScreen, run_test


def empty_area(s):
    return s.bottom_row() == ">" or s.bottom_row() == "QM1>"


def body(kvarn, env, sandbox):
    with ConsoleScreen(kvarn, env, sandbox, columns=20, rows=5) as s:
        s.wait_for(">")
        s.command("print 'ok'")
        s.wait_for(predicate=lambda s: "ok" in s.lines(), what="'ok' in a 20x5 window")

        # Bytes that are not UTF-8 read as U+FFFD; the keys after them, Enter included,
        # are not lost.
        s.type(b"print '\xff\xfe\xc3\x28 \x80'")
        s.key("Enter")
        s.wait_for(predicate=lambda s: "\ufffd\ufffd\ufffd( \ufffd" in s.lines(), what="the bad bytes printed as U+FFFD")
        s.wait_for(predicate=empty_area, what="the command area empty after the bad bytes")
        s.command("print 'x1'")
        s.wait_for(predicate=lambda s: "x1" in s.lines(), what="a command after the bad bytes")

        s.command("print '漢字'")
        s.wait_for(predicate=lambda s: "漢字" in s.lines(), what="the CJK text printed")

        s.type("p" * 100_000)
        s.wait_for(predicate=lambda s: "Not enough space" in s.screen_text(),
                   what="the full command area reported")
        s.key("Escape")
        s.wait_for(predicate=empty_area, what="Escape emptying the full command area")
        s.command("print 'alive'")
        s.wait_for(predicate=lambda s: "alive" in s.lines(), what="a command answered after the paste")


if __name__ == "__main__":
    sys.exit(run_test(body))
