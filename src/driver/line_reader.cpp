#include "driver/line_reader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kChunk = size_t{1} << 16;
constexpr size_t kPadding = 8;  // zero bytes always present after a line

}  // namespace

LineReader::LineReader(std::FILE* input) : input_(input), chunk_(kChunk), buffer_(256, '\0') {}

bool LineReader::fill()
{
    if (eof_ || error_)
        return false;
    chunk_pos_ = 0;
    chunk_len_ = std::fread(chunk_.data(), 1, chunk_.size(), input_);
    if (chunk_len_ == 0) {
        if (std::ferror(input_))
            error_ = true;
        else
            eof_ = true;
        return false;
    }
    return true;
}

bool LineReader::prime()
{
    if (chunk_pos_ < chunk_len_)
        return true;
    fill();
    return !error_;
}

void LineReader::append(const char* bytes, size_t count)
{
    if (too_long_ || used_ + count > kMaxLine) {
        too_long_ = true;
        return;
    }
    if (buffer_.size() < used_ + count + kPadding)
        buffer_.resize(std::max(buffer_.size() * 2, used_ + count + kPadding), '\0');
    std::memcpy(buffer_.data() + used_, bytes, count);
    used_ += count;
}

LineReader::Status LineReader::next()
{
    used_ = 0;
    too_long_ = false;
    for (;;) {
        if (chunk_pos_ == chunk_len_ && !fill())
            break;
        const char* start = chunk_.data() + chunk_pos_;
        size_t available = chunk_len_ - chunk_pos_;
        const void* feed = std::memchr(start, '\n', available);
        size_t count = feed != nullptr ? static_cast<size_t>(static_cast<const char*>(feed) - start) + 1
                                       : available;
        append(start, count);
        chunk_pos_ += count;
        if (feed != nullptr)
            break;
    }
    // Zero what the previous line used beyond this one.
    if (previous_ > used_)
        std::memset(buffer_.data() + used_, 0, previous_ - used_);
    previous_ = used_;

    if (error_)
        return Status::Error;
    if (too_long_)
        return Status::TooLong;
    if (used_ == 0)
        return Status::End;
    return Status::Line;
}
