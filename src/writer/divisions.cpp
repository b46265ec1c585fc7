// The divisions of a document: the units of a quarter the score was read
// in, grown where a written duration would not be a whole number of them.

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

NoteMarks survey(const Note* note)
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
    if (score.plain_lengths)
        return score.quarter_units;  // every note is whole already
    int64_t divisions = static_cast<int64_t>(score.quarter_units);
    for (const Measure* m = score.first_measure; m != nullptr; m = m->next) {
        for (const Note* n = m->first_note; n != nullptr; n = n->next) {
            NoteMarks marks;
            if (n->first_attribute != nullptr)
                marks = survey(n);
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
    if (divisions != static_cast<int64_t>(score.quarter_units))
        return static_cast<float>(divisions);
    return score.quarter_units;
}

}  // namespace tav::detail
