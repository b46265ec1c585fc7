// Reads an input stream line by line, whole lines of any length.
//
// Input is read in blocks. A line that lies wholly inside the current block,
// its line feed included, is handed over in place: data() points into the
// block, and the bytes after the line feed are the next lines of the input
// (the parser never reads past a line's terminator, see parser/line.h). Any
// other line (one that crosses a block boundary, or a last line without a
// line feed) is copied into one reusable buffer, after which every byte
// reads as zero: only the bytes the previous copied line used are cleared,
// so the cost stays linear in the input. Either way at least kPadding
// readable bytes follow the line within size().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

class LineReader {
public:
    // Lines longer than this are not handed to the parser (its positions
    // are 32-bit); next() reports them as too long.
    static constexpr size_t kMaxLine = size_t{1} << 30;
    static constexpr size_t kPadding = 8;

    explicit LineReader(std::FILE* input);

    enum class Status { Line, TooLong, End, Error };

    // Reads the next line, its line feed included. The last line of the
    // input counts even without a line feed.
    Status next();

    char* data() { return line_; }
    // Bytes readable from data(): at least the line plus padding. The
    // buffer of a line near kMaxLine can outgrow 32 bits; the parser is
    // then told only the part it can index.
    int32_t size() const
    {
        return size_ > size_t{INT32_MAX} ? INT32_MAX : static_cast<int32_t>(size_);
    }
    size_t length() const { return used_; }

private:
    bool fill();
    void append(const char* bytes, size_t count);
    Status copy_line();

    std::FILE* input_;
    std::vector<char> chunk_;   // one block, then kPadding zero bytes
    size_t chunk_pos_ = 0;
    size_t chunk_len_ = 0;
    bool eof_ = false;
    bool error_ = false;
    std::vector<char> buffer_;
    char* line_;            // the current line: in chunk_ or in buffer_
    size_t size_;           // bytes readable from line_
    size_t used_ = 0;       // bytes of the current line
    size_t previous_ = 0;   // bytes the previous copied line used in buffer_
    bool too_long_ = false;
};
