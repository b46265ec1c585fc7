// A whole file of records converted into a folder of files, as the batch
// command does, with no Python object touched: the module runs it with the
// interpreter's lock released.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tav/batch.h"
#include "tav/tav.h"

struct FileRun {
    enum class End {
        Done,
        CannotMakeFolder,  // `error` holds errno, for the folder
        CannotOpen,        // `error` holds errno, for the input
        ReadError,         // the input could not be read to its end
        InputClash,        // the record's file `clash` would be the input itself
    };
    End end = End::Done;
    int error = 0;
    std::string clash;
    long written = 0;
    long failed = 0;
    long blank_lines = 0;
    // The records with warnings or errors, with their line numbers from 1
    // (blank lines counted), and without their documents.
    std::vector<std::pair<long, tav::Result>> problems;
};

// Converts every record of `input` into `folder` (made if missing); blank
// lines are passed over and counted. A record whose file would be the input
// itself stops the run before any file is written.
FileRun convert_file(const std::string& input, const std::string& folder,
                     const tav::Options& options);
