// The accidental memory: alterations from accidentals, ties, earlier
// accidentals of the measure and the key signature; the accidentals a
// reader needs; the '+' marks that are ties.

#include "score/accidentals.h"

#include <bit>

namespace tav::detail {

namespace {

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
int32_t sounding_alter(const Note* note, MarkKinds kinds, int32_t current_fifths,
                       MeasureAccidentals& memory, bool& own, bool& tied)
{
    int32_t alter = 0;
    if ((kinds & mark_bit(ATTR_ACCIDENTAL)) && own_alter(note, alter)) {
        remember_alter(memory, note->step, alter);
        own = true;
        return alter;
    }
    uint32_t stops = (kinds & mark_bit(ATTR_SLUR_STOP)) ? slur_values(note, ATTR_SLUR_STOP) : 0;
    for (; stops != 0; stops &= stops - 1) {
        const int v = std::countr_zero(stops);
        const MeasureAccidentals::Tie& tie = v == 0 ? memory.tie : memory.chord_ties[v];
        if (tie.open && tie.step == note->step && tie.octave == note->octave) {
            tied = true;
            return tie.alter;
        }
    }
    if (const int32_t* remembered = remembered_alter(memory, note->step))
        return *remembered;
    if (current_fifths != 0 && !(kinds & mark_bit(ATTR_ACCIDENTAL)))
        return key_alter(note->step, current_fifths);
    return 0;
}

// The alteration the note sounds with, remembered for the notes after it:
// the tie it may start, and those of its chord's notes.
int32_t track_alter(const Note* note, MarkKinds kinds, int32_t current_fifths,
                    MeasureAccidentals& memory, bool& own, bool& tied)
{
    int32_t alter = sounding_alter(note, kinds, current_fifths, memory, own, tied);
    uint32_t starts =
        (kinds & mark_bit(ATTR_SLUR_START)) ? slur_values(note, ATTR_SLUR_START) : 0;
    memory.tie = {(starts & 1) != 0, note->step, note->octave, alter};
    // The ties of a chord's notes: each number ends at its stop.
    if (kinds & (mark_bit(ATTR_SLUR_STOP) | mark_bit(ATTR_SLUR_START))) {
        uint32_t stops = slur_values(note, ATTR_SLUR_STOP);
        for (uint32_t s = stops & ~1u; s != 0; s &= s - 1)
            memory.chord_ties[std::countr_zero(s)].open = false;
        for (uint32_t s = starts & ~1u; s != 0; s &= s - 1)
            memory.chord_ties[std::countr_zero(s)] = {true, note->step, note->octave, alter};
    }
    return alter;
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

// True when the slur mark of value v at `note`, sounding with `alter`,
// joins it to a note of the same sounding pitch (a note without an
// accidental of its own sounds with the alteration tied to it). A '+'
// between different pitches stays a slur, and is counted.
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

}  // namespace

MarkKinds mark_kinds(const Note* note, size_t& marks)
{
    MarkKinds kinds = 0;
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next) {
        if (a->kind >= 0 && a->kind < 64)
            kinds |= mark_bit(a->kind);
        ++marks;
    }
    return kinds;
}

uint32_t slur_values(const Note* note, int32_t kind)
{
    uint32_t values = 0;
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next)
        if (a->kind == kind && a->value >= 0 && a->value < MeasureAccidentals::kSlurNumbers)
            values |= uint32_t{1} << a->value;
    return values;
}

int32_t accidental_for(int32_t alter)
{
    static const int32_t kAccidentals[5] = {ACC_DOUBLE_FLAT, ACC_FLAT, ACC_NATURAL, ACC_SHARP,
                                            ACC_DOUBLE_SHARP};
    return alter >= -2 && alter <= 2 ? kAccidentals[alter + 2] : 0;
}

Alteration read_alteration(const Note* note, MarkKinds kinds, int32_t current_fifths,
                           MeasureAccidentals& memory)
{
    bool own = false;
    bool tied = false;
    Alteration a;
    a.alter = track_alter(note, kinds, current_fifths, memory, own, tied);
    // A tie shows where its alteration comes from.
    a.shows = tied ? 0 : shown_accidental(note, a.alter, own, current_fifths, memory);
    return a;
}

int32_t sounded_alter(const Note* note, int32_t current_fifths, MeasureAccidentals& memory)
{
    if (note->step == 'R') {
        memory.tie.open = false;
        return 0;
    }
    size_t marks = 0;
    bool own = false;
    bool tied = false;
    return track_alter(note, mark_kinds(note, marks), current_fifths, memory, own, tied);
}

NoteTies note_ties(const Note* note, MarkKinds kinds, MeasureAccidentals& memory)
{
    NoteTies ties;
    if (!memory.write_ties ||
        !(kinds & (mark_bit(ATTR_SLUR_START) | mark_bit(ATTR_SLUR_STOP))))
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

}  // namespace tav::detail
