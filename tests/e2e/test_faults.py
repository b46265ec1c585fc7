"""File-system and process faults end to end, in one table: names in the
way of the output files and the log (links, special files, directories,
read-only files), the input given as the log or as standard input, closed
descriptors and pipes, a file-size limit, and names written twice. Each
case checks the run's status and console, and what is on disk afterwards."""

import os
import resource
import stat
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_lib as e2e  # noqa: E402

CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data",
                      "corpus_records.txt")
FIRST = e2e.record("123456789", "1", "G-2", "3/4", "", "4C//")
FIRST_AGAIN = e2e.record("123456789", "1", "G-2", "3/4", "", "8DE//")
SECOND = e2e.record("000000002", "2", "G-2", "3/4", "", "4D//")
BIG = e2e.record("123456789", "1", "G-2", "3/4", "", "4" + "CDEFGAB/" * 4 + "/")  # 5.7 KB
BAD = e2e.record("000000004", "4", "G-2", "3/4", "", "4CK//")  # 45 bytes of log
FIRST_XML, SECOND_XML, LOG = "123456789-1.xml", "2-2.xml", e2e.LOG_NAME
AS_ROOT = hasattr(os, "geteuid") and os.geteuid() == 0
VICTIM = "elsewhere/victim"


def posix_host():
    """True when the program under test runs on this POSIX host itself (not
    a Windows build under Wine). Asked at run time: the options are read
    after this module is loaded."""
    return os.name == "posix" and not e2e.WINDOWS


def corpus():
    """The first 100 KB of the corpus in whole lines: more than one block."""
    with open(CORPUS, "rb") as f:
        data = f.read(100000)
    return data[:data.rindex(b"\n") + 1]


# setup(work) steps, applied in order.
def victim(work):
    os.makedirs(os.path.join(work, "elsewhere"), exist_ok=True)
    with open(os.path.join(work, VICTIM), "wb") as f:
        f.write(b"victim")


def symlink(name, target):
    return lambda work: os.symlink(os.path.join(work, target), os.path.join(work, name))


def hard_link(name, target):
    return lambda work: os.link(os.path.join(work, target), os.path.join(work, name))


def fifo(name):
    return lambda work: os.mkfifo(os.path.join(work, name))


def old_file(name, mode=0o644):
    """A file from before the run: modified a day ago."""
    def setup(work):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(b"old")
        os.utime(path, (0, os.path.getmtime(path) - 86400))
        os.chmod(path, mode)
    return setup


def steps(*setups):
    return lambda work: [s(work) for s in setups]


# preexec() steps, run in the converter's process before it starts.
def closed(*fds):
    return lambda: [os.close(fd) for fd in fds]


def readerless_pipe(*fds):
    def preexec():
        read_end, write_end = os.pipe()
        for fd in fds:
            os.dup2(write_end, fd)
        os.close(read_end)
        os.close(write_end)
    return preexec


def size_limit(size):
    return lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))


def messages(*entries):
    """Replacements for err and log: these messages, (ident, number, text,
    e2e.record_error or e2e.warning) each, before the reference run's."""
    made = [kind(ident, number, text) for ident, number, text, kind in entries]
    err, log = "".join(m[0] for m in made), "".join(m[1] for m in made)
    return dict(err=lambda ref: err + ref.err,
                log=lambda ref: e2e.log_bytes(log) + ref.log[len(e2e.log_bytes()):])


def error(reason, kind=e2e.record_error):
    return messages((123456789, "1", reason, kind))


def without(*names):
    return lambda ref: {n: d for n, d in ref.files.items() if n not in names}


POSIX, USER = "posix", "user"  # conditions: a POSIX host; not run as root
CANT_CREATE = "cannot create output file " + FIRST_XML
SHOWN = "\n" + e2e.BANNER + "\n" * 25  # stdout before the log is made
LOG_FULL = "\nCannot write log file tav_errors.log.\n"
TWICE = "output file %s written twice in this run, the earlier file is replaced" % FIRST_XML
INPUT = FIRST + SECOND
ARGS = ["-f", "in.txt"]

# (name, conditions, run() arguments, reference run() arguments, expected).
# The run is compared with the reference run (by default a clean run of
# INPUT): status, out, err, log and files as there, unless `expected`
# replaces them (by a value, or a function of the reference run); "tree"
# lists paths that must hold exactly this afterwards (None: absent).
UNSAFE = ["1/x", "1\\x", "1/../x", "1\\..\\y", "1\x01x"]
NOT_XML = "1\xef\xbf\xbe"  # U+FFFE in UTF-8: no XML document may hold it
CASES = [
    # With the directory "9-1" present, a name such as "9-1/../x.xml" would
    # land in the working directory and show among the files.
    ("numbers that cannot name a file", (),
     dict(files={"in.txt": b"".join(e2e.record("000000009", n, "G-2", "3/4", "", "4C//")
                                    for n in UNSAFE) + SECOND}, dirs=["9-1"]),
     dict(files={"in.txt": SECOND}),
     messages(*[(9, n, "incipit number is not a safe file name", e2e.record_error)
                for n in UNSAFE])),
    ("number that XML cannot carry", (),
     dict(files={"in.txt": e2e.record("123456789", NOT_XML, "G-2", "3/4", "", "4C//") + SECOND}),
     dict(files={"in.txt": SECOND}),
     messages((123456789, NOT_XML, "incipit number holds a character that XML cannot carry",
               e2e.record_error))),
    ("directory in the way", (), dict(dirs=[FIRST_XML]), None,
     dict(files=without(FIRST_XML), tree={FIRST_XML: "dir"}, **error(CANT_CREATE))),
    ("read-only file in the way", (POSIX, USER), dict(setup=old_file(FIRST_XML, 0o400)), None,
     dict(files=without(FIRST_XML), tree={FIRST_XML: b"old"}, **error(CANT_CREATE))),
    ("link to a file elsewhere", (POSIX,), dict(setup=steps(victim, symlink(FIRST_XML, VICTIM))),
     None, dict(tree={VICTIM: b"victim"})),
    ("dangling link", (POSIX,), dict(setup=symlink(FIRST_XML, "elsewhere/new")), None,
     dict(tree={"elsewhere/new": None})),
    ("hard link to a file elsewhere", (POSIX,),
     dict(setup=steps(victim, hard_link(FIRST_XML, VICTIM))), None, dict(tree={VICTIM: b"victim"})),
    ("link to a read-only file", (POSIX,),
     dict(setup=steps(victim, old_file(VICTIM, 0o400), symlink(FIRST_XML, VICTIM))), None,
     dict(tree={VICTIM: b"old"})),
    ("log a link elsewhere", (POSIX,), dict(setup=steps(victim, symlink(LOG, VICTIM))), None,
     dict(tree={VICTIM: b"victim"})),
    ("log a hard link", (POSIX,), dict(setup=steps(victim, hard_link(LOG, VICTIM))), None,
     dict(tree={VICTIM: b"victim"})),
    ("FIFO in the way", (POSIX,), dict(setup=fifo(FIRST_XML), timeout=10), None,
     dict(files=without(FIRST_XML), tree={FIRST_XML: "other"}, **error(CANT_CREATE))),
    ("log a FIFO", (POSIX,), dict(setup=fifo(LOG), timeout=10), None,
     dict(status=1, out=SHOWN, err="\nCannot create log file tav_errors.log.\n", log=None,
          files={})),
    ("log a directory", (), dict(dirs=[LOG]), None,
     dict(status=1, out=SHOWN, err="\nCannot create log file tav_errors.log.\n", log=None,
          files={})),
    ("input is the log", (POSIX,), dict(argv=["-f", LOG], files={LOG: INPUT}), None,
     dict(status=1, out="\n", err="\nInput file cannot be the log file tav_errors.log.\n",
          log=None, files={}, tree={LOG: INPUT})),
    ("input is a directory", (), dict(files={}, dirs=["in.txt"]), None,
     dict(status=1, out="\n", err="\nFile is f00bar.\n", log=None, files={})),
    ("input missing", (), dict(files={}), None,
     dict(status=1, out="\n", err="\nFile is f00bar.\n", log=None, files={})),
    ("input unreadable", (POSIX, USER), dict(setup=lambda w: os.chmod(w + "/in.txt", 0)), None,
     dict(status=1, out="\n", err="\nFile is f00bar.\n", log=None, files={})),
    # The first block of the input is read before the waits: the corpus
    # is longer than a block.
    ("standard input closed", (POSIX,), dict(files={"in.txt": corpus()}, preexec=closed(0)),
     dict(files={"in.txt": corpus()}), {}),
    ("input is standard input", (POSIX,), dict(argv=["-f", "/dev/stdin"], files={},
                                               stdin=corpus()),
     dict(files={"in.txt": corpus()}), {}),
    ("console closed", (POSIX,), dict(files={"in.txt": INPUT + BAD}, preexec=closed(1, 2)),
     dict(files={"in.txt": INPUT + BAD}), dict(out="", err="")),
    ("console to closed pipes", (POSIX,),
     dict(argv=["-vf", "in.txt"], files={"in.txt": INPUT + BAD}, preexec=readerless_pipe(1, 2)),
     dict(argv=["-vf", "in.txt"], files={"in.txt": INPUT + BAD}), dict(out="", err="")),
    ("file-size limit on an output file", (POSIX,),
     dict(files={"in.txt": BIG + SECOND}, preexec=size_limit(4096)), None,
     dict(files=without(FIRST_XML), tree={FIRST_XML: None},
          **error("cannot write output file " + FIRST_XML))),
    ("file-size limit on the log", (POSIX,),
     dict(files={"in.txt": INPUT + BAD * 60}, preexec=size_limit(2048)),
     dict(files={"in.txt": INPUT + BAD * 60}),
     dict(status=1, out=lambda ref: ref.out[:-len(e2e.DONE)], err=lambda ref: ref.err + LOG_FULL,
          log=lambda ref: ref.log[:2048])),
    ("file-size limit on the log, blank line", (POSIX,),
     dict(files={"in.txt": INPUT + BAD * 60 + b"\n"}, preexec=size_limit(2048)),
     dict(files={"in.txt": INPUT + BAD * 60 + b"\n"}),
     dict(status=1, err=lambda ref: ref.err + LOG_FULL, log=lambda ref: ref.log[:2048])),
    ("number written twice", (), dict(files={"in.txt": FIRST + FIRST_AGAIN + SECOND}),
     dict(files={"in.txt": FIRST_AGAIN + SECOND}), error(TWICE, e2e.warning)),
    ("number written twice, option x", (),
     dict(argv=["-xf", "in.txt"], files={"in.txt": FIRST + FIRST_AGAIN + SECOND}),
     dict(argv=["-xf", "in.txt"]), {}),
    ("file from before the run", (), dict(setup=old_file(FIRST_XML)), None, {}),
    ("control bytes in a number", (),
     dict(files={"in.txt": e2e.record("000000005", "1\x1b[2J\x7f", "G-2", "3/4", "", "4C")}),
     dict(files={"in.txt": b""}),
     dict(err="\nERROR,\n incipit: 5-1\\x1B[2J\\x7F, incipit number is not a safe file name\n"
              + e2e.LOG_NOTE,
          log=lambda ref: e2e.log_bytes("\nERROR,\n incipit: 5-1\\x1B[2J\\x7F, incipit number is"
                                        " not a safe file name\n"))),
]


class Faults(unittest.TestCase):
    def test_cases(self):
        references = {}
        for name, conditions, kwargs, reference, expected in CASES:
            with self.subTest(name):
                if (POSIX in conditions and not posix_host()) or (USER in conditions and AS_ROOT):
                    continue
                reference = {"argv": ARGS, "files": {"in.txt": INPUT}, **(reference or {})}
                key = repr(sorted(reference.items()))
                if key not in references:
                    references[key] = e2e.run(reference.pop("argv"), **reference)
                ref = references[key]
                kwargs = dict(kwargs)
                r = e2e.run(kwargs.pop("argv", ARGS), **{"files": {"in.txt": INPUT}, **kwargs})
                for field in ("status", "out", "err", "log", "files"):
                    want = expected.get(field, getattr(ref, field))
                    want = want(ref) if callable(want) else want
                    self.assertEqual(getattr(r, field), want, field)
                for path, want in expected.get("tree", {}).items():
                    self.assertEqual(r.tree.get(path), want, path)


if __name__ == "__main__":
    e2e.main()
