// One record line of arbitrary bytes through the parser and the in-memory
// writer. The first input byte chooses the options (bit 0: remove mensural
// time signatures, bit 1: remove measure rests); the other bytes are the
// line, in a buffer of exactly their size, so that any read past the line
// is caught. A parsed record whose number can name a file and stand in a
// document must render as a well-formed document.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "parser/convert.h"
#include "writer/output.h"
#include "xml_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (size_t{1} << 24))
        return 0;
    ConvertOptions options;
    options.remove_mensural = data[0] & 1;
    options.remove_measure_rests = (data[0] >> 1) & 1;
    std::vector<char> line(data + 1, data + size);

    Console console{nullptr, nullptr, nullptr};
    Incipit incipit;
    if (parse_incipit(line.data(), static_cast<int32_t>(line.size()), options, console,
                      incipit) != ParseStatus::Parsed)
        return 0;
    std::string document;
    render_score(incipit.first_measure, incipit.divisions, incipit.incipit_id,
                 incipit.incipit_nb, incipit.mensural, incipit.corrected_key, document);
    destroy_measure(incipit.first_measure);

    if (is_safe_file_name(incipit.incipit_nb) && xml_check::is_xml_text(incipit.incipit_nb)) {
        std::string problem = xml_check::xml_problem(document);
        if (!problem.empty()) {
            std::fprintf(stderr, "document not well-formed: %s\n", problem.c_str());
            std::abort();
        }
    }
    return 0;
}
