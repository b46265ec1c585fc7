#include "record_reader.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#ifndef _WIN32
#include <poll.h>
#include <unistd.h>
#endif

#include "tav/marcxml.h"
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
#ifdef _WIN32
    len_ = std::fread(block_.data(), 1, block_.size(), input_);
    if (len_ == 0) {
        if (std::ferror(input_))
            error_ = true;
        else
            eof_ = true;
        return false;
    }
#else
    // What is there, without waiting to fill the block: a peer that writes
    // one record and waits for its document gets it.
    if (before_wait_) {
        pollfd ready{fileno(input_), POLLIN, 0};
        if (::poll(&ready, 1, 0) == 0)
            before_wait_();
    }
    ssize_t n = ::read(fileno(input_), block_.data(), block_.size());
    len_ = n > 0 ? static_cast<std::size_t>(n) : 0;
    if (n <= 0) {
        // An interrupted read ends the input too: the run stops.
        (n < 0 ? error_ : eof_) = true;
        return false;
    }
#endif
    consumed_ += len_;
    return true;
}

bool RecordReader::holds_line() const
{
    return pos_ < len_ && std::memchr(block_.data() + pos_, '\n', len_ - pos_) != nullptr;
}

bool RecordReader::input_ready() const
{
#ifdef _WIN32
    return true;
#else
    pollfd ready{fileno(input_), POLLIN, 0};
    return ::poll(&ready, 1, 0) != 0;
#endif
}

std::string_view RecordReader::peek()
{
    if (pos_ == len_)
        refill();
    return std::string_view(block_.data() + pos_, len_ - pos_);
}

bool RecordReader::fill(LineBatch& batch, std::size_t max_lines, std::size_t max_bytes)
{
    if (batch.bytes.capacity() > 4 * max_bytes)
        std::string().swap(batch.bytes);  // after an unusually long line
    batch.clear();
    batch.first_line = next_line_;
    while (batch.lines.size() < max_lines && batch.bytes.size() < max_bytes) {
        // Lines held are handed on before a read that may wait.
        if (before_wait_ && !batch.lines.empty() && !holds_line() && !input_ready())
            break;
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

// The XML is read on a thread of its own, a bounded queue of items ahead of
// the converters, so that parsing overlaps converting even with one job.
struct MarcxmlBatchReader::State {
    static constexpr std::size_t kQueued = 1024;

    State(std::FILE* input, std::string_view already_read) : reader(input, already_read)
    {
        thread = std::thread([this] { read(); });
    }
    ~State()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        room.notify_one();
        thread.join();
    }

    void read()
    {
        for (;;) {
            tav::MarcxmlItem item;
            bool more = reader.next(item);
            std::unique_lock<std::mutex> lock(mutex);
            consumed = reader.consumed();
            if (!more) {
                done = true;
                failed = reader.read_failed();
                ready.notify_one();
                return;
            }
            room.wait(lock, [this] { return queue.size() < kQueued || stop; });
            if (stop)
                return;
            queue.push_back(std::move(item));
            if (queue.size() == 1)
                ready.notify_one();
        }
    }

    // The next item; false at the end.
    bool next(tav::MarcxmlItem& item)
    {
        if (taken.empty()) {
            std::unique_lock<std::mutex> lock(mutex);
            ready.wait(lock, [this] { return !queue.empty() || done; });
            if (queue.empty())
                return false;
            taken.swap(queue);
            room.notify_one();
        }
        item = std::move(taken.front());
        taken.pop_front();
        return true;
    }

    tav::MarcxmlReader reader;
    std::deque<tav::MarcxmlItem> queue;   // filled by the thread
    std::deque<tav::MarcxmlItem> taken;   // the consumer's share
    std::mutex mutex;
    std::condition_variable ready, room;
    bool done = false, stop = false, failed = false;
    std::uint64_t consumed = 0;
    std::thread thread;
    tav::MarcxmlItem item;
};

MarcxmlBatchReader::MarcxmlBatchReader(std::FILE* input, std::string_view already_read)
    : state_(std::make_unique<State>(input, already_read))
{
}

MarcxmlBatchReader::~MarcxmlBatchReader() = default;

bool MarcxmlBatchReader::failed() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->failed;
}

std::uint64_t MarcxmlBatchReader::consumed() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->consumed;
}

bool MarcxmlBatchReader::fill(LineBatch& batch, std::size_t max_lines, std::size_t max_bytes)
{
    if (batch.bytes.capacity() > 4 * max_bytes)
        std::string().swap(batch.bytes);
    batch.clear();
    tav::MarcxmlItem& item = state_->item;
    while (batch.lines.size() < max_lines && batch.record_bytes < max_bytes &&
           state_->next(item)) {
        LineBatch::Line line;
        line.begin = line.end = batch.bytes.size();
        batch.entries.emplace_back();
        CatalogueEntry& e = batch.entries.back();
        e.control_number = std::move(item.control_number);
        e.occurrence = item.occurrence;
        if (item.kind != tav::MarcxmlItem::Kind::Incipit) {
            e.is_message = true;
            e.message.kind = item.kind == tav::MarcxmlItem::Kind::Warning
                                 ? tav::MessageKind::Warning
                                 : tav::MessageKind::Error;
            e.message.text = std::move(item.text);
            e.message.code = tav::message_code(e.message.text);
        } else {
            e.record = std::move(item.record);
            batch.record_bytes += e.record.music.size() + e.record.key.size();
        }
        batch.lines.push_back(line);
        batch.line_numbers.push_back(item.line);
    }
    batch.bytes.append(kLinePadding, '\0');
    return !batch.lines.empty();
}
