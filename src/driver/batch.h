// The batch run: command line, banner, log file, the line loop with its
// progress lines, and the end of the run.
#pragma once

#include <cstdio>

#include "parser/convert.h"

// Progress against a fixed expected total of records, in single precision.
struct Progress {
    float counter = 0.0f;
    float value = 0.0f;
    float previous = 0.0f;
};

// Counts one converted line; prints "Processing... N% done." to `out` each
// time the percentage reaches a new multiple of ten.
void update_progress(Progress& progress, std::FILE* out);

enum class LoopEnd {
    EndOfInput,
    BlankLine,   // a blank line ends the run
    ReadError,
};

class LineReader;

// Hands every line to the record converter, with progress lines on
// `progress_out` (none when it is null).
LoopEnd convert_lines(LineReader& reader, const ConvertOptions& options,
                      const Console& console, Progress& progress, std::FILE* progress_out);

// Hands every line of `input` to the record converter, with progress lines
// on `progress_out` (none when it is null).
LoopEnd convert_lines(std::FILE* input, const ConvertOptions& options, const Console& console,
                      Progress& progress, std::FILE* progress_out);

// The whole program; returns the exit status.
int run_batch(int argc, char** argv);
