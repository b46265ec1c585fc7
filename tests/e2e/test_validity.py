"""Every file the converter writes is valid MusicXML 1.0 and valid against the
MusicXML 4.0 schema: the examples (with the options f, mf and rf), 3000
generated records and a table of awkward records are converted and checked
with xmllint (Debian package libxml2-utils), offline, against the DTD through
the catalog of its folder (tests/data/schemas/musicxml-1.0, or
TAV_MUSICXML_DTD_DIR) and against the XSD of tests/data/schemas/musicxml-4.0."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import e2e_lib as e2e

DTD_DIR = os.environ.get("TAV_MUSICXML_DTD_DIR") or os.path.join(e2e.ROOT, "tests", "data",
                                                                  "schemas", "musicxml-1.0")
CATALOG = os.path.join(os.path.abspath(DTD_DIR), "catalog.xml")
XSD_DIR = os.path.join(e2e.ROOT, "tests", "data", "schemas", "musicxml-4.0")
MEI_RNG = os.path.join(e2e.ROOT, "tests", "data", "schemas", "mei-4.0.1", "mei-CMN.rng")

# Records whose features neither the examples nor the generated ones reach:
# (clef, time, time 2, music).
AWKWARD = [
    ("G-2", "o", "", "1C2DE/9F//"), ("C-3", "c3", "", "1C2D/1E//"), ("F-4", "\\-", "\\-", "4,C8DE//"),
    ("G-2", "4/4", "", "(8ABC;0)4D//"), ("G-2", "4/4", "", "(6ABCDEFGABCDE;12)4D//"),
    ("G-2", "4/4", "", "{(8AB+CD/EF//"), ("G-2", "4/4", "", "4g-qq-A-r4C//"),
    ("G-2", "4/4", "", "4C$xF$bB4D/4E//"), ("G-2", "4/4", "", "4C%C-1%F-44D/4E//"),
    ("G-2", "4/4", "", "4C/=3/%F-41,C//"), ("G-2", "3/4", "", "//:4CDE://"),
    ("G-2", "4/4", "", "2C+/(2C)t2D//"), ("G-2", "4/4", "", "!4CD!ff/1E//"),
    ("G-2", "4/4", "", "0C9D1E2F4G8A6B3C5D7E//"), ("G-2", "4/4", "", "2..C8D4...E//"),
    ("G-2", "4/4", "", "[$xFC] 4C//"),
    ("G-2", "4/4", "", "'4C^E^G2D/{8C^xED^,B}2.'E^G/(8C^EDE)4F2G//"),
    ("G-2", "4/4", "", "'4C%F-4 ,4C2C/4C%C-1%F-4,4C$xF4F@3/4 4F=2//"),
    ("G-2", "4/4", "", "'8G/4C^E+C^E^G+/C^G2C+8C+gC/1C+/i/!2D+D!f4E+xE+-//"),
]


class Validity(unittest.TestCase):
    def check(self, data, options="-f", musicxml4=False):
        e2e.require(shutil.which("xmllint"), "xmllint not found (Debian package libxml2-utils)")
        e2e.require(os.path.isfile(CATALOG), "no MusicXML 1.0 DTD catalog at %s; set "
                    "TAV_MUSICXML_DTD_DIR to the DTD folder" % CATALOG)
        r = (e2e.run(["-q", "--musicxml", "4.0", "in.txt"], files={"in.txt": data}, exe=e2e.CONVERT)
             if musicxml4 else e2e.run([options, "in.txt"], files={"in.txt": data}))
        self.assertEqual(r.status, 0)
        self.assertEqual(len(r.files), sum(1 for l in data.split(b"\n") if l.strip()))
        with tempfile.TemporaryDirectory(prefix="tav_valid_") as work:
            for name, content in r.files.items():
                with open(os.path.join(work, name), "wb") as f:
                    f.write(content)
            names = sorted(r.files)
            xsd = ["--schema", os.path.join(XSD_DIR, "musicxml.xsd")]
            for catalog, how in ((CATALOG, ["--valid"]),
                                 (os.path.join(XSD_DIR, "catalog.xml"), xsd))[musicxml4:]:
                for start in range(0, len(names), 400):
                    proc = subprocess.run(["xmllint", "--nonet", "--noout"] + how
                                          + names[start:start + 400], cwd=work,
                                          env=dict(os.environ, XML_CATALOG_FILES=catalog),
                                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                    faults = [l for l in proc.stderr.decode("latin-1").splitlines()
                              if not l.endswith(" validates")]
                    self.assertEqual((proc.returncode, faults[:20]), (0, []))

    def test_examples(self):
        for options in ("-f", "-mf", "-rf"):
            with self.subTest(options):
                self.check(e2e.read("examples/incipits.txt"), options)

    def test_generated_records(self):
        self.check(subprocess.run([sys.executable, os.path.join(e2e.ROOT, "bench", "gen_records.py"),
                                   "3000", "2005"], stdout=subprocess.PIPE, check=True).stdout)

    def test_awkward_records(self):
        self.check(b"".join(("9000000%02d\t1&%d\t%s\t%s\t%s\t%s\n" % ((n, n) + row)).encode()
                            for n, row in enumerate(AWKWARD)))

    def test_musicxml4_documents(self):
        """tav_convert --musicxml 4.0 (ties, pickups): valid against the XSD."""
        for data in (e2e.read("examples/incipits.txt"),
                     subprocess.run([sys.executable, os.path.join(e2e.ROOT, "bench", "gen_records.py"),
                                     "3000", "2005"], stdout=subprocess.PIPE, check=True).stdout,
                     b"".join(("9000000%02d\t1&%d\t%s\t%s\t%s\t%s\n" % ((n, n) + row)).encode()
                              for n, row in enumerate(AWKWARD))):
            self.check(data, musicxml4=True)

    def test_mei_documents(self):
        """tav_convert --format mei: the examples, the generated records, the
        awkward ones, the test corpus and the catalogue (with its
        descriptions and links to the records), each document valid against the MEI 4.0.1 RelaxNG
        schema."""
        e2e.require(shutil.which("xmllint"), "xmllint not found (Debian package libxml2-utils)")
        inputs = {"examples.txt": e2e.read("examples/incipits.txt"),
                  "generated.txt": subprocess.run([sys.executable, os.path.join(
                      e2e.ROOT, "bench", "gen_records.py"), "3000", "2005"],
                      stdout=subprocess.PIPE, check=True).stdout,
                  "awkward.txt": b"".join(("9000000%02d\t1&%d\t%s\t%s\t%s\t%s\n" % ((n, n) + row))
                                          .encode() for n, row in enumerate(AWKWARD)),
                  "corpus.txt": e2e.read("tests/data/corpus_records.txt")}
        probe = e2e.run(["-n", "in.xml"], files={"in.xml": b"<record/>"}, exe=e2e.CONVERT)
        if b"built without libxml2" not in probe.stderr:
            inputs["catalogue.xml"] = e2e.read("tests/data/marcxml/catalogue.xml")
            inputs["sources.xml"] = e2e.read("tests/data/marcxml/sources.xml")
        r = e2e.run(["-q", "--format", "mei", "--record-uri", "https://example.org/s/{id}?a=1&b=<{id}>&c=\"'%20 \u00e9{"]
                    + sorted(inputs), files=inputs, exe=e2e.CONVERT)
        self.assertEqual(r.status, 1 if "catalogue.xml" in inputs else 0)  # it fails 4 on purpose
        names = sorted(n for n in r.files if n.endswith(".mei"))
        self.assertGreater(len(names), 5000)
        with tempfile.TemporaryDirectory(prefix="tav_valid_") as work:
            for name in names:
                with open(os.path.join(work, name), "wb") as f:
                    f.write(r.files[name])
            for start in range(0, len(names), 1000):
                proc = subprocess.run(["xmllint", "--nonet", "--noout", "--relaxng", MEI_RNG]
                                      + names[start:start + 1000], cwd=work,
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                faults = [l for l in proc.stderr.decode("latin-1").splitlines()
                          if not l.endswith(" validates")]
                self.assertEqual((proc.returncode, faults[:20]), (0, []))

    def test_catalogue_documents(self):
        """MARCXML in (with every field that describes a source, and a link
        to the record): 1.0 documents valid against the DTD; 4.0 documents
        against the 4.0 XSD; every .mxl passes unzip -t and holds a valid
        document."""
        e2e.require(shutil.which("unzip"), "unzip not found")
        probe = e2e.run(["-n", "in.xml"], files={"in.xml": b"<record/>"}, exe=e2e.CONVERT)
        if b"built without libxml2" in probe.stderr:
            self.skipTest("this build reads no MARCXML")
        schemas = os.path.join(os.path.dirname(os.path.abspath(DTD_DIR)), "musicxml-4.0")
        xsd = ["--schema", os.path.join(schemas, "musicxml.xsd")]
        # A template with characters each format must escape, and text past ASCII.
        link = ["--record-uri", "https://example.org/sources/{id}?a=<1>&b=\"{id}\"&c='%20 \u00e9{'"]
        for source, argv, catalog, check in (
                (source, argv, catalog, check) for source in ("catalogue.xml", "sources.xml")
                for argv, catalog, check in ((["-o", "v"] + link, CATALOG, ["--valid"]),
                                             (["-o", "v", "--musicxml", "4.0"] + link, schemas, xsd),
                                             (["-o", "v", "--musicxml", "4.0", "--compress"],
                                              schemas, xsd))):
            xml = e2e.read("tests/data/marcxml/" + source)
            r = e2e.run(argv + ["in.xml"], files={"in.xml": xml}, exe=e2e.CONVERT, after=e2e.tree)
            with self.subTest(source=source, argv=argv), \
                    tempfile.TemporaryDirectory(prefix="tav_valid_") as work:
                names = []
                for name, content in r.after.items():
                    if name.startswith("v/"):
                        with open(os.path.join(work, name[2:]), "wb") as f:
                            f.write(content)
                        names.append(name[2:])
                self.assertEqual(len(names), {"catalogue.xml": 4, "sources.xml": 5}[source])
                for name in [n for n in names if n.endswith(".mxl")]:
                    self.assertEqual(subprocess.run(["unzip", "-tq", name], cwd=work,
                                                    stdout=subprocess.PIPE).returncode, 0)
                    subprocess.run(["unzip", "-oq", name, "-x", "mimetype", "META-INF/*"], cwd=work,
                                   check=True)
                    names.remove(name)
                    names.append(name[:-4] + ".xml")
                catalog_file = catalog if catalog.endswith(".xml") else os.path.join(catalog, "catalog.xml")
                proc = subprocess.run(["xmllint", "--nonet", "--noout"] + check + names, cwd=work,
                                      env=dict(os.environ, XML_CATALOG_FILES=catalog_file),
                                      stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                problems = [l for l in proc.stdout.decode("latin-1").splitlines()
                            if not l.endswith(" validates")]
                self.assertEqual((proc.returncode, problems[:20]), (0, []))


if __name__ == "__main__":
    e2e.main()
