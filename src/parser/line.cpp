#include "parser/line.h"

#include <cstring>

Line make_line(char* buffer, int32_t size)
{
    int32_t end = 0;
    while (end < size) {
        char c = buffer[end];
        if (c == '\n' || c == '\r' || c == '\0')
            break;
        ++end;
    }
    // The terminator itself is part of the line; a line that fills the
    // buffer has none, and reads past it see zero bytes.
    int32_t length = end < size ? end + 1 : end;
    return Line{buffer, length, end};
}
