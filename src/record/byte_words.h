// Bytes looked at eight at a time, in 64-bit words read with memcpy (no
// alignment asked, no processor's own instructions): the scanner's runs of
// plain text and its comparisons of short names, the search for line
// breaks.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tav::detail {

inline constexpr std::uint64_t kByteOnes = 0x0101010101010101;   // each byte 1
inline constexpr std::uint64_t kByteHighs = 0x8080808080808080;  // each byte's high bit

// The high bit of each byte of `w` below `bound` (at most 0x80) marked; a
// borrow may mark a byte after one truly marked too, so the lowest mark,
// and whether there is any, are true.
inline std::uint64_t bytes_below(std::uint64_t w, unsigned char bound)
{
    return (w - kByteOnes * bound) & ~w & kByteHighs;
}

// The first byte at or after `p` that may end a run of plain text: a
// control byte (a tab too), one past ASCII, '<', '&' or ']'. Only whole
// words are looked at: when fewer than eight bytes are left, `p` itself.
// A big-endian machine looks at none and gets `p`.
inline const char* plain_text_stop(const char* p, const char* end)
{
    if constexpr (std::endian::native == std::endian::little) {
        auto equal = [](std::uint64_t v, char c) { return bytes_below(v ^ (kByteOnes * c), 1); };
        while (end - p >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, sizeof w);
            const std::uint64_t stops = equal(w, '<') | equal(w, '&') | equal(w, ']') |
                                        bytes_below(w, 0x20) | (w & kByteHighs);
            if (stops != 0)
                return p + std::countr_zero(stops) / 8;
            p += 8;
        }
    }
    return p;
}

// The first byte at or after `p` that is not ' ', looked at in whole words
// as plain_text_stop() does (`p` itself when fewer than eight are left).
inline const char* spaces_end(const char* p, const char* end)
{
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kSpaces = kByteOnes * ' ';
        while (end - p >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, sizeof w);
            if (w != kSpaces)
                return p + std::countr_zero(w ^ kSpaces) / 8;
            p += 8;
        }
    }
    return p;
}

// Whether the `size` bytes at `a` and `b` are the same.
inline bool same_bytes(const char* a, const char* b, std::size_t size)
{
    for (; size >= 8; size -= 8, a += 8, b += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a, sizeof x);
        std::memcpy(&y, b, sizeof y);
        if (x != y)
            return false;
    }
    for (; size > 0; --size)
        if (*a++ != *b++)
            return false;
    return true;
}

}  // namespace tav::detail
