// Where the documents go as files: the output folder, its shard subfolders,
// and the order of writes to one name. Every document file is written by
// tav::write_file.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "files.h"
#include "tav/batch.h"
#include "tav/tav.h"

class FileOutput {
public:
    // `dir` empty: the working folder. `shared`: written from several
    // threads, so that writes to one name keep the input order.
    FileOutput(std::string dir, bool shard, bool shared);

    // Makes the output folder; false with `error` set when it cannot be
    // made or written to.
    bool prepare(std::string& error);

    // Refuses to write over the inputs and the report, should one of them
    // lie where a document would go.
    void protect(const FileIds& inputs, const std::optional<FileId>& report);

    // The document's path under the output folder: the file name, after
    // the shard subfolder and '/' with --shard.
    std::string relative_path(const tav::Result& result) const;

    // Writes a converted result to its file; `seq` is the record's place in
    // the input. Of two records with one name, the later one's file is left,
    // whatever order the threads come in. A file that cannot be made or
    // written is the record's error; false, with `stop` saying why, when
    // the output itself fails (disk full, no permission, an I/O error, a
    // protected file in the way) and the run must stop.
    bool write(tav::Result& result, std::int64_t seq, std::string& stop);

    // Forgets the names written by records before `seq`, all of which are
    // finished: no earlier record with the same name can come any more.
    void forget_before(std::int64_t seq);

private:
    bool make_shard(tav::Result& result, const std::string& shard, std::string& stop);
    bool write_named(tav::Result& result, const std::string& dir, const std::string& relative,
                     std::string& stop);
    // Waits until no other thread writes `name`; false when a later record
    // has written it already.
    bool claim(const std::string& name, std::int64_t seq);
    void release(const std::string& name);

    std::string dir_;
    std::string root_;   // dir_ with a trailing separator, or empty
    bool shard_;
    bool shared_;
    FileIds protected_;   // the inputs, then the report if it is a file
    bool report_kept_ = false;

    // One flag per shard subfolder made in this run (identifiers are
    // non-negative 32-bit numbers, so their thousands fit in a small table).
    std::unique_ptr<std::atomic<unsigned char>[]> shards_made_;

    struct Claim {
        std::int64_t seq;
        bool writing;
    };
    std::mutex mutex_;
    std::condition_variable done_;
    std::unordered_map<std::string, Claim> claims_;
    std::size_t forget_at_ = 1024;
};
