// --database: every record of the run, with its document and melodic keys,
// into one catalogue database, kept only when the run ends well.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "catalogue.h"
#include "tav/tav.h"

struct Outcome;

// What the database holds of a record beside its outcome: its fields as
// read, before the converter works on its line.
std::shared_ptr<tav::db::Incipit> incipit_fields(const tav::Record& record);
// The same from a record line.
std::shared_ptr<tav::db::Incipit> incipit_fields(std::string_view line);
// Adds what the conversion gave: the document (or `document`, when the
// result's was moved on) and the melody.
void complete_incipit(tav::db::Incipit& incipit, tav::Result& result, std::string_view document);

// Records go through in batches: the run adds them, `threads` threads
// deflate their documents (once the database has its dictionary), and one
// thread writes them into the database, in the order they were added.
class DatabaseOutput {
public:
    DatabaseOutput() = default;
    ~DatabaseOutput();
    DatabaseOutput(const DatabaseOutput&) = delete;
    DatabaseOutput& operator=(const DatabaseOutput&) = delete;

    bool open(const std::string& path, unsigned threads, std::string& error);
    // Adds one reported record; a failure is kept for finish() to give.
    void add(const Outcome& outcome);
    // Keeps what was added when `keep`; else (or when a record could not
    // be added) leaves the file as it was. False, with `error`, then.
    bool finish(bool keep, std::string& error);

private:
    using Batch = std::vector<tav::db::Incipit>;
    void submit();
    void deflate_all();
    void write_all();
    bool write(const Batch& batch);
    void stop(bool abandon);

    tav::db::CatalogueWriter writer_;
    std::string path_;
    Batch filling_;   // added, not yet submitted (the run's thread only)
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::uint64_t, Batch>> to_deflate_;
    std::map<std::uint64_t, Batch> to_write_;
    std::uint64_t submitted_ = 0;   // batches submitted
    std::uint64_t written_ = 0;     // batches written
    std::string dictionary_;        // the writer's, once it has one
    bool has_dictionary_ = false;
    bool ended_ = false;            // no more will be added
    bool abandoned_ = false;        // what is queued is not written
    std::string failure_;           // the first write that failed
    std::vector<std::thread> threads_;
};
