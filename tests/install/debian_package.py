#!/usr/bin/env python3
"""Builds the Debian package of the build tree with cpack and checks it as dpkg sees it.

- the package is named, versioned and sectioned, and declares its dependencies: the
  shared libraries the programs link, each a package this system has;
- it holds the installed tree under /usr (programs, the private lib/kvarn, manual
  pages, examples, completion, copyright);
- dpkg installs it into a temporary root, where the installed kvarn runs against
  qmsim with no environment but PATH and HOME, and removes it again without a trace;
- lintian finds no error (its warnings are shown).

The contents listing and the control fields are printed, for the record.
"""
import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


def run(cmd, env=None, stdin="", timeout=300):
    p = subprocess.run(cmd, input=stdin.encode(), capture_output=True, env=env, timeout=timeout)
    return p.returncode, p.stdout.decode(errors="replace"), p.stderr.decode(errors="replace")


def clean_env(home, path="/usr/bin:/bin"):
    env = {"PATH": path, "HOME": home}
    for k in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
        if k in os.environ:
            env[k] = os.environ[k]
    return env


def dependency_packages(depends):
    """The package names of a Depends field (alternatives included)."""
    names = []
    for clause in depends.split(","):
        for alternative in clause.split("|"):
            name = alternative.strip().split(" ", 1)[0].split(":", 1)[0]
            if name:
                names.append(name)
    return names


def installed_on_this_system(name):
    p = subprocess.run(["dpkg-query", "-W", "-f=${Status}", name], capture_output=True, text=True)
    return p.returncode == 0 and "install ok installed" in p.stdout


def check_control(deb):
    rc, info, err = run(["dpkg-deb", "-I", deb])
    print(info)
    fields = {}
    for name in ("Package", "Version", "Architecture", "Section", "Maintainer", "Depends", "Description"):
        rc, value, err = run(["dpkg-deb", "-f", deb, name])
        fields[name] = value.strip()
    check(fields["Package"] == "kvarn", f"Package is {fields['Package']!r}")
    check(fields["Architecture"] != "", "no Architecture")
    check(fields["Section"] == "admin", f"Section is {fields['Section']!r}")
    check(fields["Version"] != "", "no Version")
    deps = dependency_packages(fields["Depends"])
    for needed in ("libc6", "libstdc++6"):
        check(needed in deps, f"Depends lacks {needed}: {fields['Depends']!r}")
    check(any(d.startswith("libncurses") for d in deps), f"Depends lacks ncurses: {fields['Depends']!r}")
    for d in deps:
        check(installed_on_this_system(d), f"the dependency {d} is not a package installed here")
    if "libasan8" in deps or any(d.startswith("libasan") for d in deps):
        print("note: packaged from a sanitizer build, so it also depends on the sanitizer run-time libraries")
    return deps


def check_contents(deb):
    rc, listing, err = run(["dpkg-deb", "-c", deb])
    print(listing)
    paths = {line.split()[-1] for line in listing.splitlines() if line}
    for path in ("./usr/bin/kvarn", "./usr/bin/qmsim", "./usr/lib/kvarn/libmqm_r.so", "./usr/lib/kvarn/libmqic_r.so",
                 "./usr/share/man/man1/kvarn.1.gz", "./usr/share/man/man1/qmsim.1.gz",
                 "./usr/share/doc/kvarn/copyright", "./usr/share/doc/kvarn/changelog.gz",
                 "./usr/share/doc/kvarn/examples/day_one.mqsc", "./usr/share/bash-completion/completions/kvarn",
                 "./usr/share/bash-completion/completions/qmsim"):
        check(path in paths, f"the package lacks {path}")
    check(not [p for p in paths if not p.startswith("./usr/")], "the package installs outside /usr")


def check_dpkg_install(deb, work):
    root = os.path.join(work, "root")
    admin = os.path.join(root, "var", "lib", "dpkg")
    for d in ("info", "updates", "triggers"):
        os.makedirs(os.path.join(admin, d))
    open(os.path.join(admin, "status"), "w").close()
    # The temporary root's database knows none of the dependencies (checked above against
    # this system's); maintainer scripts run outside it, where ldconfig has nothing to
    # do for a library kept out of the loader's path: a stand-in answers for it.
    stubs = os.path.join(work, "stubs")
    os.makedirs(stubs)
    for tool in ("ldconfig",):
        with open(os.path.join(stubs, tool), "w") as f:
            f.write("#!/bin/sh\nexit 0\n")
        os.chmod(os.path.join(stubs, tool), 0o755)
    env = dict(os.environ, PATH=stubs + ":" + os.environ.get("PATH", "/usr/bin:/bin") + ":/usr/sbin:/sbin")
    # --path-include: a minimal system's dpkg configuration may leave manual pages and
    # documents out; here every file of the package is to be seen.
    dpkg = ["dpkg", "--force-not-root", "--force-script-chrootless", "--force-depends", "--root=" + root,
            "--log=" + os.path.join(work, "dpkg.log"), "--path-include=/*"]
    rc, out, err = run(dpkg + ["-i", deb], env)
    if not check(rc == 0, f"dpkg -i failed ({rc}):\n{out}{err}"):
        return
    kvarn = os.path.join(root, "usr", "bin", "kvarn")
    home = os.path.join(work, "home")
    os.makedirs(home)
    rc, out, err = run([kvarn, "--version"], clean_env(home))
    lib = os.path.join(root, "usr", "lib", "kvarn")
    check(f"Server bindings: the simulated queue manager (qmsim), {lib}/libmqm_r.so" in out.split("\n"),
          f"the packaged kvarn does not find its libraries:\n{out}{err}")
    rc, out, err = run([kvarn, "-f"], clean_env(home), "DEFINE QLOCAL(PACKAGED.Q)\nDISPLAY QLOCAL(PACKAGED.Q)\n")
    check(rc == 0 and "Connected to 'QM1' (simulated queue manager)" in out.split("\n"),
          f"the packaged kvarn -f exited {rc}:\n{out}{err}")
    rc, out, err = run(["man", "-l", os.path.join(root, "usr", "share", "man", "man1", "kvarn.1.gz")],
                       dict(clean_env(home), MANWIDTH="80"))
    check(rc == 0 and out.startswith("KVARN(1)"), f"the packaged manual page does not render: {err}")
    rc, out, err = run(dpkg + ["-L", "kvarn"], env)
    check(rc == 0 and "/usr/lib/kvarn/libmqm_r.so" in out.split("\n"), f"dpkg -L kvarn:\n{out}{err}")
    rc, out, err = run(dpkg + ["-r", "kvarn"], env)
    check(rc == 0, f"dpkg -r failed ({rc}):\n{out}{err}")
    left = [os.path.relpath(p, root) for p in glob.glob(os.path.join(root, "usr", "**"), recursive=True)
            if os.path.isfile(p)]
    check(not left, f"files left after dpkg -r: {left}")


def check_lintian(deb):
    if shutil.which("lintian") is None:
        print("note: lintian is not installed; the package is not linted")
        return
    rc, out, err = run(["lintian", "--no-tag-display-limit", deb], timeout=600)
    print("lintian:\n" + (out or "(nothing)"))
    errors = [l for l in out.splitlines() if l.startswith("E:")]
    check(not errors, "lintian errors:\n" + "\n".join(errors))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    a = ap.parse_args()
    work = tempfile.mkdtemp(prefix="kvarn-deb-")
    try:
        out_dir = os.path.join(work, "package")
        rc, out, err = run(["cpack", "-G", "DEB", "--config", os.path.join(a.build, "CPackConfig.cmake"), "-B", out_dir],
                           timeout=900)
        debs = glob.glob(os.path.join(out_dir, "*.deb"))
        if rc != 0 or len(debs) != 1:
            print(f"cpack failed ({rc}):\n{out}{err}")
            return 1
        deb = debs[0]
        print("package: " + os.path.basename(deb))
        check_control(deb)
        check_contents(deb)
        check_dpkg_install(deb, work)
        check_lintian(deb)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("\n".join(failures))
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
