"""python -m tav: converts export files (tab-separated or MARCXML) into a
folder of MusicXML files, as the batch command does, with its options,
messages and exit statuses."""

import argparse
import sys

from . import __version__, convert_file

ALL_CONVERTED, SOME_FAILED, RUN_FAILED = 0, 1, 2


def _shown(result):
    """ID-NUMBER, with control characters of the number written as \\xHH."""
    number = "".join("\\x%02X" % ord(c) if ord(c) < 32 or ord(c) == 127 else c
                     for c in result.number)
    return "%d-%s" % (result.identifier, number)


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python -m tav",
        description="Converts incipit records, one per line, into MusicXML files.",
        epilog="Exit status: 0 when every record was converted, 1 when some records "
               "failed, 2 for a usage error or a file that cannot be read or made.")
    parser.add_argument("files", nargs="+", metavar="FILE", help="export files to convert")
    parser.add_argument("-o", "--output", default=".", metavar="DIR",
                        help="write the files into DIR, made if missing (default: here)")
    parser.add_argument("--mensural", choices=["keep", "remove"], default="keep",
                        help="keep (default) or remove mensural time signatures")
    parser.add_argument("--measure-rests", choices=["keep", "remove"], default="keep",
                        help="keep (default) or remove measure rests")
    parser.add_argument("--musicxml", choices=["1.0", "4.0"], default="1.0",
                        help="the MusicXML version written (default 1.0)")
    parser.add_argument("--compress", action="store_true",
                        help="write compressed MusicXML files (.mxl)")
    parser.add_argument("-q", "--quiet", action="store_true",
                        help="nothing on standard error but errors of the run itself")
    parser.add_argument("-V", "--version", action="version", version="tav " + __version__)
    args = parser.parse_args(argv)
    status = ALL_CONVERTED
    totals = [0, 0, 0]
    for path in args.files:
        try:
            report = convert_file(path, args.output,
                                  remove_mensural=args.mensural == "remove",
                                  remove_measure_rests=args.measure_rests == "remove",
                                  musicxml=args.musicxml, compress=args.compress)
        except (OSError, ValueError) as e:
            print("python -m tav: %s" % e, file=sys.stderr)
            status = RUN_FAILED
            continue
        for i, n in enumerate(report[:3]):
            totals[i] += n
        if report.failed and status == ALL_CONVERTED:
            status = SOME_FAILED
        if not args.quiet:
            for line, result in report.problems:
                for m in result.messages:
                    print("%s:%d: %s: %s: %s" % (path, line, m.kind, _shown(result), m.text),
                          file=sys.stderr)
    if not args.quiet:
        print("python -m tav: %d written, %d failed, %d blank lines" % tuple(totals),
              file=sys.stderr)
    return status


if __name__ == "__main__":
    sys.exit(main())
