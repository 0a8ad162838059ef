#!/usr/bin/env python3
"""DELETE sent to a fleet at the console: kvarn runs on a pseudo-terminal (a dumb one, so
it reads commands at a line prompt), =fleet names two queue managers, and DELETE asks
"Send '...' to 2 queue managers - continue? " first. No keeps the queue on both; yes
deletes it from both. A DISPLAY is sent without a question."""
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
    question = "Send 'DELETE QLOCAL(CONFIRM.Q)' to 2 queue managers - continue? "
    try:
        with kvarn_on_pty(a.kvarn, ["-x"], env, sandbox) as fd:
            os.write(fd, b"=fleet qm(QMC1,QMC2)\n")
            read_until(fd, "Fleet of 2 queue managers, 2 connected")
            os.write(fd, b"DEFINE QLOCAL(CONFIRM.Q)\n")
            read_until(fd, "QMC2: AMQ8006I")
            os.write(fd, b"DELETE QLOCAL(CONFIRM.Q)\n")
            read_until(fd, question)
            os.write(fd, b"n\n")
            read_until(fd, "Command cancelled")
            os.write(fd, b"DISPLAY QLOCAL(CONFIRM.Q)\n")
            shown = read_until(fd, "QSGQM(QMC2) QUEUE(CONFIRM.Q)")
            assert "continue?" not in shown, f"a DISPLAY was questioned:\n{shown}"
            assert "QSGQM(QMC1) QUEUE(CONFIRM.Q)" in shown, f"the queue went after no:\n{shown}"
            os.write(fd, b"DELETE QLOCAL(CONFIRM.Q)\n")
            read_until(fd, question)
            os.write(fd, b"y\n")
            read_until(fd, "QMC2: AMQ8007I")
            os.write(fd, b"end\n")
    except AssertionError as e:
        print(f"FAILED: {e}")
        return 1
    finally:
        shutil.rmtree(sandbox, ignore_errors=True)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
