#include "writer/xml_text.h"

void XmlText::append_decimal(int64_t value)
{
    // Filled from the end, then appended at once.
    char digits[24];
    char* first = digits + sizeof digits;
    // Work with the magnitude as unsigned so that the most negative value
    // has one too.
    uint64_t magnitude = value < 0 ? 0u - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        *--first = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);
    if (value < 0)
        *--first = '-';
    out_.append(first, static_cast<size_t>(digits + sizeof digits - first));
}

void XmlText::escaped_line(int depth, std::string_view before, std::string_view text,
                           std::string_view after)
{
    indent(depth);
    out_.append(before);
    for (char c : text) {
        switch (c) {
        case '&': out_.append("&amp;"); break;
        case '<': out_.append("&lt;"); break;
        case '>': out_.append("&gt;"); break;
        default: out_.push_back(c); break;
        }
    }
    out_.append(after);
    out_.push_back('\n');
}
