#!/usr/bin/env python3
"""=ccdt at the console (kvarn on a pseudo-terminal): CCDT mode is not in this build, so
it says so and changes nothing. The run goes on, but what was typed after it on the same
line (meant for a channel table) is dropped rather than sent to the queue manager."""
import argparse
import os
import pty
import select
import shutil
import signal
import sys
import tempfile
import time


def read_until(fd, wanted, seconds=30):
    text = b""
    deadline = time.time() + seconds
    while wanted.encode() not in text:
        left = deadline - time.time()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            raise AssertionError(f"did not see {wanted!r}; got:\n{text.decode(errors='replace')}")
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            chunk = b""
        if not chunk:
            raise AssertionError(f"kvarn ended before {wanted!r}; got:\n{text.decode(errors='replace')}")
        text += chunk
    return text.decode(errors="replace")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kvarn", required=True)
    ap.add_argument("--build", required=True)
    a = ap.parse_args()
    a.kvarn = os.path.abspath(a.kvarn)
    sandbox = tempfile.mkdtemp(prefix="kvarn-pty-")
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": sandbox,
           "KVARNCFG": os.path.join(sandbox, "cfg"), "KVARN_QMSIM_HOME": os.path.join(sandbox, "qmsim"),
           "TERM": "dumb"}
    for k in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TMPDIR"):
        if k in os.environ:
            env[k] = os.environ[k]
    os.makedirs(env["KVARNCFG"])
    try:
        pid, fd = pty.fork()
        if pid == 0:
            os.chdir(sandbox)
            os.execve(a.kvarn, [a.kvarn, "-f", "-x"], env)
        try:
            os.write(fd, b"=ccdt file(c.tab); print 'after ccdt on the same line'\n")
            shown = read_until(fd, "CCDT mode is not available in this build")
            os.write(fd, b"print 'still running'\n")
            shown += read_until(fd, "still running\r\n")
            assert "after ccdt on the same line" not in shown.replace("print 'after ccdt", ""), \
                f"the rest of the line ran:\n{shown}"
            assert "terminated" not in shown, f"the console run was ended:\n{shown}"
            os.write(fd, b"end\n")
            read_until(fd, "MQSC Command summary")
        finally:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
            os.waitpid(pid, 0)
            os.close(fd)
    except AssertionError as e:
        print(f"FAILED: {e}")
        return 1
    finally:
        shutil.rmtree(sandbox, ignore_errors=True)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
