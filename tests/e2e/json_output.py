#!/usr/bin/env python3
"""JSON Lines output (-o json) against the simulated queue manager.

100 queues are defined and displayed twice, with the text layout (one record per line,
-w 0) and with -o json: every line of the JSON run must be one JSON object in valid
UTF-8, and the records must equal the text layout's, record by record, value by value.
A DESCR holding quotes, brackets and a backslash, and one holding a byte that is not
UTF-8, come back exactly (the byte as its Latin-1 character). A failing command gives an
error object with its codes and the exit code of a failing run; the bootstrap file can
switch the format with =set outformat(json)."""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

PAIRS = {"NOSHARE": "SHARE", "NOTRIGGER": "TRIGGER", "NOHARDENBO": "HARDENBO", "TOLERATE": "ENFORCE"}


def text_records(out):
    """The records of a wrapped text layout: {header, attributes} in order of display."""
    lines = out.split("\n")
    records = []
    for i, line in enumerate(lines):
        if line.startswith("AMQ8409I") and i + 1 < len(lines):
            records.append(tokens(lines[i + 1]))
    return records


def tokens(line):
    """KEYWORD(value) and bare words of one attribute line, as (key, text) pairs."""
    out, i = [], 0
    while i < len(line):
        if line[i] == " ":
            i += 1
            continue
        start = i
        while i < len(line) and line[i] not in " (":
            i += 1
        word = line[start:i]
        if i < len(line) and line[i] == "(":
            depth, j = 0, i
            while j < len(line):
                depth += {"(": 1, ")": -1}.get(line[j], 0)
                if depth == 0:
                    break
                j += 1
            out.append((word, line[i + 1:j].strip()))
            i = j + 1
        else:
            out.append((PAIRS.get(word, word), word))
    return out


def as_text(value):
    if isinstance(value, list):
        return ",".join(as_text(v) for v in value)
    return str(value)


class Sandbox:
    def __init__(self, kvarn, build):
        self.kvarn = kvarn
        self.dir = tempfile.mkdtemp(prefix="kvarn-json-")
        self.env = {"PATH": os.path.join(build, "bin") + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"),
                    "HOME": self.dir, "KVARNCFG": os.path.join(self.dir, "cfg"),
                    "KVARN_QMSIM_HOME": os.path.join(self.dir, "qmsim"), "TZ": "UTC", "LANG": "C"}
        for k in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            if k in os.environ:
                self.env[k] = os.environ[k]
        os.makedirs(self.env["KVARNCFG"])

    def run(self, args, stdin, env=None):
        p = subprocess.run([self.kvarn] + args, input=stdin, capture_output=True, cwd=self.dir, timeout=120,
                           env=dict(self.env, **(env or {})))
        return p.returncode, p.stdout, p.stderr.decode(errors="replace")


def objects_of(stdout):
    """Every line parsed; a line that is not UTF-8 or not one object fails."""
    text = stdout.decode("utf-8")
    lines = text.split("\n")
    assert lines[-1] == "", "output ends with a line feed"
    out = []
    for line in lines[:-1]:
        obj = json.loads(line)
        assert isinstance(obj, dict), line
        out.append(obj)
    return out


def check_records_equal_the_text_layout(box):
    define = "".join(f"DEFINE QLOCAL(JQ.{i:03d}) MAXDEPTH({1000 + i}) DESCR('queue {i} (of 100)')"
                     f"{' DEFPSIST(YES) NOSHARE' if i % 7 == 0 else ''}\n" for i in range(1, 101))
    rc, out, err = box.run(["-f", "-e"], define.encode())
    assert rc == 0, f"defining the queues exited {rc}: {err}"
    display = b"DISPLAY QLOCAL(JQ.*) ALL\n"
    rc, text_out, _ = box.run(["-f", "-e", "-w", "0"], display)
    assert rc == 0, rc
    rc, json_out, err = box.run(["-f", "-e", "-o", "json"], display)
    assert rc == 0, rc
    assert err == "", err
    expected = text_records(text_out.decode())
    records = [o for o in objects_of(json_out) if o["kind"] == "record"]
    assert len(expected) == 100, len(expected)
    assert len(records) == 100, len(records)
    for want, got in zip(expected, records):
        assert got["id"] == "AMQ8409I" and got["object"] == "QUEUE" and got["qmgr"] == "QM1", got
        assert got["command"] == "DISPLAY QLOCAL(JQ.*) ALL", got
        pairs = [(k, as_text(v)) for k, v in got["attributes"].items()]
        assert pairs == want, f"\njson: {pairs}\ntext: {want}"
        assert isinstance(got["attributes"]["MAXDEPTH"], int)
        assert isinstance(got["attributes"]["DESCR"], str)
    summary = objects_of(json_out)[-1]
    assert summary == {"kind": "summary", "issued": 1, "success": 1, "fail": 0,
                       "text": "MQSC Command summary - Issued: 1 Success: 1 Fail: 0 "}, summary


def check_values_round_trip(box):
    descr = 'a "q" [b] (c) \\ d'
    commands = ("DEFINE QLOCAL(JR.Q) DESCR('" + descr.replace("'", "''") + "')\n").encode()
    commands += b"DEFINE QLOCAL(JR.L) DESCR('caf\xe9')\nDISPLAY QLOCAL(JR.*) DESCR\n"
    rc, out, err = box.run(["-f", "-e", "-o", "json"], commands)
    assert rc == 0, (rc, err)
    descrs = {o["attributes"]["QUEUE"]: o["attributes"]["DESCR"] for o in objects_of(out) if o["kind"] == "record"}
    assert descrs == {"JR.Q": descr, "JR.L": "caf\u00e9"}, descrs


def check_failures_and_exit_codes(box):
    rc, out, _ = box.run(["-f", "-o", "json"], b"DELETE QLOCAL(JQ.NOPE)\n")
    assert rc == 131, rc
    objs = objects_of(out)
    errors = [o for o in objs if o["kind"] == "error"]
    assert len(errors) == 1, objs
    e = errors[0]
    assert (e["id"], e["cc"], e["reason"], e["command"]) == ("AMQ8147E", 2, 3008, "DELETE QLOCAL(JQ.NOPE)"), e
    assert e["text"] == "AMQ8147E: IBM MQ object JQ.NOPE not found.", e
    assert objs[-1]["fail"] == 1 and objs[-1]["success"] == 0, objs[-1]
    assert [o["kind"] for o in objs[:3]] == ["info", "command", "info"], objs[:3]

    rc, out, _ = box.run(["-f", "-o", "json"], b"DISPLAY QLOCAL(JQ.001) MAXDEPTH\nDELETE QLOCAL(JQ.NOPE)\n")
    assert rc == 65, rc

    # The bootstrap file switches the format for the rest of the run.
    with open(os.path.join(box.dir, "boot.kvx"), "w") as f:
        f.write("=set outformat(json)\n")
    rc, out, _ = box.run(["-f", "-e"], b"DISPLAY QLOCAL(JQ.002) MAXDEPTH\n",
                         env={"KVARN_BOOTSTRAP": os.path.join(box.dir, "boot.kvx")})
    assert rc == 0, rc
    text, _, rest = out.partition(b"\n")
    assert text.startswith(b"KVARN KVARN Program"), out   # the banner comes before the bootstrap
    records = [o for o in objects_of(rest) if o["kind"] == "record"]
    assert records and records[0]["attributes"] == {"QUEUE": "JQ.002", "TYPE": "QLOCAL", "MAXDEPTH": 1002}, records


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kvarn", required=True)
    ap.add_argument("--build", required=True)
    a = ap.parse_args()
    box = Sandbox(os.path.abspath(a.kvarn), os.path.abspath(a.build))
    try:
        for check in (check_records_equal_the_text_layout, check_values_round_trip, check_failures_and_exit_codes):
            check(box)
    except AssertionError as e:
        print(f"FAILED: {e}")
        return 1
    finally:
        shutil.rmtree(box.dir, ignore_errors=True)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
