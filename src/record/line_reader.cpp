// Whole lines of a stream, read in blocks: see tav/batch.h.

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "tav/batch.h"
#include "tav/input.h"

namespace tav {

struct LineReader::State {
    State(std::FILE* in, LineReading h)
        : State(std::make_unique<InputStream>(in, static_cast<const InputReading&>(h)), h)
    {
    }
    State(std::unique_ptr<InputStream> in, LineReading h)
        : input(std::move(in)),
          how(std::move(h)),
          block(InputStream::kBlockBytes + line_padding, '\0'),
          buffer(256, '\0'),
          line(buffer.data()),
          size(buffer.size())
    {
    }

    // The last byte of the first line end among `count` bytes from `from`
    // (a carriage return followed by a line feed there ends with the feed),
    // or null.
    const char* line_end(const char* from, std::size_t count) const;
    bool fill();
    // A line's `count` more bytes, the last of them its line end if `ended`.
    void take(const char* bytes, std::size_t count, bool ended);
    Status copy_line();
    // A line feed that follows a carriage return which ended the last line
    // belongs to that line.
    void pass_feed_after_return();

    std::unique_ptr<InputStream> input;
    LineReading how;
    std::vector<char> block;  // one block, then line_padding zero bytes
    std::size_t pos = 0;
    std::size_t len = 0;
    bool eof = false;
    bool error = false;
    bool after_return = false;  // the last line ended at a carriage return alone
    std::vector<char> buffer;   // a copied line, then zero bytes
    char* line;                 // the current line: in block or in buffer
    std::size_t size;           // bytes readable from line
    std::size_t used = 0;       // bytes of the current line kept
    std::size_t total = 0;      // bytes of the current line read
    std::size_t previous = 0;   // bytes the previous copied line used in buffer
    bool too_long = false;
};

const char* LineReader::State::line_end(const char* from, std::size_t count) const
{
    const char* feed = static_cast<const char*>(std::memchr(from, '\n', count));
    if (how.ends == LineEnds::LineFeed)
        return feed;
    const char* ret = static_cast<const char*>(
        std::memchr(from, '\r', feed != nullptr ? static_cast<std::size_t>(feed - from) : count));
    if (ret == nullptr)
        return feed;
    return ret + 1 == feed ? feed : ret;
}

void LineReader::State::pass_feed_after_return()
{
    if (after_return && pos < len) {
        if (block[pos] == '\n')
            ++pos;
        after_return = false;
    }
}

bool LineReader::State::fill()
{
    if (eof || error || input == nullptr)
        return false;
    pos = 0;
    len = input->read(block.data(), InputStream::kBlockBytes);
    if (len == 0) {
        // A failed read (or an interrupted one) ends the input too.
        (input->failed() ? error : eof) = true;
        return false;
    }
    return true;
}

void LineReader::State::take(const char* bytes, std::size_t count, bool ended)
{
    total += count;
    if (total - (ended ? 1 : 0) > max_line_length)
        too_long = true;
    if (too_long)
        return;
    if (buffer.size() < used + count + line_padding)
        buffer.resize(std::max(buffer.size() * 2, used + count + line_padding), '\0');
    std::memcpy(buffer.data() + used, bytes, count);
    used += count;
}

LineReader::Status LineReader::State::copy_line()
{
    used = 0;
    total = 0;
    too_long = false;
    for (bool ended = false; !ended;) {
        if (pos == len && !fill())
            break;
        pass_feed_after_return();
        if (pos == len)
            continue;
        const char* start = block.data() + pos;
        const char* end = line_end(start, len - pos);
        std::size_t count = end != nullptr ? static_cast<std::size_t>(end - start) + 1 : len - pos;
        ended = end != nullptr;
        after_return = ended && *end == '\r';
        take(start, count, ended);
        pos += count;
    }
    // Zero what the previous line used beyond this one.
    if (previous > used)
        std::memset(buffer.data() + used, 0, previous - used);
    previous = used;
    line = buffer.data();
    size = buffer.size();

    if (error)
        return Status::Error;
    if (too_long)
        return Status::TooLong;
    return total == 0 ? Status::End : Status::Line;
}

LineReader::LineReader(std::FILE* input, LineReading how)
    : state_(std::make_unique<State>(input, std::move(how)))
{
}

LineReader::LineReader(std::unique_ptr<InputStream> input, LineEnds ends)
    : state_(std::make_unique<State>(std::move(input), [ends] {
          LineReading how;
          how.ends = ends;
          return how;
      }()))
{
}

LineReader::~LineReader() = default;

LineReader::Status LineReader::next()
{
    State& s = *state_;
    s.pass_feed_after_return();
    // A line wholly inside the block is handed over where it stands.
    if (s.pos < s.len) {
        char* start = s.block.data() + s.pos;
        if (const char* end = s.line_end(start, s.len - s.pos)) {
            s.after_return = *end == '\r';
            s.used = static_cast<std::size_t>(end - start) + 1;
            s.pos += s.used;
            s.line = start;
            s.size = s.used + line_padding;  // within the block, which ends in padding
            return Status::Line;
        }
    }
    return s.copy_line();
}

char* LineReader::data()
{
    return state_->line;
}

std::int32_t LineReader::size() const
{
    // A buffer near max_line_length can outgrow 32 bits; the converter is
    // then told only the part it can index.
    return static_cast<std::int32_t>(std::min<std::size_t>(state_->size, INT32_MAX));
}

std::size_t LineReader::length() const
{
    return state_->used;
}

bool LineReader::holds_line() const
{
    const State& s = *state_;
    std::size_t from = s.pos + (s.after_return && s.pos < s.len && s.block[s.pos] == '\n');
    return from < s.len && s.line_end(s.block.data() + from, s.len - from) != nullptr;
}

bool LineReader::input_ready() const
{
    return state_->input == nullptr || state_->input->ready();
}

std::unique_ptr<InputStream> LineReader::release_input()
{
    State& s = *state_;
    if (s.input != nullptr && s.pos < s.len)
        s.input->unread(std::string_view(s.block.data() + s.pos, s.len - s.pos));
    s.pos = s.len = 0;
    s.eof = true;
    return std::move(s.input);
}

const std::string& LineReader::failure() const
{
    static const std::string none;
    return state_->input != nullptr ? state_->input->failure() : none;
}

std::string_view LineReader::peek()
{
    State& s = *state_;
    if (s.pos == s.len)
        s.fill();
    return std::string_view(s.block.data() + s.pos, s.len - s.pos);
}

std::uint64_t LineReader::consumed() const
{
    return state_->input != nullptr ? state_->input->consumed() : 0;
}

bool LineReader::failed() const
{
    return state_->error;
}

}  // namespace tav
