#!/usr/bin/env python3
"""Mutation check of the test suite: does each plausible one-line fault fail it?

Every fault listed in tools/mutations.txt is applied, one at a time, to a scratch
clone of the repository; the clone is rebuilt incrementally and the test binary
run. A fault that leaves every test passing is reported as "passed": the suite
does not notice it. This is a tool for developers, not part of CI.

    tools/mutate.py                    every fault, against HEAD
    tools/mutate.py --rev main         against another revision
    tools/mutate.py -k ade -k dike     only faults whose name holds a word
    tools/mutate.py --list             list the faults and check they still apply

Fault list format: blocks of three lines, blank lines and '#' comments between.

    [short-name] path/to/file.cpp [gtest filter]
    - original text, exactly once in the file
    + faulty text

The filter, when given, names the tests that should catch the fault; they run
first, and only when they all pass does the whole suite run, so a fault counts
as passed only when the whole suite misses it. Lines keep their leading
spaces after "- " and "+ " as written, but the match ignores leading blanks.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path


@dataclass
class Fault:
    name: str
    path: str
    filter: str
    original: str
    faulty: str
    line: int  # line of the list that names it


def read_faults(list_file):
    faults = []
    lines = Path(list_file).read_text().splitlines()
    k = 0
    while k < len(lines):
        head = lines[k].strip()
        if not head or head.startswith("#"):
            k += 1
            continue
        if not head.startswith("[") or "]" not in head:
            sys.exit(f"{list_file}:{k + 1}: expected '[name] file [filter]', found: {head}")
        name, rest = head[1:].split("]", 1)
        words = rest.split()
        if not words or k + 2 >= len(lines):
            sys.exit(f"{list_file}:{k + 1}: fault {name} needs a file and two lines")
        original, faulty = lines[k + 1], lines[k + 2]
        if not original.startswith("- ") or not faulty.startswith("+ "):
            sys.exit(f"{list_file}:{k + 2}: fault {name}: lines must start with '- ' and '+ '")
        faults.append(Fault(name, words[0], " ".join(words[1:]), original[2:].strip(),
                            faulty[2:].strip(), k + 1))
        k += 3
    names = [f.name for f in faults]
    twice = {n for n in names if names.count(n) > 1}
    if twice:
        sys.exit(f"{list_file}: fault names used twice: {', '.join(sorted(twice))}")
    return faults


def run(command, cwd, log=None, env=None, timeout=None):
    """Runs a command; True when it succeeds. Output goes to the log file."""
    out = open(log, "a") if log else subprocess.DEVNULL
    try:
        return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                              env=env, timeout=timeout).returncode == 0
    except subprocess.TimeoutExpired:
        return False
    finally:
        if log:
            out.close()


def prepare_scratch(repo, scratch, rev, log):
    scratch = Path(scratch)
    if not (scratch / ".git").exists():
        if scratch.exists():
            shutil.rmtree(scratch)
        if not run(["git", "clone", "-q", "--no-checkout", str(repo), str(scratch)], repo, log):
            sys.exit(f"cannot clone {repo} into {scratch} (see {log})")
    commit = subprocess.run(["git", "rev-parse", rev], cwd=repo, capture_output=True,
                            text=True).stdout.strip()
    if not commit:
        sys.exit(f"unknown revision {rev}")
    if not (run(["git", "fetch", "-q", str(repo), commit], scratch, log) and
            run(["git", "checkout", "-q", "-f", commit], scratch, log) and
            run(["git", "clean", "-q", "-fdx", "-e", "build/"], scratch, log)):
        sys.exit(f"cannot check out {rev} in {scratch} (see {log})")
    return commit


def build(scratch, env, log):
    build_dir = Path(scratch) / "build"
    if not (build_dir / "build.ninja").exists():
        configure = ["cmake", "-S", ".", "-B", "build", "-G", "Ninja",
                     "-DTORVA_BUILD_BENCH=OFF"]
        if shutil.which("ccache"):
            configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        if not run(configure, scratch, log, env):
            return False
    # Only the test binary and the program it runs.
    return run(["cmake", "--build", "build", "--target", "torva_tests"], scratch, log, env)


def tests_pass(scratch, gtest_filter, env, log, timeout):
    command = [str(Path(scratch) / "build" / "torva_tests"), "--gtest_brief=1"]
    if gtest_filter:
        command.append(f"--gtest_filter={gtest_filter}")
    # Tests run in the build folder, as ctest runs them.
    return run(command, Path(scratch) / "build", log, env, timeout)


def main():
    repo_default = Path(__file__).resolve().parent.parent
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--repo", default=str(repo_default), help="repository to clone (default: this one)")
    p.add_argument("--rev", default="HEAD", help="revision to mutate (default HEAD)")
    p.add_argument("--faults", default=None, help="fault list (default tools/mutations.txt)")
    p.add_argument("--scratch", default=None,
                   help="scratch clone, kept between runs (default: next to the repository)")
    p.add_argument("-k", action="append", default=[], help="only faults whose name holds this word")
    p.add_argument("--list", action="store_true", help="list the faults, check they apply, stop")
    p.add_argument("--timeout", type=float, default=300.0, help="seconds allowed to one test run")
    args = p.parse_args()

    repo = Path(args.repo).resolve()
    faults = read_faults(args.faults or repo / "tools" / "mutations.txt")
    if args.k:
        faults = [f for f in faults if any(word in f.name for word in args.k)]
    scratch = Path(args.scratch or repo.parent / (repo.name + "-mutate")).resolve()
    log = str(scratch.parent / (scratch.name + ".log"))
    open(log, "w").close()
    commit = prepare_scratch(repo, scratch, args.rev, log)

    # Faults whose original text is gone or ambiguous are reported, not run.
    runnable = []
    for f in faults:
        source = scratch / f.path
        text = source.read_text() if source.exists() else ""
        count = text.count(f.original)
        if count != 1:
            print(f"stale    {f.name}: {'not found' if count == 0 else f'{count} matches'} in {f.path}")
        else:
            runnable.append(f)
    if args.list:
        for f in runnable:
            print(f"ok       {f.name}: {f.path}")
        return 0

    env = dict(os.environ)
    env.setdefault("OMP_NUM_THREADS", "2")
    # Threads that sleep at barriers instead of spinning: on a loaded machine
    # spinning threads make the suite many times slower.
    env.setdefault("OMP_WAIT_POLICY", "passive")
    # The clone's objects are those of the repository: let ccache see that.
    env.setdefault("CCACHE_BASEDIR", os.path.commonpath([str(repo), str(scratch)]))
    print(f"mutating {commit[:10]} in {scratch} ({len(runnable)} faults; log {log})", flush=True)
    if not build(scratch, env, log) or not tests_pass(scratch, "", env, log, args.timeout):
        sys.exit(f"the unchanged revision does not build or pass its tests (see {log})")

    # A run stopped from outside still puts the faulty line back.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))
    passed, caught, broken = [], [], []
    for f in runnable:
        source = scratch / f.path
        text = source.read_text()
        start = time.time()
        source.write_text(text.replace(f.original, f.faulty, 1))
        try:
            with open(log, "a") as out:
                out.write(f"\n=== {f.name}\n")
            if not build(scratch, env, log):
                verdict = "no build"
                broken.append(f)
            elif f.filter and not tests_pass(scratch, f.filter, env, log, args.timeout):
                verdict = "caught"
                caught.append(f)
            elif not tests_pass(scratch, "", env, log, args.timeout):
                verdict = "caught" if not f.filter else "caught*"
                caught.append(f)
            else:
                verdict = "PASSED"
                passed.append(f)
        finally:
            source.write_text(text)
        print(f"{verdict:8} {f.name} ({time.time() - start:.0f} s)", flush=True)
    build(scratch, env, log)  # leave the clone as its revision

    counted = len(caught) + len(passed)
    print(f"\ncaught {len(caught)} of {counted} faults"
          + (f" ({100.0 * len(caught) / counted:.0f} %)" if counted else "")
          + (f"; {len(broken)} did not build" if broken else ""))
    for f in passed:
        print(f"  passed: {f.name} ({f.path})")
    return 1 if passed else 0


if __name__ == "__main__":
    sys.exit(main())
