// Runs of records: what the programs are built on beside tav.h. Streams of
// record lines, the safe file writes and the run's log, and the console
// format of messages.
//
//     #include <tav/batch.h>
//
//     tav::Converter converter;
//     tav::convert_stream(stdin, converter, {}, [](tav::Result& r) {
//         tav::write_file(r, "out");     // out/ID-NUMBER.xml
//         tav::print_messages(r, stderr, nullptr);
//         return true;                   // on to the next line
//     });
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "tav/tav.h"

namespace tav {

// The result of the converter's last call, for the caller to change
// (write_file marks it Written).
Result& last_result(Converter& converter);

// Converts the line in `buffer`, which the converter may change, and which
// holds `size` readable bytes: the line, its line end if any, and zero bytes
// or further lines after it. A reader that holds its lines in one buffer
// converts them where they stand this way.
Result& convert_buffer(Converter& converter, char* buffer, std::int32_t size,
                       const Options& options);

// A line longer than max_line_length, which a reader did not keep, becomes
// the converter's result (status LineTooLong, the error "line too long"), as
// convert_stream reports it.
Result& line_too_long(Converter& converter);

// What the file writes of one run share. Handed to write_file, it lets a
// name written twice in the run be noticed: a file of that name modified
// between the run's start and now was written by this run (one dated
// later, in the future, was not), and write_file then adds the
// warning "output file NAME written twice in this run, the earlier file is
// replaced" (the file is still replaced). open_run_log() starts a run; a
// run never started notices nothing, and without a run each write stands
// alone.
struct WriteRun {
    // The file system's clock when the run began, in nanoseconds; the
    // default counts no file as this run's.
    std::int64_t start = INT64_MAX;
    // Whether the last name written was free, which tells write_file the
    // cheaper way to open the next (a run into an empty folder finds every
    // name free, a run over its own earlier output none).
    bool last_name_free = true;
};

// Writes a converted result's document to `directory` (the working
// directory when empty) under its file_name, in one go. The directory
// entry of that name is replaced, never the file a link there points to; a
// name held by anything but a regular file (a FIFO, a device, a directory)
// or a file that cannot be written is refused without waiting; a failed
// write leaves no file. The status becomes Written, or Failed with the
// program's error message appended. A result that is not converted is left
// as it is.
Status write_file(Result& result, std::string_view directory = {}, WriteRun* run = nullptr);

// Creates the file `path` afresh for writing as write_file replaces a name,
// and starts `run` at the file system's time of its creation: the program
// opens its log this way. Null, with the run not started, when the file
// cannot be created.
std::FILE* open_run_log(const std::string& path, WriteRun& run);

// Prints the result's messages as the program does: each on `err` with the
// note that the log has it, and on `log`. A null stream is skipped.
void print_messages(const Result& result, std::FILE* err, std::FILE* log);

// How a stream of records ended.
enum class StreamEnd {
    EndOfInput,
    Blank,      // the callback stopped at a blank line (the program's end of records)
    Stopped,    // the callback asked to stop at any other line
    ReadError,  // the input could not be read, or is null
};

// Reads `input` line by line, converts each line with `converter` and hands
// every result (a blank line's and an over-long line's included) to `each`,
// which may change it (write_file) and returns false to stop. Lines of any
// length are read; a line past max_line_length gives LineTooLong.
StreamEnd convert_stream(std::FILE* input, Converter& converter, const Options& options,
                         const std::function<bool(Result&)>& each);

}  // namespace tav
