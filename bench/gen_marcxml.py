#!/usr/bin/env python3
"""Catalogue records in MARCXML from incipit record lines.

    python3 bench/gen_records.py 100000 2005 | python3 bench/gen_marcxml.py [--tab SAME.txt] > records.xml

Reads tab-separated record lines on standard input and writes one MARC 21
record per identifier in the catalogue's shape: leader, 001, 100 $a
(composer), 240 $a or 245 $a (title), then one 031 per incipit ($a $b $c
from the number, $d caption, $g clef, $m instrument, $n key, $o time,
$p music, $r key or mode, $2 "pe"), with now and then a 031 without music
and a text incipit ($t). The key-signature preamble of the music ("$bBE ")
becomes $n. The same input always gives the same bytes.

--tab writes the record lines that the MARCXML stands for: the catalogue
has no second time-signature field, so that field is emptied. Converted,
both give documents with the same measures.

--catalogue writes records of the size and make-up of the catalogue's own:
1.7 incipits a record with music (consecutive lines, under identifiers of
their own from 200000001 and numbered 1.1.1, 1.1.2, ..., as --tab writes
them too) and beside them the fields of a source record (one each of 001,
003, 005, 008, 100, 240, 245 and 852; 041, 300, 510, 590, 593, 594, 650,
700 and 773 on nine records in ten; one or two notes in 500): about 20
fields a record, 3.5 KB on average (median 3.0 KB, 95th percentile
7.2 KB, a long note in 500 making the tail), the 031 fields holding 28% of
the bytes (measured on 20,000 lines of gen_records.py).
"""

import random
import re
import sys
from xml.sax.saxutils import escape

COMPOSERS = ["Bach, Johann Sebastian", "Haydn, Joseph", "Telemann, Georg Philipp",
             "Anonymus", "Pergolesi, Giovanni Battista", "Dussek, Jan Ladislav"]
TITLES = ["Sonatas", "Arias & duets", "Concerto", "Masses", "Trio <op. 3>", "Symphonies"]
CAPTIONS = ["Allegro", "Andante", "Adagio", "Menuetto", "Presto", ""]
PARTS = ["vl 1", "vl 2", "S", "B", "pf", "fl", "vla"]
KEYS = ["D", "g", "F", "Bb", "e", "A"]

PREAMBLE = re.compile(r"^\$([xbn]?[A-G\[\]]*) (.*)$", re.S)


def subfield(code, text):
    return '      <subfield code="%s">%s</subfield>\n' % (code, escape(text))


def record(identifier, incipits, n, catalogue=False):
    body = incipit_fields(incipits, n)
    control, others = source_fields(identifier, n) if catalogue else ("", "")
    out = ['  <record>\n',
           '    <leader>00000ndd a2200000   4500</leader>\n',
           '    <controlfield tag="001">%s</controlfield>\n' % identifier, control,
           '    <datafield tag="100" ind1="1" ind2=" ">\n',
           subfield("a", COMPOSERS[n % len(COMPOSERS)]),
           '    </datafield>\n']
    # A catalogue record has both a uniform title and a title proper.
    for tag in (("240", "245") if catalogue else ("240" if n % 3 else "245",)):
        out += ['    <datafield tag="%s" ind1="1" ind2="0">\n' % tag,
                subfield("a", TITLES[n % len(TITLES)]), '    </datafield>\n']
    out += body
    out.append(others)
    out.append('  </record>\n')
    return "".join(out)


def incipit_fields(incipits, n):
    out = []
    for k, (number, clef, time, music) in enumerate(incipits):
        parts = (number.split(".") + ["", "", ""])[:3]
        key = ""
        m = PREAMBLE.match(music)
        if m:
            key, music = m.group(1), m.group(2)
        out.append('    <datafield tag="031" ind1=" " ind2=" ">\n')
        for code, text in zip("abc", parts):
            out.append(subfield(code, text))
        caption = CAPTIONS[(n + k) % len(CAPTIONS)]
        if caption:
            out.append(subfield("d", caption))
        out.append(subfield("g", clef))
        out.append(subfield("m", PARTS[(n + k) % len(PARTS)]))
        if key:
            out.append(subfield("n", key))
        if time:
            out.append(subfield("o", time))
        out.append(subfield("p", music))
        if (n + k) % 7 == 0:
            out.append(subfield("t", "Kyrie eleison"))
        out.append(subfield("r", KEYS[(n + k) % len(KEYS)]))
        out.append(subfield("2", "pe"))
        out.append('    </datafield>\n')
    if n % 5 == 0:
        # An incipit catalogued without music: passed over.
        out += ['    <datafield tag="031" ind1=" " ind2=" ">\n', subfield("a", "2"),
                subfield("b", "1"), subfield("c", "1"), subfield("d", "Trio"),
                '    </datafield>\n']
    return out


WORDS = ("sonata concerto aria violino basso continuo organo cembalo flauto oboe corno "
         "soprano alto tenore score parts autograph copy paper watermark ink title page "
         "dedication signed dated leaves bound folder manuscript provenance library "
         "collection inventory catalogue edition print fragment").split()


def field(tag, subfields, ind="  "):
    return ('    <datafield tag="%s" ind1="%s" ind2="%s">\n' % (tag, ind[0], ind[1]) +
            "".join(subfield(c, t) for c, t in subfields) + '    </datafield>\n')


def prose(rng, words):
    return " ".join(rng.choice(WORDS) for _ in range(words)).capitalize() + "."


def source_fields(identifier, n):
    """The fields of a source record beside its incipits, sized as the
    catalogue's: most of the bytes, and the long tail of its notes."""
    rng = random.Random(n)
    control = ['    <controlfield tag="003">DE-633</controlfield>\n',
               '    <controlfield tag="005">20240315120000.0</controlfield>\n',
               '    <controlfield tag="008">240315s1750    xx            000 0 ita d</controlfield>\n']
    most = [field("041", [("a", "ita"), ("a", "lat")], "0 "),
            field("300", [("a", "1 score (%d leaves)" % (4 + n % 40)), ("c", "%d x %d cm" % (20 + n % 15, 30 + n % 9))]),
            field("510", [("a", "RISM A/II"), ("c", "%d" % n)]),
            field("590", [("a", "%d parts" % (1 + n % 9))]),
            field("593", [("a", rng.choice(["manuscript copy", "autograph", "print"]))]),
            field("594", [("b", rng.choice(PARTS)), ("c", "%d" % (1 + n % 4))]),
            field("650", [("a", rng.choice(["Sonatas", "Arias", "Masses", "Concertos"]))], " 0"),
            field("700", [("a", COMPOSERS[(n + 2) % len(COMPOSERS)]), ("4", "arr")], "1 "),
            field("773", [("w", "%d" % (identifier_value(identifier) // 7))], "0 ")]
    fields = [f for f in most if rng.random() < MOST]
    fields.append(field("852", [("a", "D-B"), ("c", "Mus.ms. %d" % (1000 + n))]))
    # Notes: a short one in every record, a long one in a few.
    notes = [prose(rng, SHORT_NOTE_WORDS[0] + rng.randrange(SHORT_NOTE_WORDS[1]))]
    if rng.random() < LONG_NOTES:
        notes.append(prose_of_length(rng, rng.randrange(*LONG_NOTE_LENGTH)))
    fields += [field("500", [("a", note)]) for note in notes]
    return "".join(control), "".join(fields)


# The share of the fields that most records have and of the records with a
# long note, and the long note's length: fitted so that 20,000 lines of
# gen_records.py give the catalogue's mean, median and 95th percentile.
MOST, LONG_NOTES, LONG_NOTE_LENGTH = 0.9, 0.08, (2500, 6500)
SHORT_NOTE_WORDS = (10, 40)


def prose_of_length(rng, length):
    words = []
    while sum(len(w) + 1 for w in words) < length:
        words.append(rng.choice(WORDS))
    return " ".join(words).capitalize() + "."


def identifier_value(identifier):
    return int(identifier) if identifier.isdigit() else 0


def main():
    tab = None
    args = sys.argv[1:]
    catalogue = "--catalogue" in args
    if catalogue:
        args.remove("--catalogue")
    if len(args) == 2 and args[0] == "--tab":
        tab = open(args[1], "w", encoding="utf-8", newline="\n")
    elif args:
        sys.exit(__doc__)
    out = sys.stdout
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n'
              '<collection xmlns="http://www.loc.gov/MARC21/slim">\n')
    current, incipits, n = None, [], 0
    group = random.Random(17)
    left = 0   # lines the current catalogue record still takes
    records = 0
    for line in sys.stdin.read().split("\n"):
        if not line:
            continue
        fields = line.split("\t")
        identifier, number, clef, time, music = fields[0], fields[1], fields[2], fields[3], fields[5]
        if catalogue:
            # 1.7 incipits a record on average, under identifiers of their own.
            if left == 0:
                left = group.choice([1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 3, 4])
                records += 1
                first = str(200000000 + records)
            identifier, left = first, left - 1
            number = "1.1.%d" % (len(incipits) + 1 if identifier == current else 1)
        if tab is not None:
            tab.write("\t".join([identifier, number, clef, time, "", music]) + "\n")
        if identifier != current and incipits:
            out.write(record(current, incipits, n, catalogue))
            incipits, n = [], n + 1
        current = identifier
        incipits.append((number, clef, time, music))
    if incipits:
        out.write(record(current, incipits, n, catalogue))
    out.write('</collection>\n')


if __name__ == "__main__":
    main()
