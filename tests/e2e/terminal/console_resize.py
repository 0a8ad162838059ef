#!/usr/bin/env python3
"""The window narrows from 100 to 60 columns after DISPLAY QMGR: the reply is laid out
again for 60 columns (at most three attribute columns a row, none cut at the edge), and
the prompt is still on the bottom row."""
import re
import sys

from console_screen import ConsoleScreen, run_test


def body(kvarn, env, sandbox):
    with ConsoleScreen(kvarn, env, sandbox, columns=100, rows=30) as s:
        s.wait_for(">")
        s.command("DISPLAY QMGR")
        s.wait_for("QMNAME(QM1)")
        assert any(re.match(r"QMNAME\(QM1\)\s+ACCTCONO\(\w+\)\s+ACCTINT\(\d+\)\s+ACCTMQI\(\w+\)", line)
                   for line in s.lines()), f"the reply was not laid out for 100 columns:\n{s.framed()}"
        s.resize(60, 30)
        relaid = lambda s: any(re.match(r"IMGLOGLN\(\w+\)\s+IMGRCOVO\(\w+\)$", line) for line in s.lines())
        s.wait_for(predicate=relaid, what="the reply laid out again for 60 columns")
        assert s.bottom_row() == "QM1>", f"the prompt left the bottom row:\n{s.framed()}"
        for line in s.lines():
            assert len(line) <= 60, f"a row wider than the window:\n{s.framed()}"
            if line.endswith("<more>"):
                continue   # the scroll marker covers the row's end
            body = line.strip()
            if re.match(r"[A-Z]+\(", body):
                assert len(re.findall(r"[A-Z]+\(", body)) <= 3, f"more than three attributes a row: {line!r}"
                assert body.count("(") == body.count(")"), f"an attribute cut at the edge: {line!r}\n{s.framed()}"
        s.command("print 'still here'")
        s.wait_for(predicate=lambda s: "still here" in s.lines(), what="a command after the resize")


if __name__ == "__main__":
    sys.exit(run_test(body))
