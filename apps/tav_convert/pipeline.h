// The records of the run, converted by one or more converters and reported
// in input order.
//
// The main thread reads lines into a ring of batches; worker threads each
// take the next filled batch, convert its records with a converter of their
// own and write their files; the main thread reports finished batches in
// input order and reuses them. Memory is bounded by the ring and by two
// budgets, not by the input nor the jobs: one of lines in flight (a line
// too large for it is converted alone), one of records at work and
// documents waiting to be reported (a converter waits for it before its
// next batch, unless that batch is the oldest). A batch whose documents
// pass their share leaves its other records to be converted as it is
// reported. With one job
// there are no threads: each batch is converted and reported as soon as it
// is read.
//
// The run stops early when the output fails (the first failure says why)
// or a signal asks it to: the records finished by then are reported, the
// others are not written.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "command_line.h"
#include "database_output.h"
#include "file_output.h"
#include "out_stream.h"
#include "progress.h"
#include "record_reader.h"
#include "run_report.h"

class Pipeline {
public:
    // `files`: where documents go as files, or null. `documents`: the stream
    // documents go to, or null.
    Pipeline(const CommandLine& cl, FileOutput* files, OutStream* documents, RunReport& report,
             ProgressLine& progress);
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // Converts every line of `input`; false when it could not be read to
    // its end.
    bool convert(std::FILE* input, const std::string& name);
    // Every record reported also goes into `database`.
    void write_database(DatabaseOutput* database) { database_ = database; }
    // Waits for every record and reports it.
    void finish();
    // True once the run has to stop: the output failed or a signal came.
    bool stopped() const;
    // Why the output failed; empty when it did not.
    std::string stop_reason();
    // Why the last input could not be read to its end (empty: no reason
    // known, or it was read).
    const std::string& read_failure() const { return read_failure_; }

private:
    void end_workers();
    struct Slot {
        LineBatch lines;
        std::vector<Outcome> outcomes;
        std::string documents;   // the batch's documents one after the other
        std::size_t input = 0;
        std::int64_t first_seq = 0;
        std::size_t converted = 0;   // records converted by the worker
        std::size_t weight = 0;      // bytes of lines counted against their budget
        std::size_t waiting = 0;     // bytes of documents held until reported
        bool done = false;
    };

    // Converts the batches `fill` gives until it gives none.
    void run(const std::function<bool(LineBatch&)>& fill);
    void work();
    void convert_batch(tav::Converter& converter, Slot& slot, bool alone);
    void convert_one(tav::Converter& converter, Slot& slot, std::size_t k);
    CatalogueEntry* begin_outcome(Slot& slot, std::size_t k);
    tav::Result* convert_line(tav::Converter& converter, Slot& slot, std::size_t k,
                              CatalogueEntry* entry);
    void stop(const std::string& reason);
    Slot& free_slot();
    void emit_oldest(bool wait);
    void emit_ready(bool wait_for_all);
    void emit(Slot& slot);

    const CommandLine& cl_;
    FileOutput* files_;
    OutStream* documents_;
    RunReport& report_;
    DatabaseOutput* database_ = nullptr;
    ProgressLine& progress_;

    std::vector<std::string> inputs_;
    std::uint64_t bytes_before_ = 0;   // bytes of the inputs done
    std::string read_failure_;
    const RecordReader* reader_ = nullptr;
    const ItemBatchReader* items_ = nullptr;
    std::int64_t next_seq_ = 0;
    std::string header_;

    std::atomic<bool> stop_{false};
    std::string stop_reason_;   // under mutex_

    std::vector<Slot> slots_;
    std::uint64_t filled_ = 0;   // batches handed to the workers
    std::uint64_t taken_ = 0;    // batches taken by a worker
    std::uint64_t emitted_ = 0;  // batches reported; written under mutex_
    std::size_t in_flight_ = 0;  // the weights of the batches not reported
    std::size_t held_ = 0;       // bytes of records at work and documents waiting
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable work_ready_;
    std::condition_variable work_done_;
    std::condition_variable budget_freed_;
    std::vector<std::thread> workers_;
    tav::Converter converter_;   // the one converter when there are no threads
};
