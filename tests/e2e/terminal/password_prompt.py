#!/usr/bin/env python3
"""The password prompt at a terminal: kvarn runs on a pseudo-terminal, =conn with
pwd(*) asks "QM(QMP) User(alice) password > ", the typed password is shown as stars
(never in clear) and the connect to a qmsim server that checks passwords succeeds;
the password is then remembered, so a second =conn to the same queue manager asks
nothing."""
import argparse
import os
import shutil
import signal
import subprocess
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
    server = None
    try:
        with open(os.path.join(sandbox, "users.txt"), "w") as f:
            f.write("alice:s3cret\n")
        subprocess.run(["qmsim", "create", "QMP"], env=env, cwd=sandbox, check=True, capture_output=True)
        subprocess.run(["qmsim", "start", "QMP", "--port", "0", "--bind", "127.0.0.1", "--auth", "users.txt",
                        "--background"], env=env, cwd=sandbox, check=True, capture_output=True)
        server = os.path.join(env["KVARN_QMSIM_HOME"], "QMP", "qmsim.pid")
        port = open(server).read().split()[1]
        conn = f"=conn qm(QMP) client conname(127.0.0.1({port})) user(alice)"

        with kvarn_on_pty(a.kvarn, ["-f", "-x"], env, sandbox) as fd:
            os.write(fd, (conn + " pwd(*)\n").encode())
            read_until(fd, "QM(QMP) User(alice) password > ")
            time.sleep(0.2)   # the prompt has turned echo off by the time it is shown
            os.write(fd, b"s3cret\n")
            shown = read_until(fd, "Connected to 'QMP'")
            assert "s3cret" not in shown, f"the password was echoed:\n{shown}"
            assert "******" in shown, f"no stars for the typed password:\n{shown}"
            os.write(fd, b"=disc\n")
            read_until(fd, "Disconnected from 'QMP'")
            os.write(fd, (conn + "\nDISPLAY QMGR QMNAME\n").encode())
            after = read_until(fd, "QMNAME(QMP)")
            assert "password >" not in after, f"asked again for a remembered password:\n{after}"
            os.write(fd, b"end\n")
            read_until(fd, "MQSC Command summary")
    except (AssertionError, subprocess.CalledProcessError) as e:
        print(f"FAILED: {e}")
        return 1
    finally:
        if server and os.path.exists(server):
            try:
                os.kill(int(open(server).read().split()[0]), signal.SIGTERM)
            except (OSError, ValueError):
                pass
        shutil.rmtree(sandbox, ignore_errors=True)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
