// The keys of a melody as members of a JSON object: what a report line
// carries and a search engine's document holds, one field per key.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "tav/melody.h"

namespace tav {

namespace {

void append_number(std::string& out, int value)
{
    char text[16];
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// Lengths and beats are mostly sums of halves, quarters and so on, whose
// decimals end within ten places: written digit by digit, exactly as
// "%.15g" writes them (the whole part kept under 15 - 10 digits).
constexpr double kBinaryPlaces = 1024;
constexpr double kShortWhole = 1e5;

bool append_short(std::string& out, double value)
{
    double size = std::fabs(value);
    if (!(size < kShortWhole) || size * kBinaryPlaces != std::floor(size * kBinaryPlaces))
        return false;
    if (std::signbit(value))
        out += '-';
    double whole = std::floor(size);
    append_number(out, static_cast<int>(whole));
    double rest = size - whole;
    if (rest != 0)
        out += '.';
    while (rest != 0) {
        rest *= 10;
        double digit = std::floor(rest);
        out += static_cast<char>('0' + static_cast<int>(digit));
        rest -= digit;
    }
    return true;
}

// The shortest of 15 or 17 digits that reads back as `value`.
void append_number(std::string& out, double value)
{
    if (append_short(out, value))
        return;
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    if (std::strtod(text, nullptr) != value)
        std::snprintf(text, sizeof text, "%.17g", value);
    out += text;
}

template <typename Values>
void append_array(std::string& out, const char* name, const Values& values)
{
    out += '"';
    out += name;
    out += "\":[";
    bool first = true;
    for (const auto& v : values) {
        if (!first)
            out += ',';
        first = false;
        if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string>) {
            out += '"';
            out += v;   // a pitch name: letters, digits, '#' and 'b'
            out += '"';
        } else {
            append_number(out, v);
        }
    }
    out += ']';
}

void append_text(std::string& out, const char* name, const std::string& text)
{
    out += '"';
    out += name;
    out += "\":\"";
    out += text;   // contour letters
    out += '"';
}

}  // namespace

std::vector<double> beats(const Melody& melody)
{
    std::vector<double> places;
    for (const MelodyNote& n : melody.notes) {
        if (n.beat < 0)
            return {};
        places.push_back(n.beat);
    }
    return places;
}

void append_keys_json(std::string& out, const Melody& melody)
{
    append_array(out, "pitches", pitch_names(melody));
    out += ',';
    append_array(out, "midi", midi_keys(melody));
    out += ',';
    append_array(out, "chromatic_intervals", chromatic_intervals(melody));
    out += ',';
    append_array(out, "diatonic_intervals", diatonic_intervals(melody));
    out += ',';
    append_text(out, "gross_contour", gross_contour(melody));
    out += ',';
    append_text(out, "refined_contour", refined_contour(melody));
    out += ',';
    append_array(out, "durations", durations(melody));
    out += ',';
    std::vector<double> places = beats(melody);
    if (places.empty() && !melody.notes.empty())
        out += "\"beats\":null";
    else
        append_array(out, "beats", places);
}

}  // namespace tav
