// Numbers as text that reads back as the very same number, as short as
// that allows: the melodic keys' JSON and the catalogue database's number
// lists are written so, and a length read back compares equal to the
// length written.
#pragma once

#include <string>

namespace tav::detail {

void append_number(std::string& out, int value);
// The shortest of 15 or 17 significant digits that reads back as `value`
// ("0.75", "0.33333333333333331").
void append_number(std::string& out, double value);

}  // namespace tav::detail
