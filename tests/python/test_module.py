"""The Python module against the program: the same documents, the same
messages, from one thread or several, and structured errors for any bytes.

    TAV_MODULE_DIR=DIR TAV_EXE=PROGRAM python3 tests/python/test_module.py

(or python3 -m pytest tests/python with the same variables). TAV_MODULE_DIR
is where the module is, unless it is installed.
"""

import concurrent.futures
import os
import random
import sys
import tempfile
import unittest
import xml.dom.minidom

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
import e2e_lib  # noqa: E402

if os.environ.get("TAV_MODULE_DIR"):
    sys.path.insert(0, os.environ["TAV_MODULE_DIR"])
import tav  # noqa: E402

e2e_lib.parse_args(["--exe", os.environ["TAV_EXE"]])

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "..", "examples", "incipits.txt")
# The program's files for these are compared here; the corpus digest test
# checks the library's documents for this larger set.
CORPUS = os.path.join(HERE, "..", "data", "corpus_records.txt")
OPTIONS = [("-f", {}), ("-mrf", {"remove_mensural": True, "remove_measure_rests": True})]
STATUSES = {"converted", "failed", "too_large", "line_too_long", "blank"}
HEADER = "123456789\t1.1.1\tG-2\t4/4\t\t"


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


def check_shape(case, r):
    """What holds for any result."""
    case.assertIn(r.status, STATUSES)
    case.assertEqual(r.ok, r.status == "converted")
    case.assertEqual(r.xml.encode("utf-8", "surrogateescape"), r.data)
    errors = [m for m in r.messages if m.kind == "error"]
    case.assertEqual(len(errors), 0 if r.ok or r.status == "blank" else 1, r.messages)
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
                    counts = tav.convert_file(EXAMPLES, out, **options)
                    self.assertEqual(counts, (len(docs), len(results) - len(docs)))
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
        path = os.path.join(HERE, "..", "data", "marcxml", "catalogue.xml")
        with open(path, "rb") as f:
            raw = f.read()
        reader = tav.read_marcxml(path)
        records = list(reader)
        self.assertEqual([(r.control_number, r.occurrence) for r in records],
                         [(r.control_number, r.occurrence) for r in tav.read_marcxml(raw)])
        self.assertEqual([m[0] for m in reader.messages], ["warning", "error", "error", "error"])
        first = tav.convert(records[0], musicxml="4.0")
        self.assertIn('<creator type="composer">Dussek, Jan Ladislav</creator>', first.xml)
        self.assertEqual(tav.convert(records[0], compress=True).data[:4], b"PK\x03\x04")
        with tempfile.TemporaryDirectory() as out:
            self.assertEqual(tav.convert_file(path, out), (4, 4))
            with open(os.path.join(out, "51650-1.1.1.xml"), "rb") as f:
                self.assertEqual(f.read(), tav.convert(records[0]).data)
        with self.assertRaises(ValueError):
            tav.convert(records[0], musicxml="2.0")


if __name__ == "__main__":
    unittest.main()
