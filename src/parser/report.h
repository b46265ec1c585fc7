// Warnings and errors about single records, collected as messages with the
// record's result, and the running console texts (the trace) of a record.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tav/tav.h"

namespace tav::detail {

// Where one conversion sends what it has to say.
struct Console {
    std::vector<tav::Message>* messages = nullptr;  // warnings and errors; none when null
    const std::function<void(std::string_view)>* trace = nullptr;  // texts as they happen
};

// A message with its text shown as above: every message of a result is
// made here.
tav::Message make_message(tav::MessageKind kind, std::string_view text, int64_t position = -1,
                          int byte = -1);

// Hands a text to the trace, if there is one.
void print_trace(const Console& console, std::string_view text);

// A warning with its text.
void report_warning(const Console& console, int32_t incipit_id, const char* incipit_nb,
                    const char* text);

// An error with its reason.
void report_record_error(const Console& console, int32_t incipit_id, const char* incipit_nb,
                         const char* reason);

// The error "char: %c, ascii: %d, i: %d" for a sign the converter cannot read.
void report_unrecognised_sign(const Console& console, int32_t incipit_id, const char* incipit_nb,
                              unsigned char sign, int64_t position);

}  // namespace tav::detail
