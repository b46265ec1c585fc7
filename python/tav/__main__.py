"""python -m tav: converts export files (tab-separated or MARCXML) into a
folder of MusicXML files, as the batch command does, with its options,
messages and exit statuses."""

import argparse
import sys

from . import __version__, convert_file, formats, input_forms

ALL_CONVERTED, SOME_FAILED, RUN_FAILED = 0, 1, 2


def _shown(text):
    """The text with its control characters written as \\xHH."""
    return "".join("\\x%02X" % ord(c) if ord(c) < 32 or ord(c) == 127 else c for c in text)


def _incipit(problem):
    """What the batch command writes before a message's text: ID-NUMBER
    for a converted record, and for a catalogue record its 001 and 031."""
    result = problem.result
    out = "" if problem.from_reader else "%d-%s: " % (result.identifier, _shown(result.number))
    if problem.control_number is not None:
        out += "001 " + (_shown(problem.control_number) or "(none)")
        if problem.occurrence > 0:
            out += " 031 #%d" % problem.occurrence
        out += ": "
    return out


# The MusicXML versions --musicxml takes, each the name of its format.
_MUSICXML = {f.version: f.name for f in formats() if f.family == "musicxml"}


class _MusicXmlVersion(argparse.Action):
    """--musicxml VERSION: another spelling of --format, the last one given counting."""

    def __call__(self, parser, namespace, values, option_string=None):
        namespace.format = _MUSICXML[values]


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python -m tav",
        description="Converts incipit records (tab-separated, one per line, MARCXML "
                    "catalogue records, or the code's key-value or JSON form) into MusicXML "
                    "files.",
        epilog="Exit status: 0 when every record was converted, 1 when some records "
               "failed, 2 for a usage error or a file that cannot be read or made.")
    parser.add_argument("files", nargs="+", metavar="FILE",
                        help="export files to convert; - for standard input")
    parser.add_argument("-o", "--output", default=".", metavar="DIR",
                        help="write the files into DIR, made if missing (default: here)")
    parser.add_argument("--from", dest="from_", choices=["auto"] + input_forms(),
                        default="auto", help="how the input is written (default: recognised "
                        "by its start)")
    parser.add_argument("--mensural", choices=["keep", "remove"], default="keep",
                        help="keep (default) or remove mensural time signatures")
    parser.add_argument("--measure-rests", choices=["keep", "remove"], default="keep",
                        help="keep (default) or remove measure rests")
    default = formats()[0]
    parser.add_argument("--format", choices=[f.name for f in formats()], default=default.name,
                        help="the format written (default %s): %s" % (default.name, "; ".join(
                            "%s, %s" % (f.name, f.description) for f in formats())))
    parser.add_argument("--musicxml", choices=list(_MUSICXML), action=_MusicXmlVersion,
                        help="the MusicXML version written (default %s)" % default.version)
    parser.add_argument("--compress", action="store_true",
                        help="write compressed files (%s)" % ", ".join(
                            "%s: %s" % (f.name, f.compressed_suffix) for f in formats()
                            if f.compressible))
    parser.add_argument("-q", "--quiet", action="store_true",
                        help="nothing on standard error but errors of the run itself")
    parser.add_argument("-V", "--version", action="version", version="tav " + __version__)
    args = parser.parse_args(argv)
    status = ALL_CONVERTED
    totals = [0, 0, 0]
    for path in args.files:
        try:
            report = convert_file(sys.stdin.buffer if path == "-" else path, args.output,
                                  remove_mensural=args.mensural == "remove",
                                  remove_measure_rests=args.measure_rests == "remove",
                                  format=args.format, compress=args.compress,
                                  from_=args.from_)
        except (OSError, ValueError) as e:
            print("python -m tav: %s" % e, file=sys.stderr)
            status = RUN_FAILED
            continue
        for i, n in enumerate(report[:3]):
            totals[i] += n
        if report.failed and status == ALL_CONVERTED:
            status = SOME_FAILED
        if not args.quiet:
            for problem in report.problems:
                where = "%s:%d: " % (_shown(path), problem.line)
                for m in problem.result.messages:
                    print("%s%s: %s%s" % (where, m.kind, _incipit(problem), _shown(m.text)),
                          file=sys.stderr)
    if not args.quiet:
        print("python -m tav: %d written, %d failed, %d blank lines" % tuple(totals),
              file=sys.stderr)
    return status


if __name__ == "__main__":
    sys.exit(main())
