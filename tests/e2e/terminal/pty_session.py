"""What the terminal tests share: a sandboxed environment for kvarn and reading a
pseudo-terminal until a text shows."""
import contextlib
import os
import pty
import signal
import select
import tempfile
import time


def sandbox_env(build=None):
    """A new sandbox folder and an environment that keeps kvarn and qmsim inside it."""
    sandbox = tempfile.mkdtemp(prefix="kvarn-pty-")
    path = os.environ.get("PATH", "/usr/bin:/bin")
    if build:
        path = os.path.abspath(os.path.join(build, "bin")) + os.pathsep + path
    env = {"PATH": path, "HOME": sandbox, "KVARNCFG": os.path.join(sandbox, "cfg"),
           "KVARN_QMSIM_HOME": os.path.join(sandbox, "qmsim"), "TERM": "dumb"}
    for k in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TMPDIR"):
        if k in os.environ:
            env[k] = os.environ[k]
    os.makedirs(env["KVARNCFG"])
    return sandbox, env


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


@contextlib.contextmanager
def kvarn_on_pty(kvarn, args, env, cwd):
    """kvarn started on a pseudo-terminal in `cwd`; yields the terminal's descriptor and
    kills the process when the block ends, however it ends."""
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(cwd)
        os.execve(kvarn, [kvarn] + list(args), env)
    try:
        yield fd
    finally:
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass
        os.waitpid(pid, 0)
        os.close(fd)
