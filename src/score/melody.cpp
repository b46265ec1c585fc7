// The melody of a score: its notes walked in order, each sounding with the
// alteration the note writer gives it, ties joined, grace notes left out,
// the highest note of a chord kept.

#include "score/melody.h"

#include "score/accidentals.h"
#include "score/note_length.h"

namespace tav::detail {

namespace {

// Semitones above C of each letter, A to G.
constexpr int kLetterSemitones[7] = {9, 11, 0, 2, 4, 5, 7};
constexpr int kFirstOctave = 3;   // the octave of a note with one apostrophe, less one

bool has_mark(const Note* note, int32_t kind)
{
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next)
        if (a->kind == kind)
            return true;
    return false;
}

bool is_grace(const Note* note)
{
    return has_mark(note, ATTR_ACCIACCATURA) || has_mark(note, ATTR_APPOGGIATURA);
}

bool in_chord(const Note* note)
{
    return note->first_attribute != nullptr && note->first_attribute->kind == ATTR_CHORD;
}

// The first key signature from `from` up to the next place mark, which is
// returned (none at the end of the list).
const Attribute* apply_keys(const Attribute* from, int32_t& fifths)
{
    bool keyed = false;
    for (const Attribute* a = from; a != nullptr; a = a->next) {
        if (a->kind == ATTR_AT_NOTE)
            return a;
        if (a->kind == ATTR_KEY && !keyed) {
            fifths = a->value;
            keyed = true;
        }
    }
    return nullptr;
}

MelodyNote sounding_note(const Note* note, int32_t alter, int32_t measure)
{
    MelodyNote m;
    m.measure = measure;
    m.duration = note_units(note, length_factor(note), 1.0);
    if (note->step < 'A' || note->step > 'G') {
        m.octave = 0;
        return m;
    }
    m.step = note->step;
    m.alter = alter;
    m.octave = note->octave >= 1 ? note->octave + kFirstOctave : note->octave + kFirstOctave + 1;
    m.midi = 12 * (m.octave + 1) + kLetterSemitones[note->step - 'A'] + alter;
    return m;
}

// Quarters the notes of a measure take, chords and grace notes counted once
// and not at all.
double measure_length(const Measure* m)
{
    double length = 0;
    for (const Note* n = m->first_note; n != nullptr; n = n->next)
        if (!in_chord(n) && !is_grace(n))
            length += note_units(n, length_factor(n), 1.0);
    return length;
}

// The walk's state between notes and measures.
struct Walk {
    Melody& out;
    MeasureAccidentals memory;
    int32_t fifths = 0;
    const TimeSignature* time = nullptr;
    bool tie_open = false;   // the last melody note (or its chord) starts a tie
    double onset = 0;        // quarters from the start of the measure
};

void add_note(Walk& w, const Note* note, int32_t measure)
{
    int32_t alter = sounded_alter(note, w.fifths, w.memory);
    if (is_grace(note))
        return;
    MelodyNote m = sounding_note(note, alter, measure);
    bool starts_tie = has_mark(note, ATTR_SLUR_START) || has_mark(note, ATTR_CHORD_TIE);
    std::vector<MelodyNote>& notes = w.out.notes;
    if (in_chord(note) && !notes.empty()) {
        MelodyNote& top = notes.back();
        if (m.midi > top.midi) {
            m.duration = top.duration;
            m.beat = top.beat;
            top = m;
        }
        w.tie_open = w.tie_open || starts_tie;
        return;
    }
    bool joined = w.tie_open && !notes.empty() && !m.rest() && notes.back().midi == m.midi;
    if (joined) {
        notes.back().duration += m.duration;
    } else {
        if (w.time != nullptr)
            m.beat = w.onset;
        notes.push_back(m);
    }
    w.onset += m.duration;
    w.tie_open = starts_tie;
}

void read_measure(Walk& w, const Measure* m, bool first)
{
    w.memory.next_measure();
    w.memory.measure = m;
    if (m->time_signature != nullptr)
        w.time = m->time_signature->mensural != 0 ? nullptr : m->time_signature;
    w.onset = 0;
    if (first && w.time != nullptr && m->next != nullptr) {
        // An upbeat ends at the barline after it.
        double length = measure_length(m);
        double full = measure_quarters(w.time);
        if (length < full)
            w.onset = full - length;
    }
    const Attribute* place = apply_keys(m->first_attribute, w.fifths);
    int64_t index = 0;
    for (const Note* n = m->first_note; n != nullptr; n = n->next, ++index) {
        while (place != nullptr && place->value <= index)
            place = apply_keys(place->next, w.fifths);
        add_note(w, n, m->number);
    }
    while (place != nullptr)
        place = apply_keys(place->next, w.fifths);
}

}  // namespace

void read_melody(const Incipit& score, Melody& out)
{
    out.notes.clear();
    Walk w{out, {}, 0, nullptr, false, 0};
    for (const Measure* m = score.first_measure; m != nullptr; m = m->next)
        read_measure(w, m, m == score.first_measure);
}

}  // namespace tav::detail
