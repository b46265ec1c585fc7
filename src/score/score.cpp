#include "score/score.h"

Measure* create_measure(int32_t number, Measure* next)
{
    return new Measure{number, nullptr, nullptr, nullptr, nullptr, nullptr, next};
}

Note* create_note(char step, int32_t octave, float duration, Note* next)
{
    return new Note{step, octave, duration, nullptr, nullptr, next};
}

Attribute* create_attribute(int32_t kind, int32_t value, Attribute* next)
{
    return new Attribute{kind, value, next};
}

Rhythm* create_rhythm(int32_t beats, int32_t beat_type, int32_t symbol, int32_t mensural)
{
    return new Rhythm{beats, beat_type, symbol, mensural};
}

void add_note(Note* note, Measure* measure)
{
    if (measure->last_note == nullptr)
        measure->first_note = note;
    else
        measure->last_note->next = note;
    measure->last_note = note;
}

void add_measure_attrib(Attribute* attribute, Measure* measure)
{
    if (measure->last_attribute == nullptr)
        measure->first_attribute = attribute;
    else
        measure->last_attribute->next = attribute;
    measure->last_attribute = attribute;
}

void add_note_attrib(Attribute* attribute, Note* note)
{
    if (note->last_attribute == nullptr)
        note->first_attribute = attribute;
    else
        note->last_attribute->next = attribute;
    note->last_attribute = attribute;
}

Attribute* copy_attribute(const Attribute* attribute)
{
    return create_attribute(attribute->kind, attribute->value, nullptr);
}

Note* copy_note(const Note* note)
{
    Note* copy = create_note(note->step, note->octave, note->duration, nullptr);
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next)
        add_note_attrib(copy_attribute(a), copy);
    return copy;
}

Measure* copy_measure(const Measure* measure)
{
    // The number wraps rather than overflowing; the parser never gets near it.
    Measure* copy = create_measure(static_cast<int32_t>(static_cast<uint32_t>(measure->number) + 1u), nullptr);
    for (const Note* n = measure->first_note; n != nullptr; n = n->next)
        add_note(copy_note(n), copy);
    for (const Attribute* a = measure->first_attribute; a != nullptr; a = a->next)
        add_measure_attrib(copy_attribute(a), copy);
    return copy;
}

void destroy_rhythm(Rhythm* rhythm)
{
    delete rhythm;
}

void destroy_attribute(Attribute* attribute)
{
    while (attribute != nullptr) {
        Attribute* next = attribute->next;
        delete attribute;
        attribute = next;
    }
}

void destroy_note(Note* note)
{
    while (note != nullptr) {
        Note* next = note->next;
        destroy_attribute(note->first_attribute);
        delete note;
        note = next;
    }
}

void destroy_measure(Measure* measure)
{
    while (measure != nullptr) {
        Measure* next = measure->next;
        destroy_note(measure->first_note);
        destroy_attribute(measure->first_attribute);
        destroy_rhythm(measure->rhythm);
        delete measure;
        measure = next;
    }
}
