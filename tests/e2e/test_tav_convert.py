"""The batch command tav_convert end to end: options and exit statuses, the
JSON Lines report, parallel runs giving the outputs of one job, the document
stream, and the rules that keep inputs and the process safe."""

import gzip
import json
import os
import re
import resource
import select
import signal
import subprocess
import sys
import tempfile
import time
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


def wait_for_handler(proc, sig):
    """Returns as soon as the process catches `sig` (its handler is in
    place), as Linux tells in /proc; elsewhere at once."""
    status = "/proc/%d/status" % proc.pid
    while os.path.exists(status):
        with open(status) as f:
            caught = next((int(line.split()[1], 16) for line in f if line.startswith("SigCgt:")), 0)
        if caught >> (sig - 1) & 1 or proc.poll() is not None:
            return


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
            ("lone CR line ends", ["-n"], b"\r".join(GOOD.rstrip(b"\n").replace(b"\t07\t", b"\t%d\t" % i)
                                                      for i in range(50)), 0, r"^$",
             r"50 records, 50 checked", []),
            ("output is a file", ["-o", "f"], GOOD, 2, r"^$", r"output folder f", ["f"]),
            ("format by name", ["-q", "--format", "musicxml4"], GOOD, 0, r"^$", r"^$", ["123-07.xml"]),
            ("container", ["-q", "--format=musicxml1", "--compress"], GOOD, 0, r"^$", r"^$",
             ["123-07.mxl"]),
            ("unknown format", ["--format", "mxl"], b"", 2, r"^$",
             r"--format takes musicxml1(, \w+)* or \w+, not 'mxl'", []),
            ("unknown version", ["--musicxml", "3.0"], b"", 2, r"^$",
             r"--musicxml takes 1\.0 or 4\.0, not '3\.0'", []),
        ]
        for name, argv, stdin, status, out, err, made in cases:
            with self.subTest(name):
                setup = (lambda w: open(os.path.join(w, "f"), "wb").close()) if "f" in made else None
                r = convert(argv, stdin, setup=setup)
                self.assertEqual(r.status, status, r.err)
                self.assertRegex(r.out, out)
                self.assertRegex(r.err, err)
                self.assertEqual(sorted(r.files), made)

    def test_key_value_and_json_forms_read_as_their_record_lines(self):
        """The readers' shared table through the command, by --from and, gzipped,
        by the input's start: the documents are its record lines' own, byte for
        byte, and the report's codes the table's and those of its lines."""
        def report_codes(report):
            entries = [json.loads(line) for line in report.splitlines()]
            return sorted(m["code"] for e in entries if e["type"] == "record"
                          for m in e["messages"])
        reads_json = b"built without nlohmann-json" not in convert(["--from", "json"], stdin=b"{}").stderr
        for case in e2e.reader_cases():
            if case["form"] == "json" and not reads_json:
                continue
            lines = b"\n".join(v for w, v in case["expected"] if w == "tab")
            by_lines = convert(["--stdout", "--report", "r", "--from", "tab", "-"], stdin=lines)
            codes = sorted(report_codes(by_lines.files["r"]) +
                           [v for w, v in case["expected"] if w != "tab"])
            runs = [(["--from", case["form"]], case["input"])]
            if case["start"] == case["form"]:
                runs.append(([], gzip.compress(case["input"])))
            for argv, stdin in runs:
                with self.subTest(case["name"], argv=argv):
                    r = convert(argv + ["--stdout", "--report", "r", "-"], stdin=stdin)
                    self.assertEqual(r.stdout, by_lines.stdout)
                    self.assertEqual(report_codes(r.files["r"]), codes)
                    self.assertEqual(r.status, 1 if any(
                        w in ("fails", "error") for w, _ in case["expected"]) else 0, r.err)

    def test_help_readme_and_manual_name_the_same_options(self):
        option = r"(?<![\w-])(--?[a-zA-Z][a-z-]*)"
        with open(os.path.join(TESTS, "..", "README.md"), encoding="utf-8") as f:
            readme = f.read()
        table = readme.split("| Option | Effect |")[1].split("\n\n")[0]
        with open(os.path.join(TESTS, "..", "apps", "tav_convert", "tav_convert.1")) as f:
            manual_all = f.read()
        manual = manual_all.split(".SH OPTIONS")[1].split(".PP")[0]
        manual = re.sub(r"\\f[BIR]", "", manual).replace("\\-", "-")
        help_text = convert(["--help"]).out.split("\n\n")[1]
        named = [set(re.findall(option, t)) for t in (help_text, table, manual)]
        self.assertGreater(len(named[0]), 15)
        self.assertEqual(named[1], named[0], "README")
        self.assertEqual(named[2], named[0], "manual page")
        # The exit statuses, in the help's closing words, the README's table
        # and the manual page's section.
        status = r"(?<![\w.-])(\d{1,3})(?![\w.%-])"
        statuses = [set(re.findall(status, t)) for t in (
            convert(["--help"]).out.split("Exit status:")[1],
            " ".join(row.split("|")[1] for row in readme.split("**Exit status.**")[1]
                     .split("\n\n**")[0].splitlines() if row.startswith("| ")),
            re.sub(r"\\f[BIR]", "", manual_all.split(".SH EXIT STATUS")[1].split(".SH")[0]))]
        self.assertEqual(statuses[0], {"0", "1", "2", "130", "143"})
        self.assertEqual(statuses[1], statuses[0], "README")
        self.assertEqual(statuses[2], statuses[0], "manual page")


class Catalogue(unittest.TestCase):
    """MARCXML in: recognised from a file or standard input, the reader's
    faults in the report with each record's 001 and 031 occurrence, and the
    measures of the tab route for the same incipits."""

    def setUp(self):
        if "built without libxml2" in convert(["-n"], stdin=b"<record/>").err:
            self.skipTest("this build reads no MARCXML")

    def test_catalogue_file(self):
        xml = data("data/marcxml/catalogue.xml")
        by_file = convert(["--report", "r.jsonl", "in.xml"], files={"in.xml": xml})
        by_stdin = convert(["-j3", "--report", "r.jsonl"], stdin=xml)
        self.assertEqual(by_file.status, 1)
        report = [json.loads(l) for l in by_file.files.pop("r.jsonl").splitlines()]
        self.assertNotIn("other", [m["code"] for o in report[:-1] for m in o["messages"]])
        self.assertEqual(no_seconds(by_stdin.files.pop("r.jsonl")).replace(b'"-"', b'"in.xml"'),
                         no_seconds(b"".join(json.dumps(o, separators=(",", ":")).encode() + b"\n"
                                             for o in report)))
        self.assertEqual(by_file.files, by_stdin.files)
        self.assertEqual([(o["control_number"], o["occurrence"], o["status"]) for o in report[:-1]],
                         [("1001145660", 2, "passed_over"), (None, 0, "failed"),
                          ("pl-kk 12", 0, "failed"), ("000112233", 1, "failed"),
                          ("000112234", 0, "failed")])
        self.assertEqual((report[-1]["records"], report[-1]["failed"], report[-1]["warnings"],
                          report[-1]["without_music"]), (8, 4, 1, 1))
        self.assertNotIn(b"without_music", convert(["--report", "-"], stdin=GOOD).stdout)
        self.assertEqual(sorted(by_file.files), ["1001145660-1.1.1.xml", "112235-1.1.1.xml",
                                                 "51650-1.1.1.xml", "51650-1.3.1.xml"])
        # The README's first command: the bundled catalogue records convert whole.
        example = convert(["--musicxml", "4.0"], stdin=data("../examples/catalogue.xml"))
        self.assertEqual((example.status, len(example.files)), (0, 61), example.err)
        as_tab = convert(["--from", "tab", "-n"], stdin=xml)
        self.assertRegex(as_tab.err, r"[1-9][0-9] records, 0 checked")
        self.assertRegex(convert(["--from", "xml"]).err, r"--from takes tab, marcxml, pae or json")

    def test_hostile_table(self):
        """The front ends' shared table of hostile MARCXML, from standard
        input: its incipits in order, its messages as (kind, 001)."""
        for case in e2e.hostile_cases():
            if "cpp" not in case["for"]:
                continue
            with self.subTest(case["name"]):
                r = convert(["-n", "--report-all", "--report", "-"], stdin=case["input"])
                lines = [json.loads(line) for line in r.stdout.splitlines()][:-1]
                self.assertEqual(["%s %s" % (o["control_number"], o["number"])
                                  for o in lines if o["status"] == "checked"],
                                 [" ".join(i.split(" ")[:2]) for i in case["incipits"]])
                self.assertEqual(sorted((m["kind"], o["control_number"] or "-")
                                        for o in lines for m in o["messages"]), case["messages"])

    def test_compressed_inputs(self):
        """gzip input, by its magic bytes, for both routes and from a pipe:
        the files of the plain input; members one after another; a truncated
        file is the input's error, after the records before the cut."""
        tab = b"".join(GOOD.replace(b"000000123", b"%09d" % i) for i in range(300))
        for plain in (data("data/marcxml/catalogue.xml"), tab):
            want = convert(["-q"], stdin=plain).files
            packed = gzip.compress(plain, mtime=0)
            for argv, stdin, files in ((["in.gz"], b"", {"in.gz": packed}), ([], packed, {})):
                got = convert(["-q", "-j2"] + argv, stdin=stdin, files=files).files
                got.pop("in.gz", None)
                self.assertEqual(differences(got, want), [])
        two = gzip.compress(tab[:len(tab) // 2], mtime=0) + gzip.compress(tab[len(tab) // 2:])
        self.assertRegex(convert(["-n"], stdin=two).err, " 300 records, 300 checked")
        cut = convert(["-n"], stdin=gzip.compress(tab)[:-100])
        self.assertEqual(cut.status, 2)
        self.assertRegex(cut.err, "cannot read standard input: the gzip data ends early "
                                  r"\(a truncated file\)\n.* [1-9][0-9]+ records, ")

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
        # The same music; a record's key or mode ($r) adds the first key's mode.
        body = lambda doc: re.sub(rb"\t*<mode>(major|minor)</mode>\n", b"", doc[doc.index(b"<part id="):])
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
        """The report of records with messages, and the manifest of every
        record as CSV."""
        inputs = {"mixed.txt": MIXED}
        golden = data("data/tav_convert_report.jsonl").replace(b"tav_convert_mixed", b"mixed")
        manifest = data("data/tav_convert_report.csv").replace(b"tav_convert_mixed", b"mixed")
        messages = e2e.console(data("data/tav_convert_messages.txt")).replace(
            "tav_convert_mixed", "mixed")
        r = convert(["-j2", "--report", "-", "mixed.txt"], files=inputs)
        self.assertEqual(r.status, 1)
        self.assertEqual(no_seconds(r.stdout.replace(b"\r", b"")), golden)
        for line in r.stdout.splitlines():
            self.assertNotIn("other", [m["code"] for m in json.loads(line).get("messages", [])])
        r = convert(["-j2", "--report-all", "--report-format=csv", "--report", "-", "mixed.txt"],
                    files=inputs)
        self.assertEqual(r.stdout.replace(b"\r", b""), manifest)
        r = convert(["-j2", "mixed.txt"], files=inputs)
        self.assertEqual(r.err.split("tav_convert: ")[0], messages)
        self.assertRegex(r.err, "tav_convert: 8 records, 4 written, 4 failed, 1 warnings, "
                         "2 blank lines, [0-9.]+ s\n$")


class Safety(unittest.TestCase):
    def posix(self):
        if os.name != "posix" or e2e.WINDOWS:
            self.skipTest("POSIX descriptors and signals")

    def test_run_faults(self):
        """Runs that go wrong at their edges, and what is on disk and in the
        streams afterwards: `expect` maps a path (or <out>, <err>) to its
        bytes or a pattern; no other file may change."""
        self.posix()
        other = GOOD.replace(b"\t07\t", b"\t08\t")
        doc = r"^<\?xml[^\0]*</score-partwise>\n$"
        summary = r'"type":"summary".*}\n$'
        on = lambda path, fd, flags=os.O_RDONLY: lambda: os.dup2(os.open(path, flags), fd)
        limit = lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (100, 100))
        # Eight records of 45 MB documents: eight jobs converting them at once
        # would not fit in 1 GB of address space.
        large = b"".join(e2e.record("1%08d" % i, "1.1.%d" % i, "G-2", "4/4", "",
                                    "4" + "CDEFGAB" * 40000) for i in range(8))
        little_memory = lambda: (resource.setrlimit(resource.RLIMIT_AS, (10**9, 10**9)),
                                 on(os.devnull, 1, os.O_WRONLY)())
        # name, argv, stdin, files ({path: bytes}, a str is a link), child setup, status, expect
        cases = [
            ("report is the input", ["--report", "e.txt"], b"", {"e.txt": MIXED},
             on("e.txt", 0), 2, {"<err>": "report file e.txt is the input file standard input"}),
            ("report is the named input", ["--report", "e.txt", "e.txt"], b"", {"e.txt": MIXED},
             None, 2, {"<err>": "report file e.txt is the input file e.txt"}),
            ("stdin named as an output", ["-j1", "-o", "o"], b"", {"o/123-07.xml": other + GOOD},
             on("o/123-07.xml", 0), 2, {"o/123-08.xml": doc,
                                        "<err>": "output file o/123-07.xml is an input file"}),
            ("input named as an output", ["-o", "o", "o/123-07.xml"], b"", {"o/123-07.xml": GOOD},
             None, 2, {"<err>": "stopped early"}),
            ("report named as an output", ["-o", "o", "--report", "o/123-07.xml"], GOOD, {}, None,
             2, {"o/123-07.xml": r'"stopped":"output file o/123-07.xml is the report file"}\n$'}),
            ("report is the stream", ["--stdout", "--report", "both"], GOOD, {"both": b"kept"},
             on("both", 1, os.O_WRONLY), 2, {"<err>": "report file both is standard output$"}),
            ("report on stdout", ["-q", "--report", "-"], GOOD, {}, None, 0,
             {"<out>": "^{" + summary, "123-07.xml": doc}),
            ("two streams on stdout", ["--stdout", "--report", "-"], GOOD, {}, None, 2,
             {"<err>": "--stdout and --report - would both"}),
            ("report through a link", ["--report", "r"], GOOD, {"r": "t/r", "t/r": b""}, None, 0,
             {"t/r": summary, "r": "t/r", "123-07.xml": doc}),
            ("report to a device", ["-q", "--report", "/dev/stdout"], GOOD, {}, None, 0,
             {"<out>": summary, "123-07.xml": doc}),
            ("report cannot be opened", ["--report", "no/r"], GOOD, {}, None, 2,
             {"<err>": "cannot open report file no/r: No such file or directory"}),
            ("report in a new folder", ["-o", "o", "--report", "o/r"], GOOD, {}, None, 0,
             {"o/r": summary, "o/123-07.xml": doc}),
            ("run that cannot start", ["-o", "f", "--report", "r"], GOOD, {"f": b"", "r": b"old"},
             None, 2, {"<err>": "output folder f"}),
            ("missing input", ["--report", "r", "no.txt", "-"], GOOD, {}, None, 2,
             {"r": r'^{"type":"input","input":"no.txt","status":"unreadable","error":"cannot '
                   r'open no.txt: No such file or directory"}\n.*"unreadable_inputs":1,',
              "123-07.xml": doc}),
            ("output folder loops", ["-o", "l"], GOOD, {"l": "l"}, None, 2,
             {"<err>": "cannot create output folder l: Too many levels of symbolic links"}),
            ("output folder name too long", ["-o", "x" * 300], GOOD, {}, None, 2,
             {"<err>": "File name too long"}),
            ("shard folder loops", ["-o", "o", "--shard"], GOOD, {"o/0": "0"}, None, 1,
             {"<err>": "cannot create output folder 0 for 123-07.xml: Too many levels"}),
            ("stream closed", ["--stdout"], GOOD, {}, lambda: os.close(1), 2,
             {"<err>": "standard output is closed"}),
            ("report stream closed", ["--report", "-"], GOOD, {}, lambda: os.close(1), 2,
             {"<err>": "standard output is closed"}),
            ("file-size limit", ["-j1", "-o", "o"], GOOD + other, {}, limit, 2,
             {"<err>": "cannot write output file 123-07.xml: File too large\n"
                       ".*1 records, 0 written, 1 failed.*stopped early"}),
        ]
        # One MARCXML record of 600 incipits, whose composer and title of
        # 1 MiB each they share rather than copy (600 copies would not fit).
        wide = ("<collection>" + e2e.HOSTILE_RECORD % (1, "4C//") +
                "".join('<datafield tag="031"><subfield code="a">1</subfield><subfield code="b">'
                        '%d</subfield><subfield code="c">1</subfield><subfield code="p">4D//'
                        '</subfield></datafield>' % i for i in range(2, 601)) +
                '<datafield tag="100"><subfield code="a">%s</subfield></datafield>'
                '<datafield tag="245"><subfield code="a">%s</subfield></datafield></record>'
                "</collection>" % ("c" * 2**20, "t" * 2**20)).encode()
        # The sanitizers reserve far more address space than any limit.
        with open(e2e.CONVERT, "rb") as f:
            if b"__asan_init" not in f.read():
                cases += [("large records, many jobs",
                           ["-j8", "--stdout", "--report", "r", "in.txt"], b"",
                           {"in.txt": large}, little_memory, 0,
                           {"r": r'^{"type":"summary","records":8,"written":8,'}),
                          ("one record of many incipits and long texts",
                           ["-j4", "--stdout", "--report", "r", "in.xml"], b"",
                           {"in.xml": wide}, little_memory, 0,
                           {"r": r'^{"type":"summary","records":600,"written":600,'}),
                          ("threads that cannot start", ["-j16", "--report", "r"], GOOD, {},
                           lambda: resource.setrlimit(resource.RLIMIT_AS, (6 * 10**7,) * 2), 2,
                           {"r": r'"stopped":"cannot start a thread: ',
                            "<err>": "cannot start a thread"})]
        for name, argv, stdin, files, preexec, status, expect in cases:
            with self.subTest(name):
                def setup(work, files=files):
                    for path, content in files.items():
                        full = os.path.join(work, path)
                        os.makedirs(os.path.dirname(full), exist_ok=True)
                        if isinstance(content, str):
                            os.symlink(content, full)
                        else:
                            with open(full, "wb") as f:
                                f.write(content)
                r = convert(argv, stdin, setup=setup, preexec=preexec)
                self.assertEqual(r.status, status, r.err)
                found = dict(r.after, **{"<out>": r.stdout, "<err>": r.stderr})
                for path, want in expect.items():
                    got = found.get(path, b"")
                    if want == files.get(path):
                        self.assertEqual(got, want)
                    else:
                        self.assertRegex(got.decode("latin-1") if isinstance(got, bytes)
                                         else got, want, path)
                changed = {n for n, d in r.after.items()
                           if isinstance(d, bytes) and files.get(n) != d}
                self.assertLessEqual(changed, set(expect), r.err)

    def test_interrupted_runs(self):
        """SIGINT and SIGTERM: whole files and a whole report that says so."""
        self.posix()
        records = b"".join(GOOD.replace(b"000000123", b"%09d" % i) for i in range(100000))
        for jobs, sig in (("-j1", signal.SIGINT), ("-j3", signal.SIGTERM)):
            with tempfile.TemporaryDirectory() as work:
                with open(os.path.join(work, "in.txt"), "wb") as f:
                    f.write(records)
                proc = subprocess.Popen([e2e.CONVERT, jobs, "-q", "-o", "o", "--report", "r",
                                         "in.txt"], cwd=work)
                while proc.poll() is None and len(os.listdir(os.path.join(work, "o"))
                                                  if os.path.isdir(os.path.join(work, "o"))
                                                  else []) < 100:
                    time.sleep(0.01)
                proc.send_signal(sig)
                self.assertEqual(proc.wait(timeout=e2e.TIMEOUT), 128 + sig)
                files = e2e.tree(os.path.join(work, "o"))
                self.assertEqual([n for n, d in files.items()
                                  if not d.endswith(b"</score-partwise>\n")], [])
                with open(os.path.join(work, "r"), "rb") as f:
                    report = [json.loads(line) for line in f]
                self.assertEqual((report[-1]["interrupted"], report[-1]["signal"],
                                  report[-1]["written"]), (True, sig, len(files)))
                self.assertLess(len(files), 100000)
        # A run waiting for input stops at once: one that looks whether input
        # is ready, and one blocked in a read (which the signal must not
        # restart). The signal comes as soon as the handler is in place, often
        # before the read begins, which must not lose it; so several times.
        with tempfile.TemporaryDirectory() as work:
            for argv, sig in 40 * ((["--report", "-"], signal.SIGTERM),
                                   (["-o", work], signal.SIGINT)):
                proc = subprocess.Popen([e2e.CONVERT, "-q"] + argv, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE)
                wait_for_handler(proc, sig)
                proc.send_signal(sig)
                try:
                    status = proc.wait(timeout=5)   # its input still open
                finally:
                    proc.kill()
                    out = proc.communicate()[0]
                self.assertEqual(status, 128 + sig, argv)
                if out:
                    self.assertTrue(json.loads(out)["interrupted"])

    def test_interrupted_catalogue(self):
        """A MARCXML run stopped while its input waits: it ends at once, and
        the record the input broke off in is not blamed on the input."""
        self.posix()
        if "built without libxml2" in convert(["-n"], stdin=b"<record/>").err:
            self.skipTest("this build reads no MARCXML")
        head = ("<collection>" + (e2e.HOSTILE_RECORD % (1, "4C//") + "</record>") * 5 +
                '<record><controlfield tag="001">6</contr').encode()
        for argv in (["-j1"], ["-j3"]):
            proc = subprocess.Popen([e2e.CONVERT, "-q", "-n", "--report", "-"] + argv,
                                    stdin=subprocess.PIPE, stdout=subprocess.PIPE)
            proc.stdin.write(head)
            proc.stdin.flush()
            wait_for_handler(proc, signal.SIGINT)
            proc.send_signal(signal.SIGINT)
            try:
                status = proc.wait(timeout=5)   # its input still open
            finally:
                proc.kill()
                out = proc.communicate()[0]
            self.assertEqual(status, 130, argv)
            report = [json.loads(line) for line in out.splitlines()]
            self.assertEqual([o for o in report[:-1] if o["status"] == "failed"], [])
            self.assertTrue(report[-1]["interrupted"])

    def test_co_process(self):
        """A peer that writes one record and waits gets its document and its
        report line at once."""
        self.posix()
        for argv in (["--stdout", "-j2"], ["-n", "--report-all", "--report", "-"]):
            proc = subprocess.Popen([e2e.CONVERT] + argv, stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            for number in (b"07", b"08"):
                proc.stdin.write(GOOD.replace(b"\t07\t", b"\t" + number + b"\t"))
                proc.stdin.flush()
                ready = select.select([proc.stdout], [], [], 10)[0]
                self.assertTrue(ready, argv)
                line = proc.stdout.readline()
                if argv[0] == "--stdout":
                    self.assertEqual(line, b"%d 123-%s.xml\n" % (len(proc.stdout.read(
                        int(line.split()[0]))), number))
            proc.stdin.close()
            self.assertEqual(proc.wait(timeout=e2e.TIMEOUT), 0)

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
