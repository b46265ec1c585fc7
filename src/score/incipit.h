// One record's score as the parser hands it to a writer: the measures and
// what the notation says of the whole. It knows nothing of any output format.
#pragma once

#include <cstdint>
#include <utility>

#include "score/score.h"
#include "score/written_values.h"

namespace tav::detail {

struct Incipit {
    Incipit() = default;
    Incipit(const Incipit&) = delete;
    Incipit& operator=(const Incipit&) = delete;
    Incipit(Incipit&& other) noexcept { *this = std::move(other); }
    Incipit& operator=(Incipit&& other) noexcept
    {
        if (this != &other) {
            release();
            pools = other.pools;
            first_measure = std::exchange(other.first_measure, nullptr);
            written = other.written;
            mensural = other.mensural;
            corrected_key = other.corrected_key;
        }
        return *this;
    }
    ~Incipit() { release(); }

    // Gives the score back to its pools.
    void release()
    {
        if (pools != nullptr)
            destroy_measure(*pools, first_measure);
        first_measure = nullptr;
    }

    ScorePools* pools = nullptr;       // where the score lives
    Measure* first_measure = nullptr;  // the whole score; owned
    WrittenValues written;             // every note value and tuplet read
    int mensural = 0;
    int corrected_key = 0;
};

}  // namespace tav::detail
