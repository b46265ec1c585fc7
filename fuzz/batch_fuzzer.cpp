// A whole input file through the driver's line loop, with files suppressed.
// The first input byte chooses the options (bit 0: remove mensural time
// signatures, bit 1: remove measure rests); the other bytes are the file.
// Messages go to the null device, so that their formatting runs too.

#include <cstdint>
#include <cstdio>

#include "batch.h"

namespace {

std::FILE* null_device()
{
    static std::FILE* device = std::fopen("/dev/null", "w");
    return device;
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

    std::FILE* input = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "r");
    if (input == nullptr)
        return 0;
    ConsoleStreams streams{null_device(), null_device(), null_device()};
    Progress progress;
    convert_lines(input, options, streams, progress, null_device());
    std::fclose(input);
    return 0;
}
