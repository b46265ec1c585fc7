// Note elements, one per note or rest, in the child order of the MusicXML
// note element: grace, pitch or rest, duration, voice, type, dots and
// accidentals, time modification, stem, beam, notations. Each group that
// depends on marks walks the note's attribute list on its own, so within a
// group lines follow the list order; a first walk notes which kinds of
// marks the note carries, so that groups it has no mark for are passed by.
//
// Lines are written whole, tabs and line feed included, through the cursor
// of XmlText, into room reserved once per note.

#include <string_view>

#include "score/note_length.h"
#include "writer/notes_internal.h"
#include "writer/output.h"
#include "writer/xml_text.h"

namespace tav::detail {

namespace {

using Kinds = uint64_t;  // bit k set: the note carries a mark of kind k

constexpr Kinds bit(int32_t kind) { return Kinds{1} << kind; }

constexpr Kinds kGrace = bit(ATTR_ACCIACCATURA) | bit(ATTR_APPOGGIATURA);
constexpr Kinds kTuplet = bit(ATTR_TUPLET_START) | bit(ATTR_TUPLET_CONTINUE) |
                          bit(ATTR_TUPLET_STOP);
constexpr Kinds kDotsAndAccidentals = bit(ATTR_DOTS) | bit(ATTR_ACCIDENTAL);
constexpr Kinds kDurationFactor = bit(ATTR_DOTS) | kTuplet;
constexpr Kinds kBeam = bit(ATTR_BEAM_BEGIN) | bit(ATTR_BEAM_CONTINUE) | bit(ATTR_BEAM_END);
constexpr Kinds kNotation = bit(ATTR_TUPLET_START) | bit(ATTR_TUPLET_STOP) |
                            bit(ATTR_FERMATA) | bit(ATTR_TRILL) | bit(ATTR_SLUR_START) |
                            bit(ATTR_SLUR_STOP);

// Room for one note element: its fixed lines, and the most lines any one
// mark can add (a tuplet start: a time modification and a notation).
constexpr size_t kNoteRoom = 512;
constexpr size_t kMarkRoom = 256;

bool is_tuplet(int32_t kind)
{
    return kind == ATTR_TUPLET_START || kind == ATTR_TUPLET_CONTINUE || kind == ATTR_TUPLET_STOP;
}

bool is_grace(int32_t kind)
{
    return kind == ATTR_ACCIACCATURA || kind == ATTR_APPOGGIATURA;
}

// The slur numbers (value + 1) of the note's marks of `kind`, as bits by value.
uint32_t slur_values(const Note* note, int32_t kind)
{
    uint32_t values = 0;
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next)
        if (a->kind == kind && a->value >= 0 && a->value < MeasureAccidentals::kSlurNumbers)
            values |= uint32_t{1} << a->value;
    return values;
}

// Indexed by Accidental.
constexpr int32_t kAlters[ACC_DOUBLE_FLAT + 1] = {0, 0, 1, 2, -1, -2};

// The alteration of the note's own accidental, if it has one.
bool own_alter(const Note* note, int32_t& alter)
{
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (a->kind == ATTR_ACCIDENTAL && a->value >= ACC_NATURAL && a->value <= ACC_DOUBLE_FLAT) {
            alter = kAlters[a->value];
            return true;
        }
    }
    return false;
}

int32_t* remembered_alter(MeasureAccidentals& memory, char step)
{
    for (int i = 0; i < memory.count; ++i)
        if (memory.step[i] == step)
            return &memory.alter[i];
    return nullptr;
}

void remember_alter(MeasureAccidentals& memory, char step, int32_t alter)
{
    if (int32_t* entry = remembered_alter(memory, step)) {
        *entry = alter;
    } else if (memory.count < 7) {
        memory.step[memory.count] = step;
        memory.alter[memory.count] = alter;
        ++memory.count;
    }
}

// The alteration a key signature gives to a letter without an accidental:
// sharps in the order F C G D A E B, flats in the reverse order.
int32_t key_alter(char step, int32_t fifths)
{
    int32_t i;
    switch (step) {
    case 'F': i = 0; break;
    case 'C': i = 1; break;
    case 'G': i = 2; break;
    case 'D': i = 3; break;
    case 'A': i = 4; break;
    case 'E': i = 5; break;
    case 'B': i = 6; break;
    default: return 0;
    }
    if (fifths >= i + 1)
        return 1;
    if (fifths <= -(7 - i))
        return -1;
    return 0;
}

// Alterations are always one of -2 .. 2.
char* put_alter(char* p, int32_t alter)
{
    switch (alter) {
    case -2: return put(p, "\t\t\t\t\t<alter>-2</alter>\n");
    case -1: return put(p, "\t\t\t\t\t<alter>-1</alter>\n");
    case 1: return put(p, "\t\t\t\t\t<alter>1</alter>\n");
    case 2: return put(p, "\t\t\t\t\t<alter>2</alter>\n");
    default: break;
    }
    p = put(p, "\t\t\t\t\t<alter>");
    p = put_decimal(p, alter);
    return put(p, "</alter>\n");
}

// The MusicXML name of each Accidental.
constexpr std::string_view kAccidentalLines[ACC_DOUBLE_FLAT + 1] = {
    "",
    "\t\t\t\t<accidental>natural</accidental>\n",
    "\t\t\t\t<accidental>sharp</accidental>\n",
    "\t\t\t\t<accidental>double-sharp</accidental>\n",
    "\t\t\t\t<accidental>flat</accidental>\n",
    "\t\t\t\t<accidental>flat-flat</accidental>\n",
};

// The Accidental that shows an alteration of -2 .. 2.
int32_t accidental_for(int32_t alter)
{
    static const int32_t kAccidentals[5] = {ACC_DOUBLE_FLAT, ACC_FLAT, ACC_NATURAL, ACC_SHARP,
                                            ACC_DOUBLE_SHARP};
    return alter >= -2 && alter <= 2 ? kAccidentals[alter + 2] : 0;
}

MeasureAccidentals::Shown* shown_at(MeasureAccidentals& memory, char step, int32_t octave)
{
    for (int i = 0; i < memory.shown_count; ++i)
        if (memory.shown[i].step == step && memory.shown[i].octave == octave)
            return &memory.shown[i];
    return nullptr;
}

// A reader takes a note's alteration from the last accidental shown at its
// pitch in the measure, else from the key signature. Records what the note
// shows; returns the Accidental to write for a note whose alteration the
// reader could not take so, or 0.
int32_t shown_accidental(const Note* note, int32_t alter, bool own, int32_t current_fifths,
                         MeasureAccidentals& memory)
{
    MeasureAccidentals::Shown* shown = shown_at(memory, note->step, note->octave);
    int32_t shows = 0;
    if (!own) {
        bool known = shown != nullptr || memory.shown_count < MeasureAccidentals::kShownCapacity;
        int32_t read = shown != nullptr ? shown->alter : key_alter(note->step, current_fifths);
        if (known && read == alter)
            return 0;
        shows = accidental_for(alter);
    }
    if (shown != nullptr)
        shown->alter = alter;
    else if (memory.shown_count < MeasureAccidentals::kShownCapacity)
        memory.shown[memory.shown_count++] = {note->step, note->octave, alter};
    return shows;
}

// The alteration a note sounds with: an explicit accidental, else that of
// the note a tie comes from at the same pitch (also across a barline), else
// one given to the same letter earlier in the measure, else the key
// signature.
int32_t sounding_alter(const Note* note, Kinds kinds, int32_t current_fifths,
                       MeasureAccidentals& memory, bool& own, bool& tied)
{
    int32_t alter = 0;
    if ((kinds & bit(ATTR_ACCIDENTAL)) && own_alter(note, alter)) {
        remember_alter(memory, note->step, alter);
        own = true;
        return alter;
    }
    uint32_t stops = (kinds & bit(ATTR_SLUR_STOP)) ? slur_values(note, ATTR_SLUR_STOP) : 0;
    for (int v = 0; v < MeasureAccidentals::kSlurNumbers; ++v) {
        const MeasureAccidentals::Tie& tie = v == 0 ? memory.tie : memory.chord_ties[v];
        if ((stops >> v & 1) && tie.open && tie.step == note->step &&
            tie.octave == note->octave) {
            tied = true;
            return tie.alter;
        }
    }
    if (const int32_t* remembered = remembered_alter(memory, note->step))
        return *remembered;
    if (current_fifths != 0 && !(kinds & bit(ATTR_ACCIDENTAL)))
        return key_alter(note->step, current_fifths);
    return 0;
}

// The alteration the note sounds with, remembered for the notes after it:
// the tie it may start, and those of its chord's notes.
int32_t track_alter(const Note* note, Kinds kinds, int32_t current_fifths,
                    MeasureAccidentals& memory, bool& own, bool& tied)
{
    int32_t alter = sounding_alter(note, kinds, current_fifths, memory, own, tied);
    uint32_t starts = (kinds & bit(ATTR_SLUR_START)) ? slur_values(note, ATTR_SLUR_START) : 0;
    memory.tie = {(starts & 1) != 0, note->step, note->octave, alter};
    // The ties of a chord's notes: each number ends at its stop.
    if (kinds & (bit(ATTR_SLUR_STOP) | bit(ATTR_SLUR_START))) {
        uint32_t stops = slur_values(note, ATTR_SLUR_STOP);
        for (int v = 1; v < MeasureAccidentals::kSlurNumbers; ++v) {
            if (stops >> v & 1)
                memory.chord_ties[v].open = false;
            if (starts >> v & 1)
                memory.chord_ties[v] = {true, note->step, note->octave, alter};
        }
    }
    return alter;
}

// The alteration line; the note may start a tie for the next one. `shows`
// receives the Accidental to write beside the note's own, or 0.
char* write_alter(char* p, const Note* note, Kinds kinds, int32_t current_fifths,
                  MeasureAccidentals& memory, int32_t& shows)
{
    bool own = false;
    bool tied = false;
    int32_t alter = track_alter(note, kinds, current_fifths, memory, own, tied);
    // A tie shows where its alteration comes from.
    shows = tied ? 0 : shown_accidental(note, alter, own, current_fifths, memory);
    return alter != 0 ? put_alter(p, alter) : p;
}

// A note and its measure, to walk on through the score.
struct Place {
    const Note* note;
    const Measure* measure;
};

// The note after `p` in the score: in its measure, else the first of a
// later measure.
Place following(Place p)
{
    if (p.note->next != nullptr)
        return {p.note->next, p.measure};
    for (const Measure* m = p.measure->next; m != nullptr; m = m->next)
        if (m->first_note != nullptr)
            return {m->first_note, m};
    return {nullptr, nullptr};
}

bool in_chord(const Note* note)
{
    return note->first_attribute != nullptr && note->first_attribute->kind == ATTR_CHORD;
}

// The note where the slur mark of value v that starts at `from` stops: the
// note right after it for a '+' after a note (none when that note has no
// stop: the slur stops later), a note of the next chord for a chord's tie.
const Note* tie_end(Place from, int32_t v)
{
    int chords = 0;
    for (Place p = following(from); p.note != nullptr; p = following(p)) {
        if (v > 0 && !in_chord(p.note) && ++chords > 1)
            return nullptr;
        if (slur_values(p.note, ATTR_SLUR_STOP) >> v & 1)
            return p.note;
        if (v == 0)
            return nullptr;
    }
    return nullptr;
}

// Where ties are written: true when the slur mark of value v at `note`,
// sounding with `alter`, joins it to a note of the same sounding pitch (a
// note without an accidental of its own sounds with the alteration tied to
// it). A '+' between different pitches stays a slur, and is counted.
bool starts_tie(const Note* note, int32_t v, int32_t alter, MeasureAccidentals& memory)
{
    const Note* end = tie_end({note, memory.measure}, v);
    if (end == nullptr)
        return false;
    int32_t end_alter = alter;
    own_alter(end, end_alter);
    bool pitched = note->step != 'R' && end->step != 'R';
    if (pitched && end->step == note->step && end->octave == note->octave && end_alter == alter)
        return true;
    if (note->step != 'R' || end->step != 'R')
        ++memory.slurred_ties;
    return false;
}

// The ties of a note, as bits by slur value: the stops of ties started
// before, and the starts decided here.
struct NoteTies {
    uint32_t stops = 0;
    uint32_t starts = 0;
};

NoteTies note_ties(const Note* note, Kinds kinds, MeasureAccidentals& memory)
{
    NoteTies ties;
    if (!memory.write_ties || !(kinds & (bit(ATTR_SLUR_START) | bit(ATTR_SLUR_STOP))))
        return ties;
    ties.stops = slur_values(note, ATTR_SLUR_STOP) & memory.tie_started;
    memory.tie_started &= ~ties.stops;
    uint32_t starts = slur_values(note, ATTR_SLUR_START);
    for (int32_t v = 0; v < MeasureAccidentals::kSlurNumbers; ++v)
        if ((starts >> v & 1) && starts_tie(note, v, memory.tie.alter, memory))
            ties.starts |= uint32_t{1} << v;
    memory.tie_started |= ties.starts;
    return ties;
}

char* write_ties(char* p, const NoteTies& ties)
{
    if (ties.stops != 0)
        p = put(p, "\t\t\t\t<tie type=\"stop\"/>\n");
    if (ties.starts != 0)
        p = put(p, "\t\t\t\t<tie type=\"start\"/>\n");
    return p;
}

// Group 3.
char* write_pitch(char* p, const Note* note, Kinds kinds, int32_t current_fifths,
                  MeasureAccidentals& memory, int32_t& shows)
{
    if (note->step == 'R') {
        memory.tie.open = false;
        return put(p, "\t\t\t\t<rest/>\n");
    }
    p = put(p, "\t\t\t\t<pitch>\n\t\t\t\t\t<step>");
    *p++ = note->step;
    p = put(p, "</step>\n");
    p = write_alter(p, note, kinds, current_fifths, memory, shows);
    int64_t octave = note->octave;
    if (octave >= 1 || octave <= -1) {
        p = put(p, "\t\t\t\t\t<octave>");
        p = put_decimal(p, octave >= 1 ? octave + 3 : octave + 4);
        p = put(p, "</octave>\n");
    }
    return put(p, "\t\t\t\t</pitch>\n");
}

// Group 4: the note's length at divisions, truncated.
char* write_duration(char* p, const Note* note, Kinds kinds, float divisions)
{
    LengthFactor factor;
    if (kinds & kDurationFactor)
        factor = length_factor(note);
    p = put(p, "\t\t\t\t<duration>");
    p = put_decimal(p, static_cast<int64_t>(note_units(note, factor, divisions)));
    return put(p, "</duration>\n");
}

// Group 6.
char* write_type(char* p, const Note* note, Kinds kinds)
{
    if (note->step == 'R' && (note->duration == 4.0f || (kinds & bit(ATTR_MEASURE_REST))))
        return p;  // whole rests and measure rests
    if (kinds & bit(ATTR_ACCIACCATURA))
        return put(p, "\t\t\t\t<type>eighth</type>\n");
    float d = note->duration;
    if (d == 1.0f)
        return put(p, "\t\t\t\t<type>quarter</type>\n");
    if (d == 0.5f)
        return put(p, "\t\t\t\t<type>eighth</type>\n");
    if (d == 0.25f)
        return put(p, "\t\t\t\t<type>16th</type>\n");
    if (d == 2.0f)
        return put(p, "\t\t\t\t<type>half</type>\n");
    if (d == 4.0f)
        return put(p, "\t\t\t\t<type>whole</type>\n");
    if (d == 0.125f)
        return put(p, "\t\t\t\t<type>32nd</type>\n");
    if (d == 8.0f)
        return put(p, "\t\t\t\t<type>breve</type>\n");
    if (d == 16.0f)
        return put(p, "\t\t\t\t<type>long</type>\n");
    if (d == 0.0625f)
        return put(p, "\t\t\t\t<type>64th</type>\n");
    if (d == 0.03125f)
        return put(p, "\t\t\t\t<type>128th</type>\n");
    return p;
}

// Group 7.
char* write_dots_and_accidentals(char* p, const Note* note)
{
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (a->kind == ATTR_DOTS) {
            p = put(p, "\t\t\t\t<dot/>\n");
            if (a->value == 2)
                p = put(p, "\t\t\t\t<dot/>\n");
        } else if (a->kind == ATTR_ACCIDENTAL && a->value >= ACC_NATURAL &&
                   a->value <= ACC_DOUBLE_FLAT) {
            p = put(p, kAccidentalLines[a->value]);
        }
    }
    return p;
}

// Group 8.
char* write_time_modifications(char* p, const Note* note)
{
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (!is_tuplet(a->kind))
            continue;
        p = put(p, "\t\t\t\t<time-modification>\n\t\t\t\t\t<actual-notes>");
        p = put_decimal(p, a->value);
        p = put(p, "</actual-notes>\n\t\t\t\t\t<normal-notes>");
        p = put_decimal(p, normal_notes(a->value));
        p = put(p, "</normal-notes>\n\t\t\t\t</time-modification>\n");
    }
    return p;
}

// Group 9.
char* write_stems(char* p, const Note* note)
{
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next)
        if (is_grace(a->kind))
            p = put(p, "\t\t\t\t<stem>up</stem>\n");
    return p;
}

// Group 10.
char* write_beams(char* p, const Note* note)
{
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (a->kind == ATTR_BEAM_BEGIN)
            p = put(p, "\t\t\t\t<beam number=\"1\">begin</beam>\n");
        else if (a->kind == ATTR_BEAM_CONTINUE)
            p = put(p, "\t\t\t\t<beam number=\"1\">continue</beam>\n");
        else if (a->kind == ATTR_BEAM_END)
            p = put(p, "\t\t\t\t<beam number=\"1\">end</beam>\n");
    }
    return p;
}

// A slur mark, or the tied element of a tie; a slur's number is its
// value + 1.
char* write_slur(char* p, const Attribute* a, const NoteTies& ties)
{
    bool start = a->kind == ATTR_SLUR_START;
    uint32_t tie = a->value >= 0 && a->value < MeasureAccidentals::kSlurNumbers
                       ? (start ? ties.starts : ties.stops) >> a->value & 1
                       : 0;
    if (tie != 0)
        return put(p, start ? "\t\t\t\t\t<tied type=\"start\"/>\n" : "\t\t\t\t\t<tied type=\"stop\"/>\n");
    p = put(p, start ? "\t\t\t\t\t<slur type=\"start\" number=\"" : "\t\t\t\t\t<slur type=\"stop\" number=\"");
    p = put_decimal(p, int64_t{a->value} + 1);
    return put(p, "\"/>\n");
}

// Group 11: one notations element holding every notation mark in list order.
char* write_notations(char* p, const Note* note, const NoteTies& ties)
{
    p = put(p, "\t\t\t\t<notations>\n");
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        switch (a->kind) {
        case ATTR_TUPLET_START:
            p = put(p, "\t\t\t\t\t<tuplet type=\"start\" placement=\"above\" bracket=\"yes\"/>\n");
            break;
        case ATTR_TUPLET_STOP: p = put(p, "\t\t\t\t\t<tuplet type=\"stop\"/>\n"); break;
        case ATTR_FERMATA: p = put(p, "\t\t\t\t\t<fermata type=\"upright\"/>\n"); break;
        case ATTR_TRILL:
            p = put(p, "\t\t\t\t\t<ornaments>\n\t\t\t\t\t\t<trill-mark/>\n\t\t\t\t\t</ornaments>\n");
            break;
        case ATTR_SLUR_START:
        case ATTR_SLUR_STOP: p = write_slur(p, a, ties); break;
        default: break;
        }
    }
    return put(p, "\t\t\t\t</notations>\n");
}

char* write_note(char* p, const Note* note, Kinds kinds, float divisions,
                 int32_t current_fifths, MeasureAccidentals& memory)
{
    p = put(p, "\t\t\t<note>\n");
    // Group 2: the first grace mark decides.
    bool grace = false;
    if (kinds & kGrace) {
        for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
            if (a->kind == ATTR_ACCIACCATURA) {
                p = put(p, "\t\t\t\t<grace slash=\"yes\"/>\n");
                grace = true;
                break;
            }
            if (a->kind == ATTR_APPOGGIATURA) {
                p = put(p, "\t\t\t\t<grace/>\n");
                grace = true;
                break;
            }
        }
    }
    int32_t shows = 0;
    if (kinds & bit(ATTR_CHORD))
        p = put(p, "\t\t\t\t<chord/>\n");
    p = write_pitch(p, note, kinds, current_fifths, memory, shows);
    NoteTies ties = note_ties(note, kinds, memory);
    if (!grace)
        p = write_duration(p, note, kinds, divisions);
    p = write_ties(p, ties);
    p = put(p, "\t\t\t\t<voice>1</voice>\n");
    p = write_type(p, note, kinds);
    if (kinds & kDotsAndAccidentals)
        p = write_dots_and_accidentals(p, note);
    if (shows != 0)
        p = put(p, kAccidentalLines[shows]);
    if (kinds & kTuplet)
        p = write_time_modifications(p, note);
    if (kinds & kGrace)
        p = write_stems(p, note);
    if (kinds & kBeam)
        p = write_beams(p, note);
    if (kinds & kNotation)
        p = write_notations(p, note, ties);
    return put(p, "\t\t\t</note>\n");
}

// The kinds of marks the note carries, and how many marks.
Kinds kinds_of(const Note* note, size_t& marks)
{
    Kinds kinds = 0;
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        // Kinds beyond the bit set are marks no group writes.
        if (a->kind >= 0 && a->kind < 64)
            kinds |= bit(a->kind);
        ++marks;
    }
    return kinds;
}

}  // namespace

int32_t sounded_alter(const Note* note, int32_t current_fifths, MeasureAccidentals& memory)
{
    if (note->step == 'R') {
        memory.tie.open = false;
        return 0;
    }
    size_t marks = 0;
    bool own = false;
    bool tied = false;
    return track_alter(note, kinds_of(note, marks), current_fifths, memory, own, tied);
}

const Note* write_measure_notes(XmlText& xml, const Note* first_note, int64_t count,
                                float divisions, int32_t current_fifths,
                                MeasureAccidentals& measure_accidentals)
{
    const Note* note = first_note;
    for (; note != nullptr && count > 0; note = note->next, --count) {
        size_t marks = 0;
        Kinds kinds = kinds_of(note, marks);
        char* p = xml.reserve(kNoteRoom + kMarkRoom * marks);
        p = write_note(p, note, kinds, divisions, current_fifths, measure_accidentals);
        xml.commit(p);
    }
    return note;
}

}  // namespace tav::detail
