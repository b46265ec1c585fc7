"""File-system faults end to end: output files, the log file and the input
that cannot be created, written or read. Each gives its message and exit
status, and a record that cannot be written does not stop the run."""

import os
import stat
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_lib as e2e  # noqa: E402

FIRST = e2e.record("123456789", "1", "G-2", "3/4", "", "4C//")
SECOND = e2e.record("000000002", "2", "G-2", "3/4", "", "4D//")
INPUT = {"in.txt": FIRST + SECOND}
FIRST_XML = "123456789-1.xml"
SECOND_XML = "2-2.xml"

AS_ROOT = hasattr(os, "geteuid") and os.geteuid() == 0


def posix_host():
    """True when the program under test runs on this POSIX host itself (not
    a Windows build under Wine). Asked at run time: the options are read
    after this module is loaded."""
    return os.name == "posix" and not e2e.WINDOWS


def full_device():
    return posix_host() and os.path.exists("/dev/full")


def symlink(name, target):
    """setup(): a link `name` in the run's directory pointing at `target`."""
    return lambda work: os.symlink(target, os.path.join(work, name))


def read_only_file(name):
    def setup(work):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(b"old")
        os.chmod(path, stat.S_IRUSR)
    return setup


class OutputFiles(unittest.TestCase):
    """A record whose file cannot be made is reported on both streams and
    the run goes on with the next record; the run still ends with 0."""

    def check_failed_record(self, reason, **setup):
        r = e2e.run(["-f", "in.txt"], files=INPUT, **setup)
        err, log = e2e.record_error(123456789, "1", reason)
        self.assertEqual(r.status, 0)
        self.assertEqual(r.out, "\n" + e2e.START + e2e.DONE)  # "\n" for the letter f
        self.assertEqual(r.err, err)
        self.assertEqual(r.log, e2e.log_bytes(log))
        self.assertIn(SECOND_XML, r.files)
        return r

    def test_directory_in_the_way(self):
        r = self.check_failed_record("cannot create output file " + FIRST_XML, dirs=[FIRST_XML])
        self.assertNotIn(FIRST_XML, r.files)

    def test_read_only_file_in_the_way(self):
        if AS_ROOT or not posix_host():
            self.skipTest("permission bits do not stop root, nor apply under Wine")
        self.check_failed_record("cannot create output file " + FIRST_XML,
                                 setup=read_only_file(FIRST_XML))

    def test_full_device(self):
        if not full_device():
            self.skipTest("needs /dev/full on the host the program runs on")
        # The file opens but nothing can be written: the name is removed.
        self.check_failed_record("cannot write output file " + FIRST_XML,
                                 setup=symlink(FIRST_XML, "/dev/full"))

    def test_numbers_that_cannot_name_a_file(self):
        # With the directory "9-1" present, a name such as "9-1/../x.xml"
        # would land in the working directory and show among the files.
        numbers = ["1/x", "1\\x", "1/../x", "1\\..\\y", "1\x01x"]
        lines = b"".join(e2e.record("000000009", n, "G-2", "3/4", "", "4C//")
                         for n in numbers)
        r = e2e.run(["-f", "in.txt"], files={"in.txt": lines + SECOND}, dirs=["9-1"])
        self.assertEqual(r.status, 0)
        self.assertEqual(sorted(r.files), [SECOND_XML])
        for n in numbers:
            err, log = e2e.record_error(9, n, "incipit number is not a safe file name")
            self.assertIn(err, r.err)
            self.assertIn(e2e.file_bytes(log), r.log)

    def test_number_that_xml_cannot_carry(self):
        number = "1\xef\xbf\xbe"  # U+FFFE in UTF-8: no XML document may hold it
        line = e2e.record("123456789", number, "G-2", "3/4", "", "4C//")
        r = e2e.run(["-f", "in.txt"], files={"in.txt": line + SECOND})
        err, _ = e2e.record_error(123456789, number,
                                  "incipit number holds a character that XML cannot carry")
        self.assertEqual((r.status, r.err, sorted(r.files)), (0, err, [SECOND_XML]))


class LogAndInput(unittest.TestCase):
    """Faults of the log file and of the input end the run with status 1
    and their own message; a faulty input shows nothing but the message of
    the letter f, and makes no log."""

    def test_cases(self):
        shown = "\n" + e2e.BANNER + "\n" * 25  # the banner comes before the log
        # (name, run() arguments, stdout, stderr, output files made)
        cases = [
            ("log is a directory", dict(files=INPUT, dirs=["tav_errors.log"]), shown,
             "\nCannot create log file tav_errors.log.\n", []),
            ("input is a directory", dict(dirs=["in.txt"]), "\n", "\nFile is f00bar.\n", []),
            ("input missing", dict(), "\n", "\nFile is f00bar.\n", []),
        ]
        if full_device():
            # The records are converted; the log's loss shows when it is closed.
            cases.append(("log on a full device",
                          dict(files=INPUT, setup=symlink("tav_errors.log", "/dev/full")),
                          "\n" + e2e.START, "\nCannot write log file tav_errors.log.\n",
                          [FIRST_XML, SECOND_XML]))
        if posix_host() and not AS_ROOT:
            def unreadable(work):
                with open(os.path.join(work, "in.txt"), "wb") as f:
                    f.write(FIRST)
                os.chmod(os.path.join(work, "in.txt"), 0)
            cases.append(("input unreadable", dict(setup=unreadable), "\n",
                          "\nFile is f00bar.\n", []))
        for name, kwargs, stdout, stderr, xml in cases:
            with self.subTest(name):
                r = e2e.run(["-f", "in.txt"], **kwargs)
                self.assertEqual(r.status, 1)
                self.assertEqual(r.out, stdout)
                self.assertEqual(r.err, stderr)
                self.assertEqual(sorted(r.files), sorted(xml))
                if name.startswith("input"):
                    self.assertIsNone(r.log)


if __name__ == "__main__":
    e2e.main()
