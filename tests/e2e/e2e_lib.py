"""Shared helpers for the end-to-end tests. Each script runs as

    python3 tests/e2e/test_x.py --exe PATH [--convert PATH] [--wrapper CMD] [--windows]

with --wrapper a command put before the converter (e.g. "wine") and --windows
for a build whose files end lines with CR LF; --convert names the batch
command. run() converts in a fresh
temporary directory. A script whose tests all skip exits with 77, which ctest
shows as skipped; require() skips a test whose tools are missing, and fails
it where CI is set, since CI has every tool."""

import argparse
import collections
import os
import re
import shlex
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
LOG_NAME = "tav_errors.log"
TIMEOUT = 600  # seconds per run of the converter
EXE, CONVERT, WRAPPER, WINDOWS = None, None, [], False  # set by main()


PITCH_LETTERS = ["C", "xC", "D", "xD", "E", "F", "xF", "G", "xG", "A", "xA", "B"]


def code_of(midi_keys):
    """Quarter notes at these MIDI keys in the code, each with its octave and
    its accidental written out: a query for the search (tests and bench)."""
    notes = []
    for key in midi_keys:
        octave = key // 12 - 1
        mark = "'" * (octave - 3) if octave >= 4 else "," * (4 - octave)
        letter = PITCH_LETTERS[key % 12]
        notes.append(mark + (letter if letter.startswith("x") else "n" + letter))
    return "4" + "".join(notes)


def parse_args(argv):
    """Sets the globals from the options in argv; returns the other arguments."""
    global EXE, CONVERT, WRAPPER, WINDOWS
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--convert", default="")
    parser.add_argument("--wrapper", default="")
    parser.add_argument("--windows", action="store_true")
    known, rest = parser.parse_known_args(argv)
    EXE, WRAPPER, WINDOWS = os.path.abspath(known.exe), shlex.split(known.wrapper), known.windows
    CONVERT = os.path.abspath(known.convert) if known.convert else None
    return rest


def main():
    rest = parse_args(sys.argv[1:])
    if WRAPPER:  # a wrapper such as wine sets itself up on its first start
        run([], stdin=b"")
    result = unittest.main(argv=sys.argv[:1] + rest, exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    skipped = {getattr(test, "test_case", test).id() for test, _ in result.skipped}
    sys.exit(77 if result.testsRun and len(skipped) == result.testsRun else 0)


def require(condition, message):
    """Skips the calling test without a tool it needs; fails it under CI."""
    if not condition:
        raise (AssertionError if os.environ.get("CI") else unittest.SkipTest)(message)


# log: tav_errors.log, None when not made or changed; files: every other file
# made or changed; after: what run(after=...) found afterwards.
class Run(collections.namedtuple("Run", "status stdout stderr log files after")):
    out = property(lambda self: console(self.stdout))  # console texts, CR removed
    err = property(lambda self: console(self.stderr))


def run(argv, stdin=b"\n\n", files=None, setup=None, preexec=None, after=None,
        timeout=TIMEOUT, exe=None):
    """Runs the converter (or `exe`) with `argv` in a fresh directory holding `files`
    (name -> bytes, dated a day back; folders made as needed), then
    setup(path) if given; preexec() runs in the child just before the
    converter starts, and Run.after is after(path) once the run is over.
    Run.files holds the files the run made or changed."""
    with tempfile.TemporaryDirectory(prefix="tav_e2e_") as work:
        for name, data in (files or {}).items():
            os.makedirs(os.path.dirname(os.path.join(work, name)), exist_ok=True)
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)
            day_ago = time.time() - 86400  # no file given counts as written in the run
            os.utime(os.path.join(work, name), (day_ago, day_ago))
        if setup is not None:
            setup(work)
        before = snapshot(work)
        proc = subprocess.run(WRAPPER + [exe or EXE] + list(argv), cwd=work, input=stdin,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout,
                              env=dict(os.environ, WINEDEBUG="-all"), preexec_fn=preexec)
        made = {n: d for n, d in snapshot(work).items() if n not in before or before[n] != d}
        return Run(proc.returncode, proc.stdout, proc.stderr, made.pop(LOG_NAME, None), made,
                   after(work) if after else None)


def snapshot(work):
    """name -> bytes of each readable regular file; None for anything else."""
    paths = {n: os.path.join(work, n) for n in os.listdir(work)}
    return {n: read(p) if os.path.isfile(p) and os.access(p, os.R_OK) else None
            for n, p in sorted(paths.items())}


def read(relative):
    with open(os.path.join(ROOT, relative), "rb") as f:
        return f.read()


def tree(work):
    """relative path -> bytes of every regular file at any depth; a link's
    target as text."""
    found = {}
    for parent, dirs, names in os.walk(work):
        for name in dirs + names:
            path = os.path.join(parent, name)
            if os.path.islink(path):
                found[os.path.relpath(path, work)] = os.readlink(path)
            elif os.path.isfile(path):
                with open(path, "rb") as f:
                    found[os.path.relpath(path, work).replace(os.sep, "/")] = f.read()
    return found


def console(data):
    """Console bytes as text with CR removed."""
    return data.replace(b"\r", b"").decode("latin-1")


def file_bytes(data):
    """Expected file bytes with the line ends of the build under test."""
    return data.replace(b"\n", b"\r\n") if WINDOWS else data


def record(*fields, end="\n"):
    """One record line as bytes: the fields joined by TABs."""
    return ("\t".join(fields) + end).encode("latin-1")


HOSTILE_RECORD = ('<record><controlfield tag="001">%s</controlfield><datafield tag="031">'
                  '<subfield code="a">1</subfield><subfield code="b">1</subfield>'
                  '<subfield code="c">1</subfield><subfield code="p">%s</subfield></datafield>')


def unescape_table_text(text):
    """A case table's text as bytes: \\n, \\r, \\t and \\xHH read as the bytes
    they stand for, any other escaped character as itself."""
    return re.sub(rb"\\(x..|.)", lambda m: bytes([int(m.group(1)[1:], 16)])
                  if m.group(1)[:1] == b"x" else {b"n": b"\n", b"r": b"\r", b"t": b"\t"}
                  .get(m.group(1), m.group(1)), text.encode())


def hostile_cases():
    """tests/data/marcxml/hostile.txt (its head tells its format), as dicts."""
    def unescape(text):
        return unescape_table_text(
            re.sub(r"\{([^|}]*)\|([^}]*)\}", lambda m: HOSTILE_RECORD % m.groups(), text))
    cases = []
    with open(os.path.join(ROOT, "tests", "data", "marcxml", "hostile.txt"), encoding="utf-8") as f:
        for line in f.read().splitlines():
            word, _, rest = line.partition(" ")
            if not line or line.startswith("#"):
                continue
            if word == "==":
                cases.append({"name": rest, "for": "cpp python page", "encoding": "",
                              "input": [], "incipits": [], "messages": []})
            elif word in ("for", "encoding"):
                cases[-1][word] = rest
            elif word == "in":
                cases[-1]["input"].append(unescape(rest))
            elif word == "incipit":
                cases[-1]["incipits"].append(unescape(rest).decode("utf-8", "surrogateescape"))
            else:
                cases[-1]["messages"].append((word, rest.split(" ")[0]))
    for case in cases:
        case["input"] = b"\n".join(case["input"])
        if case["encoding"]:
            case["input"] = case["input"].decode("utf-8").encode(case["encoding"].replace("-", "_"))
            case["input"] = (b"\xff\xfe" if case["encoding"].endswith("le") else b"\xfe\xff") + case["input"]
        case["messages"].sort()
    return cases


def reader_cases():
    """tests/data/readers/cases.txt (its head tells its format), as dicts:
    the input's bytes and what it gives, as (word, value) pairs in order (the
    value of "tab" the record line's bytes)."""
    cases = []
    with open(os.path.join(ROOT, "tests", "data", "readers", "cases.txt"), encoding="utf-8") as f:
        for line in f.read().splitlines():
            word, _, rest = line.partition(" ")
            if not line or line.startswith("#"):
                continue
            if word == "==":
                cases.append({"name": rest, "input": [], "expected": []})
            elif word == "form":
                cases[-1]["form"] = cases[-1]["start"] = rest
            elif word == "start":
                cases[-1]["start"] = rest
            elif word == "in":
                cases[-1]["input"].append(unescape_table_text(rest))
            else:
                cases[-1]["expected"].append((word, unescape_table_text(rest) if word == "tab" else rest))
    for case in cases:
        case["input"] = b"\n".join(case["input"])
    return cases
