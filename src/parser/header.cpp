// The record header: identifier, incipit number, clef code, the two
// time-signature fields, the key-signature preamble, and measure 1.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "parser/convert.h"
#include "parser/handlers.h"

namespace {

void skip_tabs(ScanState& s, const Line& line)
{
    while (line.at(s.position) == '\t')
        ++s.position;
}

// Moves to the next TAB; stops at the end of the line if there is none.
void skip_to_tab(ScanState& s, const Line& line)
{
    while (s.position < line.end && line.at(s.position) != '\t')
        ++s.position;
}

// Moves to the next decimal digit before the end of the line; false if
// there is none.
bool skip_to_digit(ScanState& s, const Line& line)
{
    while (s.position < line.end && !is_digit(line.at(s.position)))
        ++s.position;
    return s.position < line.end;
}

// Copies a field up to its TAB into `text`: its first five characters; the
// rest of a longer field is passed over.
void copy_field(ScanState& s, const Line& line, char text[5])
{
    int n = 0;
    while (s.position < line.end && line.at(s.position) != '\t') {
        if (n < 5)
            text[n++] = static_cast<char>(line.at(s.position));
        ++s.position;
    }
}

// Steps past the TAB ending a field, when the field ended at one.
void step_past_tab(ScanState& s, const Line& line)
{
    if (line.at(s.position) == '\t')
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
    report_warning(s.console, s.incipit_id, s.incipit_nb,
                   "removing time signature within []");
}

bool is_time_start(unsigned char c)
{
    return is_digit(c) || c == 'c' || c == 'o';
}

void read_identifier(ScanState& s, const Line& line)
{
    // Nine characters, digits or not, each weighed as a digit.
    uint32_t id = 0;
    for (int k = 0; k < 9; ++k)
        id = id * 10u + static_cast<uint32_t>(line.at(s.position + k) - '0');
    s.incipit_id = static_cast<int32_t>(id);
    s.position += 9;
}

void read_incipit_number(ScanState& s, const Line& line)
{
    // The first character always, then each further one while the next is
    // not a TAB, at most eight.
    int n = 0;
    s.incipit_nb[n++] = static_cast<char>(line.at(s.position++));
    while (n < 8 && line.at(s.position) != '\t')
        s.incipit_nb[n++] = static_cast<char>(line.at(s.position++));
}

void read_clef_code(ScanState& s, const Line& line)
{
    for (int k = 0; k < 3; ++k)
        s.clef_code[k] = static_cast<char>(line.at(s.position + k));
    if (s.clef_code[1] == '+')
        s.mensural = 1;
    s.position += 3;
}

// Field 4 and, after a mensural sign in it, field 5.
void read_time_fields(ScanState& s, const Line& line)
{
    unsigned char c = line.at(s.position);
    if (is_time_start(c)) {
        copy_field(s, line, s.time_text);
        s.pending_time = rhythm_convert(s.pools, s.time_text);
        step_past_tab(s, line);
        if (s.pending_time->mensural == 0) {
            skip_to_tab(s, line);  // field 5 is not read
        } else {
            std::memset(s.time_text, 0, sizeof s.time_text);
            unsigned char d = line.at(s.position);
            if ((is_digit(d) && d != '0') || d == 'c' || d == 'o') {
                copy_field(s, line, s.time_text);
                destroy_rhythm(s.pools, s.pending_time);
                s.pending_time = rhythm_convert(s.pools, s.time_text);
                s.pending_time->mensural = 1;
            } else if (d == '\\' || d == '0') {
                skip_to_tab(s, line);
                s.mensural = 1;
            }
        }
        std::memset(s.time_text, 0, sizeof s.time_text);
    } else if (c == '\\') {
        // A null field 4: its two characters and its TAB, then field 5.
        s.position += 3;
        skip_to_tab(s, line);
    }
}

void resolve_mensural(ScanState& s)
{
    if (s.mensural == 1 && s.pending_time != nullptr) {
        destroy_rhythm(s.pools, s.pending_time);
        s.pending_time = nullptr;
    }
    if (s.pending_time != nullptr && s.pending_time->mensural == 1)
        s.mensural = 1;
    if (s.options.remove_mensural == 1 && s.pending_time != nullptr &&
        s.pending_time->mensural == 1) {
        destroy_rhythm(s.pools, s.pending_time);
        s.pending_time = nullptr;
    }
}

// A key signature at the start of the music: «$bBE», or one written with
// brackets, «$bB[E]», «$[bB]» or «[$bB]», which is taken as the corrected
// key signature and reported.
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
        if (line.at(s.position) != '[') {
            s.keysig_count = get_keysig(line, s.position);
            int32_t width = std::abs(s.keysig_count) + 1;
            s.position += width;
            if (line.at(s.position) == '[') {
                s.position -= width;
                read_corrected_key(s, line);
            }
        } else {
            ++s.position;
            read_corrected_key(s, line);
        }
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

bool read_header(ScanState& s, const Line& line)
{
    if (!skip_to_digit(s, line)) {
        fail_record(s, "no incipit identifier found");
        return false;
    }
    read_identifier(s, line);
    if (!skip_to_digit(s, line)) {
        fail_record(s, "no incipit number found");
        return false;
    }
    read_incipit_number(s, line);
    skip_tabs(s, line);
    read_clef_code(s, line);
    skip_tabs(s, line);
    read_time_fields(s, line);
    resolve_mensural(s);
    skip_tabs(s, line);
    read_key_preamble(s, line);
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
        s.first_measure->rhythm = s.pending_time;
        s.pending_time = nullptr;
        std::memset(s.time_text, 0, sizeof s.time_text);
    }
    return true;
}
