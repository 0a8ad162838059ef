#!/usr/bin/env python3
"""CCDT mode at a terminal prompt (kvarn on a pseudo-terminal): =ccdt and a DEFINE typed
on one line edit the table, and the table is on disk while the program waits for the
next line, before the run ends."""
import argparse
import os
import shutil
import sys
import time

from pty_session import kvarn_on_pty, read_until, sandbox_env


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kvarn", required=True)
    ap.add_argument("--build", required=True)
    a = ap.parse_args()
    a.kvarn = os.path.abspath(a.kvarn)
    sandbox, env = sandbox_env(a.build)
    table = os.path.join(sandbox, "c.tab")
    try:
        with kvarn_on_pty(a.kvarn, ["-f", "-x"], env, sandbox) as fd:
            line = f"=ccdt file({table}); DEFINE CHANNEL(TTY.CLNT) CHLTYPE(CLNTCONN) CONNAME('h(1)')\n"
            os.write(fd, line.encode())
            read_until(fd, "AMQ8016: IBM MQ channel 'TTY.CLNT' defined")
            # The prompt for the next line comes after the table was written.
            deadline = time.time() + 10
            while not os.path.exists(table) and time.time() < deadline:
                time.sleep(0.05)
            assert os.path.exists(table), "the table was not written while the prompt waited"
            with open(table, "rb") as f:
                assert b"TTY.CLNT" in f.read(), "the table lacks the channel defined"
            os.write(fd, b"=mqsc\n")
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
