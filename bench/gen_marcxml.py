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
"""

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


def record(identifier, incipits, n):
    out = ['  <record>\n',
           '    <leader>00000ndd a2200000   4500</leader>\n',
           '    <controlfield tag="001">%s</controlfield>\n' % identifier,
           '    <datafield tag="100" ind1="1" ind2=" ">\n',
           subfield("a", COMPOSERS[n % len(COMPOSERS)]),
           '    </datafield>\n']
    tag = "240" if n % 3 else "245"
    out += ['    <datafield tag="%s" ind1="1" ind2="0">\n' % tag,
            subfield("a", TITLES[n % len(TITLES)]), '    </datafield>\n']
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
    out.append('  </record>\n')
    return "".join(out)


def main():
    tab = None
    if len(sys.argv) == 3 and sys.argv[1] == "--tab":
        tab = open(sys.argv[2], "w", encoding="utf-8", newline="\n")
    elif len(sys.argv) != 1:
        sys.exit(__doc__)
    out = sys.stdout
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n'
              '<collection xmlns="http://www.loc.gov/MARC21/slim">\n')
    current, incipits, n = None, [], 0
    for line in sys.stdin.read().split("\n"):
        if not line:
            continue
        fields = line.split("\t")
        identifier, number, clef, time, music = fields[0], fields[1], fields[2], fields[3], fields[5]
        if tab is not None:
            tab.write("\t".join([identifier, number, clef, time, "", music]) + "\n")
        if identifier != current and incipits:
            out.write(record(current, incipits, n))
            incipits, n = [], n + 1
        current = identifier
        incipits.append((number, clef, time, music))
    if incipits:
        out.write(record(current, incipits, n))
    out.write('</collection>\n')


if __name__ == "__main__":
    main()
