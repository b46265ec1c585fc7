// Reads an input stream in batches of whole lines, each line with its line
// feed, so that a converter sees the same bytes as when it reads the stream
// itself. A line longer than tav::max_line_length is not kept: it is marked
// too long and its bytes are dropped as they are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// Zero bytes after the last line of a batch: a converter may read that far.
inline constexpr std::size_t kLinePadding = 8;

struct LineBatch {
    struct Line {
        std::size_t begin = 0;
        std::size_t end = 0;     // past the line feed, if any
        bool too_long = false;
    };
    std::string bytes;           // the lines one after the other, then kLinePadding zeros
    std::vector<Line> lines;
    std::int64_t first_line = 1; // number of the first line in its input

    // The line and every byte after it: the converter's buffer.
    char* from(const Line& line) { return bytes.data() + line.begin; }
    std::size_t readable(const Line& line) const { return bytes.size() - line.begin; }
    void clear()
    {
        bytes.clear();
        lines.clear();
    }
};

class RecordReader {
public:
    explicit RecordReader(std::FILE* input);

    // Replaces the batch's lines with the next lines of the input: up to
    // `max_lines`, and no more once `max_bytes` are held. False when no line
    // was left.
    bool fill(LineBatch& batch, std::size_t max_lines, std::size_t max_bytes);

    bool failed() const { return error_; }
    // Bytes read so far.
    std::uint64_t consumed() const { return consumed_; }

private:
    bool refill();

    std::FILE* input_;
    std::vector<char> block_;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    bool eof_ = false;
    bool error_ = false;
    std::int64_t next_line_ = 1;
    std::uint64_t consumed_ = 0;
};
