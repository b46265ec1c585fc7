// After the scan: measure rests take the length of their measure, and
// divisions grows where a written duration would not be whole.

#include <cstdint>

#include "parser/convert.h"
#include "parser/handlers.h"
#include "score/note_length.h"

namespace {

// Above this, divisions would no longer be exact in a float.
constexpr int64_t kMaxDivisions = int64_t{1} << 24;

// The length in quarters of a measure of `time`: beats x 4 / beat type, for
// a beat type of 1 to 64; four quarters without a time signature, for a
// mensural sign or for one that gives no such length.
float measure_quarters(const Rhythm* time)
{
    if (time == nullptr || time->mensural != 0 || time->beats < 1 || time->beats > 9999)
        return 4.0f;
    switch (time->beat_type) {
    case 1: case 2: case 4: case 8: case 16: case 32: case 64:
        return static_cast<float>(time->beats) * 4.0f / static_cast<float>(time->beat_type);
    default: return 4.0f;
    }
}

bool is_measure_rest(const Note* note)
{
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next)
        if (a->kind == ATTR_MEASURE_REST)
            return true;
    return false;
}

bool is_grace(const Note* note)
{
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next)
        if (a->kind == ATTR_ACCIACCATURA || a->kind == ATTR_APPOGGIATURA)
            return true;
    return false;
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
int64_t whole_factor(const Note* note, int64_t divisions)
{
    LengthFactor f = length_factor(note);
    // units = duration x divisions x num / den, with duration a multiple of
    // a power of two: scale it to a whole count over 2^k first.
    double scaled = static_cast<double>(note->duration) * static_cast<double>(divisions) *
                    static_cast<double>(f.num);
    int64_t den = f.den;
    for (int k = 0; scaled != static_cast<double>(static_cast<int64_t>(scaled)); ++k) {
        if (k == 16 || scaled > 1e15)
            return 0;
        scaled *= 2.0;
        den *= 2;
    }
    int64_t num = static_cast<int64_t>(scaled);
    return den / gcd(num < 0 ? -num : num, den);
}

}  // namespace

void settle_durations(ScanState& s)
{
    const Rhythm* time = nullptr;
    int64_t divisions = static_cast<int64_t>(s.divisions);
    int64_t factor = 1;
    for (Measure* m = s.first_measure; m != nullptr; m = m->next) {
        if (m->rhythm != nullptr)
            time = m->rhythm;
        for (Note* n = m->first_note; n != nullptr; n = n->next) {
            if (n->step == 'R' && n->first_attribute != nullptr && is_measure_rest(n))
                n->duration = measure_quarters(time);
            if (n->first_attribute != nullptr && is_grace(n))
                continue;
            int64_t k = whole_factor(n, divisions * factor);
            if (k > 1 && divisions * factor * k <= kMaxDivisions)
                factor *= k;
        }
    }
    if (factor > 1)
        s.divisions = static_cast<float>(divisions * factor);
}
