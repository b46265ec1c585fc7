#include <algorithm>
#include <cstdint>
#include <limits>

#include "parser/convert.h"

namespace tav::detail {

// The least common multiple as the smallest number from the larger argument
// upward that both divide, computed through the greatest common divisor so
// that no argument can make it slow. Where one argument divides nothing in
// that range (a negative argument) the counting would stop at once or at 0,
// and so does this.
int32_t lcm(int32_t a, int32_t b)
{
    if (a == 0 || b == 0)
        return 0;
    int32_t larger = a >= b ? a : b;
    int64_t product = int64_t{a} * int64_t{b};
    if (product <= larger)
        return larger;  // one argument is 1, or the signs differ
    if (a < 0)          // both negative: only equal ones meet before 0
        return a == b ? a : 0;
    if (a % b == 0)
        return a;  // the usual case: a note value that divides divisions
    // Both are positive here; 32-bit division is the cheaper one.
    uint32_t x = static_cast<uint32_t>(a), y = static_cast<uint32_t>(b);
    while (y != 0) {
        uint32_t r = x % y;
        x = y;
        y = r;
    }
    int64_t result = int64_t{a} / x * int64_t{b};
    return static_cast<int32_t>(std::min<int64_t>(result, std::numeric_limits<int32_t>::max()));
}

}  // namespace tav::detail
