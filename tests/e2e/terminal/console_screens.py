#!/usr/bin/env python3
"""The four screens: F1 shows Help (KVARN Version ...), F3 the Keys screen (Action Keys),
F4 the Settings, F2 the MQSC screen again with its output; '=show scrn(help)' typed
shows Help too."""
import sys

from console_screen import ConsoleScreen, run_test


def first_line(s):
    return next((line for line in s.lines() if line), "")


def body(kvarn, env, sandbox):
    with ConsoleScreen(kvarn, env, sandbox) as s:
        s.wait_for(">")
        s.command("print 'on the mqsc screen'")
        s.wait_for(predicate=lambda s: "on the mqsc screen" in s.lines(), what="the printed line")
        for key, top, gone in (("F1", "KVARN Version", "on the mqsc screen"), ("F3", "Keys & Synonyms", "KVARN Version"),
                               ("F4", "Settings", "Action Keys")):
            s.key(key)
            s.wait_for(predicate=lambda s: first_line(s).startswith(top), what=f"{key} showing {top!r} at the top")
            assert gone not in s.screen_text(), f"{key}: the previous screen still shows:\n{s.framed()}"
            if key == "F3":
                s.wait_for("Action Keys")
        s.key("F2")
        s.wait_for(predicate=lambda s: "on the mqsc screen" in s.lines(), what="F2 back on the MQSC screen")
        assert "Settings" not in first_line(s), s.framed()
        s.command("=show scrn(help)")
        s.wait_for(predicate=lambda s: first_line(s).startswith("KVARN Version"), what="=show scrn(help)")
        s.key("F2")
        s.wait_for(predicate=lambda s: "on the mqsc screen" in s.lines(), what="F2 back on the MQSC screen")


if __name__ == "__main__":
    sys.exit(run_test(body))
