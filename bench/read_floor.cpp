// The floor of reading a MARCXML input: what any reader that checks its
// bytes costs before it reads a tag, gathers a text or makes an item. The
// input is read in 64 KiB blocks, as the converter reads it, and then, by
// the pass asked for:
//
//     read_floor FILE read     the blocks only
//     read_floor FILE tags     every '<' found by the C library's memchr
//                              (with the processor's widest instructions)
//     read_floor FILE words    every byte passed by the scanner's own
//                              eight-byte word test, stopping at each byte
//                              the scanner must look at itself (markup,
//                              references, line feeds, control bytes and
//                              bytes past ASCII), the indent after a line
//                              feed passed as the scanner passes it
//
// Prints "bytes B stops S seconds W cpu C" on standard output: wall and
// processor (user and system) seconds of the whole run.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cpu_seconds.h"
#include "record/byte_words.h"
#include "tav/input.h"

namespace {

// The blocks the converter asks of its input.
constexpr std::size_t kBlock = tav::InputStream::kBlockBytes;

// The stops of the `words` pass in [p, end).
std::size_t word_stops(const char* p, const char* end)
{
    std::size_t stops = 0;
    while (p < end) {
        const char* q = tav::detail::plain_text_stop(p, end);
        if (q != p) {
            p = q;
            continue;
        }
        ++stops;
        p = *p == '\n' ? tav::detail::spaces_end(p + 1, end) : p + 1;
    }
    return stops;
}

std::size_t tag_stops(const char* p, const char* end)
{
    std::size_t stops = 0;
    while ((p = static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(end - p)))))
        ++stops, ++p;
    return stops;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string pass = argc == 3 ? argv[2] : "";
    if (pass != "read" && pass != "tags" && pass != "words") {
        std::fputs("usage: read_floor FILE read|tags|words\n", stderr);
        return 2;
    }
    const int fd = open(argv[1], O_RDONLY);
    if (fd < 0) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    std::vector<char> block(kBlock);
    std::size_t bytes = 0, stops = 0;
    for (;;) {
        const ssize_t n = read(fd, block.data(), kBlock);
        if (n < 0) {
            std::perror("read");
            return 1;
        }
        if (n == 0)
            break;
        bytes += static_cast<std::size_t>(n);
        const char* end = block.data() + n;
        if (pass == "tags")
            stops += tag_stops(block.data(), end);
        else if (pass == "words")
            stops += word_stops(block.data(), end);
    }
    close(fd);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    std::printf("bytes %zu stops %zu seconds %.3f cpu %.3f\n", bytes, stops, wall.count(),
                cpu_seconds());
    return 0;
}
