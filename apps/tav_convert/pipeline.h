// The records of the run, converted by one or more converters and reported
// in input order.
//
// The main thread reads lines into a ring of batches; worker threads each
// take the next filled batch, convert its records with a converter of their
// own and write their files; the main thread reports finished batches in
// input order and reuses them. Memory is bounded by the ring, not by the
// input. With one job there are no threads: each batch is converted and
// reported as soon as it is read.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "command_line.h"
#include "file_output.h"
#include "progress.h"
#include "record_reader.h"
#include "run_report.h"

class Pipeline {
public:
    // `files`: where documents go as files, or null. `documents`: the stream
    // documents go to, or null.
    Pipeline(const CommandLine& cl, FileOutput* files, std::FILE* documents, RunReport& report,
             ProgressLine& progress);
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // Converts every line of `input`; false when it could not be read to
    // its end.
    bool convert(std::FILE* input, const std::string& name);
    // Waits for every record and reports it.
    void finish();
    // True once writing the document stream failed: the run stops.
    bool stream_failed() const { return stream_failed_; }

private:
    struct Slot {
        LineBatch lines;
        std::vector<Outcome> outcomes;
        std::string documents;   // the batch's documents one after the other
        std::size_t input = 0;
        std::int64_t first_seq = 0;
        bool done = false;
    };

    // Converts the batches `fill` gives until it gives none.
    void run(const std::function<bool(LineBatch&)>& fill);
    void work();
    void convert_batch(tav::Converter& converter, Slot& slot);
    Slot& free_slot();
    void emit_ready(bool wait_for_all);
    void emit(Slot& slot);

    const CommandLine& cl_;
    FileOutput* files_;
    std::FILE* documents_;
    RunReport& report_;
    ProgressLine& progress_;

    std::vector<std::string> inputs_;
    std::uint64_t bytes_before_ = 0;   // bytes of the inputs done
    const RecordReader* reader_ = nullptr;
    const MarcxmlBatchReader* marcxml_ = nullptr;
    std::int64_t next_seq_ = 0;
    bool stream_failed_ = false;
    std::string header_;

    std::vector<Slot> slots_;
    std::uint64_t filled_ = 0;   // batches handed to the workers
    std::uint64_t taken_ = 0;    // batches taken by a worker
    std::uint64_t emitted_ = 0;  // batches reported
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable work_ready_;
    std::condition_variable work_done_;
    std::vector<std::thread> workers_;
    tav::Converter converter_;   // the one converter when there are no threads
};
