#include "record/line_reader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kChunk = size_t{1} << 16;

}  // namespace

LineReader::LineReader(std::FILE* input)
    : input_(input),
      chunk_(kChunk + kPadding, '\0'),
      buffer_(256, '\0'),
      line_(buffer_.data()),
      size_(buffer_.size())
{
}

bool LineReader::fill()
{
    if (eof_ || error_)
        return false;
    chunk_pos_ = 0;
    chunk_len_ = std::fread(chunk_.data(), 1, kChunk, input_);
    if (chunk_len_ == 0) {
        if (std::ferror(input_))
            error_ = true;
        else
            eof_ = true;
        return false;
    }
    return true;
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
    // A line wholly inside the block is handed over where it stands.
    if (chunk_pos_ < chunk_len_) {
        char* start = chunk_.data() + chunk_pos_;
        const void* feed = std::memchr(start, '\n', chunk_len_ - chunk_pos_);
        if (feed != nullptr) {
            used_ = static_cast<size_t>(static_cast<const char*>(feed) - start) + 1;
            chunk_pos_ += used_;
            line_ = start;
            size_ = used_ + kPadding;  // within chunk_, which ends in padding
            return Status::Line;
        }
    }
    return copy_line();
}

LineReader::Status LineReader::copy_line()
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
    line_ = buffer_.data();
    size_ = buffer_.size();

    if (error_)
        return Status::Error;
    if (too_long_)
        return Status::TooLong;
    if (used_ == 0)
        return Status::End;
    return Status::Line;
}
