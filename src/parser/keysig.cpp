#include "parser/convert.h"

namespace tav::detail {

namespace {

bool is_key_letter(unsigned char c)
{
    return c == 'B' || c == 'E' || c == 'A' || c == 'D' || c == 'G' || c == 'C' || c == 'F';
}

int32_t sign_of(unsigned char c)
{
    return c == 'x' ? 1 : (c == 'b' ? -1 : 0);
}

}  // namespace

int32_t get_keysig(const Line& line, int32_t position)
{
    int32_t sign = sign_of(line.at(position));
    if (sign == 0)
        return 0;
    int32_t count = 0;
    for (int64_t i = int64_t{position} + 1; is_key_letter(line.at(i)); ++i)
        ++count;
    return sign * count;
}

int32_t get_alt_keysig(const Line& line, int32_t position)
{
    int32_t sign = sign_of(line.at(position));
    if (sign == 0)
        return 0;
    int64_t i = int64_t{position} + 1;
    if (line.at(i) == '[')
        ++i;
    int32_t count = 0;
    while (is_key_letter(line.at(i))) {
        ++count;
        ++i;
        if (line.at(i) == '[' || line.at(i) == ']')
            ++i;
    }
    return sign * count;
}

}  // namespace tav::detail
