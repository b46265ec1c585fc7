#include "command_line.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace {

enum class Key { Output, Shard, Stdout, Mensural, MeasureRests, DryRun, Report, ReportAll,
                 ReportFormat, Quiet, Jobs, Help, Version, From, MusicXml, Compress };

struct OptionSpec {
    const char* name;  // the long name, without "--"
    char letter;       // the short letter; 0: none
    bool takes_value;
    Key key;
};

constexpr OptionSpec kOptions[] = {
    {"output", 'o', true, Key::Output},
    {"shard", 0, false, Key::Shard},
    {"stdout", 0, false, Key::Stdout},
    {"mensural", 0, true, Key::Mensural},
    {"measure-rests", 0, true, Key::MeasureRests},
    {"dry-run", 'n', false, Key::DryRun},
    {"report", 0, true, Key::Report},
    {"report-all", 0, false, Key::ReportAll},
    {"report-format", 0, true, Key::ReportFormat},
    {"quiet", 'q', false, Key::Quiet},
    {"jobs", 'j', true, Key::Jobs},
    {"from", 0, true, Key::From},
    {"musicxml", 0, true, Key::MusicXml},
    {"compress", 0, false, Key::Compress},
    {"help", 'h', false, Key::Help},
    {"version", 'V', false, Key::Version},
};

const OptionSpec* find_long(std::string_view name)
{
    for (const OptionSpec& spec : kOptions)
        if (name == spec.name)
            return &spec;
    return nullptr;
}

const OptionSpec* find_short(char letter)
{
    for (const OptionSpec& spec : kOptions)
        if (spec.letter == letter)
            return &spec;
    return nullptr;
}

// keep|remove into `remove`; false for anything else.
bool read_choice(std::string_view value, bool& remove)
{
    if (value == "keep" || value == "remove") {
        remove = value == "remove";
        return true;
    }
    return false;
}

bool read_jobs(std::string_view value, unsigned& jobs)
{
    unsigned n = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size() || n < 1 || n > kMaxJobs)
        return false;
    jobs = n;
    return true;
}

// Applies one option; false with `cl.error` set when its value is wrong.
bool apply(CommandLine& cl, const OptionSpec& spec, std::string_view value)
{
    switch (spec.key) {
    case Key::Output:
        if (value.empty()) {
            cl.error = "the output folder name is empty";
            return false;
        }
        cl.output_dir = value;
        return true;
    case Key::Shard: cl.shard = true; return true;
    case Key::Stdout: cl.to_stdout = true; return true;
    case Key::DryRun: cl.dry_run = true; return true;
    case Key::Quiet: cl.quiet = true; return true;
    case Key::Help: cl.action = CommandLine::Action::Help; return true;
    case Key::Version:
        if (cl.action != CommandLine::Action::Help)
            cl.action = CommandLine::Action::Version;
        return true;
    case Key::Mensural:
    case Key::MeasureRests: {
        bool& remove = spec.key == Key::Mensural ? cl.options.remove_mensural
                                                 : cl.options.remove_measure_rests;
        if (read_choice(value, remove))
            return true;
        cl.error = std::string("--") + spec.name + " takes keep or remove, not '" +
                   std::string(value) + "'";
        return false;
    }
    case Key::Report:
        if (value.empty()) {
            cl.error = "the report file name is empty";
            return false;
        }
        cl.report = value;
        return true;
    case Key::ReportAll: cl.report_all = true; return true;
    case Key::ReportFormat:
        if (value == "jsonl" || value == "csv") {
            cl.report_csv = value == "csv";
            return true;
        }
        cl.error = "--report-format takes jsonl or csv, not '" + std::string(value) + "'";
        return false;
    case Key::From:
        if (value == "marcxml" || value == "tab") {
            cl.from = value == "tab" ? InputFormat::Tab : InputFormat::Marcxml;
            return true;
        }
        cl.error = "--from takes marcxml or tab, not '" + std::string(value) + "'";
        return false;
    case Key::MusicXml:
        if (value == "1.0" || value == "4.0") {
            cl.options.musicxml = value == "4.0" ? tav::MusicXmlVersion::V4_0
                                                 : tav::MusicXmlVersion::V1_0;
            return true;
        }
        cl.error = "--musicxml takes 1.0 or 4.0, not '" + std::string(value) + "'";
        return false;
    case Key::Compress: cl.options.compress = true; return true;
    case Key::Jobs:
        if (read_jobs(value, cl.jobs))
            return true;
        cl.error = "--jobs takes a number from 1 to " + std::to_string(kMaxJobs) + ", not '" +
                   std::string(value) + "'";
        return false;
    }
    return false;
}

CommandLine usage_error(CommandLine cl, std::string message)
{
    cl.action = CommandLine::Action::UsageError;
    cl.error = std::move(message);
    return cl;
}

}  // namespace

CommandLine parse_command_line(int argc, char** argv, unsigned cores)
{
    CommandLine cl;
    cl.jobs = std::clamp(cores, 1u, kMaxJobs);
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (options_end || arg.size() < 2 || arg[0] != '-') {
            cl.inputs.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            options_end = true;
            continue;
        }
        if (arg.substr(0, 2) == "--") {
            std::string_view name = arg.substr(2);
            std::string_view value;
            size_t equals = name.find('=');
            bool has_value = equals != std::string_view::npos;
            if (has_value) {
                value = name.substr(equals + 1);
                name = name.substr(0, equals);
            }
            const OptionSpec* spec = find_long(name);
            if (spec == nullptr)
                return usage_error(cl, "unknown option --" + std::string(name));
            if (spec->takes_value && !has_value) {
                if (i + 1 >= argc)
                    return usage_error(cl, "--" + std::string(name) + " needs a value");
                value = argv[++i];
            } else if (!spec->takes_value && has_value) {
                return usage_error(cl, "--" + std::string(name) + " takes no value");
            }
            if (!apply(cl, *spec, value))
                return usage_error(cl, cl.error);
            continue;
        }
        // A cluster of short options; one that takes a value takes the rest
        // of the cluster or the next argument.
        for (size_t k = 1; k < arg.size(); ++k) {
            const OptionSpec* spec = find_short(arg[k]);
            if (spec == nullptr)
                return usage_error(cl, std::string("unknown option -") + arg[k]);
            std::string_view value;
            if (spec->takes_value) {
                if (k + 1 < arg.size())
                    value = arg.substr(k + 1);
                else if (i + 1 < argc)
                    value = argv[++i];
                else
                    return usage_error(cl, std::string("-") + arg[k] + " needs a value");
                k = arg.size();
            }
            if (!apply(cl, *spec, value))
                return usage_error(cl, cl.error);
        }
    }
    if (cl.action != CommandLine::Action::Convert)
        return cl;
    if (cl.to_stdout && (!cl.output_dir.empty() || cl.shard))
        return usage_error(cl, "--stdout writes no files: it goes with neither --output nor --shard");
    if (cl.dry_run && cl.to_stdout)
        return usage_error(cl, "--dry-run writes nothing: it does not go with --stdout");
    if (cl.to_stdout && cl.report == "-")
        return usage_error(cl, "--stdout and --report - would both write to standard output");
    if (cl.inputs.empty())
        cl.inputs.emplace_back("-");
    return cl;
}

const char* help_text()
{
    return "Usage: tav_convert [OPTION]... [FILE]...\n"
           "Converts incipit records (one per line) into MusicXML files, one per record.\n"
           "Reads the FILEs in order; standard input when there is none or FILE is -.\n"
           "A FILE may also be MARCXML (catalogue records, incipits in field 031).\n"
           "\n"
           "      --from marcxml|tab   how the input is written (default: recognised by\n"
           "                           its start, <?xml, <collection or <record for MARCXML)\n"
           "      --musicxml 1.0|4.0   the MusicXML version written (default 1.0)\n"
           "      --compress           write compressed MusicXML files (.mxl)\n"
           "  -o, --output DIR         write the files into DIR (made if missing;\n"
           "                           default: the working folder)\n"
           "      --shard              put each file in the subfolder named by its\n"
           "                           identifier divided by 1000\n"
           "      --stdout             write the documents to standard output, each after\n"
           "                           a line \"LENGTH NAME\"; no files\n"
           "      --mensural=keep|remove       mensural time signatures (default keep)\n"
           "      --measure-rests=keep|remove  measure rests (default keep)\n"
           "  -n, --dry-run            read and check every record; write nothing\n"
           "      --report FILE        write the report to FILE (- for standard output):\n"
           "                           one entry per record with messages, then a summary\n"
           "      --report-all         report every record, messages or not: the list of\n"
           "                           records and their files\n"
           "      --report-format=jsonl|csv    JSON Lines (default) or CSV\n"
           "  -j, --jobs N             converters working in parallel (1 to 64;\n"
           "                           default: the number of cores)\n"
           "  -q, --quiet              no progress, messages or summary on standard error\n"
           "  -h, --help               show this help and exit\n"
           "  -V, --version            show the version and exit\n"
           "\n"
           "A line ends in LF, CR LF or a lone CR; blank lines are skipped.\n"
           "Exit status: 0 when every record was converted,\n"
           "1 when some records failed, 2 for a usage or input/output error of the run\n"
           "(the run stops at the first output that cannot be written), 130 or 143 when\n"
           "SIGINT or SIGTERM stopped it.\n";
}
