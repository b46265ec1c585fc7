// Included by score.h, whose create_* are inline: they run for every note
// and mark of every record. destroy_* (score.cpp) give the slots back.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>

namespace tav::detail {

namespace score_pools {

// ScoreRecordPool: where the four kinds of score records live.
//
// Every record a score is built from is created and released once per
// record line, thousands of times a second, so the records are not taken
// from the general heap one by one. Each kind has its own pool: blocks of
// kBlockRecords slots, used one after the other (taken from the heap the
// first time), and a free list of released slots that the next create takes
// first. A released record is only ever reused for a record of the same
// kind. When a converter is done with a record's score, release_all takes
// every slot back at once instead of one by one.
//
// Blocks are handed back when the pool ends, or when its owner frees them
// after an unusually large score: a pool holds as many slots as the largest
// score it served needed at once, so memory is bounded by one score, not by
// the number of records converted.
//
// Not thread-safe: each converter has pools of its own (ScorePools), used by
// one thread at a time. Under AddressSanitizer the pools are bypassed
// (plain new and delete), so that the sanitizer still sees every use of a
// released record.
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
    ~ScoreRecordPool() { free_blocks(); }

    template <typename... Fields>
    Record* create(Fields... fields)
    {
        if constexpr (!kPooled)
            return new Record{fields...};
        Slot* slot = free_;
        if (slot != nullptr) {
            free_ = slot->next;
        } else {
            if (next_ == end_)
                grow();
            slot = next_++;
        }
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

    // Takes every slot back at once, whatever records they hold: for when
    // no record of the pool is in use any more. Not for unpooled builds.
    void release_all()
    {
        free_ = nullptr;
        current_ = first_;
        next_ = end_ = nullptr;
        if (first_ != nullptr) {
            next_ = first_->slots;
            end_ = first_->slots + kBlockRecords;
        }
    }

    // The bytes of the blocks taken from the heap.
    std::size_t held_bytes() const { return blocks_ * sizeof(Block); }

    // Hands every block back to the heap: for when no record of the pool is
    // in use any more and the pool grew larger than it should stay.
    void free_blocks()
    {
        while (first_ != nullptr) {
            Block* next = first_->next;
            delete first_;
            first_ = next;
        }
        free_ = next_ = end_ = nullptr;
        current_ = nullptr;
        blocks_ = 0;
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

    // The next block, taken from the heap the first time. Out of the way of
    // the inline fast path.
    [[gnu::noinline]] void grow()
    {
        Block* block = current_ != nullptr ? current_->next : first_;
        if (block == nullptr) {
            block = new Block;
            block->next = nullptr;
            ++blocks_;
            if (current_ != nullptr)
                current_->next = block;
            else
                first_ = block;
        }
        current_ = block;
        next_ = block->slots;
        end_ = block->slots + kBlockRecords;
    }

    Slot* free_ = nullptr;      // released slots, taken first
    Slot* next_ = nullptr;      // the next never-used slot of the current block
    Slot* end_ = nullptr;       // the end of the current block
    Block* current_ = nullptr;  // the block slots are taken from
    Block* first_ = nullptr;    // all blocks, in the order they are used
    std::size_t blocks_ = 0;        // how many there are
};

}  // namespace score_pools

// One pool per kind: the storage of every score one converter builds. A
// score is released into the pools it was created from, before they end.
struct ScorePools {
    score_pools::ScoreRecordPool<Measure> measures;
    score_pools::ScoreRecordPool<Note> notes;
    score_pools::ScoreRecordPool<Attribute> attributes;
    score_pools::ScoreRecordPool<TimeSignature> time_signatures;
};

}  // namespace tav::detail
