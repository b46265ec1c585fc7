// What the run tells about its records: the report (JSON Lines or CSV), the
// message lines on standard error, and the counts for the summary.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.h"
#include "json_text.h"
#include "out_stream.h"
#include "progress.h"
#include "tav/batch.h"
#include "tav/tav.h"

// One record's outcome, kept until it is reported in input order.
struct Outcome {
    tav::Status status = tav::Status::Failed;
    bool skipped = false;   // not finished: the run stopped first
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
    // The record's melody, when the run reads the keys.
    tav::Melody melody;
    // What --database keeps of it beside this outcome; null without.
    std::shared_ptr<tav::db::Incipit> incipit;
};

// How many of each status there are, by tav::Status, "checked" counted as
// Converted.
inline constexpr std::size_t kStatuses = static_cast<std::size_t>(tav::Status::Blank) + 1;

struct Totals {
    std::int64_t records = 0;   // lines read, blank lines aside
    std::int64_t written = 0;   // documents written to files or the stream
    std::int64_t checked = 0;   // records read without an error (--dry-run)
    std::int64_t failed = 0;
    std::int64_t warnings = 0;  // warning messages
    std::int64_t blank_lines = 0;
    std::int64_t unreadable_inputs = 0;   // inputs that could not be opened or read
    // Fields 031 without music that MARCXML inputs held, passed over; -1
    // when no input was MARCXML.
    std::int64_t without_music = -1;
    std::array<std::int64_t, kStatuses> by_status{};
    // Messages by their code (the codes are the library's static names).
    std::map<std::string_view, std::int64_t> by_code;

    // The messages of `code` so far.
    std::int64_t count_of(tav::MessageCode code) const;
};

// The counts a cataloguer checks beside the fields without music, each
// named by its message code: fields 031 of another notation system passed
// over, and records without a control number.
inline constexpr tav::MessageCode kCatalogueCounts[] = {tav::MessageCode::OtherNotationSystem,
                                                         tav::MessageCode::NoControlNumber};

// How the run ended, for the summary.
struct RunEnd {
    double seconds = 0;
    int signal = 0;        // the signal that interrupted the run; 0: none
    std::string stopped;   // why the run stopped early; empty: it did not
};

enum class ReportFormat { JsonLines, Csv };

class RunReport {
public:
    // `report`: the report stream (inactive: none). `messages`: where message
    // lines go when there is no report, or null; `progress` is cleared
    // before each. `all`: every record is reported, not only those with
    // messages.
    RunReport(OutStream& report, ReportFormat format, bool all, std::FILE* messages,
              ProgressLine& progress, bool dry_run);

    // Counts a record and reports it; `input` names its input file.
    void record(const Outcome& outcome, std::string_view input);
    void blank_line() { ++totals_.blank_lines; }
    // An input that could not be opened or read to its end.
    void unreadable(std::string_view input, std::string_view reason);
    // A MARCXML input read: its fields 031 without music count.
    void catalogue_read(std::int64_t without_music);

    // Each converted record's line carries its melodic keys.
    void include_keys(bool keys) { keys_ = keys; }

    // Writes out the records reported so far.
    void flush() { out_.flush(); }
    // Writes the summary; false when the report could not be written.
    bool finish(const RunEnd& end);

    const Totals& totals() const { return totals_; }

private:
    void record_json(const Outcome& o, std::string_view input);
    void record_csv(const Outcome& o, std::string_view input);

    OutStream& out_;
    ReportFormat format_;
    bool all_;
    std::FILE* messages_;
    ProgressLine& progress_;
    bool dry_run_;
    bool keys_ = false;
    Totals totals_;
    std::string buffer_;
};

// "N records, N written, N failed, N warnings, N blank lines, S s" (with
// "checked" for "written" in a dry run), and how the run ended when early.
std::string summary_line(const Totals& totals, bool dry_run, const RunEnd& end);
