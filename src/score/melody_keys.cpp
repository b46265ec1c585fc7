// The keys a search compares, made from a melody's notes.

#include "score/melody_rules.h"

namespace tav {

using detail::each_interval;

std::string pitch_name(const MelodyNote& note)
{
    char text[3 + detail::kIntChars];
    return std::string(text, detail::write_pitch_name(text, note));
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
    keys.reserve(melody.notes.size());
    for (const MelodyNote& n : melody.notes)
        if (!n.rest())
            keys.push_back(n.midi);
    return keys;
}

std::vector<int> chromatic_intervals(const Melody& melody)
{
    std::vector<int> intervals;
    intervals.reserve(melody.notes.size());
    each_interval(melody, [&](const MelodyNote& a, const MelodyNote& b) {
        intervals.push_back(b.midi - a.midi);
    });
    return intervals;
}

std::vector<int> diatonic_intervals(const Melody& melody)
{
    std::vector<int> steps;
    steps.reserve(melody.notes.size());
    each_interval(melody, [&](const MelodyNote& a, const MelodyNote& b) {
        steps.push_back(detail::diatonic_interval(a, b));
    });
    return steps;
}

std::string gross_contour(const Melody& melody)
{
    std::string contour;
    contour.reserve(melody.notes.size());
    each_interval(melody, [&](const MelodyNote& a, const MelodyNote& b) {
        contour += detail::gross_letter(a, b);
    });
    return contour;
}

std::string refined_contour(const Melody& melody)
{
    std::string contour;
    contour.reserve(melody.notes.size());
    each_interval(melody, [&](const MelodyNote& a, const MelodyNote& b) {
        contour += detail::refined_letter(a, b);
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
