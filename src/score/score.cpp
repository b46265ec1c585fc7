#include "score/score.h"

using score_pools::attribute_pool;
using score_pools::measure_pool;
using score_pools::note_pool;
using score_pools::rhythm_pool;

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
    if (rhythm != nullptr)
        rhythm_pool.release(rhythm);
}

void destroy_attribute(Attribute* attribute)
{
    while (attribute != nullptr) {
        Attribute* next = attribute->next;
        attribute_pool.release(attribute);
        attribute = next;
    }
}

void destroy_note(Note* note)
{
    while (note != nullptr) {
        Note* next = note->next;
        destroy_attribute(note->first_attribute);
        note_pool.release(note);
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
        measure_pool.release(measure);
        measure = next;
    }
}
