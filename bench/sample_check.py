#!/usr/bin/env python3
"""The catalogue's own records through the MARCXML route, checked.

    python3 bench/sample_check.py SAMPLE.xml [--exe PATH] [--keep DIR]

SAMPLE.xml is a MARCXML file of catalogue records, for instance the public
sample of 1000 records in the catalogue software's repository
(housekeeping/import/sample.xml). Its incipits are converted four ways by
tav_convert: from the MARCXML as MusicXML 1.0, as MusicXML 4.0 and as
compressed 4.0 (.mxl), and from the tab-separated record lines that the
same fields stand for (made here with ElementTree, independently of the
reader). Checked:

- as many documents as 031 fields with music in the Plaine & Easie Code;
- the measures of every document the same, byte for byte, by both routes;
- composer, title, caption, instrument, text incipit and key or mode of
  every document as the record gives them;
- every 1.0 document valid against the 1.0 DTD, every 4.0 document against
  the 4.0 XSD (xmllint, with the schemas in tests/data/schemas);
- every .mxl sound by `unzip -t`, and the document in it valid.

Prints the counts and the messages of the run, then "all checks passed" or
what failed (exit status 1).
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile
from xml.sax.saxutils import escape

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCHEMAS = os.path.join(ROOT, "tests", "data", "schemas")
SPACE = " \t\n\r"
REPEATED = "dmrt"          # 031 subfields whose repetitions are joined by "; "


def local(tag):
    return tag.rsplit("}", 1)[-1]


def read_records(path):
    """Each record: its 001, composer, title and 031 fields (code -> text)."""
    for _, element in ET.iterparse(path):
        if local(element.tag) != "record":
            continue
        rec = {"001": None, "composer": "", "title": "", "uniform": "", "fields": []}
        for field in element:
            name, tag = local(field.tag), field.get("tag")
            if name == "controlfield" and tag == "001" and rec["001"] is None:
                rec["001"] = (field.text or "").strip(SPACE)
            if name != "datafield":
                continue
            subs = [(s.get("code"), s.text or "") for s in field if local(s.tag) == "subfield"]
            if tag == "031":
                f = {}
                for code, text in subs:
                    if code in f and code in REPEATED:
                        f[code] += "; " + text
                    elif code not in f:
                        f[code] = text
                rec["fields"].append({c: t.strip(SPACE) for c, t in f.items()})
            first_a = next((t.strip(SPACE) for c, t in subs if c == "a"), "")
            key = {"100": "composer", "240": "uniform", "245": "title"}.get(tag)
            if key and not rec[key]:
                rec[key] = first_a
        element.clear()
        yield rec


def tab_line(rec, f):
    music = f["p"]
    key = f.get("n", "")
    if key:
        music = ("" if key.startswith("$") else "$") + key + " " + music
    null = lambda s: s if s else "\\-"
    return "\t".join([rec["001"], "%s.%s.%s" % (f.get("a", ""), f.get("b", ""), f.get("c", "")),
                      null(f.get("g", "")), null(f.get("o", "")), "", music])


def expected_texts(rec, f):
    """The texts the document must hold, as they are written in it."""
    title = rec["uniform"] or rec["title"]
    texts = ["<part-name>%s</part-name>" % escape(f.get("m") or "MusicXML Part")]
    if rec["composer"]:
        texts.append('<creator type="composer">%s</creator>' % escape(rec["composer"]))
    if title:
        texts.append("<work-title>%s</work-title>" % escape(title))
    if f.get("d"):
        texts.append("<movement-title>%s</movement-title>" % escape(f["d"]))
    if f.get("t"):
        texts.append('<miscellaneous-field name="Text incipit">%s</miscellaneous-field>'
                     % escape(f["t"]))
    if f.get("r"):
        texts.append('<miscellaneous-field name="Key or mode">%s</miscellaneous-field>'
                     % escape(f["r"]))
    return texts


def convert(exe, args, out, report):
    r = subprocess.run([exe, "-q", "-o", out, "--report-all", "--report", report] + args,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False)
    if r.returncode not in (0, 1):
        sys.exit("tav_convert %s: exit %d: %s" % (" ".join(args), r.returncode, r.stderr.decode()))
    with open(report, encoding="utf-8") as f:
        return [json.loads(line) for line in f if '"type":"record"' in line]


def xmllint(files, catalog, *how):
    """Files that xmllint finds invalid, in groups of 200 a call."""
    bad = []
    env = dict(os.environ, XML_CATALOG_FILES=catalog)
    for i in range(0, len(files), 200):
        group = files[i:i + 200]
        r = subprocess.run(["xmllint", "--nonet", "--noout", *how, *group], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False)
        if r.returncode != 0:
            text = r.stderr.decode(errors="replace")
            bad += [g for g in group if g + ":" in text]
    return bad


def body(path):
    with open(path, "rb") as f:
        data = f.read()
    return data[data.index(b"<part id="):]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("sample")
    ap.add_argument("--exe", default=os.path.join(ROOT, "build", "release", "tav_convert"))
    ap.add_argument("--keep", help="folder for the outputs (default: a temporary one)")
    args = ap.parse_args()

    records = list(read_records(args.sample))
    fields = [(rec, f) for rec in records for f in rec["fields"]]
    with_music = [(rec, f) for rec, f in fields if f.get("p")]
    incipits = [(rec, f) for rec, f in with_music if f.get("2", "") in ("", "pe")]
    print("records %d, 031 fields %d, with music %d, in the Plaine & Easie Code %d"
          % (len(records), len(fields), len(with_music), len(incipits)))

    work = args.keep or tempfile.mkdtemp(prefix="tav_sample_")
    os.makedirs(work, exist_ok=True)
    out = {k: os.path.join(work, k) for k in ("v1", "v4", "mxl", "tab")}
    tab = os.path.join(work, "sample.txt")
    with open(tab, "w", encoding="utf-8", newline="\n") as f:
        for rec, field in incipits:
            f.write(tab_line(rec, field) + "\n")
    src = ["--from", "marcxml", args.sample]
    rows = convert(args.exe, src, out["v1"], os.path.join(work, "v1.jsonl"))
    convert(args.exe, ["--musicxml", "4.0"] + src, out["v4"], os.path.join(work, "v4.jsonl"))
    convert(args.exe, ["--musicxml", "4.0", "--compress"] + src, out["mxl"],
            os.path.join(work, "mxl.jsonl"))
    tab_rows = convert(args.exe, [tab], out["tab"], os.path.join(work, "tab.jsonl"))

    failures = []
    for row in rows:
        for m in row["messages"]:
            print("  %s %s 031 #%s: %s" % (m["kind"], row["control_number"], row["occurrence"],
                                          m["text"]))
    written = [r for r in rows if r["file"]]
    print("documents: %d from MARCXML, %d from tab lines" % (
        len(written), sum(1 for r in tab_rows if r["file"])))
    converted = [r for r in rows if r["occurrence"] > 0 and r["status"] != "passed_over"]
    if len(converted) != len(incipits):
        failures.append("%d incipits in the report for %d in the file"
                        % (len(converted), len(incipits)))

    by_key = {(rec["001"], i + 1): (rec, f) for rec in records
              for i, f in enumerate(rec["fields"])}
    differ, missing = [], []
    for r in written:
        name = r["file"]
        rec, f = by_key[(r["control_number"], r["occurrence"])]
        with open(os.path.join(out["v1"], name), encoding="utf-8") as doc:
            text = doc.read()
        missing += [(name, t) for t in expected_texts(rec, f) if t not in text]
        other = os.path.join(out["tab"], name)
        if not os.path.exists(other) or body(other) != body(os.path.join(out["v1"], name)):
            differ.append(name)
    print("measures differing from the tab route: %d" % len(differ))
    print("metadata missing: %d" % len(missing))
    failures += ["measures differ: " + n for n in differ[:10]]
    failures += ["%s lacks %s" % m for m in missing[:10]]

    names = [r["file"] for r in written]
    dtd = xmllint([os.path.join(out["v1"], n) for n in names],
                  os.path.join(SCHEMAS, "musicxml-1.0", "catalog.xml"), "--valid")
    catalog4 = os.path.join(SCHEMAS, "musicxml-4.0", "catalog.xml")
    xsd = ["--schema", os.path.join(SCHEMAS, "musicxml-4.0", "musicxml.xsd")]
    v4 = xmllint([os.path.join(out["v4"], n) for n in names], catalog4, *xsd)
    print("invalid against the 1.0 DTD: %d; against the 4.0 XSD: %d" % (len(dtd), len(v4)))
    failures += ["not valid (1.0 DTD): " + b for b in dtd[:10]]
    failures += ["not valid (4.0 XSD): " + b for b in v4[:10]]

    inner_dir = os.path.join(work, "mxl_inner")
    os.makedirs(inner_dir, exist_ok=True)
    unzip_bad, inner = [], []
    for n in names:
        mxl = os.path.join(out["mxl"], n[:-len(".xml")] + ".mxl")
        if subprocess.run(["unzip", "-tqq", mxl], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode != 0:
            unzip_bad.append(mxl)
            continue
        with zipfile.ZipFile(mxl) as z:
            container = z.read("META-INF/container.xml").decode()
            path = container.split('full-path="', 1)[1].split('"', 1)[0]
            inner.append(os.path.join(inner_dir, n))
            with open(inner[-1], "wb") as f:
                f.write(z.read(path))
    inner_bad = xmllint(inner, catalog4, *xsd)
    print(".mxl files: %d, failing unzip -t: %d, inner document invalid: %d"
          % (len(names), len(unzip_bad), len(inner_bad)))
    failures += ["unzip -t fails: " + b for b in unzip_bad[:10]]
    failures += ["inner document not valid: " + b for b in inner_bad[:10]]

    for f in failures:
        print("FAILED: " + f)
    print("all checks passed" if not failures else "%d checks failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
