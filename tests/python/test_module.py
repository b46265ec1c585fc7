"""The Python package against the program: the same documents, the same
messages, from one thread or several, and structured errors for any bytes;
convert_file's cases on disk, the command line, the README's example, the
stub and the build backend.

    TAV_MODULE_DIR=DIR TAV_EXE=PROGRAM python3 tests/python/test_module.py

(or python3 -m pytest tests/python with the same variables). TAV_MODULE_DIR
is where the module is, unless it is installed.
"""

import ast
import concurrent.futures
import contextlib
import gzip
import io
import json
import multiprocessing
import os
import pickle
import random
import re
import subprocess
import sys
import tarfile
import tempfile
import threading
import types
import unittest
import xml.dom.minidom
from xml.etree import ElementTree
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
import e2e_lib  # noqa: E402

if os.environ.get("TAV_MODULE_DIR"):
    sys.path.insert(0, os.environ["TAV_MODULE_DIR"])
import tav  # noqa: E402

PACKAGE_PATH = os.path.dirname(os.path.dirname(os.path.abspath(tav.__file__)))

e2e_lib.parse_args(["--exe", os.environ["TAV_EXE"]])

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
README = os.path.join(ROOT, "README.md")
EXAMPLES = os.path.join(HERE, "..", "..", "examples", "incipits.txt")
# The program's files for these are compared here; the corpus digest test
# checks the library's documents for this larger set.
CORPUS = os.path.join(HERE, "..", "data", "corpus_records.txt")
CATALOGUE = os.path.join(HERE, "..", "data", "marcxml", "catalogue.xml")
SOURCES = os.path.join(HERE, "..", "data", "marcxml", "sources.xml")
# Each incipit's description as every front end reads it, one JSON object a line.
DESCRIPTIONS = os.path.join(HERE, "..", "data", "marcxml", "sources_descriptions.jsonl")
# The miscellaneous fields of a 4.0 document that carry a description's texts.
DOCUMENT_FIELDS = {"Control number": "control_number", "Composer dates": "composer_dates",
                   "Source title": "source_title", "Scoring": "scoring", "Date": "date", "Role": "role",
                   "Note": "note", "Text incipit": "text_incipit", "Key or mode": "key_in_words"}
TAV_CONVERT = os.path.join(os.path.dirname(os.path.abspath(os.environ["TAV_EXE"])), "tav_convert")
OPTIONS = [("-f", {}), ("-mrf", {"remove_mensural": True, "remove_measure_rests": True})]
STATUSES = {"converted", "failed", "too_large", "line_too_long", "blank"}
HEADER = "123456789\t1.1.1\tG-2\t4/4\t\t"


def dated(document):
    return re.sub(rb"<encoding-date>[^<]*<", b"<encoding-date><", document)


def descriptions():
    with open(DESCRIPTIONS, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip() and not line.startswith("#")]


def described(document):
    """What a 4.0 document tells of its incipit's description, by the names
    of the description's texts; a text the record lacks is empty."""
    root = ElementTree.fromstring(document)
    text = lambda path: root.findtext(path) or ""  # noqa: E731
    found = {key: "" for key in DOCUMENT_FIELDS.values()}
    found.update({DOCUMENT_FIELDS[f.get("name")]: f.text or "" for f in root.iter("miscellaneous-field")
                  if f.get("name") in DOCUMENT_FIELDS})
    creators = [(c.get("type"), c.text) for c in root.iter("creator")]
    found.update(work_title=text("work/work-title"), work_number=text("work/work-number"),
                 movement_number=text("movement-number"), movement_title=text("movement-title"),
                 location=text("identification/source"),
                 composer="".join(name for role, name in creators if role == "composer"),
                 creators=[[role, name] for role, name in creators if role != "composer"])
    return found


def lines_of(path):
    with open(path, "rb") as f:
        return f.read().splitlines(keepends=True)


def log_text(results):
    """The program's log for these results: its header, then each message."""
    out = [b"TAV 2005 ERROR LOG\n------------------\n\n"]
    for r in results:
        for m in r.messages:
            out.append(b"\n%s,\n incipit: %d-%s, %s\n" % (
                m.kind.upper().encode(), r.identifier,
                r.number.encode("utf-8", "surrogateescape"),
                m.text.encode("utf-8", "surrogateescape")))
    return b"".join(out)


def bytes_of(path):
    with open(path, "rb") as f:
        return f.read()


class Trickle(io.RawIOBase):
    """A binary file object that gives `step` bytes a read and at the end
    raises `fault`, if any."""

    def __init__(self, data, step=7, fault=None):
        super().__init__()
        self.data, self.step, self.fault, self.pos = data, step, fault, 0

    def readable(self):
        return True

    def readinto(self, b):
        if self.pos == len(self.data) and self.fault:
            raise self.fault
        n = min(len(b), self.step, len(self.data) - self.pos)
        b[:n] = self.data[self.pos:self.pos + n]
        self.pos += n
        return n


def read_only(data):
    """A file object with read and no readinto."""
    return types.SimpleNamespace(read=io.BytesIO(data).read)


def problems_of(report):
    return [(p.line, p.control_number, p.occurrence, p.from_reader, fields(p.result))
            for p in report.problems]


def fields(r):
    return (r.status, r.data, r.file_name, r.identifier, r.number,
            [(m.kind, m.text, m.position, m.byte) for m in r.messages])


def check_shape(case, r):
    """What holds for any result."""
    case.assertIn(r.status, STATUSES)
    case.assertEqual(r.ok, r.status == "converted")
    case.assertEqual(r.xml.encode("utf-8", "surrogateescape"), r.data)
    errors = [m for m in r.messages if m.kind == "error"]
    case.assertEqual(len(errors), 0 if r.ok or r.status == "blank" else 1, r.messages)
    for m in r.messages:  # every text has its stable code
        case.assertRegex(m.code, "^(?!other$)[a-z_]+$", m.text)
    if not r.ok:
        case.assertEqual(r.data, b"")
    if errors and errors[0].position is not None:
        case.assertIn("i: %d" % errors[0].position, errors[0].text)


class Module(unittest.TestCase):
    def test_documents_and_messages_equal_the_programs(self):
        with open(EXAMPLES, "rb") as f:
            text = f.read()
        for flags, options in OPTIONS:
            with self.subTest(flags=flags):
                run = e2e_lib.run([flags, "in.txt"], files={"in.txt": text})
                results = [tav.convert(line, **options) for line in text.splitlines(True)]
                docs = {r.file_name: r.data for r in results if r.ok}
                self.assertEqual(docs, run.files)
                self.assertEqual(log_text(results), run.log)
                with tempfile.TemporaryDirectory() as out:
                    report = tav.convert_file(EXAMPLES, out, **options)
                    self.assertEqual(report[:3], (len(docs), len(results) - len(docs), 0))
                    self.assertEqual([fields(r)[2:] for _, r in report.problems],
                                     [fields(r)[2:] for r in results if r.messages])
                    for name in os.listdir(out):
                        with open(os.path.join(out, name), "rb") as f:
                            self.assertEqual(f.read(), docs[name], name)

    def test_threads_give_the_same_results(self):
        lines = lines_of(CORPUS) * 2
        alone = [(r.status, r.data) for r in map(tav.convert, lines)]
        with concurrent.futures.ThreadPoolExecutor(4) as pool:
            together = [(r.status, r.data) for r in pool.map(tav.convert, lines, chunksize=16)]
        self.assertEqual(together, alone)

    def test_fields_give_the_record_line(self):
        for fields, line in [
            (("123456789", "1.1.1", "G-2", "3/4", "", "$bBE 8.6'ABCD/4-2G//"), None),
            (("123456789", "2", "", "", "", "4C"), "123456789\t2\t\\-\t\\-\t\t4C"),
            ((b"123456789", b"1", b"C-3", b"c", b"", b"4CD"), None),
        ]:
            line = line or b"\t".join(f if isinstance(f, bytes) else f.encode() for f in fields)
            by_fields, by_line = tav.convert_fields(*fields), tav.convert(line)
            self.assertEqual(by_fields.data, by_line.data)
            self.assertEqual([m.text for m in by_fields.messages],
                             [m.text for m in by_line.messages])
            self.assertTrue(tav.convert(line).ok, line)
        # A field holding a TAB or a line end, or an empty number, never
        # shifts the fields after it.
        for fields, error in [
            (("1", "2\t3", "G-2", "", "", "4C"), "number field holds a tab or a line end"),
            (("1", "2", "G-2", "3/4\n", "", "4C"), "time field holds a tab or a line end"),
            (("1", "2", "", "", "", "4C\rD"), "music field holds a tab or a line end"),
            (("1", " ", "2", "", "", "4C"), "no incipit number found"),
        ]:
            result = tav.convert_fields(*fields)
            self.assertEqual((result.ok, [m.text for m in result.messages]), (False, [error]))

    def test_hostile_bytes_give_structured_results(self):
        rng = random.Random(17)
        lines = [HEADER.encode() + bytes([b]) + b"4C" for b in range(256)]
        lines += [bytes(rng.randrange(256) for _ in range(rng.randrange(200))) for _ in range(300)]
        lines += [HEADER.encode() + bytes(rng.randrange(33, 128) for _ in range(400))
                  for _ in range(300)]
        lines += [HEADER + "4C\udcff", "", "\n", "\r", HEADER + "4" + "C" * 3_000_000,
                  HEADER + "4!" + "C" * 20_000 + "!" + "f" * 5_000]
        for line in lines:
            r = tav.convert(line)
            check_shape(self, r)
            if r.ok and r.number.isprintable():
                xml.dom.minidom.parseString(r.data)
        self.assertEqual(tav.convert(HEADER + "4" + "C" * 3_000_000).status, "too_large")
        self.assertEqual(tav.convert("\n").status, "blank")
        with self.assertRaises(TypeError):
            tav.convert(17)
        with self.assertRaises(OSError):
            tav.convert_file(os.path.join(HERE, "missing.txt"), HERE)

    def test_marcxml_records(self):
        """read_marcxml from a path and from bytes; convert and convert_file
        give the batch command's documents, with their description."""
        path, raw = CATALOGUE, bytes_of(CATALOGUE)
        reader = tav.read_marcxml(path)
        records, met = [], []  # the reader's messages before each record, and after the last
        for r in reader:
            records.append(r)
            met.append((r.control_number, [m[0] for m in reader.messages]))
        met.append((None, [m[0] for m in reader.messages]))
        self.assertEqual(reader.counts, {"records": 7, "incipits": 5, "without_music": 1,
                                         "other_system": 1, "without_control_number": 1,
                                         "errors": 3})
        self.assertEqual(tav.COUNT_CODES, {"other_system": "other_notation_system",
                                           "without_control_number": "no_control_number"})
        self.assertEqual(met, [("000051650", []), ("000051650", []), ("1001145660", []),
                               ("000112233", ["warning", "error", "error"]),
                               ("000112235", ["error"]), (None, [])])
        with open(path, "rb") as f, gzip.open(path + ".gz") as g:
            for same in (raw, gzip.compress(raw), path + ".gz", f, g, Trickle(raw),
                         Trickle(gzip.compress(raw), 3), read_only(raw)):
                self.assertEqual([(r.control_number, r.occurrence) for r in records],
                                 [(r.control_number, r.occurrence)
                                  for r in tav.read_marcxml(same)], same)
        # What a file object's read raises comes out of the iteration.
        for source, error in [(Trickle(raw[:3000], fault=KeyError("gone")), KeyError),
                              (types.SimpleNamespace(read=lambda n: "<collection>"), TypeError),
                              (types.SimpleNamespace(read=lambda n: b"<" * (n + 1)), ValueError)]:
            with self.subTest(error=error), self.assertRaises(error):
                list(tav.read_marcxml(source))
        with open(path) as text, self.assertRaises(TypeError):
            tav.read_marcxml(text)
        first = tav.convert(records[0], musicxml="4.0")
        self.assertIn('<creator type="composer">Dussek, Jan Ladislav</creator>', first.xml)
        self.assertEqual(tav.convert(records[0], compress=True).data[:4], b"PK\x03\x04")
        with tempfile.TemporaryDirectory() as out:
            self.assertEqual(tav.convert_file(path + ".gz", out)[:2], (4, 4))
            report = tav.convert_file(path, out)
            self.assertEqual(report[:2], (4, 4))
            # as in the batch command's report: the field passed over with its warning
            self.assertEqual([(line, r.status, [m.code for m in r.messages], p.control_number,
                               p.occurrence, p.from_reader)
                              for p in report.problems for line, r in [p]],
                             [(66, "failed", ["other_notation_system"], "1001145660", 2, True),
                              (75, "failed", ["no_control_number"], "", 0, True),
                              (84, "failed", ["control_number_not_identifier"], "pl-kk 12", 0,
                               True),
                              (92, "failed", ["unknown_sign"], "000112233", 1, False),
                              (109, "failed", ["malformed_xml"], "000112234", 0, True)])
            copy = pickle.loads(pickle.dumps(report))
            self.assertEqual((copy[:3], problems_of(copy)), (report[:3], problems_of(report)))
            with open(os.path.join(out, "51650-1.1.1.xml"), "rb") as f:
                self.assertEqual(f.read(), tav.convert(records[0]).data)
        with self.assertRaises(ValueError):
            tav.convert(records[0], musicxml="2.0")

    def test_source_descriptions(self):
        """A record's source, creators, work and keys as the properties of its
        incipits, kept through pickling; their 4.0 documents are tav_convert's."""
        e2e_lib.require(os.path.exists(TAV_CONVERT), "no tav_convert beside the program")
        records = list(tav.read_marcxml(SOURCES))
        first = records[0]
        self.assertEqual([first.location, first.work_number, first.scoring, first.date,
                          first.composer_dates, first.role, first.movement_number,
                          first.key_or_mode, first.key_in_words, records[1].key_in_words],
                         ['D-B Mus.ms. 15 <a> & "b"', "KV 527", "S, orch", "1787", "1756-1791",
                          "Donna Anna; Elvira", "1.1.1", "E|b", "E\u266d major", "F\u266f minor"])
        self.assertEqual(first.creators, [("librettist", "Da Ponte, Lorenzo"),
                                          ("arranger", "Arranger, An"), ("lyricist", 'Poet & "Son"')])
        self.assertEqual([(r.work_number, r.scoring, r.location) for r in records[2:4]],
                         [("op. 3/2", "vl", "GB-Lbl"), ("", "S, A, T", "Ms. 1")])
        copies = pickle.loads(pickle.dumps(records))
        names = [a for a in dir(first) if not a.startswith("_")]
        self.assertEqual([[getattr(c, a) for a in names] for c in copies],
                         [[getattr(r, a) for a in names] for r in records])
        uri = "https://example.org/{id}?a=<1>&b={id}"
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([TAV_CONVERT, "-q", "--musicxml", "4.0", "--record-uri", uri, "-o", out,
                            SOURCES], check=True)
            tav.convert_file(SOURCES, os.path.join(out, "py"), musicxml="4.0", record_uri=uri)
            for r in copies:
                name = "%d-%s.xml" % (int(r.identifier), r.number)
                expected = dated(bytes_of(os.path.join(out, name)))
                self.assertEqual(dated(tav.convert(r, musicxml="4.0", record_uri=uri).data), expected)
                self.assertEqual(dated(bytes_of(os.path.join(out, "py", name))), expected)
            self.assertIn(b"<relation>https://example.org/300?a=&lt;1&gt;&amp;b=300</relation>",
                          bytes_of(os.path.join(out, "300-1.1.1.xml")))
            # The descriptions, as the module reads them and as tav_convert's documents carry them.
            expected = descriptions()
            self.assertEqual([{k: [list(c) for c in v] if k == "creators" else v for k, v in
                               ((k, getattr(r, k)) for k in expected[0])} for r in records], expected)
            for r, e in zip(records, expected):
                name = "%d-%s.xml" % (int(r.identifier), r.number)
                carried = described(bytes_of(os.path.join(out, name)))
                self.assertEqual(carried, {k: e[k] for k in carried}, name)

    def test_hostile_marcxml_table(self):
        """The front ends' shared table of hostile MARCXML, through read_marcxml:
        the incipits in order, the messages as (kind, 001) in any order."""
        for case in e2e_lib.hostile_cases():
            if "python" not in case["for"]:
                continue
            with self.subTest(case["name"]):
                reader = tav.read_marcxml(case["input"])
                incipits, messages = [], []
                for r in reader:
                    messages += [(m[0], m[2] or "-") for m in reader.messages]
                    incipits.append(" ".join([r.control_number, r.number, r.music]) +
                                    (" | " + r.composer if r.composer else ""))
                messages += [(m[0], m[2] or "-") for m in reader.messages]
                self.assertEqual(incipits, case["incipits"])
                self.assertEqual(sorted(messages), case["messages"])

    def test_key_value_and_json_table(self):
        """The readers' shared table through convert_file, by from_ and by the
        input's start: each incipit's file is its record line's document, the
        problems' codes the table's and its lines' own."""
        self.assertEqual(tav.input_forms(), ["tab", "marcxml", "pae", "json"])
        for case in e2e_lib.reader_cases():
            lines = [tav.convert(v) for w, v in case["expected"] if w == "tab"]
            codes = sorted([m.code for r in lines for m in r.messages] +
                           [v for w, v in case["expected"] if w != "tab"])
            for from_ in [case["form"]] + (["auto"] if case["start"] == case["form"] else []):
                with self.subTest(case["name"], from_=from_), tempfile.TemporaryDirectory() as out:
                    report = tav.convert_file(io.BytesIO(case["input"]), out, from_=from_)
                    self.assertEqual(report.written, len(lines))
                    self.assertEqual(sorted(m.code for p in report.problems
                                            for m in p.result.messages), codes)
                    for r in lines:
                        with open(os.path.join(out, r.file_name), "rb") as f:
                            self.assertEqual(f.read(), r.data)
        with self.assertRaisesRegex(ValueError, '"auto", "tab", "marcxml", "pae" or "json"'):
            tav.convert_file(io.BytesIO(b""), ".", from_="yaml")

    def test_marcxml_reader_guards(self):
        """A folder is an OSError; a reader read from two threads at once is
        refused, as a generator is, and the reading goes on unharmed."""
        with self.assertRaises(IsADirectoryError):
            tav.read_marcxml(HERE)
        one = e2e_lib.HOSTILE_RECORD % (1, "4C//") + "</record>"
        reader = tav.read_marcxml(("<collection>" + one * 20000 + "</collection>").encode())
        refused, read = [], []

        def take():
            try:
                read.extend(r.control_number for r in reader)
            except ValueError as e:
                refused.append(str(e))
        threads = [threading.Thread(target=take) for _ in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(len(read), 20000)


def write(path, data):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def tree(top):
    return sorted(os.path.relpath(os.path.join(d, f), top)
                  for d, _, files in os.walk(top) for f in files)


class Files(unittest.TestCase):
    def test_convert_file_cases(self):
        good = [(HEADER.replace("1.1.1", "1.%d" % i) + "4C").encode() for i in range(20)]
        first = "123456789-1.0.xml"
        # name, input files, path, out_dir, exception or (written, failed, blank
        # lines, problem lines), files afterwards beside the inputs
        cases = [
            ("blank lines are passed over", {"in.txt": b"\n".join(good[:10] + [b""] + good[10:])},
             "in.txt", "out", (20, 0, 1, []), 21),
            ("CR LF and a failed record", {"in.txt": good[0] + b"\r\n\r\n" + b"x\t1\r\n"},
             "in.txt", "a/b/c", (1, 1, 1, [3]), 2),
            ("lone CR line ends", {"in.txt": b"\r".join(good + [b"", b"x\t1"])},
             "in.txt", "out", (20, 1, 1, [22]), 21),
            ("zero byte in the path", {"in.txt": good[0]}, "in.txt\0x", "out", ValueError, 1),
            ("zero byte in the folder", {"in.txt": good[0]}, "in.txt", "out\0x", ValueError, 1),
            ("missing input", {}, "missing.txt", "out", FileNotFoundError, 0),
            ("folder is a file", {"in.txt": good[0], "out": b""}, "in.txt", "out/x", OSError, 2),
            ("input is the first output", {"io/" + first: b"\n".join(good)},
             "io/" + first, "io", ValueError, 1),
            ("input is a later output", {"io/" + first: b"\n".join(good[1:] + good[:1])},
             "io/" + first, "io/.", ValueError, 1),
            ("input file object is an output", {"io/" + first: b"\n".join(good)},
             "rb:io/" + first, "io", ValueError, 1),
        ]
        for name, files, path, out_dir, expected, count in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as top:
                for f, data in files.items():
                    write(os.path.join(top, f), data)
                opened = path.startswith("rb:")  # the input as a file object
                path, out_dir = os.path.join(top, path[3 * opened:]), os.path.join(top, out_dir)
                if isinstance(expected, type):
                    with self.assertRaises(expected), open(path, "rb") if opened else \
                            contextlib.nullcontext(path) as source:
                        tav.convert_file(source, out_dir)
                else:
                    report = tav.convert_file(path, out_dir)
                    self.assertEqual(report[:3], expected[:3])
                    self.assertEqual([line for line, _ in report.problems], expected[3])
                    self.assertTrue(all(r.data == b"" for _, r in report.problems))
                self.assertEqual(len(tree(top)), count, tree(top))
                for f, data in files.items():
                    with open(os.path.join(top, f), "rb") as g:
                        self.assertEqual(g.read(), data, f)

    def test_every_input_reads_the_same(self):
        """A path, a FIFO fed by another thread, file objects (read a few bytes
        at a time, gzip) give the same report and files: MARCXML recognised by
        its start, or read as from_ says; line ends across the 64 KiB blocks."""
        line = (HEADER + "4C").encode()
        # a CR LF, then a lone CR, across the first and second block boundaries
        first = (HEADER + "4").encode().ljust(65535, b"C") + b"\r\n"
        second = line + b"\r" + b"x\t1\n"
        third = (HEADER + "4").encode().ljust(131071 - len(first + second), b"D") + b"\r"
        tab = first + second + third + b"\r\n" + line + b"\x004D\r\n" + line
        self.assertEqual((tab[65535:65537], tab[131071:131073]), (b"\r\n", b"\r\r"))
        marc = bytes_of(CATALOGUE)
        for name, data, from_, counts in [
            ("tab", tab, "auto", (5, 1, 1)), ("marcxml", marc, "auto", (4, 4, 0)),
            ("marcxml read as tab", marc, "tab", (0, 126, 0)),
            ("tab read as marcxml", tab, "marcxml", (0, 1, 0)),
        ]:
            seen = []
            for way in ("path", "fifo", "trickle", "gzip", "read only"):
                with self.subTest(name, way=way), tempfile.TemporaryDirectory() as top:
                    out = os.path.join(top, "out")
                    if way in ("path", "fifo"):
                        source = os.path.join(top, "in")
                        (os.mkfifo if way == "fifo" else lambda p: write(p, data))(source)
                        feed = threading.Thread(target=write, args=(source, data), daemon=True)
                        if way == "fifo":
                            feed.start()
                    else:
                        source = {"trickle": Trickle(data, 3), "read only": read_only(data),
                                  "gzip": gzip.GzipFile(fileobj=io.BytesIO(gzip.compress(data)))
                                  }[way]
                    report = tav.convert_file(source, out, from_=from_)
                    self.assertEqual(report[:3], counts)
                    seen.append((problems_of(report),
                                 {f: bytes_of(os.path.join(out, f)) for f in tree(out)}))
                    self.assertEqual(seen[-1], seen[0])
        with tempfile.TemporaryDirectory() as out:
            with self.assertRaises(ValueError):
                tav.convert_file(io.BytesIO(tab), out, from_="csv")
            with self.assertRaises(KeyError):
                tav.convert_file(Trickle(tab[:100], fault=KeyError("gone")), out)
            self.assertEqual(os.listdir(out), [])

    def test_results_pickle_and_cross_processes(self):
        lines = lines_of(EXAMPLES)[:20] + [HEADER + "4C[D", b"\n"]
        results = list(map(tav.convert, lines))
        records = list(tav.read_marcxml(CATALOGUE))
        direct = [fields(tav.convert(r)) for r in records]
        with multiprocessing.get_context("spawn").Pool(2) as pool:
            for copies in (pickle.loads(pickle.dumps(results)), pool.map(tav.convert, lines)):
                self.assertEqual([fields(r) for r in copies], [fields(r) for r in results])
            for copies in ([tav.convert(r) for r in pickle.loads(pickle.dumps(records))],
                           pool.map(tav.convert, tav.read_marcxml(CATALOGUE))):
                self.assertEqual([fields(r) for r in copies], direct)
        copy = pickle.loads(pickle.dumps(records[0]))
        self.assertEqual([getattr(copy, a) for a in dir(copy) if not a.startswith("_")],
                         [getattr(records[0], a) for a in dir(copy) if not a.startswith("_")])

    def test_melody_keys_as_the_report_gives_them(self):
        """Result.melody has one property for each field of a --keys report
        line, with its value, for every record of a tab file and of a
        catalogue; a failed record has no melody."""
        e2e_lib.require(os.path.exists(TAV_CONVERT), "no tav_convert beside the program")
        import json
        for path, convert in ((CORPUS, lambda: map(tav.convert, lines_of(CORPUS))),
                              (CATALOGUE, lambda: map(tav.convert, tav.read_marcxml(CATALOGUE)))):
            run = subprocess.run([TAV_CONVERT, "-n", "-q", "--keys", "--report", "-", path],
                                 stdout=subprocess.PIPE, check=False)
            lines = [json.loads(l) for l in run.stdout.splitlines()]
            reported = {(l["identifier"], l["number"]): l for l in lines
                        if l["type"] == "record" and l["status"] != "passed_over"}
            results = [r for r in convert() if r.status != "blank"]
            self.assertGreater(len(results), 4)
            names = [n for n in dir(tav.Melody) if not n.startswith("_") and n != "keys_json"]
            for r in results:
                line = reported[(r.identifier, r.number)]
                if not r.ok:
                    self.assertEqual(len(r.melody), 0)
                    self.assertNotIn("pitches", line)
                    continue
                keys = {n: line[n] for n in line if n in json.loads(r.melody.keys_json())}
                self.assertEqual(sorted(keys), sorted(names))
                self.assertEqual(keys, {n: getattr(r.melody, n) for n in names})
                self.assertEqual(len(r.melody), len(keys["pitches"]))
                self.assertEqual(pickle.loads(pickle.dumps(r)).melody, r.melody)

    def test_formats_table(self):
        """Every row of tav.formats(), and its container where it has one: the
        files convert_file writes are tav_convert --format's, named with the
        row's suffix, the container's media types the row's; musicxml= names
        the same rows; a name of no row, or a container the row has not, is a
        ValueError."""
        e2e_lib.require(os.path.exists(TAV_CONVERT), "no tav_convert beside the program")
        line = b"100000049\t1.1.1\tG-2\t4/4\t\t4C8DE/2F//\n"
        for f, compress in [(f, False) for f in tav.formats()] + [
                (f, True) for f in tav.formats() if f.compressible]:
            with self.subTest(f.name, compress=compress), tempfile.TemporaryDirectory() as top:
                write(os.path.join(top, "in.txt"), line)
                tav.convert_file(os.path.join(top, "in.txt"), os.path.join(top, "py"),
                                 format=f.name, compress=compress)
                subprocess.run([TAV_CONVERT, "-q", "-o", "cli", "--format", f.name] +
                               ["--compress"] * compress + ["in.txt"], cwd=top, check=True)
                name = "100000049-1.1.1" + (f.compressed_suffix if compress else f.suffix)
                self.assertEqual(os.listdir(os.path.join(top, "py")), [name])
                data = [open(os.path.join(top, d, name), "rb").read() for d in ("py", "cli")]
                self.assertEqual(data[0], data[1])
                r = tav.convert(line, format=f.name, compress=compress)
                self.assertEqual((r.file_name, r.data), (name, data[0]))
                if f.family == "musicxml":
                    self.assertEqual(tav.convert(line, musicxml=f.version, compress=compress).data,
                                     r.data)
                if compress:
                    with zipfile.ZipFile(io.BytesIO(r.data)) as z:
                        self.assertEqual(z.read("mimetype").decode(), f.compressed_media_type)
                        self.assertIn('media-type="%s"' % f.media_type,
                                      z.read("META-INF/container.xml").decode())
        for wrong in [dict(format="mxl"), dict(format="musicxml1", musicxml="4.0")] + [
                dict(format=f.name, compress=True) for f in tav.formats() if not f.compressible]:
            with self.subTest(wrong=wrong), self.assertRaises(ValueError):
                tav.convert(line, **wrong)

    def test_command_line(self):
        env = dict(os.environ, PYTHONPATH=PACKAGE_PATH)
        bad = HEADER + "4C[D\n"
        for name, args, stdin_lines, status, err in [
            ("examples", [EXAMPLES], [], 0, r"(?m)^python -m tav: 61 written, 0 failed"),
            ("a failed record", ["bad.txt"], [bad], 1,
             r"^bad\.txt:1: error: 123456789-1\.1\.1: char: \[, ascii: 91, i: 27\n"),
            ("missing file", ["missing.txt"], [], 2, r"No such file or directory"),
            ("bad option", ["--mensural=maybe", "x"], [], 2, r"invalid choice"),
        ]:
            with self.subTest(name), tempfile.TemporaryDirectory() as top:
                write(os.path.join(top, "bad.txt"), "".join(stdin_lines).encode())
                run = subprocess.run([sys.executable, "-m", "tav", "-o", "out"] + args,
                                     cwd=top, env=env, capture_output=True, text=True)
                self.assertEqual(run.returncode, status, run.stderr)
                self.assertRegex(run.stderr, err)
        # The README's synopsis names the options --help names.
        usage = subprocess.run([sys.executable, "-m", "tav", "--help"], env=env,
                               capture_output=True, text=True).stdout.split("\n\n")[0].split("tav", 1)[1]
        with open(README, encoding="utf-8") as f:
            synopsis = re.search(r"`python -m tav ([^`]*)`", f.read()).group(1)
        option = r"(?<![\w-])(--?[a-zA-Z][a-z-]*)"
        self.assertEqual(set(re.findall(option, synopsis)), set(re.findall(option, usage)))

    def test_command_line_reads_standard_input(self):
        """MARCXML on standard input: the batch command's message lines."""
        e2e_lib.require(os.path.exists(TAV_CONVERT), "no tav_convert beside the program")
        env = dict(os.environ, PYTHONPATH=PACKAGE_PATH)
        # Each option of the shared table, given to both, means the same.
        shared = ["--format", "musicxml4", "--record-uri", "https://example.org/{id}",
                  "--measure-rests=remove", "--mensural=remove", "--from", "marcxml"]
        self.assertEqual({o["name"] for o in tav.shared_options()} - {"musicxml", "compress"},
                         {a[2:].split("=")[0] for a in shared if a.startswith("--")})
        for options in ([], shared):
            with self.subTest(options=options), tempfile.TemporaryDirectory() as top:
                ours, theirs = (subprocess.run(cmd, input=bytes_of(CATALOGUE), cwd=top, env=env,
                                               capture_output=True)
                                for cmd in ([sys.executable, "-m", "tav", "-o", "out", "-"] + options,
                                            [TAV_CONVERT, "-o", "out2", "-"] + options))
                self.assertEqual((ours.returncode, theirs.returncode), (1, 1))
                self.assertEqual(ours.stderr.splitlines()[:-1], theirs.stderr.splitlines()[:-1])
                self.assertEqual(len(ours.stderr.splitlines()), 6, ours.stderr)
                self.assertEqual(tree(os.path.join(top, "out")), tree(os.path.join(top, "out2")))

    def test_readme_example_runs_as_written(self):
        with open(README, encoding="utf-8") as f:
            example = re.search(r"```python\n(.*?)```", f.read(), re.S).group(1)
        with tempfile.TemporaryDirectory() as top:
            write(os.path.join(top, "examples", "incipits.txt"), b"".join(lines_of(EXAMPLES)))
            run = subprocess.run([sys.executable, "-c", example], cwd=top, capture_output=True,
                                 text=True, env=dict(os.environ, PYTHONPATH=PACKAGE_PATH))
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertIn("FileReport(written=61, failed=0, blank_lines=0", run.stdout)


class Search(unittest.TestCase):
    def test_search_gives_what_tav_search_gives(self):
        with tempfile.TemporaryDirectory() as d:
            db = os.path.join(d, "catalogue.sqlite")
            out = os.path.join(d, "out")
            subprocess.run([TAV_CONVERT, "-q", "--database", db, "-o", out, CATALOGUE],
                           capture_output=True)
            if not os.path.exists(db):
                self.skipTest("this build has no catalogue database")
            for name in os.listdir(out):
                identifier, number = name.rsplit(".", 1)[0].split("-", 1)
                with open(os.path.join(out, name), "rb") as f:
                    self.assertEqual(tav.document(db, identifier, number), f.read(), name)
            self.assertRaises(RuntimeError, tav.document, db, "7", "1.1.1")
            search = os.path.join(os.path.dirname(TAV_CONVERT), "tav_search")
            for query, options in [("+2 +2 +1", {}), ("'4C8DEF", {"exact": True, "hits": 1}),
                                   ("UUD", {}), ("+11 +11 +11", {})]:
                argv = [search, db, query, "--json"] + ["--" + k for k in options if k != "hits"]
                argv += ["-n", str(options.get("hits", 10))]
                lines = subprocess.run(argv, capture_output=True).stdout.decode().splitlines()
                hits = tav.search(db, query, **options)
                self.assertEqual([json.loads(line) for line in lines],
                                 [dict(h, score=round(h["score"], 3)) for h in hits], query)
            self.assertEqual(tav.search(db, "+2 +2 +1 +4")[0]["identifier"], "51650")
            for query, error in [("", ValueError), ("+2 +x", ValueError), ("'", ValueError)]:
                self.assertRaises(error, tav.search, db, query)
            self.assertRaises(RuntimeError, tav.search, os.path.join(d, "none"), "UUD")
            self.assertRaises(ValueError, tav.search, db, "+2 +2", exact=True)


class Package(unittest.TestCase):
    def test_stub_names_docstrings_and_version(self):
        with open(os.path.join(os.path.dirname(tav.__file__), "__init__.pyi")) as f:
            stub = ast.parse(f.read())
        names = {n.name for n in stub.body if isinstance(n, (ast.ClassDef, ast.FunctionDef))
                 and not n.name.startswith("_")}
        self.assertEqual(names | {"__version__", "COUNT_CODES"}, set(tav.__all__))
        for c in (n for n in stub.body if isinstance(n, ast.ClassDef) and n.name in names):
            members = {n.name if isinstance(n, ast.FunctionDef) else n.target.id for n in c.body}
            members = {m for m in members if not m.startswith("_")}
            cls = getattr(tav, c.name)
            self.assertEqual(members, {m for m in dir(cls) if not m.startswith("_")}
                             - {"count", "index"}, c.name)
            for m in members:
                self.assertTrue(getattr(cls, m).__doc__, c.name + "." + m)
        for f in names - {"Message", "Result", "FileReport"}:
            self.assertTrue(getattr(tav, f).__doc__, f)
        self.assertTrue(os.path.exists(os.path.join(os.path.dirname(tav.__file__), "py.typed")))
        with open(os.path.join(ROOT, "VERSION")) as f:
            self.assertEqual(tav.__version__, f.read().strip())

    def test_stub_against_the_module_with_mypy(self):
        """stubtest finds the stub true to the module, and mypy takes the
        calls of the README while refusing a MusicXML version it lacks."""
        abi = "%d.%d" % sys.version_info[:2]
        python = next((p for p in (sys.executable, "/usr/bin/python3") if subprocess.run(
            [p, "-c", "import mypy, sys; assert '%d.%d' % sys.version_info[:2] == " + repr(abi)],
            capture_output=True).returncode == 0), None)
        e2e_lib.require(python, "mypy is not installed for Python %s (Debian: python3-mypy): "
                        "the stub is not checked against the module" % abi)
        env = dict(os.environ, PYTHONPATH=PACKAGE_PATH, MYPYPATH=PACKAGE_PATH)
        use = ("import gzip, sys, tav\n"
               "r = tav.read_marcxml(gzip.open('x.gz'))\n"
               "report = tav.convert_file(sys.stdin.buffer, 'out', from_='tab')\n"
               "for line, result in report.problems:\n"
               "    status: str = result.status\n"
               "tav.convert(next(r), musicxml='3.0')\n")
        with tempfile.TemporaryDirectory() as top:
            stubtest = subprocess.run([python, "-m", "mypy.stubtest", "tav"], cwd=top, env=env,
                                      capture_output=True, text=True)
            self.assertEqual(stubtest.returncode, 0, stubtest.stdout + stubtest.stderr)
            typed = subprocess.run([python, "-m", "mypy", "-c", use], cwd=top, env=env,
                                   capture_output=True, text=True)
        self.assertEqual(re.findall(r"<string>:(\d+): error", typed.stdout), ["6"], typed.stdout)

    def test_backend_metadata_and_sdist(self):
        sys.path.insert(0, os.path.join(ROOT, "python"))
        import build_backend
        with tempfile.TemporaryDirectory() as top:
            info = build_backend.prepare_metadata_for_build_wheel(top)
            with open(os.path.join(top, info, "METADATA")) as f:
                metadata = f.read()
            self.assertIn("\nVersion: %s\n" % tav.__version__, metadata)
            self.assertIn("\nLicense: MIT\n", metadata)
            with tarfile.open(os.path.join(top, build_backend.build_sdist(top))) as sdist:
                names = set(sdist.getnames())
                base = "tav-%s/" % tav.__version__
                for name in ("PKG-INFO", "pyproject.toml", "VERSION", "LICENSE", "CMakeLists.txt",
                             "python/build_backend.py", "python/tav/__init__.pyi",
                             "src/record/converter.cpp", "include/tav/tav.h"):
                    self.assertIn(base + name, names)
                self.assertIn(b'backend-path = ["python"]',
                              sdist.extractfile(base + "pyproject.toml").read())


if __name__ == "__main__":
    unittest.main()
