"""The batch command tav_convert end to end: options and exit statuses, the
JSON Lines report, parallel runs giving the outputs of one job, the document
stream, and the rules that keep inputs and the process safe."""

import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_lib as e2e  # noqa: E402

TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def data(path):
    with open(os.path.join(TESTS, path), "rb") as f:
        return f.read()


MIXED = data("data/tav_convert_mixed.txt")        # warnings, errors, blank lines
CORPUS = data("data/corpus_records.txt") + data("../examples/incipits.txt")
VERSION = data("../VERSION").decode().strip()     # the project's one version
GOOD = e2e.record("000000123", "07", "G-2", "3/4", "", "$bB 4C8DE/2F//")


def convert(argv, stdin=b"", files=None, **kw):
    """A run of tav_convert; Run.files holds every regular file afterwards,
    at any depth, that is not an unchanged input."""
    r = e2e.run([str(a) for a in argv], stdin=stdin, files=files, exe=e2e.CONVERT,
                after=e2e.tree, **kw)
    return r._replace(files={k: v for k, v in r.after.items()
                             if isinstance(v, bytes) and (files or {}).get(k) != v})


def no_seconds(report):
    return re.sub(rb'"seconds":[0-9.]+', b'"seconds":0', report)


def split_stream(stream):
    """The --stdout stream as (name, document) pairs."""
    documents, at = [], 0
    while at < len(stream):
        end = stream.index(b"\n", at)
        size, _, name = stream[at:end].partition(b" ")
        at = end + 1 + int(size)
        documents.append((name.decode("latin-1"), stream[end + 1:at]))
    return documents


def differences(a, b):
    """The paths whose files differ between two runs (diffs of whole
    corpora are too slow to print)."""
    return sorted(n for n in set(a) | set(b) if a.get(n) != b.get(n))[:5]


def shard(name):
    return "%d/%s" % (int(name.split("-")[0]) // 1000, name)


def generated_input():
    """The corpus and examples with later records reusing earlier names with
    other music, lines that fail, and blank lines mixed in."""
    lines, out = CORPUS.splitlines(keepends=True), []
    for i, line in enumerate(lines):
        out.append(line)
        if i % 37 == 5:
            earlier = lines[i // 2].split(b"\t")[:2]
            out.append(b"\t".join(earlier + line.split(b"\t")[2:]))
        if i % 211 == 7:
            out.append(b"\n" if i % 2 else b"\r\n")
        if i % 173 == 3:
            out.append(b"not a record\n")
    return b"".join(out)


class Usage(unittest.TestCase):
    def test_cases(self):
        summary = "tav_convert: 1 records, 1 written, 0 failed, 0 warnings, 0 blank lines"
        # name, argv, stdin, status, stdout pattern, stderr pattern, files made
        cases = [
            ("help", ["--help"], b"", 0, r"^Usage: tav_convert \[OPTION\]", r"^$", []),
            ("version", ["-V"], b"", 0, "^tav_convert %s\n$" % re.escape(VERSION), r"^$", []),
            ("unknown option", ["--bogus"], b"", 2, r"^$", r"unknown option --bogus\nTry", []),
            ("no jobs", ["-j", "0"], b"", 2, r"^$", r"--jobs takes a number", []),
            ("too many jobs", ["--jobs=65"], b"", 2, r"^$", r"--jobs takes a number", []),
            ("bad choice", ["--mensural=maybe"], b"", 2, r"^$", r"keep or remove", []),
            ("no value", ["--report"], b"", 2, r"^$", r"--report needs a value", []),
            ("stdout and folder", ["--stdout", "-o", "x"], b"", 2, r"^$", r"--stdout", []),
            ("missing input", ["missing.txt"], b"", 2, r"^$", r"cannot open missing\.txt", []),
            ("folder as input", ["."], b"", 2, r"^$", r"cannot open \.", []),
            ("stdin", [], GOOD, 0, r"^$", "^" + summary, ["123-07.xml"]),
            ("dash", ["-o", "o", "-"], GOOD, 0, r"^$", "^" + summary, ["o/123-07.xml"]),
            ("quiet", ["-q", "-j3"], GOOD + b"x\n", 1, r"^$", r"^$", ["123-07.xml"]),
            ("dry run", ["-n"], GOOD, 0, r"^$", r"1 records, 1 checked", []),
            ("output is a file", ["-o", "f"], GOOD, 2, r"^$", r"output folder f", ["f"]),
        ]
        for name, argv, stdin, status, out, err, made in cases:
            with self.subTest(name):
                setup = (lambda w: open(os.path.join(w, "f"), "wb").close()) if "f" in made else None
                r = convert(argv, stdin, setup=setup)
                self.assertEqual(r.status, status, r.err)
                self.assertRegex(r.out, out)
                self.assertRegex(r.err, err)
                self.assertEqual(sorted(r.files), made)

    def test_help_readme_and_manual_name_the_same_options(self):
        option = r"(?<![\w-])(--?[a-zA-Z][a-z-]*)"
        with open(os.path.join(TESTS, "..", "README.md"), encoding="utf-8") as f:
            table = f.read().split("| Option | Effect |")[1].split("\n\n")[0]
        with open(os.path.join(TESTS, "..", "apps", "tav_convert", "tav_convert.1")) as f:
            manual = f.read().split(".SH OPTIONS")[1].split(".PP")[0]
        manual = re.sub(r"\\f[BIR]", "", manual).replace("\\-", "-")
        help_text = convert(["--help"]).out.split("\n\n")[1]
        named = [set(re.findall(option, t)) for t in (help_text, table, manual)]
        self.assertGreater(len(named[0]), 15)
        self.assertEqual(named[1], named[0], "README")
        self.assertEqual(named[2], named[0], "manual page")


class Catalogue(unittest.TestCase):
    """MARCXML in: recognised from a file or standard input, the reader's
    faults in the report with each record's 001 and 031 occurrence, and the
    measures of the tab route for the same incipits."""

    def setUp(self):
        if "built without expat" in convert(["-n"], stdin=b"<record/>").err:
            self.skipTest("this build reads no MARCXML")

    def test_catalogue_file(self):
        xml = data("data/marcxml/catalogue.xml")
        by_file = convert(["--report", "r.jsonl", "in.xml"], files={"in.xml": xml})
        by_stdin = convert(["-j3", "--report", "r.jsonl"], stdin=xml)
        self.assertEqual(by_file.status, 1)
        report = [json.loads(l) for l in by_file.files.pop("r.jsonl").splitlines()]
        self.assertEqual(no_seconds(by_stdin.files.pop("r.jsonl")).replace(b'"-"', b'"in.xml"'),
                         no_seconds(b"".join(json.dumps(o, separators=(",", ":")).encode() + b"\n"
                                             for o in report)))
        self.assertEqual(by_file.files, by_stdin.files)
        self.assertEqual([(o["control_number"], o["occurrence"], o["status"]) for o in report[:-1]],
                         [("1001145660", 2, "passed_over"), (None, 0, "failed"),
                          ("pl-kk 12", 0, "failed"), ("000112233", 1, "failed"),
                          ("000112234", 0, "failed")])
        self.assertEqual((report[-1]["records"], report[-1]["failed"], report[-1]["warnings"]),
                         (8, 4, 1))
        self.assertEqual(sorted(by_file.files), ["1001145660-1.1.1.xml", "112235-1.1.1.xml",
                                                 "51650-1.1.1.xml", "51650-1.3.1.xml"])
        as_tab = convert(["--from", "tab", "-n"], stdin=xml)
        self.assertRegex(as_tab.err, r"[1-9][0-9] records, 0 checked")
        self.assertRegex(convert(["--from", "xml"]).err, r"--from takes marcxml or tab")

    def test_measures_as_tab_route(self):
        records = subprocess.run([sys.executable, os.path.join(e2e.ROOT, "bench", "gen_records.py"),
                                  "2000", "7"], stdout=subprocess.PIPE, check=True).stdout
        with tempfile.TemporaryDirectory() as work:
            tab = os.path.join(work, "same.txt")
            xml = subprocess.run([sys.executable, os.path.join(e2e.ROOT, "bench", "gen_marcxml.py"),
                                  "--tab", tab], input=records, stdout=subprocess.PIPE,
                                 check=True).stdout
            with open(tab, "rb") as f:
                tab_files = convert(["-j2"], stdin=f.read()).files
        xml_files = convert(["-j2"], stdin=xml).files
        self.assertEqual(sorted(xml_files), sorted(tab_files))
        body = lambda doc: doc[doc.index(b"<part id="):]
        self.assertEqual([n for n in tab_files if body(tab_files[n]) != body(xml_files[n])], [])
        self.assertNotEqual(xml_files, tab_files)


class SameFiles(unittest.TestCase):
    def test_as_console_program(self):
        """The files of the console program, with any number of jobs."""
        inputs = {"in.txt": CORPUS}
        for letters, options in (("-f", []), ("-mf", ["--mensural=remove"]),
                                 ("-rf", ["--measure-rests=remove"])):
            reference = e2e.run([letters, "in.txt"], files=inputs).files
            plain = plain if letters != "-f" else reference
            self.assertEqual(len(reference), len(CORPUS.splitlines()))
            for jobs in (1, 4):
                with self.subTest(letters, jobs=jobs):
                    r = convert(["-q", "-j", jobs] + options + ["in.txt"], files=inputs)
                    self.assertEqual(r.status, 0, r.err)
                    self.assertEqual(differences(r.files, reference), [])
        r = convert(["-q", "-j3", "--shard", "-o", "out", "in.txt"], files=inputs)
        self.assertEqual(differences(r.files, {"out/" + shard(n): d
                                               for n, d in plain.items()}), [])

    def test_parallel_runs_match_one_job(self):
        inputs = {"in.txt": generated_input()}
        for mode in ([], ["--shard"], ["--stdout"], ["--dry-run"]):
            runs = [convert(["-j", jobs, "--report", "report.jsonl"] + mode + ["in.txt"],
                            files=inputs) for jobs in (1, 4)]
            with self.subTest(mode=mode):
                for r in runs:
                    r.files["report.jsonl"] = no_seconds(r.files["report.jsonl"])
                    self.assertEqual(r.status, 1, r.err)
                self.assertEqual(differences(runs[0].files, runs[1].files), [])
                self.assertEqual(runs[0].stdout, runs[1].stdout)
                self.assertEqual(*(re.sub(r"[0-9.]+ s\n$", "", r.err) for r in runs))
                if mode == ["--stdout"]:
                    stream = split_stream(runs[0].stdout)
                if mode == []:
                    files = runs[0].files
        # Split back, the stream gives the files, the later of two records
        # with one name winning.
        self.assertEqual(differences({n: e2e.file_bytes(d) for n, d in stream},
                                     {n: d for n, d in files.items() if n != "report.jsonl"}),
                         [])
        reports = [json.loads(line) for line in files["report.jsonl"].splitlines()]
        summary = reports[-1]
        lines = inputs["in.txt"].splitlines()
        blank = sum(1 for line in lines if line in (b"", b"\r"))
        self.assertEqual((summary["records"], summary["blank_lines"], summary["written"]),
                         (len(lines) - blank, blank, len(stream)))
        self.assertEqual(summary["failed"], sum(1 for r in reports[:-1]
                                                if r["status"] == "failed"))


class Report(unittest.TestCase):
    def test_golden(self):
        inputs = {"mixed.txt": MIXED}
        golden = data("data/tav_convert_report.jsonl").replace(b"tav_convert_mixed", b"mixed")
        messages = e2e.console(data("data/tav_convert_messages.txt")).replace(
            "tav_convert_mixed", "mixed")
        r = convert(["-j2", "--report", "-", "mixed.txt"], files=inputs)
        self.assertEqual(r.status, 1)
        self.assertEqual(no_seconds(r.stderr.replace(b"\r", b"")), golden)
        for line in r.stderr.splitlines():
            json.loads(line)
        r = convert(["-j2", "mixed.txt"], files=inputs)
        self.assertEqual(r.err.split("tav_convert: ")[0], messages)
        self.assertRegex(r.err, "tav_convert: 8 records, 4 written, 4 failed, 1 warnings, "
                         "2 blank lines, [0-9.]+ s\n$")


class Safety(unittest.TestCase):
    def posix(self):
        if os.name != "posix" or e2e.WINDOWS:
            self.skipTest("POSIX descriptors and signals")

    def test_inputs_are_never_written(self):
        cases = [
            # name, argv, status, the input file
            ("input named as an output", ["-o", "out", "out/123-07.xml"], 1, "out/123-07.xml"),
            ("report is the input", ["--report", "in.txt", "in.txt"], 2, "in.txt"),
        ]
        for name, argv, status, path in cases:
            with self.subTest(name):
                def setup(work, path=path):
                    os.makedirs(os.path.join(work, "out"), exist_ok=True)
                    with open(os.path.join(work, path), "wb") as f:
                        f.write(GOOD)
                r = convert(argv, setup=setup)
                self.assertEqual(r.status, status, r.err)
                self.assertEqual(r.files, {path: GOOD})

    def test_links_are_replaced_not_followed(self):
        self.posix()
        def setup(work):
            os.makedirs(os.path.join(work, "out"))
            with open(os.path.join(work, "target.txt"), "wb") as f:
                f.write(b"kept")
            os.symlink("../target.txt", os.path.join(work, "out", "123-07.xml"))
        for jobs in ("-j1", "-j2"):
            r = convert([jobs, "-o", "out"], GOOD, setup=setup)
            self.assertEqual(r.status, 0, r.err)
            self.assertEqual(sorted(r.files), ["out/123-07.xml", "target.txt"])
            self.assertEqual(r.after["target.txt"], b"kept")

    def test_streams(self):
        self.posix()
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, "in.txt")
            with open(path, "wb") as f:
                f.write(GOOD * 20000)
            argv = [e2e.CONVERT, "--stdout", path]
            # Standard output closed: the documents go to the null device.
            closed = subprocess.run(argv, stderr=subprocess.PIPE, timeout=e2e.TIMEOUT,
                                    preexec_fn=lambda: os.close(1))
            self.assertEqual(closed.returncode, 0, closed.stderr)
            # A reader that goes away: the run ends with 2, not by SIGPIPE.
            proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            proc.stdout.read(100)
            proc.stdout.close()
            err = proc.communicate(timeout=e2e.TIMEOUT)[1]
            self.assertEqual(proc.returncode, 2, err)
            self.assertIn(b"cannot write standard output", err)
            # Standard output appending to the input file.
            with open(path, "wb") as f:
                f.write(GOOD)
            with open(path, "ab") as out:
                r = subprocess.run(argv, stdout=out, stderr=subprocess.PIPE)
            self.assertEqual(r.returncode, 2, r.stderr)
            self.assertEqual(e2e.snapshot(work), {"in.txt": GOOD})


if __name__ == "__main__":
    e2e.main()
