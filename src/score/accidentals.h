// The accidental memory of a score walked note by note: the alteration each
// note sounds with, the accidental a reader must be shown beside the ones
// written, and which '+' marks join notes of one sounding pitch (ties).
// Every writer walks the notes of a score through here, in order, measure
// after measure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "score/score.h"

namespace tav::detail {

// What the notes walked so far decide for the next one's alteration: the
// accidentals given to each letter in the measure (0 natural, 1 sharp, 2
// double sharp, -1 flat, -2 double flat), at most one entry per letter, in
// the order the letters first received one, and the tie coming from the
// note before, which may stand in the measure before.
struct MeasureAccidentals {
    char step[7];
    int32_t alter[7];
    int count = 0;
    struct Tie {
        bool open = false;
        char step = 0;
        int32_t octave = 0;
        int32_t alter = 0;
    } tie;
    // The alteration a reader takes from each pitch (step and octave) shown
    // with an accidental in the measure; past the capacity every further
    // altered pitch shows its accidental.
    static constexpr int kShownCapacity = 64;
    struct Shown {
        char step;
        int32_t octave;
        int32_t alter;
    } shown[kShownCapacity];
    int shown_count = 0;

    // Slur numbers 2 and up are the ties of a chord's notes, each with its
    // alteration to carry on. Where ties are written, a '+' between notes
    // of the same sounding pitch is a tie: the numbers whose start was
    // written as one; and the count of those written as slurs because they
    // join different pitches.
    static constexpr int kSlurNumbers = 16;
    Tie chord_ties[kSlurNumbers];
    bool write_ties = false;
    uint32_t tie_started = 0;   // bit v: the start of number v + 1 was a tie
    int64_t slurred_ties = 0;
    const Measure* measure = nullptr;  // the one being walked: the notes after it follow

    // A new measure forgets the letters and the pitches shown; a tie goes on
    // into it.
    void next_measure()
    {
        count = 0;
        shown_count = 0;
    }
};

// The kinds of marks a note carries: bit k set for a mark of kind k (kinds
// past 63 are marks no writer reads).
using MarkKinds = uint64_t;

constexpr MarkKinds mark_bit(int32_t kind) { return MarkKinds{1} << kind; }

// The kinds of the note's marks; `marks` receives how many marks it has.
MarkKinds mark_kinds(const Note* note, size_t& marks);

// The slur numbers (value + 1) of the note's marks of `kind`, as bits by
// value, for values below kSlurNumbers.
uint32_t slur_values(const Note* note, int32_t kind);

// Indexed by the alteration + 2: the Accidental that shows it.
int32_t accidental_for(int32_t alter);

// A pitched note's alteration -2 .. 2 and the Accidental a reader must be
// shown beside the note's own (0 when the reader can tell the alteration).
struct Alteration {
    int32_t alter = 0;
    int32_t shows = 0;
};

// Reads a pitched note (not a rest) with the key of `current_fifths`,
// moving `memory` on past it.
Alteration read_alteration(const Note* note, MarkKinds kinds, int32_t current_fifths,
                           MeasureAccidentals& memory);

// The alteration -2 .. 2 the note sounds with, `memory` moved on as
// read_alteration moves it; 0 for a rest, which ends a tie.
int32_t sounded_alter(const Note* note, int32_t current_fifths, MeasureAccidentals& memory);

// The ties of a note, as bits by slur value: the stops of ties started
// before, and the starts decided here.
struct NoteTies {
    uint32_t stops = 0;
    uint32_t starts = 0;
};

// Where ties are written (memory.write_ties), the note's slur marks that
// are ties; read after read_alteration of the same note.
NoteTies note_ties(const Note* note, MarkKinds kinds, MeasureAccidentals& memory);

}  // namespace tav::detail
