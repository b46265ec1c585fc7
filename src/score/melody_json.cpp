// The keys of a melody as members of a JSON object: what a report line
// carries and a search engine's document holds, one field per key. Written
// straight from the notes in one go, without a list of each key between.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "score/melody_rules.h"

namespace tav {

namespace {

using detail::each_interval;
using detail::write_number;

// The most a note takes in each key, with its comma: a pitch name quoted
// ("Ebb" and an octave), a key, two intervals, two letters, a length and a
// beat; and the names of the fields.
constexpr std::size_t kNoteChars =
    6 + 4 * (detail::kIntChars + 1) + 2 + 2 * (detail::kRealChars + 1);
constexpr std::size_t kFieldChars = 160;

// Text written at a place that has room for it. A length or beat the same
// as the one before it (to the bit: -0 is not 0) is copied from there.
struct Text {
    char* at;
    std::uint64_t last_bits = 0;
    const char* last = nullptr;
    std::size_t last_size = 0;

    void real(double value)
    {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        if (last != nullptr && bits == last_bits) {
            std::memmove(at, last, last_size);
            last = at;
            at += last_size;
            return;
        }
        last = at;
        at = write_number(at, value);
        last_bits = bits;
        last_size = static_cast<std::size_t>(at - last);
    }
    void put(char c) { *at++ = c; }
    template <std::size_t N>
    void put(const char (&text)[N])
    {
        std::memcpy(at, text, N - 1);
        at += N - 1;
    }
    void number(int value) { at = write_number(at, value); }
};

// Writes `each(text, note)` for every note, rests included, comma separated.
template <typename Each>
void put_each_note(Text& t, const Melody& melody, Each each)
{
    bool first = true;
    for (const MelodyNote& n : melody.notes) {
        if (!first)
            t.put(',');
        first = false;
        each(n);
    }
}

// The same for every pair of sounding notes in turn.
template <typename Each>
void put_each_interval(Text& t, const Melody& melody, Each each)
{
    bool first = true;
    each_interval(melody, [&](const MelodyNote& a, const MelodyNote& b) {
        if (!first)
            t.put(',');
        first = false;
        each(a, b);
    });
}

void put_pitches(Text& t, const Melody& melody)
{
    t.put("\"pitches\":[");
    put_each_note(t, melody, [&](const MelodyNote& n) {
        t.put('"');
        t.at = detail::write_pitch_name(t.at, n);   // letters, digits, '#' and 'b'
        t.put('"');
    });
    t.put("],\"midi\":[");
    bool first = true;
    for (const MelodyNote& n : melody.notes) {
        if (n.rest())
            continue;
        if (!first)
            t.put(',');
        first = false;
        t.number(n.midi);
    }
    t.put(']');
}

void put_intervals(Text& t, const Melody& melody)
{
    t.put(",\"chromatic_intervals\":[");
    put_each_interval(t, melody, [&](const MelodyNote& a, const MelodyNote& b) {
        t.number(b.midi - a.midi);
    });
    t.put("],\"diatonic_intervals\":[");
    put_each_interval(t, melody, [&](const MelodyNote& a, const MelodyNote& b) {
        t.number(detail::diatonic_interval(a, b));
    });
    t.put("],\"gross_contour\":\"");
    each_interval(melody, [&](const MelodyNote& a, const MelodyNote& b) {
        t.put(detail::gross_letter(a, b));
    });
    t.put("\",\"refined_contour\":\"");
    each_interval(melody, [&](const MelodyNote& a, const MelodyNote& b) {
        t.put(detail::refined_letter(a, b));
    });
    t.put('"');
}

void put_rhythm(Text& t, const Melody& melody)
{
    t.put(",\"durations\":[");
    put_each_note(t, melody, [&](const MelodyNote& n) { t.real(n.duration); });
    t.put(']');
    bool timed = std::none_of(melody.notes.begin(), melody.notes.end(),
                              [](const MelodyNote& n) { return n.beat < 0; });
    if (!timed) {
        t.put(",\"beats\":null");
        return;
    }
    t.put(",\"beats\":[");
    put_each_note(t, melody, [&](const MelodyNote& n) { t.real(n.beat); });
    t.put(']');
}

}  // namespace

std::vector<double> beats(const Melody& melody)
{
    std::vector<double> places;
    places.reserve(melody.notes.size());
    for (const MelodyNote& n : melody.notes) {
        if (n.beat < 0)
            return {};
        places.push_back(n.beat);
    }
    return places;
}

void append_keys_json(std::string& out, const Melody& melody)
{
    // Written in place, in room made for the most the notes can take, and
    // cut to what they took.
    std::size_t start = out.size();
    out.resize(start + kFieldChars + kNoteChars * melody.notes.size());
    Text t{out.data() + start};
    put_pitches(t, melody);
    put_intervals(t, melody);
    put_rhythm(t, melody);
    out.resize(static_cast<std::size_t>(t.at - out.data()));
}

}  // namespace tav
