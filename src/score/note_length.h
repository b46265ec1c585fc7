// How long a note is written: its value, times the factor of its first dots
// mark and the ratio of its first tuplet mark. The writer and the parser's
// check of divisions both go through here.
#pragma once

#include <cstdint>

#include "score/score.h"

namespace tav::detail {

// The normal notes of a tuplet of n: the highest power of two not above n.
inline int64_t normal_notes(int32_t n)
{
    int64_t p = 1;
    while (p * 2 <= n)
        p *= 2;
    return p;
}

// A note's length is value x num / den.
struct LengthFactor {
    int64_t num = 1;
    int64_t den = 1;
};

// One dot gives 3/2, two dots 7/4 (more dots give nothing); a tuplet of n
// (n of 1 or more) gives its normal notes / n.
inline LengthFactor length_factor(const Note* note)
{
    LengthFactor f;
    bool dots_seen = false;
    bool tuplet_seen = false;
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (a->kind == ATTR_DOTS && !dots_seen) {
            dots_seen = true;
            if (a->value == 1) {
                f.num *= 3;
                f.den *= 2;
            } else if (a->value == 2) {
                f.num *= 7;
                f.den *= 4;
            }
        } else if ((a->kind == ATTR_TUPLET_START || a->kind == ATTR_TUPLET_CONTINUE ||
                    a->kind == ATTR_TUPLET_STOP) &&
                   !tuplet_seen) {
            tuplet_seen = true;
            if (a->value >= 1) {
                f.num *= normal_notes(a->value);
                f.den *= a->value;
            }
        }
    }
    return f;
}

// The units a note lasts at `divisions` per quarter, before truncation.
inline double note_units(const Note* note, const LengthFactor& f, double divisions)
{
    double units = static_cast<double>(note->duration) * divisions;
    if (f.num == 1 && f.den == 1)
        return units;
    return units * static_cast<double>(f.num) / static_cast<double>(f.den);
}

// A measure lasts beats x 4 / beat type quarters of its time signature, for
// a beat type of 1 to 64; four quarters without one, for a mensural sign or
// for one that gives no such length.
inline float measure_quarters(const TimeSignature* time)
{
    if (time == nullptr || time->mensural != 0 || time->beats < 1 || time->beats > 9999)
        return 4.0f;
    switch (time->beat_type) {
    case 1: case 2: case 4: case 8: case 16: case 32: case 64:
        return static_cast<float>(time->beats) * 4.0f / static_cast<float>(time->beat_type);
    default: return 4.0f;
    }
}

inline bool is_whole(double units)
{
    return units == static_cast<double>(static_cast<int64_t>(units));
}

}  // namespace tav::detail
