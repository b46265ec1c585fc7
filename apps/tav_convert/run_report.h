// What the run tells about its records: the JSON Lines report, the message
// lines on standard error, and the counts for the summary.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tav/tav.h"

// One record's outcome, kept until it is reported in input order.
struct Outcome {
    tav::Status status = tav::Status::Failed;
    std::int64_t line = 0;
    std::int32_t identifier = 0;
    std::string number;
    std::string file;   // relative to the output folder; empty: no name
    std::vector<tav::Message> messages;
    // From MARCXML: the record's 001 and which of its 031 fields (0: the
    // record as a whole); `line` is then the line of the XML. A reader's
    // message stands for what it could not read: it has no incipit.
    bool catalogue = false;
    bool reader_message = false;
    std::string control_number;
    int occurrence = 0;
    // A field the reader passed over with a warning: no record.
    bool passed_over = false;
    // Where the document lies in its batch's documents, when documents go
    // to standard output.
    std::size_t document_begin = 0;
    std::size_t document_size = 0;
};

struct Totals {
    std::int64_t records = 0;   // lines read, blank lines aside
    std::int64_t written = 0;   // documents written to files or the stream
    std::int64_t checked = 0;   // records read without an error (--dry-run)
    std::int64_t failed = 0;
    std::int64_t warnings = 0;  // warning messages
    std::int64_t blank_lines = 0;
};

// `text` as the inside of a JSON string: quotes, backslashes and control
// bytes escaped; a byte that is not part of valid UTF-8 becomes the code
// point of the same value (read as Latin-1).
void append_json_string(std::string& out, std::string_view text);

// `text` with control bytes and DEL written as \xHH, for a terminal.
std::string printable(std::string_view text);

class RunReport {
public:
    // `json`: the report stream, or null. `messages`: where message lines
    // go when there is no report, or null.
    RunReport(std::FILE* json, std::FILE* messages, bool dry_run);

    // Counts a record and reports it; `input` names its input file.
    void record(const Outcome& outcome, std::string_view input);
    void blank_line() { ++totals_.blank_lines; }

    // The summary object; false when the report could not be written.
    bool finish(double seconds);
    bool failed() const;

    const Totals& totals() const { return totals_; }

private:
    std::FILE* json_;
    std::FILE* messages_;
    bool dry_run_;
    Totals totals_;
    std::string buffer_;
};

// "N records, N written, N failed, N warnings, N blank lines, S s" (with
// "checked" for "written" in a dry run).
std::string summary_line(const Totals& totals, bool dry_run, double seconds);
