// Warnings and errors about single records. Each is written twice with the
// same values: to standard error, ending with "...outputting to log file"
// and an empty line, and to the log file without those.
#pragma once

#include <cstdint>
#include <cstdio>

// The log file "tav_errors.log"; the driver opens and closes it.
extern std::FILE* errlog;

// Where one conversion sends its console texts. A null stream drops them.
struct Console {
    std::FILE* out;   // progress-side texts: trace, "poop", end of run
    std::FILE* err;   // warnings and errors, with the log-file note
    std::FILE* log;   // the same warnings and errors for the log file
};

// "\nWARNING,\n incipit: %d-%s, TEXT\n"
void report_warning(const Console& console, int32_t incipit_id, const char* incipit_nb,
                    const char* text);

// "\nERROR,\n incipit: %d-%s, REASON\n"
void report_record_error(const Console& console, int32_t incipit_id, const char* incipit_nb,
                         const char* reason);

// "\nERROR,\n incipit: %d-%s, char: %c, ascii: %d, i: %d\n"
void report_unrecognised_sign(const Console& console, int32_t incipit_id, const char* incipit_nb,
                              unsigned char sign, int32_t position);
