// The record header: identifier, incipit number, clef code, the two
// time-signature fields, the key-signature preamble, and measure 1. The
// fields are read one by one, each up to its TAB, so that no field's text is
// ever taken for another's.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "parser/convert.h"
#include "parser/handlers.h"

namespace {

// An identifier has one to ten digits.
constexpr int MAX_IDENTIFIER_DIGITS = 10;

void skip_tabs(ScanState& s, const Line& line)
{
    while (line.at(s.position) == '\t')
        ++s.position;
}

// Index of the TAB that ends the field starting at `start`, or of the end of
// the line when no TAB follows.
int32_t field_end(const Line& line, int32_t start)
{
    int32_t i = start;
    while (i < line.end && line.at(i) != '\t')
        ++i;
    return i;
}

// Moves to the next TAB; stops at the end of the line if there is none.
void skip_to_tab(ScanState& s, const Line& line)
{
    s.position = field_end(line, s.position);
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

void warn(ScanState& s, const char* text)
{
    report_warning(s.console, s.incipit_id, s.incipit_nb, text);
}

// Field 1. Characters before the first digit are passed over within the
// field; then one to ten digits, ended by the TAB. A line that ends after
// the digits is left to the incipit number to report. False when the record
// failed, reported with identifier 0.
bool read_identifier(ScanState& s, const Line& line)
{
    while (s.position < line.end && line.at(s.position) != '\t' &&
           !is_digit(line.at(s.position)))
        ++s.position;
    if (!is_digit(line.at(s.position))) {
        fail_record(s, "no incipit identifier found");
        return false;
    }
    int64_t value = 0;
    for (int digits = 0; is_digit(line.at(s.position)); ++digits, ++s.position) {
        if (digits == MAX_IDENTIFIER_DIGITS) {
            fail_record(s, "incipit identifier has more than ten digits");
            return false;
        }
        value = value * 10 + (line.at(s.position) - '0');
    }
    if (s.position < line.end && line.at(s.position) != '\t') {
        fail_record(s, "incipit identifier is not a number");
        return false;
    }
    if (value > INT32_MAX) {
        fail_record(s, "incipit identifier is larger than 2147483647");
        return false;
    }
    s.incipit_id = static_cast<int32_t>(value);
    return true;
}

// Field 2. Blanks and TABs before its first digit are passed over; the
// number is then the whole field up to its TAB, which it must have. Leaves
// `position` after that TAB. False when the record failed.
bool read_incipit_number(ScanState& s, const Line& line)
{
    while (s.position < line.end && (line.at(s.position) == ' ' || line.at(s.position) == '\t'))
        ++s.position;
    if (!is_digit(line.at(s.position))) {
        fail_record(s, "no incipit number found");
        return false;
    }
    int32_t end = field_end(line, s.position);
    if (end - s.position > INCIPIT_NB_MAX) {
        fail_record(s, "incipit number too long");
        return false;
    }
    std::memcpy(s.incipit_nb, line.bytes + s.position, static_cast<size_t>(end - s.position));
    s.position = end;
    if (end == line.end) {
        fail_record(s, "line ends after the incipit number");
        return false;
    }
    ++s.position;
    return true;
}

// Field 3, up to three characters: a two-character field (the null clef
// «\-») leaves the third a zero byte, which names no staff line. An empty
// or one-character field gives no clef, a longer one its first three
// characters, with a warning. A line that ends in it lacks the time
// signature and the music: false, the record failed.
bool read_clef_field(ScanState& s, const Line& line)
{
    int32_t end = field_end(line, s.position);
    if (line.at(end) != '\t') {
        fail_record(s, "no time signature field found");
        return false;
    }
    int32_t length = end - s.position;
    if (length >= 2) {
        for (int32_t k = 0; k < 3 && k < length; ++k)
            s.clef_code[k] = static_cast<char>(line.at(s.position + k));
    }
    if (s.clef_code[1] == '+')
        s.mensural = 1;
    if (length == 0)
        warn(s, "found an empty clef field, using no clef");
    else if (length == 1)
        warn(s, "found a clef field of one character, using no clef");
    else if (length > 3)
        warn(s, "found a clef field longer than three characters, using its first three");
    s.position = end + 1;
    return true;
}

// Signs a time signature is written with; a field of nothing else holds
// no music.
bool is_time_text(unsigned char c)
{
    return is_digit(c) || c == 'c' || c == 'o' || c == '/' || c == '.' || c == ' ';
}

// A field from `start` that the line ends in stands where the music
// belongs: it is the music unless it is empty, a null field or a time
// signature.
bool reads_as_music(const Line& line, int32_t start)
{
    if (start == line.end || line.at(start) == '\\')
        return false;
    for (int32_t i = start; i < line.end; ++i)
        if (!is_time_text(line.at(i)))
            return true;
    return false;
}

// The field at `position`, when the line ends in it, is the music, with
// the warning `as_music`, or else the record fails with `error`. True when
// the line goes on after the field.
bool field_ends_line(ScanState& s, const Line& line, const char* error, const char* as_music)
{
    if (field_end(line, s.position) < line.end)
        return true;
    if (reads_as_music(line, s.position))
        warn(s, as_music);
    else
        fail_record(s, error);
    return false;
}

// Field 5 after a mensural sign in field 4: a time signature replaces the
// sign's; a null field or one starting with 0 leaves none.
void read_second_time_field(ScanState& s, const Line& line)
{
    std::memset(s.time_text, 0, sizeof s.time_text);
    unsigned char d = line.at(s.position);
    if ((is_digit(d) && d != '0') || d == 'c' || d == 'o') {
        copy_field(s, line, s.time_text);
        destroy_rhythm(s.pools, s.pending_time);
        s.pending_time = rhythm_convert(s.pools, s.time_text);
        s.pending_time->mensural = 1;
    } else if (d == '\\' || d == '0') {
        s.mensural = 1;
    } else if (d != '\t') {
        warn(s, "found an unreadable second time signature field, passing over it");
    }
    skip_to_tab(s, line);
}

// Field 4 holding more than its time signature took (`used` characters
// from `start`): what is not read is reported.
void report_ignored_time(ScanState& s, const Line& line, int32_t start, int used)
{
    int32_t end = field_end(line, start);
    bool more = false;
    for (int32_t i = start + used; i < end; ++i)
        more = more || line.at(i) != ' ';
    if (!more)
        return;
    std::string text = "time signature field read as ";
    text.append(line.bytes + start, static_cast<size_t>(used));
    text += ", ignoring '";
    text.append(line.bytes + start + used, static_cast<size_t>(end - start - used));
    text += "'";
    warn(s, text.c_str());
}

// Fields 4 and 5, then the music. An empty or null field 4 is no time
// signature; after one that is not a mensural sign, field 5 is passed
// over. Where the line ends in field 4 or 5, that field is the music (see
// field_ends_line). False when the record failed.
bool read_time_fields(ScanState& s, const Line& line)
{
    if (!field_ends_line(s, line, "no second time signature field found",
                         "no time signature fields found, reading the last field as the music"))
        return !s.record_failed;
    unsigned char c = line.at(s.position);
    if (is_time_start(c)) {
        int32_t start = s.position;
        int used = 0;
        copy_field(s, line, s.time_text);
        s.pending_time = rhythm_convert(s.pools, s.time_text, &used);
        report_ignored_time(s, line, start, used);
        std::memset(s.time_text, 0, sizeof s.time_text);
    } else if (c != '\\' && c != '\t') {
        warn(s, "found an unreadable time signature field, using no time signature");
    }
    skip_to_tab(s, line);
    ++s.position;
    if (!field_ends_line(s, line, "no music field found",
                         "no second time signature field found, reading the last field as the "
                         "music"))
        return !s.record_failed;
    if (s.pending_time != nullptr && s.pending_time->mensural != 0)
        read_second_time_field(s, line);
    else
        skip_to_tab(s, line);
    std::memset(s.time_text, 0, sizeof s.time_text);
    return true;
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
    if (!read_identifier(s, line) || !read_incipit_number(s, line))
        return false;
    if (!read_clef_field(s, line) || !read_time_fields(s, line))
        return false;
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
