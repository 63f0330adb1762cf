#!/usr/bin/env python3
"""Writes an lcov tracefile of the sources under a prefix from gcov's JSON.

    coverage_tracefile.py SOURCE_PREFIX OUTPUT.info FILE.gcda...

Why not lcov's own capture: the lcov of this distribution leaves the
exception branches in its tracefile whatever it is told, and those are not
the program's decisions (see scripts/coverage.sh). gcov marks each of them
("throw": the edge a call takes when it throws), so they are dropped here.

What is counted, per source file under SOURCE_PREFIX:
- lines: every line gcov reports as code, executed when its count is not 0;
- branches: every outcome of every conditional jump gcov reports, except the
  exception edges; a template's branches are counted once per instantiation
  (gcov lists them under the same line);
- functions: every function (each template instantiation on its own).
The counts of several objects compiled from the same source are added (the
structure of each line must then agree, or the script stops). Lines marked
LCOV_EXCL_LINE, or between LCOV_EXCL_START and LCOV_EXCL_STOP, are not
counted; on lines marked LCOV_EXCL_BR_LINE, or between LCOV_EXCL_BR_START
and LCOV_EXCL_BR_STOP, only the branches are not counted.
"""
import json
import os
import subprocess
import sys


def exclusions(path):
    """Sets of line numbers whose lines, and whose branches, are not counted."""
    lines, branches = set(), set()
    in_lines = in_branches = False
    with open(path, encoding="utf-8", errors="replace") as source:
        for number, text in enumerate(source, start=1):
            if "LCOV_EXCL_START" in text:
                in_lines = True
            if "LCOV_EXCL_BR_START" in text:
                in_branches = True
            if in_lines or "LCOV_EXCL_LINE" in text:
                lines.add(number)
            if in_branches or "LCOV_EXCL_BR_LINE" in text:
                branches.add(number)
            if "LCOV_EXCL_STOP" in text:
                in_lines = False
            if "LCOV_EXCL_BR_STOP" in text:
                in_branches = False
    return lines, branches


def gcov_json(gcda):
    """gcov's report of one object, as a list of JSON documents."""
    gcda = os.path.abspath(gcda)
    out = subprocess.run(["gcov", "--json-format", "--stdout", "--branch-probabilities", gcda],
                         check=True, capture_output=True, text=True,
                         cwd=os.path.dirname(gcda)).stdout
    return [json.loads(doc) for doc in out.splitlines() if doc.strip()]


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    prefix, output, gcdas = os.path.realpath(argv[1]), argv[2], argv[3:]
    files = {}  # path -> {"lines": {n: count}, "branches": {n: [counts]}, "functions": {...}}
    for gcda in gcdas:
        for doc in gcov_json(gcda):
            for record in doc["files"]:
                path = os.path.realpath(os.path.join(doc.get("current_working_directory", ""),
                                                     record["file"]))
                if not path.startswith(prefix + os.sep):
                    continue
                entry = files.setdefault(path, {"lines": {}, "branches": {}, "functions": {}})
                for fn in record["functions"]:
                    f = entry["functions"].setdefault(fn["name"], [fn["start_line"], 0])
                    f[1] += fn["execution_count"]
                for line in record["lines"]:
                    n = line["line_number"]
                    entry["lines"][n] = entry["lines"].get(n, 0) + line["count"]
                    counts = [b["count"] for b in line["branches"] if not b["throw"]]
                    if not counts:
                        continue
                    if min(counts) < 0 or line["count"] < 0:
                        # gcov derives some counts from others; a negative
                        # one means the counters disagree (counted without
                        # atomic updates on several threads): summing it
                        # would hide a taken branch.
                        sys.exit(f"{path}:{n}: gcov reports a negative count in {gcda}")
                    known = entry["branches"].get(n)
                    if known is None:
                        entry["branches"][n] = counts
                    elif len(known) != len(counts):
                        sys.exit(f"{path}:{n}: the objects disagree on the branches of this line")
                    else:
                        entry["branches"][n] = [a + b for a, b in zip(known, counts)]

    with open(output, "w", encoding="utf-8") as out:
        out.write("TN:\n")
        for path in sorted(files):
            entry = files[path]
            no_lines, no_branches = exclusions(path)
            out.write(f"SF:{path}\n")
            functions = sorted((v[0], name, v[1]) for name, v in entry["functions"].items()
                               if v[0] not in no_lines)
            for start, name, _ in functions:
                out.write(f"FN:{start},{name}\n")
            for _, name, count in functions:
                out.write(f"FNDA:{count},{name}\n")
            out.write(f"FNF:{len(functions)}\nFNH:{sum(1 for f in functions if f[2])}\n")
            found = hit = 0
            for n in sorted(entry["branches"]):
                if n in no_lines or n in no_branches:
                    continue
                reached = entry["lines"].get(n, 0) > 0
                for i, count in enumerate(entry["branches"][n]):
                    out.write(f"BRDA:{n},0,{i},{count if reached else '-'}\n")
                    found += 1
                    hit += count > 0
            out.write(f"BRF:{found}\nBRH:{hit}\n")
            lines = [(n, c) for n, c in sorted(entry["lines"].items()) if n not in no_lines]
            for n, count in lines:
                out.write(f"DA:{n},{count}\n")
            out.write(f"LF:{len(lines)}\nLH:{sum(1 for _, c in lines if c)}\n")
            out.write("end_of_record\n")


if __name__ == "__main__":
    main(sys.argv)
