"""The files open in a real notation program: every example incipit is
converted and loaded into the verovio toolkit (pinned in tests/verovio),
rendered to SVG and exported to MEI. Each file must load and render without
an error, and the toolkit must read as many measures (a multi-measure rest
of N counting N), notes (grace notes included) and rests as the file holds.
A catalogue record's 4.0 document has its titles and composer printed.
Skipped without node or the toolkit (`npm ci` in tests/verovio), except in CI."""

import json
import os
import shutil
import subprocess
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


class NotationProgram(unittest.TestCase):

    def require_toolkit(self):
        e2e.require(shutil.which("node"), "node not found (Debian package nodejs)")
        e2e.require(os.path.isfile(INSTALLED), "the toolkit is not installed: npm ci in tests/verovio")
        with open(INSTALLED, encoding="utf-8") as f:
            installed = json.load(f)["version"]
        with open(os.path.join(TOOLKIT_DIR, "package-lock.json"), encoding="utf-8") as f:
            pinned = json.load(f)["packages"]["node_modules/verovio"]["version"]
        self.assertEqual(installed, pinned, "tests/verovio/node_modules is stale: npm ci there")

    def load(self, files):
        """The toolkit's reading of each file, by name."""
        with tempfile.TemporaryDirectory(prefix="tav_toolkit_") as work:
            for name, data in files.items():
                with open(os.path.join(work, name), "wb") as f:
                    f.write(data)
            proc = subprocess.run(["node", os.path.join(TOOLKIT_DIR, "load_and_count.js")]
                                  + sorted(files), cwd=work,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  timeout=600, env=dict(os.environ, NODE_PATH=""))
        self.assertEqual(proc.returncode, 0, proc.stderr.decode("utf-8", "replace")[-2000:])
        results = {}
        for line in proc.stdout.decode("utf-8").splitlines():
            result = json.loads(line)
            results[result["file"]] = result
        self.assertEqual(set(results), set(files))
        return results

    def test_catalogue_titles_and_composer_are_printed(self):
        """A 4.0 document of a catalogue record: the toolkit prints its work
        title, movement title and composer at the top of the first page."""
        self.require_toolkit()
        r = e2e.run(["--musicxml", "4.0", "in.xml"], exe=e2e.CONVERT,
                    files={"in.xml": e2e.read("tests/data/marcxml/sources.xml")})
        results = self.load(r.files)
        self.assertEqual(results["200001-1.1.1.xml"]["page_head"][:3],
                         ["Don Giovanni", "Ouverture", "Mozart, Wolfgang Amadeus"])
        self.assertEqual(results["300-1.1.1.xml"]["page_head"], ["Sonata"])

    def test_examples_load_with_all_their_notes(self):
        self.require_toolkit()
        r = e2e.run(["-f", "in.txt"], files={"in.txt": e2e.read("examples/incipits.txt")})
        self.assertGreaterEqual(len(r.files), 50)
        results = self.load(r.files)

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
