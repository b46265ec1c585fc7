// The progress line on a terminal: records, rate and, when the size of the
// input is known, a bar and the time left. Redrawn a few times a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

class ProgressLine {
public:
    // `out` null: no progress line. `total_bytes` 0: size unknown.
    ProgressLine(std::FILE* out, std::uint64_t total_bytes);

    void update(std::int64_t records, std::uint64_t bytes_read);
    // Clears the line.
    void finish();

private:
    using Clock = std::chrono::steady_clock;
    std::FILE* out_;
    std::uint64_t total_;
    Clock::time_point start_;
    Clock::time_point next_;
    bool drawn_ = false;
};
