#include "writer/xml_text.h"

#include <algorithm>

namespace {

constexpr size_t kFirstSize = 8192;   // most documents need one step beyond this

char* put_tabs(char* p, int depth)
{
    for (int i = 0; i < depth; ++i)
        *p++ = '\t';
    return p;
}

size_t tab_room(int depth) { return depth > 0 ? static_cast<size_t>(depth) : 0; }

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

void XmlText::line(int depth, std::string_view text)
{
    char* p = reserve(tab_room(depth) + text.size() + 1);
    p = put_tabs(p, depth);
    p = put(p, text);
    *p++ = '\n';
    commit(p);
}

void XmlText::line(int depth, std::string_view before, int64_t value, std::string_view after)
{
    char* p = reserve(tab_room(depth) + before.size() + kDecimalRoom + after.size() + 1);
    p = put_tabs(p, depth);
    p = put(p, before);
    p = put_decimal(p, value);
    p = put(p, after);
    *p++ = '\n';
    commit(p);
}

void XmlText::escaped_line(int depth, std::string_view before, std::string_view text,
                           std::string_view after)
{
    // An entity takes at most five bytes.
    char* p = reserve(tab_room(depth) + before.size() + 5 * text.size() + after.size() + 1);
    p = put_tabs(p, depth);
    p = put(p, before);
    for (char c : text) {
        switch (c) {
        case '&': p = put(p, "&amp;"); break;
        case '<': p = put(p, "&lt;"); break;
        case '>': p = put(p, "&gt;"); break;
        default: *p++ = c; break;
        }
    }
    p = put(p, after);
    *p++ = '\n';
    commit(p);
}
