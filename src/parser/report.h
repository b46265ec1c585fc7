// Warnings and errors about single records, collected as messages with the
// record's result, and the running console texts (the trace) of a record.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "tav/tav.h"

namespace tav::detail {

// Where one conversion sends what it has to say.
struct MessageSink {
    std::vector<tav::Message>* messages = nullptr;  // warnings and errors; none when null
    const std::function<void(std::string_view)>* trace = nullptr;  // texts as they happen
};

// The message of `code` with its text shown as above: every message of a
// result is made here.
tav::Message shown_message(tav::MessageCode code, std::initializer_list<std::string_view> values = {},
                           int64_t position = -1, int byte = -1);
// A message made elsewhere (a reader's), its text shown as above.
tav::Message shown_message(tav::Message message);

// Hands a text to the trace, if there is one.
void print_trace(const MessageSink& console, std::string_view text);

// A warning or an error of the conversion.
void report(const MessageSink& console, tav::MessageCode code,
            std::initializer_list<std::string_view> values = {});

// The error for a sign the converter cannot read, at `position`.
void report_unrecognised_sign(const MessageSink& console, unsigned char sign, int64_t position);

}  // namespace tav::detail
