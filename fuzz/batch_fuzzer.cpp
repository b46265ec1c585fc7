// A whole input file through the driver's line loop, with files suppressed.
// The first input byte chooses the options (bit 0: remove mensural time
// signatures, bit 1: remove measure rests) and, with bit 2, the library's
// line reader (every line end) in place of the program's loop, and with
// bit 3 the library's gzip reading; the other bytes are the file. Messages
// go to the null device, so that their formatting runs too.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "batch.h"
#include "tav/batch.h"
#include "tav/input.h"

namespace {

std::FILE* null_device()
{
    static std::FILE* device = std::fopen("/dev/null", "w");
    return device;
}

// Every line the reader hands over is the input's next bytes, with one line
// end at its end (none only for the last), and readable padding after it;
// only a line feed after a line's lone carriage return is passed over. Each
// line then goes through the converter where it stands.
void read_lines(const uint8_t* data, size_t size, std::FILE* input, const tav::Options& options)
{
    tav::LineReading as_they_are;
    as_they_are.gunzip = false;
    tav::LineReader reader(input, as_they_are);
    tav::Converter converter;
    size_t at = 0;
    auto feed_after_return = [&] {
        return at > 0 && at < size && data[at] == '\n' && data[at - 1] == '\r';
    };
    while (reader.next() == tav::LineReader::Status::Line) {
        at += feed_after_return();
        const char* line = reader.data();
        size_t length = reader.length();
        if (length == 0 || length > size - at || std::memcmp(line, data + at, length) != 0 ||
            static_cast<size_t>(reader.size()) < length + tav::line_padding)
            std::abort();
        size_t end = 0;
        while (end < length && line[end] != '\n' && line[end] != '\r')
            ++end;
        bool crlf = end + 2 == length && line[end] == '\r' && line[end + 1] == '\n';
        if ((end == length && at + length != size) || (end + 1 < length && !crlf))
            std::abort();
        at += length;
        tav::convert_buffer(converter, reader.data(), reader.size(), options);
    }
    if (at + feed_after_return() != size)
        std::abort();
}

// The bytes as a gzip stream (or as they are): any bytes end, read whole or
// failed, within a bound on what they decompress to.
void read_gzip(const uint8_t* data, size_t size)
{
    tav::InputStream stream(std::string_view(reinterpret_cast<const char*>(data), size));
    char block[4096];
    size_t total = 0;
    while (size_t n = stream.read(block, sizeof block)) {
        total += n;
        if (total > (size_t{1} << 26))
            return;
    }
    if (!stream.compressed() && !stream.failed() && total != size)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    tav::Options options;
    options.remove_mensural = data[0] & 1;
    options.remove_measure_rests = (data[0] >> 1) & 1;
    options.parse_only = true;

    if ((data[0] >> 3) & 1)
        read_gzip(data + 1, size - 1);
    std::FILE* input = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "r");
    if (input == nullptr)
        return 0;
    if ((data[0] >> 2) & 1) {
        read_lines(data + 1, size - 1, input, options);
    } else {
        ConsoleStreams streams{null_device(), null_device(), null_device()};
        Progress progress;
        convert_lines(input, options, streams, progress, null_device());
    }
    std::fclose(input);
    return 0;
}
