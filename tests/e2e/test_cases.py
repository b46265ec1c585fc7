"""The end-to-end runner: every tests/data/e2e/*.txt is a transcript of runs
of the converter. The lines that start with two blanks are its outcome; the
runner writes them anew and the file must come out unchanged (with
TAV_UPDATE_GOLDEN=1 it rewrites the file: check it with git diff).

    === NAME             a case; the lines below set it up
    run ARG...           the arguments (shell quoting)
    file NAME TEXT       a line of a file made before the run (\\xNN: byte NN);
    file NAME*N TEXT     the same line N times; "part" instead of "file": no line feed
    copy NAME PATH       a file of the repository ("-" for NAME: standard input)
    dir NAME | link NAME TARGET | hardlink NAME TARGET | fifo NAME | stdin TEXT
    old NAME | readonly NAME | unreadable NAME   "old" written a day ago, its mode
    close FD... | deadpipe FD... | fsize BYTES   in the converter's process: the
                         descriptors closed, or a pipe without reader, or a
                         file-size limit
    needs WORD...        posix (not under --windows), windows, user (not root);
                         elsewhere the case keeps its lines
    crlf                 also run with CR LF line ends in the files: same outcome
    show NAME            shows the lines of the file NAME made by the run
    after PATH           shows what is at PATH once the run is over
    list                 lists the files made even past 20; timeout SECONDS

Outcome: status, then stdout, stderr and the log line by line (stdout's
banner shortened, repeated blocks of lines shown once with "^ ... *N"), then
each file made with its size and digest (past 20 files, their number and one
digest), then the paths asked for with "after". On
Windows every file line must end with CR LF; the transcript shows LF."""

import glob
import hashlib
import os
import re
import resource
import shlex
import stat
import time
import unittest

import e2e_lib as e2e

DATA = os.path.join(e2e.ROOT, "tests", "data", "e2e")
START = ("#" * 35 + "\n#" + " " * 33 + "#\n# WELCOME TO TAV 2005 VERSION 1.0 #\n"
         + ("#" + " " * 33 + "#\n") * 2 + "#     Press Enter to continue     #\n#"
         + " " * 33 + "#\n" + "#" * 35 + "\n" + "\n" * 25)


def unescape(text):
    return re.sub(r"\\x([0-9A-Fa-f]{2})", lambda m: chr(int(m.group(1), 16)),
                  text).encode("latin-1")


def lines(prefix, text):
    """The lines of `text`; a block of up to six lines repeated is shown once."""
    ls, out, i = text.split("\n") if text else [], [], 0
    while i < len(ls):
        best_k, best_n = 1, 1
        for k in range(1, 7):
            n = 1
            while ls[i + n * k:i + (n + 1) * k] == ls[i:i + k]:
                n += 1
            if n > 1 and n * k > best_k * best_n:
                best_k, best_n = k, n
        out += ["  %s| %s" % (prefix, line) for line in ls[i:i + best_k]]
        if best_n > 1:
            out.append("  %s^ %d line(s) *%d" % (prefix, best_k, best_n))
        i += best_k * best_n
    return out


def text_of(data, windows_lines=False):
    if windows_lines:
        assert b"\n" not in data.replace(b"\r\n", b""), "a line end without CR"
        data = data.replace(b"\r\n", b"\n")
    return re.sub(r"[^\n\t\x20-\x5b\x5d-\x7e]", lambda m: "\\x%02X" % ord(m.group(0)),
                  data.decode("latin-1"))


def setup_of(steps):
    def setup(work):
        for step, args in steps:
            path = os.path.join(work, args[0])
            if step == "dir":
                os.makedirs(path, exist_ok=True)
            elif step == "link":
                os.symlink(args[1], path)
            elif step == "hardlink":
                os.link(os.path.join(work, args[1]), path)
            elif step == "fifo":
                os.mkfifo(path)
            else:  # old, readonly, unreadable
                with open(path, "wb") as f:
                    f.write(b"old")
                os.utime(path, (time.time() - 86400,) * 2)
                os.chmod(path, {"old": 0o644, "readonly": stat.S_IRUSR, "unreadable": 0}[step])
    return setup


def preexec_of(steps):
    def preexec():
        for step, args in steps:
            if step == "fsize":
                resource.setrlimit(resource.RLIMIT_FSIZE, (int(args[0]),) * 2)
            elif step == "close":
                [os.close(int(fd)) for fd in args]
            else:  # deadpipe
                read_end, write_end = os.pipe()
                [os.dup2(write_end, int(fd)) for fd in args]
                os.close(read_end)
                os.close(write_end)
    return preexec if steps else None


def state(work, name):
    path = os.path.join(work, name)
    if os.path.islink(path) or not os.path.isfile(path):
        return ("link to " + os.readlink(path) if os.path.islink(path) else "folder"
                if os.path.isdir(path) else "special file" if os.path.exists(path) else "absent")
    with open(path, "rb") as f:
        data = f.read()
    return "file, %d bytes%s" % (len(data), ": " + text_of(data).replace("\n", "\\n")
                                 if len(data) <= 60 else "")


def outcome(case, crlf=False):
    files = dict(case["files"], **{n: e2e.read(p) for n, p in case["copy"]})
    files = {n: d.replace(b"\n", b"\r\n") if crlf else d for n, d in files.items()}
    stdin = files.pop("-", case["stdin"])
    r = e2e.run(case["run"], stdin=stdin, files=files, setup=setup_of(case["steps"]),
                preexec=preexec_of(case["preexec"]), timeout=case["timeout"],
                after=lambda work: ["  after %s: %s" % (p, state(work, p)) for p in case["after"]])
    out = text_of(r.stdout.replace(b"\r", b"")).replace(START, "{banner}\n")
    s = ["  status %d" % r.status] + lines("out", out)
    s += lines("err", text_of(r.stderr.replace(b"\r", b"")))
    if r.log is not None:
        s += lines("log", text_of(r.log, e2e.WINDOWS))
    digests = hashlib.sha1()
    for name, data in r.files.items():
        text = text_of(data, e2e.WINDOWS)
        digest = hashlib.sha1(text.encode("latin-1")).hexdigest()[:12]
        digests.update((name + digest).encode("latin-1"))
        if len(r.files) <= 20 or case["list"]:
            s.append("  file %s, %d bytes, %s" % (text_of(name.encode("latin-1")), len(text),
                                                   digest))
        if name in case["show"]:
            s += lines("", text)
    if len(r.files) > 20:
        s.append("  %d files, %s" % (len(r.files), digests.hexdigest()[:12]))
    return s + r.after


def applies(needs):
    host = os.name == "posix" and not e2e.WINDOWS
    return all({"posix": host, "windows": e2e.WINDOWS,
                "user": not (hasattr(os, "geteuid") and os.geteuid() == 0)}[w] for w in needs)


class Transcripts(unittest.TestCase):
    def test_transcripts(self):
        for path in sorted(glob.glob(os.path.join(DATA, "*.txt"))):
            with self.subTest(os.path.basename(path)):
                self.check(path)

    def check(self, path):
        with open(path, encoding="latin-1") as f:
            given = [l.rstrip("\n") for l in f]
        result, case, old = [], None, []
        for line in given + ["=== end"]:
            if line.startswith("  "):
                old.append(line)  # kept for a case that cannot run here
                continue
            if line.startswith("==="):
                if case is not None and applies(case["needs"]):
                    start = len(result)
                    result += outcome(case)
                    if case["crlf"]:
                        self.assertEqual(outcome(case, crlf=True), result[start:])
                elif case is not None:
                    result += old
                old = []
                case = {"run": [], "files": {}, "steps": [], "stdin": b"\n\n", "needs": [],
                        "crlf": False, "show": [], "copy": [], "preexec": [], "after": [],
                        "list": False, "timeout": e2e.TIMEOUT}
            elif case is not None and line and not line.startswith("#"):
                word, _, rest = line.partition(" ")
                name, _, text = rest.partition(" ")
                if word in ("file", "part"):
                    name, _, count = name.partition("*")
                    data = unescape(text) + (b"\n" if word == "file" else b"")
                    case["files"][name] = case["files"].get(name, b"") + data * int(count or 1)
                elif word in ("run", "stdin", "needs", "show", "crlf", "copy", "after", "list",
                              "timeout"):
                    case[word] = {"run": lambda: [unescape(a).decode("latin-1")
                                                  for a in shlex.split(rest)],
                                  "stdin": lambda: unescape(rest).replace(b"\\n", b"\n"),
                                  "needs": rest.split, "crlf": lambda: True, "list": lambda: True,
                                  "show": lambda: case["show"] + [rest],
                                  "after": lambda: case["after"] + [rest],
                                  "timeout": lambda: int(rest),
                                  "copy": lambda: case["copy"] + [(name, text)]}[word]()
                elif word in ("close", "deadpipe", "fsize"):
                    case["preexec"].append((word, rest.split(" ")))
                else:
                    case["steps"].append((word, rest.split(" ")))
            if line != "=== end":
                result.append(line)
        text = "\n".join(result) + "\n"
        if os.environ.get("TAV_UPDATE_GOLDEN") == "1":
            with open(path, "w", encoding="latin-1") as f:
                f.write(text)
        self.assertEqual(text, "\n".join(given) + "\n", "(TAV_UPDATE_GOLDEN=1 rewrites it)")


if __name__ == "__main__":
    e2e.main()
