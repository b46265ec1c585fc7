// The document text as it is built: one element per line, indented with
// tab characters, every line ended by one line feed.
//
// Lines are written through a raw cursor. A writer asks for room for a
// whole element at once (a bound on its worst case), copies complete lines
// into it, and hands the cursor back. The string is kept larger than the
// text while it is written; finish() (or the destructor) cuts it to the
// text, or, for a DocumentBuffer, records the text's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tav::detail {

// A buffer that one document after another is written into. Its bytes keep
// their size between documents, so that a run allocates and clears it once
// instead of once per file; only the first `length` bytes are text.
struct DocumentBuffer {
    std::string bytes;
    size_t length = 0;
};

class XmlText {
public:
    // Appends to `out`.
    explicit XmlText(std::string& out) : out_(out), length_(out.size()) {}
    // Writes `buffer` from its start, replacing the document it held.
    explicit XmlText(DocumentBuffer& buffer)
        : out_(buffer.bytes), length_(0), buffer_length_(&buffer.length)
    {
    }
    ~XmlText() { finish(); }
    XmlText(const XmlText&) = delete;
    XmlText& operator=(const XmlText&) = delete;

    // The cursor, with room for at least `bytes` bytes after it.
    char* reserve(size_t bytes)
    {
        if (out_.size() - length_ < bytes)
            grow(bytes);
        return out_.data() + length_;
    }
    // Takes back the cursor after writing up to `end`.
    void commit(const char* end) { length_ = static_cast<size_t>(end - out_.data()); }

    // Cuts the string to the text written so far (a DocumentBuffer only
    // takes the length). Writing may go on.
    void finish()
    {
        if (buffer_length_ != nullptr)
            *buffer_length_ = length_;
        else
            out_.resize(length_);
    }

private:
    void grow(size_t bytes);

    std::string& out_;
    size_t length_;   // bytes of text; the string may be longer while writing
    size_t* buffer_length_ = nullptr;   // the DocumentBuffer's length, if any
};

// Cursor helpers: each writes at `p` and returns the position after it. The
// room must have been reserved.
template <size_t N>
inline char* put(char* p, const char (&text)[N])
{
    std::memcpy(p, text, N - 1);
    return p + (N - 1);
}

inline char* put(char* p, std::string_view text)
{
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

// At most 20 bytes.
char* put_decimal_slow(char* p, int64_t value);

inline char* put_decimal(char* p, int64_t value)
{
    if (value >= 0 && value < 10) {
        *p = static_cast<char>('0' + value);
        return p + 1;
    }
    if (value >= 10 && value < 100) {
        p[0] = static_cast<char>('0' + value / 10);
        p[1] = static_cast<char>('0' + value % 10);
        return p + 2;
    }
    return put_decimal_slow(p, value);
}

// Room a decimal of any 64-bit value takes.
constexpr size_t kDecimalRoom = 20;

// Where an escaped text stands in a document, which decides what is
// escaped in it.
enum class XmlContext {
    // Element text the converter has checked (the incipit number): '&', '<'
    // and '>' escaped, every other byte as it is.
    Text,
    // Element text of a caller's (a description): escaped as Text, and a
    // carriage return and DEL, which XML carries but would not keep as they
    // are, as character references; the other control bytes, which no XML
    // document can hold, are left out (the converter warns of them).
    CallerText,
    // An attribute value in double quotes: '&', '<' and '"' escaped.
    Attribute,
};

// The most bytes one byte of text takes once escaped ("&#127;").
inline constexpr size_t kEscapedRoomPerByte = 6;

// Writes `text` escaped for `context` at the cursor; room for
// kEscapedRoomPerByte bytes per byte of text must have been reserved.
char* put_escaped(char* p, std::string_view text, XmlContext context);
// Appends `text` escaped for `context`.
void append_escaped(std::string& out, std::string_view text, XmlContext context);

// `open`, the caller's `text` escaped (XmlContext::CallerText), then `close`.
char* put_element(char* p, std::string_view open, std::string_view text, std::string_view close);

// The caller's `text` as an attribute value in double quotes: escaped as
// CallerText, and its quotation marks too.
char* put_caller_attribute(char* p, std::string_view text);

// Whether `text` is UTF-8 throughout (no overlong forms, surrogates or code
// points past U+10FFFF), and whether it has a character past ASCII.
struct Utf8Check {
    bool valid = true;
    bool past_ascii = false;
};
Utf8Check check_utf8(std::string_view text);

// `text` as it is when it is UTF-8, else its Latin-1 reading in UTF-8 (an
// incipit number of a tab export in Latin-1, in a UTF-8 document).
std::string utf8_or_latin1(std::string_view text);

}  // namespace tav::detail
