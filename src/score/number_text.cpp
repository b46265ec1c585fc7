// Numbers written so that they read back unchanged.

#include "score/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tav::detail {

char* write_number(char* at, int value)
{
    return std::to_chars(at, at + kIntChars, value).ptr;
}

namespace {

// Lengths and beats are mostly sums of halves, quarters and so on, whose
// decimals end within ten places: written as a whole number of 1024ths,
// digit by digit, exactly as "%.15g" writes them (the whole part kept
// under 15 - 10 digits).
constexpr double kBinaryPlaces = 1024;
constexpr int kPlaceBits = 10;
constexpr std::int64_t kPlaceMask = (std::int64_t{1} << kPlaceBits) - 1;
constexpr double kShortWhole = 1e5;

char* write_short(char* at, double value)
{
    double size = std::fabs(value);
    double units = size * kBinaryPlaces;
    if (!(size < kShortWhole) || units != std::floor(units))
        return nullptr;
    if (std::signbit(value))
        *at++ = '-';
    auto whole_units = static_cast<std::int64_t>(units);
    at = write_number(at, static_cast<int>(whole_units >> kPlaceBits));
    std::int64_t rest = whole_units & kPlaceMask;   // in 1024ths
    if (rest != 0)
        *at++ = '.';
    while (rest != 0) {
        rest *= 10;
        *at++ = static_cast<char>('0' + (rest >> kPlaceBits));
        rest &= kPlaceMask;
    }
    return at;
}

// "%.15g" when that reads back as `value`, else "%.17g", which always does.
constexpr int kShortDigits = 15;
constexpr int kRoundTripDigits = 17;

#if defined(__cpp_lib_to_chars)
char* write_digits(char* at, double value, int digits)
{
    return std::to_chars(at, at + kRealChars, value, std::chars_format::general, digits).ptr;
}

bool reads_back(const char* text, const char* end, double value)
{
    double back = 0;
    std::from_chars(text, end, back);
    return back == value;
}
#else
// Where the standard library cannot write a floating-point number yet
// (the WebAssembly build's), the C library writes the same digits.
char* write_digits(char* at, double value, int digits)
{
    char text[kRealChars + 8];
    int length = std::snprintf(text, sizeof text, "%.*g", digits, value);
    std::memcpy(at, text, static_cast<std::size_t>(length));
    return at + length;
}

bool reads_back(const char* text, const char* end, double value)
{
    std::string copy(text, end);
    return std::strtod(copy.c_str(), nullptr) == value;
}
#endif

}  // namespace

char* write_number(char* at, double value)
{
    if (char* end = write_short(at, value))
        return end;
    char* end = write_digits(at, value, kShortDigits);
    return reads_back(at, end, value) ? end : write_digits(at, value, kRoundTripDigits);
}

void append_number(std::string& out, int value)
{
    char text[kIntChars];
    out.append(text, write_number(text, value));
}

void append_number(std::string& out, double value)
{
    char text[kRealChars];
    out.append(text, write_number(text, value));
}

}  // namespace tav::detail
