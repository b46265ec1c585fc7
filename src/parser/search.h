// Searches along the line for the signs that close a group: ')' after '('
// or ';', '/' after '=', 'r' after "qq", and the two '!' before 'f'.
//
// Every search stops at the end of the line. Answers are cached, so that a
// line of any length whose signs never close is still read in time linear
// in its length, and every byte a search examines is added to `work`, which
// the scanning loop holds against a limit.
#pragma once

#include <cstdint>

#include "parser/line.h"

namespace tav::detail {

// The first sign at or after `from`, valid for every start in [from, stop].
struct ForwardCache {
    int32_t from = -1;     // start of the cached search; -1 when empty
    int32_t found = -1;    // index of the sign, or -1 when the line has none
    int32_t letters = 0;   // pitch letters in [from, found or the line end)
};

// The nearest sign before `before`.
struct BackwardCache {
    int32_t before = -1;   // -1 when empty
    int32_t found = -1;
};

struct SearchCaches {
    ForwardCache close_paren;
    ForwardCache slash;
    ForwardCache grace_end;
    BackwardCache closing_bang;
    BackwardCache opening_bang;
    int64_t work = 0;      // loop steps plus bytes examined by searches
};

// Index of the first `sign` at or after `from` and before the line's end,
// or -1 when there is none. A cache serves one sign only.
int32_t find_forward(const Line& line, int32_t from, unsigned char sign, ForwardCache& cache,
                     int64_t& work);

// Index of the first 'r' at or after `from`, or -1; `letters` receives the
// number of bytes 'A' to 'G' from `from` up to that 'r' (or the line end).
int32_t find_grace_group_end(const Line& line, int32_t from, ForwardCache& cache, int64_t& work,
                             int32_t& letters);

// Index of the nearest '!' before index `before`, or -1. A cache serves one
// kind of question (the closing sign, or the opening sign).
int32_t find_bang_before(const Line& line, int32_t before, BackwardCache& cache, int64_t& work);

}  // namespace tav::detail
