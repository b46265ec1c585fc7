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

#include "score/accidentals.h"
#include "score/note_length.h"
#include "writer/notes_internal.h"
#include "writer/output.h"
#include "writer/xml_text.h"

namespace tav::detail {

namespace {

using Kinds = MarkKinds;

constexpr Kinds bit(int32_t kind) { return mark_bit(kind); }

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

// The alteration line; the note may start a tie for the next one. `shows`
// receives the Accidental to write beside the note's own, or 0.
char* write_alter(char* p, const Note* note, Kinds kinds, int32_t current_fifths,
                  MeasureAccidentals& memory, int32_t& shows)
{
    Alteration a = read_alteration(note, kinds, current_fifths, memory);
    shows = a.shows;
    return a.alter != 0 ? put_alter(p, a.alter) : p;
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

}  // namespace

const Note* write_measure_notes(XmlText& xml, const Note* first_note, int64_t count,
                                float divisions, int32_t current_fifths,
                                MeasureAccidentals& measure_accidentals)
{
    const Note* note = first_note;
    for (; note != nullptr && count > 0; note = note->next, --count) {
        size_t marks = 0;
        Kinds kinds = mark_kinds(note, marks);
        char* p = xml.reserve(kNoteRoom + kMarkRoom * marks);
        p = write_note(p, note, kinds, divisions, current_fifths, measure_accidentals);
        xml.commit(p);
    }
    return note;
}

}  // namespace tav::detail
