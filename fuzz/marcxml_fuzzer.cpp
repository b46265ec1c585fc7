// MARCXML of arbitrary bytes through the reader, and every incipit it gives
// through a converter with its description, as the batch command does. The
// first input byte chooses the output (bit 0: MusicXML 4.0); the rest is
// the document. A converted incipit whose number is valid UTF-8 must come
// with a well-formed document, and the reader must end. Read on two
// threads, the document must give the same items and counts as on one, and
// every piece of it that the scanner reads must read so by libxml2 too.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "tav/marcxml.h"
#include "tav/formats.h"
#include "tav/tav.h"
#include "record/marcxml_scan.h"
#include "record/marcxml_split.h"
#include "xml_check.h"

namespace {

bool same_item(const tav::MarcxmlItem& a, const tav::MarcxmlItem& b)
{
    const tav::Record& x = a.record;
    const tav::Record& y = b.record;
    return a.kind == b.kind && a.control_number == b.control_number &&
           a.occurrence == b.occurrence && a.line == b.line && a.message.text == b.message.text &&
           a.message.code == b.message.code && a.warnings.size() == b.warnings.size() &&
           x.identifier == y.identifier && x.number == y.number && x.clef == y.clef &&
           x.key == y.key && x.time == y.time && x.music == y.music &&
           x.description.composer.str() == y.description.composer.str() &&
           x.description.work_title.str() == y.description.work_title.str();
}

bool same_counts(const tav::MarcxmlCounts& a, const tav::MarcxmlCounts& b)
{
    return a.records == b.records && a.incipits == b.incipits &&
           a.without_music == b.without_music && a.other_system == b.other_system &&
           a.without_control_number == b.without_control_number && a.errors == b.errors;
}

// The document cut into pieces as on threads: each piece the scanner reads
// gives the items and counts of libxml2's parse of it, which reads it too.
void check_pieces(std::string_view document)
{
    using tav::detail::PieceParses;
    tav::detail::XmlInput input(std::make_unique<tav::InputStream>(document));
    tav::detail::RecordSplitter splitter(input);
    tav::detail::MarcxmlPiece piece;
    tav::detail::PieceHead known;   // kept from piece to piece, as on a thread
    while (splitter.next(piece)) {
        std::deque<tav::MarcxmlItem> scanned, parsed;
        tav::MarcxmlCounts scanned_counts, parsed_counts;
        tav::detail::PieceHead fresh;
        if (!PieceParses::scanner(splitter.head(), known, piece, scanned, scanned_counts))
            continue;
        bool same = piece.line_feeds == std::count(piece.bytes.begin(), piece.bytes.end(), '\n') &&
                    PieceParses::libxml(splitter.head(), fresh, piece, parsed, parsed_counts) &&
                    same_counts(scanned_counts, parsed_counts) && scanned.size() == parsed.size();
        for (std::size_t i = 0; same && i < scanned.size(); ++i)
            same = same_item(scanned[i], parsed[i]);
        if (!same) {
            std::fprintf(stderr, "a piece at byte %llu scans otherwise than libxml2 parses it\n",
                         static_cast<unsigned long long>(piece.offset));
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > (size_t{1} << 22))
        return 0;
    tav::Options options;
    options.format = &tav::formats()[data[0] % tav::formats().size()];
    options.encoding_date = "2026-01-01";
    const std::string_view document(reinterpret_cast<const char*>(data) + 1, size - 1);
    check_pieces(document);
    tav::MarcxmlReader reader(document);
    tav::MarcxmlReader on_two(document);
    on_two.read_on(2);
    tav::MarcxmlItem twin;
    static tav::Converter converter;
    tav::MarcxmlItem item;
    std::string storage;
    size_t items = 0;
    while (reader.next(item)) {
        if (++items > size + 16) {
            std::fprintf(stderr, "reader gives more items than the input has bytes\n");
            std::abort();
        }
        if (!on_two.next(twin) || !same_item(item, twin)) {
            std::fprintf(stderr, "item %zu differs when read on two threads\n", items);
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
    if (on_two.next(twin) || !same_counts(reader.counts(), on_two.counts())) {
        std::fprintf(stderr, "read on two threads, the document gives more or other counts\n");
        std::abort();
    }
    return 0;
}
