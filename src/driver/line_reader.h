// Reads an input stream line by line, whole lines of any length, into one
// reusable buffer. After each line the buffer holds at least a few zero
// bytes, and every byte after the line reads as zero: only the bytes the
// previous line used are cleared, so the cost stays linear in the input.
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

    explicit LineReader(std::FILE* input);

    enum class Status { Line, TooLong, End, Error };

    // Reads the next line, its line feed included. The last line of the
    // input counts even without a line feed.
    Status next();

    char* data() { return buffer_.data(); }
    // Size of the buffer holding the line: at least the line plus padding.
    // The buffer of a line near kMaxLine can outgrow 32 bits; the parser
    // is then told only the part it can index.
    int32_t size() const
    {
        return buffer_.size() > size_t{INT32_MAX} ? INT32_MAX
                                                   : static_cast<int32_t>(buffer_.size());
    }
    size_t length() const { return used_; }

    // Reads ahead the first block: false when the input cannot be read.
    bool prime();

private:
    bool fill();
    void append(const char* bytes, size_t count);

    std::FILE* input_;
    std::vector<char> chunk_;
    size_t chunk_pos_ = 0;
    size_t chunk_len_ = 0;
    bool eof_ = false;
    bool error_ = false;
    std::vector<char> buffer_;
    size_t used_ = 0;       // bytes of the current line in buffer_
    size_t previous_ = 0;   // bytes the previous line used
    bool too_long_ = false;
};
