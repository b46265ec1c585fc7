// A MARCXML document cut into pieces of whole records, for parsers that
// read them side by side: a scan that follows the document's markup
// (comments, CDATA sections, processing instructions, quoted attribute
// values) without checking it, and stops at anything it does not follow
// (a document type declaration, a root that is a record, a record too
// large, the root's end tag, the end of the input). What the scan makes of
// the markup is only a proposal: each piece's parse checks that it holds
// whole records, as many as the scan counted, and ends where the scan said.
#pragma once

#include <cstdint>
#include <string>

#include "record/marcxml_input.h"

namespace tav::detail {

// After malformed XML: where in `bytes` the next record's start tag (or,
// when `any_element`, any element's) begins; npos when there is none.
// `keep` receives where an unfinished tag begins, which the next block may
// finish; `searched` counts the bytes looked at.
std::size_t find_start(const std::string& bytes, bool any_element, std::size_t& keep,
                       std::int64_t& searched);

// Consecutive records (and what lies between them) inside the root element.
struct MarcxmlPiece {
    std::string bytes;
    std::uint64_t offset = 0;   // stream offset of its first byte (of the UTF-8)
    std::int64_t lines = 0;     // line feeds before it
    std::int64_t records = 0;   // records before it, as the scan counted them
    std::int64_t holds = 0;     // records it holds, likewise
    std::int64_t line_feeds = 0;   // in its bytes
};

class RecordSplitter {
public:
    explicit RecordSplitter(XmlInput& input) : input_(input) {}

    // The next piece; false once the scan stops (what is left is then
    // rest_bytes(), from rest_offset() on).
    bool next(MarcxmlPiece& piece);

    // The document's start up to the end of the root's start tag; empty
    // while it is not known.
    const std::string& head() const { return head_; }
    std::string take_rest() { return std::move(buffer_); }
    std::uint64_t rest_offset() const { return offset_; }
    std::int64_t rest_lines() const { return lines_; }

private:
    enum class Markup { Comment, Instruction, Cdata, Start, Empty, End, Record, EmptyRecord, Doubt };
    bool read_more();
    bool find_head();
    // The markup that starts at buffer_[at] ('<'): what it is and where it
    // ends (past its '>'); npos when the buffer ends first.
    std::size_t markup_end(std::size_t at, Markup& markup) const;
    void cut(MarcxmlPiece& piece, std::size_t size, std::int64_t holds);

    XmlInput& input_;
    std::string buffer_;        // bytes read and not yet in a piece
    std::uint64_t offset_ = 0;  // stream offset of buffer_[0]
    std::int64_t lines_ = 0;    // line feeds before it
    std::int64_t records_ = 0;  // records in the pieces given
    std::string head_;
    bool input_ended_ = false;
    bool stopped_ = false;
};

}  // namespace tav::detail
