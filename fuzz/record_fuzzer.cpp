// One record line of arbitrary bytes through a converter, in memory. The
// first input byte chooses the options (bit 0: remove mensural time
// signatures, bit 1: remove measure rests); the other bytes are the line,
// in a buffer of exactly their size, so that any read past the line is
// caught. A converted record whose number is valid UTF-8 must come with a
// well-formed document.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tav/batch.h"
#include "tav/tav.h"
#include "xml_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (size_t{1} << 24))
        return 0;
    tav::Options options;
    options.remove_mensural = data[0] & 1;
    options.remove_measure_rests = (data[0] >> 1) & 1;
    std::vector<char> line(data + 1, data + size);

    static tav::Converter converter;  // reused, as a front end does
    const tav::Result& r =
        tav::convert_buffer(converter, line.data(), static_cast<int32_t>(line.size()), options);
    if (r.ok() && xml_check::is_xml_text(r.number.c_str())) {
        std::string problem = xml_check::xml_problem(r.document);
        if (!problem.empty()) {
            std::fprintf(stderr, "document not well-formed: %s\n", problem.c_str());
            std::abort();
        }
    }
    return 0;
}
