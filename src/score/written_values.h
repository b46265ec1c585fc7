// The note values and tuplet numbers an incipit writes, whether or not a
// note took them (a value before a measure rest, the values of a rhythmic
// pattern): a writer that counts time in units of a quarter sizes its
// units from them.
#pragma once

#include <cmath>
#include <cstdint>

namespace tav::detail {

// The shortest and the longest note value the code writes, as powers of two
// of a quarter: a 128th and a maxima's four wholes.
constexpr int kShortestValue = -5;
constexpr int kLongestValue = 4;
constexpr int kMaxTuplet = 31;

struct WrittenValues {
    // Bit 3 x (the power of two of the value - kShortestValue) + its dots
    // (0, 1 or 2; more than two count as none).
    uint32_t values = 0;
    uint32_t tuplets = 0;  // bit n: a tuplet of n notes (1 to kMaxTuplet)
};

// Notes a value of `quarters` (a power of two) with `dots` dots.
inline void add_value(WrittenValues& written, float quarters, int32_t dots)
{
    int power = std::ilogb(quarters);
    if (power < kShortestValue || power > kLongestValue)
        return;
    int dots_index = dots == 1 || dots == 2 ? dots : 0;
    written.values |= uint32_t{1} << (3 * (power - kShortestValue) + dots_index);
}

inline void add_tuplet(WrittenValues& written, int32_t notes)
{
    if (notes >= 1 && notes <= kMaxTuplet)
        written.tuplets |= uint32_t{1} << notes;
}

}  // namespace tav::detail
