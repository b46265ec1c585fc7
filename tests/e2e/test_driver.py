"""The batch driver end to end: command line, banner and waits, log file,
line reading, progress, the end of the run, and record messages."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_lib as e2e  # noqa: E402

DATA = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "data")


def data_text(name):
    with open(os.path.join(DATA, name), "rb") as f:
        return f.read().decode("latin-1")


HELP = data_text("help.txt")
MSG_M = "\nOkay, mensural time signatures are removed.\n"
MSG_R = "\nOkay, measure rests are removed.\n"
MSG_X = "\nOkay, XML file will not be created.\n"
UNKNOWN = "\nUnknown option(s), try ./tav2005_10.exe -h for help.\n"
TRY_HELP = "Try ./tav2005_10.exe -h for help\n"
FOOBAR = "\nFile is f00bar.\n"
RUN = e2e.START + e2e.DONE  # stdout of a run whose records print nothing

# Record 000000123, number 07, G-2, 3/4, empty second field, music "$bB".
EXAMPLE = e2e.record("000000123", "07", "G-2", "3/4", "", "$bB")
EXAMPLE_XML = data_text("123-07.xml")  # the file 123-07.xml, byte for byte


def rec(ident, number, music="4C", time1="3/4", time2=""):
    return e2e.record(ident, number, "G-2", time1, time2, music)


def text(data):
    return data.decode("latin-1")


class CommandLine(unittest.TestCase):
    def test_cases(self):
        written = {"123-07.xml": e2e.file_bytes(EXAMPLE_XML)}
        inp = {"in.txt": EXAMPLE}
        # name, argv, input files, dirs, status, stdout, stderr, log made, files made
        cases = [
            ("no argument", [], inp, [], 1, "", TRY_HELP, False, {}),
            ("help", ["-h", "in.txt"], inp, [], 0, HELP, "", False, {}),
            ("m then help", ["-mh", "in.txt"], inp, [], 0, MSG_M + HELP, "", False, {}),
            ("m then unknown", ["-mq", "in.txt"], inp, [], 1, MSG_M + UNKNOWN, "", False, {}),
            ("unknown before help", ["-qh", "in.txt"], inp, [], 1, UNKNOWN, "", False, {}),
            ("first character not read", ["xm", "in.txt"], inp, [], 0, MSG_M + RUN, "", True,
             written),
            ("no letters", ["-", "in.txt"], inp, [], 0, RUN, "", True, written),
            ("empty option argument", ["", "in.txt"], inp, [], 0, RUN, "", True, written),
            ("f", ["-f", "in.txt"], inp, [], 0, "\n" + RUN, "", True, written),
            ("mf", ["-mf", "in.txt"], inp, [], 0, MSG_M + "\n" + RUN, "", True, written),
            ("letter twice", ["-rr", "in.txt"], inp, [], 0, MSG_R + MSG_R + RUN, "", True,
             written),
            ("no files", ["-xf", "in.txt"], inp, [], 0, MSG_X + "\n" + RUN, "", True, {}),
            ("extra arguments ignored", ["-f", "in.txt", "other"], inp, [], 0, "\n" + RUN, "",
             True, written),
            ("no file name", ["-m"], inp, [], 1, MSG_M, FOOBAR, False, {}),
            ("missing file", ["-f", "missing.txt"], inp, [], 1, "\n", FOOBAR, False, {}),
            ("directory as input", ["-f", "adir"], inp, ["adir"], 1, "\n", FOOBAR, False, {}),
            ("empty input", ["-f", "empty.txt"], {"empty.txt": b""}, [], 0, "\n" + RUN, "", True,
             {}),
        ]
        for name, argv, files, dirs, status, out, err, log, made in cases:
            with self.subTest(name):
                r = e2e.run(argv, files=files, dirs=dirs)
                self.assertEqual(r.status, status, r.err)
                self.assertEqual(r.out, out)
                self.assertEqual(r.err, err)
                self.assertEqual(r.log, e2e.log_bytes() if log else None)
                self.assertEqual(r.files, made)

    def test_letter_twice_keeps_the_option_on(self):
        # Field 4 mensural, field 5 numeric: the time is dropped while m is on.
        inp = {"in.txt": rec("000000001", "1", time1="c3", time2="3/2")}
        for argv, has_time in ((["-f", "in.txt"], True), (["-mm", "in.txt"], False)):
            with self.subTest(argv[0]):
                xml = text(e2e.run(argv, files=inp).files["1-1.xml"])
                self.assertEqual("<beats>3</beats>" in xml, has_time)
                self.assertIn("Mensural Notation", xml)


class LineReading(unittest.TestCase):
    A = rec("000000001", "1")
    B = rec("000000002", "1")

    def test_cases(self):
        # The key's last letter is the file's last byte: the line is read whole.
        last_without_feed = rec("000000002", "1", music="$bBE")[:-1]
        # name, input, stdout, files made
        cases = [
            ("one record", self.A, RUN, ["1-1.xml"]),
            ("last line without line feed", self.A + last_without_feed, RUN,
             ["1-1.xml", "2-1.xml"]),
            ("only line without line feed", last_without_feed, RUN, ["2-1.xml"]),
            ("line feed alone", b"\n", e2e.START + e2e.EOF_QUIT, []),
            ("blank line ends the run", self.A + b"\n" + self.B, e2e.START + e2e.EOF_QUIT,
             ["1-1.xml"]),
            ("carriage return starts a blank line", self.A + b"\r\n" + self.B,
             e2e.START + e2e.EOF_QUIT, ["1-1.xml"]),
        ]
        for name, data, out, made in cases:
            with self.subTest(name):
                r = e2e.run(["-", "in.txt"], files={"in.txt": data})
                self.assertEqual(r.status, 0)
                self.assertEqual(r.out, out)
                self.assertEqual(r.err, "")
                self.assertEqual(r.log, e2e.log_bytes())
                self.assertEqual(sorted(r.files), made)
                if "2-1.xml" in made:
                    self.assertIn("<fifths>-2</fifths>", text(r.files["2-1.xml"]))


def runs(out):
    """Stdout with each run of "poop" lines written as one "poop xN" line."""
    return re.sub(r"(?:poop\n)+", lambda m: "poop x%d\n" % (len(m.group(0)) // 5), out)


class Progress(unittest.TestCase):
    def test_progress_lines(self):
        # Every record prints "poop", which shows where the progress lines fall.
        line = rec("000000001", "1", music="[$bB] 4C")
        ten = "Processing... 10% done.\n"
        twenty = "Processing... 20% done.\n"
        cases = [
            (3, "poop x3\n"),
            (5219, "poop x5219\n"),
            (5220, "poop x5220\n" + ten),
            (5221, "poop x5220\n" + ten + "poop x1\n"),
            (10440, "poop x5220\n" + ten + "poop x5220\n" + twenty),
        ]
        for count, records in cases:
            with self.subTest(records=count):
                r = e2e.run(["-x", "in.txt"], files={"in.txt": line * count})
                self.assertEqual(r.status, 0)
                self.assertEqual(runs(r.out), MSG_X + e2e.START + records + e2e.DONE)
                self.assertEqual(r.files, {})


class RecordMessages(unittest.TestCase):
    NEXT = rec("000000999", "1")  # a good record after each case: the run goes on

    def check(self, line, out, messages, made):
        r = e2e.run(["-", "in.txt"], files={"in.txt": line + self.NEXT})
        self.assertEqual(r.status, 0, r.err)
        self.assertEqual(r.out, e2e.START + out + e2e.DONE)
        self.assertEqual(r.err, "".join(m[0] for m in messages))
        self.assertEqual(r.log, e2e.log_bytes(*(m[1] for m in messages)))
        self.assertEqual(sorted(r.files), sorted(made + ["999-1.xml"]))
        return r

    def test_record_errors(self):
        cases = [
            ("line ends after number", b"000000123\t07\n", 123, "07",
             "line ends after the incipit number"),
            ("no identifier", b"abc\n", 0, "", "no incipit identifier found"),
            ("blank before no identifier", b" \t\n", 0, "", "no incipit identifier found"),
            ("no number", b"000000123\n", 123, "", "no incipit number found"),
            ("no digit in number field", b"000000123\tabc\n", 123, "",
             "no incipit number found"),
        ]
        for name, line, ident, number, reason in cases:
            with self.subTest(name):
                self.check(line, "", [e2e.record_error(ident, number, reason)], [])

    def test_bracket_warning_on_both_streams(self):
        warning = e2e.warning(5, "1", "removing time signature within []")
        cases = [
            ("after the key", "$bB[E] 4C", "", -1, -2),
            ("whole key", "[$bB] 4C", "poop\n", None, -1),
        ]
        for name, music, out, key, corrected in cases:
            with self.subTest(name):
                r = self.check(rec("000000005", "1", music=music), out, [warning], ["5-1.xml"])
                xml = text(r.files["5-1.xml"])
                self.assertIn('<miscellaneous-field name="Corrected Key Signature">%d'
                              '</miscellaneous-field>' % corrected, xml)
                self.assertEqual("<fifths>" in xml, key is not None)
                if key is not None:
                    self.assertIn("<fifths>%d</fifths>" % key, xml)
                self.assertEqual(xml.count("<note>"), 1)

    def test_number_escaped_in_document(self):
        cases = [("1&2", "1&amp;2")]
        if not e2e.WINDOWS:  # < and > cannot be in a Windows file name
            cases.append(("1<&>", "1&lt;&amp;&gt;"))
        for number, written in cases:
            with self.subTest(number):
                r = self.check(rec("000000123", number), "", [], ["123-%s.xml" % number])
                self.assertIn('<miscellaneous-field name="Vellum - Incipit NB">%s'
                              '</miscellaneous-field>' % written,
                              text(r.files["123-%s.xml" % number]))


if __name__ == "__main__":
    e2e.main()
