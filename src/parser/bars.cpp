// Bars and measure-level signs: barlines, repeats, measure repeats,
// measure rests, and changes of clef, time and key within the music.

#include <cstdlib>
#include <string>

#include "parser/convert.h"
#include "parser/handlers.h"

namespace tav::detail {

namespace {

// A barline before the first note of the music is no bar's end: only its
// repeat start stays, on measure 1.
void add_bar(ScanState& s, int32_t kind)
{
    if (kind != ATTR_REPEAT_START && at_empty_start(s))
        return;
    add_measure_mark(s, s.current_measure, kind, 0);
}

// The data ends at a blank after a double barline or a repeat sign (`sign`
// names it). Music after the blank, up to the end of the field, is not read:
// it is reported with its length, leading and trailing blanks left out.
void report_ignored_music(ScanState& s, const Line& line, int32_t blank, const char* sign)
{
    if (line.at(blank) != ' ')
        return;
    int32_t first = -1;
    int32_t last = -1;
    int32_t i = blank + 1;
    for (; line.signed_at(i) > 31; ++i) {
        if (line.at(i) != ' ') {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    s.searches.work += i - blank;
    if (first < 0)
        return;
    report(s.console, tav::MessageCode::MusicAfterBlank,
           {sign, std::to_string(last - first + 1)});
}

// The ties and slurs of a copied measure go on from the music before it:
// a stop with none open is dropped, a start while one is open stops it
// first, and what is open at the copy's end stays open.
void join_copied_slurs(ScanState& s, Measure* copy)
{
    bool open = s.slur_open;
    for (Note* n = copy->first_note; n != nullptr; n = n->next) {
        Attribute* before = nullptr;
        for (Attribute* a = n->first_attribute; a != nullptr;) {
            Attribute* next = a->next;
            if (a->kind == ATTR_SLUR_STOP && !open) {
                remove_note_attrib(s.pools, n, a);
                a = next;
                continue;
            }
            if (a->kind == ATTR_SLUR_START && open) {
                Attribute* stop = create_attribute(s.pools, ATTR_SLUR_STOP, 0, a);
                (before != nullptr ? before->next : n->first_attribute) = stop;
            }
            if (a->kind == ATTR_SLUR_STOP || a->kind == ATTR_SLUR_START)
                open = a->kind == ATTR_SLUR_START;
            before = a;
            a = next;
        }
    }
    s.slur_open = open;
}

// A copied measure restates no clef or key that is in force where it
// stands: it writes only what changes.
void drop_restated_marks(ScanState& s, Measure* copy)
{
    for (Attribute* a = copy->first_attribute; a != nullptr;) {
        Attribute* next = a->next;
        bool clef = is_clef(a->kind);
        if ((clef && a->kind == s.clef_kind && a->value == s.clef_line) ||
            (a->kind == ATTR_KEY && a->value == s.key_fifths)) {
            remove_measure_attrib(s.pools, copy, a);
            --s.measure_attribute_count;
        } else if (clef) {
            s.clef_kind = a->kind;
            s.clef_line = a->value;
        } else if (a->kind == ATTR_KEY) {
            s.key_fifths = a->value;
        }
        a = next;
    }
}

// «/i»: the next measure is a copy of the current one, notes, marks and
// barlines included (but not its time signature, nor a clef or key it
// would only restate).
bool repeat_measure(ScanState& s)
{
    int64_t notes = 0;
    int64_t note_marks = 0;
    int64_t measure_marks = 0;
    for (const Note* n = s.current_measure->first_note; n != nullptr; n = n->next) {
        ++notes;
        for (const Attribute* a = n->first_attribute; a != nullptr; a = a->next)
            ++note_marks;
    }
    for (const Attribute* a = s.current_measure->first_attribute; a != nullptr; a = a->next)
        ++measure_marks;
    if (s.note_count + notes > MAX_NOTES || int64_t{s.measure_number} + 1 > MAX_MEASURES ||
        s.measure_attribute_count + measure_marks > MAX_MEASURE_ATTRIBUTES) {
        fail_too_large(s);
        return false;
    }
    s.note_count += notes;
    s.notes_in_measure = notes;
    s.last_place = nullptr;
    s.measure_attribute_count += measure_marks;
    // Copying costs work like reading the copied signs again.
    s.searches.work += notes + note_marks + measure_marks;
    ++s.measure_number;
    Measure* copy = copy_measure(s.pools, s.current_measure);
    s.current_measure->next = copy;
    s.current_measure = copy;
    drop_restated_marks(s, copy);
    join_copied_slurs(s, copy);
    return true;
}

// After a double barline or a repeat: a measure repeat if «i» follows,
// otherwise the next measure.
bool open_after_double_bar(ScanState& s, const Line& line)
{
    if (line.at(s.position) == 'i') {
        ++s.position;
        return repeat_measure(s);
    }
    return open_next_measure(s);
}

// «//:», and the end of «://:»: the next measure opens with a forward
// repeat. A blank or the end of the line after the colon ends the data.
// Returns true when the data ends.
bool open_repeat(ScanState& s, const Line& line)
{
    if (!open_next_measure(s))
        return true;
    add_bar(s, ATTR_REPEAT_START);
    if (line.signed_at(s.position + 3) <= 32) {
        report_ignored_music(s, line, s.position + 3, "repeat sign");
        return true;
    }
    s.position += 3;
    return false;
}

// The time signature in force in the current measure.
const TimeSignature* time_in_force(const ScanState& s)
{
    if (s.current_measure->time_signature != nullptr)
        return s.current_measure->time_signature;
    return (s.timed_measure != nullptr ? s.timed_measure : s.first_measure)->time_signature;
}

// A rest that lasts its measure. Counted like any note: the rests kept when
// measure rests are removed can reach the note limit too.
// The first rest of «(=N)» takes the fermata.
void add_whole_rest(ScanState& s, bool fermata = false)
{
    if (Note* rest = append_note(s, 'R', s.current_octave, measure_quarters(time_in_force(s)))) {
        add_note_attrib(create_attribute(s.pools, ATTR_MEASURE_REST, 0, nullptr), rest);
        if (fermata)
            add_note_attrib(create_attribute(s.pools, ATTR_FERMATA, 0, nullptr), rest);
    }
}

// A single barline: «/», or «/:» whose colon gives the next measure a
// forward repeat. Only the barline's own characters are passed.
bool read_single_barline(ScanState& s, int c1, int c2)
{
    if (c1 != ':') {
        s.position += 1;
        return !open_next_measure(s);
    }
    if (c2 <= 31)
        return true;  // nothing follows the repeat sign
    s.position += 2;
    if (!open_next_measure(s))
        return true;
    add_bar(s, ATTR_REPEAT_START);
    return false;
}

}  // namespace

// The first case that applies decides. Compared as signed bytes, "at most
// 31" takes in control bytes and bytes 128 to 255; "at most 32" the blank
// as well, which ends the data after a double barline or a repeat.
bool read_barline(ScanState& s, const Line& line)
{
    int c0 = line.signed_at(s.position);
    int c1 = line.signed_at(s.position + 1);
    int c2 = line.signed_at(s.position + 2);

    if (c0 <= 31 || c1 <= 31)
        return true;  // the end of the data; a last '/' adds nothing
    if (c1 == 'i') {
        s.position += 2;
        return !repeat_measure(s);
    }
    if (s.repeat_pending == 1 && c1 != '/') {
        // «:/», and «:/:» with a forward repeat after it.
        add_bar(s, ATTR_REPEAT_END);
        s.repeat_pending = 0;
        return read_single_barline(s, c1, c2);
    }
    if (s.repeat_pending == 1) {
        // «://» or «://:».
        if (c2 == ':') {
            add_bar(s, ATTR_REPEAT_END);
            if (open_repeat(s, line))
                return true;
        } else {
            add_bar(s, ATTR_REPEAT_END);
            if (c2 <= 32) {
                report_ignored_music(s, line, s.position + 2, "repeat sign");
                return true;
            }
            s.position += 2;
            if (!open_after_double_bar(s, line))
                return true;
        }
        s.repeat_pending = 0;
        return false;
    }
    if (c1 == '/') {
        if (c2 <= 31) {
            add_bar(s, ATTR_BAR_FINAL);
            return true;
        }
        if (c2 == ':')
            return open_repeat(s, line);
        add_bar(s, ATTR_BAR_DOUBLE);
        if (c2 <= 32) {
            report_ignored_music(s, line, s.position + 2, "double barline");
            return true;
        }
        s.position += 2;
        return !open_after_double_bar(s, line);
    }
    return read_single_barline(s, c1, c2);
}

void read_colon(ScanState& s)
{
    s.repeat_pending = 1;
    ++s.position;
}

namespace {

// With measure rests removed, a rest of one measure («=», «=1») stays a
// whole rest; a longer one is passed over, with its fermata's ')'.
void drop_measure_rest(ScanState& s, const Line& line, int32_t slash, int32_t n,
                       int32_t count_end, bool fermata)
{
    if (count_end == 1 || (count_end == 2 && line.at(s.position + 1) == '1')) {
        add_whole_rest(s, fermata);
        s.position += count_end;
        return;
    }
    if (fermata) {  // its ')' is passed over with the rest
        s.fermata_pending = false;
        s.fermata_close = -1;
    }
    if (s.measure_number > 1 && slash >= 0) {
        // The rest and its barline are dropped: the music after the
        // '/' goes on in the current measure.
        s.position += n + 1;
    } else {
        s.position += n;
    }
}

// The count in the signs after '=' before `digits_end`; -1 when one of them
// is not a digit, after failing the record. A count past the measure limit
// stops growing there, so that any longer one is refused without
// overflowing.
int64_t read_rest_count(ScanState& s, const Line& line, int32_t digits_end)
{
    int64_t count = 0;
    for (int32_t i = 1; i < digits_end; ++i) {
        unsigned char c = line.at(s.position + i);
        if (!is_digit(c)) {
            fail_record(s, tav::MessageCode::MeasureRestCount);
            return -1;
        }
        if (count <= MAX_MEASURES)
            count = count * 10 + (c - '0');
    }
    return count;
}

}  // namespace

// «=» with a count up to the next '/': that many measures of rest. Without
// a '/' on the line the count runs to the line end. A count holding any
// other sign than a digit fails the record.
void read_measure_rest(ScanState& s, const Line& line)
{
    int32_t slash = find_forward(line, s.position, '/', s.searches.slash, s.searches.work);
    int32_t n = (slash >= 0 ? slash : line.end) - s.position;
    // «(=N)»: the count ends at the fermata's ')', which the loop reads next.
    int32_t count_end = n;
    bool fermata = s.fermata_pending && s.fermata_close > s.position &&
                   s.fermata_close - s.position < n;
    if (fermata)
        count_end = s.fermata_close - s.position;

    if (s.options.remove_measure_rests == 1) {
        drop_measure_rest(s, line, slash, n, count_end, fermata);
        return;
    }

    // Digits only. A colon right before the '/' belongs to the repeat sign
    // after the rest («=4://»): the count ends before it and the scan goes
    // on at the colon.
    int32_t digits_end = count_end;
    if (!fermata && n > 1 && slash >= 0 && line.at(s.position + n - 1) == ':')
        digits_end = n - 1;
    int64_t count = read_rest_count(s, line, digits_end);
    if (count < 0)
        return;
    int64_t rests = count > 1 ? count : 1;
    if (int64_t{s.measure_number} + rests - 1 > MAX_MEASURES || s.note_count + rests > MAX_NOTES) {
        fail_too_large(s);
        return;
    }
    if (count > 1)
        add_measure_mark(s, s.current_measure, ATTR_MULTIPLE_REST, static_cast<int32_t>(count));
    add_whole_rest(s, fermata);
    // The limits are checked above, so no measure opening fails here.
    for (int64_t k = 1; k < count; ++k) {
        open_next_measure(s);
        add_whole_rest(s);
    }
    s.position += digits_end;
}

void read_clef_change(ScanState& s, const Line& line)
{
    ++s.position;
    for (int k = 0; k < 3; ++k)
        s.clef_code[k] = static_cast<char>(line.at(s.position + k));
    s.position += 3;
    if (mark_place(s))
        add_clef(s, s.current_measure);
}

// «@3/4», «@12/8», «@c», «@c/»; after «@o» nothing is copied.
void read_time_change(ScanState& s, const Line& line)
{
    ++s.position;
    unsigned char c = line.at(s.position);
    if (c == 'c') {
        s.time_change_text[0] = 'c';
        ++s.position;
        if (line.at(s.position) == '/') {
            s.time_change_text[1] = '/';
            ++s.position;
        }
    } else if (is_digit(c) || c == 'o') {
        int n = 0;
        while (n < 5 && (is_digit(line.at(s.position)) || line.at(s.position) == '/'))
            s.time_change_text[n++] = static_cast<char>(line.at(s.position++));
    } else {
        return;
    }
    if (s.notes_in_measure > 0 &&
        !(mark_place(s) && add_measure_mark(s, s.current_measure, ATTR_TIME_HERE, 0)))
        return;
    destroy_time_signature(s.pools, s.current_measure->time_signature);
    s.current_measure->time_signature = read_time_signature(s.pools, s.time_change_text);
    s.timed_measure = s.current_measure;
    // Measure rests already in this measure take its new length.
    for (Note* n = s.current_measure->first_note; n != nullptr; n = n->next) {
        if (n->step == 'R' && n->first_attribute != nullptr &&
            n->first_attribute->kind == ATTR_MEASURE_REST) {
            n->duration = measure_quarters(s.current_measure->time_signature);
        }
    }
}

void read_key_change(ScanState& s, const Line& line)
{
    ++s.position;
    int32_t count = get_keysig(line, s.position);
    s.position += std::abs(count) + 1;
    if (count != 0 && mark_place(s))
        add_measure_mark(s, s.current_measure, ATTR_KEY, count);
}

namespace {

// Nothing but a repeat start: no notes, no time signature, no other mark.
bool is_empty_measure(const Measure* m)
{
    if (m->first_note != nullptr || m->time_signature != nullptr)
        return false;
    for (const Attribute* a = m->first_attribute; a != nullptr; a = a->next)
        if (a->kind != ATTR_REPEAT_START)
            return false;
    return true;
}

}  // namespace

void drop_empty_last_measures(ScanState& s)
{
    Measure* kept = s.first_measure;
    for (Measure* m = s.first_measure->next; m != nullptr; m = m->next)
        if (!is_empty_measure(m))
            kept = m;
    destroy_measure(s.pools, kept->next);
    kept->next = nullptr;
    s.current_measure = kept;
}

}  // namespace tav::detail
