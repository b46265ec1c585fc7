"""Plaine & Easie incipits (tab exports, MARCXML) to MusicXML 1.0 and 4.0 and .mxl.

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
FileReport (python -m tav does the same from the command line). Lines and
fields are bytes or str (a str is encoded as UTF-8 with surrogateescape).
Each thread converts with a converter of its own, with the GIL released;
Result and Message objects can be pickled, so a multiprocessing pool can
map convert over lines.
"""

from . import _tav
from ._tav import (CatalogueRecord, FileReport, MarcxmlReader, Message, Result, __version__,
                   read_marcxml)

__all__ = ["CatalogueRecord", "FileReport", "MarcxmlReader", "Message", "Result",
           "__version__", "convert", "convert_fields", "convert_file", "read_marcxml"]


# The functions are Python's own so that they pickle by name (a process
# pool can map convert over lines); the work is the compiled module's.
def convert(line, *, remove_mensural=False, remove_measure_rests=False, musicxml="1.0",
            compress=False):
    return _tav.convert(line, remove_mensural=remove_mensural,
                        remove_measure_rests=remove_measure_rests, musicxml=musicxml,
                        compress=compress)


def convert_fields(identifier, number, clef, time, time2, music, *, remove_mensural=False,
                   remove_measure_rests=False, musicxml="1.0", compress=False):
    return _tav.convert_fields(identifier, number, clef, time, time2, music,
                               remove_mensural=remove_mensural,
                               remove_measure_rests=remove_measure_rests, musicxml=musicxml,
                               compress=compress)


def convert_file(path, out_dir, *, remove_mensural=False, remove_measure_rests=False,
                 musicxml="1.0", compress=False):
    return _tav.convert_file(path, out_dir, remove_mensural=remove_mensural,
                             remove_measure_rests=remove_measure_rests, musicxml=musicxml,
                             compress=compress)


for _f in (convert, convert_fields, convert_file):
    _f.__doc__ = getattr(_tav, _f.__name__).__doc__.split("\n\n", 1)[1]
del _f
