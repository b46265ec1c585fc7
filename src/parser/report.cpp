#include "parser/report.h"

#include <cstdio>
#include <string>

#include "tav/batch.h"

namespace tav::detail {

namespace {

void add(const Console& console, tav::MessageKind kind, std::string_view text,
         int64_t position = -1, int byte = -1)
{
    if (console.messages != nullptr)
        console.messages->push_back(make_message(kind, text, position, byte));
}

}  // namespace

tav::Message make_message(tav::MessageKind kind, std::string_view text, int64_t position,
                          int byte)
{
    // The code is the shown text's.
    return tav::Message{kind, shown_text(text), position, byte};
}

void print_trace(const Console& console, std::string_view text)
{
    if (console.trace != nullptr && *console.trace)
        (*console.trace)(text);
}

// The identifier and number belong to the result the messages are handed
// back with; they are the same when each message arises.
void report_warning(const Console& console, int32_t, const char*, const char* text)
{
    add(console, tav::MessageKind::Warning, text);
}

void report_record_error(const Console& console, int32_t, const char*, const char* reason)
{
    add(console, tav::MessageKind::Error, reason);
}

void report_unrecognised_sign(const Console& console, int32_t, const char*, unsigned char sign,
                              int64_t position)
{
    // The sign is printed as a character and as its signed 8-bit value. Only
    // bytes 33 to 127 are ever unrecognised signs, so the text holds no zero
    // byte.
    char text[64];
    std::snprintf(text, sizeof text, "char: %c, ascii: %d, i: %lld", sign,
                  static_cast<signed char>(sign), static_cast<long long>(position));
    add(console, tav::MessageKind::Error, text, position, sign);
}

}  // namespace tav::detail

namespace tav {

std::string shown_text(std::string_view text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 32 && byte != 127) {
            out += c;
            continue;
        }
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
    }
    return out;
}

}  // namespace tav
