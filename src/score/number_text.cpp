// Numbers written so that they read back unchanged.

#include "score/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tav::detail {

void append_number(std::string& out, int value)
{
    char text[16];
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

namespace {

// Lengths and beats are mostly sums of halves, quarters and so on, whose
// decimals end within ten places: written digit by digit, exactly as
// "%.15g" writes them (the whole part kept under 15 - 10 digits).
constexpr double kBinaryPlaces = 1024;
constexpr double kShortWhole = 1e5;

bool append_short(std::string& out, double value)
{
    double size = std::fabs(value);
    if (!(size < kShortWhole) || size * kBinaryPlaces != std::floor(size * kBinaryPlaces))
        return false;
    if (std::signbit(value))
        out += '-';
    double whole = std::floor(size);
    append_number(out, static_cast<int>(whole));
    double rest = size - whole;
    if (rest != 0)
        out += '.';
    while (rest != 0) {
        rest *= 10;
        double digit = std::floor(rest);
        out += static_cast<char>('0' + static_cast<int>(digit));
        rest -= digit;
    }
    return true;
}

}  // namespace

void append_number(std::string& out, double value)
{
    if (append_short(out, value))
        return;
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    if (std::strtod(text, nullptr) != value)
        std::snprintf(text, sizeof text, "%.17g", value);
    out += text;
}

}  // namespace tav::detail
