#include "parser/report.h"

std::FILE* errlog = nullptr;

namespace {

// "\nLABEL,\n incipit: %d-%s, TEXT\n" on both streams; on standard error
// followed by the note that the log has it too.
void report(const Console& console, const char* label, int32_t incipit_id,
            const char* incipit_nb, const char* text)
{
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
