#include "parser/line.h"

#include <cstring>
#include <initializer_list>

namespace tav::detail {

size_t line_end(const char* bytes, size_t size)
{
    // The line feed is searched first, then the two others only before it.
    // An empty line may come without storage (no memchr on it at all).
    size_t limit = size;
    for (char terminator : {'\n', '\r', '\0'}) {
        if (limit == 0)
            break;
        if (const void* found = std::memchr(bytes, terminator, limit))
            limit = static_cast<size_t>(static_cast<const char*>(found) - bytes);
    }
    return limit;
}

Line make_line(char* buffer, int32_t size)
{
    int32_t end = static_cast<int32_t>(line_end(buffer, size > 0 ? static_cast<size_t>(size) : 0));
    // The terminator itself is part of the line; a line that fills the
    // buffer has none, and reads past it see zero bytes.
    int32_t length = end < size ? end + 1 : end;
    return Line{buffer, length, end};
}

}  // namespace tav::detail
