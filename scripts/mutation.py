#!/usr/bin/env python3
"""Plants one-line faults in the sources, one at a time, and runs the test
suite on each: a fault the suite fails on is caught.

    python3 scripts/mutation.py [--only ID,...] [--record FILE] [--check FILE]

Mutants are listed in tests/data/mutation/mutants.tsv, one a line:
    ID <TAB> FILE <TAB> ORIGINAL TEXT <TAB> REPLACEMENT
The original text must occur exactly once in FILE; when it does not (the
source moved on), the mutant is "not applicable", not a failure. To add a
mutant, add a line. Builds without link-time optimisation in build/mutation
and stops ctest at the first failing test. The source file is restored after
every mutant, also on an interrupt. --exclude REGEX leaves tests out (ctest
-E). --record writes "ID <TAB> result" lines;
--check FILE exits 1 when a mutant caught in FILE is now not caught."""

import argparse
import os
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TABLE = os.path.join(ROOT, "tests", "data", "mutation", "mutants.tsv")
BUILD = os.path.join(ROOT, "build", "mutation")


def read_table(path):
    mutants = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line and not line.startswith("#"):
                ident, name, original, replacement = line.split("\t")
                mutants.append((ident, name, original, replacement))
    return mutants


def read_results(path):
    with open(path, encoding="utf-8") as f:
        return dict(line.rstrip("\n").split("\t")[:2] for line in f
                    if "\t" in line and not line.startswith("#"))


def run(cmd, timeout):
    try:
        return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return -1


def configure():
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release",
                    "-DCMAKE_CXX_FLAGS_RELEASE=-O1", "-DTAV_BUILD_TESTS=ON"],
                   check=True, stdout=subprocess.DEVNULL)


def build_and_test(exclude=""):
    if run(["cmake", "--build", BUILD, "-j2"], 1800) != 0:
        return "build fails"
    status = run(["ctest", "--test-dir", BUILD, "-j2", "--stop-on-failure", "--timeout", "300"]
                 + (["-E", exclude] if exclude else []), 3600)
    return "not caught" if status == 0 else "caught"


def try_mutant(name, original, replacement, exclude):
    path = os.path.join(ROOT, name)
    if not os.path.isfile(path):
        return "not applicable"
    with open(path, encoding="utf-8", newline="") as f:
        source = f.read()
    if source.count(original) != 1:
        return "not applicable"
    try:
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(source.replace(original, replacement))
        return build_and_test(exclude)
    finally:
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(source)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--only", default="")
    parser.add_argument("--record")
    parser.add_argument("--check")
    parser.add_argument("--exclude", default="", help="ctest -E: tests left out")
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))  # restores via finally

    mutants = read_table(TABLE)
    if args.only:
        wanted = set(args.only.split(","))
        mutants = [m for m in mutants if m[0] in wanted]
    configure()
    for name in {m[1] for m in read_table(TABLE)}:
        if os.path.isfile(os.path.join(ROOT, name)):  # no object left from an interrupted run
            os.utime(os.path.join(ROOT, name))
    if build_and_test(args.exclude) != "not caught":
        sys.exit("the suite does not pass without mutants")

    results = {}
    for ident, name, original, replacement in mutants:
        start = time.time()
        results[ident] = try_mutant(name, original, replacement, args.exclude)
        print("%-6s %-15s %4.0fs  %s" % (ident, results[ident], time.time() - start, name),
              flush=True)
    run(["cmake", "--build", BUILD, "-j2"], 1800)  # back to the real sources

    counts = {}
    for result in results.values():
        counts[result] = counts.get(result, 0) + 1
    print(", ".join("%d %s" % (n, r) for r, n in sorted(counts.items())))
    if args.record:
        with open(args.record, "w", encoding="utf-8") as f:
            f.writelines("%s\t%s\n" % item for item in results.items())
    if args.check:
        lost = [i for i, r in read_results(args.check).items()
                if r == "caught" and results.get(i) == "not caught"]
        if lost:
            sys.exit("caught before, not caught now: " + " ".join(lost))


if __name__ == "__main__":
    main()
