// What each key makes of a note or of two notes in turn: the one
// definition the keys' lists and their JSON share.
#pragma once

#include <cstdlib>

#include "score/number_text.h"
#include "tav/melody.h"

namespace tav::detail {

// Applies `each(previous, next)` to every pair of sounding notes in order.
template <typename Each>
void each_interval(const Melody& melody, Each each)
{
    const MelodyNote* previous = nullptr;
    for (const MelodyNote& n : melody.notes) {
        if (n.rest())
            continue;
        if (previous != nullptr)
            each(*previous, n);
        previous = &n;
    }
}

// "C4", "F#4", "Bb3", "Cx5", "Ebb4"; "r" for a rest: written at `at`,
// which has room for 3 + kIntChars characters; returns the end.
inline char* write_pitch_name(char* at, const MelodyNote& note)
{
    if (note.rest()) {
        *at++ = 'r';
        return at;
    }
    *at++ = note.step;
    switch (note.alter) {
    case 2: *at++ = 'x'; break;
    case 1: *at++ = '#'; break;
    case -1: *at++ = 'b'; break;
    case -2: *at++ = 'b'; *at++ = 'b'; break;
    default: break;
    }
    return write_number(at, note.octave);
}

// The letter's place in the octave, C = 0 .. B = 6.
inline int letter_index(char step)
{
    constexpr int kIndex[7] = {5, 6, 0, 1, 2, 3, 4};  // A .. G
    return step >= 'A' && step <= 'G' ? kIndex[step - 'A'] : 0;
}

inline int diatonic_interval(const MelodyNote& a, const MelodyNote& b)
{
    constexpr int kLetters = 7;
    return (b.octave - a.octave) * kLetters + letter_index(b.step) - letter_index(a.step);
}

inline char gross_letter(const MelodyNote& a, const MelodyNote& b)
{
    return b.midi > a.midi ? 'U' : b.midi < a.midi ? 'D' : 'R';
}

inline char refined_letter(const MelodyNote& a, const MelodyNote& b)
{
    constexpr int kLargestStep = 2;   // semitones of a step; more is a leap
    int d = b.midi - a.midi;
    bool leap = std::abs(d) > kLargestStep;
    return d > 0 ? (leap ? 'U' : 'u') : d < 0 ? (leap ? 'D' : 'd') : 'r';
}

}  // namespace tav::detail
