"""The files open in a real notation program: every example incipit is
converted and loaded into the verovio toolkit (pinned in tests/verovio),
rendered to SVG and exported to MEI. Each file must load and render without
an error, and the toolkit must read as many measures (a multi-measure rest
of N counting N), notes (grace notes included) and rests as the file holds.
Skipped when node or the toolkit is missing (`npm ci` in tests/verovio)."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_lib as e2e  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
EXAMPLES = os.path.join(ROOT, "examples", "incipits.txt")
TOOLKIT_DIR = os.path.join(ROOT, "tests", "verovio")
SCRIPT = os.path.join(TOOLKIT_DIR, "load_and_count.js")
INSTALLED = os.path.join(TOOLKIT_DIR, "node_modules", "verovio", "package.json")
LOCK = os.path.join(TOOLKIT_DIR, "package-lock.json")
NODE = shutil.which("node")

# The toolkit reads "flat-flat", not "double-flat": the note loads, and
# only the flat is not drawn.
ALLOWED_WARNINGS = ["Unsupported accidental value 'double-flat'"]


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
    return (result["measures"] + sum(n - 1 for n in multi),
            result["notes"],
            result["rests"] + result["mrests"] + sum(multi))


def pinned_version():
    with open(LOCK, encoding="utf-8") as f:
        return json.load(f)["packages"]["node_modules/verovio"]["version"]


@unittest.skipUnless(NODE, "node not found: files not loaded into the notation program")
@unittest.skipUnless(os.path.isfile(INSTALLED),
                     "verovio toolkit not installed: run `npm ci` in tests/verovio")
class NotationProgram(unittest.TestCase):

    def test_examples_load_with_all_their_notes(self):
        with open(INSTALLED, encoding="utf-8") as f:
            installed = json.load(f)["version"]
        self.assertEqual(installed, pinned_version(),
                         "tests/verovio/node_modules is stale: run `npm ci` there")

        with open(EXAMPLES, "rb") as f:
            r = e2e.run(["-f", "in.txt"], files={"in.txt": f.read()}, timeout=600)
        self.assertEqual(r.status, 0, r.err[-2000:])
        self.assertGreaterEqual(len(r.files), 50)

        with tempfile.TemporaryDirectory(prefix="tav_toolkit_") as work:
            for name, data in r.files.items():
                with open(os.path.join(work, name), "wb") as f:
                    f.write(data)
            proc = subprocess.run([NODE, SCRIPT] + sorted(r.files), cwd=work,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  timeout=600, env=dict(os.environ, NODE_PATH=""))
        self.assertEqual(proc.returncode, 0, proc.stderr.decode("utf-8", "replace")[-2000:])
        results = {}
        for line in proc.stdout.decode("utf-8").splitlines():
            result = json.loads(line)
            results[result["file"]] = result
        self.assertEqual(set(results), set(r.files))

        for name in sorted(r.files):
            result = results[name]
            with self.subTest(file=name):
                self.assertTrue(result["loaded"], result["errors"])
                self.assertEqual(result["errors"], [])
                self.assertTrue(result["svg_ok"], "no SVG page rendered")
                unexpected = [w for w in result["warnings"]
                              if not any(a in w for a in ALLOWED_WARNINGS)]
                self.assertEqual(unexpected, [])
                self.assertEqual(toolkit_counts(result), file_counts(r.files[name]),
                                 "(measures, notes, rests): toolkit vs file")


if __name__ == "__main__":
    e2e.main()
