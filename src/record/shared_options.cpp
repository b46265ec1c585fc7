// The options the front ends share: see tav/shared_options.h.

#include "tav/shared_options.h"

#include "record/joined_words.h"
#include "tav/formats.h"
#include "tav/readers.h"

namespace tav {

namespace {

constexpr ExitStatusRow kExitStatuses[] = {
    {ExitStatus::AllConverted, "all_converted", "when every record was converted"},
    {ExitStatus::RecordsFailed, "records_failed", "when some records failed"},
    {ExitStatus::RunError, "run_error", "for a usage or input/output error of the run"},
};

}  // namespace

std::span<const ExitStatusRow> exit_statuses() { return kExitStatuses; }

std::vector<SharedOption> shared_options()
{
    const OutputFormat& format = default_format();
    return {
        {"from", "NAME", input_form_names("|"), "",
         "how the inputs are written (default: recognised by their start)"},
        {"format", "NAME", format_names("|"), std::string(format.name), "the format written"},
        {"musicxml", "VERSION", format_versions("musicxml", "|"), std::string(format.version),
         "the MusicXML version written: another spelling of --format"},
        {"compress", "", "", "", "write compressed files (MusicXML: .mxl)"},
        {"record-uri", "TEMPLATE", "", "",
         "link each catalogue record's documents to it (MusicXML 4.0, MEI): {id} stands for "
         "its 001"},
        {"mensural", "", "keep|remove", "keep", "mensural time signatures"},
        {"measure-rests", "", "keep|remove", "keep", "measure rests"},
    };
}

const SharedOption* find_shared_option(const std::vector<SharedOption>& options,
                                       std::string_view name)
{
    for (const SharedOption& option : options)
        if (option.name == name)
            return &option;
    return nullptr;
}

namespace {

std::vector<std::string_view> choices_of(const SharedOption& option)
{
    std::vector<std::string_view> words;
    std::string_view rest = option.choices;
    while (!rest.empty()) {
        std::size_t bar = rest.find('|');
        words.push_back(rest.substr(0, bar));
        rest = bar == std::string_view::npos ? std::string_view{} : rest.substr(bar + 1);
    }
    return words;
}

}  // namespace

int choice_index(const SharedOption& option, std::string_view value)
{
    std::vector<std::string_view> words = choices_of(option);
    for (std::size_t i = 0; i < words.size(); ++i)
        if (words[i] == value)
            return static_cast<int>(i);
    return -1;
}

std::string choice_error(const SharedOption& option, std::string_view value)
{
    return "--" + option.name + " takes " + detail::joined_words(choices_of(option), ", ", " or ") +
           ", not '" + std::string(value) + "'";
}

}  // namespace tav
