#!/usr/bin/env python3
"""No full-screen console where the terminal type cannot have one: with TERM=dumb, and
with TERM unset, kvarn says so ("continuing without the full-screen console") and works
at the line prompt."""
import sys

from console_screen import ConsoleScreen, run_test


def body(kvarn, env, sandbox):
    for term in ("dumb", None):
        with ConsoleScreen(kvarn, env, sandbox, term=term) as s:
            s.wait_raw("continuing without the full-screen console")
            s.command("print 'hi'")
            s.wait_for(predicate=lambda s: "hi" in s.lines(), what=f"'hi' printed at the line prompt (TERM={term})")
            s.command("end")
            s.wait_exit()


if __name__ == "__main__":
    sys.exit(run_test(body))
