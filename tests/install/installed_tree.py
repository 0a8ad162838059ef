#!/usr/bin/env python3
"""Installs the build into a temporary prefix and uses it as a new user would.

- the installed kvarn runs in file mode against qmsim with nothing in its environment
  but PATH and a temporary HOME: it finds the simulator's libraries in its own
  lib/kvarn, and qmsim keeps the queue manager under $HOME/.kvarn/qmsim;
- an IBM MQ installation named by MQ_INSTALLATION_PATH comes first, and one named but
  missing is a connection failure, never a quiet switch to the simulator;
- an installed example runs as it is;
- both manual pages render with man -l without a warning, and name every option,
  command and environment variable the programs have;
- the bash completion, sourced and loaded through bash-completion, completes
  `kvarn -`, `kvarn -m ` (qmsim's queue managers) and qmsim's commands.
"""
import argparse
import glob
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


def clean_env(home, **extra):
    env = {"PATH": "/usr/bin:/bin", "HOME": home}
    for k in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
        if k in os.environ:
            env[k] = os.environ[k]
    env.update(extra)
    return env


def run(cmd, env, stdin="", cwd=None, timeout=120):
    p = subprocess.run(cmd, input=stdin.encode(), capture_output=True, env=env, cwd=cwd, timeout=timeout)
    return p.returncode, p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace")


def lines(text):
    return text.split("\n")


def check_layout(prefix, source):
    wanted = ["bin/kvarn", "bin/qmsim", "lib/kvarn/libmqm_r.so", "lib/kvarn/libmqic_r.so",
              "share/man/man1/kvarn.1.gz", "share/man/man1/qmsim.1.gz", "share/doc/kvarn/copyright",
              "share/bash-completion/completions/kvarn", "share/bash-completion/completions/qmsim"]
    wanted += ["share/doc/kvarn/examples/" + os.path.basename(f) for f in glob.glob(os.path.join(source, "examples", "*"))]
    for rel in wanted:
        check(os.path.isfile(os.path.join(prefix, rel)), f"not installed: {rel}")
    for rel in ("bin/kvarn", "bin/qmsim", "share/doc/kvarn/examples/queue_report.sh"):
        check(os.access(os.path.join(prefix, rel), os.X_OK), f"not executable: {rel}")
    # Nothing lands on the loader's path, where it could stand in for IBM MQ's libraries.
    check(not glob.glob(os.path.join(prefix, "lib", "*.so*")), "a library was installed straight into lib/")


def check_runs(prefix, work):
    kvarn = os.path.join(prefix, "bin", "kvarn")
    home = os.path.join(work, "home")
    os.makedirs(home)
    env = clean_env(home)

    rc, out, err = run([kvarn, "--version"], env)
    check(rc == 0, f"kvarn --version exited {rc}: {err}")
    lib = os.path.join(prefix, "lib", "kvarn")
    check(f"Server bindings: the simulated queue manager (qmsim), {lib}/libmqm_r.so" in lines(out),
          f"--version does not name the installed server library:\n{out}")
    check(f"Client bindings: the simulated queue manager (qmsim), {lib}/libmqic_r.so" in lines(out),
          f"--version does not name the installed client library:\n{out}")

    rc, out, err = run([kvarn, "-f"], env, "DEFINE QLOCAL(INSTALLED.Q) MAXDEPTH(7)\nDISPLAY QLOCAL(INSTALLED.Q) MAXDEPTH\n")
    check(rc == 0, f"installed kvarn -f exited {rc}:\n{out}{err}")
    check("Connected to 'QM1' (simulated queue manager)" in lines(out), f"not connected to qmsim:\n{out}")
    check("QUEUE(INSTALLED.Q)                      TYPE(QLOCAL)" in lines(out) or "QUEUE(INSTALLED.Q)" in out,
          f"queue not shown:\n{out}")
    check(os.path.isfile(os.path.join(home, ".kvarn", "qmsim", "QM1", "objects.qms")),
          "the queue manager is not under $HOME/.kvarn/qmsim")

    rc, out, err = run([os.path.join(prefix, "bin", "qmsim"), "list"], env)
    check(rc == 0 and any(l.startswith("QM1 ") and l.endswith("stopped") for l in lines(out)),
          f"installed qmsim list: rc {rc}\n{out}{err}")

    example = os.path.join(prefix, "share", "doc", "kvarn", "examples", "day_one.mqsc")
    rc, out, err = run([kvarn, "-f", "-s", "-m", "QMINST", "-i", example], env)
    check(rc == 0, f"the installed day-one example exited {rc}:\n{out[-2000:]}{err}")

    # IBM MQ first: an installation named by MQ_INSTALLATION_PATH is the one used (a copy
    # of a library stands in for IBM's here), and one named but missing fails the
    # connection instead of falling back to the simulator.
    fake = os.path.join(work, "opt", "mqm")
    os.makedirs(os.path.join(fake, "lib64"))
    shutil.copy(os.path.join(lib, "libmqm_r.so"), os.path.join(fake, "lib64", "libmqm_r.so"))
    rc, out, err = run([kvarn, "--version"], clean_env(home, MQ_INSTALLATION_PATH=fake))
    check(f"Server bindings: IBM MQ, {fake}/lib64/libmqm_r.so" in lines(out),
          f"--version does not prefer MQ_INSTALLATION_PATH:\n{out}")
    missing = os.path.join(work, "no-mq")
    rc, out, err = run([kvarn, "-f"], clean_env(home, MQ_INSTALLATION_PATH=missing), "DISPLAY QMGR\n")
    check(rc == 128, f"a missing IBM MQ installation gave exit {rc}, not 128:\n{out}")
    check(f"Can not load IBM MQ library '{missing}/lib64/libmqm_r.so' - No such file or directory; the simulated "
          "queue manager is not used while MQ_INSTALLATION_PATH is set" in lines(out),
          f"no load failure for the missing installation:\n{out}")
    return home


def usage_options(kvarn, env):
    rc, out, err = run([kvarn, "-?"], env)
    check(rc == 132, f"kvarn -? exited {rc}")
    return re.findall(r"^        \[-(.)  ", err, re.M)


def source_env_names(source):
    names = set()
    pattern = re.compile(r'(?:getenv|environmentValue|envText|limitFromEnv)\("([A-Z_][A-Z0-9_]*)"')
    for tree in ("src", "qmsim"):
        for path in glob.glob(os.path.join(source, tree, "**", "*.cpp"), recursive=True):
            with open(path, encoding="utf-8", errors="replace") as f:
                names.update(pattern.findall(f.read()))
    return names


def check_manual_pages(prefix, source, home):
    env = clean_env(home, MANWIDTH="80", LANG="C.UTF-8")
    pages = {}
    for name in ("kvarn", "qmsim"):
        page = os.path.join(prefix, "share", "man", "man1", name + ".1.gz")
        rc, out, err = run(["man", "--warnings", "-l", page], env)
        check(rc == 0 and err.strip() == "", f"man -l {name}.1.gz: rc {rc}, warnings:\n{err}")
        check(out.startswith(f"{name.upper()}(1)"), f"{name}(1) does not render its heading:\n{out[:300]}")
        for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "ENVIRONMENT", "FILES", "EXAMPLES"):
            check(section in lines(out), f"{name}(1) lacks the section {section}")
        with gzip.open(page, "rt", encoding="utf-8") as f:
            pages[name] = f.read()
        pages[name + ".text"] = out

    kvarn_page = pages["kvarn"]
    options = usage_options(os.path.join(prefix, "bin", "kvarn"), env)
    check(len(options) > 20, f"could not read the options from kvarn -?: {options}")
    for letter in options + ["?"]:
        check(re.search(r"^\.(?:B|BI) \\-" + re.escape(letter) + r"(?:\s|$)", kvarn_page, re.M),
              f"kvarn(1) does not describe -{letter}")
    for long_option in ("help", "version"):
        check(f".B \\-\\-{long_option}" in kvarn_page, f"kvarn(1) does not describe --{long_option}")
    for code in ("0", "64", "65", "128", "129", "130", "131", "132"):
        check(f".B {code}\n" in kvarn_page, f"kvarn(1) does not list exit status {code}")
    for key in ("Ctrl-a", "Ctrl-z", "PageUp", "Shift-Tab", "F4"):
        check(key in kvarn_page, f"kvarn(1) does not list the key {key}")

    qmsim = os.path.join(prefix, "bin", "qmsim")
    rc, out, err = run([qmsim, "--help"], env)
    check(rc == 0, f"qmsim --help exited {rc}")
    qmsim_page = pages["qmsim"]
    for command, usage in re.findall(r"^  qmsim (\S+) ?(.*)$", out, re.M):
        check(re.search(r"^\\fB" + re.escape(command) + r"(?:\\fR| )", qmsim_page, re.M),
              f"qmsim(1) does not describe {command}")
        for option in re.findall(r"--([a-z-]+)", usage):
            check("\\-\\-" + option.replace("-", "\\-") in qmsim_page, f"qmsim(1) does not describe {command} --{option}")

    both = kvarn_page + qmsim_page
    for name in sorted(source_env_names(source)):
        check(re.search(r"\b" + name + r"\b", both), f"no manual page mentions the environment variable {name}")


COMPLETE = r'''
source "$1"
complete_words() {   # the words of a command line, the last one being completed
  COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=()
  local entry; entry=$(complete -p "$1") || { echo "no completion for $1"; return 1; }
  local fn=${entry#*-F }; fn=${fn%% *}
  "$fn" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort
}
echo "== options"; complete_words kvarn -
echo "== qmgrs"; complete_words kvarn -m ""
echo "== qmgrs Q"; complete_words kvarn -f -m QMI
echo "== fleet"; complete_words kvarn -m QM1,QMI
echo "== format"; complete_words kvarn -o j
echo "== qmsim"; complete_words qmsim st
echo "== qmsim stop"; complete_words qmsim stop ""
echo "== qmsim platform"; complete_words qmsim create QX --platform ""
echo "== end"
'''


def section(out, name):
    part = out.split(f"== {name}\n", 1)[1]
    return [l for l in part.split("\n== ", 1)[0].split("\n") if l]


def check_completion(prefix, work, home):
    script = os.path.join(prefix, "share", "bash-completion", "completions", "kvarn")
    # A second qmsim home, with a name spelt with '!' for '.', a directory that holds no
    # queue manager, and directories whose names no queue manager has (one of them a
    # command, which completing must never run); and a dspmq that knows one IBM MQ queue
    # manager.
    other = os.path.join(work, "other-home")
    for d in ("QMO!TEST", "$(touch PWNED)", "two words", "`touch PWNED2`"):
        os.makedirs(os.path.join(other, d))
        open(os.path.join(other, d, "objects.qms"), "w").close()
    os.makedirs(os.path.join(other, "NOTAQM"))
    stubs = os.path.join(work, "stubs")
    os.makedirs(stubs)
    with open(os.path.join(stubs, "dspmq"), "w") as f:
        f.write("#!/bin/sh\necho 'QMNAME(REAL.QM)                                           STATUS(Running)'\n")
    os.chmod(os.path.join(stubs, "dspmq"), 0o755)

    env = clean_env(home)
    rc, out, err = run(["bash", "-c", COMPLETE, "bash", script], env)
    check(rc == 0 and "== end" in out, f"completion script failed: rc {rc}\n{out}{err}")
    if rc != 0:
        return
    opts = section(out, "options")
    for o in ("-f", "-i", "-m", "-o", "-x", "-!", "--help", "--version"):
        check(o in opts, f"`kvarn -` does not offer {o}: {opts}")
    check(section(out, "qmgrs") == ["QM1", "QMINST"], f"`kvarn -m ` offers {section(out, 'qmgrs')}")
    check(section(out, "qmgrs Q") == ["QMINST"], f"`kvarn -f -m QMI` offers {section(out, 'qmgrs Q')}")
    check(section(out, "fleet") == ["QM1,QMINST"], f"`kvarn -m QM1,QMI` offers {section(out, 'fleet')}")
    check(section(out, "format") == ["json"], f"`kvarn -o j` offers {section(out, 'format')}")
    check(section(out, "qmsim") == ["start", "stop"], f"`qmsim st` offers {section(out, 'qmsim')}")
    check(section(out, "qmsim stop") == ["QM1", "QMINST"], f"`qmsim stop ` offers {section(out, 'qmsim stop')}")
    check(section(out, "qmsim platform") == ["unix", "windows", "zos"], "`qmsim create --platform` values")

    env = clean_env(home, KVARN_QMSIM_HOME=other, PATH=stubs + ":/usr/bin:/bin")
    rc, out, err = run(["bash", "-c", COMPLETE, "bash", script], env, cwd=work)
    check(section(out, "qmgrs") == ["QMO.TEST", "REAL.QM"],
          f"`kvarn -m ` with $KVARN_QMSIM_HOME and dspmq offers {section(out, 'qmgrs')}")
    check(not glob.glob(os.path.join(work, "PWNED*")), "completing ran a command named by a directory")

    # Loaded the way bash-completion loads it: by the command's name, from the
    # installed share directory.
    loader = "/usr/share/bash-completion/bash_completion"
    if not os.path.exists(loader):
        print(f"note: {loader} missing; the on-demand loading is not checked")
        return
    lazy = r'''
source /usr/share/bash-completion/bash_completion
__load_completion kvarn && __load_completion qmsim || exit 3
complete -p kvarn qmsim
'''
    env = clean_env(home, XDG_DATA_DIRS=os.path.join(prefix, "share"), BASH_COMPLETION_USER_DIR=os.path.join(work, "none"))
    rc, out, err = run(["bash", "-c", lazy], env)
    check(rc == 0 and "complete -F _kvarn kvarn" in out and "complete -F _qmsim qmsim" in out,
          f"bash-completion does not load the installed completion: rc {rc}\n{out}{err}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--source", required=True)
    a = ap.parse_args()
    work = tempfile.mkdtemp(prefix="kvarn-install-")
    try:
        prefix = os.path.join(work, "usr")
        p = subprocess.run(["cmake", "--install", a.build, "--prefix", prefix], capture_output=True, text=True)
        if p.returncode != 0:
            print(f"cmake --install failed:\n{p.stdout}{p.stderr}")
            return 1
        check_layout(prefix, a.source)
        if not failures:
            home = check_runs(prefix, work)
            check_manual_pages(prefix, a.source, home)
            check_completion(prefix, work, home)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("\n".join(failures))
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
