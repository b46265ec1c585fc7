// A stream of records: read line by line, each converted and handed on.

#include "tav/batch.h"

#include <utility>

namespace tav {

StreamEnd convert_stream(std::FILE* input, Converter& converter, const Options& options,
                         const std::function<bool(Result&)>& each, LineReading how)
{
    if (input == nullptr)
        return StreamEnd::ReadError;
    LineReader reader(input, std::move(how));
    for (;;) {
        Result* result = nullptr;
        switch (reader.next()) {
        case LineReader::Status::End: return StreamEnd::EndOfInput;
        case LineReader::Status::Error: return StreamEnd::ReadError;
        case LineReader::Status::TooLong:
            result = &line_too_long(converter);
            break;
        case LineReader::Status::Line:
            result = &convert_buffer(converter, reader.data(), reader.size(), options);
            break;
        }
        if (!each(*result))
            return result->status == Status::Blank ? StreamEnd::Blank : StreamEnd::Stopped;
    }
}

}  // namespace tav
