// The keys a search compares, made from a melody's notes.

#include <cstdlib>

#include "tav/melody.h"

namespace tav {

namespace {

// The letter's place in the octave, C = 0 .. B = 6.
int letter_index(char step)
{
    static constexpr int kIndex[7] = {5, 6, 0, 1, 2, 3, 4};  // A .. G
    return step >= 'A' && step <= 'G' ? kIndex[step - 'A'] : 0;
}

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

constexpr int kLargestStep = 2;   // semitones of a step; more is a leap

}  // namespace

std::string pitch_name(const MelodyNote& note)
{
    if (note.rest())
        return "r";
    std::string name(1, note.step);
    switch (note.alter) {
    case 2: name += 'x'; break;
    case 1: name += '#'; break;
    case -1: name += 'b'; break;
    case -2: name += "bb"; break;
    default: break;
    }
    return name + std::to_string(note.octave);
}

std::vector<std::string> pitch_names(const Melody& melody)
{
    std::vector<std::string> names;
    names.reserve(melody.notes.size());
    for (const MelodyNote& n : melody.notes)
        names.push_back(pitch_name(n));
    return names;
}

std::vector<int> midi_keys(const Melody& melody)
{
    std::vector<int> keys;
    for (const MelodyNote& n : melody.notes)
        if (!n.rest())
            keys.push_back(n.midi);
    return keys;
}

std::vector<int> chromatic_intervals(const Melody& melody)
{
    std::vector<int> intervals;
    each_interval(melody, [&](const MelodyNote& a, const MelodyNote& b) {
        intervals.push_back(b.midi - a.midi);
    });
    return intervals;
}

std::vector<int> diatonic_intervals(const Melody& melody)
{
    std::vector<int> steps;
    each_interval(melody, [&](const MelodyNote& a, const MelodyNote& b) {
        steps.push_back((b.octave - a.octave) * 7 + letter_index(b.step) - letter_index(a.step));
    });
    return steps;
}

std::string gross_contour(const Melody& melody)
{
    std::string contour;
    each_interval(melody, [&](const MelodyNote& a, const MelodyNote& b) {
        contour += b.midi > a.midi ? 'U' : b.midi < a.midi ? 'D' : 'R';
    });
    return contour;
}

std::string refined_contour(const Melody& melody)
{
    std::string contour;
    each_interval(melody, [&](const MelodyNote& a, const MelodyNote& b) {
        int d = b.midi - a.midi;
        bool leap = std::abs(d) > kLargestStep;
        contour += d > 0 ? (leap ? 'U' : 'u') : d < 0 ? (leap ? 'D' : 'd') : 'r';
    });
    return contour;
}

std::vector<double> durations(const Melody& melody)
{
    std::vector<double> lengths;
    lengths.reserve(melody.notes.size());
    for (const MelodyNote& n : melody.notes)
        lengths.push_back(n.duration);
    return lengths;
}

}  // namespace tav
