// MARCXML of arbitrary bytes through the reader, and every incipit it gives
// through a converter with its description, as the batch command does. The
// first input byte chooses the output (bit 0: MusicXML 4.0); the rest is
// the document. A converted incipit whose number is valid UTF-8 must come
// with a well-formed document, and the reader must end.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tav/marcxml.h"
#include "tav/tav.h"
#include "xml_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (size_t{1} << 22))
        return 0;
    tav::Options options;
    options.musicxml = (data[0] & 1) ? tav::MusicXmlVersion::V4_0 : tav::MusicXmlVersion::V1_0;
    options.encoding_date = "2026-01-01";
    tav::MarcxmlReader reader(
        std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    static tav::Converter converter;
    tav::MarcxmlItem item;
    std::string storage;
    size_t items = 0;
    while (reader.next(item)) {
        if (++items > size + 16) {
            std::fprintf(stderr, "reader gives more items than the input has bytes\n");
            std::abort();
        }
        if (item.kind != tav::MarcxmlItem::Kind::Incipit)
            continue;
        // The record as it is and as the fields of a tab export convert alike.
        const tav::Result by_fields =
            converter.convert(item.fields(storage), options, item.record.description);
        const tav::Result& r = converter.convert(item.record, options);
        bool same = r.status == by_fields.status && r.document == by_fields.document &&
                    r.messages.size() == by_fields.messages.size();
        for (size_t i = 0; same && i < r.messages.size(); ++i)
            same = r.messages[i].text == by_fields.messages[i].text &&
                   r.messages[i].position == by_fields.messages[i].position;
        if (!same) {
            std::fprintf(stderr, "the record and its tab fields convert differently\n");
            std::abort();
        }
        if (r.ok() && xml_check::is_xml_text(r.number)) {
            std::string problem = xml_check::xml_problem(r.document);
            if (!problem.empty()) {
                std::fprintf(stderr, "document not well-formed: %s\n", problem.c_str());
                std::abort();
            }
        }
    }
    return 0;
}
