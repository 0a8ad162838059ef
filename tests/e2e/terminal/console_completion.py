#!/usr/bin/env python3
"""Tab completion at the console: DIS completes to DISPLAY; after DISPLAY Q, Tab cycles
through the object types and Shift-Tab comes back; inside DIS QL( Tab offers the names of
the queue manager's local queues; a keyword after the object type completes too."""
import re
import sys

from console_screen import ConsoleScreen, run_test


def cleared(s):
    """Escape, then the empty command area (typing on at once would read as Alt-keys)."""
    s.key("Escape")
    s.wait_for(predicate=lambda s: re.fullmatch(r"\S*>", s.bottom_row()) is not None, what="the command area emptied")


def body(kvarn, env, sandbox):
    with ConsoleScreen(kvarn, env, sandbox) as s:
        s.wait_for(predicate=lambda s: re.fullmatch(r"\S*>", s.bottom_row()) is not None, what="the prompt")
        s.type("DIS")
        s.key("Tab")
        s.wait_for(predicate=lambda s: s.bottom_row().endswith(">DISPLAY"), what="DIS completed to DISPLAY")
        s.type("Q")
        s.key("Tab")
        s.wait_for(predicate=lambda s: re.search(r">DISPLAY Q[A-Z]+$", s.bottom_row()) is not None,
                   what="an object type beginning with Q")
        first = s.bottom_row()
        s.key("Tab")
        s.wait_for(predicate=lambda s: re.search(r">DISPLAY Q[A-Z]+$", s.bottom_row()) is not None
                   and s.bottom_row() != first, what="Tab cycling to the next object type")
        s.key("Shift-Tab")
        s.wait_for(predicate=lambda s: s.bottom_row() == first, what="Shift-Tab back to the first object type")
        cleared(s)
        # Object names come from the queue manager (the start-up connection is made for them).
        s.type("DIS QL(SYSTEM.DEF")
        s.key("Tab")
        s.wait_for(predicate=lambda s: re.search(r">DIS QL\(SYSTEM\.DEF[A-Z.]*\.[A-Z.]+", s.bottom_row()) is not None,
                   what="a local queue name offered inside DIS QL(")
        cleared(s)
        s.type("DIS QLOCAL(X) CURD")
        s.key("Tab")
        s.wait_for(predicate=lambda s: s.bottom_row().endswith("CURDEPTH"), what="CURD completed to CURDEPTH")
        cleared(s)
        s.type("XYZZY")
        s.key("Tab")
        s.wait_for(predicate=lambda s: "XYZZY" in s.message_line(), what="a message naming the unknown verb")
        cleared(s)
        s.command("end")
        s.wait_exit()


if __name__ == "__main__":
    sys.exit(run_test(body))
