#include <cstring>

#include "parser/convert.h"

namespace {

// Digits from text[from] up to the first non-digit within the five
// characters; 0 when there are none. Wraps rather than overflowing.
int32_t decimal_from(const unsigned char* t, int from)
{
    uint32_t value = 0;
    for (int i = from; i < 5 && is_digit(t[i]); ++i)
        value = value * 10u + static_cast<uint32_t>(t[i] - '0');
    return static_cast<int32_t>(value);
}

// Two characters read as two digits, untested: "12" gives 12.
int32_t two_digits(unsigned char a, unsigned char b)
{
    return (static_cast<int32_t>(a) - '0') * 10 + (static_cast<int32_t>(b) - '0');
}

// The mensural signs: 'o', "c3", and any text whose second character is
// '.' or below (the end of the text, a blank, most punctuation, bytes 128
// to 255) except after 'c', which leaves no numeric reading.
bool is_mensural(const unsigned char t[5])
{
    if (t[0] == 'o')
        return true;
    if (t[0] == 'c')
        return t[1] == '3';
    return static_cast<signed char>(t[1]) <= 46;
}

}  // namespace

bool is_mensural_time(std::string_view field)
{
    unsigned char t[5] = {};
    for (size_t i = 0; i < 5 && i < field.size(); ++i)
        t[i] = static_cast<unsigned char>(field[i]);
    return is_mensural(t);
}

Rhythm* rhythm_convert(ScorePools& pools, char text[5])
{
    unsigned char t[5];
    std::memcpy(t, text, 5);
    std::memset(text, 0, 5);

    if (is_mensural(t))
        return create_rhythm(pools, 0, 0, 0, 1);
    if (t[0] == 'c' && t[1] == '/')
        return create_rhythm(pools, 2, 2, 1, 0);  // cut time
    if (t[0] == 'c')
        return create_rhythm(pools, 4, 4, 1, 0);  // common time
    if (t[1] == '/' && !is_digit(t[3]))
        return create_rhythm(pools, decimal_from(t, 0), decimal_from(t, 2), 0, 0);
    if (t[1] == '/')
        return create_rhythm(pools, decimal_from(t, 0), two_digits(t[2], t[3]), 0, 0);
    // Two-digit numerator; t[2] is taken to be the slash.
    if (!is_digit(t[4]))
        return create_rhythm(pools, two_digits(t[0], t[1]), decimal_from(t, 3), 0, 0);
    return create_rhythm(pools, two_digits(t[0], t[1]), two_digits(t[3], t[4]), 0, 0);
}
