// The keys of a melody as members of a JSON object: what a report line
// carries and a search engine's document holds, one field per key.

#include <type_traits>

#include "score/number_text.h"
#include "tav/melody.h"

namespace tav {

namespace {

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
            detail::append_number(out, v);
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
