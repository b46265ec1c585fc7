// The in-memory score of one incipit: a chain of measures, each owning an
// optional time signature, a list of notes and a list of measure attributes;
// each note owns a list of note attributes.
//
// Plain records linked by pointers, with four groups of functions:
// create_... allocates one record, add_... appends to a list in constant
// time, copy_... makes deep copies (measure repetition), destroy_... frees a
// record and everything after it in its chain.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tav::detail {

// Kinds of marks, the number stored in Attribute::kind.
enum AttributeKind : int32_t {
    ATTR_KEY = 1,              // measure: number of fifths (sharps > 0)
    ATTR_MULTIPLE_REST = 3,    // measure: number of measures of rest
    ATTR_CLEF_G = 10,          // measure: staff line
    ATTR_CLEF_F = 11,
    ATTR_CLEF_C = 12,
    ATTR_CLEF_G8 = 13,         // G clef sounding an octave lower
    ATTR_DOTS = 20,            // note: number of dots
    ATTR_ACCIDENTAL = 21,      // note: an Accidental
    ATTR_FERMATA = 22,
    ATTR_TRILL = 23,
    ATTR_ACCIACCATURA = 24,    // grace note with slash
    ATTR_APPOGGIATURA = 25,    // grace note without slash
    ATTR_SLUR_START = 26,      // note: slur number - 1; 0 for the '+' after a note,
    ATTR_SLUR_STOP = 27,       // 1 and up for the notes tied from a chord
    ATTR_MEASURE_REST = 28,    // note: a rest that lasts its measure
    ATTR_CHORD = 29,           // note: sounds with the note before it, as one chord
    ATTR_CHORD_TIE = 33,       // note: its chord is tied to the next one (read, then
                               // written as slur marks of numbers 1 and up)
    ATTR_TUPLET_START = 30,    // note: tuplet number
    ATTR_TUPLET_CONTINUE = 31,
    ATTR_TUPLET_STOP = 32,
    ATTR_BEAM_BEGIN = 40,
    ATTR_BEAM_CONTINUE = 41,
    ATTR_BEAM_END = 42,
    ATTR_BAR_DOUBLE = 50,      // measure: light-light barline at the right
    ATTR_BAR_FINAL = 51,       // measure: light-heavy barline at the right
    ATTR_REPEAT_END = 52,      // measure: backward repeat at the right
    ATTR_REPEAT_START = 53,    // measure: forward repeat at the left
    ATTR_AT_NOTE = 60,         // measure: the marks after it, up to the next one, stand
                               // before the note of this index (counted from 0)
    ATTR_TIME_HERE = 61,       // measure: its time signature stands here, not at its start
};

// The value of an ATTR_ACCIDENTAL mark.
enum Accidental : int32_t {
    ACC_NATURAL = 1,
    ACC_SHARP = 2,
    ACC_DOUBLE_SHARP = 3,
    ACC_FLAT = 4,
    ACC_DOUBLE_FLAT = 5,
};

struct Attribute {
    int32_t kind;
    int32_t value;
    Attribute* next;           // owned
};

struct TimeSignature {
    int32_t beats;
    int32_t beat_type;
    int32_t symbol;            // 1 for the common-time and cut-time signs
    int32_t mensural;          // 1 for a mensural sign without numeric reading
};

struct Note {
    char step;                 // 'A'..'G', or 'R' for a rest
    int32_t octave;            // 1 for one apostrophe, -1 for one comma; never 0
    float duration;            // undotted value in quarter notes (4 = whole)
    Attribute* first_attribute;  // owned
    Attribute* last_attribute;   // not owned
    Note* next;                // owned
};

struct Measure {
    int32_t number;
    TimeSignature* time_signature;  // owned; the time signature that starts here
    Note* first_note;          // owned
    Note* last_note;           // not owned
    Attribute* first_attribute;  // owned
    Attribute* last_attribute;   // not owned
    Measure* next;             // owned
};

struct ScorePools;

// Every record is created in, copied into and released to the pools given.
Measure* create_measure(ScorePools& pools, int32_t number, Measure* next);
Note* create_note(ScorePools& pools, char step, int32_t octave, float duration, Note* next);
Attribute* create_attribute(ScorePools& pools, int32_t kind, int32_t value, Attribute* next);
TimeSignature* create_time_signature(ScorePools& pools, int32_t beats, int32_t beat_type, int32_t symbol,
                      int32_t mensural);

void add_note(Note* note, Measure* measure);
void add_measure_attrib(Attribute* attribute, Measure* measure);
void add_note_attrib(Attribute* attribute, Note* note);

// Unlinks `attribute` from the note's or the measure's list and frees it.
void remove_note_attrib(ScorePools& pools, Note* note, Attribute* attribute);
void remove_measure_attrib(ScorePools& pools, Measure* measure, Attribute* attribute);

Measure* copy_measure(ScorePools& pools, const Measure* measure);

// Each frees its argument and every record after it along `next`. None of
// them recurses, so chains of any length are released in constant stack.
// Passing none is allowed and does nothing.
void destroy_time_signature(ScorePools& pools, TimeSignature* rhythm);
void destroy_measure(ScorePools& pools, Measure* measure);

// Frees `score` like destroy_measure, for a score that is the last one in
// use in `pools`: every record of the pools is taken back at once.
void destroy_last_score(ScorePools& pools, Measure* score);

// Hands the storage of pools that hold no score back to the heap when it
// passes `kept` bytes, so that one huge score is not kept for good.
void trim_pools(ScorePools& pools, std::size_t kept);

}  // namespace tav::detail

// The creates and appends, inline.
#include "score/pool.h"

namespace tav::detail {

inline Measure* create_measure(ScorePools& pools, int32_t number, Measure* next)
{
    return pools.measures.create(number, static_cast<TimeSignature*>(nullptr),
                                 static_cast<Note*>(nullptr),
                                 static_cast<Note*>(nullptr),
                                 static_cast<Attribute*>(nullptr),
                                 static_cast<Attribute*>(nullptr), next);
}

inline Note* create_note(ScorePools& pools, char step, int32_t octave, float duration,
                         Note* next)
{
    return pools.notes.create(step, octave, duration, static_cast<Attribute*>(nullptr),
                              static_cast<Attribute*>(nullptr), next);
}

inline Attribute* create_attribute(ScorePools& pools, int32_t kind, int32_t value,
                                   Attribute* next)
{
    return pools.attributes.create(kind, value, next);
}

inline TimeSignature* create_time_signature(ScorePools& pools, int32_t beats, int32_t beat_type,
                             int32_t symbol, int32_t mensural)
{
    return pools.time_signatures.create(beats, beat_type, symbol, mensural);
}

// Links `element` behind the tail of the list held by `first` and `last`.
template <typename Element>
inline void append_to_list(Element*& first, Element*& last, Element* element)
{
    if (last == nullptr)
        first = element;
    else
        last->next = element;
    last = element;
}

inline void add_note(Note* note, Measure* measure)
{
    append_to_list(measure->first_note, measure->last_note, note);
}

inline void add_measure_attrib(Attribute* attribute, Measure* measure)
{
    append_to_list(measure->first_attribute, measure->last_attribute, attribute);
}

inline void add_note_attrib(Attribute* attribute, Note* note)
{
    append_to_list(note->first_attribute, note->last_attribute, attribute);
}

}  // namespace tav::detail
