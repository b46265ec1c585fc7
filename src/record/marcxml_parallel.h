// MARCXML read on several threads: the reading thread cuts the document
// into pieces of whole records (record/marcxml_split.h), parsers on threads
// of their own read the pieces side by side, and their items are handed on
// in the document's order, their lines moved on by the lines of the pieces
// before. A piece with an error is parsed again once the records before it
// are known (its messages count them). A piece whose parse is not plainly
// the same as the streaming parser's would be (malformed XML, a cut the
// parse does not confirm) is not used: the streaming parser reads the
// input from that piece on, in the state it would have had there.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "record/marcxml_root.h"
#include "record/marcxml_split.h"
#include "tav/marcxml.h"

namespace tav::detail {

// What a parse of the document's head found, the same before every piece
// but for the lines: kept by each parser from the first piece it reads.
struct PieceHead {
    bool known = false;
    bool read = false;               // without a fault
    RootNamespaces namespaces;       // the root's declarations
    std::int64_t first_line = 0;     // a piece's first line, less the line feeds before it
    MarcxmlCounts counts;            // what the head itself counted (no record)
};

// Parses `piece` of the document that starts with `head` (its lines and
// records before as given), with what `known` tells of the head (kept
// there when it is not known yet): its items and counts (records: those it
// holds), and its line feeds; false when the parse may differ from the
// streaming one.
using PieceParse = bool (*)(const std::string& head, PieceHead& known, MarcxmlPiece& piece,
                            std::deque<MarcxmlItem>& items, MarcxmlCounts& counts);

// What a parse of `piece` read (`read` counting the records before it
// too), handed over as a PieceParse gives it.
void hand_over(std::deque<MarcxmlItem>& read_items, const MarcxmlCounts& read,
               const MarcxmlPiece& piece, std::deque<MarcxmlItem>& items, MarcxmlCounts& counts);

class ParallelRead {
public:
    ParallelRead(XmlInput& input, unsigned threads, PieceParse parse);
    ~ParallelRead();
    ParallelRead(const ParallelRead&) = delete;
    ParallelRead& operator=(const ParallelRead&) = delete;

    // Appends the next piece's items to `ready` and its counts to
    // `counts`; false when the streaming parser is to read the rest.
    bool next(std::deque<MarcxmlItem>& ready, MarcxmlCounts& counts);

    // What the streaming parser reads: `bytes` from `offset` on (`lines`
    // line feeds before them), after `head` with its own lines and bytes;
    // an empty head when it reads from the start.
    struct Rest {
        std::string head, bytes;
        std::uint64_t offset = 0;
        std::int64_t lines = 0;
        // The reads that gave `bytes` (their sizes, whether each said that
        // more may follow): the streaming parser takes them read by read.
        RecordSplitter::Reads reads;
    };
    // After next() gave false; the threads are ended.
    Rest rest();

private:
    struct Job {
        MarcxmlPiece piece;
        std::deque<MarcxmlItem> items;
        MarcxmlCounts counts;
        bool ok = false, taken = false, done = false;
    };
    bool hand_on(Job& job, std::deque<MarcxmlItem>& ready, MarcxmlCounts& counts);
    void work();
    void end_threads();

    RecordSplitter splitter_;
    PieceParse parse_;
    std::size_t ahead_;               // pieces cut ahead of the one handed on
    bool split_done_ = false;
    bool used_ = false;               // a piece was handed on
    std::int64_t lines_ = 0;          // line feeds after the head, before the next piece
    std::int64_t records_ = 0;        // records likewise
    std::unique_ptr<Job> refused_;    // the piece the streaming parser starts at
    PieceHead known_;                 // the head, for the pieces parsed again here

    std::mutex mutex_;
    std::condition_variable work_ready_, work_done_;
    std::deque<std::unique_ptr<Job>> jobs_;   // in the document's order
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tav::detail
