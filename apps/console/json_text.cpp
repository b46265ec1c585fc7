#include "json_text.h"

#include "tav/batch.h"

void append_json_string(std::string& out, std::string_view text)
{
    static const char kHex[] = "0123456789abcdef";
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (std::size_t n = tav::utf8_sequence_length(text.substr(i))) {
            out.append(text.data() + i, n);
            i += n;
        } else {
            out += "\\udc";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            ++i;
        }
    }
}

void append_json_string_or_null(std::string& out, const std::string* text)
{
    if (text == nullptr) {
        out += "null";
        return;
    }
    out += '"';
    append_json_string(out, *text);
    out += '"';
}
