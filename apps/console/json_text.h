// Texts written into JSON, for the programs' reports and hits.
#pragma once

#include <string>
#include <string_view>

// `text` as the inside of a JSON string: quotes, backslashes and control
// bytes escaped; a byte that is not part of valid UTF-8 becomes \udcXX (XX
// its value), the lone surrogate by which such bytes are carried through
// UTF-8 text, so that it stays distinct from the character of that number.
void append_json_string(std::string& out, std::string_view text);

// A text that may be absent, as a JSON value: the string, quoted, or null.
void append_json_string_or_null(std::string& out, const std::string* text);
