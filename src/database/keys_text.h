// How the database holds the melodic keys, the one definition the writer
// and the search share: every key once, as the JSON object the report's
// --keys fields make ({"pitches":[...],"midi":[...],...}), read back here
// for what a search compares; and interval trigrams as one integer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tav::db {

// What a search compares of an incipit, its sounding notes only.
struct SearchKeys {
    std::vector<int> intervals;      // chromatic_intervals
    std::vector<int> midi;
    std::vector<double> durations;   // the lengths of the notes that are not rests
    std::string contour;             // gross_contour
};

// Which of SearchKeys to read besides the intervals.
struct KeysWanted {
    bool midi = false;
    bool durations = false;
    bool contour = false;
};

// The keys' JSON read back, the intervals and what `wanted` names; false
// when it is not what the writer wrote.
bool search_keys_of(std::string_view json, const KeysWanted& wanted, SearchKeys& keys);

// Three intervals after one another, as one integer.
inline constexpr std::size_t kGramIntervals = 3;
std::int64_t trigram(const int* intervals);

// The trigrams of `intervals` with the note each starts on (from 0).
struct Gram {
    std::int64_t value;
    int position;
};
std::vector<Gram> trigrams(const std::vector<int>& intervals);
// The distinct trigrams of `intervals`, in order.
std::vector<std::int64_t> distinct_trigrams(const std::vector<int>& intervals);

}  // namespace tav::db
