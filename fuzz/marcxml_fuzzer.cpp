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
#include "tav/formats.h"
#include "tav/tav.h"
#include "xml_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (size_t{1} << 22))
        return 0;
    tav::Options options;
    options.format = &tav::formats()[data[0] % tav::formats().size()];
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
        // The record as it is and as the fields of a tab export, its key
        // (when it is a key signature and nothing more) written before the
        // music, convert alike.
        const tav::Record& record = item.record;
        std::string_view key = record.key;
        if (!key.empty() && key[0] == '$')
            key.remove_prefix(1);
        const bool plain_key = !key.empty() && (key[0] == 'x' || key[0] == 'b') &&
                               key.find_first_not_of("BEADGCF", 1) == std::string_view::npos;
        storage = !plain_key
                      ? record.music
                      : (record.key[0] == '$' ? "" : "$") + record.key + " " + record.music;
        const tav::Fields fields{record.identifier, record.number, record.clef,
                                 record.time,       record.time2,  storage};
        tav::Record without_key = record;
        without_key.key.clear();
        const tav::Result by_fields = converter.convert(fields, options, record.description);
        const tav::Result& r = converter.convert(plain_key ? record : without_key, options);
        bool same = r.status == by_fields.status && r.document == by_fields.document &&
                    r.messages.size() == by_fields.messages.size();
        for (size_t i = 0; same && i < r.messages.size(); ++i)
            same = r.messages[i].text == by_fields.messages[i].text &&
                   r.messages[i].position == by_fields.messages[i].position;
        if (!same) {
            std::fprintf(stderr, "the record and its tab fields convert differently\n");
            std::abort();
        }
        if (r.ok())
            xml_check::check_document(r.number, r.document);
    }
    return 0;
}
