#!/usr/bin/env python3
"""Seeded generator of realistic incipit record files.

    python3 bench/gen_records.py COUNT SEED [--mixed-ids] [--metric] > records.txt

Writes COUNT record lines (tab-separated: identifier, incipit number, clef
code, time signature, second time signature, music) to standard output.
The same COUNT and SEED always give the same bytes.

Every record converts without an error: only signs the converter reads are
used, and every group is closed. Identifiers are nine-digit numbers that
rise through the file; each identifier holds one to three incipits with
distinct numbers, so every record names its own output file. With
--mixed-ids about half of the identifiers are ten-digit ones (1001145660 and
up, as catalogues number their newer sources), in a rising series of their
own interleaved with the nine-digit one.

The mix aims at catalogue data: mostly treble and bass clefs in common
notation, some C clefs and mensural records, keys of up to four sharps or
flats, measures filled to their time signature, beamed eighths and
sixteenths, occasional tuplets, grace notes, fermatas, trills, ties,
measure rests, measure repeats and repeated groups, and clef, time and key
changes in the middle of the music.

With --metric every bar adds up to its time signature, read as the
converter reads the music (dots carry on with their value, a group of six
sixteenths takes ";6"): no repeated groups, no measure rests under a
mensural sign. Without it the output stays byte for byte what it has
always been, for the benchmark's sake.
"""

import random
import sys

# (clef code, weight); '+' marks mensural notation.
CLEFS = [
    ("G-2", 50), ("F-4", 18), ("C-1", 5), ("C-3", 6), ("C-4", 4),
    ("g-2", 5), ("C+3", 3), ("G+2", 1), ("F+4", 1), ("C+1", 1),
]

# (field 4, field 5, quarters per measure or None for free measures, weight)
TIMES = [
    ("4/4", "", 4.0, 14), ("c", "", 4.0, 14), ("3/4", "", 3.0, 18),
    ("2/4", "", 2.0, 8), ("6/8", "", 3.0, 8), ("3/8", "", 1.5, 4),
    ("c/", "", 4.0, 9), ("2/2", "", 4.0, 4), ("3/2", "", 6.0, 3),
    ("12/8", "", 6.0, 2), ("9/8", "", 4.5, 1),
    ("c3", "3/2", 6.0, 3), ("c3", "", 6.0, 1), ("o", "", None, 1),
    ("c3", "\\-", 6.0, 1),
    ("\\-", "", None, 2),    # null field: no time signature
]

SHARPS = "FCGDAEB"
FLATS = "BEADGCF"
STEPS = "CDEFGAB"

# Note value digits and their length in quarters.
VALUE = {"0": 16.0, "9": 8.0, "1": 4.0, "2": 2.0, "4": 1.0, "8": 0.5,
         "6": 0.25, "3": 0.125, "5": 0.0625, "7": 0.03125}

# Values a measure is filled with, and their weights.
FILL = [("4", 30), ("8", 30), ("2", 10), ("6", 12), ("1", 2), ("3", 2), ("9", 1)]

# Rhythmic patterns: digits, dots, and the notes they serve.
PATTERNS = [("8.6", 1.0), ("4.8", 1.5), ("2.4", 3.0), ("86", 0.75), ("6.3", 0.5),
            ("48", 1.5), ("3.5", 0.25)]
# The same with their true spans, for metric records: (digits, span, notes).
METRIC_PATTERNS = [("8.6", 1.0, 2), ("4.8", 2.0, 2), ("2.4", 4.0, 2), ("86", 0.75, 2),
                   ("6.3", 0.5, 2), ("48", 1.5, 2), ("3.5", 0.25, 2)]


def weighted(rng, table):
    total = sum(row[-1] for row in table)
    pick = rng.uniform(0, total)
    for row in table:
        pick -= row[-1]
        if pick <= 0:
            return row
    return table[-1]


class Music:
    """Builds the music field of one record, sign by sign."""

    def __init__(self, rng, clef, metric=False):
        self.rng = rng
        self.metric = metric
        self.out = []
        base = {"G": 30, "g": 30, "F": 18, "C": 24}.get(clef[0], 28)
        self.home = base
        self.pitch = base + rng.randint(-3, 3)   # diatonic index: 7 per octave
        self.octave = None                       # octave written last
        self.value = None                        # value digit in force
        self.dots = 0

    def emit(self, text):
        self.out.append(text)

    # One pitch letter with the octave mark it needs; rests take no mark.
    def letter(self, rest=False):
        if rest:
            return "-"
        rng = self.rng
        step = rng.choice([-2, -1, -1, 0, 1, 1, 2, -3, 3, 4, -4])
        if abs(self.pitch + step - self.home) > 6:
            step = -step            # melodies stay near the clef's range
        self.pitch = min(max(self.pitch + step, 14), 41)
        octave = self.pitch // 7 - 3   # 28..34 is octave 1 (''' marks)
        if octave <= 0:
            octave -= 1                # no octave 0: commas below
        mark = ""
        if octave != self.octave:
            mark = "'" * octave if octave > 0 else "," * (-octave)
            self.octave = octave
        acc = ""
        r = rng.random()
        if r < 0.06:
            acc = rng.choice(["x", "b", "n"])
        elif r < 0.065:
            acc = rng.choice(["xx", "bb"])
        return mark + acc + STEPS[self.pitch % 7]

    def set_value(self, digit, dots=0):
        """Writes the digit when it differs from the value in force."""
        if digit != self.value or dots != self.dots or dots:
            self.value = digit
            self.dots = dots
            return digit + "." * dots
        return ""

    def note(self, digit, dots=0, rest=False):
        text = self.set_value(digit, dots)
        text += self.letter(rest)
        # Ornaments after the letter.
        r = self.rng.random()
        if r < 0.02:
            text += "t"
        return text

    def beamed(self, digit, count):
        parts = [self.set_value(digit)]
        for _ in range(count):
            parts.append(self.letter())
        self.value = digit
        return "{" + "".join(parts) + "}"

    def measure(self, length):
        """The signs of one measure of `length` quarters (None: free)."""
        rng = self.rng
        if length is None:
            length = rng.choice([2.0, 3.0, 4.0, 6.0])
        signs = []
        left = length
        while left > 1e-9:
            r = rng.random()
            if r < 0.04 and left >= 1.0:
                # Rhythmic pattern over the notes it fills.
                if self.metric:
                    digits, span, count = rng.choice(METRIC_PATTERNS)
                else:
                    digits, span = rng.choice(PATTERNS)
                    count = {"8.6": 2, "4.8": 2, "2.4": 2, "86": 3, "6.3": 2,
                             "48": 2, "3.5": 2}[digits]
                if span <= left:
                    reps = max(1, int(left // span))
                    reps = min(reps, rng.randint(1, 2))
                    signs.append(digits + "".join(self.letter() for _ in range(count * reps)))
                    left -= span * reps
                    self.value = None   # the pattern stays until the next digit
                    continue
            if r < 0.10 and left >= 1.0:
                # Triplet of eighths, or a group of six with its number.
                if rng.random() < 0.8:
                    signs.append("(" + self.set_value("8") + "".join(self.letter() for _ in range(3)) + ")")
                    self.value = "8"
                else:
                    signs.append("(" + self.set_value("6") + "".join(self.letter() for _ in range(6))
                                 + (";6)" if self.metric else ";5)"))
                    self.value = "6"
                left -= 1.0
                continue
            if r < 0.30 and left >= 1.0:
                # Beamed eighths or sixteenths over one or two beats.
                if rng.random() < 0.65:
                    beats = 2 if left >= 2.0 and rng.random() < 0.4 else 1
                    signs.append(self.beamed("8", 2 * beats))
                    left -= beats
                else:
                    signs.append(self.beamed("6", 4))
                    left -= 1.0
                continue
            if r < 0.33:
                # Grace notes before the next note.
                g = rng.random()
                if g < 0.45:
                    signs.append("g" + self.set_value("8") + self.letter())
                elif g < 0.8:
                    signs.append("q" + self.letter())
                else:
                    signs.append("qq" + self.set_value("6") + "".join(self.letter() for _ in range(rng.randint(2, 3))) + "r")
                continue
            if r < 0.35:
                # Fermata, with the value inside or before the parenthesis.
                fits = [d for d in ("4", "2", "1") if VALUE[d] <= left]
                if fits:
                    d = rng.choice(fits)
                    pre = self.set_value(d)
                    trill = "t" if rng.random() < 0.2 else ""
                    # Octave marks and accidentals stand before the
                    # parenthesis, so that only «(C)» or «(4C)» is inside.
                    text = self.letter()
                    marks, step = text[:-1], text[-1]
                    if pre and not marks and rng.random() < 0.5:
                        signs.append("(" + pre + step + ")" + trill)
                    else:
                        signs.append(pre + marks + "(" + step + ")" + trill)
                    left -= VALUE[d]
                    continue
            # One plain note or rest, dotted at times.
            digit, _ = weighted(rng, FILL)
            dots = 0
            if VALUE[digit] * 1.5 <= left and digit in "4286" and rng.random() < 0.15:
                dots = 1
            length_q = VALUE[digit] * (1.5 if dots else 1.0)
            if length_q > left + 1e-9:
                fits = [d for d in ("1", "2", "4", "8", "6", "3") if VALUE[d] <= left + 1e-9]
                digit = fits[0]
                dots = 0
                length_q = VALUE[digit]
            rest = rng.random() < 0.07
            text = self.note(digit, dots, rest)
            tie_fits = left - length_q >= (length_q if self.metric else VALUE[digit])
            if not rest and rng.random() < 0.05 and tie_fits:
                # A tie or slur into the next note, which keeps the value.
                text += "+" + self.letter()
                left -= length_q
                if not self.metric:
                    self.dots = 0
            signs.append(text)
            left -= length_q
        return "".join(signs)


def keysig(rng):
    r = rng.random()
    if r < 0.35:
        return ""
    n = rng.choice([1, 1, 1, 2, 2, 2, 3, 3, 4, 5])
    if r < 0.68:
        return "$x" + SHARPS[:n]
    return "$b" + FLATS[:n]


def music_field(rng, clef, length, time4, metric=False):
    m = Music(rng, clef, metric)
    parts = []
    key = keysig(rng)
    r = rng.random()
    if key and r < 0.004:
        key = "$" + key[1] + key[2] + "[" + key[3:] + "]" if len(key) > 3 else key
    parts.append(key + (" " if key else ""))
    measures = rng.choice([2, 3, 3, 4, 4, 4, 5, 5, 6, 8])
    repeat_open = False
    for k in range(measures):
        r = rng.random()
        # A measure rest under a mensural sign lasts four quarters.
        rest = k > 0 and r < 0.06 and not (metric and time4 == "c3")
        if rest and r < 0.04:
            parts.append("=" + str(rng.choice([2, 3, 4, 8, 12])))
        elif rest:
            parts.append("=")
        else:
            body = m.measure(length)
            if rng.random() < 0.03 and len(body) > 2 and not metric:
                # A group written once and repeated: !..!f
                body = "!" + body + "!f"
                m.value = None
            if k > 0 and rng.random() < 0.03:
                body = "%" + rng.choice(["C-1", "C-3", "F-4", "G-2"]) + body
            if k > 0 and rng.random() < 0.02 and time4 and time4[0] in "0123456789c" and time4 != "c3":
                t = rng.choice(["3/4", "2/4", "c", "c/", "6/8"])
                length = {"3/4": 3.0, "2/4": 2.0, "c": 4.0, "c/": 4.0, "6/8": 3.0}[t]
                if metric:
                    # This measure is already of the new time: written anew,
                    # with the value and octave marks it needs.
                    m.value = m.octave = None
                    body = m.measure(length)
                body = "@" + t + " " + body
            if k > 0 and rng.random() < 0.015:
                body = rng.choice(["$xF ", "$bBE ", "$xFCG "]) + body
            parts.append(body)
        last = k == measures - 1
        if last:
            parts.append(rng.choice(["//", "//", "//", "/", "", "://"]) if not repeat_open else "://")
            break
        r = rng.random()
        if rest:
            parts.append("/")     # without measure rests this bar goes too
        elif r < 0.05 and k < measures - 2:
            parts.append("/i/")   # the next measure repeats this one
        elif r < 0.08:
            parts.append("//")
        elif r < 0.10 and not repeat_open:
            parts.append("//:")
            repeat_open = True
        elif r < 0.12 and repeat_open:
            parts.append("://:")
        elif r < 0.14 and repeat_open:
            parts.append("://")
            repeat_open = False
        else:
            parts.append("/")
    return "".join(parts)


def record(rng, identifier, number, metric=False):
    clef = weighted(rng, CLEFS)[0]
    time4, time5, length, _ = weighted(rng, TIMES)
    if clef[1] == "+" and time4 not in ("c3", "o", "\\-", ""):
        time4, time5, length = "c3", "3/2", 6.0
    music = music_field(rng, clef, length, time4, metric)
    return f"{identifier:09d}\t{number}\t{clef}\t{time4}\t{time5}\t{music}\n"


def numbers(rng, count):
    """Distinct incipit numbers for one identifier."""
    out = []
    a, b, c = 1, 1, 1
    for _ in range(count):
        out.append(f"{a}.{b}.{c}")
        r = rng.random()
        if r < 0.6:
            c += 1
        elif r < 0.9:
            b, c = b + 1, 1
        else:
            a, b, c = a + 1, 1, 1
    return out


def main(argv):
    metric = "--metric" in argv[3:]
    mixed = "--mixed-ids" in argv[3:]
    if len(argv) != 3 + metric + mixed:
        sys.stderr.write("usage: gen_records.py COUNT SEED [--mixed-ids] [--metric] > file\n")
        return 2
    count, seed = int(argv[1]), int(argv[2])
    rng = random.Random(seed)
    # [nine-digit series, ten-digit series]; the second is drawn only with
    # --mixed-ids, so that plain files stay as they were.
    series = [100000000 + rng.randint(0, 999999), 1001145660]
    lines = []
    written = 0
    out = sys.stdout
    while written < count:
        group = min(count - written, rng.choice([1, 1, 1, 1, 2, 2, 3]))
        newer = 1 if mixed and rng.random() < 0.5 else 0
        for nb in numbers(rng, group):
            lines.append(record(rng, series[newer], nb, metric))
        written += group
        series[newer] += rng.randint(1, 400)   # 1,000,000 records stay below 10**9
        if len(lines) >= 4096:
            out.write("".join(lines))
            lines = []
    out.write("".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
