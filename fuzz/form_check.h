// The check the harnesses of the code's key-value and JSON forms share:
// arbitrary bytes through the form's reader, and every incipit it gives
// through a converter (bit 0 of the first byte: MusicXML 4.0), as the batch
// command does. The reader must end, give no more items than the input has
// bytes (and one), keep within its bounds, and every converted document
// whose number is UTF-8 text must be well-formed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "tav/readers.h"
#include "tav/formats.h"
#include "tav/tav.h"
#include "xml_check.h"

namespace form_check {

inline void fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

inline int run(std::string_view form_name, const uint8_t* data, size_t size)
{
    if (size == 0 || size > (size_t{1} << 22))
        return 0;
    tav::Options options;
    options.format = &tav::formats()[data[0] % tav::formats().size()];
    options.encoding_date = "2026-01-01";
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    auto source = tav::find_input_form(form_name)->open(std::make_unique<tav::InputStream>(input));
    static tav::Converter converter;
    tav::MarcxmlItem item;
    size_t items = 0;
    while (source->next(item)) {
        if (++items > size + 1)
            fail("reader gives more items than the input has bytes");
        if (item.record.music.size() + item.record.key.size() > input.size())
            fail("an incipit holds more text than its input");
        if (item.kind != tav::MarcxmlItem::Kind::Incipit)
            continue;
        const tav::Result& r = converter.convert(item.record, options);
        if (r.ok())
            xml_check::check_document(r.number, r.document);
    }
    return 0;
}

}  // namespace form_check
