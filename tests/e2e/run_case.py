#!/usr/bin/env python3
"""Runs one end-to-end case file against the kvarn binary.

A case file begins with its description; a first line starting "runs alone" makes
CTest run it by itself (it starts servers or waits on time-outs). Then come sections. Each "== run" section starts one run of kvarn;
the lines after it, up to the next section, are its parts:

    == run                     start a run (several runs share one sandbox)
    args: -x -f                command-line arguments (shell words)
    env: NAME=value            an environment variable (repeatable; $SANDBOX expands)
    stdin:                     the following lines, up to the next "rc:", "stdout:",
                               "stderr:", "file ..." or "== run", are standard input
    rc: 64                     the expected exit code
    stdout:                    the expected standard output (following lines)
    stderr:                    the expected standard error (following lines)
    stdout-has: text           a line that must appear in standard output
    stderr-has: text           a line that must appear in standard error
    file NAME has: text        a line that must appear in the sandbox file NAME
    file NAME missing          the sandbox file NAME must not exist
    write NAME:                the following lines are written to the sandbox file NAME
                               before the run
    sh: command                a shell command run in the sandbox before kvarn starts
                               (repeatable, in order); it sees the run's environment,
                               $SANDBOX, $BIN (the build's bin directory, also first
                               on PATH, so "qmsim" is the build's) and $EXAMPLES (the
                               examples/ folder of the source tree); the case fails if it
                               exits non-zero. Its output goes to the sandbox file
                               sh.log. A command ending in "&" runs on in the
                               background (redirect its output). qmsim servers still
                               running when the case ends are stopped.

$SANDBOX and $EXAMPLES are expanded in "args:" and "env:" too.

Every run gets a fresh environment with KVARNCFG, HOME and KVARN_QMSIM_HOME inside the
sandbox, so tests never touch the user's files. Times "[hh:mm:ss]" are masked to
"[TIME]" and the program's version to "VERSION".
"""
import argparse
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile

BLOCK_KEYS = ("stdin:", "stdout:", "stderr:")
EXAMPLES = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples"))


def parse(path):
    runs = []
    current = None
    block = None
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    for line in lines:
        if line.startswith("== run"):
            current = {"args": "", "env": [], "stdin": [], "rc": None, "stdout": None, "stderr": None,
                       "has": [], "errhas": [], "files": [], "missing": [], "writes": [], "sh": []}
            runs.append(current)
            block = None
            continue
        if current is None:
            continue   # comments before the first run
        key = line.split(" ", 1)[0]
        if line in BLOCK_KEYS:
            block = line[:-1]
            current[block] = []
            continue
        if line.startswith("write ") and line.endswith(":"):
            block = ("write", line[6:-1])
            current["writes"].append((line[6:-1], []))
            continue
        if re.match(r"^(args|env|sh|rc|stdout-has|stderr-has):", line) or re.match(r"^file \S+ (has:|missing)", line):
            block = None
            if line.startswith("args:"):
                current["args"] = line[5:].strip()
            elif line.startswith("env:"):
                current["env"].append(line[4:].strip())
            elif line.startswith("sh:"):
                current["sh"].append(line[3:].strip())
            elif line.startswith("rc:"):
                current["rc"] = int(line[3:].strip())
            elif line.startswith("stdout-has:"):
                current["has"].append(line[12:] if line.startswith("stdout-has: ") else line[11:])
            elif line.startswith("stderr-has:"):
                current["errhas"].append(line[12:] if line.startswith("stderr-has: ") else line[11:])
            else:
                m = re.match(r"^file (\S+) has: (.*)$", line)
                if m:
                    current["files"].append((m.group(1), m.group(2)))
                else:
                    current["missing"].append(line.split()[1])
            continue
        if block is None:
            continue
        if isinstance(block, tuple):
            current["writes"][-1][1].append(line)
        else:
            current[block].append(line)
    return runs


def mask(text):
    text = re.sub(r"\[\d\d:\d\d:\d\d\]", "[TIME]", text)
    text = re.sub(r"Version \d+\.\d+\.\d+", "Version VERSION", text)
    return text


def run_shell(commands, env, sandbox, bindir):
    """Runs the sh: steps; returns an error text or None."""
    shenv = dict(env, SANDBOX=sandbox, BIN=bindir, EXAMPLES=EXAMPLES, PATH=bindir + os.pathsep + env["PATH"])
    with open(os.path.join(sandbox, "sh.log"), "ab") as log:
        for command in commands:
            p = subprocess.run(["/bin/sh", "-c", command], stdin=subprocess.DEVNULL, stdout=log,
                               stderr=subprocess.STDOUT, env=shenv, cwd=sandbox, timeout=60)
            if p.returncode != 0:
                return f"sh step {command!r} exited {p.returncode}"
    return None


def stop_servers(sandbox):
    """Ends the qmsim servers a case left running (their pid files are in the sandbox)."""
    for root, _, files in os.walk(sandbox):
        if "qmsim.pid" in files:
            try:
                with open(os.path.join(root, "qmsim.pid")) as f:
                    pid = int(f.read().split()[0])
                os.kill(pid, signal.SIGTERM)
                os.kill(pid, signal.SIGCONT)   # a case may have frozen it
            except (OSError, ValueError, IndexError):
                pass


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kvarn", required=True)
    ap.add_argument("--build", required=True)
    ap.add_argument("case")
    a = ap.parse_args()
    a.kvarn = os.path.abspath(a.kvarn)
    sandbox = tempfile.mkdtemp(prefix="kvarn-e2e-")
    failures = []
    try:
        for n, run in enumerate(parse(a.case), 1):
            env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": sandbox, "KVARNCFG": sandbox + "/cfg",
                   "KVARN_QMSIM_HOME": sandbox + "/qmsim", "TZ": "UTC", "LANG": "C"}
            for k in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
                if k in os.environ:
                    env[k] = os.environ[k]
            os.makedirs(env["KVARNCFG"], exist_ok=True)
            for item in run["env"]:
                k, _, v = item.partition("=")
                env[k] = v.replace("$SANDBOX", sandbox).replace("$EXAMPLES", EXAMPLES)
            for name, body in run["writes"]:
                with open(os.path.join(sandbox, name), "w", encoding="utf-8") as f:
                    f.write("\n".join(body) + "\n")
            if run["sh"]:
                error = run_shell(run["sh"], env, sandbox, os.path.abspath(os.path.join(a.build, "bin")))
                if error:
                    log = open(os.path.join(sandbox, "sh.log"), encoding="utf-8", errors="replace").read()
                    failures.append(f"run {n}: {error}\n--- sh.log\n{log}")
                    break
            args = [w.replace("$SANDBOX", sandbox).replace("$EXAMPLES", EXAMPLES) for w in shlex.split(run["args"])]
            stdin = "\n".join(run["stdin"]) + ("\n" if run["stdin"] else "")
            try:
                p = subprocess.run([a.kvarn] + args, input=stdin.encode(), capture_output=True, env=env,
                                   cwd=sandbox, timeout=120)
            except subprocess.TimeoutExpired as e:
                failures.append(f"run {n}: kvarn did not end within 120 seconds\n--- stdout so far\n" +
                                (e.stdout or b"").decode(errors="replace"))
                break
            out, err = mask(p.stdout.decode(errors="replace")), mask(p.stderr.decode(errors="replace"))
            out, err = out.replace(sandbox, "$SANDBOX"), err.replace(sandbox, "$SANDBOX")
            where = f"run {n}"
            if run["rc"] is not None and p.returncode != run["rc"]:
                failures.append(f"{where}: exit code {p.returncode}, expected {run['rc']}")
            if run["stdout"] is not None and out != "\n".join(run["stdout"]) + ("\n" if run["stdout"] else ""):
                failures.append(f"{where}: stdout differs\n--- expected\n" + "\n".join(run["stdout"]) +
                                "\n--- got\n" + out)
            if run["stderr"] is not None and err != "\n".join(run["stderr"]) + ("\n" if run["stderr"] else ""):
                failures.append(f"{where}: stderr differs\n--- expected\n" + "\n".join(run["stderr"]) +
                                "\n--- got\n" + err)
            for line in run["has"]:
                if line not in out.split("\n"):
                    failures.append(f"{where}: stdout lacks line {line!r}\n--- got\n{out}")
            for line in run["errhas"]:
                if line not in err.split("\n"):
                    failures.append(f"{where}: stderr lacks line {line!r}\n--- got\n{err}")
            for name, line in run["files"]:
                path = os.path.join(sandbox, name)
                text = open(path, encoding="utf-8", errors="replace").read() if os.path.exists(path) else None
                if text is None or line not in text.split("\n"):
                    failures.append(f"{where}: file {name} lacks line {line!r}")
            for name in run["missing"]:
                if os.path.exists(os.path.join(sandbox, name)):
                    failures.append(f"{where}: file {name} exists")
    finally:
        stop_servers(sandbox)
        shutil.rmtree(sandbox, ignore_errors=True)
    if failures:
        print("\n".join(failures))
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
