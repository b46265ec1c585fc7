// A MARCXML document cut into pieces of whole records, for parsers that
// read them side by side. Its start, up to the root's start tag, is read by
// a scan that follows comments, processing instructions and quoted
// attribute values and gives up on anything else (a document type
// declaration, a root that is a record). After it, each piece ends after
// the last end tag of a record in the bytes read: a guess, which the
// piece's parse confirms (it ends at the end of the piece, inside the root,
// no record open) or refuses.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "record/marcxml_input.h"

namespace tav::detail {

// After malformed XML: where in `bytes` the next record's start tag (or,
// when `any_element`, any element's) begins; npos when there is none.
// `keep` receives where an unfinished tag begins, which the next block may
// finish; `searched` counts the bytes looked at.
std::size_t find_start(const std::string& bytes, bool any_element, std::size_t& keep,
                       std::int64_t& searched);

// Line feeds in `bytes`.
std::int64_t line_feeds(std::string_view bytes);

// Consecutive records (and what lies between them) inside the root element.
struct MarcxmlPiece {
    std::string bytes;
    std::uint64_t offset = 0;   // stream offset of its first byte (of the UTF-8)
    std::int64_t lines = 0;     // line feeds before it, once known
    std::int64_t records = 0;   // records before it, once known
    std::int64_t line_feeds = 0;   // in its bytes, once its parse counted them
};

class RecordSplitter {
public:
    explicit RecordSplitter(XmlInput& input) : input_(input) {}

    // The next piece (its lines and records not known); false once the
    // cut stops (what is left is then take_rest(), from rest_offset() on).
    bool next(MarcxmlPiece& piece);

    // The document's start up to the end of the root's start tag; empty
    // while it is not known.
    const std::string& head() const { return head_; }
    std::string take_rest() { return std::move(buffer_); }
    std::uint64_t rest_offset() const { return offset_; }
    // Line feeds in the head.
    std::int64_t head_lines() const { return head_lines_; }
    // Whether the last read that gave bytes said that more may follow.
    bool last_read_more() const { return last_read_more_; }
    // Every read that gave bytes, its size and whether it said that more
    // may follow, until forget_reads().
    using Reads = std::vector<std::pair<std::size_t, bool>>;
    Reads take_reads() { return std::move(reads_); }
    void forget_reads() { reads_ = Reads(); logging_ = false; }

private:
    enum class Markup { Comment, Instruction, Cdata, Start, Empty, End, Record, EmptyRecord, Doubt };
    bool read_more();
    bool find_head();
    // The markup that starts at buffer_[at] ('<'): what it is and where it
    // ends (past its '>'); npos when the buffer ends first.
    std::size_t markup_end(std::size_t at, Markup& markup) const;
    void cut(MarcxmlPiece& piece, std::size_t size);

    XmlInput& input_;
    std::string buffer_;        // bytes read and not yet in a piece
    std::uint64_t offset_ = 0;  // stream offset of buffer_[0]
    std::int64_t head_lines_ = 0;
    std::string head_;
    bool input_ended_ = false;
    bool last_read_more_ = true;
    Reads reads_;
    bool logging_ = true;
    bool stopped_ = false;
};

}  // namespace tav::detail
