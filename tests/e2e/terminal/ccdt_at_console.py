#!/usr/bin/env python3
"""=ccdt at the console (kvarn on a pseudo-terminal): CCDT mode is not in this build, so
it says so and changes nothing. The run goes on, but what was typed after it on the same
line (meant for a channel table) is dropped rather than sent to the queue manager."""
import argparse
import os
import shutil
import sys

from pty_session import kvarn_on_pty, read_until, sandbox_env


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kvarn", required=True)
    ap.add_argument("--build", required=True)
    a = ap.parse_args()
    a.kvarn = os.path.abspath(a.kvarn)
    sandbox, env = sandbox_env(a.build)
    try:
        with kvarn_on_pty(a.kvarn, ["-f", "-x"], env, sandbox) as fd:
            os.write(fd, b"=ccdt file(c.tab); print 'after ccdt on the same line'\n")
            shown = read_until(fd, "CCDT mode is not available in this build")
            os.write(fd, b"print 'still running'\n")
            shown += read_until(fd, "still running\r\n")
            assert "after ccdt on the same line" not in shown.replace("print 'after ccdt", ""), \
                f"the rest of the line ran:\n{shown}"
            assert "terminated" not in shown, f"the console run was ended:\n{shown}"
            os.write(fd, b"end\n")
            read_until(fd, "MQSC Command summary")
    except AssertionError as e:
        print(f"FAILED: {e}")
        return 1
    finally:
        shutil.rmtree(sandbox, ignore_errors=True)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
