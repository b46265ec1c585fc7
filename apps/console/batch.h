// The batch run: command line, banner, log file, the line loop with its
// progress lines, and the end of the run.
#pragma once

#include <cstdio>

#include "tav/batch.h"
#include "tav/tav.h"

// Progress against a fixed expected total of records, in single precision.
struct Progress {
    float counter = 0.0f;
    float value = 0.0f;
    float previous = 0.0f;
};

enum class LoopEnd {
    EndOfInput,
    BlankLine,   // a blank line ends the run
    ReadError,
};

// Where the run's texts go. A null stream drops them.
struct ConsoleStreams {
    std::FILE* out;   // the trace and "EOF, quitting"
    std::FILE* err;   // warnings and errors, with the log-file note
    std::FILE* log;   // the same warnings and errors for the log file
};

// Converts every line of `input`, writes the files (unless the options
// only parse) as writes of `run` (each on its own when it is null), prints
// the messages and, on `progress_out` (none when it is null), the progress
// lines.
LoopEnd convert_lines(std::FILE* input, const tav::Options& options, const ConsoleStreams& streams,
                      Progress& progress, std::FILE* progress_out, tav::WriteRun* run = nullptr);

// The whole program; returns the exit status.
int run_batch(int argc, char** argv);
