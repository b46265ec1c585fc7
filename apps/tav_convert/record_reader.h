// Reads an input stream in batches of whole lines, each line with its line
// end (a line feed, a carriage return and line feed, or a lone carriage
// return), so that a converter sees the same bytes as when it reads the
// stream itself. A line longer than tav::max_line_length is not kept: it is
// marked too long and its bytes are dropped as they are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tav/batch.h"
#include "tav/readers.h"
#include "tav/tav.h"

// An incipit read by a reader of records (MARCXML, the code's key-value or
// JSON form), with where it comes from; or, for a message of the reader (a
// record it cannot read, a field it passes over), that message alone.
struct CatalogueEntry {
    std::string control_number;   // MARCXML's 001
    int occurrence = 0;           // which 031 of the record; 0: the whole record
    tav::Record record;
    std::vector<tav::Message> warnings;  // the reader's, about the incipit's texts
    bool is_message = false;
    tav::Message message;
};

struct LineBatch {
    struct Line {
        std::size_t begin = 0;
        std::size_t end = 0;     // past the line end, if any
        bool too_long = false;
    };
    std::string bytes;           // the lines one after the other, then tav::line_padding zeros
    std::vector<Line> lines;
    std::int64_t first_line = 1; // number of the first line in its input
    // For an input read by a reader of records, one entry per line (each
    // line empty, the record held in its entry) and each one's line number
    // in the input; empty for a tab-separated input.
    std::vector<CatalogueEntry> entries;
    std::vector<std::int64_t> line_numbers;
    bool catalogue = false;        // the entries name catalogue records (MARCXML)
    std::size_t record_bytes = 0;  // the music and keys the entries hold

    // The line and every byte after it: the converter's buffer.
    char* from(const Line& line) { return bytes.data() + line.begin; }
    std::size_t readable(const Line& line) const { return bytes.size() - line.begin; }
    void clear()
    {
        bytes.clear();
        lines.clear();
        entries.clear();
        line_numbers.clear();
        catalogue = false;
        record_bytes = 0;
    }
    // What the batch holds, against the run's memory budget.
    std::size_t weight() const { return bytes.size() + record_bytes; }
};

class RecordReader {
public:
    // `before_wait`, if any, is called before a read that would wait for
    // input, so that what is done can be written out first; fill() then
    // also stops at the lines it holds when no more input is ready, and
    // reads take what is there (on POSIX systems; elsewhere reads fill
    // their block and never look).
    explicit RecordReader(std::FILE* input, std::function<void()> before_wait = {});

    // Replaces the batch's lines with the next lines of the input: up to
    // `max_lines`, and no more once `max_bytes` are held. False when no line
    // was left.
    bool fill(LineBatch& batch, std::size_t max_lines, std::size_t max_bytes);

    // The bytes read but not yet taken, after reading the first block if
    // none was read: a look at the start of the input.
    std::string_view peek() { return lines_.peek(); }

    // Hands the input over (after peek()) to a reader of another format.
    std::unique_ptr<tav::InputStream> release_input() { return lines_.release_input(); }

    bool failed() const { return lines_.failed(); }
    const std::string& failure() const { return lines_.failure(); }
    // Bytes read so far.
    std::uint64_t consumed() const { return lines_.consumed(); }

private:
    tav::LineReader lines_;
    bool waits_;
    std::int64_t next_line_ = 1;
};

// Reads an input with a reader of records (a row of tav::input_forms()) into
// batches of entries, each an incipit as a tav::Record or a message of the
// reader.
class ItemBatchReader {
public:
    // Reads `input` (from RecordReader::release_input) with the reader of
    // `form` on a thread of its own, and parses on `threads` threads where
    // the form can.
    ItemBatchReader(const tav::InputForm& form, std::unique_ptr<tav::InputStream> input,
                    unsigned threads);
    ~ItemBatchReader();

    bool fill(LineBatch& batch, std::size_t max_lines, std::size_t max_bytes);
    bool failed() const;
    // Why the input could not be read to its end (out of memory, or the
    // stream's failure), empty when it was.
    std::string failure() const;
    // Whether reading ended for want of memory (or another exception), not
    // at the input's end or a failed read.
    bool out_of_memory() const;
    // Fields 031 without music passed over, once the input is read; -1 for
    // a form that has none.
    std::int64_t without_music() const;
    std::uint64_t consumed() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};
