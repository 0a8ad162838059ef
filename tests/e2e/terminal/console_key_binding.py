#!/usr/bin/env python3
"""A key bound to a command: '=key(F5) cmd(DISPLAY QMGR)' then F5 runs DISPLAY QMGR; the
binding is kept in the configuration, so after 'end' and a new start F5 still runs it."""
import sys

from console_screen import ConsoleScreen, run_test


def body(kvarn, env, sandbox):
    with ConsoleScreen(kvarn, env, sandbox) as s:
        s.wait_for(">")
        s.command("=key(F5) cmd(DISPLAY QMGR)")
        s.wait_for(predicate=lambda s: s.bottom_row().endswith(">"), what="the command area empty")
        assert "QMNAME(" not in s.screen_text() and "Unrecognised" not in s.screen_text(), s.framed()
        s.key("F5")
        s.wait_for("QMNAME(QM1)")
        assert "No defined action" not in s.screen_text(), s.framed()
        s.command("end")
        s.wait_exit()

    with ConsoleScreen(kvarn, env, sandbox) as s:
        s.wait_for(">")
        assert "QMNAME(" not in s.screen_text(), s.framed()
        s.key("F5")
        s.wait_for("QMNAME(QM1)")


if __name__ == "__main__":
    sys.exit(run_test(body))
