#include "score/score.h"

#include <new>
#include <type_traits>

namespace {

// ScoreRecordPool: where the four kinds of score records live.
//
// Every record a score is built from is created and released once per
// record line, thousands of times a second, so the records are not taken
// from the general heap one by one. Each kind has its own pool: blocks of
// kBlockRecords slots taken from the heap when the pool runs dry, and a
// free list of released slots that the next create takes first. A released
// record is only ever reused for a record of the same kind.
//
// Blocks are never handed back: the pools hold as many slots as the largest
// score of the run needed at once, so memory is bounded by one score, not by
// the number of records converted. The pools are plain static data with
// constant initialisation and no destructor, so scores may be created and
// destroyed at any point of the program's life, static destructors included.
//
// Not thread-safe: the converter runs on one thread. Under AddressSanitizer
// the pools are bypassed (plain new and delete), so that the sanitizer still
// sees every use of a released record.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPooled = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kPooled = false;
#else
constexpr bool kPooled = true;
#endif
#else
constexpr bool kPooled = true;
#endif

template <typename Record>
class ScoreRecordPool {
    static_assert(std::is_trivially_destructible_v<Record>);

public:
    template <typename... Fields>
    Record* create(Fields... fields)
    {
        if constexpr (!kPooled)
            return new Record{fields...};
        if (free_ == nullptr)
            grow();
        Slot* slot = free_;
        free_ = slot->next;
        return ::new (static_cast<void*>(slot->bytes)) Record{fields...};
    }

    void release(Record* record)
    {
        if constexpr (!kPooled) {
            delete record;
            return;
        }
        Slot* slot = ::new (static_cast<void*>(record)) Slot;
        slot->next = free_;
        free_ = slot;
    }

private:
    static constexpr int kBlockRecords = 256;

    union Slot {
        Slot* next;
        alignas(Record) unsigned char bytes[sizeof(Record)];
    };
    struct Block {
        Block* next;
        Slot slots[kBlockRecords];
    };

    void grow()
    {
        Block* block = new Block;
        block->next = blocks_;  // kept reachable for the life of the process
        blocks_ = block;
        for (int i = kBlockRecords - 1; i >= 0; --i) {
            block->slots[i].next = free_;
            free_ = &block->slots[i];
        }
    }

    Slot* free_ = nullptr;
    Block* blocks_ = nullptr;
};

ScoreRecordPool<Measure> measure_pool;
ScoreRecordPool<Note> note_pool;
ScoreRecordPool<Attribute> attribute_pool;
ScoreRecordPool<Rhythm> rhythm_pool;

}  // namespace

Measure* create_measure(int32_t number, Measure* next)
{
    return measure_pool.create(number, static_cast<Rhythm*>(nullptr), static_cast<Note*>(nullptr),
                               static_cast<Note*>(nullptr), static_cast<Attribute*>(nullptr),
                               static_cast<Attribute*>(nullptr), next);
}

Note* create_note(char step, int32_t octave, float duration, Note* next)
{
    return note_pool.create(step, octave, duration, static_cast<Attribute*>(nullptr),
                            static_cast<Attribute*>(nullptr), next);
}

Attribute* create_attribute(int32_t kind, int32_t value, Attribute* next)
{
    return attribute_pool.create(kind, value, next);
}

Rhythm* create_rhythm(int32_t beats, int32_t beat_type, int32_t symbol, int32_t mensural)
{
    return rhythm_pool.create(beats, beat_type, symbol, mensural);
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
