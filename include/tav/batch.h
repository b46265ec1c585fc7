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

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "tav/input.h"
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
    // Files no write may replace (a run's inputs and report, say): called,
    // on systems that tell a file's identity, with the device and inode
    // numbers of the regular file a name already holds, before anything of
    // it changes. When it returns true the file is kept, and write_file
    // fails the record without a message of its own, for the caller to say
    // why. Null: any file may be replaced.
    bool (*keep)(void* context, std::uint64_t device, std::uint64_t inode) = nullptr;
    void* keep_context = nullptr;
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

// The length of the UTF-8 sequence `text` starts with (1 for an ASCII
// byte); 0 when it starts with none, or is empty. Overlong forms,
// surrogates and code points past U+10FFFF are none.
std::size_t utf8_sequence_length(std::string_view text);

// `text` with every control byte (below 32, and 127) written as \xHH, so
// that it cannot drive a terminal; other bytes as they are. The texts of
// messages are shown this way already.
std::string shown_text(std::string_view text);

// Prints the result's messages as the program does: each on `err` with the
// note that the log has it, and on `log`. A null stream is skipped.
void print_messages(const Result& result, std::FILE* err, std::FILE* log);

// The zero bytes that follow every line a reader hands to a converter: the
// converter may read that far past the line's end.
inline constexpr std::size_t line_padding = 8;

// What ends a line of records.
enum class LineEnds {
    // A line feed, a carriage return and line feed, or a lone carriage
    // return (files saved by spreadsheets on older Macs).
    Any,
    // A line feed only: a carriage return stays in the line, where the
    // converter stops reading the record (the 2005 program's rule).
    LineFeed,
};

// How a LineReader reads its stream: how it is read (gunzip, as_ready,
// before_wait, stop_fd: tav::InputReading) and where its lines end.
struct LineReading : InputReading {
    LineEnds ends = LineEnds::Any;
};

// Reads a stream of record lines, whole lines of any length, each with its
// line end. A line that lies wholly inside the block read is handed over in
// place, the next lines after it; any other (one across a block boundary,
// or a last line without a line end) is copied into a buffer of the
// reader's, after which every byte reads as zero. Either way at least
// line_padding readable bytes follow the line, and the converter, which
// stops at a line end or a zero byte, reads no further than the line.
class LineReader {
public:
    explicit LineReader(std::FILE* input, LineReading how = {});
    // Reads a stream (tav/input.h), read as it was made to read.
    explicit LineReader(std::unique_ptr<InputStream> input, LineEnds ends = LineEnds::Any);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    enum class Status {
        Line,
        TooLong,  // longer than max_line_length without its line end; its bytes dropped
        End,
        Error,    // the stream could not be read (or a read was interrupted)
    };
    // Reads the next line. The last line of the input counts without a
    // line end too.
    Status next();

    // The line, its line end included, then further bytes: `size` readable
    // in all (the part a converter can index, for a line near
    // max_line_length), the line's own `length`.
    char* data();
    std::int32_t size() const;
    std::size_t length() const;

    // Whether a whole line is read and not yet handed over, and whether a
    // read would not wait: a reader that gathers lines hands over those it
    // has before a read that waits.
    bool holds_line() const;
    bool input_ready() const;
    // The bytes read and not handed over, after reading the first block if
    // none was: a look at the start of the input.
    std::string_view peek();
    // Bytes read from the stream so far.
    std::uint64_t consumed() const;
    // Whether a read failed, and why (tav::InputStream::failure).
    bool failed() const;
    const std::string& failure() const;
    // Hands over the stream, the bytes read and not handed over put back
    // in it (after peek(): for a reader of another format); the reader
    // then reads nothing more.
    std::unique_ptr<InputStream> release_input();

private:
    struct State;
    std::unique_ptr<State> state_;
};

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
// length are read; a line past max_line_length gives LineTooLong. A line
// ends at a line feed, a carriage return and line feed, or a lone carriage
// return, unless `how.ends` asks for line feeds only; a gzip stream is read
// decompressed unless `how.gunzip` is false.
StreamEnd convert_stream(std::FILE* input, Converter& converter, const Options& options,
                         const std::function<bool(Result&)>& each, LineReading how = {});

}  // namespace tav
