#include "parser/report.h"

#include <string>

std::FILE* errlog = nullptr;

namespace {

bool is_control_byte(char c)
{
    unsigned char byte = static_cast<unsigned char>(c);
    return byte < 32 || byte == 127;
}

// The text with every control byte (below 32, and 127) written as \xHH, so
// that no message can drive a terminal; without such bytes, the text itself.
const char* shown(const char* text, std::string& room)
{
    const char* p = text;
    while (*p != '\0' && !is_control_byte(*p))
        ++p;
    if (*p == '\0')
        return text;
    room.assign(text, p);
    for (; *p != '\0'; ++p) {
        if (!is_control_byte(*p)) {
            room += *p;
            continue;
        }
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(*p));
        room += hex;
    }
    return room.c_str();
}

// "\nLABEL,\n incipit: %d-%s, TEXT\n" on both streams; on standard error
// followed by the note that the log has it too.
void report(const Console& console, const char* label, int32_t incipit_id,
            const char* incipit_nb, const char* text)
{
    std::string number_room, text_room;
    incipit_nb = shown(incipit_nb, number_room);
    text = shown(text, text_room);
    if (console.err != nullptr)
        std::fprintf(console.err, "\n%s,\n incipit: %d-%s, %s\n...outputting to log file\n\n",
                     label, incipit_id, incipit_nb, text);
    if (console.log != nullptr)
        std::fprintf(console.log, "\n%s,\n incipit: %d-%s, %s\n", label, incipit_id,
                     incipit_nb, text);
}

}  // namespace

void report_warning(const Console& console, int32_t incipit_id, const char* incipit_nb,
                    const char* text)
{
    report(console, "WARNING", incipit_id, incipit_nb, text);
}

void report_record_error(const Console& console, int32_t incipit_id, const char* incipit_nb,
                         const char* reason)
{
    report(console, "ERROR", incipit_id, incipit_nb, reason);
}

void report_unrecognised_sign(const Console& console, int32_t incipit_id, const char* incipit_nb,
                              unsigned char sign, int32_t position)
{
    // The sign is printed as a character and as its signed 8-bit value. Only
    // bytes 33 to 127 are ever unrecognised signs, so the text holds no zero
    // byte.
    char text[64];
    std::snprintf(text, sizeof text, "char: %c, ascii: %d, i: %d", sign,
                  static_cast<signed char>(sign), position);
    report(console, "ERROR", incipit_id, incipit_nb, text);
}
