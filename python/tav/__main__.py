"""python -m tav: converts export files (tab-separated or MARCXML) into a
folder of MusicXML files, as the batch command does, with its options,
messages and exit statuses."""

import argparse
import sys

from . import __version__, convert_file, exit_statuses, formats, shared_options, shown_text

_STATUS = exit_statuses()


def _shown(text):
    """The text with its control characters written as \\xHH."""
    return shown_text(text.encode("utf-8", "surrogateescape")).decode("utf-8", "surrogateescape")


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


def _add_shared(parser, row):
    """An option of the library's table of shared options, as tav_convert takes it."""
    name, choices = row["name"], row["choices"].split("|") if row["choices"] else None
    text = row["help"] + (" (default %s)" % row["default"] if row["default"] else "")
    named = {"dest": name.replace("-", "_") + ("_" if name == "from" else ""), "help": text}
    if name == "from":
        parser.add_argument("--from", choices=["auto"] + choices, default="auto", **named)
    elif name == "musicxml":
        parser.add_argument("--musicxml", choices=choices, action=_MusicXmlVersion,
                            dest="format", help=text)
    elif choices is not None:
        parser.add_argument("--" + name, choices=choices, default=row["default"], **named)
    elif row["value"]:
        parser.add_argument("--" + name, metavar=row["value"], default="", **named)
    else:
        parser.add_argument("--" + name, action="store_true", **named)


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="python -m tav",
        description="Converts incipit records (tab-separated, one per line, MARCXML "
                    "catalogue records, or the code's key-value or JSON form) into MusicXML "
                    "files.",
        epilog="Exit status: " + ", ".join(
            "%d %s" % (code, name.replace("_", " ")) for name, code in _STATUS.items()) + ".")
    parser.add_argument("files", nargs="+", metavar="FILE",
                        help="export files to convert; - for standard input")
    parser.add_argument("-o", "--output", default=".", metavar="DIR",
                        help="write the files into DIR, made if missing (default: here)")
    for row in shared_options():
        _add_shared(parser, row)
    parser.add_argument("-q", "--quiet", action="store_true",
                        help="nothing on standard error but errors of the run itself")
    parser.add_argument("-V", "--version", action="version", version="tav " + __version__)
    args = parser.parse_args(argv)
    status = _STATUS["all_converted"]
    totals = [0, 0, 0]
    for path in args.files:
        try:
            report = convert_file(sys.stdin.buffer if path == "-" else path, args.output,
                                  remove_mensural=args.mensural == "remove",
                                  remove_measure_rests=args.measure_rests == "remove",
                                  format=args.format, compress=args.compress,
                                  from_=args.from_, record_uri=args.record_uri)
        except (OSError, ValueError) as e:
            print("python -m tav: %s" % e, file=sys.stderr)
            status = _STATUS["run_error"]
            continue
        for i, n in enumerate(report[:3]):
            totals[i] += n
        if report.failed and status == _STATUS["all_converted"]:
            status = _STATUS["records_failed"]
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
