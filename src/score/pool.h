// Included by score.h, whose create_* are inline: they run for every note
// and mark of every record. destroy_* (score.cpp) give the slots back.
#pragma once

#include <new>
#include <type_traits>

namespace score_pools {

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

    // Out of the way of the inline fast path.
    [[gnu::noinline]] void grow()
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

// One pool per kind, shared by the whole program.
inline ScoreRecordPool<Measure> measure_pool;
inline ScoreRecordPool<Note> note_pool;
inline ScoreRecordPool<Attribute> attribute_pool;
inline ScoreRecordPool<Rhythm> rhythm_pool;

}  // namespace score_pools
