// The options the front ends share, one row each: tav_convert and
// `python -m tav` take them as --NAME (or --NAME VALUE), and their help
// texts, choices and defaults come from here, as do the JS package's and
// the page's. Their values come from the tables of formats and input forms
// where they name a row of one.
//
//     #include <tav/shared_options.h>
//
//     for (const tav::SharedOption& o : tav::shared_options())
//         std::printf("--%s %s\n", o.name.c_str(), o.choices.c_str());
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

struct SharedOption {
    std::string name;           // "format": --format
    std::string value;          // what the value is called in help ("NAME"); empty: none
    std::string choices;        // the values it takes, "|" between them; empty: any
    std::string default_value;  // empty: none, or told in `help`
    std::string help;           // one sentence, without the default
};

// In the order help texts list them.
std::vector<SharedOption> shared_options();

// The row named `name` ("format"), or null.
const SharedOption* find_shared_option(const std::vector<SharedOption>& options,
                                       std::string_view name);

// The position of `value` among the row's choices; -1 for none.
int choice_index(const SharedOption& option, std::string_view value);

// "--mensural takes keep or remove, not 'x'": the error for a value that is
// none of its choices.
std::string choice_error(const SharedOption& option, std::string_view value);

// How a batch run ends (tav_convert, `python -m tav`): its exit status.
enum class ExitStatus : int { AllConverted = 0, RecordsFailed = 1, RunError = 2 };

struct ExitStatusRow {
    ExitStatus status;
    std::string_view name;     // "all_converted"
    std::string_view meaning;  // "when every record was converted", for help texts
};

// Every status, in the order of their numbers.
std::span<const ExitStatusRow> exit_statuses();

// A run a signal stopped exits with this plus the signal's number.
constexpr int kSignalExitBase = 128;

}  // namespace tav
