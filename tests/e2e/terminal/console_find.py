#!/usr/bin/env python3
"""Find at the console: /QMNAME finds the line of DISPLAY QMGR's reply holding QMNAME,
shows it highlighted and empties the command area, with no complaint on the message
line; /zzzz says "String not found" and leaves the text to be corrected; a suffix other
than c, s or b is refused."""
import sys

from console_screen import ConsoleScreen, run_test


def highlighted_rows(s):
    return [s.lines()[y] for y in range(s.rows) if any(cell.reverse for cell in s.screen.buffer[y].values())]


def body(kvarn, env, sandbox):
    with ConsoleScreen(kvarn, env, sandbox) as s:
        s.wait_for(">")
        s.command("DISPLAY QMGR")
        s.wait_for("QMNAME(QM1)")
        s.command("print 'after the reply'")
        s.wait_for(predicate=lambda s: "after the reply" in s.lines(), what="the printed line")
        s.command("/QMNAME")
        s.wait_for(predicate=lambda s: any("QMNAME(QM1)" in row for row in highlighted_rows(s)),
                   what="the QMNAME line highlighted")
        assert s.bottom_row() == "QM1>", f"the find stayed in the command area:\n{s.framed()}"
        assert "not found" not in s.message_line() and "Unrecognised" not in s.message_line(), s.framed()

        s.command("/zzzz")
        s.wait_for(predicate=lambda s: s.message_line() == "String not found", what="'String not found'")
        assert s.bottom_row() == "QM1>/zzzz", f"the missed find was not left to correct:\n{s.framed()}"
        s.key("Escape")
        s.wait_for(predicate=lambda s: s.bottom_row() == "QM1>", what="Escape emptying the command area")

        s.command("/x/q")
        s.wait_for(predicate=lambda s: s.message_line() == "Unrecognised find command suffix 'q'",
                   what="the refused suffix")


if __name__ == "__main__":
    sys.exit(run_test(body))
