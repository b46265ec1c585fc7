// The scanning loop over the music data, and the signs that make notes:
// octave marks, note values with their dots and rhythmic patterns,
// accidentals, pitch letters and the rest sign.

#include <cstdio>
#include <string_view>

#include "parser/convert.h"
#include "parser/handlers.h"

namespace tav::detail {

namespace {

// Scanning steps and search work allowed per record: generous for any real
// incipit, but a line whose repetition signs rescan it over and over ends.
// Counted over the whole record line, header included.
int64_t work_limit(const ScanState& s, const Line& line)
{
    return 10 * (s.origin + int64_t{line.length}) + WORK_BASE;
}

// Undotted value in quarter notes of each note-value digit.
constexpr float kDigitValues[10] = {16.0f, 4.0f,  2.0f,    0.125f, 1.0f,
                                    0.0625f, 0.25f, 0.03125f, 0.5f,  8.0f};

float digit_value(unsigned char digit)
{
    return kDigitValues[digit - '0'];
}

void read_octave(ScanState& s, const Line& line, unsigned char mark)
{
    int32_t count = 0;
    while (line.at(s.position) == mark) {
        ++count;
        ++s.position;
    }
    s.current_octave = mark == '\'' ? count : -count;
}

// A run of note values written one after another is a rhythmic pattern
// that the following notes take in turn. Called after each note value.
void record_pattern(ScanState& s, const Line& line)
{
    if (s.pattern_replaying)
        end_pattern(s);
    if (!s.pattern_recording) {
        if (!is_digit(line.at(s.position)))
            return;
        s.pattern_recording = true;
        s.pattern_length = 0;
    }
    // Values beyond the capacity are not kept.
    if (s.pattern_length < PATTERN_CAPACITY) {
        s.pattern_durations[s.pattern_length] = s.current_duration;
        s.pattern_dots[s.pattern_length] = s.dot_count;
        ++s.pattern_length;
    }
}

void read_note_value(ScanState& s, const Line& line)
{
    unsigned char digit = line.at(s.position++);
    int32_t dots = 0;
    while (line.at(s.position) == '.') {
        ++dots;
        ++s.position;
    }
    s.current_duration = digit_value(digit);
    s.dot_count = dots;
    s.grace_value = true;
    if (digit == '7' && dots == 1) {
        // «7.» is a neumatic note; it is read as a quarter.
        s.current_duration = 1.0f;
        s.dot_count = 0;
        report(s.console, tav::MessageCode::NeumaticNote);
    }
    add_value(s.written, s.current_duration, s.dot_count);
    record_pattern(s, line);
}

void read_accidental(ScanState& s, const Line& line, unsigned char sign)
{
    if (sign == 'n') {
        s.pending_accidental = ACC_NATURAL;
        s.position += 1;
        return;
    }
    bool doubled = line.at(s.position + 1) == sign;
    if (sign == 'x')
        s.pending_accidental = doubled ? ACC_DOUBLE_SHARP : ACC_SHARP;
    else
        s.pending_accidental = doubled ? ACC_DOUBLE_FLAT : ACC_FLAT;
    s.position += doubled ? 2 : 1;
}

// Pitch letters and the rest sign; `c` is the sign at `position`.
void read_note(ScanState& s, const Line& line, unsigned char c);

// One step of the loop, on the sign `c` at `position`. Returns true when
// the music data has ended.
bool scan_step(ScanState& s, Line& line, unsigned char c)
{
    switch (c) {
    case ' ': ++s.position; return false;
    case '\'':
    case ',': read_octave(s, line, c); return false;
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
        read_note_value(s, line);
        return false;
    case 'n':
    case 'x':
    case 'b': read_accidental(s, line, c); return false;
    case '^': join_chord(s); return false;
    case '{': open_beam(s); return false;
    case '}': close_beam(s); return false;
    case '(': open_parenthesis(s, line); return false;
    case ';': close_numbered_tuplet(s, line); return false;
    case ')': close_parenthesis(s, line); return false;
    case 'g': start_acciaccatura(s); return false;
    case 'q': start_appoggiatura(s, line); return false;
    case 'r': close_grace_group(s); return false;
    case 'f': repeat_group(s, line); return false;
    case '!': pass_group_bound(s); return false;
    case '+':  // a tie or slur, read at the note before it
    case 't':  // a trill, read at the note before it
    case 'z':  // a repetition already done
        ++s.position;
        return false;
    case 'A': case 'B': case 'C': case 'D': case 'E': case 'F': case 'G': case '-':
        read_note(s, line, c);
        return false;
    case '%': read_clef_change(s, line); return false;
    case '@': read_time_change(s, line); return false;
    case '$': read_key_change(s, line); return false;
    case '=': read_measure_rest(s, line); return false;
    case ':': read_colon(s); return false;
    case '/': return read_barline(s, line);
    default: break;
    }
    // Control bytes and bytes 128 to 255 end the data; anything else is a
    // sign the converter does not know.
    if (static_cast<signed char>(c) <= 31)
        return read_barline(s, line);
    fail_unrecognised(s, c);
    return true;
}

}  // namespace

void end_pattern(ScanState& s)
{
    s.pattern_recording = false;
    s.pattern_replaying = false;
    s.pattern_length = 0;
    s.pattern_index = 0;
}

void fail_unrecognised(ScanState& s, unsigned char sign)
{
    s.record_failed = true;
    report_unrecognised_sign(s.console, sign, s.origin + s.position);
}

void fail_record(ScanState& s, tav::MessageCode reason)
{
    if (s.record_failed)
        return;
    s.record_failed = true;
    report(s.console, reason);
}

void fail_too_large(ScanState& s)
{
    if (s.record_failed)
        return;
    fail_record(s, tav::MessageCode::TooLarge);
    s.too_large = true;
}

Note* append_note(ScanState& s, char step, int32_t octave, float duration)
{
    if (s.note_count + 1 > MAX_NOTES) {
        fail_too_large(s);
        return nullptr;
    }
    ++s.note_count;
    ++s.notes_in_measure;
    Note* note = create_note(s.pools, step, octave, duration, nullptr);
    add_note(note, s.current_measure);
    return note;
}

bool add_measure_mark(ScanState& s, Measure* measure, int32_t kind, int32_t value)
{
    if (s.measure_attribute_count + 1 > MAX_MEASURE_ATTRIBUTES) {
        fail_too_large(s);
        return false;
    }
    ++s.measure_attribute_count;
    add_measure_attrib(create_attribute(s.pools, kind, value, nullptr), measure);
    if (is_clef(kind)) {
        s.clef_kind = kind;
        s.clef_line = value;
    } else if (kind == ATTR_KEY) {
        s.key_fifths = value;
    }
    return true;
}

bool mark_place(ScanState& s)
{
    if (s.notes_in_measure == 0 ||
        (s.last_place != nullptr && s.last_place->value == s.notes_in_measure))
        return true;  // changes at one place share its mark
    if (!add_measure_mark(s, s.current_measure, ATTR_AT_NOTE,
                          static_cast<int32_t>(s.notes_in_measure)))
        return false;
    s.last_place = s.current_measure->last_attribute;
    return true;
}

bool at_empty_start(const ScanState& s)
{
    return s.current_measure == s.first_measure && s.first_measure->first_note == nullptr;
}

bool open_next_measure(ScanState& s)
{
    if (at_empty_start(s))
        return true;
    if (int64_t{s.measure_number} + 1 > MAX_MEASURES) {
        fail_too_large(s);
        return false;
    }
    ++s.measure_number;
    s.notes_in_measure = 0;
    s.last_place = nullptr;
    Measure* next = create_measure(s.pools, s.measure_number, nullptr);
    s.current_measure->next = next;
    s.current_measure = next;
    return true;
}

namespace {

// A note after '^' sounds with the note before it, as one chord: it takes
// that note's value, dots and tuplet, its own octave and accidental, and no
// other mark. A '+' after it ties the chord to the next one.
void read_chord_note(ScanState& s, const Line& line, unsigned char c)
{
    s.chord_pending = false;
    const Note* base = s.current_measure->last_note;
    Note* note = append_note(s, static_cast<char>(c), s.current_octave, base->duration);
    if (note == nullptr)
        return;
    add_note_attrib(create_attribute(s.pools, ATTR_CHORD, 0, nullptr), note);
    for (const Attribute* a = base->first_attribute; a != nullptr; a = a->next) {
        if (a->kind == ATTR_DOTS)
            add_note_attrib(create_attribute(s.pools, ATTR_DOTS, a->value, nullptr), note);
        else if (a->kind == ATTR_TUPLET_START || a->kind == ATTR_TUPLET_CONTINUE ||
                 a->kind == ATTR_TUPLET_STOP)
            add_note_attrib(create_attribute(s.pools, ATTR_TUPLET_CONTINUE, a->value, nullptr),
                            note);
    }
    if (s.pending_accidental > 0) {
        add_note_attrib(create_attribute(s.pools, ATTR_ACCIDENTAL, s.pending_accidental, nullptr),
                        note);
        s.pending_accidental = 0;
    }
    if (line.at(s.position + 1) == '+')
        add_note_attrib(create_attribute(s.pools, ATTR_CHORD_TIE, 0, nullptr), note);
    ++s.position;
}

void read_note(ScanState& s, const Line& line, unsigned char c)
{
    char step = c == '-' ? 'R' : static_cast<char>(c);
    // A chord joins pitches: a rest after '^', or a '^' with no note before
    // it in the measure, is read as a note of its own.
    if (s.chord_pending && step != 'R' && s.current_measure->last_note != nullptr &&
        s.current_measure->last_note->step != 'R') {
        read_chord_note(s, line, c);
        return;
    }
    s.chord_pending = false;
    if (s.pattern_recording) {
        s.pattern_replaying = true;
        s.current_duration = s.pattern_durations[s.pattern_index];
        s.dot_count = s.pattern_dots[s.pattern_index];
        s.pattern_index = (s.pattern_index + 1) % s.pattern_length;
    }
    Note* note = append_note(s, step, s.current_octave, s.current_duration);
    if (note == nullptr)
        return;
    // The dots stay in force with the value, for the notes after this one.
    // A grace note takes none of them: an acciaccatura is never dotted, an
    // appoggiatura only by a value of its own written after its 'q'.
    int32_t dots = s.dot_count;
    if (s.acciaccatura_pending ||
        ((s.appoggiatura_pending || s.grace_group_count > 0) && !s.grace_value))
        dots = 0;
    if (dots > 0) {
        add_note_attrib(create_attribute(s.pools, ATTR_DOTS, dots, nullptr), note);
    }
    if (s.pending_accidental > 0) {
        add_note_attrib(create_attribute(s.pools, ATTR_ACCIDENTAL, s.pending_accidental, nullptr),
                        note);
        s.pending_accidental = 0;
    }
    add_grouping_marks(s, line, note);
    ++s.position;
}

}  // namespace

void scan_music(ScanState& s, Line& line, int32_t size)
{
    const int64_t limit = work_limit(s, line);
    // The options and the trace stay as they are for the whole record.
    const bool trace = s.options.verbose == 1 && s.console.trace != nullptr;
    if (s.record_failed)
        return;
    // Every step that fails the record leaves the loop at once, so the
    // failure needs no test at the top. The line is visible up to
    // line.length, never beyond size.
    for (;;) {
        if (s.position >= line.length) {
            // Up to size every byte reads as zero, which ends the data in
            // one more step; that step is still charged.
            if (s.position < size && s.searches.work >= limit)
                fail_too_large(s);
            return;
        }
        // Each step costs one unit; handlers add the bytes their searches
        // examine.
        if (s.searches.work >= limit) {
            fail_too_large(s);
            return;
        }
        int32_t before = s.position;
        if (scan_step(s, line, line.visible(s.position)) || s.record_failed)
            return;
        // A step that passes over a run of bytes (octave marks, dots, key
        // letters, a measure-rest count) costs one unit per byte, so that a
        // repeated group holding a long run cannot rescan it for free.
        int32_t moved = s.position - before;
        s.searches.work += 1 + (moved > 0 ? moved : 0);
        if (trace) {
            unsigned char c = line.at(s.position);
            char text[64];
            int n = std::snprintf(text, sizeof text, "i: %lld, char %c, ascii: %d\n",
                                  static_cast<long long>(s.origin + s.position), c,
                                  static_cast<signed char>(c));
            print_trace(s.console, std::string_view(text, static_cast<size_t>(n)));
        }
    }
}

}  // namespace tav::detail
