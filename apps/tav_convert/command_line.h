// The command line of tav_convert: GNU-style long and short options and the
// input files.
#pragma once

#include <string>
#include <vector>

#include "tav/formats.h"
#include "tav/readers.h"
#include "tav/tav.h"

// Parallel converters: at most this many, whatever the machine.
inline constexpr unsigned kMaxJobs = 64;


struct CommandLine {
    enum class Action { Convert, Help, Version, UsageError };
    Action action = Action::Convert;
    std::string error;                  // for UsageError: what is wrong

    std::vector<std::string> inputs;    // in order; "-" is standard input
    std::string output_dir;             // empty: the working folder
    bool shard = false;                 // one subfolder per thousand identifiers
    bool to_stdout = false;             // documents on standard output
    bool dry_run = false;               // read and check only
    bool quiet = false;
    std::string report;                 // empty: none; "-": standard output
    bool report_all = false;            // every record in the report
    bool report_csv = false;            // the report as CSV, not JSON Lines
    bool keys = false;                  // each report line with the record's melodic keys
    std::string database;               // the catalogue database written; empty: none
    unsigned jobs = 1;
    const tav::InputForm* from = nullptr;   // how the inputs are written; null: by their start
    tav::Options options;               // mensural, measure-rest and output choices
};

// Reads argv[1..argc-1]. `cores` is the default number of jobs (clamped to
// 1..kMaxJobs).
CommandLine parse_command_line(int argc, char** argv, unsigned cores);

// The text of --help.
const char* help_text();
