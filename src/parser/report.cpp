#include "parser/report.h"

std::FILE* errlog = nullptr;

namespace {

constexpr const char* kLogNote = "...outputting to log file\n\n";

}  // namespace

void report_warning(const Console& console, int32_t incipit_id, const char* incipit_nb,
                    const char* text)
{
    if (console.err != nullptr)
        std::fprintf(console.err, "\nWARNING,\n incipit: %d-%s, %s\n%s", incipit_id, incipit_nb,
                     text, kLogNote);
    if (console.log != nullptr)
        std::fprintf(console.log, "\nWARNING,\n incipit: %d-%s, %s\n", incipit_id, incipit_nb,
                     text);
}

void report_record_error(const Console& console, int32_t incipit_id, const char* incipit_nb,
                         const char* reason)
{
    if (console.err != nullptr)
        std::fprintf(console.err, "\nERROR,\n incipit: %d-%s, %s\n%s", incipit_id, incipit_nb,
                     reason, kLogNote);
    if (console.log != nullptr)
        std::fprintf(console.log, "\nERROR,\n incipit: %d-%s, %s\n", incipit_id, incipit_nb,
                     reason);
}

void report_unrecognised_sign(const Console& console, int32_t incipit_id, const char* incipit_nb,
                              unsigned char sign, int32_t position)
{
    // The sign is printed as a character and as its signed 8-bit value.
    int value = static_cast<signed char>(sign);
    if (console.err != nullptr)
        std::fprintf(console.err, "\nERROR,\n incipit: %d-%s, char: %c, ascii: %d, i: %d\n%s",
                     incipit_id, incipit_nb, sign, value, position, kLogNote);
    if (console.log != nullptr)
        std::fprintf(console.log, "\nERROR,\n incipit: %d-%s, char: %c, ascii: %d, i: %d\n",
                     incipit_id, incipit_nb, sign, value, position);
}
