// A whole input of records converted into a folder of files, as the batch
// command does, with no Python object touched: the module runs it with the
// interpreter's lock released (a file object's read takes it back for each
// block).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tav/batch.h"
#include "tav/input.h"
#include "tav/readers.h"
#include "tav/tav.h"

// Where the records come from: the file at `path`, or what `read` gives (a
// file object's bytes), whose descriptor `fd` is, when it has one.
struct FileInput {
    std::string path;
    tav::InputStream::ReadFunction read;
    int fd = -1;
};

// A record with warnings or errors, without its document: its line (from
// 1, blank lines counted; for a reader of records the line where the
// incipit starts), and for a MARCXML input where it is in the catalogue, as
// the batch command's messages say it.
struct Problem {
    long line = 0;
    tav::Result result;
    bool catalogue = false;       // read from MARCXML
    bool reader_message = false;  // the reader's message about what it passed over
    std::string control_number;   // the record's 001 as written
    int occurrence = 0;           // which 031, from 1; 0: the whole record
};

struct FileRun {
    enum class End {
        Done,
        CannotMakeFolder,  // `error` holds errno, for the folder
        CannotOpen,        // `error` holds errno, for the input
        ReadError,         // the input could not be read to its end: `failure` says why
        InputClash,        // the record's file `clash` would be the input itself
    };
    End end = End::Done;
    int error = 0;
    std::string failure;
    std::string clash;
    long written = 0;
    long failed = 0;
    long blank_lines = 0;
    std::vector<Problem> problems;
};

// Converts every record of `input` into `folder` (made if missing); blank
// lines are passed over and counted. A record whose file would be the input
// itself stops the run: for a tab-separated file named by its path before
// any file is written, otherwise before that record's. `form`: how the
// input is written (a row of tav::input_forms()); null: recognised by its
// first bytes.
FileRun convert_file(const FileInput& input, const std::string& folder,
                     const tav::Options& options, const tav::InputForm* form);
