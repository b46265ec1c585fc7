"""Shared helpers for the end-to-end tests. Each script runs as

    python3 tests/e2e/test_x.py --exe PATH [--wrapper CMD] [--windows] [unittest args]

with --wrapper a command put before the converter (e.g. "wine") and --windows
for a build whose log and output files end lines with CR LF. run() converts in
a fresh temporary directory; console text is compared with CR removed, files
against file_bytes(text), which gives the line ends of the build under test."""

from __future__ import annotations

import argparse
import os
import shlex
import subprocess
import sys
import tempfile
import unittest
from dataclasses import dataclass, field

LOG_NAME = "tav_errors.log"
TIMEOUT = 60  # seconds per run of the converter

# Set by parse_args().
EXE = None
CONVERT = None  # the batch command, tav_convert
WRAPPER = []
WINDOWS = False

BANNER = ("###################################\n"
          "#                                 #\n"
          "# WELCOME TO TAV 2005 VERSION 1.0 #\n"
          "#                                 #\n"
          "#                                 #\n"
          "#     Press Enter to continue     #\n"
          "#                                 #\n"
          "###################################\n")
START = BANNER + "\n" * 25 + "Starting conversion...\n"  # stdout up to the first record
DONE = "\nConversion done, press Enter to exit.\n"         # stdout at the end of a run
EOF_QUIT = "\nEOF, quitting\n"                             # stdout at a blank line
LOG_HEADER = "TAV 2005 ERROR LOG\n------------------\n\n"
LOG_NOTE = "...outputting to log file\n\n"


def parse_args(argv=None):
    """Takes --exe, --wrapper and --windows out of argv (default sys.argv)."""
    global EXE, CONVERT, WRAPPER, WINDOWS
    args = sys.argv if argv is None else argv
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--convert", default="")
    parser.add_argument("--wrapper", default="")
    parser.add_argument("--windows", action="store_true")
    known, rest = parser.parse_known_args(args[1:])
    EXE = os.path.abspath(known.exe)
    CONVERT = os.path.abspath(known.convert) if known.convert else None
    WRAPPER = shlex.split(known.wrapper)
    WINDOWS = known.windows
    args[1:] = rest


def main():
    parse_args()
    if WRAPPER:
        # A wrapper such as wine sets itself up on its first start and says
        # so on stderr, which must not land in a test's output.
        with tempfile.TemporaryDirectory(prefix="tav_e2e_") as work:
            subprocess.run(WRAPPER + [EXE], cwd=work, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=TIMEOUT * 5, env=_environment())
    unittest.main()


def _environment():
    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")  # keeps the wrapper's notes off stderr
    return env


@dataclass
class Run:
    """The outcome of one run of the converter."""
    status: int
    stdout: bytes
    stderr: bytes
    log: bytes | None                          # tav_errors.log, None when not written
    files: dict = field(default_factory=dict)  # every other file written: name -> bytes
    tree: dict = field(default_factory=dict)   # everything afterwards, see snapshot()

    @property
    def out(self):
        return console(self.stdout)

    @property
    def err(self):
        return console(self.stderr)


def snapshot(work):
    """Every entry under `work` by relative path: the bytes of a regular
    file, ("link", target) for a symbolic link, "dir" or "other"."""
    tree = {}
    for parent, dirs, names in os.walk(work):
        for name in dirs + names:
            path = os.path.join(parent, name)
            key = os.path.relpath(path, work)
            if os.path.islink(path):
                tree[key] = ("link", os.readlink(path))
            elif os.path.isdir(path):
                tree[key] = "dir"
            elif os.path.isfile(path):
                with open(path, "rb") as f:
                    tree[key] = f.read()
            else:
                tree[key] = "other"
    return tree


def run(argv, stdin=b"\n\n", files=None, dirs=(), setup=None, timeout=TIMEOUT, preexec=None,
        exe=None):
    """Runs the converter (or `exe`) with `argv` in a fresh directory holding `files`
    (name -> bytes) and `dirs`, after setup(path) if given; preexec() runs in
    the child just before the converter starts. Stdin defaults to Enter for
    both waits. Run.files and Run.log hold the regular files of the working
    directory that the run made or changed."""
    if EXE is None:
        raise RuntimeError("e2e_lib.parse_args() has not been called")
    with tempfile.TemporaryDirectory(prefix="tav_e2e_") as work:
        for name in dirs:
            os.makedirs(os.path.join(work, name), exist_ok=True)
        for name, data in (files or {}).items():
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)
        if setup is not None:
            setup(work)
        before = snapshot(work)
        proc = subprocess.run(WRAPPER + [exe or EXE] + list(argv), cwd=work, input=stdin,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=timeout, env=_environment(), preexec_fn=preexec)
        tree = snapshot(work)
        made = {name: data for name, data in tree.items()
                if os.sep not in name and isinstance(data, bytes) and before.get(name) != data}
        log = made.pop(LOG_NAME, None)
        return Run(proc.returncode, proc.stdout, proc.stderr, log, made, tree)


def console(data):
    """Console bytes as text with CR removed (bytes kept one to one)."""
    return data.replace(b"\r", b"").decode("latin-1")


def file_bytes(text):
    """Expected file content with the line ends of the build under test."""
    data = text.encode("latin-1") if isinstance(text, str) else text
    return data.replace(b"\n", b"\r\n") if WINDOWS else data


def log_bytes(*entries):
    """Expected log file: the header followed by the entries."""
    return file_bytes(LOG_HEADER + "".join(entries))


def record(ident, number, clef, time1, time2, music, end="\n"):
    """One record line as bytes: the six fields joined by TABs."""
    return ("\t".join([ident, number, clef, time1, time2, music]) + end).encode("latin-1")


def shown(text):
    """A message part with its control bytes written as \\xHH."""
    return "".join("\\x%02X" % ord(c) if ord(c) < 32 or ord(c) == 127 else c for c in text)


def _entry(kind, incipit_id, incipit_nb, text):
    entry = "\n%s,\n incipit: %d-%s, %s\n" % (kind, incipit_id, shown(incipit_nb), shown(text))
    return entry + LOG_NOTE, entry


def warning(incipit_id, incipit_nb, text):
    """(stderr text, log text) of a record warning."""
    return _entry("WARNING", incipit_id, incipit_nb, text)


def record_error(incipit_id, incipit_nb, reason):
    """(stderr text, log text) of a record error."""
    return _entry("ERROR", incipit_id, incipit_nb, reason)
