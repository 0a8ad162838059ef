#!/usr/bin/env python3
"""The console at start: the prompt is on the bottom row; DISPLAY QMGR shows its laid-out
reply; Up recalls the command, #text then Up recalls the newest command containing the
text; 'end' ends the program, and the next start recalls the command with Up because
the history is kept in the configuration."""
import re
import sys

from console_screen import ConsoleScreen, run_test


def prompt_only(s):
    return re.fullmatch(r"\S*>", s.bottom_row()) is not None


def body(kvarn, env, sandbox):
    with ConsoleScreen(kvarn, env, sandbox) as s:
        s.wait_for(predicate=prompt_only, what="the prompt alone on the bottom row")
        s.command("DISPLAY QMGR")
        s.wait_for("QMNAME(QM1)")
        assert s.bottom_row() == "QM1>", f"prompt not on the bottom row:\n{s.framed()}"
        s.key("Up")
        s.wait_for(predicate=lambda s: s.bottom_row() == "QM1>DISPLAY QMGR", what="Up recalling DISPLAY QMGR")
        s.key("Escape")
        s.wait_for(predicate=prompt_only, what="Escape emptying the command area")
        s.command("print 'other'")
        s.wait_for(predicate=lambda s: "other" in s.lines(), what="the printed line 'other'")
        s.type("#QMG")
        s.key("Up")
        s.wait_for(predicate=lambda s: s.bottom_row() == "QM1>DISPLAY QMGR",
                   what="#QMG then Up recalling DISPLAY QMGR")
        s.key("Escape")
        s.wait_for(predicate=prompt_only, what="Escape emptying the command area")
        s.command("end")
        s.wait_exit()

    with ConsoleScreen(kvarn, env, sandbox) as s:
        s.wait_for(predicate=prompt_only, what="the prompt on the second start")
        s.key("Up")   # the newest is 'end', then 'print', then DISPLAY QMGR
        s.key("Up")
        s.key("Up")
        s.wait_for(predicate=lambda s: s.bottom_row().endswith(">DISPLAY QMGR"),
                   what="DISPLAY QMGR recalled from the saved history")


if __name__ == "__main__":
    sys.exit(run_test(body))
