#include "pipeline.h"

#include <algorithm>
#include <climits>

#include "tav/marcxml.h"

namespace {

constexpr std::size_t kBatchLines = 64;
constexpr std::size_t kBatchBytes = std::size_t{1} << 18;
// Batches in flight: two per job and two more, so that every converter has
// its next batch ready while finished ones wait to be reported.
constexpr std::size_t kSlotsPerJob = 2;
constexpr std::size_t kSpareSlots = 2;
// A batch's documents of an unusually large record are let go afterwards.
constexpr std::size_t kKeptDocumentBytes = std::size_t{1} << 22;

}  // namespace

Pipeline::Pipeline(const CommandLine& cl, FileOutput* files, std::FILE* documents,
                   RunReport& report, ProgressLine& progress)
    : cl_(cl), files_(files), documents_(documents), report_(report), progress_(progress)
{
    slots_.resize(cl.jobs > 1 ? kSlotsPerJob * cl.jobs + kSpareSlots : 1);
    for (Slot& slot : slots_)
        slot.outcomes.resize(kBatchLines);
    if (cl.jobs > 1)
        for (unsigned i = 0; i < cl.jobs; ++i)
            workers_.emplace_back([this] { work(); });
}

Pipeline::~Pipeline()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

void Pipeline::work()
{
    tav::Converter converter;
    for (;;) {
        Slot* slot;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_ready_.wait(lock, [this] { return taken_ < filled_ || stopping_; });
            if (taken_ == filled_)
                return;
            slot = &slots_[taken_++ % slots_.size()];
        }
        convert_batch(converter, *slot);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            slot->done = true;
        }
        work_done_.notify_one();
    }
}

void Pipeline::convert_batch(tav::Converter& converter, Slot& slot)
{
    LineBatch& batch = slot.lines;
    if (slot.documents.capacity() > kKeptDocumentBytes)
        std::string().swap(slot.documents);
    slot.documents.clear();
    for (std::size_t k = 0; k < batch.lines.size(); ++k) {
        Outcome& o = slot.outcomes[k];
        o.line = batch.first_line + static_cast<std::int64_t>(k);
        o.messages.clear();
        o.document_size = 0;
        const CatalogueEntry* entry = batch.entries.empty() ? nullptr : &batch.entries[k];
        o.control_number.clear();
        o.occurrence = 0;
        o.passed_over = false;
        o.catalogue = entry != nullptr;
        o.reader_message = false;
        if (entry != nullptr) {
            o.line = batch.line_numbers[k];
            o.control_number = entry->control_number;
            o.occurrence = entry->occurrence;
            if (entry->is_message) {
                // The reader's message stands for a record or field it could not read.
                o.status = tav::Status::Failed;
                o.passed_over = entry->message.kind == tav::MessageKind::Warning;
                o.reader_message = true;
                o.identifier = 0;
                o.number.clear();
                o.file.clear();
                o.messages.assign(1, entry->message);
                continue;
            }
        }
        if (batch.lines[k].too_long) {
            converter.line_too_long();
        } else {
            // In place: the converter may change the line, which is read once.
            std::size_t readable = batch.readable(batch.lines[k]);
            tav::Description description;
            if (entry != nullptr)
                description = entry->description();
            converter.convert_buffer(
                batch.from(batch.lines[k]),
                static_cast<std::int32_t>(std::min<std::size_t>(readable, INT32_MAX)), cl_.options,
                entry != nullptr ? &description : nullptr);
        }
        tav::Result& r = converter.result();
        o.status = r.status;
        if (r.status == tav::Status::Blank)
            continue;
        if (r.status == tav::Status::Converted && !cl_.dry_run) {
            if (documents_ != nullptr) {
                o.document_begin = slot.documents.size();
                o.document_size = r.document.size();
                slot.documents += r.document;
            } else {
                files_->write(r, slot.first_seq + static_cast<std::int64_t>(k));
            }
        }
        o.status = r.status;
        o.identifier = r.identifier;
        o.number = r.number;
        o.file = files_ != nullptr ? files_->relative_path(r) : r.file_name;
        o.messages = r.messages;
    }
}

Pipeline::Slot& Pipeline::free_slot()
{
    if (workers_.empty())
        return slots_[0];
    if (filled_ - emitted_ == slots_.size()) {
        Slot& oldest = slots_[emitted_ % slots_.size()];
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_done_.wait(lock, [&oldest] { return oldest.done; });
        }
        emit(oldest);
        ++emitted_;
    }
    return slots_[filled_ % slots_.size()];
}

void Pipeline::emit_ready(bool wait_for_all)
{
    while (emitted_ < filled_) {
        Slot& oldest = slots_[emitted_ % slots_.size()];
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (wait_for_all)
                work_done_.wait(lock, [&oldest] { return oldest.done; });
            else if (!oldest.done)
                return;
        }
        emit(oldest);
        ++emitted_;
    }
}

void Pipeline::emit(Slot& slot)
{
    const std::string& input = inputs_[slot.input];
    std::size_t count = slot.lines.lines.size();
    for (std::size_t k = 0; k < count; ++k) {
        Outcome& o = slot.outcomes[k];
        if (o.status == tav::Status::Blank) {
            report_.blank_line();
            continue;
        }
        if (documents_ != nullptr && o.status == tav::Status::Converted && !cl_.dry_run &&
            !stream_failed_) {
            header_ = std::to_string(o.document_size) + ' ' + o.file + '\n';
            const char* document = slot.documents.data() + o.document_begin;
            bool ok = std::fwrite(header_.data(), 1, header_.size(), documents_) ==
                          header_.size() &&
                      std::fwrite(document, 1, o.document_size, documents_) == o.document_size;
            if (ok)
                o.status = tav::Status::Written;
            else
                stream_failed_ = true;
        }
        report_.record(o, input);
    }
    std::uint64_t bytes = bytes_before_ + (reader_ != nullptr ? reader_->consumed() : 0) +
                          (marcxml_ != nullptr ? marcxml_->consumed() : 0);
    progress_.update(report_.totals().records, bytes);
    if (files_ != nullptr)
        files_->forget_before(slot.first_seq + static_cast<std::int64_t>(count));
}

bool Pipeline::convert(std::FILE* input, const std::string& name)
{
    inputs_.push_back(name);
    RecordReader reader(input);
    bool marcxml = cl_.from == InputFormat::Marcxml ||
                   (cl_.from == InputFormat::Auto && tav::looks_like_marcxml(reader.peek()));
    if (marcxml) {
        MarcxmlBatchReader marc(input, reader.peek());
        marcxml_ = &marc;
        run([&marc](LineBatch& batch) { return marc.fill(batch, kBatchLines, kBatchBytes); });
        bytes_before_ += marc.consumed();
        marcxml_ = nullptr;
        return !marc.failed() && !reader.failed();
    }
    reader_ = &reader;
    run([&reader](LineBatch& batch) { return reader.fill(batch, kBatchLines, kBatchBytes); });
    bytes_before_ += reader.consumed();
    reader_ = nullptr;
    return !reader.failed();
}

void Pipeline::run(const std::function<bool(LineBatch&)>& fill)
{
    while (!stream_failed_) {
        Slot& slot = free_slot();
        if (!fill(slot.lines))
            break;
        slot.input = inputs_.size() - 1;
        slot.first_seq = next_seq_;
        next_seq_ += static_cast<std::int64_t>(slot.lines.lines.size());
        slot.done = false;
        if (workers_.empty()) {
            convert_batch(converter_, slot);
            emit(slot);
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++filled_;
        }
        work_ready_.notify_one();
        emit_ready(false);
    }
    // The batches still in flight may hold this input's lines: they are
    // reported before the reader goes.
    emit_ready(true);
}

void Pipeline::finish()
{
    emit_ready(true);
}
