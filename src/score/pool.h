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
// Blocks are handed back only when the pool ends: a pool holds as many
// slots as the largest score it served needed at once, so memory is bounded
// by one score, not by the number of records converted.
//
// Not thread-safe: each converter has pools of its own (ScorePools), used by
// one thread at a time. Under AddressSanitizer
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
    ScoreRecordPool() = default;
    ScoreRecordPool(const ScoreRecordPool&) = delete;
    ScoreRecordPool& operator=(const ScoreRecordPool&) = delete;
    ~ScoreRecordPool()
    {
        while (blocks_ != nullptr) {
            Block* next = blocks_->next;
            delete blocks_;
            blocks_ = next;
        }
    }

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
        block->next = blocks_;  // kept until the pool ends
        blocks_ = block;
        for (int i = kBlockRecords - 1; i >= 0; --i) {
            block->slots[i].next = free_;
            free_ = &block->slots[i];
        }
    }

    Slot* free_ = nullptr;
    Block* blocks_ = nullptr;
};

}  // namespace score_pools

// One pool per kind: the storage of every score one converter builds. A
// score is released into the pools it was created from, before they end.
struct ScorePools {
    score_pools::ScoreRecordPool<Measure> measures;
    score_pools::ScoreRecordPool<Note> notes;
    score_pools::ScoreRecordPool<Attribute> attributes;
    score_pools::ScoreRecordPool<Rhythm> rhythms;
};
