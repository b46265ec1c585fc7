#include "command_line.h"

#include <algorithm>
#include <charconv>
#include <csignal>
#include <string_view>

#include "tav/shared_options.h"

namespace {

enum class Key { Output, Shard, Stdout, Mensural, MeasureRests, DryRun, Report, ReportAll,
                 ReportFormat, Quiet, Jobs, Help, Version, From, Format, MusicXml, Compress,
                 RecordUri, Keys, Database };

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
    {"format", 0, true, Key::Format},
    {"musicxml", 0, true, Key::MusicXml},
    {"compress", 0, false, Key::Compress},
    {"record-uri", 0, true, Key::RecordUri},
    {"keys", 0, false, Key::Keys},
    {"database", 0, true, Key::Database},
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

// The shared options' rows, and the report's form, which only this command
// has.
const std::vector<tav::SharedOption>& option_rows()
{
    static const std::vector<tav::SharedOption> rows = [] {
        std::vector<tav::SharedOption> r = tav::shared_options();
        r.push_back({"report-format", "", "jsonl|csv", "jsonl", "JSON Lines or CSV"});
        return r;
    }();
    return rows;
}

// Which of its row's choices the value of `spec` is, 0 for the first; -1,
// with `cl.error` set ("--from takes marcxml or tab, not 'xml'"), for none.
int choice(CommandLine& cl, const OptionSpec& spec, std::string_view value)
{
    const tav::SharedOption& row = *tav::find_shared_option(option_rows(), spec.name);
    int c = tav::choice_index(row, value);
    if (c < 0)
        cl.error = tav::choice_error(row, value);
    return c;
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

// Applies an option that takes one of two values; false with `cl.error`
// set when its value is neither.
bool apply_choice(CommandLine& cl, const OptionSpec& spec, std::string_view value)
{
    int c;
    switch (spec.key) {
    case Key::Mensural:
    case Key::MeasureRests:
        if ((c = choice(cl, spec, value)) >= 0)
            (spec.key == Key::Mensural ? cl.options.remove_mensural
                                       : cl.options.remove_measure_rests) = c == 1;
        break;
    default:
        if ((c = choice(cl, spec, value)) >= 0)
            cl.report_csv = c == 1;
        break;
    }
    return c >= 0;
}

// --format NAME, or --musicxml VERSION: a row of the output formats.
bool apply_format(CommandLine& cl, const OptionSpec& spec, std::string_view value)
{
    const tav::OutputFormat* format = spec.key == Key::Format
                                          ? tav::find_format(value)
                                          : tav::find_format("musicxml", value);
    if (format == nullptr) {
        choice(cl, spec, value);
        return false;
    }
    cl.options.format = format;
    return true;
}

// --from NAME: a row of the input forms.
bool apply_from(CommandLine& cl, const OptionSpec& spec, std::string_view value)
{
    cl.from = tav::find_input_form(value);
    if (cl.from == nullptr)
        choice(cl, spec, value);
    return cl.from != nullptr;
}

// A file or folder name: false, with the error, when it is empty.
bool apply_name(CommandLine& cl, std::string_view value, std::string& name, const char* what)
{
    if (value.empty()) {
        cl.error = std::string("the ") + what + " name is empty";
        return false;
    }
    name = value;
    return true;
}

// Applies one option; false with `cl.error` set when its value is wrong.
bool apply(CommandLine& cl, const OptionSpec& spec, std::string_view value)
{
    switch (spec.key) {
    case Key::Output: return apply_name(cl, value, cl.output_dir, "output folder");
    case Key::Report: return apply_name(cl, value, cl.report, "report file");
    case Key::Shard: cl.shard = true; return true;
    case Key::Stdout: cl.to_stdout = true; return true;
    case Key::DryRun: cl.dry_run = true; return true;
    case Key::Quiet: cl.quiet = true; return true;
    case Key::Help: cl.action = CommandLine::Action::Help; return true;
    case Key::Version:
        if (cl.action != CommandLine::Action::Help)
            cl.action = CommandLine::Action::Version;
        return true;
    case Key::ReportAll: cl.report_all = true; return true;
    case Key::Compress: cl.options.compressed = true; return true;
    case Key::RecordUri: cl.options.record_uri = value; return true;
    case Key::Keys: cl.keys = cl.options.melody = cl.report_all = true; return true;
    case Key::Database:
        cl.options.melody = true;
        return apply_name(cl, value, cl.database, "database file");
    case Key::Mensural:
    case Key::MeasureRests:
    case Key::ReportFormat: return apply_choice(cl, spec, value);
    case Key::Format:
    case Key::MusicXml: return apply_format(cl, spec, value);
    case Key::From: return apply_from(cl, spec, value);
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

// "--NAME" or "--NAME=VALUE" (the value, if the option takes one and has
// none, the next argument, i then moving on to it); false with `cl.error`.
bool parse_long(CommandLine& cl, std::string_view name, int argc, char** argv, int& i)
{
    std::string_view value;
    size_t equals = name.find('=');
    bool has_value = equals != std::string_view::npos;
    if (has_value) {
        value = name.substr(equals + 1);
        name = name.substr(0, equals);
    }
    const OptionSpec* spec = find_long(name);
    if (spec == nullptr) {
        cl.error = "unknown option --" + std::string(name);
        return false;
    }
    if (spec->takes_value && !has_value) {
        if (i + 1 >= argc) {
            cl.error = "--" + std::string(name) + " needs a value";
            return false;
        }
        value = argv[++i];
    } else if (!spec->takes_value && has_value) {
        cl.error = "--" + std::string(name) + " takes no value";
        return false;
    }
    return apply(cl, *spec, value);
}

// Options that do not go together: the error, or null.
const char* options_that_clash(const CommandLine& cl)
{
    if (cl.to_stdout && (!cl.output_dir.empty() || cl.shard))
        return "--stdout writes no files: it goes with neither --output nor --shard";
    if (cl.dry_run && cl.to_stdout)
        return "--dry-run writes nothing: it does not go with --stdout";
    if (cl.to_stdout && cl.report == "-")
        return "--stdout and --report - would both write to standard output";
    if (cl.keys && (cl.report.empty() || cl.report_csv))
        return "--keys go into the JSON Lines report: it needs --report and no CSV";
    return nullptr;
}

// --compress with a format that has no compressed container: the error,
// else empty.
std::string format_clash(const CommandLine& cl)
{
    const tav::OutputFormat& format =
        cl.options.format != nullptr ? *cl.options.format : tav::default_format();
    if (!cl.options.compressed || format.compressible())
        return {};
    return "--compress: " + tav::message_text(tav::MessageCode::NotCompressible, {format.name});
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
            if (!parse_long(cl, arg.substr(2), argc, argv, i))
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
    if (const char* clash = options_that_clash(cl))
        return usage_error(cl, clash);
    if (std::string clash = format_clash(cl); !clash.empty())
        return usage_error(cl, clash);
    if (cl.inputs.empty())
        cl.inputs.emplace_back("-");
    return cl;
}

namespace {

constexpr std::size_t kHelpColumn = 27;  // where an option's text starts
constexpr std::size_t kHelpWidth = 79;

// `text` wrapped at the width: its first line after `head` (on a line of
// its own when it reaches the column), each from `column` on.
std::string wrapped(std::string head, std::string_view text, std::size_t column)
{
    std::string out;
    std::string line = std::move(head);
    if (column > 0 && line.size() + 2 > column) {
        out = line + "\n";
        line.clear();
    }
    std::size_t at = 0;
    for (;;) {
        line.resize(std::max(line.size(), column), ' ');
        std::size_t room = kHelpWidth - line.size();
        std::size_t end = text.size() - at <= room ? text.size() : text.rfind(' ', at + room);
        if (end == std::string_view::npos || end <= at)
            end = std::min(text.size(), at + room);
        out += line + std::string(text.substr(at, end - at)) + "\n";
        line.clear();
        at = end < text.size() && text[end] == ' ' ? end + 1 : end;
        if (at >= text.size())
            return out;
    }
}

// One option's help: "      --NAME CHOICES" and its text from the column
// on, with its default.
std::string option_help(const tav::SharedOption& o)
{
    std::string line = "      --" + o.name;
    if (!o.choices.empty())
        line += (o.value.empty() ? "=" : " ") + o.choices;
    else if (!o.value.empty())
        line += " " + o.value;
    std::string text = o.help;
    if (!o.default_value.empty())
        text += " (default " + o.default_value + ")";
    return wrapped(line, text, kHelpColumn);
}

std::string shared_options_help()
{
    std::string text;
    for (const tav::SharedOption& o : option_rows())
        if (o.name != "report-format")
            text += option_help(o);
    return text;
}

std::string formats_list()
{
    std::string text = "Output formats (--format), each with its files' suffix:\n";
    for (const tav::OutputFormat& f : tav::formats()) {
        text += "  " + std::string(f.name) + std::string(11 - std::min<size_t>(f.name.size(), 10), ' ');
        text += std::string(f.description) + "\n             (" + std::string(f.suffix);
        if (f.compressible())
            text += ", compressed " + std::string(f.compressed_suffix);
        text += ")\n";
    }
    return text;
}

std::string input_forms_list()
{
    std::string text = "Input forms (--from), each recognised by its start:\n";
    for (const tav::InputForm& form : tav::input_forms()) {
        text += "  " + std::string(form.name) + std::string(9 - form.name.size(), ' ');
        text += std::string(form.description) + "\n           (" + std::string(form.recognised) +
                ")\n";
    }
    return text + "Each may be compressed with gzip.\n";
}

const char* help_before_options()
{
    return "Usage: tav_convert [OPTION]... [FILE]...\n"
           "Converts incipit records (one per line) into MusicXML files, one per record.\n"
           "Reads the FILEs in order; standard input when there is none or FILE is -.\n"
           "A FILE may also be MARCXML or the code's key-value or JSON form (below).\n"
           "\n";
}

std::string help_options()
{
    return "  -o, --output DIR         write the files into DIR (made if missing;\n"
           "                           default: the working folder)\n"
           "      --shard              put each file in the subfolder named by its\n"
           "                           identifier divided by 1000\n"
           "      --stdout             write the documents to standard output, each after\n"
           "                           a line \"LENGTH NAME\"; no files\n"
           "  -n, --dry-run            read and check every record; write nothing\n"
           "      --report FILE        write the report to FILE (- for standard output):\n"
           "                           one entry per record with messages, then a summary\n"
           "      --report-all         report every record, messages or not: the list of\n"
           "                           records and their files\n" +
           option_help(*tav::find_shared_option(option_rows(), "report-format")) +
           "      --keys               every record in the report, with its melodic keys\n"
           "                           (pitches, intervals, contours, durations, beats)\n"
           "      --database FILE      every record, its document and melodic keys into the\n"
           "                           SQLite database FILE (for tav_search), a record\n"
           "                           replacing the one of its identifier and number; kept\n"
           "                           only when the run ends well; files only with -o\n"
           "  -j, --jobs N             converters working in parallel (1 to 64;\n"
           "                           default: the number of cores)\n"
           "  -q, --quiet              no progress, messages or summary on standard error\n"
           "  -h, --help               show this help and exit\n"
           "  -V, --version            show the version and exit\n"
           "\n";
}

std::string help_after_options()
{
    std::string text = "Exit status:";
    for (const tav::ExitStatusRow& row : tav::exit_statuses())
        text += (row.status == tav::ExitStatus::AllConverted ? " " : ", ") +
                std::to_string(static_cast<int>(row.status)) + " " + std::string(row.meaning);
    text += " (the run stops at the first output that cannot be written), " +
            std::to_string(tav::kSignalExitBase + SIGINT) + " or " +
            std::to_string(tav::kSignalExitBase + SIGTERM) + " when SIGINT or SIGTERM stopped it.";
    return "A line ends in LF, CR LF or a lone CR; blank lines are skipped.\n" +
           wrapped("", text, 0);
}

}  // namespace

const char* help_text()
{
    static const std::string text = std::string(help_before_options()) + shared_options_help() +
                                    help_options() + input_forms_list() +
                                    formats_list() + "\n" + help_after_options();
    return text.c_str();
}
