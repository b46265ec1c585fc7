#include "database_output.h"

#include <algorithm>

#include "document_codec.h"
#include "run_report.h"

std::shared_ptr<tav::db::Incipit> incipit_fields(const tav::Record& record)
{
    auto in = std::make_shared<tav::db::Incipit>();
    const tav::Description& d = record.description;
    in->composer = d.composer.str();
    in->work_title = d.work_title.str();
    in->movement_title = d.movement_title;
    in->siglum = d.source_or_empty().siglum;
    in->shelfmark = d.source_or_empty().shelfmark;
    in->clef = record.clef;
    in->key = record.key;
    in->key_or_mode = d.key_or_mode;
    in->time = record.time;
    in->music = record.music;
    return in;
}

std::shared_ptr<tav::db::Incipit> incipit_fields(std::string_view line)
{
    return incipit_fields(tav::read_record(line).record);
}

void complete_incipit(tav::db::Incipit& incipit, tav::Result& result, std::string_view document)
{
    incipit.document = result.document.empty() ? std::string(document) : result.document;
    incipit.file_name = result.file_name;
    incipit.melody = std::move(result.melody);
}

namespace {

// Records a batch holds, and the batches between the run and the database
// at most: past this the run waits, and the memory they hold stays bounded.
constexpr std::size_t kBatchRecords = 256;
constexpr std::size_t kMaxBatches = 16;

}  // namespace

DatabaseOutput::~DatabaseOutput() { stop(true); }

bool DatabaseOutput::open(const std::string& path, unsigned threads, std::string& error)
{
    path_ = path;
    if (!writer_.open(path, error))
        return false;
    if (const std::string* d = writer_.dictionary()) {
        dictionary_ = *d;
        has_dictionary_ = true;
    }
    threads_.emplace_back([this] { write_all(); });
    for (unsigned k = 0; k < std::max(1u, threads); ++k)
        threads_.emplace_back([this] { deflate_all(); });
    return true;
}

// Takes the oldest batch waiting, deflates its documents when there is a
// dictionary (else the writer does), and passes it on.
void DatabaseOutput::deflate_all()
{
    std::unique_ptr<tav::db::DocumentDeflater> deflater;
    std::string deflated;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !to_deflate_.empty() || ended_ || abandoned_; });
        if (abandoned_ || to_deflate_.empty())
            return;
        auto [seq, batch] = std::move(to_deflate_.front());
        to_deflate_.pop_front();
        if (deflater == nullptr && has_dictionary_)
            deflater = std::make_unique<tav::db::DocumentDeflater>(dictionary_);
        lock.unlock();
        for (tav::db::Incipit& in : batch) {
            if (deflater == nullptr || in.document.empty() || !deflater->deflate(in.document, deflated))
                continue;
            in.document.swap(deflated);
            in.deflated = true;
        }
        lock.lock();
        to_write_.emplace(seq, std::move(batch));
        changed_.notify_all();
    }
}

bool DatabaseOutput::write(const Batch& batch)
{
    std::string error;
    for (const tav::db::Incipit& in : batch)
        if (!writer_.add(in, error))
            break;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!has_dictionary_ && writer_.dictionary() != nullptr) {
        dictionary_ = *writer_.dictionary();
        has_dictionary_ = true;
    }
    if (!error.empty())
        failure_ = error;
    ++written_;
    changed_.notify_all();
    return error.empty();
}

// Writes the batches in the order they were submitted.
void DatabaseOutput::write_all()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] {
            return abandoned_ || to_write_.count(written_) != 0 || (ended_ && written_ == submitted_);
        });
        if (abandoned_ || to_write_.count(written_) == 0)
            return;
        auto node = to_write_.extract(written_);
        lock.unlock();
        bool ok = write(node.mapped());
        lock.lock();
        if (!ok)
            return;
    }
}

void DatabaseOutput::submit()
{
    if (filling_.empty())
        return;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] {
        return submitted_ - written_ < kMaxBatches || !failure_.empty() || abandoned_;
    });
    if (failure_.empty() && !abandoned_)
        to_deflate_.emplace_back(submitted_++, std::move(filling_));
    filling_.clear();
    changed_.notify_all();
}

void DatabaseOutput::stop(bool abandon)
{
    if (!abandon)
        submit();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        abandoned_ = abandoned_ || abandon;
    }
    changed_.notify_all();
    for (std::thread& t : threads_)
        if (t.joinable())
            t.join();
    threads_.clear();
}

void DatabaseOutput::add(const Outcome& o)
{
    if (o.reader_message || o.status == tav::Status::Blank)
        return;
    tav::db::Incipit in = o.incipit != nullptr ? std::move(*o.incipit) : tav::db::Incipit();
    in.identifier = std::to_string(o.identifier);
    in.number = o.number;
    in.control_number = o.control_number;
    in.occurrence = o.occurrence;
    bool converted = o.status == tav::Status::Converted || o.status == tav::Status::Written;
    in.status = converted ? "converted" : tav::status_name(o.status);
    in.messages.clear();
    for (const tav::Message& m : o.messages)
        in.messages += std::string(tav::kind_name(m.kind)) + ": " + m.text + '\n';
    // Moved on: the document and keys need not wait for the end of the run.
    if (o.incipit != nullptr)
        *o.incipit = tav::db::Incipit();
    filling_.push_back(std::move(in));
    if (filling_.size() >= kBatchRecords)
        submit();
}

bool DatabaseOutput::finish(bool keep, std::string& error)
{
    stop(!keep);
    if (!failure_.empty()) {
        error = failure_ + "; the database " + path_ + " is left as it was";
        return false;
    }
    if (!keep) {
        error = "the run did not end well: the database " + path_ + " is left as it was";
        return false;
    }
    return writer_.commit(error);
}
