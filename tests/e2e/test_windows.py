"""What the Windows build must do like the Linux one (run on every build),
and where Windows file names differ (run only with --windows)."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_lib as e2e  # noqa: E402

CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data",
                      "corpus_records.txt")
ARGS = ["-f", "in.txt"]


def rec(ident, number, music="4C"):
    return e2e.record(ident, number, "G-2", "4/4", "", music)


class LineEnds(unittest.TestCase):
    # Records whose last sign touches the line end, where a CR could be
    # taken for part of the music.
    EDGES = (rec("000000001", "1", "$bBE") + rec("000000002", "1", "4C/")
             + rec("000000003", "1", "4C//") + rec("000000004", "1", "4C://")
             + rec("000000005", "1", "4C/ ") + rec("000000006", "1", "4C+")
             + rec("000000007", "1", "{8CD}"))

    def check_line_ends(self, name, data):
        """Every line of a file ends with CR LF on Windows, LF elsewhere."""
        rest = data.replace(b"\r\n", b"") if e2e.WINDOWS else data.replace(b"\n", b"")
        self.assertNotIn(b"\r", rest, name)
        self.assertNotIn(b"\n", rest, name)

    def test_crlf_input_converts_like_lf_input(self):
        with open(CORPUS, "rb") as f:
            corpus = f.read()
        cases = [
            ("corpus", corpus),
            ("signs at the line end", self.EDGES),
            ("last line without line feed", self.EDGES[:-1]),
        ]
        for name, lf in cases:
            with self.subTest(name):
                self.assertNotIn(b"\r", lf)
                a = e2e.run(ARGS, files={"in.txt": lf})
                b = e2e.run(ARGS, files={"in.txt": lf.replace(b"\n", b"\r\n")})
                self.assertEqual(a.status, 0)
                self.assertTrue(a.out.endswith(e2e.DONE))
                self.assertGreater(len(a.files), 2)
                self.assertEqual((b.status, b.stdout, b.stderr, b.log, b.files),
                                 (a.status, a.stdout, a.stderr, a.log, a.files))
                self.check_line_ends("tav_errors.log", a.log)
                for file_name, data in a.files.items():
                    self.check_line_ends(file_name, data)


class FileNames(unittest.TestCase):
    def test_names_written_as_on_linux(self):
        # ASCII only: other bytes go through the ANSI code page on Windows.
        numbers = ["1.1.1", "07", "1 2", "1&2", "1-a_B", "1'2", "1%d%s", "1.", "1~1", "1;2=3"]
        data = b"".join(rec("000000123", n) for n in numbers)
        r = e2e.run(ARGS, files={"in.txt": data})
        self.assertEqual((r.status, r.err), (0, ""))
        self.assertEqual(sorted(r.files), sorted("123-%s.xml" % n for n in numbers))

    def test_input_in_another_folder_writes_to_the_working_directory(self):
        def setup(work):
            os.mkdir(os.path.join(work, "sub"))
            with open(os.path.join(work, "sub", "in.txt"), "wb") as f:
                f.write(rec("000000001", "1"))

        paths = ["sub/in.txt"] + (["sub\\in.txt"] if e2e.WINDOWS else [])
        for path in paths:
            with self.subTest(path):
                r = e2e.run(["-f", path], setup=setup)
                self.assertEqual(r.status, 0)
                self.assertEqual(list(r.files), ["1-1.xml"])
                self.assertEqual(r.log, e2e.log_bytes())


class WindowsNames(unittest.TestCase):
    def setUp(self):
        if not e2e.WINDOWS:
            self.skipTest("Windows file names only (--windows)")

    def test_names_windows_cannot_hold(self):
        records, messages = [], []
        for i, c in enumerate('<>:"|?*'):
            number = "1%s2" % c
            records.append(rec("00000001%d" % i, number))
            messages.append(e2e.record_error(
                10 + i, number, "cannot create output file %d-%s.xml" % (10 + i, number)))
        good = rec("000000099", "1")
        r = e2e.run(ARGS, files={"in.txt": b"".join(records) + good})
        self.assertEqual(r.status, 0)
        self.assertEqual(r.out, "\n" + e2e.START + e2e.DONE)
        self.assertEqual(r.err, "".join(m[0] for m in messages))
        self.assertEqual(r.log, e2e.log_bytes(*(m[1] for m in messages)))
        # No stray file either, such as "12-1" from a ':' taken for a stream.
        self.assertEqual(list(r.files), ["99-1.xml"])

    def test_names_differing_in_case_share_one_file(self):
        data = rec("000000123", "1a", "$bB 4C") + rec("000000123", "1A", "$xF 4D")
        r = e2e.run(ARGS, files={"in.txt": data})
        self.assertEqual(r.status, 0)
        warning, _ = e2e.warning(123, "1A", "output file 123-1A.xml written twice in this run,"
                                 " the earlier file is replaced")
        self.assertEqual(r.err, warning)
        self.assertEqual(len(r.files), 1)
        (name, xml), = r.files.items()
        self.assertEqual(name.lower(), "123-1a.xml")
        self.assertIn(b">1A</miscellaneous-field>", xml)
        self.assertIn(b"<fifths>1</fifths>", xml)


if __name__ == "__main__":
    e2e.main()
