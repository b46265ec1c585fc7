// The record's header values in the score: the clef code, the two
// time-signature fields, the key signature (kept apart, or the preamble at
// the start of the music), and measure 1.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "parser/convert.h"
#include "parser/handlers.h"

namespace tav::detail {

namespace {

void skip_tabs(ScanState& s, const Line& line)
{
    while (line.at(s.position) == '\t')
        ++s.position;
}

// Moves past the next ']'; stays at the end of the line if there is none.
void skip_past_bracket(ScanState& s, const Line& line)
{
    while (s.position < line.end && line.at(s.position) != ']')
        ++s.position;
    if (s.position < line.end)
        ++s.position;
}

// A key signature written with brackets, from its sign at `position`: taken
// as the corrected key signature, passed over up to its ']', and reported.
void read_corrected_key(ScanState& s, const Line& line)
{
    s.corrected_key = get_alt_keysig(line, s.position);
    skip_past_bracket(s, line);
    report(s.console, tav::MessageCode::BracketedKey);
}

// The clef field: up to three characters. A two-character field (the null
// clef «\-») leaves the third a zero byte, which names no staff line; a
// shorter field gives no clef.
void read_clef_field(ScanState& s, const std::string& clef)
{
    if (clef.size() >= 2)
        clef.copy(s.clef_code, 3);
    if (s.clef_code[1] == '+')
        s.mensural = 1;
}

// The first five characters of a time-signature field to a new TimeSignature.
TimeSignature* time_from(ScanState& s, const std::string& field)
{
    field.copy(s.time_text, sizeof s.time_text);
    return read_time_signature(s.pools, s.time_text);
}

// The time field and, after a mensural sign in it, the second one.
void read_time_fields(ScanState& s, const tav::Record& record)
{
    if (record.time.empty() || !is_time_start(static_cast<unsigned char>(record.time[0])))
        return;
    s.pending_time = time_from(s, record.time);
    if (s.pending_time->mensural == 0)
        return;
    unsigned char d = record.time2.empty() ? 0 : static_cast<unsigned char>(record.time2[0]);
    if ((is_digit(d) && d != '0') || d == 'c' || d == 'o') {
        destroy_time_signature(s.pools, s.pending_time);
        s.pending_time = time_from(s, record.time2);
        s.pending_time->mensural = 1;
    } else if (d == '\\' || d == '0') {
        s.mensural = 1;
    }
}

void resolve_mensural(ScanState& s)
{
    if (s.mensural == 1 && s.pending_time != nullptr) {
        destroy_time_signature(s.pools, s.pending_time);
        s.pending_time = nullptr;
    }
    if (s.pending_time != nullptr && s.pending_time->mensural == 1)
        s.mensural = 1;
    if (s.options.remove_mensural == 1 && s.pending_time != nullptr &&
        s.pending_time->mensural == 1) {
        destroy_time_signature(s.pools, s.pending_time);
        s.pending_time = nullptr;
    }
}

// A key signature from the sign after its '$': «bBE», or one written with
// brackets, «bB[E]» or «[bB]», which is taken as the corrected key
// signature and reported.
void read_key_signature(ScanState& s, const Line& line)
{
    if (line.at(s.position) == '[') {
        ++s.position;
        read_corrected_key(s, line);
        return;
    }
    s.keysig_count = get_keysig(line, s.position);
    int32_t width = std::abs(s.keysig_count) + 1;
    s.position += width;
    if (line.at(s.position) == '[') {
        s.position -= width;
        read_corrected_key(s, line);
    }
}

// A key signature at the start of the music: «$bBE», «$bB[E]», «$[bB]» or
// «[$bB]».
void read_key_preamble(ScanState& s, const Line& line)
{
    unsigned char c = line.at(s.position);
    if (c == '[') {
        ++s.position;
        print_trace(s.console, "poop\n");
        if (line.at(s.position) == '$')
            ++s.position;
        read_corrected_key(s, line);
    } else if (c == '$') {
        ++s.position;
        read_key_signature(s, line);
    }
}

void skip_preamble_filler(ScanState& s, const Line& line)
{
    for (;;) {
        unsigned char c = line.at(s.position);
        if (c != ' ' && c != '&' && c != 252 && c != 195 && c != 188)
            break;
        ++s.position;
    }
}

// A key kept apart from the music («bBE», «$bBE», «bB[E]»), read as the
// preamble it stands for: a sign in it that is not part of the key
// signature (or the blanks after it) fails the record, its position counted
// from `origin`, where the key stands before the music. The music is then
// read from its start.
void read_key_field(ScanState& s, const Line& key, int64_t origin)
{
    s.position = key.at(0) == '$' ? 1 : 0;
    read_key_signature(s, key);
    skip_preamble_filler(s, key);
    if (s.position < key.end) {
        int64_t music_origin = std::exchange(s.origin, origin);
        fail_unrecognised(s, key.at(s.position));
        s.origin = music_origin;
    }
    s.position = 0;
}

}  // namespace

void add_clef(ScanState& s, Measure* measure)
{
    int32_t kind = 0;
    switch (s.clef_code[0]) {
    case 'G': kind = ATTR_CLEF_G; break;
    case 'F': kind = ATTR_CLEF_F; break;
    case 'C': kind = ATTR_CLEF_C; break;
    case 'g': kind = ATTR_CLEF_G8; break;
    default: break;
    }
    if (kind != 0) {
        unsigned char line_digit = static_cast<unsigned char>(s.clef_code[2]);
        int32_t staff_line = is_digit(line_digit) ? line_digit - '0' : 0;
        add_measure_mark(s, measure, kind, staff_line);
    }
    std::memset(s.clef_code, 0, sizeof s.clef_code);
}

void read_header(ScanState& s, const tav::Record& record, const Line& key, const Line& line)
{
    read_clef_field(s, record.clef);
    read_time_fields(s, record);
    resolve_mensural(s);
    if (key.end > 0) {
        // The key's own '$' or the one the music field would give it.
        read_key_field(s, key, record.music_position + (key.at(0) == '$' ? 0 : 1));
    } else {
        skip_tabs(s, line);
        read_key_preamble(s, line);
    }
    skip_preamble_filler(s, line);

    s.measure_number = 1;
    s.first_measure = create_measure(s.pools, 1, nullptr);
    s.current_measure = s.first_measure;
    add_clef(s, s.first_measure);
    if (s.keysig_count != 0) {
        add_measure_mark(s, s.first_measure, ATTR_KEY, s.keysig_count);
        s.keysig_count = 0;
    }
    if (s.pending_time != nullptr) {
        s.first_measure->time_signature = s.pending_time;
        s.pending_time = nullptr;
        std::memset(s.time_text, 0, sizeof s.time_text);
    }
}

}  // namespace tav::detail
