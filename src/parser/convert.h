// Helpers the parts of the parser share.
#pragma once

#include <cstdint>
#include <string_view>

#include "parser/line.h"
#include "parser/report.h"
#include "parser/scan_state.h"
#include "score/score.h"

namespace tav::detail {

// Whether a time-signature field starts with a time signature: a digit,
// 'c' or 'o'.
inline bool is_time_start(unsigned char c)
{
    return is_digit(c) || c == 'c' || c == 'o';
}

// What the first five characters of a time-signature text say (the rest
// of a longer text is never read), and how many of them the reading took.
struct TimeText {
    int32_t beats;
    int32_t beat_type;
    int32_t symbol;    // 1 for the common-time and cut-time signs
    int32_t mensural;  // 1 for a mensural sign
    int used;
};
TimeText read_time_text(std::string_view field);

// Whether the time signature in the first five characters of `field` is a
// mensural sign.
bool is_mensural_time(std::string_view field);

// Time-signature text of up to five characters (zero bytes after a shorter
// one) to a new TimeSignature; clears the five characters before it returns.
// `used`, when given, receives how many characters of the text the reading
// took (the rest is never read).
TimeSignature* read_time_signature(ScorePools& pools, char text[5], int* used = nullptr);

// Count of fifths of the key signature whose sign ('x' or 'b') stands at
// `position`: the letters B, E, A, D, G, C, F directly after it, negated
// for flats; 0 for any other sign.
int32_t get_keysig(const Line& line, int32_t position);

// The same count with brackets inside the key signature passed over.
int32_t get_alt_keysig(const Line& line, int32_t position);

}  // namespace tav::detail
