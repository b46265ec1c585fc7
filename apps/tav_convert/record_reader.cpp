#include "record_reader.h"

#include <cstring>

#include "tav/tav.h"

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 16;

}  // namespace

RecordReader::RecordReader(std::FILE* input) : input_(input), block_(kBlock) {}

bool RecordReader::refill()
{
    if (eof_ || error_)
        return false;
    pos_ = 0;
    len_ = std::fread(block_.data(), 1, block_.size(), input_);
    if (len_ == 0) {
        if (std::ferror(input_))
            error_ = true;
        else
            eof_ = true;
        return false;
    }
    consumed_ += len_;
    return true;
}

bool RecordReader::fill(LineBatch& batch, std::size_t max_lines, std::size_t max_bytes)
{
    if (batch.bytes.capacity() > 4 * max_bytes)
        std::string().swap(batch.bytes);  // after an unusually long line
    batch.clear();
    batch.first_line = next_line_;
    while (batch.lines.size() < max_lines && batch.bytes.size() < max_bytes) {
        if (pos_ == len_ && !refill())
            break;
        LineBatch::Line line;
        line.begin = batch.bytes.size();
        std::size_t length = 0;
        bool ended = false;
        while (!ended) {
            if (pos_ == len_ && !refill())
                break;
            const char* start = block_.data() + pos_;
            const void* lf = std::memchr(start, '\n', len_ - pos_);
            std::size_t take = lf != nullptr ? static_cast<const char*>(lf) - start + 1
                                             : len_ - pos_;
            ended = lf != nullptr;
            length += take;
            if (length - (ended ? 1 : 0) > tav::max_line_length)
                line.too_long = true;
            if (!line.too_long)
                batch.bytes.append(start, take);
            pos_ += take;
        }
        if (line.too_long)
            batch.bytes.resize(line.begin);
        line.end = batch.bytes.size();
        batch.lines.push_back(line);
        ++next_line_;
    }
    batch.bytes.append(kLinePadding, '\0');
    return !batch.lines.empty();
}
