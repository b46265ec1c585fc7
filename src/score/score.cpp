#include "score/score.h"

namespace tav::detail {

namespace {

Attribute* copy_attribute(ScorePools& pools, const Attribute* attribute)
{
    return create_attribute(pools, attribute->kind, attribute->value, nullptr);
}

Note* copy_note(ScorePools& pools, const Note* note)
{
    Note* copy = create_note(pools, note->step, note->octave, note->duration, nullptr);
    for (const Attribute* a = note->first_attribute; a != nullptr; a = a->next)
        add_note_attrib(copy_attribute(pools, a), copy);
    return copy;
}

void destroy_attribute(ScorePools& pools, Attribute* attribute)
{
    while (attribute != nullptr) {
        Attribute* next = attribute->next;
        pools.attributes.release(attribute);
        attribute = next;
    }
}

void destroy_note(ScorePools& pools, Note* note)
{
    while (note != nullptr) {
        Note* next = note->next;
        destroy_attribute(pools, note->first_attribute);
        pools.notes.release(note);
        note = next;
    }
}

}  // namespace

namespace {

// Unlinks `attribute` from the list held by `first` and `last` and frees it.
void remove_from_list(ScorePools& pools, Attribute*& first, Attribute*& last,
                      Attribute* attribute)
{
    Attribute* before = nullptr;
    for (Attribute* a = first; a != nullptr; before = a, a = a->next) {
        if (a != attribute)
            continue;
        (before != nullptr ? before->next : first) = a->next;
        if (last == a)
            last = before;
        a->next = nullptr;
        destroy_attribute(pools, a);
        return;
    }
}

}  // namespace

void remove_note_attrib(ScorePools& pools, Note* note, Attribute* attribute)
{
    remove_from_list(pools, note->first_attribute, note->last_attribute, attribute);
}

void remove_measure_attrib(ScorePools& pools, Measure* measure, Attribute* attribute)
{
    remove_from_list(pools, measure->first_attribute, measure->last_attribute, attribute);
}

Measure* copy_measure(ScorePools& pools, const Measure* measure)
{
    // The number wraps rather than overflowing; the parser never gets near it.
    Measure* copy = create_measure(
        pools, static_cast<int32_t>(static_cast<uint32_t>(measure->number) + 1u), nullptr);
    for (const Note* n = measure->first_note; n != nullptr; n = n->next)
        add_note(copy_note(pools, n), copy);
    for (const Attribute* a = measure->first_attribute; a != nullptr; a = a->next)
        add_measure_attrib(copy_attribute(pools, a), copy);
    return copy;
}

void destroy_time_signature(ScorePools& pools, TimeSignature* rhythm)
{
    if (rhythm != nullptr)
        pools.time_signatures.release(rhythm);
}

void destroy_measure(ScorePools& pools, Measure* measure)
{
    while (measure != nullptr) {
        Measure* next = measure->next;
        destroy_note(pools, measure->first_note);
        destroy_attribute(pools, measure->first_attribute);
        destroy_time_signature(pools, measure->time_signature);
        pools.measures.release(measure);
        measure = next;
    }
}

void destroy_last_score(ScorePools& pools, Measure* score)
{
    if constexpr (score_pools::kPooled) {
        pools.measures.release_all();
        pools.notes.release_all();
        pools.attributes.release_all();
        pools.time_signatures.release_all();
    } else {
        destroy_measure(pools, score);
    }
}

void trim_pools(ScorePools& pools, std::size_t kept)
{
    if (pools.measures.held_bytes() + pools.notes.held_bytes() + pools.attributes.held_bytes() +
            pools.time_signatures.held_bytes() <=
        kept)
        return;
    pools.measures.free_blocks();
    pools.notes.free_blocks();
    pools.attributes.free_blocks();
    pools.time_signatures.free_blocks();
}

}  // namespace tav::detail
