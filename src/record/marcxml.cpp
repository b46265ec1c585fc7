// MARCXML in: libxml2's streaming (SAX2 push) parser reads the XML as a
// stream of blocks; each record's fields of interest are gathered while it
// is read and handed out as incipits and messages when it closes. Only the
// current block, the current record and the items of one block are held.
//
// After malformed XML the parser is dropped; reading goes on at the next
// start tag of a record, inside a new parser given the document's root
// element first. Entities declared in the document itself are not expanded
// (a reference to one is malformed XML here), and nothing is loaded from
// the network or from other files.

#include "tav/marcxml.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <deque>
#include <vector>

#ifdef TAV_HAVE_LIBXML2
#include <cstdarg>

#include <libxml/parser.h>
#endif

#include "record/record_reader.h"

namespace tav {

namespace {

constexpr std::size_t kBlockBytes = std::size_t{1} << 16;
// A record's gathered text beyond this is an error, not memory.
constexpr std::size_t kMaxRecordBytes = std::size_t{1} << 26;
constexpr std::size_t kMaxIdentifierDigits = 10;

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

#ifdef TAV_HAVE_LIBXML2

void trim(std::string& s)
{
    std::size_t end = s.size();
    while (end > 0 && is_space(s[end - 1]))
        --end;
    std::size_t begin = 0;
    while (begin < end && is_space(s[begin]))
        ++begin;
    s.erase(end);
    s.erase(0, begin);
}

// The name after a namespace prefix, if any.
std::string_view local_name(std::string_view n)
{
    std::size_t colon = n.rfind(':');
    return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

const char* text_of(const xmlChar* s)
{
    return reinterpret_cast<const char*>(s);
}

// The elements of a record that the reader looks at.
enum class Element { Record, Controlfield, Datafield, Subfield, Other };

// What an element is, by its local name (after a prefix that was never
// declared, too): one pass over the name, then one comparison.
Element element_of(const xmlChar* name)
{
    const char* local = text_of(name);
    for (const char* p = local; *p != '\0'; ++p)
        if (*p == ':')
            local = p + 1;
    switch (local[0]) {
    case 's': return std::strcmp(local, "subfield") == 0 ? Element::Subfield : Element::Other;
    case 'd': return std::strcmp(local, "datafield") == 0 ? Element::Datafield : Element::Other;
    case 'c':
        return std::strcmp(local, "controlfield") == 0 ? Element::Controlfield : Element::Other;
    case 'r': return std::strcmp(local, "record") == 0 ? Element::Record : Element::Other;
    default: return Element::Other;
    }
}

// One text that a subfield fills: the first occurrence counts.
struct Value {
    std::string text;
    bool seen = false;
};

struct Incipit031 {
    std::int64_t line = 0;
    Value a, b, c, d, g, m, n, o, p, r, t, system;
};

struct Gathered {
    std::int64_t line = 0;
    Value control_number, composer, uniform_title, title;
    std::vector<Incipit031> fields;
    std::size_t bytes = 0;
    bool too_large = false;
};

bool valid_identifier(const std::string& id)
{
    if (id.empty() || id.size() > kMaxIdentifierDigits)
        return false;
    long long value = 0;
    for (char c : id) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return value <= INT32_MAX;
}

// The subfield codes of one incipit field that cannot hold a tab or a line
// break: they become fields of the record line.
const char* line_break_in(const Incipit031& f)
{
    auto bad = [](const Value& v) {
        return detail::holds_line_break(v.text);
    };
    if (bad(f.a) || bad(f.b) || bad(f.c))
        return "the number ($a, $b, $c)";
    if (bad(f.g))
        return "the clef ($g)";
    if (bad(f.o))
        return "the time signature ($o)";
    if (bad(f.n))
        return "the key signature ($n)";
    if (detail::holds_line_break(f.p.text, false))
        return "the music ($p)";
    return nullptr;
}

#endif

}  // namespace

Fields MarcxmlItem::fields(std::string& storage) const
{
    const Record& r = record;
    Fields f{r.identifier, r.number, r.clef, r.time, {}, r.music};
    if (!r.key.empty()) {
        storage.clear();
        if (r.key[0] != '$')
            storage += '$';
        storage += r.key;
        storage += ' ';
        storage += r.music;
        f.music = storage;
    }
    return f;
}

bool looks_like_marcxml(std::string_view start)
{
    if (start.substr(0, 3) == "\xEF\xBB\xBF")
        start.remove_prefix(3);
    while (!start.empty() && is_space(start.front()))
        start.remove_prefix(1);
    if (start.substr(0, 5) == "<?xml" || start.substr(0, 4) == "<!--")
        return true;
    if (start.empty() || start.front() != '<')
        return false;
    std::size_t end = 1;
    while (end < start.size() && !is_space(start[end]) && start[end] != '>' && start[end] != '/')
        ++end;
    std::string_view name = start.substr(1, end - 1);
    std::size_t colon = name.rfind(':');
    if (colon != std::string_view::npos)
        name.remove_prefix(colon + 1);
    return name == "collection" || name == "record";
}

struct MarcxmlReader::State {
    std::FILE* input = nullptr;
    std::string memory;          // a document given in memory
    std::size_t memory_pos = 0;
    bool end_of_input = false;
    bool read_error = false;
    std::uint64_t consumed = 0;

    MarcxmlCounts counts;
    std::deque<MarcxmlItem> ready;
    bool finished = false;

    void error(std::string control_number, std::int64_t line, std::string text)
    {
        MarcxmlItem item;
        item.kind = MarcxmlItem::Kind::Error;
        item.control_number = std::move(control_number);
        item.line = line;
        item.text = std::move(text);
        ready.push_back(std::move(item));
        ++counts.errors;
    }

    // Raw bytes not yet given to a parser, and the stream offset and (when
    // a parser is to start on them: at the start and after malformed XML)
    // the number of line feeds before them.
    std::string pending;
    std::uint64_t pending_offset = 0;
    std::int64_t pending_lines = 0;

#ifdef TAV_HAVE_LIBXML2
    xmlParserCtxtPtr parser = nullptr;
    bool seeking = false;        // after malformed XML, until the next record
    std::string root;            // the document's root element, as written; empty
                                 // while no element was seen
    std::uint64_t parser_offset = 0;   // stream offset of the parser's first real byte
    std::int64_t parser_lines = 0;     // line feeds before it
    std::size_t prefix = 0;            // bytes of the root tag given before it

    // The first error of the parser that ends its reading.
    struct Fault {
        bool seen = false;
        std::string text;
        std::int64_t index = 0;  // bytes the parser had read
        std::int64_t line = 0;
    } fault;
    // What libxml2 said outside the parser's handler (input it cannot
    // decode), where it would otherwise print it.
    std::string thread_message;
    bool stopped = false;        // the input is read no further

    // While the parser runs, the thread's error functions of libxml2 are
    // the reader's: they keep the first message instead of printing it.
    class ErrorsKept {
    public:
        explicit ErrorsKept(State& s)
            : generic_(xmlGenericError), generic_context_(xmlGenericErrorContext),
              structured_(xmlStructuredError), structured_context_(xmlStructuredErrorContext)
        {
            xmlSetGenericErrorFunc(&s, &State::on_thread_message);
            xmlSetStructuredErrorFunc(&s, &State::on_thread_error);
        }
        ~ErrorsKept()
        {
            xmlSetGenericErrorFunc(generic_context_, generic_);
            xmlSetStructuredErrorFunc(structured_context_, structured_);
        }
        ErrorsKept(const ErrorsKept&) = delete;
        ErrorsKept& operator=(const ErrorsKept&) = delete;

    private:
        xmlGenericErrorFunc generic_;
        void* generic_context_;
        xmlStructuredErrorFunc structured_;
        void* structured_context_;
    };

    void keep_thread_message(std::string text)
    {
        trim(text);
        if (thread_message.empty())
            thread_message = std::move(text);
    }
    static void on_thread_message(void* data, const char* format, ...)
    {
        char text[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        static_cast<State*>(data)->keep_thread_message(text);
    }
    static void on_thread_error(void* data, xmlErrorPtr e)
    {
        if (e != nullptr && e->message != nullptr)
            static_cast<State*>(data)->keep_thread_message(e->message);
    }

    // The record being read.
    bool in_record = false;
    Gathered record;
    Value* target = nullptr;     // the text being gathered
    bool join = false;           // a repeated subfield adds to the text
    enum class Field { None, Control001, Incipit, Composer, UniformTitle, Title };
    Field field = Field::None;

    ~State() { drop_parser(); }

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

    void start_parser(std::string_view root_tag)
    {
        static const bool initialised = (xmlInitParser(), true);
        (void)initialised;
        xmlSAXHandler sax = *handler();   // the parser keeps a copy
        ErrorsKept kept(*this);
        parser = xmlCreatePushParserCtxt(&sax, this, nullptr, 0, nullptr);
        xmlCtxtUseOptions(parser, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        fault = Fault{};
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

    static void on_start(void* data, const xmlChar* name, const xmlChar* prefix, const xmlChar*,
                         int, const xmlChar**, int attribute_count, int,
                         const xmlChar** attributes)
    {
        static_cast<State*>(data)->start(name, prefix, attribute_count, attributes);
    }
    static void on_end(void* data, const xmlChar* name, const xmlChar*, const xmlChar*)
    {
        static_cast<State*>(data)->end(name);
    }
    // Text counts only while a subfield of interest is gathered; the rest
    // of the record's text (other fields, the white space between
    // elements) is passed by.
    static void on_text(void* data, const xmlChar* text, int length)
    {
        State& s = *static_cast<State*>(data);
        if (s.target == nullptr)
            return;
        Gathered& r = s.record;
        r.bytes += static_cast<std::size_t>(length);
        if (r.bytes > kMaxRecordBytes) {
            r.too_large = true;
            return;
        }
        s.target->text.append(text_of(text), static_cast<std::size_t>(length));
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
        s.fault.text = e->message != nullptr ? e->message : "unknown error";
        trim(s.fault.text);
        xmlStopParser(s.parser);
    }

    // Starts gathering `value`: the first occurrence, or every one joined
    // by "; " when `repeats`.
    void gather(Value& value, bool repeats)
    {
        if (value.seen && !repeats)
            return;
        if (value.seen)
            value.text += "; ";
        value.seen = true;
        target = &value;
    }

    void stop_gathering() { target = nullptr; }

    void start(const xmlChar* name, const xmlChar* prefix_name, int attribute_count,
               const xmlChar** attributes)
    {
        if (root.empty()) {
            if (prefix_name != nullptr)
                root.append(text_of(prefix_name)).append(1, ':');
            root.append(text_of(name));
        }
        Element element = element_of(name);
        if (!in_record) {
            if (element == Element::Record) {
                in_record = true;
                record = Gathered{};
                record.line = current_line();
                ++counts.records;
            }
            return;
        }
        stop_gathering();
        if (element == Element::Controlfield) {
            field = attribute(attribute_count, attributes, "tag") == "001" ? Field::Control001
                                                                           : Field::None;
            if (field == Field::Control001)
                gather(record.control_number, false);
        } else if (element == Element::Datafield) {
            std::string_view tag = attribute(attribute_count, attributes, "tag");
            field = Field::None;
            if (tag == "031") {
                field = Field::Incipit;
                record.bytes += sizeof(Incipit031);
                if (record.bytes > kMaxRecordBytes)
                    record.too_large = true;
                else
                    {
                    record.fields.emplace_back();
                    record.fields.back().line = current_line();
                }
            } else if (tag == "100") {
                field = Field::Composer;
            } else if (tag == "240") {
                field = Field::UniformTitle;
            } else if (tag == "245") {
                field = Field::Title;
            }
        } else if (element == Element::Subfield) {
            std::string_view code = attribute(attribute_count, attributes, "code");
            if (code.size() != 1)
                return;
            subfield(code[0]);
        }
    }

    void subfield(char code)
    {
        switch (field) {
        case Field::Composer:
            if (code == 'a')
                gather(record.composer, false);
            return;
        case Field::UniformTitle:
            if (code == 'a')
                gather(record.uniform_title, false);
            return;
        case Field::Title:
            if (code == 'a')
                gather(record.title, false);
            return;
        case Field::Incipit: break;
        default: return;
        }
        if (record.fields.empty())
            return;
        Incipit031& f = record.fields.back();
        switch (code) {
        case 'a': gather(f.a, false); break;
        case 'b': gather(f.b, false); break;
        case 'c': gather(f.c, false); break;
        case 'd': gather(f.d, true); break;
        case 'g': gather(f.g, false); break;
        case 'm': gather(f.m, true); break;
        case 'n': gather(f.n, false); break;
        case 'o': gather(f.o, false); break;
        case 'p': gather(f.p, false); break;
        case 'r': gather(f.r, true); break;
        case 't': gather(f.t, true); break;
        case '2': gather(f.system, false); break;
        default: break;
        }
    }

    void end(const xmlChar* name)
    {
        if (!in_record)
            return;
        Element element = element_of(name);
        if (element == Element::Subfield || element == Element::Controlfield) {
            stop_gathering();
        } else if (element == Element::Datafield) {
            stop_gathering();
            field = Field::None;
        } else if (element == Element::Record) {
            stop_gathering();
            field = Field::None;
            in_record = false;
            finish_record();
        }
    }

    // A record closed: an error when it cannot be read as a whole, else
    // each of its 031 fields in turn.
    void finish_record()
    {
        Gathered& r = record;
        trim(r.control_number.text);
        if (!readable(r))
            return;
        trim(r.composer.text);
        trim(r.uniform_title.text);
        trim(r.title.text);
        int occurrence = 0;
        for (Incipit031& f : r.fields)
            finish_incipit(r, f, ++occurrence);
    }

    // False, with the record's error, for a record too large, without 001
    // or with a 001 that is no incipit identifier.
    bool readable(const Gathered& r)
    {
        const std::string& id = r.control_number.text;
        std::string which = "record " + std::to_string(counts.records);
        if (r.too_large)
            error(id, r.line, which + " is too large to read (over 64 MiB of text)");
        else if (!r.control_number.seen)
            error({}, r.line, which + " has no control number (001)");
        else if (!valid_identifier(id))
            error(id, r.line,
                  which + ": control number (001) \"" + id +
                      "\" is not an incipit identifier (one to ten digits)");
        else
            return true;
        return false;
    }

    // One 031 field: passed over without music, a warning for another
    // system code, an error for a line break in a field of the record
    // line, and else an incipit with the record's description.
    void finish_incipit(const Gathered& r, Incipit031& f, int occurrence)
    {
        for (Value* v : {&f.a, &f.b, &f.c, &f.d, &f.g, &f.m, &f.n, &f.o, &f.p, &f.r, &f.t,
                         &f.system})
            trim(v->text);
        if (f.p.text.empty()) {
            ++counts.without_music;
            return;
        }
        MarcxmlItem item;
        item.control_number = r.control_number.text;
        item.occurrence = occurrence;
        item.line = f.line;
        std::string here = "031 #" + std::to_string(occurrence);
        if (!f.system.text.empty() && f.system.text != "pe") {
            ++counts.other_system;
            item.kind = MarcxmlItem::Kind::Warning;
            item.text = here + " has the system code \"" + f.system.text +
                        "\", which is not read; passed over";
        } else if (const char* what = line_break_in(f)) {
            item.kind = MarcxmlItem::Kind::Error;
            item.text = here + ": " + what + " holds a tab or a line break";
            ++counts.errors;
        } else {
            ++counts.incipits;
            Record& out = item.record;
            out.identifier = r.control_number.text;
            out.number = f.a.text + '.' + f.b.text + '.' + f.c.text;
            out.clef = std::move(f.g.text);
            out.time = std::move(f.o.text);
            out.key = std::move(f.n.text);
            out.music = std::move(f.p.text);
            Description& d = out.description;
            d.composer = r.composer.text;
            d.work_title = r.uniform_title.text.empty() ? r.title.text : r.uniform_title.text;
            d.movement_title = std::move(f.d.text);
            d.part_name = std::move(f.m.text);
            d.text_incipit = std::move(f.t.text);
            d.key_or_mode = std::move(f.r.text);
        }
        ready.push_back(std::move(item));
    }

    // Malformed XML: the fault, the record it leaves unread, and a search
    // for the next record from the byte after it.
    void malformed(const char* block, std::size_t size)
    {
        std::uint64_t offset = parser_offset;
        if (fault.index > static_cast<std::int64_t>(prefix))
            offset += static_cast<std::uint64_t>(fault.index) - prefix;
        std::int64_t line = std::max<std::int64_t>(fault.line, 1) + parser_lines;
        // A document with no element at all: one word for it, whatever
        // came instead.
        std::string text = "malformed XML at line " + std::to_string(line);
        if (!stopped)
            text += ", byte " + std::to_string(offset);
        text += ": ";
        text += !root.empty() || stopped ? fault.text : "Document is empty";
        std::string control;
        if (in_record) {
            control = record.control_number.text;
            trim(control);
            text += "; record " + std::to_string(counts.records) + " is passed over";
        }
        error(control, line, std::move(text));
        drop_parser();
        in_record = false;
        target = nullptr;
        field = Field::None;
        seeking = true;
        // Search from the byte after the fault, within what is still held.
        std::uint64_t from = std::max(offset + 1, pending_offset);
        std::size_t skip = static_cast<std::size_t>(
            std::min<std::uint64_t>(from - pending_offset, size));
        pending.assign(block + skip, size - skip);
        pending_offset += skip;
        pending_lines = line - 1 + (offset < from && skip > 0 && block[skip - 1] == '\n' ? 1 : 0);
    }

    // The parser stopped without a word to its handler: input that its
    // decoder (of a document not in UTF-8) cannot decode, at a byte it
    // does not tell. A new parser would not know the document's encoding,
    // so the input is read no further.
    void stopped_without_fault()
    {
        fault.seen = true;
        fault.text = (thread_message.empty() ? std::string("the XML parser stopped")
                                             : thread_message) +
                     "; the rest of the input is not read";
        fault.line = parser->input != nullptr ? parser->input->line : 1;
        stopped = true;
        finished = true;
    }

    // In `pending`, the start of the next record's start tag; npos when
    // there is none. `keep` receives where an unfinished tag begins.
    static std::size_t find_record(const std::string& bytes, std::size_t& keep)
    {
        keep = bytes.size();
        for (std::size_t i = bytes.find('<'); i != std::string::npos; i = bytes.find('<', i + 1)) {
            std::size_t end = i + 1;
            while (end < bytes.size() && !is_space(bytes[end]) && bytes[end] != '>' &&
                   bytes[end] != '/' && bytes[end] != '<')
                ++end;
            if (end == bytes.size()) {
                keep = i;
                return std::string::npos;
            }
            std::string_view name(bytes.data() + i + 1, end - i - 1);
            std::size_t colon = name.rfind(':');
            if (colon != std::string_view::npos)
                name.remove_prefix(colon + 1);
            if (name == "record")
                return i;
        }
        return std::string::npos;
    }

    void seek()
    {
        std::size_t keep;
        std::size_t at = find_record(pending, keep);
        std::size_t drop = at == std::string::npos ? keep : at;
        pending_lines += std::count(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(drop), '\n');
        pending_offset += drop;
        pending.erase(0, drop);
        if (at == std::string::npos)
            return;
        seeking = false;
        // The root again, unless the document was a single record.
        bool usable = !root.empty() && local_name(root) != "record";
        std::string root_tag(1, '<');
        root_tag += usable ? root : std::string("collection");
        root_tag += '>';
        start_parser(root_tag);
    }

    // Gives the held bytes to the parser; after malformed XML, looks for
    // the next record in what is left of them.
    void parse_pending(bool final)
    {
        for (;;) {
            if (seeking) {
                seek();
                if (seeking)
                    return;
            }
            std::string block = std::move(pending);
            pending.clear();
            {
                ErrorsKept kept(*this);
                xmlParseChunk(parser, block.data(), static_cast<int>(block.size()), final ? 1 : 0);
            }
            if (!fault.seen && parser->disableSAX != 0)
                stopped_without_fault();
            if (!fault.seen) {
                // Lines are counted by the parser; pending_lines is set
                // again when one must start afresh.
                pending_offset += block.size();
                return;
            }
            malformed(block.data(), block.size());
            if (stopped || (pending.empty() && !final))
                return;
        }
    }
#endif

    bool read_block()
    {
        if (end_of_input)
            return false;
        std::size_t before = pending.size();
        if (input != nullptr) {
            pending.resize(before + kBlockBytes);
            std::size_t n = std::fread(pending.data() + before, 1, kBlockBytes, input);
            pending.resize(before + n);
            if (n == 0) {
                end_of_input = true;
                read_error = std::ferror(input) != 0;
            }
            consumed += n;
            return n > 0;
        }
        std::size_t n = std::min(kBlockBytes, memory.size() - memory_pos);
        pending.append(memory, memory_pos, n);
        memory_pos += n;
        consumed += n;
        if (n == 0)
            end_of_input = true;
        return n > 0;
    }

    void fill()
    {
#ifdef TAV_HAVE_LIBXML2
        while (ready.empty() && !finished) {
            if (parser == nullptr && !seeking)
                start_parser({});
            bool more = read_block();
            if (!more && seeking) {
                finished = true;
                break;
            }
            parse_pending(!more);
            if (!more)
                finished = true;
        }
#else
        if (!finished) {
            error({}, 0, "this build of the library reads no MARCXML (built without libxml2)");
            finished = true;
        }
#endif
    }

};

MarcxmlReader::MarcxmlReader(std::FILE* input) : state_(std::make_unique<State>())
{
    state_->input = input;
}

MarcxmlReader::MarcxmlReader(std::FILE* input, std::string_view already_read)
    : state_(std::make_unique<State>())
{
    state_->input = input;
    state_->pending.assign(already_read);
    state_->consumed = already_read.size();
}

MarcxmlReader::MarcxmlReader(std::string_view document) : state_(std::make_unique<State>())
{
    state_->memory.assign(document);
}

MarcxmlReader::~MarcxmlReader() = default;

bool MarcxmlReader::next(MarcxmlItem& item)
{
    State& s = *state_;
    if (s.ready.empty())
        s.fill();
    if (s.ready.empty())
        return false;
    item = std::move(s.ready.front());
    s.ready.pop_front();
    return true;
}

const MarcxmlCounts& MarcxmlReader::counts() const
{
    return state_->counts;
}

bool MarcxmlReader::read_failed() const
{
    return state_->read_error;
}

std::uint64_t MarcxmlReader::consumed() const
{
    return state_->consumed;
}

bool MarcxmlReader::available()
{
#ifdef TAV_HAVE_LIBXML2
    return true;
#else
    return false;
#endif
}

}  // namespace tav
