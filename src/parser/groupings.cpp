// Groupings and ornaments: beams, fermatas and tuplets in parentheses,
// trills, ties and slurs, grace notes and grace groups, and the repetition
// of a group between two '!' signs. The handlers mostly set flags; the marks
// go onto the next note through add_grouping_marks.

#include "parser/convert.h"
#include "parser/handlers.h"

namespace tav::detail {

namespace {

void mark(ScanState& s, Note* note, int32_t kind, int32_t value = 0)
{
    add_note_attrib(create_attribute(s.pools, kind, value, nullptr), note);
}

// Past the notes joined to a note by '^', each with its octave marks and
// accidental.
int32_t past_chord(const Line& line, int32_t at)
{
    while (line.at(at) == '^') {
        ++at;
        for (unsigned char c = line.at(at); c == '\'' || c == ',' || c == 'x' || c == 'b' ||
                                             c == 'n' || (c >= 'A' && c <= 'G');
             c = line.at(at)) {
            ++at;
            if (c >= 'A' && c <= 'G')
                break;
        }
    }
    return at;
}

void tuplet_mark(ScanState& s, const Line& line, Note* note)
{
    if (s.tuplet_number <= 0)
        return;
    int32_t after_at = past_chord(line, s.position + 1);
    unsigned char after = line.at(after_at);
    int32_t kind = ATTR_TUPLET_CONTINUE;
    if (s.tuplet_start_pending) {
        kind = ATTR_TUPLET_START;  // even when it is also the last note
        s.tuplet_start_pending = false;
    } else if (after == ';' || after == ')') {
        kind = ATTR_TUPLET_STOP;
    } else if (after == '}' &&
               (line.at(after_at + 1) == ')' || line.at(after_at + 1) == ';')) {
        kind = ATTR_TUPLET_STOP;
    }
    mark(s, note, kind, s.tuplet_number);
}

// Past the marks a note carries after its letter: ties, trills, closing
// parentheses, a tuplet's ';' with its number, and the notes of its chord.
int32_t past_note_marks(const Line& line, int32_t at)
{
    for (;;) {
        unsigned char c = line.at(at);
        if (c == '^') {
            at = past_chord(line, at);
        } else if (c == '+' || c == 't' || c == ')') {
            ++at;
        } else if (c == ';') {
            ++at;
            while (is_digit(line.at(at)))
                ++at;
        } else {
            return at;
        }
    }
}

// A slur that starts while one is open stops the open one first, so that
// a chain of ties stays paired.
void start_slur(ScanState& s, Note* note)
{
    if (s.slur_open)
        mark(s, note, ATTR_SLUR_STOP);
    mark(s, note, ATTR_SLUR_START);
    s.slur_open = true;
}

// Marks the note with a begin or continue of the open beam, whose end is
// still to come.
void beam_mark_before_end(ScanState& s, Note* note, int32_t kind)
{
    mark(s, note, kind);
    s.beam_note = note;
    s.beam_last_mark = note->last_attribute;
}

// A note is the last of its beam when '}' follows its letter and its own
// marks. A beam around one note gives it no mark. The notes of a grace
// group take their own beam, not this one.
void beam_mark(ScanState& s, const Line& line, Note* note)
{
    if (!s.beam_open || s.grace_group_count > 0)
        return;
    bool last = line.at(past_note_marks(line, s.position + 1)) == '}';
    if (s.beam_begin_pending) {
        if (!last)
            beam_mark_before_end(s, note, ATTR_BEAM_BEGIN);
        s.beam_begin_pending = false;
    } else if (last) {
        mark(s, note, ATTR_BEAM_END);
        s.beam_last_mark = nullptr;
        if (line.at(s.position + 1) == '}' && line.at(s.position + 2) == '+')
            start_slur(s, note);  // «{AB}+C»: the slur starts here
    } else {
        beam_mark_before_end(s, note, ATTR_BEAM_CONTINUE);
    }
}

// «(C)t»: the closing parenthesis and the trill go with the note. True when
// the note takes a fermata.
bool fermata_mark(ScanState& s, const Line& line, Note* note)
{
    if (!s.fermata_pending)
        return false;
    mark(s, note, ATTR_FERMATA);
    s.fermata_pending = false;
    if (line.at(s.position + 2) == 't') {
        mark(s, note, ATTR_TRILL);
        s.position += 2;
    }
    return true;
}

void trill_mark(ScanState& s, const Line& line, Note* note)
{
    if (line.at(s.position + 1) == 't') {
        mark(s, note, ATTR_TRILL);
        s.position += 1;
    }
}

// '+' after a note starts a slur there; the next note not directly followed
// by '}' stops it. After a one-note fermata the '+' follows its ')': «(E)+».
void slur_mark(ScanState& s, const Line& line, Note* note, bool fermata)
{
    unsigned char after = line.at(s.position + 1);
    if (fermata && after == ')' && line.at(s.position + 2) == '+')
        after = '+';
    if (after == '+')
        start_slur(s, note);
    else if (s.slur_open && after != '}') {
        mark(s, note, ATTR_SLUR_STOP);
        s.slur_open = false;
    }
}

void grace_marks(ScanState& s, Note* note)
{
    if (s.acciaccatura_pending) {
        mark(s, note, ATTR_ACCIACCATURA);
        s.acciaccatura_pending = false;
    }
    // A grace group is beamed unless it stands within a beam of other notes.
    bool beamed = s.beam_last_mark == nullptr;
    if (s.appoggiatura_pending) {
        mark(s, note, ATTR_APPOGGIATURA);
        if (s.grace_group_count > 0) {  // the first note of a «qq» group
            if (beamed)
                mark(s, note, ATTR_BEAM_BEGIN);
            --s.grace_group_count;
        }
        s.appoggiatura_pending = false;
    } else if (s.grace_group_count > 0) {
        mark(s, note, ATTR_APPOGGIATURA);
        if (beamed)
            mark(s, note, s.grace_group_count == 1 ? ATTR_BEAM_END : ATTR_BEAM_CONTINUE);
        --s.grace_group_count;
    }
}

}  // namespace

void add_grouping_marks(ScanState& s, const Line& line, Note* note)
{
    tuplet_mark(s, line, note);
    beam_mark(s, line, note);
    bool fermata = fermata_mark(s, line, note);
    trill_mark(s, line, note);
    slur_mark(s, line, note, fermata);
    grace_marks(s, note);
}

void join_chord(ScanState& s)
{
    s.chord_pending = true;
    ++s.position;
}

void open_beam(ScanState& s)
{
    s.beam_open = true;
    s.beam_begin_pending = true;
    s.beam_last_mark = nullptr;
    ++s.position;
}

// A beam whose last notes were a grace group ends on its last other note;
// one with a single other note gives that note no mark.
void close_beam(ScanState& s)
{
    if (s.beam_last_mark != nullptr) {
        if (s.beam_last_mark->kind == ATTR_BEAM_CONTINUE)
            s.beam_last_mark->kind = ATTR_BEAM_END;
        else
            remove_note_attrib(s.pools, s.beam_note, s.beam_last_mark);
        s.beam_last_mark = nullptr;
    }
    s.beam_open = false;
    ++s.position;
}

namespace {

// The ')' that closes one note or rest with only value digits, dots,
// octave marks and accidentals before it, «(4.C)» or «(''xG)»; -1 when the
// parenthesis holds anything else.
int32_t one_note_close(ScanState& s, const Line& line)
{
    int32_t at = s.position + 1;
    for (;; ++at) {
        unsigned char c = line.at(at);
        if (!is_digit(c) && c != '.' && c != '\'' && c != ',' && c != 'x' && c != 'b' && c != 'n')
            break;
    }
    s.searches.work += at - s.position;
    unsigned char c = line.at(at);
    bool note = (c >= 'A' && c <= 'G') || c == '-';
    return note && line.at(at + 1) == ')' ? at + 1 : -1;
}

}  // namespace

// '(' encloses one note with a fermata, «(C)», «(4C)» or «(4.C)», a measure
// rest with a fermata, «(=)» or «(=3)», or a tuplet. The tuplet's number stands before its ')': «;5)» is 5, a digit
// without ';' is that digit plus 10, and no digit means 3.
void open_parenthesis(ScanState& s, const Line& line)
{
    if (line.at(s.position + 1) == '=') {
        // «(=)», «(=4)»: measure rests with a fermata; the count ends at the ')'.
        s.fermata_pending = true;
        s.fermata_close = find_forward(line, s.position, ')', s.searches.close_paren,
                                       s.searches.work);
    } else if (line.at(s.position + 2) == ')' || line.at(s.position + 3) == ')') {
        s.fermata_pending = true;
    } else if (int32_t note_close = one_note_close(s, line); note_close >= 0) {
        s.fermata_pending = true;
        s.fermata_close = note_close;
    } else {
        int32_t close = find_forward(line, s.position, ')', s.searches.close_paren,
                                     s.searches.work);
        int32_t number = 3;
        if (close >= 0 && is_digit(line.at(close - 1))) {
            number = line.at(close - 1) - '0';
            if (line.at(close - 2) != ';')
                number += 10;
        }
        s.tuplet_number = number;
        // A tuplet of 0 («;0)») has no ratio.
        add_tuplet(s.written, number);
        s.tuplet_start_pending = true;
    }
    ++s.position;
}

// ';' closes a tuplet written with its number; the number and the ')' are
// passed over so that the number is never read as a note value.
void close_numbered_tuplet(ScanState& s, const Line& line)
{
    s.tuplet_number = 0;
    int32_t close = find_forward(line, s.position, ')', s.searches.close_paren,
                                 s.searches.work);
    s.position = close >= 0 ? close + 1 : line.end;
}

void close_parenthesis(ScanState& s, const Line& line)
{
    if (s.position == s.fermata_close) {
        s.fermata_pending = false;
        s.fermata_close = -1;
    } else if (line.at(s.position - 2) == '(' || line.at(s.position - 3) == '(') {
        s.fermata_pending = false;
    } else {
        s.tuplet_number = 0;
    }
    ++s.position;
}

void start_acciaccatura(ScanState& s)
{
    ++s.position;
    if (s.pattern_replaying)
        end_pattern(s);
    s.acciaccatura_pending = true;
    s.grace_value = false;
}

// 'q' marks the next note; «qq» opens a group of grace notes up to 'r',
// as many as there are pitch letters before the 'r'.
void start_appoggiatura(ScanState& s, const Line& line)
{
    ++s.position;
    if (s.pattern_replaying)
        end_pattern(s);
    s.appoggiatura_pending = true;
    s.grace_value = false;
    if (line.at(s.position) == 'q') {
        int32_t letters = 0;
        find_grace_group_end(line, s.position, s.searches.grace_end, s.searches.work, letters);
        s.grace_group_count = static_cast<int32_t>(static_cast<uint32_t>(s.grace_group_count) +
                                                   static_cast<uint32_t>(letters));
        ++s.position;
    }
}

void close_grace_group(ScanState& s)
{
    s.appoggiatura_pending = false;
    s.grace_group_count = 0;
    ++s.position;
}

// '!' bounds a group for repetition; the values in force there are kept.
void pass_group_bound(ScanState& s)
{
    s.group_bounds[s.next_group_bound] = {s.position, s.current_octave, s.current_duration,
                                          s.dot_count};
    s.next_group_bound ^= 1;
    ++s.position;
}

// 'f' repeats the group between the two '!' before it: the 'f' becomes a
// 'z', so that the next pass skips it, and the scan goes back to the
// opening '!' with the octave, value and dots in force there. Without two
// '!' before it, 'f' is not a sign we can read.
void repeat_group(ScanState& s, Line& line)
{
    int32_t closing = find_bang_before(line, s.position, s.searches.closing_bang,
                                       s.searches.work);
    int32_t opening = closing < 0 ? -1
                                  : find_bang_before(line, closing, s.searches.opening_bang,
                                                     s.searches.work);
    if (opening < 0) {
        fail_unrecognised(s, line.at(s.position));
        return;
    }
    line.bytes[s.position] = 'z';
    s.position = opening;
    for (const ScanState::GroupBound& bound : s.group_bounds) {
        if (bound.position == opening) {
            s.current_octave = bound.octave;
            s.current_duration = bound.duration;
            s.dot_count = bound.dots;
        }
    }
}

}  // namespace tav::detail

namespace tav::detail {

namespace {

// The most notes of one chord tied to the next; slur numbers stay within
// the 16 MusicXML allows.
constexpr int32_t kMaxChordTies = 15;

// One chord: its first note and the note after its last.
struct Chord {
    Note* first = nullptr;
    Note* end = nullptr;
    bool tied = false;   // a '+' follows it
};

// The chord that starts at `note`, in its measure.
Chord chord_at(Note* note)
{
    Chord c{note, note->next, false};
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next)
        c.tied = c.tied || a->kind == ATTR_CHORD_TIE;
    while (c.end != nullptr && c.end->first_attribute != nullptr &&
           c.end->first_attribute->kind == ATTR_CHORD) {
        for (const Attribute* a = c.end->first_attribute; a != nullptr; a = a->next)
            c.tied = c.tied || a->kind == ATTR_CHORD_TIE;
        c.end = c.end->next;
    }
    return c;
}

// The stop of a tie goes before the starts its note has.
void add_tie_stop(ScanState& s, Note* note, int32_t number)
{
    Attribute* stop = create_attribute(s.pools, ATTR_SLUR_STOP, number, nullptr);
    Attribute* before = nullptr;
    Attribute* a = note->first_attribute;
    while (a != nullptr && a->kind != ATTR_SLUR_START) {
        before = a;
        a = a->next;
    }
    stop->next = a;
    (before != nullptr ? before->next : note->first_attribute) = stop;
    if (a == nullptr)
        note->last_attribute = stop;
}

// Each note of `from` is tied to the first note of `to` at its pitch not
// yet taken; a note without one is the record's warning.
void tie_chord(ScanState& s, const Chord& from, const Chord& to)
{
    int32_t number = 0;
    bool taken[kMaxChordTies + 1] = {};
    for (Note* n = from.first; n != from.end; n = n->next) {
        Note* match = nullptr;
        int32_t index = 0;
        for (Note* m = to.first; m != to.end && n->step != 'R'; m = m->next, ++index) {
            if (m->step == n->step && m->octave == n->octave &&
                (index > kMaxChordTies || !taken[index])) {
                match = m;
                break;
            }
        }
        s.searches.work += index + 1;
        if (match == nullptr || number == kMaxChordTies) {
            report(s.console, tav::MessageCode::ChordTieWithoutPitch);
            continue;
        }
        if (index <= kMaxChordTies)
            taken[index] = true;
        ++number;
        add_note_attrib(create_attribute(s.pools, ATTR_SLUR_START, number, nullptr), n);
        add_tie_stop(s, match, number);
    }
}

}  // namespace

void tie_chords(ScanState& s)
{
    Chord before;
    for (Measure* m = s.first_measure; m != nullptr; m = m->next) {
        for (Note* n = m->first_note; n != nullptr;) {
            Chord c = chord_at(n);
            if (before.tied)
                tie_chord(s, before, c);
            before = c;
            n = c.end;
        }
    }
    if (before.tied)
        tie_chord(s, before, Chord{});
}

}  // namespace tav::detail
