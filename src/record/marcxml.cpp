// MARCXML in: libxml2's streaming (SAX2 push) parser reads the input, as
// UTF-8 blocks (record/marcxml_input.h), and a RecordGatherer collects each
// record's fields of interest while it is read (record/marcxml_record.h).
// Only the current block, the current record and the items of one block
// are held.
//
// After malformed XML the parser is dropped; reading goes on at the next
// start tag of a record, inside a new parser given the document's root
// start tag (with its namespace declarations) first; a fault before any
// element goes on at the next element. Records one after another without
// a root are read as documents one after another. Entities declared in the
// document itself are not expanded (a reference to one is malformed XML
// here), and nothing is loaded from the network or from other files.
// With threads to read on, pieces of whole records are read side by side
// for as long as that reads them as the streaming parse would
// (record/marcxml_parallel.h), and the streaming parse takes the rest.

#include "tav/marcxml.h"

#include "record/marcxml_scan.h"
#include "record/xml_names.h"

#include <algorithm>
#include <deque>
#include <iterator>
#include <new>

#ifdef TAV_HAVE_LIBXML2
#include <libxml/parser.h>

#include "record/libxml_messages.h"

#include "record/marcxml_input.h"
#include "record/marcxml_parallel.h"
#include "record/marcxml_record.h"
#endif

namespace tav {

using detail::kMarcNamespace;
using detail::local_name;

#ifdef TAV_HAVE_LIBXML2

namespace {

using detail::LibxmlMessagesKept;
using detail::MarcElement;
using detail::trim;

const char* text_of(const xmlChar* s)
{
    return reinterpret_cast<const char*>(s);
}

// What an element is, by its local name (libxml2 gives it without the
// prefix, one that was never declared too) and namespace.
MarcElement element_of(const xmlChar* name, const xmlChar* uri)
{
    return detail::marc_element(text_of(name), uri == nullptr || text_of(uri) == kMarcNamespace);
}

}  // namespace

#endif

struct MarcxmlReader::State {
    MarcxmlCounts counts;
    std::deque<MarcxmlItem> ready;
    bool finished = false;

#ifdef TAV_HAVE_LIBXML2
    explicit State(std::unique_ptr<InputStream> in)
        : input(std::make_unique<detail::XmlInput>(std::move(in))), gatherer(ready, counts)
    {
    }
    ~State() { drop_parser(); }

    std::unique_ptr<detail::XmlInput> input;
    detail::RecordGatherer gatherer;
    std::unique_ptr<detail::ParallelRead> parallel;   // while pieces are read side by side
    bool faulted = false;                             // malformed XML was met

    // UTF-8 not yet given to a parser, its stream offset and (when a parser
    // is to start on it: at the start and after malformed XML) the number
    // of line feeds before it.
    std::string pending;
    std::uint64_t pending_offset = 0;
    std::int64_t pending_lines = 0;

    xmlParserCtxtPtr parser = nullptr;
    // After malformed XML: what to look for before a new parser starts.
    enum class Seek { Nothing, Record, Element } seek_for = Seek::Nothing;
    detail::RootElement root;     // the document's root element
    int depth = 0;                // elements open in this parser
    bool root_closed = false;
    std::uint64_t parser_offset = 0;   // stream offset of the parser's first real byte
    std::int64_t parser_lines = 0;     // line feeds before it
    std::size_t prefix = 0;            // bytes of the root tag given before it

    // The first error of the parser, which ends its reading.
    struct Fault {
        bool seen = false;
        std::string text;
        std::int64_t index = 0;  // bytes the parser had read
        std::int64_t line = 0;
        int code = 0;
    } fault;
    // What libxml2 said outside the parser's handler, where it would
    // otherwise print it.
    std::string thread_message;

    void error(std::string control_number, std::int64_t line, Message message)
    {
        gatherer.error(std::move(control_number), line, std::move(message));
    }

    void drop_parser()
    {
        if (parser == nullptr)
            return;
        if (parser->myDoc != nullptr)   // the entity declarations it kept
            xmlFreeDoc(parser->myDoc);
        xmlFreeParserCtxt(parser);
        parser = nullptr;
    }

    std::int64_t current_line() const
    {
        return (parser->input != nullptr ? parser->input->line : 0) + parser_lines;
    }

    static const xmlSAXHandler* handler()
    {
        static const xmlSAXHandler sax = [] {
            xmlSAXHandler h{};
            h.initialized = XML_SAX2_MAGIC;
            h.startElementNs = &State::on_start;
            h.endElementNs = &State::on_end;
            h.characters = &State::on_text;
            h.cdataBlock = &State::on_text;
            h.ignorableWhitespace = &State::on_text;
            h.serror = &State::on_error;
            return h;
        }();
        return &sax;
    }

    // A parser for the UTF-8 that follows, given `root_tag` first.
    void start_parser(std::string_view root_tag)
    {
        static const bool initialised = (xmlInitParser(), true);
        (void)initialised;
        xmlSAXHandler sax = *handler();   // the parser keeps a copy
        LibxmlMessagesKept kept(thread_message);
        parser = xmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr);
        xmlCtxtUseOptions(parser, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        fault = Fault{};
        depth = 0;
        root_closed = false;
        parser_offset = pending_offset;
        parser_lines = pending_lines;
        prefix = root_tag.size();
        if (!root_tag.empty())
            xmlParseChunk(parser, root_tag.data(), static_cast<int>(root_tag.size()), 0);
    }

    static std::string_view attribute(int count, const xmlChar** attributes, std::string_view name)
    {
        // Five pointers an attribute: name, prefix, URI, value, value's end.
        for (int i = 0; i < count; ++i, attributes += 5)
            if (name == text_of(attributes[0]))
                return {text_of(attributes[3]), static_cast<std::size_t>(attributes[4] - attributes[3])};
        return {};
    }

    // Memory that runs out while a record is read (no exception may pass
    // through the parser) ends the parser's reading as a fault of its own:
    // the record is passed over and its storage given back.
    static constexpr int kOutOfMemory = -1;
    template <typename Handle>
    static void guarded(void* data, Handle handle)
    {
        State& s = *static_cast<State*>(data);
        try {
            handle(s);
        } catch (const std::bad_alloc&) {
            if (s.fault.seen)
                return;
            s.fault.seen = true;
            s.fault.code = kOutOfMemory;
            s.fault.index = xmlByteConsumed(s.parser);
            s.fault.line = s.parser->input != nullptr ? s.parser->input->line : 1;
            xmlStopParser(s.parser);
        }
    }

    static void on_start(void* data, const xmlChar* name, const xmlChar* prefix_name,
                         const xmlChar* uri, int namespace_count, const xmlChar** namespaces,
                         int attribute_count, int, const xmlChar** attributes)
    {
        guarded(data, [&](State& s) {
            s.start(name, prefix_name, uri, namespace_count, namespaces, attribute_count,
                    attributes);
        });
    }
    void start(const xmlChar* name, const xmlChar* prefix_name, const xmlChar* uri,
               int namespace_count, const xmlChar** namespaces, int attribute_count,
               const xmlChar** attributes)
    {
        if (root.name.empty())
            root.keep(name, prefix_name, namespace_count, namespaces);
        ++depth;
        MarcElement element = element_of(name, uri);
        std::string_view key;
        if (element == MarcElement::Controlfield || element == MarcElement::Datafield)
            key = attribute(attribute_count, attributes, "tag");
        else if (element == MarcElement::Subfield)
            key = attribute(attribute_count, attributes, "code");
        gatherer.start(element, key, current_line());
    }
    static void on_end(void* data, const xmlChar* name, const xmlChar*, const xmlChar* uri)
    {
        guarded(data, [&](State& s) {
            if (--s.depth == 0)
                s.root_closed = true;
            s.gatherer.end(element_of(name, uri));
        });
    }
    static void on_text(void* data, const xmlChar* text, int length)
    {
        guarded(data, [&](State& s) {
            s.gatherer.text(text_of(text), static_cast<std::size_t>(length));
        });
    }
    // The first error ends the reading (warnings, and a namespace prefix
    // that was never declared, do not).
    static void on_error(void* data, xmlErrorPtr e)
    {
        State& s = *static_cast<State*>(data);
        if (s.fault.seen || e == nullptr || e->level < XML_ERR_ERROR ||
            e->domain == XML_FROM_NAMESPACE || s.parser == nullptr)
            return;
        s.fault.seen = true;
        s.fault.index = xmlByteConsumed(s.parser);
        s.fault.line = e->line;
        s.fault.code = e->code;
        s.fault.text = e->message != nullptr ? e->message : "unknown error";
        trim(s.fault.text);
        xmlStopParser(s.parser);
    }

    // The parser's fault in words (its own for an input that ends too soon):
    // an undecodable byte sequence is named as such, not as bytes that are
    // not UTF-8.
    std::string fault_text()
    {
        if (fault.code == XML_ERR_DOCUMENT_END && !root_closed)
            return root.name.empty() ? "Document is empty"
                                     : "the input ends before the element " + root.name +
                                           " is closed";
        if (!input->encoding().empty() &&
            std::string_view(fault.text).starts_with("Input is not proper UTF-8") &&
            !input->undecodable().empty())
            return "bytes that cannot be read as " + input->encoding() + ": " +
                   input->undecodable();
        return fault.text;
    }

    // A fault that adds nothing: the end of a record already reported as
    // not closed, or a second document after the first (records one after
    // another without a root).
    bool fault_said_already() const
    {
        constexpr std::string_view kMismatch = "Opening and ending tag mismatch: ";
        if (!gatherer.in_record() && gatherer.unclosed() > 0 &&
            std::string_view(fault.text).starts_with(kMismatch)) {
            std::string_view rest = std::string_view(fault.text).substr(kMismatch.size());
            return local_name(rest.substr(0, rest.find(' '))) == "record";
        }
        return false;
    }

    // Malformed XML: the fault, the record it leaves unread, and a search
    // from the byte after it.
    void malformed(const char* block, std::size_t size)
    {
        faulted = true;
        std::uint64_t offset = parser_offset;
        if (fault.index > static_cast<std::int64_t>(prefix))
            offset += static_cast<std::uint64_t>(fault.index) - prefix;
        const std::uint64_t fault_at = offset;
        std::int64_t line = std::max<std::int64_t>(fault.line, 1) + parser_lines;
        bool next_document = root_closed && fault.code == XML_ERR_DOCUMENT_END;
        if (next_document) {
            // Where the next document starts: its first '<' at or before
            // the fault, or the fault itself.
            std::uint64_t start = offset;
            while (start > pending_offset && block[start - 1 - pending_offset] != '>')
                --start;
            offset = start;
        } else if (fault.code == kOutOfMemory) {
            std::string control = gatherer.abandon();
            error(control, line,
                  make_message(MessageCode::RecordOutOfMemory, {std::to_string(counts.records)}));
        } else if (!fault_said_already()) {
            std::string where = std::to_string(line);
            if (input->encoding().empty())
                where += ", byte " + std::to_string(offset);
            std::string what = fault_text();
            std::string control, passed_over;
            if (gatherer.in_record()) {
                control = gatherer.abandon();
                passed_over = "; record " + std::to_string(counts.records) + " is passed over";
            }
            error(control, line,
                  make_message(MessageCode::MalformedXml, {where, what, passed_over}));
        }
        gatherer.abandon();
        drop_parser();
        if (next_document) {
            root.name.clear();
            seek_for = Seek::Element;
        } else {
            // From the fault itself (a record may start right there), or
            // from the byte after it when the parser got no further than
            // its first byte, so that every search moves on.
            seek_for = root.name.empty() ? Seek::Element : Seek::Record;
            if (offset <= parser_offset)
                ++offset;
        }
        // Search from there, within what is still held; the lines before it
        // are those before the fault and those between.
        auto at = [&](std::uint64_t o) {
            return static_cast<std::size_t>(
                std::min<std::uint64_t>(std::max(o, pending_offset) - pending_offset, size));
        };
        std::size_t skip = at(offset), fault_pos = at(fault_at);
        pending_lines = line - 1 +
                        (skip >= fault_pos ? std::count(block + fault_pos, block + skip, '\n')
                                           : -std::count(block + skip, block + fault_pos, '\n'));
        pending.assign(block + skip, size - skip);
        pending_offset += skip;
    }

    void seek()
    {
        std::size_t keep;
        std::size_t at = detail::find_start(pending, seek_for == Seek::Element, keep,
                                            counts.bytes_searched);
        std::size_t drop = at == std::string::npos ? keep : at;
        pending_lines += std::count(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(drop), '\n');
        pending_offset += drop;
        pending.erase(0, drop);
        if (at == std::string::npos)
            return;
        Seek was = seek_for;
        seek_for = Seek::Nothing;
        start_parser(was == Seek::Record ? "<" + root.name + root.declarations + ">" : std::string());
    }

    // Gives the held bytes to the parser; after malformed XML, looks for
    // the next start in what is left of them.
    void parse_pending(bool final)
    {
        for (;;) {
            if (seek_for != Seek::Nothing) {
                seek();
                if (seek_for != Seek::Nothing)
                    return;
            }
            std::string block = std::move(pending);
            pending.clear();
            {
                LibxmlMessagesKept kept(thread_message);
                xmlParseChunk(parser, block.data(), static_cast<int>(block.size()), final ? 1 : 0);
            }
            if (!fault.seen && parser->disableSAX != 0) {
                // Stopped without a word to the handler.
                fault.seen = true;
                fault.text = thread_message.empty() ? "the XML parser stopped" : thread_message;
                fault.line = parser->input != nullptr ? parser->input->line : 1;
            }
            thread_message.clear();
            if (!fault.seen) {
                // Lines are counted by the parser; pending_lines is set
                // again when one must start afresh.
                pending_offset += block.size();
                return;
            }
            malformed(block.data(), block.size());
            if (pending.empty() && !final)
                return;
        }
    }

    // A parser that goes on at `offset` (`lines` line feeds before it) of
    // the document that starts with `head`, as if it had read all between:
    // it reads the head (the root, its line, its namespaces), then its
    // counts of lines and bytes are moved on; false when it did not read it.
    bool resume(const std::string& head, std::uint64_t offset, std::int64_t lines)
    {
        pending.assign(head);
        pending_offset = pending_lines = 0;
        start_parser({});
        parse_pending(false);
        if (parser == nullptr || faulted || parser->input == nullptr ||
            xmlByteConsumed(parser) != static_cast<long>(head.size()))
            return false;
        parser->input->line += static_cast<int>(lines - std::count(head.begin(), head.end(), '\n'));
        parser->input->consumed += offset - head.size();
        pending.clear();
        pending_offset = offset;
        return true;
    }

    // A piece read on a thread of its own: it stands for the streaming
    // parse when it read every byte without a fault, counted the lines and
    // records the scan did, and left the parse inside the root, no record
    // open. The scanner reads it when it can, libxml2 else.
    enum class PieceBy { ScannerOrLibxml, Scanner, Libxml };
    static bool parse_piece(const std::string& head, detail::PieceHead& known,
                            detail::MarcxmlPiece& piece, std::deque<MarcxmlItem>& items,
                            MarcxmlCounts& counts)
    {
        return read_piece(head, known, piece, items, counts, PieceBy::ScannerOrLibxml);
    }
    static bool read_piece(const std::string& head, detail::PieceHead& known,
                           detail::MarcxmlPiece& piece, std::deque<MarcxmlItem>& items,
                           MarcxmlCounts& counts, PieceBy by)
    {
        // A known head spares its parse (below 2^30 lines libxml2's int line cannot wrap).
        constexpr std::int64_t kLinesKnown = std::int64_t{1} << 30;
        const bool scan = by != PieceBy::Libxml, lines_known = piece.lines < kLinesKnown;
        if (scan && known.read && lines_known)
            return detail::scan_piece_items(known.namespaces, known.first_line + piece.lines,
                                            known.counts, piece, items, counts) ||
                   (by == PieceBy::ScannerOrLibxml &&
                    read_piece(head, known, piece, items, counts, PieceBy::Libxml));
        State s(std::make_unique<InputStream>(std::string_view()));
        s.counts.records = piece.records;
        const bool head_read = s.resume(head, piece.offset, piece.lines) && !s.fault.seen;
        if (s.parser == nullptr || s.pending_offset != piece.offset)
            return false;
        const std::int64_t line = s.parser->input->line;
        MarcxmlCounts head_counts = s.counts;
        head_counts.records -= piece.records;
        if (!known.known && lines_known)
            known = {true, head_read, s.root.namespaces, line - piece.lines, head_counts};
        if (scan && head_read &&
            detail::scan_piece_items(s.root.namespaces, line, head_counts, piece, items, counts))
            return true;
        if (by == PieceBy::Scanner)
            return false;
        {
            LibxmlMessagesKept kept(s.thread_message);
            xmlParseChunk(s.parser, piece.bytes.data(), static_cast<int>(piece.bytes.size()), 0);
        }
        piece.line_feeds = detail::line_feeds(piece.bytes);
        if (s.fault.seen || s.parser->disableSAX != 0 || !s.thread_message.empty() ||
            s.depth != 1 || s.root_closed || s.gatherer.in_record() || s.gatherer.unclosed() != 0 ||
            s.parser->input->line - line != piece.line_feeds ||
            xmlByteConsumed(s.parser) != static_cast<long>(piece.offset + piece.bytes.size()))
            return false;
        detail::hand_over(s.ready, s.counts, piece, items, counts);
        return true;
    }

    void read_on(unsigned threads)
    {
        if (threads > 1 && parser == nullptr && !finished && counts.records == 0)
            parallel = std::make_unique<detail::ParallelRead>(*input, threads, &State::parse_piece);
    }

    void fill_parallel()
    {
        while (parallel != nullptr && ready.empty()) {
            if (parallel->next(ready, counts))
                continue;
            detail::ParallelRead::Rest rest = parallel->rest();
            parallel.reset();
            // What the pieces' reading left is read again, read by read.
            input->read_again(std::move(rest.bytes), std::move(rest.reads));
            if (!rest.head.empty())
                resume(rest.head, rest.offset, rest.lines);
        }
    }

    void fill()
    {
        fill_parallel();
        while (ready.empty() && !finished) {
            if (parser == nullptr && seek_for == Seek::Nothing)
                start_parser({});
            bool more = input->read(pending);
            if (!input->refused().empty()) {
                error({}, 1,
                      make_message(MessageCode::MalformedXml,
                                   {"1", input->refused(), "; the input is not read"}));
                finished = true;
                break;
            }
            if (!more && seek_for != Seek::Nothing && pending.empty()) {
                finished = true;
                break;
            }
            parse_pending(!more);
            if (!more) {
                // A last start found by the search is read to its end.
                while (seek_for == Seek::Nothing && parser != nullptr && !pending.empty())
                    parse_pending(true);
                finished = true;
            }
        }
    }
#else
    explicit State(std::unique_ptr<InputStream> in) : input(std::move(in)) {}
    std::unique_ptr<InputStream> input;   // not read
    void read_on(unsigned) {}

    void fill()
    {
        if (finished)
            return;
        ready.push_back(
            {.kind = MarcxmlItem::Kind::Error, .message = make_message(MessageCode::NoMarcxml)});
        ++counts.errors;
        finished = true;
    }
#endif
};

MarcxmlReader::MarcxmlReader(std::unique_ptr<InputStream> input)
    : state_(std::make_unique<State>(std::move(input)))
{
}

const InputStream& MarcxmlReader::input() const
{
#ifdef TAV_HAVE_LIBXML2
    return state_->input->stream();
#else
    return *state_->input;
#endif
}

MarcxmlReader::~MarcxmlReader() = default;

#ifdef TAV_HAVE_LIBXML2
bool detail::PieceParses::scanner(const std::string& head, PieceHead& known, MarcxmlPiece& piece,
                                  std::deque<MarcxmlItem>& items, MarcxmlCounts& counts)
{
    using State = MarcxmlReader::State;
    return State::read_piece(head, known, piece, items, counts, State::PieceBy::Scanner);
}

bool detail::PieceParses::libxml(const std::string& head, PieceHead& known, MarcxmlPiece& piece,
                                 std::deque<MarcxmlItem>& items, MarcxmlCounts& counts)
{
    using State = MarcxmlReader::State;
    return State::read_piece(head, known, piece, items, counts, State::PieceBy::Libxml);
}
#endif

void MarcxmlReader::read_on(unsigned threads)
{
    state_->read_on(threads);
}

bool MarcxmlReader::next(MarcxmlItem& item)
{
    std::deque<MarcxmlItem>& ready = state_->ready;
    if (ready.empty() && (state_->fill(), ready.empty()))
        return false;
    item = std::move(ready.front());
    ready.pop_front();
    return true;
}

bool MarcxmlReader::take(std::deque<MarcxmlItem>& items)
{
    std::deque<MarcxmlItem>& ready = state_->ready;
    if (ready.empty() && (state_->fill(), ready.empty()))
        return false;
    if (items.empty())
        items.swap(ready);
    else
        std::move(ready.begin(), ready.end(), std::back_inserter(items));
    ready.clear();
    return true;
}

const MarcxmlCounts& MarcxmlReader::counts() const
{
    return state_->counts;
}

}  // namespace tav
