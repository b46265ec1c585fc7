#include "parser/line.h"

#include <cstring>

Line make_line(char* buffer, int32_t size)
{
    // The first line feed, carriage return or zero byte ends the line: the
    // line feed is searched first, then the two others only before it.
    size_t limit = size > 0 ? static_cast<size_t>(size) : 0;
    if (const void* feed = std::memchr(buffer, '\n', limit))
        limit = static_cast<size_t>(static_cast<const char*>(feed) - buffer);
    if (const void* cr = std::memchr(buffer, '\r', limit))
        limit = static_cast<size_t>(static_cast<const char*>(cr) - buffer);
    if (const void* zero = std::memchr(buffer, '\0', limit))
        limit = static_cast<size_t>(static_cast<const char*>(zero) - buffer);
    int32_t end = static_cast<int32_t>(limit);
    // The terminator itself is part of the line; a line that fills the
    // buffer has none, and reads past it see zero bytes.
    int32_t length = end < size ? end + 1 : end;
    return Line{buffer, length, end};
}
