#!/usr/bin/env python3
"""Paging: a script loop prints 2,100 numbered lines; PageUp shows older lines with the
<more> marker at the bottom (the scroll indicator is on by default), PageDown returns
to the newest line."""
import re
import sys

from console_screen import ConsoleScreen, run_test


def numbers(s):
    return [int(m.group(1)) for line in s.lines() for m in [re.fullmatch(r"line (\d+)(\s+<more>)?", line)] if m]


def body(kvarn, env, sandbox):
    with ConsoleScreen(kvarn, env, sandbox) as s:
        s.wait_for(">")
        for line in ("@i = 0", "while (@i < 2100)", "  @i = @i + 1", "  print 'line', @i", "endwhile"):
            s.command(line)
            s.wait_for(predicate=lambda s: s.bottom_row().endswith(">"), what=f"the command area empty after {line!r}")
        s.wait_for(predicate=lambda s: "line 2100" in s.lines(), what="the last line printed", seconds=60)
        newest = numbers(s)
        assert newest and newest[-1] == 2100, s.framed()
        s.key("PgUp")
        s.wait_for(predicate=lambda s: numbers(s) and max(numbers(s)) < min(newest),
                   what="PageUp showing older lines")
        rows = s.lines()[:-2]
        assert rows[-1].endswith("<more>"), f"no <more> marker below the older lines:\n{s.framed()}"
        older = numbers(s)
        s.key("PgUp")
        s.wait_for(predicate=lambda s: numbers(s) and max(numbers(s)) < min(older), what="a second PageUp")
        s.key("PgDn")
        s.key("PgDn")
        s.wait_for(predicate=lambda s: numbers(s) and numbers(s)[-1] == 2100, what="PageDown back to line 2100")
        assert not s.lines()[-3].endswith("<more>"), f"<more> below the newest line:\n{s.framed()}"


if __name__ == "__main__":
    sys.exit(run_test(body))
