// Numbers as text that reads back as the very same number, as short as
// that allows: the melodic keys' JSON and the catalogue database's number
// lists are written so, and a length read back compares equal to the
// length written.
#pragma once

#include <cstddef>
#include <string>

namespace tav::detail {

// The most characters write_number writes: "-2147483648" and
// "-2.2250738585072014e-308".
constexpr std::size_t kIntChars = 11;
constexpr std::size_t kRealChars = 24;

// Each writes the number at `at`, which has room for the most it writes,
// and returns the end of what it wrote.
char* write_number(char* at, int value);
// The shortest of 15 or 17 significant digits that reads back as `value`
// ("0.75", "0.33333333333333331").
char* write_number(char* at, double value);

void append_number(std::string& out, int value);
void append_number(std::string& out, double value);

}  // namespace tav::detail
