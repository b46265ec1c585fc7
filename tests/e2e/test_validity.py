"""Every file the converter writes is valid MusicXML 1.0: the example
incipits, generated records and awkward records are converted and checked
against the DTD with xmllint, offline, through the catalog of the DTD folder
(../shared/musicxml-1.0 beside the project root, or TAV_MUSICXML_DTD_DIR).
Skipped without xmllint (Debian package libxml2-utils)."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_lib as e2e  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
EXAMPLES = os.path.join(ROOT, "examples", "incipits.txt")
GENERATOR = os.path.join(ROOT, "bench", "gen_records.py")
DTD_DIR = os.path.abspath(os.environ.get("TAV_MUSICXML_DTD_DIR")
                          or os.path.join(ROOT, "..", "shared", "musicxml-1.0"))
CATALOG = os.path.join(DTD_DIR, "catalog.xml")
XMLLINT = shutil.which("xmllint")

CORPUS_COUNT = 3000
CORPUS_SEED = 2005
BATCH = 400  # files per xmllint call

# The warnings the examples raise: two bracketed keys and one neumatic «7.».
BRACKETS = "removing time signature within []"
NEUMATIC = "found a note in neumatic notation (7.), using quarter note instead"
EXAMPLE_WARNINGS = [(100000020, "1.1.1", BRACKETS),
                    (100000021, "1.1.1", BRACKETS),
                    (100000049, "1.1.1", NEUMATIC)]

# Records whose features neither the examples nor the generated corpus reach.
# (name, clef, time, time 2, music)
AWKWARD = [
    ("mensural sign, no field 5", "G-2", "o", "", "1C2DE/9F//"),
    ("c3 without fallback", "C-3", "c3", "", "1C2D/1E//"),
    ("null time field", "F-4", "\\-", "\\-", "4,C8DE//"),
    ("tuplet number 0", "G-2", "4/4", "", "(8ABC;0)4D//"),
    ("tuplet number 12", "G-2", "4/4", "", "(6ABCDEFGABCDE;12)4D//"),
    ("unclosed beam, tuplet, slur", "G-2", "4/4", "", "{(8AB+CD/EF//"),
    ("grace rest and grace group of rests", "G-2", "4/4", "", "4g-qq-A-r4C//"),
    ("two keys in a measure", "G-2", "4/4", "", "4C$xF$bB4D/4E//"),
    ("two clefs in a measure", "G-2", "4/4", "", "4C%C-1%F-44D/4E//"),
    ("clef after multiple rest", "G-2", "4/4", "", "4C/=3/%F-41,C//"),
    ("repeat start at the very start", "G-2", "3/4", "", "//:4CDE://"),
    ("tie into a fermata trill", "G-2", "4/4", "", "2C+/(2C)t2D//"),
    ("triple repetition", "G-2", "4/4", "", "!4CD!ff/1E//"),
    ("all note values", "G-2", "4/4", "", "0C9D1E2F4G8A6B3C5D7E//"),
    ("double dots and triple dots", "G-2", "4/4", "", "2..C8D4...E//"),
    ("markup in the incipit number", "G-2", "4/4", "", "4C//"),
    ("bracket key alone", "G-2", "4/4", "", "[$xFC] 4C//"),
]


def xmllint_failures(directory, names):
    """xmllint's messages for every batch of files that is not all valid."""
    env = dict(os.environ, XML_CATALOG_FILES=CATALOG)
    failures = []
    for start in range(0, len(names), BATCH):
        proc = subprocess.run([XMLLINT, "--nonet", "--noout", "--valid"]
                              + names[start:start + BATCH], cwd=directory, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
        messages = proc.stdout.decode("latin-1")
        if proc.returncode != 0 or messages.strip():
            failures.append(messages[:3000])
    return failures


def record_count(data):
    return sum(1 for line in data.split(b"\n") if line.strip())


@unittest.skipUnless(XMLLINT, "xmllint not found (Debian package libxml2-utils): "
                              "MusicXML files not validated")
class Validity(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        if not os.path.isfile(CATALOG):
            message = ("MusicXML 1.0 DTD catalog not found at %s; set "
                       "TAV_MUSICXML_DTD_DIR to the DTD folder" % CATALOG)
            # CI always has the DTD folder beside the clone: there it must run.
            if os.environ.get("CI"):
                raise AssertionError(message)
            raise unittest.SkipTest(message)

    def convert(self, data, options="-f"):
        r = e2e.run([options, "in.txt"], files={"in.txt": data}, timeout=600)
        self.assertEqual(r.status, 0, r.err[-2000:])
        return r

    def assert_valid(self, files, what):
        self.assertTrue(files, "no file written for " + what)
        with tempfile.TemporaryDirectory(prefix="tav_valid_") as work:
            for name, data in files.items():
                with open(os.path.join(work, name), "wb") as f:
                    f.write(data)
            failures = xmllint_failures(work, sorted(files))
        self.assertEqual(failures, [], "files from %s are not valid:\n%s"
                         % (what, "\n\n".join(failures)))

    def test_examples(self):
        with open(EXAMPLES, "rb") as f:
            data = f.read()
        self.assertNotIn(b"\n\n", data, "a blank line would end the run")
        expected_names = set()
        for line in data.split(b"\n")[:-1]:
            fields = line.decode("latin-1").split("\t")
            expected_names.add("%d-%s.xml" % (int(fields[0]), fields[1]))
        self.assertEqual(len(expected_names), record_count(data),
                         "two examples share an identifier and number")
        for options in ("-f", "-mf", "-rf"):
            with self.subTest(options=options):
                r = self.convert(data, options)
                self.assertEqual(set(r.files), expected_names)
                self.assertEqual(r.log, e2e.log_bytes(*(e2e.warning(i, nb, text)[1]
                                                        for i, nb, text in EXAMPLE_WARNINGS)))
                self.assert_valid(r.files, "examples/incipits.txt " + options)

    def test_generated_corpus(self):
        proc = subprocess.run([sys.executable, GENERATOR, str(CORPUS_COUNT), str(CORPUS_SEED)],
                              stdout=subprocess.PIPE, check=True, timeout=300)
        data = proc.stdout
        self.assertEqual(record_count(data), CORPUS_COUNT)
        r = self.convert(data)
        self.assertNotIn(b"\nERROR,\n", r.log)
        self.assertEqual(len(r.files), CORPUS_COUNT)
        self.assert_valid(r.files, "%d generated records (seed %d)"
                          % (CORPUS_COUNT, CORPUS_SEED))

    def test_awkward_records(self):
        lines = []
        for n, (what, clef, time1, time2, music) in enumerate(AWKWARD, start=1):
            number = "1&2" if what == "markup in the incipit number" else "1.%d" % n
            lines.append(e2e.record("%09d" % (900000000 + n), number, clef, time1, time2, music))
        r = self.convert(b"".join(lines))
        self.assertEqual(len(r.files), len(AWKWARD))
        self.assert_valid(r.files, "awkward records")


if __name__ == "__main__":
    e2e.main()
