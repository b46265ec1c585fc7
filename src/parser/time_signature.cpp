#include <cstring>

#include "parser/convert.h"

namespace tav::detail {

namespace {

// Digits from text[from] up to the first non-digit within the five
// characters; 0 when there are none. Wraps rather than overflowing.
int32_t decimal_from(const unsigned char* t, int from, int& used)
{
    uint32_t value = 0;
    int i = from;
    for (; i < 5 && is_digit(t[i]); ++i)
        value = value * 10u + static_cast<uint32_t>(t[i] - '0');
    used = i;
    return static_cast<int32_t>(value);
}

// Two characters read as two digits, untested: "12" gives 12.
int32_t two_digits(unsigned char a, unsigned char b)
{
    return (static_cast<int32_t>(a) - '0') * 10 + (static_cast<int32_t>(b) - '0');
}

TimeText read_time_text(const unsigned char t[5])
{
    if (t[0] == 'o')
        return {0, 0, 0, 1, 1};
    if (t[0] == 'c' && t[1] == '3')
        return {0, 0, 0, 1, 2};
    if (t[0] == 'c' && t[1] == '/')
        return {2, 2, 1, 0, 2};  // cut time
    if (t[0] == 'c')
        return {4, 4, 1, 0, 1};  // common time
    // A second character of '.' or below (the end of the text, a blank,
    // most punctuation, bytes 128 to 255) leaves no numeric reading.
    if (static_cast<signed char>(t[1]) <= 46)
        return {0, 0, 0, 1, 1};
    int unused = 0;
    int used = 0;
    if (t[1] == '/' && !is_digit(t[3])) {
        int32_t beats = decimal_from(t, 0, unused);
        int32_t beat_type = decimal_from(t, 2, used);
        return {beats, beat_type, 0, 0, used};
    }
    if (t[1] == '/')
        return {decimal_from(t, 0, unused), two_digits(t[2], t[3]), 0, 0, 4};
    // Two-digit numerator; t[2] is taken to be the slash.
    if (!is_digit(t[4])) {
        int32_t beat_type = decimal_from(t, 3, used);
        return {two_digits(t[0], t[1]), beat_type, 0, 0, used};
    }
    return {two_digits(t[0], t[1]), two_digits(t[3], t[4]), 0, 0, 5};
}

}  // namespace

TimeText read_time_text(std::string_view field)
{
    unsigned char t[5] = {};
    for (size_t i = 0; i < 5 && i < field.size(); ++i)
        t[i] = static_cast<unsigned char>(field[i]);
    return read_time_text(t);
}

bool is_mensural_time(std::string_view field)
{
    return read_time_text(field).mensural != 0;
}

TimeSignature* read_time_signature(ScorePools& pools, char text[5], int* used)
{
    unsigned char t[5];
    std::memcpy(t, text, 5);
    std::memset(text, 0, 5);
    TimeText time = read_time_text(t);
    if (used != nullptr)
        *used = time.used;
    return create_time_signature(pools, time.beats, time.beat_type, time.symbol, time.mensural);
}

}  // namespace tav::detail
