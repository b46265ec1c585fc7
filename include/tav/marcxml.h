// Incipit records from catalogue data in MARCXML (MARC 21 records in XML,
// incipits in field 031), read as a stream: memory does not grow with the
// input.
//
//     tav::MarcxmlReader reader(file);
//     tav::MarcxmlItem item;
//     while (reader.next(item))
//         if (item.kind == tav::MarcxmlItem::Kind::Incipit)
//             converter.convert(item.record, options);
//
// Each 031 field with music ($p) and the system code "pe" or none is one
// incipit: the identifier from 001, the number "$a.$b.$c", the clef $g, the
// key $n, the time $o and the music $p, with the descriptive data of the
// record (composer 100 $a; title 240 $a, else 245 $a; its source, shared by
// its incipits: tav::SourceDescription) and of the field (caption $d, role
// $e, voice or instrument $m, note $q, text incipit $t, key or mode $r).
// A 031 without music is passed over and counted; one with another system
// code is passed over with a warning. A record without 001, a bad 001 and
// malformed XML are errors; the reader goes on with the next record where
// the XML allows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tav/input.h"
#include "tav/tav.h"

namespace tav {

struct MarcxmlItem {
    enum class Kind { Incipit, Warning, Error };
    Kind kind = Kind::Incipit;

    // An incipit: the identifier (001, one to ten digits), the number
    // ("$a.$b.$c"), the clef ($g), the time ($o), the key ($n, kept apart
    // and read as the key signature before the music) and the music ($p); and the description: composer
    // (100 $a), work title (240 $a, else 245 $a), movement number
    // ($a.$b.$c) and title (031 $d), part name ($m), text incipit ($t), key
    // or mode ($r), role ($e) and note ($q), each empty when the record has
    // none, and the record's source. Converter::convert takes it as it is.
    Record record;

    // Where it comes from: the record's 001 as written (empty when it has
    // none), which 031 of the record (1 for the first; 0 for a message about
    // the whole record or the XML), and the line of the input where the
    // field (or the record, or the fault) is.
    std::string control_number;
    int occurrence = 0;
    std::int64_t line = 0;

    // Warning, Error: what is wrong, e.g. "031 #2 has the system code
    // \"da\", which is not read" (code other_notation_system), its text as
    // the input has it (control bytes not yet shown as \xHH).
    Message message;
    // Incipit: the reader's warnings about the texts it is made of, e.g.
    // "031 #1 $p holds markup; its text is read without it", as above.
    std::vector<Message> warnings;
};

// What a reader has seen so far.
struct MarcxmlCounts {
    std::int64_t records = 0;          // record elements
    std::int64_t incipits = 0;         // 031 fields read as incipits
    std::int64_t without_music = 0;    // 031 fields without $p, passed over
    std::int64_t other_system = 0;     // 031 fields of another system code (other_notation_system)
    std::int64_t without_control_number = 0;   // records without 001 (no_control_number)
    std::int64_t errors = 0;           // error items given
    // Bytes looked at while searching for the next record after malformed
    // XML: at most a few times the input's, whatever it holds.
    std::int64_t bytes_searched = 0;
    // Pieces of records parsed side by side (MarcxmlReader::read_on).
    std::int64_t pieces = 0;
};

namespace detail {
struct PieceParses;
}

class MarcxmlReader {
public:
    // Reads `input` from where it stands, in blocks (a gzip stream
    // decompressed: tav/input.h).
    explicit MarcxmlReader(std::FILE* input);
    // Reads `already_read`, the first bytes taken from `input` (to see what
    // it holds), and then the rest of `input`.
    MarcxmlReader(std::FILE* input, std::string_view already_read);
    // Reads a document held in memory (copied; gzip too).
    explicit MarcxmlReader(std::string_view document);
    // Reads a stream, e.g. one a LineReader has looked into and handed over
    // (LineReader::release_input).
    explicit MarcxmlReader(std::unique_ptr<InputStream> input);
    ~MarcxmlReader();
    MarcxmlReader(const MarcxmlReader&) = delete;
    MarcxmlReader& operator=(const MarcxmlReader&) = delete;

    // Reads on `threads` threads (when more than one, and before the first
    // next()): pieces of whole records are parsed side by side, the items
    // the same and in the same order as on one.
    void read_on(unsigned threads);

    // The next incipit or message; false at the end of the input.
    bool next(MarcxmlItem& item);
    // The items read next, one or more (those of a piece of records, or of
    // a block of input), moved to the end of `items`; false at the end.
    bool take(std::deque<MarcxmlItem>& items);

    const MarcxmlCounts& counts() const;
    // True when the input could not be read to its end; input().failure()
    // tells why.
    bool read_failed() const;
    const InputStream& input() const;
    // Bytes read from the input so far (`already_read` included).
    std::uint64_t consumed() const;

    // False when the library was built without an XML parser: every reader
    // then gives one error and ends.
    static bool available();

private:
    struct State;
    std::unique_ptr<State> state_;
    friend struct detail::PieceParses;   // a check of the parse of pieces
};

// Puts the reader's `warnings` about an incipit (MarcxmlItem::warnings)
// before the messages of its conversion.
void add_reader_warnings(const std::vector<Message>& warnings, std::vector<Message>& messages);

// True when `start`, the first bytes of an input, begin an XML document
// (after a byte-order mark and white space: "<?xml", "<collection",
// "<record", or either name with a namespace prefix) rather than records
// of the tab-separated export.
bool looks_like_marcxml(std::string_view start);

}  // namespace tav
