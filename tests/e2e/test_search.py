"""The catalogue database end to end: tav_convert --database and tav_search.
Every incipit is found by its own opening in every transposition; a run
that fails or is killed leaves the database as it was; a run again replaces
records rather than adding them; hostile queries are refused clearly."""

import glob
import json
import os
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_lib as e2e  # noqa: E402

TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CATALOGUE = sorted(glob.glob(os.path.join(TESTS, "data", "marcxml", "*.xml")))
OPENING = 6   # notes of the query made from each incipit


def tool(name):
    return os.path.join(os.path.dirname(e2e.CONVERT), name + (".exe" if e2e.WINDOWS else ""))


def run(name, argv, **kw):
    return subprocess.run(e2e.WRAPPER + [tool(name)] + [str(a) for a in argv],
                          capture_output=True, timeout=600, **kw)


def contents(path):
    """Every row of every table, to compare a database before and after."""
    with sqlite3.connect(path) as db:
        return list(db.iterdump())


def incipits(path):
    with sqlite3.connect(path) as db:
        return db.execute("SELECT identifier, number, json_extract(keys, '$.midi') FROM incipits"
                          " JOIN melodic_keys ON incipit = id ORDER BY id").fetchall()


def leb128(blob):
    """The numbers of a postings blob."""
    value, shift = 0, 0
    for byte in blob:
        value |= (byte & 0x7f) << shift
        shift += 7
        if byte < 0x80:
            yield value
            value, shift = 0, 0


def check_index(test, path):
    """Every trigram of every incipit is in the index where it starts, and
    the index holds nothing else."""
    with sqlite3.connect(path) as db:
        keys = {i: json.loads(k)["chromatic_intervals"]
                for i, k in db.execute("SELECT incipit, keys FROM melodic_keys")}
        stored = set()
        for gram, blob in db.execute("SELECT gram, postings FROM ngrams"):
            numbers, incipit = list(leb128(blob)), 0
            for delta, note in zip(numbers[::2], numbers[1::2]):
                incipit += delta
                stored.add((gram, incipit, note))
    wanted = {(((a + 128) << 16) | ((b + 128) << 8) | (c + 128), i, k)
              for i, v in keys.items() for k, (a, b, c) in enumerate(zip(v, v[1:], v[2:]))}
    test.assertEqual(stored, wanted)


def hits_of(stdout):
    return [json.loads(line) for line in stdout.decode().splitlines()]


class Catalogue(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.db = os.path.join(self.dir.name, "catalogue.sqlite")
        first = run("tav_convert", ["-q", "--database", self.db] + CATALOGUE)
        if b"no SQLite" in first.stderr:
            self.skipTest("this build has no catalogue database")
        self.assertIn(first.returncode, (0, 1), first.stderr)

    def tearDown(self):
        self.dir.cleanup()

    def search(self, argv):
        return run("tav_search", [self.db] + argv)

    def test_every_incipit_is_found_by_its_opening_in_every_transposition(self):
        rows = [(i, n, json.loads(m)) for i, n, m in incipits(self.db)]
        queries, wanted = [], {}
        for identifier, number, keys in rows:
            if len(keys) < 2:
                continue
            for shift in range(-12, 13):
                q = e2e.code_of([k + shift for k in keys[:OPENING]])
                queries.append(q)
                # With exact pitch, only the opening as written.
                wanted.setdefault(q, [set(), set()])[0].add((identifier, number))
                if shift == 0:
                    wanted[q][1].add((identifier, number))
        self.assertGreater(len(rows), 5)
        path = os.path.join(self.dir.name, "queries.txt")
        with open(path, "w") as f:
            f.write("\n".join(queries) + "\n")
        for exact, argv in enumerate([[], ["--exact"]]):
            r = self.search(["--queries", path, "--json", "-n", "1000"] + argv)
            self.assertEqual(r.returncode, 0, r.stderr)
            found = {}
            for h in hits_of(r.stdout):
                if h["exact"] and h["note"] == 1:
                    found.setdefault(h["query"], set()).add((h["identifier"], h["number"]))
            for q, ids in wanted.items():
                self.assertEqual(ids[exact] - found.get(q, set()), set(), (q, argv))

    def test_every_incipit_is_found_by_its_own_music_with_pitch_and_rhythm(self):
        # Besides the catalogue: triplets, whose lengths no decimal writes
        # exactly, and music that starts with an octave mark.
        extra = os.path.join(self.dir.name, "extra.txt")
        with open(extra, "w") as f:
            f.write("900001\t1.1.1\tG-2\t4/4\t\t(3'8CDE)4FG/\n"
                    "900002\t1.1.1\tF-4\t3/4\t\t,,8G(6ABC)4D\n")
        self.assertEqual(run("tav_convert", ["-q", "--database", self.db, extra]).returncode, 0)
        with sqlite3.connect(self.db) as db:
            rows = db.execute("SELECT identifier, number, key, music FROM incipits JOIN melodic_keys "
                              "ON incipit = id WHERE status = 'converted' AND "
                              "json_array_length(keys, '$.midi') >= 2"
                              ).fetchall()
        queries = {(("$" + key + " ") if key else "") + music: (identifier, number)
                   for identifier, number, key, music in rows}
        self.assertGreater(len(queries), 8)
        for query, wanted in queries.items():
            r = self.search([query, "--exact", "--rhythm", "--json", "-n", "1000"])
            self.assertEqual(r.returncode, 0, (query, r.stderr))
            found = {(h["identifier"], h["number"]) for h in hits_of(r.stdout)
                     if h["exact"] and h["note"] == 1}
            self.assertIn(wanted, found, query)

    def test_a_query_of_every_kind_finds_a_record_with_its_fields(self):
        for query in ["'4C8DEF", "+2 +2 +1", "2, 2, 1", "UUUUUDDD"]:
            r = self.search([query, "--json"])
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertTrue(hits_of(r.stdout), query)
        r = self.search(["+2 +2 +1 +4", "--json"])
        best = hits_of(r.stdout)[0]
        self.assertEqual((best["identifier"], best["number"], best["composer"], best["note"],
                          best["exact"], best["score"]),
                         ("51650", "1.1.1", "Dussek, Jan Ladislav", 1, True, 1.0))
        table = self.search(["+2 +2 +1 +4"]).stdout.decode().splitlines()
        self.assertTrue(table[0].startswith("incipit  "))
        self.assertIn("51650-1.1.1", table[1])

    def test_a_query_that_matches_nothing_gives_nothing(self):
        for query in ["+11 +11 +11 +11 -11", "+11 -11", "UUUUUUUUUUUUUUUUUUUUUUUUU"]:
            r = self.search([query, "--json"])
            self.assertEqual((r.returncode, r.stdout), (0, b""), query)

    def test_hostile_queries_are_refused_clearly(self):
        for query in ["", "   ", "'" * 5000, "+2 +x", "+2 +2 %", "'", '"', ";", "--", "%",
                      "' OR 1=1 --", "+999 +2", "UUD'; DROP TABLE incipits; --", "+2 +2 2 -"]:
            with self.subTest(query=query):
                r = self.search([query])
                self.assertEqual(r.returncode, 2, r.stderr)
                self.assertEqual(r.stdout, b"")
                self.assertRegex(r.stderr.decode(), r"^tav_search: the query|^tav_search: an int")
        for argv, status in [([], 2), (["UUD", "-n", "0"], 2), (["UUD", "--bogus"], 2),
                             (["+2 +2", "--exact"], 2)]:
            self.assertEqual(self.search(argv).returncode, status, argv)
        for path in [os.path.join(self.dir.name, "none.sqlite"), CATALOGUE[0]]:
            r = run("tav_search", [path, "UUD"])
            self.assertEqual(r.returncode, 1)
            self.assertIn(b"tav_search: cannot", r.stderr)
        self.assertEqual(len(incipits(self.db)), len(incipits(self.db)))

    def test_a_second_run_replaces_its_records(self):
        before = incipits(self.db)
        again = run("tav_convert", ["-q", "--database", self.db] + CATALOGUE)
        self.assertIn(again.returncode, (0, 1))
        self.assertEqual(sorted(incipits(self.db)), sorted(before))
        check_index(self, self.db)
        line = os.path.join(self.dir.name, "one.txt")
        with open(line, "w") as f:
            f.write("51650\t1.1.1\tG-2\t\t4CDEF\n")
        self.assertEqual(run("tav_convert", ["-q", "--database", self.db, line]).returncode, 0)
        after = incipits(self.db)
        self.assertEqual(len(after), len(before))
        check_index(self, self.db)
        self.assertIn(("51650", "1.1.1", "[60,62,64,65]"), after)
        with sqlite3.connect(self.db) as db:
            self.assertEqual(db.execute("SELECT count(*) FROM documents JOIN incipits "
                                        "ON incipit = id WHERE identifier = '51650' AND "
                                        "number = '1.1.1'").fetchone(), (1,))

    def test_documents_read_back_byte_for_byte_as_the_files_written(self):
        for k, form in enumerate([[], ["--format", "mei"], ["--compress"]]):
            db = os.path.join(self.dir.name, "d.sqlite")
            out = os.path.join(self.dir.name, "out%d" % k)
            r = run("tav_convert", ["-q", "--database", db, "-o", out] + form + CATALOGUE)
            self.assertIn(r.returncode, (0, 1), r.stderr)
            files = {os.path.basename(p): p for p in glob.glob(os.path.join(out, "**", "*.*"),
                                                               recursive=True)}
            with sqlite3.connect(db) as c:
                dictionary = c.execute("SELECT dictionary FROM document_dictionary").fetchone()[0]
                rows = c.execute("SELECT identifier, number, file_name, document FROM documents "
                                 "JOIN incipits ON incipit = id").fetchall()
            self.assertGreater(len(rows), 5)
            self.assertEqual(sorted(r[2] for r in rows), sorted(files), form)
            for identifier, number, name, blob in rows:
                with open(files[name], "rb") as f:
                    written = f.read()
                # As a web application reads it: raw deflate, the dictionary preset.
                inflater = zlib.decompressobj(wbits=-15, zdict=dictionary)
                self.assertEqual(inflater.decompress(blob) + inflater.flush(), written, name)
                got = run("tav_search", [db, "--document", f"{identifier}-{number}"])
                self.assertEqual((got.returncode, got.stdout), (0, written), name)
            os.remove(db)
        for name in ["7-1.1.1", "51650", "-1.1.1"]:
            r = self.search(["--document", name])
            self.assertIn(r.returncode, (1, 2), name)
            self.assertRegex(r.stderr.decode(), "^tav_search: (the database holds no|--document)")

    def test_a_database_of_other_tables_is_refused_clearly(self):
        older = os.path.join(self.dir.name, "older.sqlite")
        with sqlite3.connect(older) as db:
            db.executescript("CREATE TABLE incipits (id INTEGER PRIMARY KEY); PRAGMA user_version = 2;")
        before = contents(older)
        for r in [self.search_in(older, ["UUD"]),
                  run("tav_convert", ["-q", "--database", older] + CATALOGUE)]:
            self.assertNotEqual(r.returncode, 0)
            self.assertIn(b"written by an older version of tav_convert", r.stderr)
        self.assertEqual(contents(older), before)

    def search_in(self, path, argv):
        return run("tav_search", [path] + argv)

    def test_a_run_that_fails_leaves_the_database_as_it_was(self):
        before = contents(self.db)
        extra = os.path.join(self.dir.name, "extra.txt")
        with open(extra, "w") as f:
            f.write("7\t1.1.1\tG-2\t\t4CDEF\n")
        r = run("tav_convert", ["-q", "--database", self.db, extra,
                                os.path.join(self.dir.name, "missing.txt")])
        self.assertEqual(r.returncode, 2)
        self.assertIn(b"left as it was", r.stderr)
        self.assertEqual(contents(self.db), before)

    def test_a_run_killed_or_interrupted_leaves_the_database_as_it_was(self):
        if e2e.WINDOWS:
            self.skipTest("signals")
        before = contents(self.db)
        big = os.path.join(self.dir.name, "big.txt")
        with open(big, "w") as f:
            for k in range(400000):
                f.write(f"{k + 1000}\t1.1.1\tG-2\t3/4\t'4CDE8FGAB/''2C4D//\n")
        for sig in (signal.SIGKILL, signal.SIGINT):
            p = subprocess.Popen(e2e.WRAPPER + [tool("tav_convert"), "-q", "-j2", "--database",
                                                self.db, big], stderr=subprocess.PIPE)
            time.sleep(1.0)
            p.send_signal(sig)
            p.communicate(timeout=120)
            self.assertNotEqual(p.returncode, 0)
            self.assertEqual(contents(self.db), before, sig)


if __name__ == "__main__":
    e2e.main()
