// How the database writes the melodic keys, the one definition the writer
// and the search share: lists of numbers as text ",2,2,-1," (a comma before
// and after each, so that a run of them is found as text), and interval
// trigrams as one integer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tav::db {

// ",60,62,64,"; "," for none.
std::string number_list(const std::vector<int>& values);
std::string number_list(const std::vector<double>& values);
std::vector<int> integers_of(std::string_view list);
std::vector<double> reals_of(std::string_view list);

// Three intervals after one another, as one integer.
inline constexpr std::size_t kGramIntervals = 3;
std::int64_t trigram(const int* intervals);

// The trigrams of `intervals` with the note each starts on (from 0).
struct Gram {
    std::int64_t value;
    int position;
};
std::vector<Gram> trigrams(const std::vector<int>& intervals);

}  // namespace tav::db
