#include "record_reader.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>

#include "interrupts.h"
#include "tav/marcxml.h"
#include "tav/readers.h"
#include "tav/tav.h"

namespace {

// The input's bytes as they come: a peer may wait for its documents.
tav::LineReading as_ready(std::function<void()> before_wait)
{
    tav::LineReading how;
    how.as_ready = true;
    how.before_wait = std::move(before_wait);
    how.stop_fd = interrupt_fd();
    return how;
}

}  // namespace

RecordReader::RecordReader(std::FILE* input, std::function<void()> before_wait)
    : lines_(input, as_ready(before_wait)), waits_(static_cast<bool>(before_wait))
{
}

bool RecordReader::fill(LineBatch& batch, std::size_t max_lines, std::size_t max_bytes)
{
    if (batch.bytes.capacity() > 4 * max_bytes)
        std::string().swap(batch.bytes);  // after an unusually long line
    batch.clear();
    batch.first_line = next_line_;
    while (batch.lines.size() < max_lines && batch.bytes.size() < max_bytes) {
        // Lines held are handed on before a read that may wait.
        if (waits_ && !batch.lines.empty() && !lines_.holds_line() && !lines_.input_ready())
            break;
        tav::LineReader::Status status = lines_.next();
        if (status == tav::LineReader::Status::End || status == tav::LineReader::Status::Error)
            break;
        LineBatch::Line line;
        line.begin = batch.bytes.size();
        line.too_long = status == tav::LineReader::Status::TooLong;
        if (!line.too_long)
            batch.bytes.append(lines_.data(), lines_.length());
        line.end = batch.bytes.size();
        batch.lines.push_back(line);
        ++next_line_;
    }
    batch.bytes.append(tav::line_padding, '\0');
    return !batch.lines.empty();
}

// The input is read on a thread of its own, a bounded queue of items ahead
// of the converters, so that parsing overlaps converting even with one job.
struct ItemBatchReader::State {
    static constexpr std::size_t kQueued = 1024;
    static constexpr std::size_t kGroup = 64;

    State(const tav::InputForm& form, std::unique_ptr<tav::InputStream> input, unsigned threads)
        : reader(form.open(std::move(input))), catalogue(reader->catalogue()), name(form.name)
    {
        reader->read_on(threads);
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

    // Items cross to the converters in groups, one lock and one wake-up a
    // group, and each group whole: its items are not moved again on the
    // way. A reader that gives many items at a time (MARCXML: a piece's)
    // gives a group with each take; one that gives an item at a time is
    // gathered to kGroup. A group may wait while the reader waits for its
    // next block of input; the reader fills whole blocks anyway, so such an
    // input is never read as it trickles in (a peer that waits for its
    // documents before it sends more is served by the tab route only).
    void read()
    {
        try {
            read_all();
        } catch (const std::exception& e) {
            // Out of memory (a record far too large for what there is):
            // the run stops with this reason rather than on a lost thread.
            std::lock_guard<std::mutex> lock(mutex);
            failure = dynamic_cast<const std::bad_alloc*>(&e) != nullptr
                          ? "out of memory reading the " + name + " input"
                          : "cannot read the " + name + " input: " + e.what();
            done = failed = out_of_memory = true;
            ready.notify_one();
        }
    }

    void read_all()
    {
        std::deque<tav::MarcxmlItem> group;
        for (;;) {
            const std::size_t before = group.size();
            bool more = reader->take(group);
            if (more && group.size() < kGroup && group.size() - before <= 1)
                continue;
            std::unique_lock<std::mutex> lock(mutex);
            consumed = reader->consumed();
            room.wait(lock, [this] { return queued < kQueued || stop; });
            if (stop)
                return;
            bool was_empty = queue.empty();
            if (!group.empty()) {
                queued += group.size();
                queue.push_back(std::move(group));
                group = {};
            }
            if (!more) {
                done = true;
                failed = reader->read_failed();
                failure = reader->failure();
                without_music = reader->without_music();
            }
            if (was_empty || done)
                ready.notify_one();
            if (done)
                return;
        }
    }

    // The next item, left in the queue until pop(); null at the end. The
    // consumer takes every group queued at once.
    tav::MarcxmlItem* front()
    {
        if (taken.empty()) {
            std::unique_lock<std::mutex> lock(mutex);
            ready.wait(lock, [this] { return !queue.empty() || done; });
            if (queue.empty())
                return nullptr;
            taken.swap(queue);
            queued = 0;
            room.notify_one();
        }
        return &taken.front().front();
    }
    void pop()
    {
        taken.front().pop_front();
        if (taken.front().empty())
            taken.pop_front();
    }

    std::unique_ptr<tav::RecordSource> reader;
    const bool catalogue;
    const std::string name;   // the form's, for messages
    using Group = std::deque<tav::MarcxmlItem>;   // never empty once queued
    std::deque<Group> queue;                      // filled by the thread
    std::size_t queued = 0;                       // the items it holds
    std::deque<Group> taken;                      // the consumer's share
    std::mutex mutex;
    std::condition_variable ready, room;
    bool done = false, stop = false, failed = false, out_of_memory = false;
    std::string failure;   // why reading stopped before the end, if it did
    std::int64_t without_music = -1;
    std::uint64_t consumed = 0;
    std::thread thread;
};

ItemBatchReader::ItemBatchReader(const tav::InputForm& form,
                                 std::unique_ptr<tav::InputStream> input, unsigned threads)
    : state_(std::make_unique<State>(
          // Nothing is written out from the reading thread: it fills whole
          // blocks rather than wait for what is done to be handed on.
          form, (input->set_before_wait({}), std::move(input)), threads))
{
}

ItemBatchReader::~ItemBatchReader() = default;

bool ItemBatchReader::failed() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->failed;
}

std::int64_t ItemBatchReader::without_music() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->without_music;
}

bool ItemBatchReader::out_of_memory() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->out_of_memory;
}

std::string ItemBatchReader::failure() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->failure;
}

std::uint64_t ItemBatchReader::consumed() const
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->consumed;
}

bool ItemBatchReader::fill(LineBatch& batch, std::size_t max_lines, std::size_t max_bytes)
{
    if (batch.bytes.capacity() > 4 * max_bytes)
        std::string().swap(batch.bytes);
    batch.clear();
    batch.catalogue = state_->catalogue;
    tav::MarcxmlItem* next = nullptr;
    while (batch.lines.size() < max_lines && batch.record_bytes < max_bytes &&
           (next = state_->front()) != nullptr) {
        tav::MarcxmlItem& item = *next;
        LineBatch::Line line;
        line.begin = line.end = batch.bytes.size();
        batch.entries.emplace_back();
        CatalogueEntry& e = batch.entries.back();
        e.control_number = std::move(item.control_number);
        e.occurrence = item.occurrence;
        if (item.kind != tav::MarcxmlItem::Kind::Incipit) {
            e.is_message = true;
            e.message = std::move(item.message);
        } else {
            e.record = std::move(item.record);
            e.warnings = std::move(item.warnings);
            batch.record_bytes += e.record.music.size() + e.record.key.size();
        }
        batch.lines.push_back(line);
        batch.line_numbers.push_back(item.line);
        state_->pop();
    }
    batch.bytes.append(tav::line_padding, '\0');
    return !batch.lines.empty();
}
