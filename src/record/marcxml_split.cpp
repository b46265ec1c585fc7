// Cutting a MARCXML document into pieces of whole records (see
// record/marcxml_split.h).

#include "record/marcxml_split.h"

#include <algorithm>
#include <cstring>

#include "record/xml_names.h"

namespace tav::detail {

namespace {

// A piece is cut once this many bytes are read; one that would be larger
// than kLargestPiece (a record that does not end) stops the cut.
constexpr std::size_t kPieceBytes = std::size_t{1} << 17;
constexpr std::size_t kLargestPiece = std::size_t{1} << 22;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool starts(std::string_view text, std::size_t at, std::string_view with)
{
    return text.compare(at, with.size(), with) == 0;
}

// Where `what` ends in `text` from `from` on (past it); npos when it does not.
std::size_t end_of(std::string_view text, std::size_t from, std::string_view what)
{
    std::size_t at = text.find(what, from);
    return at == std::string_view::npos ? at : at + what.size();
}

// A start tag's name no longer than this can be a record's (a prefix and
// "record"); the search after malformed XML looks no further into a name.
constexpr std::size_t kLongestName = 256;

}  // namespace

// Lines of a few dozen bytes, as in catalogue exports, are counted faster
// from one line feed to the next than byte by byte.
std::int64_t line_feeds(std::string_view bytes)
{
    std::int64_t count = 0;
    const char* end = bytes.data() + bytes.size();
    for (const char* p = bytes.data();
         (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) !=
         nullptr;
         ++p)
        ++count;
    return count;
}

std::size_t find_start(const std::string& bytes, bool any_element, std::size_t& keep,
                       std::int64_t& searched)
{
    keep = bytes.size();
    for (std::size_t i = bytes.find('<'); i != std::string::npos; i = bytes.find('<', i + 1)) {
        std::size_t end = i + 1;
        std::size_t limit = std::min(bytes.size(), i + 1 + kLongestName);
        while (end < limit && !is_xml_space(bytes[end]) && bytes[end] != '>' &&
               bytes[end] != '/' && bytes[end] != '<')
            ++end;
        searched += static_cast<std::int64_t>(end - i);
        if (end == bytes.size()) {
            keep = i;
            return std::string::npos;
        }
        std::string_view name(bytes.data() + i + 1, end - i - 1);
        if (name.empty() || name.size() == kLongestName)
            continue;
        if (any_element ? name[0] != '!' && name[0] != '?' : local_name(name) == "record")
            return i;
    }
    return std::string::npos;
}

bool RecordSplitter::read_more()
{
    if (input_ended_)
        return false;
    std::size_t before = buffer_.size();
    input_ended_ = !input_.read(buffer_);
    if (buffer_.size() > before) {
        last_read_more_ = !input_ended_;
        if (logging_)
            reads_.emplace_back(buffer_.size() - before, last_read_more_);
    }
    return buffer_.size() > before || !input_ended_;
}

std::size_t RecordSplitter::markup_end(std::size_t at, Markup& markup) const
{
    std::string_view text = buffer_;
    constexpr std::size_t npos = std::string_view::npos;
    markup = Markup::Doubt;
    if (at + 9 > text.size())
        return npos;
    char second = text[at + 1];
    if (second == '!') {
        markup = starts(text, at, "<!--") ? Markup::Comment : Markup::Cdata;
        if (markup == Markup::Comment)
            return end_of(text, at + 4, "-->");
        if (!starts(text, at, "<![CDATA[")) {
            markup = Markup::Doubt;
            return at + 1;
        }
        return end_of(text, at + 9, "]]>");
    }
    if (second == '?') {
        markup = Markup::Instruction;
        return end_of(text, at + 2, "?>");
    }
    if (second == '/') {
        markup = Markup::End;
        std::size_t end = text.find('>', at);
        return end == npos ? npos : end + 1;
    }
    std::size_t name_end = at + 1;
    while (name_end < text.size() && !is_xml_space(text[name_end]) && text[name_end] != '>' &&
           text[name_end] != '/' && text[name_end] != '<')
        ++name_end;
    bool record = local_name(text.substr(at + 1, name_end - at - 1)) == "record";
    for (std::size_t i = name_end; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"' || c == '\'') {
            i = text.find(c, i + 1);
            if (i == npos)
                return npos;
        } else if (c == '<') {
            markup = Markup::Doubt;
            return i;
        } else if (c == '>') {
            bool empty = text[i - 1] == '/';
            markup = record ? (empty ? Markup::EmptyRecord : Markup::Record)
                            : (empty ? Markup::Empty : Markup::Start);
            return i + 1;
        }
    }
    return npos;
}

// The document's start: a byte-order mark, an XML declaration, comments,
// processing instructions and white space, then the root's start tag.
bool RecordSplitter::find_head()
{
    std::size_t at = starts(buffer_, 0, kUtf8Mark) ? kUtf8Mark.size() : 0;
    for (;;) {
        while (at < buffer_.size() && is_xml_space(buffer_[at]))
            ++at;
        Markup markup;
        std::size_t end = at < buffer_.size() && buffer_[at] == '<' ? markup_end(at, markup)
                                                                    : std::string::npos;
        if (at < buffer_.size() && buffer_[at] != '<')
            return false;
        if (end == std::string::npos) {
            if (buffer_.size() > kLargestPiece || !read_more())
                return false;
            continue;
        }
        if (markup == Markup::Comment || markup == Markup::Instruction) {
            at = end;
            continue;
        }
        if (markup != Markup::Start)
            return false;
        head_ = buffer_.substr(0, end);
        buffer_.erase(0, end);
        offset_ = end;
        head_lines_ = std::count(head_.begin(), head_.end(), '\n');
        return true;
    }
}

void RecordSplitter::cut(MarcxmlPiece& piece, std::size_t size)
{
    // The piece keeps the buffer; what follows it is copied out, into room
    // for the next piece and the block read past it.
    std::string after;
    after.reserve(kPieceBytes + XmlInput::kBlockBytes);
    after.assign(buffer_, size);
    piece.bytes = std::move(buffer_);
    piece.bytes.resize(size);
    buffer_ = std::move(after);
    piece.offset = offset_;
    offset_ += size;
}

namespace {

// Past the last end tag of a record ("</record>", "</marc:record>") in
// `text`; npos when there is none.
std::size_t last_record_end(std::string_view text)
{
    constexpr std::string_view kEnd = "record>";
    constexpr std::size_t kLongestPrefix = 64;
    for (std::size_t at = text.rfind(kEnd); at != std::string_view::npos && at > 0;
         at = text.rfind(kEnd, at - 1)) {
        std::size_t start = at;
        if (text[at - 1] == ':')
            for (--start; start > 0 && at - start < kLongestPrefix && text[start - 1] != '<' &&
                          text[start - 1] != '>' && text[start - 1] != '/' &&
                          !is_xml_space(text[start - 1]);)
                --start;
        if (start >= 2 && text.compare(start - 2, 2, "</") == 0)
            return at + kEnd.size();
    }
    return std::string_view::npos;
}

}  // namespace

bool RecordSplitter::next(MarcxmlPiece& piece)
{
    if (stopped_)
        return false;
    if (head_.empty() && !find_head()) {
        stopped_ = true;
        return false;
    }
    for (;;) {
        bool more = buffer_.size() < kPieceBytes && read_more();
        if (more)
            continue;
        std::size_t end = last_record_end(buffer_);
        if (end != std::string_view::npos) {
            cut(piece, end);
            return true;
        }
        if (input_ended_ || buffer_.size() > kLargestPiece || !read_more())
            break;
    }
    stopped_ = true;
    return false;
}

}  // namespace tav::detail
