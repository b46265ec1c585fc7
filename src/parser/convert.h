// Helpers the parts of the parser share.
#pragma once

#include <cstdint>

#include "parser/line.h"
#include "parser/report.h"
#include "parser/scan_state.h"
#include "score/score.h"

// Time-signature text of up to five characters (zero bytes after a shorter
// one) to a new Rhythm; clears the five characters before it returns.
// `used`, when given, receives how many characters of the text the reading
// took (the rest is never read).
Rhythm* rhythm_convert(ScorePools& pools, char text[5], int* used = nullptr);

// Count of fifths of the key signature whose sign ('x' or 'b') stands at
// `position`: the letters B, E, A, D, G, C, F directly after it, negated
// for flats; 0 for any other sign.
int32_t get_keysig(const Line& line, int32_t position);

// The same count with brackets inside the key signature passed over.
int32_t get_alt_keysig(const Line& line, int32_t position);

// Least common multiple of two durations-per-quarter values; 0 when either
// is 0.
int32_t lcm(int32_t a, int32_t b);
