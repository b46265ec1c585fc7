// The divisions of a document: the least units of a quarter that make every
// note value and tuplet written a whole number of them, grown where a note's
// duration would still not be whole.

#include <array>
#include <bit>
#include <cstdint>

#include "score/note_length.h"
#include "writer/output.h"

namespace tav::detail {

namespace {

// Above this, divisions would no longer be exact in a float.
constexpr int64_t kMaxDivisions = int64_t{1} << 24;

// What the settling looks for in a note's marks.
struct NoteMarks {
    bool grace = false;
    bool factor = false;  // dots or a tuplet
};

NoteMarks read_note_marks(const Note* note)
{
    NoteMarks marks;
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        switch (a->kind) {
        case ATTR_ACCIACCATURA:
        case ATTR_APPOGGIATURA: marks.grace = true; break;
        case ATTR_DOTS:
        case ATTR_TUPLET_START:
        case ATTR_TUPLET_CONTINUE:
        case ATTR_TUPLET_STOP: marks.factor = true; break;
        default: break;
        }
    }
    return marks;
}

int64_t gcd(int64_t a, int64_t b)
{
    while (b != 0) {
        int64_t r = a % b;
        a = b;
        b = r;
    }
    return a;
}

// Units per quarter that a value of 2^power quarters with `dots` (0, 1 or 2)
// needs to be whole: 1 / (value x the dots factor), truncated (so a dotted
// value may ask for fewer than it needs, and a value of a quarter or longer
// for none).
constexpr int64_t units_for(int power, int dots)
{
    double value = power >= 0 ? double(int64_t{1} << power) : 1.0 / double(int64_t{1} << -power);
    double factor = dots == 1 ? 1.5 : dots == 2 ? 1.75 : 1.0;
    return static_cast<int64_t>(1.0 / (value * factor));
}

// units_for of each bit of WrittenValues::values.
constexpr auto kValueUnits = [] {
    std::array<int64_t, 3 * (kLongestValue - kShortestValue + 1)> units{};
    for (int power = kShortestValue; power <= kLongestValue; ++power)
        for (int dots = 0; dots < 3; ++dots)
            units[static_cast<std::size_t>(3 * (power - kShortestValue) + dots)] =
                units_for(power, dots);
    return units;
}();

int64_t lcm(int64_t a, int64_t b)
{
    return a / gcd(a, b) * b;
}

// At least 2, and the least common multiple of what the values and tuplets
// written need: at most 2^5 x 3^2 x 5 x 7 x 11 x 13 x 17 x 19 x 23 x 29 x 31,
// well inside 64 bits.
int64_t written_units(const WrittenValues& written)
{
    int64_t units = 2;
    for (uint32_t bits = written.values; bits != 0; bits &= bits - 1)
        if (int64_t v = kValueUnits[static_cast<std::size_t>(std::countr_zero(bits))]; v > 1)
            units = units % v == 0 ? units : lcm(units, v);
    for (uint32_t bits = written.tuplets; bits != 0; bits &= bits - 1)
        if (int64_t notes = std::countr_zero(bits); notes > 1)
            units = units % notes == 0 ? units : lcm(units, notes);
    return units;
}

// The least factor of divisions that makes the note's units whole; 0 when
// its length is no fraction of a manageable size.
int64_t whole_factor(const Note* note, const LengthFactor& f, int64_t divisions)
{
    // units = duration x divisions x num / den, with duration a multiple of
    // a power of two: scale it to a whole count over 2^k first.
    double scaled = static_cast<double>(note->duration) * static_cast<double>(divisions) *
                    static_cast<double>(f.num);
    int64_t den = f.den;
    for (int k = 0; !is_whole(scaled); ++k) {
        if (k == 16 || scaled > 1e15)
            return 0;
        scaled *= 2.0;
        den *= 2;
    }
    int64_t num = static_cast<int64_t>(scaled);
    return den / gcd(num < 0 ? -num : num, den);
}

}  // namespace

float document_divisions(const Incipit& score)
{
    // Counted in a float, as the document writes it.
    float units = static_cast<float>(written_units(score.written));
    int64_t divisions = static_cast<int64_t>(units);
    for (const Measure* m = score.first_measure; m != nullptr; m = m->next) {
        for (const Note* n = m->first_note; n != nullptr; n = n->next) {
            // A note without marks lasts a value written, whole already.
            if (n->first_attribute == nullptr)
                continue;
            NoteMarks marks = read_note_marks(n);
            if (marks.grace)
                continue;
            LengthFactor f;
            if (marks.factor)
                f = length_factor(n);
            if (is_whole(note_units(n, f, static_cast<double>(divisions))))
                continue;
            int64_t k = whole_factor(n, f, divisions);
            if (k > 1 && divisions * k <= kMaxDivisions)
                divisions *= k;
        }
    }
    return divisions != static_cast<int64_t>(units) ? static_cast<float>(divisions) : units;
}

}  // namespace tav::detail
