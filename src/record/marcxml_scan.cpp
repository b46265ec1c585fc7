// The scanner of MARCXML pieces (see record/marcxml_scan.h). It is written
// by hand rather than taken from another XML library because what it must
// do is refuse: every piece it reads has to give the items, lines, messages
// and counts libxml2 gives, so it takes only the subset whose reading is
// plain, and anything libxml2 would treat as malformed or handle in a way
// of its own (entities, comments, instructions, CDATA, a document type,
// namespace declarations, white space in attribute values, names past
// ASCII) makes it decline. A general parser accepts much that libxml2
// refuses and would need the same checks on top.
//
// What libxml2 does, and the scanner does alike: a start element is on
// the line of its tag's '>' (every line feed before it counted, those
// inside the tag too); in text, CR LF is read as LF and a lone CR as LF
// without a line of its own; a reference gives its character as text.
//
// Plain text and the indent after a line feed are passed over eight bytes
// at a time, and the tags exports write most (a name met before, the usual
// attributes of a record's elements) are matched whole; anything else they
// meet is left to the byte by byte reading, which gives the same events.

#include "record/marcxml_scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "record/byte_words.h"
#include "record/xml_names.h"
#include "tav/batch.h"

namespace tav::detail {

namespace {

// Far fewer elements open than libxml2 allows (256), and names far shorter.
constexpr std::size_t kMostOpen = 64;
constexpr std::size_t kLongestName = 1000;
constexpr std::size_t kMostAttributes = 16;
constexpr std::size_t kMostReferenceDigits = 8;
// Distinct element names whose element is remembered.
constexpr std::size_t kMostKnownNames = 8;

// What a byte may be: text as it is, part of an attribute value, a name's
// first byte or a later one, white space.
enum ByteClass : unsigned char {
    kPlainText = 1,
    kValue = 2,
    kNameStart = 4,
    kName = 8,
    kSpace = 16,
};

constexpr std::array<unsigned char, 256> kClasses = [] {
    std::array<unsigned char, 256> t{};
    for (int c = 0x20; c < 0x7F; ++c)
        t[c] = kPlainText | kValue;
    t[0x7F] = kPlainText;   // an XML character, though a control one
    t['\t'] = kPlainText | kSpace;
    t['\n'] = t['\r'] = kSpace;   // a line feed is counted, a CR read as one
    t[' '] |= kSpace;
    for (unsigned char c : {'<', '&', ']'})
        t[c] &= static_cast<unsigned char>(~kPlainText);
    for (unsigned char c : {'<', '&'})
        t[c] &= static_cast<unsigned char>(~kValue);
    for (int c = 'a'; c <= 'z'; ++c)
        t[c] |= kNameStart | kName;
    for (int c = 'A'; c <= 'Z'; ++c)
        t[c] |= kNameStart | kName;
    t['_'] |= kNameStart | kName;
    for (int c = '0'; c <= '9'; ++c)
        t[c] |= kName;
    t['-'] |= kName;
    t['.'] |= kName;
    return t;
}();

bool is(char c, ByteClass wanted)
{
    return (kClasses[static_cast<unsigned char>(c)] & wanted) != 0;
}

bool same(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && same_bytes(a.data(), b.data(), a.size());
}

// Whether the bytes at `p` are those of `literal`, whose size is known when
// compiled (so that the comparison is a word's or two).
template <std::size_t N>
bool at(const char* p, const char (&literal)[N])
{
    return std::memcmp(p, literal, N - 1) == 0;
}

// A byte of an attribute value in double quotes.
bool value_byte(char c)
{
    return c != '"' && is(c, kValue);
}

bool xml_char(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The length of the UTF-8 character at `text`'s start when it is one XML
// allows (U+FFFE and U+FFFF are not), else 0.
std::size_t xml_char_length(std::string_view text)
{
    const std::size_t length = utf8_sequence_length(text);
    if (length == 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
        static_cast<unsigned char>(text[1]) == 0xBF && static_cast<unsigned char>(text[2]) >= 0xBE)
        return 0;
    return length;
}

// `c` in UTF-8 at `out`; its length.
std::size_t put_utf8(char32_t c, char* out)
{
    auto byte = [](char32_t v) { return static_cast<char>(static_cast<unsigned char>(v)); };
    if (c < 0x80) {
        out[0] = byte(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = byte(0xC0 | (c >> 6));
        out[1] = byte(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = byte(0xE0 | (c >> 12));
        out[1] = byte(0x80 | ((c >> 6) & 0x3F));
        out[2] = byte(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = byte(0xF0 | (c >> 18));
    out[1] = byte(0x80 | ((c >> 12) & 0x3F));
    out[2] = byte(0x80 | ((c >> 6) & 0x3F));
    out[3] = byte(0x80 | (c & 0x3F));
    return 4;
}

// A character reference's digits ("233", "xE9"): its character, or 0 when
// it is none XML allows.
char32_t referenced(std::string_view digits)
{
    const bool hex = !digits.empty() && digits[0] == 'x';
    if (hex)
        digits.remove_prefix(1);
    if (digits.empty() || digits.size() > kMostReferenceDigits)
        return 0;
    char32_t value = 0;
    for (char c : digits) {
        int digit = c >= '0' && c <= '9' ? c - '0' : -1;
        if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0 || (!hex && digit > 9))
            return 0;
        value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    }
    return xml_char(value) ? value : 0;
}

class Scanner {
public:
    Scanner(std::string_view bytes, const RootNamespaces& root, std::int64_t line,
            RecordGatherer& gatherer)
        : p_(bytes.data()), end_(bytes.data() + bytes.size()), line_(line),
          root_(root), gatherer_(gatherer)
    {
    }

    // Line feeds before the byte it is at.
    std::int64_t line() const { return line_; }

    bool run()
    {
        while (p_ < end_)
            if (!(*p_ == '<' ? markup() : text()))
                return false;
        return open_.empty() && !gatherer_.in_record() && gatherer_.unclosed() == 0;
    }

private:
    struct Open {
        std::string_view name;
        MarcElement element;
    };

    bool text();
    bool reference();
    bool markup();
    bool start_tag();
    bool end_tag();
    bool usual_attributes(MarcElement element, std::string_view& key);
    bool attributes(MarcElement element, std::string_view& key);
    std::string_view name(bool prefixed);
    bool known_name(Open& known);
    bool known_element(std::string_view name, MarcElement& element);
    bool element_of(std::string_view name, MarcElement& element) const;

    void give(const char* from, const char* to)
    {
        if (to > from && gatherer_.gathering())
            gatherer_.text(from, static_cast<std::size_t>(to - from));
    }
    void skip_space()
    {
        for (; p_ < end_ && is(*p_, kSpace); ++p_)
            line_ += *p_ == '\n';
    }

    const char* p_;
    const char* end_;
    std::int64_t line_;     // of p_: line feeds before it are counted
    const RootNamespaces& root_;
    RecordGatherer& gatherer_;
    std::vector<Open> open_;
    std::array<Open, kMostKnownNames> known_{};   // names met, and their elements
    std::size_t known_count_ = 0;
};

// Text up to the next '<' or the end: plain runs given as they are, a CR
// as LF (or left out before LF), a reference as its character.
bool Scanner::text()
{
    const char* run = p_;
    while (p_ < end_) {
        const char c = *p_;
        if (is(c, kPlainText)) {
            if (++p_ < end_ && *p_ != '<')   // texts of a byte are common
                p_ = plain_text_stop(p_, end_);
            continue;
        }
        if (c == '<')
            break;
        if (c == '\n') {   // often the indent of the next tag follows
            ++line_;
            p_ = spaces_end(p_ + 1, end_);
            continue;
        }
        if (c == ']') {
            if (end_ - p_ < 3 || (p_[1] == ']' && p_[2] == '>'))
                return false;
            ++p_;
            continue;
        }
        if (static_cast<unsigned char>(c) >= 0x80) {
            const std::size_t length =
                xml_char_length(std::string_view(p_, static_cast<std::size_t>(end_ - p_)));
            if (length == 0)
                return false;
            p_ += length;
            continue;
        }
        give(run, p_);
        if (c == '&') {
            if (!reference())
                return false;
        } else if (c == '\r' && end_ - p_ >= 2) {
            if (*++p_ != '\n')
                gatherer_.text("\n", 1);
        } else {
            return false;
        }
        run = p_;
    }
    give(run, p_);
    return true;
}

// At '&': one of the five predefined entities or a character reference.
bool Scanner::reference()
{
    static constexpr std::pair<std::string_view, char> kPredefined[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
    constexpr std::ptrdiff_t kLongest = 2 + 1 + kMostReferenceDigits;   // "#x" digits ';'
    const char* semicolon = std::find(p_ + 1, p_ + std::min(kLongest + 1, end_ - p_), ';');
    if (semicolon == end_ || *semicolon != ';')
        return false;
    const std::string_view name(p_ + 1, static_cast<std::size_t>(semicolon - p_ - 1));
    p_ = semicolon + 1;
    for (const auto& [entity, c] : kPredefined)
        if (name == entity) {
            gatherer_.text(&c, 1);
            return true;
        }
    const char32_t c = name.starts_with('#') ? referenced(name.substr(1)) : 0;
    if (c == 0)
        return false;
    char utf8[4];
    gatherer_.text(utf8, put_utf8(c, utf8));
    return true;
}

bool Scanner::markup()
{
    if (end_ - p_ < 2)
        return false;
    return p_[1] == '/' ? end_tag() : start_tag();   // '!' and '?' start no name
}

// A name of ASCII letters, digits and "_-.", not starting with a digit,
// '-' or '.'; with `prefixed`, one prefix and ':' may come first. Empty
// when there is none, or more follows that a name could hold.
std::string_view Scanner::name(bool prefixed)
{
    const char* begin = p_;
    for (int part = 0; part < (prefixed ? 2 : 1); ++part) {
        if (p_ == end_ || !is(*p_, kNameStart))
            return {};
        while (p_ < end_ && is(*p_, kName))
            ++p_;
        if (p_ == end_ || *p_ != ':' || part + 1 == (prefixed ? 2 : 1))
            break;
        ++p_;
    }
    const auto length = static_cast<std::size_t>(p_ - begin);
    if (p_ == end_ || *p_ == ':' || static_cast<unsigned char>(*p_) >= 0x80 || length > kLongestName)
        return {};
    return {begin, length};
}

// At a name met before (the first names are remembered), which no byte
// of a name follows: the name and its element (p_ past it), as name() and
// element_of() would give them; else false (p_ unmoved).
bool Scanner::known_name(Open& known)
{
    const auto left = static_cast<std::size_t>(end_ - p_);
    for (std::size_t i = 0; i < known_count_; ++i) {
        const std::string_view name = known_[i].name;
        if (left <= name.size() || *p_ != name[0] || !same_bytes(p_, name.data(), name.size()))
            continue;
        const char after = p_[name.size()];
        if (is(after, kName) || after == ':' || static_cast<unsigned char>(after) >= 0x80)
            continue;
        p_ += name.size();
        known = known_[i];
        if (i > 0)   // the names met most often come to be looked at first
            std::swap(known_[i], known_[i - 1]);
        return true;
    }
    return false;
}

// The element of a name not met before, by element_of(); remembered.
bool Scanner::known_element(std::string_view name, MarcElement& element)
{
    if (!element_of(name, element))
        return false;
    if (known_count_ < known_.size())
        known_[known_count_++] = {name, element};
    return true;
}

// The element a name stands for, its prefix (or none) resolved by the
// root's declarations; false for a prefix they do not declare.
bool Scanner::element_of(std::string_view name, MarcElement& element) const
{
    const std::size_t colon = name.find(':');
    const std::string_view prefix = colon == std::string_view::npos ? "" : name.substr(0, colon);
    const std::string* uri = nullptr;
    for (const auto& [declared, declared_uri] : root_)
        if (declared == prefix)
            uri = &declared_uri;
    if (uri == nullptr && !prefix.empty())
        return false;
    const std::string_view local = colon == std::string_view::npos ? name : name.substr(colon + 1);
    element = marc_element(local, uri == nullptr || *uri == kMarcNamespace);
    return true;
}

// A start tag, or an empty element's: a start, at the line of its '>',
// and (empty) an end.
bool Scanner::start_tag()
{
    ++p_;
    Open open;
    if (!known_name(open)) {
        open.name = name(true);
        if (open.name.empty() || !known_element(open.name, open.element))
            return false;
    }
    const MarcElement element = open.element;
    std::string_view key;
    if (open_.size() >= kMostOpen || !(usual_attributes(element, key) || attributes(element, key)))
        return false;
    const bool empty = *p_ == '/';
    gatherer_.start(element, key, line_);
    p_ += empty ? 2 : 1;
    if (empty)
        gatherer_.end(element);
    else
        open_.push_back(open);
    return true;
}

// The attributes of a record's elements as catalogue exports write them
// (`<subfield code="a">`, `<controlfield tag="001">`, `<datafield tag="031"
// ind1=" " ind2=" ">`, `<record>`), followed by '>': read as attributes()
// would read them (p_ left at the '>'), or left (p_ unmoved, false).
bool Scanner::usual_attributes(MarcElement element, std::string_view& key)
{
    const char* p = p_;
    const auto left = static_cast<std::size_t>(end_ - p_);
    // Every byte looked at, without a branch for each: the sizes are 1 and 3.
    auto values = [p](std::size_t from, std::size_t size) {
        bool all = true;
        for (std::size_t i = 0; i < size; ++i)
            all &= value_byte(p[from + i]);
        return all;
    };
    std::size_t size = 0, key_at = 0, key_size = 0;   // size: up to the '>'
    switch (element) {
    case MarcElement::Record:
        break;
    case MarcElement::Subfield:
        if (left <= 9 || !at(p, " code=\"") || !values(7, 1) || p[8] != '"')
            return false;
        size = 9, key_at = 7, key_size = 1;
        break;
    case MarcElement::Controlfield:
        if (left <= 10 || !at(p, " tag=\"") || !values(6, 3) || p[9] != '"')
            return false;
        size = 10, key_at = 6, key_size = 3;
        break;
    case MarcElement::Datafield:
        if (left <= 28 || !at(p, " tag=\"") || !values(6, 3) || !at(p + 9, "\" ind1=\"") ||
            !values(17, 1) || !at(p + 18, "\" ind2=\"") || !values(26, 1) || p[27] != '"')
            return false;
        size = 28, key_at = 6, key_size = 3;
        break;
    default:
        return false;
    }
    if (p[size] != '>')
        return false;
    key = {p + key_at, key_size};
    p_ += size;
    return true;
}

// The attributes up to the tag's '>' or "/>" (p_ is left there): each
// after white space, unprefixed, once, its value in quotes without '<',
// '&', white space other than ' ' or a byte past ASCII. `key` is a field's
// tag or a subfield's code.
bool Scanner::attributes(MarcElement element, std::string_view& key)
{
    const std::string_view wanted = element == MarcElement::Subfield ? "code"
                                    : element == MarcElement::Datafield ||
                                              element == MarcElement::Controlfield
                                        ? "tag"
                                        : "";
    struct Name {
        const char* begin;
        std::size_t size;
        bool operator==(std::string_view other) const
        {
            return same(other, std::string_view(begin, size));
        }
    } seen[kMostAttributes];
    std::size_t count = 0;
    for (;;) {
        const char* before = p_;
        skip_space();
        if (p_ == end_)
            return false;
        if (*p_ == '>')
            return true;
        if (*p_ == '/')
            return end_ - p_ >= 2 && p_[1] == '>';
        if (p_ == before || count == kMostAttributes)
            return false;
        const std::string_view attribute = name(false);
        if (attribute.empty() || same(attribute, "xmlns") ||
            std::find(seen, seen + count, attribute) != seen + count)
            return false;
        seen[count++] = {attribute.data(), attribute.size()};
        skip_space();
        if (p_ == end_ || *p_ != '=')
            return false;
        ++p_;
        skip_space();
        if (p_ == end_ || (*p_ != '"' && *p_ != '\''))
            return false;
        const char quote = *p_++;
        const char* value = p_;
        while (p_ < end_ && *p_ != quote && is(*p_, kValue))
            ++p_;
        if (p_ == end_ || *p_ != quote)
            return false;
        if (same(attribute, wanted))
            key = {value, static_cast<std::size_t>(p_ - value)};
        ++p_;
    }
}

// An end tag of the element last opened in the piece (the root's is not):
// its name, as written there, and white space before the '>'.
bool Scanner::end_tag()
{
    p_ += 2;
    if (open_.empty())
        return false;
    const std::string_view name = open_.back().name;
    if (static_cast<std::size_t>(end_ - p_) <= name.size() ||
        !same_bytes(p_, name.data(), name.size()))
        return false;
    p_ += name.size();
    if (*p_ != '>') {
        if (!is(*p_, kSpace))
            return false;
        skip_space();
        if (p_ == end_ || *p_ != '>')
            return false;
    }
    ++p_;
    const MarcElement element = open_.back().element;
    open_.pop_back();
    gatherer_.end(element);
    return true;
}

}  // namespace

bool scan_piece(std::string_view bytes, const RootNamespaces& root, std::int64_t line,
                RecordGatherer& gatherer, std::int64_t& line_feeds)
{
    // A piece this small cannot reach a record's limit, so that where the
    // text is cut between calls (here and in libxml2) does not matter.
    if (bytes.size() > RecordGatherer::kBytesWithinLimit)
        return false;
    for (const auto& [prefix, uri] : root)
        if (uri.empty())
            return false;
    Scanner scanner(bytes, root, line, gatherer);
    if (!scanner.run())
        return false;
    line_feeds = scanner.line() - line;
    return true;
}

bool scan_piece_items(const RootNamespaces& root, std::int64_t line, MarcxmlCounts head_counts,
                      MarcxmlPiece& piece, std::deque<MarcxmlItem>& items, MarcxmlCounts& counts)
{
    std::deque<MarcxmlItem> scanned;
    head_counts.records += piece.records;   // its messages count the records before
    RecordGatherer gatherer(scanned, head_counts);
    if (!scan_piece(piece.bytes, root, line, gatherer, piece.line_feeds))
        return false;
    hand_over(scanned, head_counts, piece, items, counts);
    return true;
}

}  // namespace tav::detail
