// One record's header values and the score it owns: what the parser hands
// to the writer.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "score/score.h"

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
            divisions = other.divisions;
            incipit_id = other.incipit_id;
            std::memcpy(incipit_nb, other.incipit_nb, sizeof incipit_nb);
            mensural = other.mensural;
            corrected_key = other.corrected_key;
        }
        return *this;
    }
    ~Incipit() { release(); }

    // Gives the score back to its pools; the header values stay.
    void release()
    {
        if (pools != nullptr)
            destroy_measure(*pools, first_measure);
        first_measure = nullptr;
    }

    ScorePools* pools = nullptr;       // where the score lives
    Measure* first_measure = nullptr;  // the whole score; owned
    float divisions = 2.0f;
    int32_t incipit_id = 0;
    char incipit_nb[65] = {};          // up to 64 bytes and a terminator
    int mensural = 0;
    int corrected_key = 0;
};
