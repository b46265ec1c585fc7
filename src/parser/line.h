// One record line as the parser sees it.
//
// The record layer hands over a buffer holding the line as read (its line feed
// included). The parser sees the bytes up to and including the line's
// terminator - its line feed, carriage return or first zero byte - and zero
// bytes everywhere else, however far before or after the line a look-ahead
// or a fixed-length read reaches. Nothing outside the buffer is ever read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tav::detail {

struct Line {
    char* bytes;      // writable: the repetition sign rewrites 'f' to 'z'
    int32_t length;   // bytes visible: the line and its terminator; never negative
    int32_t end;      // index of the terminator, the end of the line

    // The byte at `i` as an unsigned value; 0 outside the visible line.
    // `length` is never negative, so one unsigned comparison rejects both a
    // negative `i` and one at or past the end.
    unsigned char at(int64_t i) const
    {
        return static_cast<uint64_t>(i) < static_cast<uint64_t>(length)
                   ? static_cast<unsigned char>(bytes[i])
                   : 0;
    }
    // The same byte as a signed 8-bit value (bytes 128..255 are negative).
    int signed_at(int64_t i) const { return static_cast<signed char>(at(i)); }
    // The byte at `i` for an `i` the caller knows to be in [0, length): no
    // test, for the scanning loop, which checks its position once per step.
    unsigned char visible(int32_t i) const { return static_cast<unsigned char>(bytes[i]); }
};

// Where a line ends: at its first line feed, carriage return or zero byte;
// `size` when it holds none.
size_t line_end(const char* bytes, size_t size);

// Finds the line's end within the `size` bytes of `buffer`.
Line make_line(char* buffer, int32_t size);

inline bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace tav::detail
