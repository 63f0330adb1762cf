#!/usr/bin/env python3
"""Plants realistic one-line faults, one at a time, in a copy of the
checkout, rebuilds and runs the suite, and counts the faults it catches.

The faults are listed in scripts/mutants.list:

    = name: what the fault is
    @ path/of/the/file.cpp
    - text that must occur exactly once in the file
    + what it becomes

"\\n" in a text stands for a line break. A fault whose text no longer
occurs exactly once is "stale": the list must follow the code.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)


class Fault:
    def __init__(self, name, what, line):
        self.name, self.what, self.line = name, what, line
        self.path = None
        self.old = None
        self.new = None


def parse(list_path):
    faults = []
    with open(list_path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            tag, text = line[:2], line[2:]
            if tag == "= ":
                name, _, what = text.partition(":")
                faults.append(Fault(name.strip(), what.strip(), number))
                continue
            if not faults or tag not in ("@ ", "- ", "+ "):
                sys.exit(f"{list_path}:{number}: expected '= name: what', '@ file', '- old' or '+ new'")
            fault = faults[-1]
            text = text.replace("\\n", "\n")
            if tag == "@ ":
                fault.path = text
            elif tag == "- ":
                fault.old = text
            else:
                fault.new = text
    for fault in faults:
        if fault.path is None or fault.old is None or fault.new is None:
            sys.exit(f"{list_path}:{fault.line}: fault '{fault.name}' needs '@', '-' and '+' lines")
    names = [f.name for f in faults]
    if len(set(names)) != len(names):
        sys.exit(f"{list_path}: fault names must be unique")
    return faults


def occurrences(root, fault):
    path = os.path.join(root, fault.path)
    if not os.path.isfile(path):
        return 0
    with open(path, encoding="utf-8") as f:
        return f.read().count(fault.old)


def run(cmd, cwd, log, timeout=None):
    with open(log, "a", encoding="utf-8") as out:
        out.write(f"\n$ {' '.join(cmd)}\n")
        out.flush()
        try:
            return subprocess.run(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            out.write("timed out\n")
            return -1


def copy_checkout(scratch):
    files = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                           cwd=TOP, check=True, capture_output=True).stdout.split(b"\0")
    src = os.path.join(scratch, "src")
    if os.path.isdir(src):
        shutil.rmtree(src)
    for name in files:
        if not name:
            continue
        rel = name.decode()
        origin = os.path.join(TOP, rel)
        if not os.path.isfile(origin):
            continue
        target = os.path.join(src, rel)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        # Fresh times: a file planted last time must not look built already.
        shutil.copy(origin, target)
    return src


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--list", default=os.path.join(HERE, "mutants.list"))
    parser.add_argument("--only", help="comma-separated fault names")
    parser.add_argument("--check", action="store_true",
                        help="only check that every fault still applies (no build)")
    parser.add_argument("--dir", default=os.environ.get("VOK_MUTANTS_DIR", "/tmp/vok-mutants"),
                        help="scratch folder (the copy, its build and the log)")
    parser.add_argument("--timeout", type=int, default=600, help="seconds per test run")
    args = parser.parse_args()

    faults = parse(args.list)
    if args.only:
        wanted = set(args.only.split(","))
        unknown = wanted - {f.name for f in faults}
        if unknown:
            sys.exit(f"unknown faults: {', '.join(sorted(unknown))}")
        faults = [f for f in faults if f.name in wanted]

    stale = [f for f in faults if occurrences(TOP, f) != 1]
    for f in stale:
        print(f"stale: {f.name} ({f.path}: the text occurs {occurrences(TOP, f)} times, not once)")
    if args.check:
        print(f"mutants: {len(faults)} listed, {len(stale)} stale")
        return 1 if stale else 0

    os.makedirs(args.dir, exist_ok=True)
    log = os.path.join(args.dir, "mutants.log")
    open(log, "w").close()
    src = copy_checkout(args.dir)
    build = os.path.join(args.dir, "build")
    configure = ["cmake", "-S", src, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                 "-DVOK_BENCH=OFF"]
    if shutil.which("ccache"):
        configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
    test = ["ctest", "--test-dir", build, "--stop-on-failure", "-j2"]
    if run(configure, src, log) != 0 or run(["cmake", "--build", build], src, log) != 0:
        sys.exit(f"the unchanged copy does not build (see {log})")
    if run(test, src, log, args.timeout) != 0:
        sys.exit(f"the suite fails on the unchanged copy (see {log})")

    killed, survived, unbuilt = [], [], []
    for fault in faults:
        if fault in stale:
            continue
        path = os.path.join(src, fault.path)
        with open(path, encoding="utf-8") as f:
            original = f.read()
        with open(path, "w", encoding="utf-8") as f:
            f.write(original.replace(fault.old, fault.new, 1))
        start = time.monotonic()
        try:
            if run(["cmake", "--build", build], src, log) != 0:
                unbuilt.append(fault)
                verdict = "did not build"
            elif run(test, src, log, args.timeout) != 0:
                killed.append(fault)
                verdict = "killed"
            else:
                survived.append(fault)
                verdict = "SURVIVED"
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
        print(f"{verdict:>13}  {fault.name}  ({time.monotonic() - start:.0f} s)  {fault.what}", flush=True)

    built = len(killed) + len(survived)
    print(f"mutants: {len(killed)} of {built} killed ({len(survived)} survived, "
          f"{len(unbuilt)} did not build, {len(stale)} stale, {len(faults)} listed)")
    for fault in survived:
        print(f"  survived: {fault.name} — {fault.what}")
    return 0 if not stale and not unbuilt else 1


if __name__ == "__main__":
    sys.exit(main())
