#include "parser/report.h"

#include <string>

#include "tav/batch.h"

namespace tav::detail {

tav::Message shown_message(tav::Message message)
{
    message.text = shown_text(message.text);
    return message;
}

tav::Message shown_message(tav::MessageCode code, std::initializer_list<std::string_view> values,
                           int64_t position, int byte)
{
    tav::Message m = shown_message(tav::make_message(code, values));
    m.position = position;
    m.byte = byte;
    return m;
}

void print_trace(const MessageSink& console, std::string_view text)
{
    if (console.trace != nullptr && *console.trace)
        (*console.trace)(text);
}

void report(const MessageSink& console, tav::MessageCode code,
            std::initializer_list<std::string_view> values)
{
    if (console.messages != nullptr)
        console.messages->push_back(shown_message(code, values));
}

void report_unrecognised_sign(const MessageSink& console, unsigned char sign, int64_t position)
{
    // The sign is shown as a character and as its signed 8-bit value. Only
    // bytes 33 to 127 are ever unrecognised signs, so the text holds no zero
    // byte.
    if (console.messages == nullptr)
        return;
    const char character[] = {static_cast<char>(sign), '\0'};
    console.messages->push_back(shown_message(
        tav::MessageCode::UnknownSign,
        {character, std::to_string(static_cast<signed char>(sign)), std::to_string(position)},
        position, sign));
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
