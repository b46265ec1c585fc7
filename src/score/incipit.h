// One record's score as the parser hands it to a writer: the measures and
// what the notation says of the whole. It knows nothing of any output format.
#pragma once

#include <cstdint>
#include <utility>

#include "score/score.h"

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
            quarter_units = other.quarter_units;
            plain_lengths = other.plain_lengths;
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
    // The units a quarter is divided into so that every note value and
    // tuplet read is a whole number of them: at least 2, grown to the least
    // common multiple with each (dotted values and measure rests may still
    // need finer units).
    float quarter_units = 2.0f;
    // True when no note has dots, a tuplet or a measure's length and no
    // dotted value or tuplet was read: every note then lasts a whole number
    // of quarter_units, which a writer needs not check again.
    bool plain_lengths = false;
    int mensural = 0;
    int corrected_key = 0;
};

}  // namespace tav::detail
