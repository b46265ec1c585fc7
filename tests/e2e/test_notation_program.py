"""The files open in a real notation program: every example incipit is
converted and loaded into the verovio toolkit (pinned in tests/verovio),
rendered to SVG and exported to MEI. Each file must load and render without
an error, and the toolkit must read as many measures (a multi-measure rest
of N counting N), notes (grace notes included) and rests as the file holds.
The MEI of the examples and of generated and corpus records must read, in
the toolkit, as the MusicXML 4.0 of the same records: the same measures,
notes, rests, and note values in order.
A catalogue record's 4.0 document has its titles and composer printed, hostile
texts as the texts they are.
Skipped without node or the toolkit (`npm ci` in tests/verovio), except in CI."""

import html
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

import e2e_lib as e2e

TOOLKIT_DIR = os.path.join(e2e.ROOT, "tests", "verovio")
INSTALLED = os.path.join(TOOLKIT_DIR, "node_modules", "verovio", "package.json")


def file_counts(data):
    """(measures, pitched notes, rests) of one MusicXML file."""
    root = ET.fromstring(data)
    measures = root.findall("./part/measure")
    notes = [n for m in measures for n in m.findall("note")]
    rests = sum(1 for n in notes if n.find("rest") is not None)
    return len(measures), len(notes) - rests, rests


def toolkit_counts(result):
    """(measures, notes, rests) as the toolkit read them, multi-measure rests
    spread out over the measures they stand for."""
    multi = result["multirests"]
    return (result["measures"] + sum(n - 1 for n in multi), result["notes"],
            result["rests"] + result["mrests"] + sum(multi))


def load(files):
    """The toolkit's reading of each of `files` (name -> bytes), by name."""
    with tempfile.TemporaryDirectory(prefix="tav_toolkit_") as work:
        for name, data in files.items():
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)
        proc = subprocess.run(["node", os.path.join(TOOLKIT_DIR, "load_and_count.js")]
                              + sorted(files), cwd=work,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=600, env=dict(os.environ, NODE_PATH=""))
    assert proc.returncode == 0, proc.stderr.decode("utf-8", "replace")[-2000:]
    results = {}
    for line in proc.stdout.decode("utf-8").splitlines():
        result = json.loads(line)
        results[result["file"]] = result
    return results


def reading(result):
    """What the toolkit read of one file: its counts and its values, a whole
    rest alone in its measure taken as the measure rest it stands for."""
    values = result["durations"]
    return (toolkit_counts(result), ["M" if v == "R1" else v for v in values])


class NotationProgram(unittest.TestCase):

    def test_mei_reads_as_musicxml(self):
        self.require_toolkit()
        generated = subprocess.run([sys.executable, os.path.join(e2e.ROOT, "bench", "gen_records.py"),
                                    "400", "2005"], stdout=subprocess.PIPE, check=True).stdout
        corpus = b"\n".join(e2e.read("tests/data/corpus_records.txt").split(b"\n")[:300])
        inputs = {"examples.txt": e2e.read("examples/incipits.txt"), "generated.txt": generated,
                  "corpus.txt": corpus}
        mei = e2e.run(["-q", "--format", "mei"] + sorted(inputs), files=inputs, exe=e2e.CONVERT)
        xml = e2e.run(["-q", "--format", "musicxml4"] + sorted(inputs), files=inputs, exe=e2e.CONVERT)
        self.assertGreater(len(mei.files), 700)
        self.assertEqual({n[:-4] for n in mei.files}, {n[:-4] for n in xml.files})
        results = load({**mei.files, **xml.files})
        compared = 0
        for name in sorted(mei.files):
            ours, theirs = results[name], results[name[:-4] + ".xml"]
            with self.subTest(file=name):
                self.assertTrue(ours["loaded"], ours["errors"])
                self.assertEqual((ours["errors"], ours["warnings"]), ([], []))
                if theirs["loaded"]:  # the toolkit fails on a few MusicXML files of its own
                    compared += 1
                    self.assertEqual(reading(ours), reading(theirs))
        self.assertGreater(compared, 0.95 * len(mei.files))

    def require_toolkit(self):
        e2e.require(shutil.which("node"), "node not found (Debian package nodejs)")
        e2e.require(os.path.isfile(INSTALLED), "the toolkit is not installed: npm ci in tests/verovio")
        with open(INSTALLED, encoding="utf-8") as f:
            installed = json.load(f)["version"]
        with open(os.path.join(TOOLKIT_DIR, "package-lock.json"), encoding="utf-8") as f:
            pinned = json.load(f)["packages"]["node_modules/verovio"]["version"]
        self.assertEqual(installed, pinned, "tests/verovio/node_modules is stale: npm ci there")

    def test_catalogue_titles_and_composer_are_printed(self):
        """A 4.0 document of a catalogue record: the toolkit prints its work
        title, movement title and composer at the top of the first page."""
        self.require_toolkit()
        r = e2e.run(["--musicxml", "4.0", "in.xml"], exe=e2e.CONVERT,
                    files={"in.xml": e2e.read("tests/data/marcxml/sources.xml")})
        if b"built without libxml2" in r.stderr:
            self.skipTest("this build reads no MARCXML")
        results = load(r.files)
        self.assertEqual(results["200001-1.1.1.xml"]["page_head"][:3],
                         ["Don Giovanni", "Ouverture", "Mozart, Wolfgang Amadeus"])
        self.assertEqual(results["300-1.1.1.xml"]["page_head"], ["Sonata"])
        # Hostile texts are drawn as the texts they are, the very long title whole.
        hostile = results["400002-1.1.1.xml"]
        self.assertEqual((hostile["errors"], hostile["warnings"]), ([], []))
        title, *rest = [html.unescape(text) for text in hostile["page_head"]]
        self.assertEqual(rest, ['Allegro </movement-title>\t"ma" \'non\' & troppo',
                                '</creator> &amp; "\u0427\u0430\u0439\u043a\u043e\u0432\u0441\u043a\u0438\u0439" '
                                '\'\u041f\u0451\u0442\u0440\' \U0001d11e', '<lyricist type="x"/>'])
        self.assertEqual(title, " ".join("Sonata %d a violino solo e basso & cembalo," % i for i in range(1, 81)))

    def test_examples_load_with_all_their_notes(self):
        self.require_toolkit()
        r = e2e.run(["-f", "in.txt"], files={"in.txt": e2e.read("examples/incipits.txt")})
        self.assertGreaterEqual(len(r.files), 50)
        results = load(r.files)

        for name in sorted(r.files):
            result = results[name]
            with self.subTest(file=name):
                self.assertTrue(result["loaded"], result["errors"])
                self.assertEqual(result["errors"], [])
                self.assertTrue(result["svg_ok"], "no SVG page rendered")
                self.assertEqual(result["warnings"], [])
                self.assertEqual(toolkit_counts(result), file_counts(r.files[name]),
                                 "(measures, notes, rests): toolkit vs file")


if __name__ == "__main__":
    e2e.main()
