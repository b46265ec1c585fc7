#include "writer/xml_text.h"

#include <algorithm>

namespace tav::detail {

namespace {

constexpr size_t kFirstSize = 8192;   // most documents need one step beyond this

}  // namespace

void XmlText::grow(size_t bytes)
{
    // Doubling keeps the zero-filling that resize() does linear in the text.
    out_.resize(std::max({length_ + bytes, out_.size() * 2, kFirstSize}));
}

char* put_decimal_slow(char* p, int64_t value)
{
    // Filled from the end, then copied. The magnitude is unsigned so that
    // the most negative value has one too.
    char digits[kDecimalRoom];
    char* first = digits + sizeof digits;
    uint64_t magnitude = value < 0 ? 0u - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        *--first = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);
    if (value < 0)
        *--first = '-';
    size_t count = static_cast<size_t>(digits + sizeof digits - first);
    std::memcpy(p, first, count);
    return p + count;
}

}  // namespace tav::detail
