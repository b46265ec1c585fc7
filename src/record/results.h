// Results the record layer makes without the parser.
#pragma once

#include "tav/tav.h"

namespace tav {

// A line past max_line_length: not read, one error.
inline void set_line_too_long(Result& result)
{
    result = Result{};
    result.status = Status::LineTooLong;
    result.messages.push_back(Message{MessageKind::Error, "line too long"});
}

}  // namespace tav
