"""Plaine & Easie incipits (tab exports, MARCXML, key-value, JSON) to MusicXML and .mxl.

A record is one line of a catalogue export: tab-separated fields holding the
incipit identifier, the incipit number, the clef, one or two time-signature
fields and the music. Every record converts as the batch command converts
it: the same document, byte for byte, and the same warnings and errors.

    import tav

    r = tav.convert("123456789\\t1.1.1\\tG-2\\t3/4\\t\\t$bBE 8.6'ABCD/4-2G//")
    if r.ok:
        open(r.file_name, "wb").write(r.data)
    for m in r.messages:
        print(m.kind, m.text, m.position)

convert() takes one record line (or a CatalogueRecord that read_marcxml()
reads from MARCXML), convert_fields() a record as its fields, and
convert_file() a whole export into a folder of files, returning a
FileReport (python -m tav does the same from the command line); it reads
each of the forms input_forms() names (tab, MARCXML, the code's key-value
and JSON forms), recognised by the input's start or chosen with from_, and
writes each of the formats formats() lists, chosen with format= (MusicXML
1.0 by default; musicxml="4.0" is the same as format="musicxml4").
read_marcxml() and convert_file() take a path or a binary file object
(open(path, "rb"), gzip.open(path), sys.stdin.buffer), read in blocks; they
read gzip-compressed input as it is. Lines and fields are bytes or str (a
str is encoded as UTF-8 with surrogateescape). Each thread converts with a
converter of its own, with the GIL released; Result, Message and
CatalogueRecord objects can be pickled, so a multiprocessing pool can map
convert over lines or over the records read_marcxml() gives.
"""

from typing import List, NamedTuple

from . import _tav
from ._tav import (COUNT_CODES, CatalogueRecord, MarcxmlReader, Melody, Message, OutputFormat,
                   Result, __version__, document, exit_statuses, formats, input_forms,
                   read_marcxml, search, shared_options, shown_text)

__all__ = ["COUNT_CODES", "CatalogueRecord", "FileReport", "MarcxmlReader", "Melody", "Message",
           "OutputFormat",
           "Problem", "Result", "__version__", "convert", "convert_fields", "convert_file",
           "document", "exit_statuses", "formats", "input_forms", "read_marcxml", "search", "shared_options",
           "shown_text"]


class Problem(tuple):
    """A record of convert_file's report with warnings or errors: the pair
    (line, result), and for a MARCXML input where the record is, as the
    batch command's messages say it ("001 CONTROL_NUMBER 031 #OCCURRENCE")."""

    def __new__(cls, line, result, control_number=None, occurrence=0, from_reader=False):
        self = super().__new__(cls, (line, result))
        self._where = (control_number, occurrence, from_reader)
        return self

    line = property(lambda self: self[0], doc="The line of the input, from 1 (blank lines "
                    "counted; in MARCXML the line of the field, record or fault).")
    result = property(lambda self: self[1], doc="The record's Result, without its document.")
    control_number = property(lambda self: self._where[0], doc="The catalogue record's 001 as "
                              "written (empty when it has none); None for tab-separated input.")
    occurrence = property(lambda self: self._where[1], doc="Which 031 of the catalogue record, "
                          "from 1; 0 for a message about the whole record or the XML.")
    from_reader = property(lambda self: self._where[2], doc="True for the MARCXML reader's "
                           "message about a record or field it passed over (nothing converted).")

    def __reduce__(self):
        return Problem, (self[0], self[1]) + self._where

    def __repr__(self):
        return "Problem(line=%r, result=%r, control_number=%r, occurrence=%r, from_reader=%r)" % (
            (self[0], self[1]) + self._where)


class FileReport(NamedTuple):
    """What convert_file did: the files written, the records failed, the blank lines
    passed over, and the records with warnings or errors as Problems, (line, Result)
    pairs (lines counted from 1, blank lines included; the Results without their
    documents)."""
    written: int
    failed: int
    blank_lines: int
    problems: List[Problem]


# The functions are Python's own so that they pickle by name (a process
# pool can map convert over lines); the work is the compiled module's.
def convert(line, *, remove_mensural=False, remove_measure_rests=False, musicxml=None,
            compress=False, format=None, record_uri=""):
    return _tav.convert(line, remove_mensural=remove_mensural,
                        remove_measure_rests=remove_measure_rests, musicxml=musicxml,
                        compress=compress, format=format, record_uri=record_uri)


def convert_fields(identifier, number, clef, time, time2, music, *, remove_mensural=False,
                   remove_measure_rests=False, musicxml=None, compress=False, format=None):
    return _tav.convert_fields(identifier, number, clef, time, time2, music,
                               remove_mensural=remove_mensural,
                               remove_measure_rests=remove_measure_rests, musicxml=musicxml,
                               compress=compress, format=format)


def convert_file(path, out_dir, *, remove_mensural=False, remove_measure_rests=False,
                 musicxml=None, compress=False, from_="auto", format=None, record_uri=""):
    written, failed, blank_lines, problems = _tav.convert_file(
        path, out_dir, remove_mensural=remove_mensural,
        remove_measure_rests=remove_measure_rests, musicxml=musicxml, compress=compress,
        from_=from_, format=format, record_uri=record_uri)
    return FileReport(written, failed, blank_lines, [Problem(*p) for p in problems])


for _f in (convert, convert_fields, convert_file):
    _f.__doc__ = getattr(_tav, _f.__name__).__doc__.split("\n\n", 1)[1]
del _f
