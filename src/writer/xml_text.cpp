#include "writer/xml_text.h"

#include <algorithm>

#include "tav/batch.h"

namespace tav::detail {

namespace {

constexpr size_t kFirstSize = 8192;   // most documents need one step beyond this

}  // namespace

char* put_escaped(char* p, std::string_view text, XmlContext context)
{
    const bool caller = context == XmlContext::CallerText;
    const bool attribute = context == XmlContext::Attribute;
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '&')
            p = put(p, "&amp;");
        else if (c == '<')
            p = put(p, "&lt;");
        else if (c == '>' && !attribute)
            p = put(p, "&gt;");
        else if (c == '"' && attribute)
            p = put(p, "&quot;");
        else if (c == '\r' && caller)
            p = put(p, "&#13;");
        else if (c == '\x7F' && caller)
            p = put(p, "&#127;");
        else if (!caller || u >= 0x20 || c == '\t' || c == '\n')
            *p++ = c;
    }
    return p;
}

void append_escaped(std::string& out, std::string_view text, XmlContext context)
{
    size_t length = out.size();
    out.resize(length + kEscapedRoomPerByte * text.size());
    out.resize(static_cast<size_t>(put_escaped(out.data() + length, text, context) - out.data()));
}

void XmlText::grow(size_t bytes)
{
    // Doubling keeps the zero-filling that resize() does linear in the text.
    out_.resize(std::max({length_ + bytes, out_.size() * 2, kFirstSize}));
}

// A descriptive element: a caller's text, escaped.
char* put_element(char* p, std::string_view open, std::string_view text, std::string_view close)
{
    p = put(p, open);
    p = put_escaped(p, text, XmlContext::CallerText);
    return put(p, close);
}

char* put_caller_attribute(char* p, std::string_view text)
{
    for (size_t at = 0; at < text.size();) {
        size_t quote = std::min(text.find('"', at), text.size());
        p = put_escaped(p, text.substr(at, quote - at), XmlContext::CallerText);
        if (quote < text.size())
            p = put(p, "&quot;");
        at = quote + 1;
    }
    return p;
}

char* put_decimal_slow(char* p, int64_t value)
{
    // Filled from the end, then copied. The magnitude is unsigned so that
    // the most negative value has one too.
    char digits[kDecimalRoom];
    char* first = digits + sizeof digits;
    uint64_t magnitude = value < 0 ? 0u - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        *--first = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);
    if (value < 0)
        *--first = '-';
    size_t count = static_cast<size_t>(digits + sizeof digits - first);
    std::memcpy(p, first, count);
    return p + count;
}

namespace {

// A UTF-8 sequence by its first byte: its length (0: no sequence starts
// so) and the range of its second byte, which keeps out overlong forms,
// surrogates and code points past U+10FFFF.
struct Utf8Lead {
    std::size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
};

Utf8Lead utf8_lead(unsigned char c)
{
    if (c < 0x80) return {1};
    if (c < 0xC2) return {0};
    if (c < 0xE0) return {2};
    if (c == 0xE0) return {3, 0xA0};
    if (c == 0xED) return {3, 0x80, 0x9F};
    if (c < 0xF0) return {3};
    if (c == 0xF0) return {4, 0x90};
    if (c < 0xF4) return {4};
    if (c == 0xF4) return {4, 0x80, 0x8F};
    return {0};
}

}  // namespace

}  // namespace tav::detail

namespace tav {

std::size_t utf8_sequence_length(std::string_view text)
{
    if (text.empty())
        return 0;
    const detail::Utf8Lead lead = detail::utf8_lead(static_cast<unsigned char>(text[0]));
    if (lead.length == 0 || lead.length > text.size())
        return 0;
    for (std::size_t k = 1; k < lead.length; ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        if (c < (k == 1 ? lead.low : 0x80) || c > (k == 1 ? lead.high : 0xBF))
            return 0;
    }
    return lead.length;
}

}  // namespace tav

namespace tav::detail {

Utf8Check check_utf8(std::string_view text)
{
    Utf8Check check;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8_sequence_length(text.substr(i));
        if (length == 0)
            return {false, check.past_ascii};
        check.past_ascii = check.past_ascii || length > 1;
        i += length;
    }
    return check;
}

std::string utf8_or_latin1(std::string_view text)
{
    if (check_utf8(text).valid)
        return std::string(text);
    std::string out;
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

}  // namespace tav::detail
