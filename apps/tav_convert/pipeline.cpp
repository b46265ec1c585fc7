#include "pipeline.h"

#include <algorithm>
#include <climits>
#include <new>
#include <utility>

#include "interrupts.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "tav/batch.h"
#include "tav/marcxml.h"

namespace {

constexpr std::size_t kBatchLines = 64;
constexpr std::size_t kBatchBytes = std::size_t{1} << 18;
// Batches in flight: two per job and two more, so that every converter has
// its next batch ready while finished ones wait to be reported.
constexpr std::size_t kSlotsPerJob = 2;
constexpr std::size_t kSpareSlots = 2;
// Bytes of lines in flight: no batch is read beyond them until the oldest
// is reported. A batch of this size or more is converted alone.
constexpr std::size_t kBudgetBytes = std::size_t{1} << 26;
constexpr std::size_t kAloneBytes = kBudgetBytes / 8;
// A batch's documents on their way to standard output: past this, the
// rest of the batch is converted as it is reported.
constexpr std::size_t kBatchDocumentBytes = std::size_t{1} << 20;
// A batch's lines or documents this large are let go once reported, and a
// record this large gives its storage back to the system.
constexpr std::size_t kMaxKeptBatchBytes = std::size_t{1} << 22;
// Bytes of records at work and of documents waiting to be reported: a
// converter takes its next batch only within them, unless its batch is the
// oldest not yet reported (so one record always goes on, and the others
// stay within the budget). A record at work counts as its line times
// kBytesPerLineByte: its score and its document together take up to about
// 360 bytes for each byte of music (a long run of plain notes).
constexpr std::size_t kWorkBudget = std::size_t{1} << 26;
constexpr std::size_t kBytesPerLineByte = 512;

// What converting the batch's largest record is counted as; past the
// budget, it is converted only as the oldest.
std::size_t work_estimate(const LineBatch& batch)
{
    std::size_t longest = 0;
    for (const LineBatch::Line& line : batch.lines)
        if (!line.too_long)
            longest = std::max(longest, line.end - line.begin);
    return std::min(longest, kWorkBudget / kBytesPerLineByte + 1) * kBytesPerLineByte;
}

// Gives the storage of a large record back to the system: the C library
// would keep it in the freeing thread's arena, one such arena per job.
void give_back()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// Blocks of 1 MiB and more are mapped apart and unmapped when freed, in
// every thread: otherwise the C library raises that bound after freeing a
// large block, and the storage of a large record stays in the arena of the
// job that converted it while the next job converts another. Ordinary
// records need no block that large.
void map_large_blocks()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

}  // namespace

Pipeline::Pipeline(const CommandLine& cl, FileOutput* files, OutStream* documents,
                   RunReport& report, ProgressLine& progress)
    : cl_(cl), files_(files), documents_(documents), report_(report), progress_(progress)
{
    map_large_blocks();
    slots_.resize(cl.jobs > 1 ? kSlotsPerJob * cl.jobs + kSpareSlots : 1);
    for (Slot& slot : slots_)
        slot.outcomes.resize(kBatchLines);
    if (cl.jobs > 1) {
        InterruptsBlocked blocked;   // the main thread alone takes the signals
        try {
            for (unsigned i = 0; i < cl.jobs; ++i)
                workers_.emplace_back([this] { work(); });
        } catch (...) {
            // No thread to be had: those started end before the error goes on.
            end_workers();
            throw;
        }
    }
}

Pipeline::~Pipeline()
{
    end_workers();
}

void Pipeline::end_workers()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    work_ready_.notify_all();
    budget_freed_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
    workers_.clear();
}

bool Pipeline::stopped() const
{
    return stop_.load(std::memory_order_relaxed) || interrupt_signal() != 0;
}

void Pipeline::stop(const std::string& reason)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stop_.load())
        stop_reason_ = reason;
    stop_.store(true);
}

std::string Pipeline::stop_reason()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stop_reason_;
}

void Pipeline::work()
{
    tav::Converter converter;
    for (;;) {
        Slot* slot;
        std::size_t estimate;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_ready_.wait(lock, [this] { return taken_ < filled_ || stopping_; });
            if (taken_ == filled_)
                return;
            std::uint64_t batch = taken_++;
            slot = &slots_[batch % slots_.size()];
            estimate = work_estimate(slot->lines);
            budget_freed_.wait(lock, [&] {
                return held_ + estimate <= kWorkBudget || batch == emitted_ || stopping_;
            });
            held_ += estimate;
        }
        convert_batch(converter, *slot, false);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            slot->waiting = slot->documents.size();
            held_ += slot->waiting;
            held_ -= estimate;
            slot->done = true;
        }
        work_done_.notify_one();
        budget_freed_.notify_all();
    }
}

// The outcome of line k made afresh, with where it comes from; for a
// MARCXML entry that is the reader's message, the whole outcome.
CatalogueEntry* Pipeline::begin_outcome(Slot& slot, std::size_t k)
{
    LineBatch& batch = slot.lines;
    Outcome& o = slot.outcomes[k];
    o.line = batch.first_line + static_cast<std::int64_t>(k);
    o.skipped = false;
    o.messages.clear();
    o.document_size = 0;
    o.identifier = 0;
    o.number.clear();
    o.file.clear();
    CatalogueEntry* entry = batch.entries.empty() ? nullptr : &batch.entries[k];
    o.control_number.clear();
    o.occurrence = 0;
    o.passed_over = false;
    o.catalogue = entry != nullptr && batch.catalogue;
    o.reader_message = false;
    if (entry == nullptr)
        return nullptr;
    o.line = batch.line_numbers[k];
    o.control_number = entry->control_number;
    o.occurrence = entry->occurrence;
    if (entry->is_message) {
        // The reader's message stands for a record or field it could not read.
        o.status = tav::Status::Failed;
        o.passed_over = entry->message.kind == tav::MessageKind::Warning;
        o.reader_message = true;
        o.messages.assign(1, entry->message);
    }
    return entry;
}

// Converts line k (or its entry), its document kept in the slot for
// standard output; null, with the outcome, when memory ran out for it.
tav::Result* Pipeline::convert_line(tav::Converter& converter, Slot& slot, std::size_t k,
                                    CatalogueEntry* entry)
{
    LineBatch& batch = slot.lines;
    Outcome& o = slot.outcomes[k];
    tav::Result* r;
    try {
        if (entry != nullptr) {
            // Its description is the converter's from here on.
            converter.convert(std::move(entry->record), cl_.options);
            r = &tav::last_result(converter);
        } else if (batch.lines[k].too_long) {
            r = &tav::line_too_long(converter);
        } else {
            // In place: the converter may change the line, which is read once.
            std::size_t readable = batch.readable(batch.lines[k]);
            r = &tav::convert_buffer(
                converter, batch.from(batch.lines[k]),
                static_cast<std::int32_t>(std::min<std::size_t>(readable, INT32_MAX)), cl_.options);
        }
        if (r->status == tav::Status::Converted && documents_ != nullptr && !cl_.dry_run &&
            !stopped()) {
            o.document_begin = slot.documents.size();
            o.document_size = r->document.size();
            if (slot.documents.empty() && r->document.size() > kBatchDocumentBytes)
                slot.documents.swap(r->document);   // not held twice
            else
                slot.documents += r->document;
        }
    } catch (const std::bad_alloc&) {
        // One record too large for the memory there is: its error, and the
        // converter starts afresh.
        converter = tav::Converter();
        o.status = tav::Status::TooLarge;
        o.messages.push_back(tav::make_message(tav::MessageCode::TooLarge));
        return nullptr;
    }
    return r;
}

void Pipeline::convert_one(tav::Converter& converter, Slot& slot, std::size_t k)
{
    CatalogueEntry* entry = begin_outcome(slot, k);
    if (entry != nullptr && entry->is_message)
        return;
    LineBatch& batch = slot.lines;
    Outcome& o = slot.outcomes[k];
    std::size_t size = entry != nullptr ? entry->record.music.size()
                                        : batch.lines[k].end - batch.lines[k].begin;
    o.incipit.reset();
    if (database_ != nullptr)   // read before the converter works on the line
        o.incipit = entry != nullptr ? incipit_fields(entry->record)
                                     : incipit_fields({batch.from(batch.lines[k]), size});
    tav::Result* r = convert_line(converter, slot, k, entry);
    if (r == nullptr)
        return;
    if (o.incipit != nullptr)
        complete_incipit(*o.incipit, *r, std::string_view(slot.documents).substr(
                                             o.document_begin, o.document_size));
    o.status = r->status;
    if (r->status == tav::Status::Blank)
        return;
    if (r->status == tav::Status::Converted && !cl_.dry_run) {
        if (stopped()) {
            o.skipped = true;
        } else if (files_ != nullptr) {
            std::string reason;
            if (!files_->write(*r, slot.first_seq + static_cast<std::int64_t>(k), reason))
                stop(reason);
        }
    }
    o.status = r->status;
    o.identifier = r->identifier;
    o.number = r->number;
    o.file = files_ != nullptr ? files_->relative_path(*r) : r->file_name;
    o.messages = r->messages;
    if (cl_.options.melody)
        o.melody = r->melody;
    if (entry != nullptr)
        tav::add_reader_warnings(entry->warnings, o.messages);
    if (size > kMaxKeptBatchBytes || std::max(r->document.size(), o.document_size) > kMaxKeptBatchBytes) {
        // Written or moved on: the converter keeps nothing of it.
        std::string().swap(r->document);
        give_back();
    }
}

void Pipeline::convert_batch(tav::Converter& converter, Slot& slot, bool alone)
{
    if (slot.documents.capacity() > kMaxKeptBatchBytes)
        std::string().swap(slot.documents);
    slot.documents.clear();
    std::size_t count = slot.lines.lines.size();
    for (std::size_t k = 0; k < count; ++k) {
        convert_one(converter, slot, k);
        if (!alone && slot.documents.size() >= kBatchDocumentBytes) {
            slot.converted = k + 1;
            return;
        }
    }
    slot.converted = count;
}

Pipeline::Slot& Pipeline::free_slot()
{
    if (workers_.empty())
        return slots_[0];
    while (emitted_ < filled_ &&
           (filled_ - emitted_ == slots_.size() || in_flight_ >= kBudgetBytes))
        emit_oldest(true);
    return slots_[filled_ % slots_.size()];
}

void Pipeline::emit_oldest(bool wait)
{
    Slot& oldest = slots_[emitted_ % slots_.size()];
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wait)
            work_done_.wait(lock, [&oldest] { return oldest.done; });
    }
    emit(oldest);
    in_flight_ -= oldest.weight;
    // A slot that held a long line or large documents lets them go now, not
    // when the ring comes round to it again, and before the budget they
    // held is given to another converter.
    if (oldest.lines.bytes.capacity() > kMaxKeptBatchBytes ||
        oldest.documents.capacity() > kMaxKeptBatchBytes) {
        std::string().swap(oldest.lines.bytes);
        std::string().swap(oldest.documents);
        give_back();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ -= std::exchange(oldest.waiting, 0);
        ++emitted_;
    }
    budget_freed_.notify_all();
}

void Pipeline::emit_ready(bool wait_for_all)
{
    while (emitted_ < filled_) {
        Slot& oldest = slots_[emitted_ % slots_.size()];
        if (!wait_for_all) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!oldest.done)
                return;
        }
        emit_oldest(wait_for_all);
    }
}

void Pipeline::emit(Slot& slot)
{
    const std::string& input = inputs_[slot.input];
    std::size_t count = slot.lines.lines.size();
    for (std::size_t k = 0; k < count; ++k) {
        if (k >= slot.converted) {
            // Left by the worker: converted now, its document written at once.
            slot.documents.clear();
            convert_one(converter_, slot, k);
        }
        Outcome& o = slot.outcomes[k];
        if (o.status == tav::Status::Blank) {
            report_.blank_line();
            continue;
        }
        if (documents_ != nullptr && o.status == tav::Status::Converted && !cl_.dry_run &&
            !o.skipped) {
            if (stopped()) {
                o.skipped = true;
            } else {
                header_ = std::to_string(o.document_size) + ' ' + o.file + '\n';
                documents_->add(header_);
                documents_->add_large(slot.documents.data() + o.document_begin, o.document_size);
                documents_->end_record();
                if (documents_->failed())
                    stop("cannot write standard output: " + documents_->reason());
                else
                    o.status = tav::Status::Written;
            }
        }
        // A reader's message that comes after a stop may be of the stop's
        // making (a peer that ended with the run): like the records after
        // the stop, it is not reported.
        if (o.reader_message && stopped())
            o.skipped = true;
        if (!o.skipped)
            report_.record(o, input);
        if (!o.skipped && database_ != nullptr)
            database_->add(o);
    }
    std::uint64_t bytes = bytes_before_ + (reader_ != nullptr ? reader_->consumed() : 0) +
                          (items_ != nullptr ? items_->consumed() : 0);
    progress_.update(report_.totals().records, bytes);
    if (files_ != nullptr)
        files_->forget_before(slot.first_seq + static_cast<std::int64_t>(count));
}

bool Pipeline::convert(std::FILE* input, const std::string& name)
{
    inputs_.push_back(name);
    std::function<void()> before_wait;
    if (cl_.to_stdout || cl_.report == "-") {
        // A peer may wait for what its records became before it writes more.
        before_wait = [this] {
            emit_ready(true);
            if (documents_ != nullptr)
                documents_->flush();
            report_.flush();
        };
    }
    RecordReader reader(input, std::move(before_wait));
    const tav::InputForm& form =
        cl_.from != nullptr ? *cl_.from : tav::recognise_input_form(reader.peek());
    if (form.open != nullptr) {
        // The input is parsed on as many threads as convert it.
        ItemBatchReader items(form, reader.release_input(), cl_.jobs);
        items_ = &items;
        run([&items](LineBatch& batch) { return items.fill(batch, kBatchLines, kBatchBytes); });
        bytes_before_ += items.consumed();
        items_ = nullptr;
        read_failure_ = items.failure();
        if (items.without_music() >= 0)
            report_.catalogue_read(items.without_music());
        if (items.out_of_memory()) {
            stop(read_failure_);
            return true;
        }
        return !items.failed() || interrupt_signal() != 0;
    }
    reader_ = &reader;
    run([&reader](LineBatch& batch) { return reader.fill(batch, kBatchLines, kBatchBytes); });
    bytes_before_ += reader.consumed();
    reader_ = nullptr;
    read_failure_ = reader.failure();
    return !reader.failed() || interrupt_signal() != 0;
}

void Pipeline::run(const std::function<bool(LineBatch&)>& fill)
{
    while (!stopped()) {
        Slot& slot = free_slot();
        if (!fill(slot.lines))
            break;
        slot.input = inputs_.size() - 1;
        slot.first_seq = next_seq_;
        next_seq_ += static_cast<std::int64_t>(slot.lines.lines.size());
        slot.done = false;
        if (workers_.empty()) {
            convert_batch(converter_, slot, false);
            emit(slot);
            continue;
        }
        slot.weight = slot.lines.weight();
        if (slot.weight >= kAloneBytes) {
            // Converted alone, and nothing more is read until it is reported.
            emit_ready(true);
            slot.weight = kBudgetBytes;
        }
        in_flight_ += slot.weight;
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
