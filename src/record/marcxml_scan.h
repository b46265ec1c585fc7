// A fast reading of a MARCXML piece (record/marcxml_split.h) for the plain
// XML catalogue exports are made of: elements with attributes in quotes,
// text with the five predefined entities and character references, inside
// a root whose namespace declarations cover every prefix. It gives a
// RecordGatherer the events libxml2 would give (each element's kind, key
// and line, the text) and declines anything else, which libxml2 then reads.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "record/marcxml_parallel.h"
#include "record/marcxml_record.h"
#include "record/marcxml_root.h"

namespace tav::detail {

// Reads `bytes`, whole elements inside a root declaring `root` whose first
// byte is on `line`, into `gatherer`, and counts their `line_feeds`; false
// when it declines (the gatherer may then have been given part of the
// piece). True only when the piece leaves every element it opens closed
// and no record open.
bool scan_piece(std::string_view bytes, const RootNamespaces& root, std::int64_t line,
                RecordGatherer& gatherer, std::int64_t& line_feeds);

// Reads `piece` by scan_piece(), its first byte on `line`, after a head
// whose parse counted `head_counts`: its items and counts (records: those
// it holds) as the parse of a piece gives them; false when it declines
// (`items` and `counts` are then untouched).
bool scan_piece_items(const RootNamespaces& root, std::int64_t line, MarcxmlCounts head_counts,
                      MarcxmlPiece& piece, std::deque<MarcxmlItem>& items, MarcxmlCounts& counts);

// The two readings of a piece, for a check that compares them: by the
// scanner alone (false also when it declines), and by libxml2 alone.
struct PieceParses {
    static bool scanner(const std::string& head, PieceHead& known, MarcxmlPiece& piece,
                        std::deque<MarcxmlItem>& items, MarcxmlCounts& counts);
    static bool libxml(const std::string& head, PieceHead& known, MarcxmlPiece& piece,
                       std::deque<MarcxmlItem>& items, MarcxmlCounts& counts);
};

}  // namespace tav::detail
