// MARCXML read on several threads (see record/marcxml_parallel.h).

#include "record/marcxml_parallel.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace tav::detail {

namespace {

constexpr std::size_t kPiecesPerThread = 2;
// Parsers at most, whatever is asked: the pieces in flight (about 128 KiB
// each, two a parser) stay within a few MB.
constexpr unsigned kMostThreads = 8;

void add(MarcxmlCounts& to, const MarcxmlCounts& piece)
{
    to.records += piece.records;
    to.incipits += piece.incipits;
    to.without_music += piece.without_music;
    to.other_system += piece.other_system;
    to.without_control_number += piece.without_control_number;
    to.errors += piece.errors;
    to.bytes_searched += piece.bytes_searched;
    ++to.pieces;
}

}  // namespace

void hand_over(std::deque<MarcxmlItem>& read_items, const MarcxmlCounts& read,
               const MarcxmlPiece& piece, std::deque<MarcxmlItem>& items, MarcxmlCounts& counts)
{
    items.swap(read_items);
    counts = read;
    counts.records -= piece.records;
}

ParallelRead::ParallelRead(XmlInput& input, unsigned threads, PieceParse parse)
    : splitter_(input), parse_(parse), ahead_(kPiecesPerThread * std::min(threads, kMostThreads))
{
    try {
        for (unsigned i = 0; i < std::min(threads, kMostThreads); ++i)
            threads_.emplace_back([this] { work(); });
    } catch (...) {
        end_threads();
        throw;
    }
}

ParallelRead::~ParallelRead()
{
    end_threads();
}

void ParallelRead::end_threads()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
    threads_.clear();
}

void ParallelRead::work()
{
    PieceHead known;
    for (;;) {
        Job* job = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_ready_.wait(lock, [&] {
                for (const std::unique_ptr<Job>& j : jobs_)
                    if (!j->taken) {
                        job = j.get();
                        break;
                    }
                return stop_ || job != nullptr;
            });
            if (stop_)
                return;
            job->taken = true;
        }
        bool ok = false;
        try {
            // Read as if no line came between the head and the piece.
            MarcxmlPiece& piece = job->piece;
            piece.lines = splitter_.head_lines();
            ok = parse_(splitter_.head(), known, piece, job->items, job->counts);
        } catch (...) {
            ok = false;   // the streaming parser reads it, and meets the fault itself
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job->ok = ok;
            job->done = true;
        }
        work_done_.notify_one();
    }
}

bool ParallelRead::next(std::deque<MarcxmlItem>& ready, MarcxmlCounts& counts)
{
    if (refused_ != nullptr)
        return false;
    while (!split_done_ && jobs_.size() < ahead_) {
        auto job = std::make_unique<Job>();
        if (!splitter_.next(job->piece)) {
            split_done_ = true;
            break;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        work_ready_.notify_one();
    }
    std::unique_ptr<Job> job;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (jobs_.empty())
            return false;
        work_done_.wait(lock, [&] { return jobs_.front()->done; });
        job = std::move(jobs_.front());
        jobs_.pop_front();
    }
    if (!hand_on(*job, ready, counts)) {
        refused_ = std::move(job);
        return false;
    }
    return true;
}

bool ParallelRead::hand_on(Job& job, std::deque<MarcxmlItem>& ready, MarcxmlCounts& counts)
{
    MarcxmlPiece& piece = job.piece;
    const std::int64_t shift = lines_;
    piece.lines = splitter_.head_lines() + lines_;
    piece.records = records_;
    if (job.ok && job.counts.errors > 0) {
        job.items.clear();
        job.counts = MarcxmlCounts{};
        job.ok = parse_(splitter_.head(), known_, piece, job.items, job.counts);
    } else {
        for (MarcxmlItem& item : job.items)
            item.line += shift;
    }
    if (!job.ok)
        return false;
    if (!used_)
        splitter_.forget_reads();
    used_ = true;
    if (ready.empty())
        ready.swap(job.items);
    else
        std::move(job.items.begin(), job.items.end(), std::back_inserter(ready));
    add(counts, job.counts);
    lines_ += piece.line_feeds;
    records_ += job.counts.records;
    return true;
}

ParallelRead::Rest ParallelRead::rest()
{
    end_threads();
    Rest rest;
    rest.offset = splitter_.rest_offset();
    rest.lines = splitter_.head_lines() + lines_;
    if (refused_ != nullptr) {
        rest.offset = refused_->piece.offset;
        rest.bytes = std::move(refused_->piece.bytes);
        for (const std::unique_ptr<Job>& job : jobs_)
            rest.bytes += job->piece.bytes;
        jobs_.clear();
    }
    rest.bytes += splitter_.take_rest();
    if (!rest.bytes.empty())
        rest.reads = {{rest.bytes.size(), splitter_.last_read_more()}};
    if (!used_) {
        // Nothing was handed on: the streaming parser reads from the start,
        // read by read as it would have.
        rest.reads = splitter_.take_reads();
        rest.bytes.insert(0, splitter_.head());
        rest.offset = 0;
        rest.lines = 0;
    } else {
        rest.head = splitter_.head();
    }
    return rest;
}

}  // namespace tav::detail
