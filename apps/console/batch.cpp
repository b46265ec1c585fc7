#include "batch.h"

#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <string_view>

#include "process_guard.h"

namespace {

constexpr float kExpectedRecords = 52200.0f;
constexpr const char* kLogName = "tav_errors.log";

void print_help()
{
    std::fputs("\nTAV 2005 HELP\n", stdout);
    std::fputs("*************\n\n", stdout);
    std::fputs("Usage: ./tav2005_10.exe -[options]f <input_file>\n\n", stdout);
    std::fputs("Available options are:\n", stdout);
    std::fputs("m: Remove all mensural time signatures.\n", stdout);
    std::fputs("r: Remove all measure rests (useful for image creation).\n", stdout);
    std::fputs("v: Verbose mode (shows the progression of each char, not recommended).\n", stdout);
    std::fputs("x: Do not create the xml file (useful for debug on a lot of incipits).\n", stdout);
    std::fputs("f: Input file in the next argument (necessary).\n", stdout);
    std::fputs("h: Show this help.\n", stdout);
}

void print_banner()
{
    const char* const border = "###################################\n";
    const char* const blank = "#                                 #\n";
    std::fputs(border, stdout);
    std::fputs(blank, stdout);
    std::fputs("# WELCOME TO TAV 2005 VERSION 1.0 #\n", stdout);
    std::fputs(blank, stdout);
    std::fputs(blank, stdout);
    std::fputs("#     Press Enter to continue     #\n", stdout);
    std::fputs(blank, stdout);
    std::fputs(border, stdout);
}

// Reads the option letters from the second character on. Returns -1 to go
// on, or the exit status when a letter ends the process.
int read_options(const char* letters, tav::Options& options)
{
    if (letters[0] == '\0')
        return -1;
    struct Flag {
        char letter;
        bool tav::Options::*flag;
        const char* message;
    };
    static const Flag kFlags[] = {
        {'m', &tav::Options::remove_mensural, "\nOkay, mensural time signatures are removed.\n"},
        {'r', &tav::Options::remove_measure_rests, "\nOkay, measure rests are removed.\n"},
        {'v', &tav::Options::verbose, "\nOkay, verbose mode enabled.\n"},
        {'x', &tav::Options::parse_only, "\nOkay, XML file will not be created.\n"},
    };
    for (const char* p = letters + 1; *p != '\0'; ++p) {
        if (*p == 'f') {
            std::fputs("\n", stdout);  // the file is always the second argument
            continue;
        }
        if (*p == 'h') {
            print_help();
            return 0;
        }
        const Flag* flag = std::find_if(std::begin(kFlags), std::end(kFlags),
                                        [p](const Flag& f) { return f.letter == *p; });
        if (flag == std::end(kFlags)) {
            std::fputs("\nUnknown option(s), try ./tav2005_10.exe -h for help.\n", stdout);
            return 1;
        }
        options.*(flag->flag) = true;
        std::fputs(flag->message, stdout);
    }
    return -1;
}

// Opens the input as a readable file (not a directory) and reads ahead its
// first block; null if it cannot be.
std::FILE* open_input(const char* name)
{
    std::FILE* input = std::fopen(name, "r");
    if (input == nullptr)
        return nullptr;
    struct stat info;
    if (fstat(fileno(input), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(input);
        return nullptr;
    }
    int first = std::getc(input);
    if (first == EOF ? std::ferror(input) != 0 : std::ungetc(first, input) == EOF) {
        std::fclose(input);
        return nullptr;
    }
    return input;
}

// Opens the input: null (with the message given) when it cannot be used.
std::FILE* open_checked_input(int argc, char** argv)
{
    std::FILE* input = argc >= 3 ? open_input(argv[2]) : nullptr;
    if (input == nullptr) {
        std::fputs("\nFile is f00bar.\n", stderr);
        return nullptr;
    }
    // The log file would empty the input while it is being read.
    if (is_named(input, kLogName)) {
        std::fclose(input);
        std::fputs("\nInput file cannot be the log file tav_errors.log.\n", stderr);
        return nullptr;
    }
    return input;
}

// Waits for Enter, unless standard input is the input file itself: the
// wait would then take records away.
void wait_for_enter(bool stdin_is_input)
{
    std::fflush(stdout);
    if (!stdin_is_input)
        std::getchar();
}

// Counts one converted line; prints "Processing... N% done." to `out` each
// time the percentage reaches a new multiple of ten.
void update_progress(Progress& progress, std::FILE* out)
{
    progress.counter += 1.0f;
    progress.previous = progress.value;
    float fraction = progress.counter / kExpectedRecords;
    progress.value = fraction * 100.0f;
    int percent = static_cast<int>(progress.value);
    if (percent % 10 != 0 || percent == static_cast<int>(progress.previous))
        return;
    if (out != nullptr)
        std::fprintf(out, "Processing... %d%c done.\n", percent, '%');
}

}  // namespace

LoopEnd convert_lines(std::FILE* input, const tav::Options& options, const ConsoleStreams& streams,
                      Progress& progress, std::FILE* progress_out, tav::WriteRun* run)
{
    tav::Options record_options = options;
    if (streams.out != nullptr)
        record_options.trace = [out = streams.out](std::string_view text) {
            std::fwrite(text.data(), 1, text.size(), out);
        };
    tav::Converter converter;
    // Only a line feed ends a line: a carriage return ends the record within
    // its line, and a blank line ends the run. The bytes are read as they
    // are, gzip or not.
    tav::LineReading reading;
    reading.ends = tav::LineEnds::LineFeed;
    reading.gunzip = false;
    tav::StreamEnd end =
        tav::convert_stream(input, converter, record_options, [&](tav::Result& result) {
            if (result.status == tav::Status::Blank) {
                if (streams.out != nullptr)
                    std::fputs("\nEOF, quitting\n", streams.out);
                return false;
            }
            if (!options.parse_only)
                tav::write_file(result, {}, run);
            tav::print_messages(result, streams.err, streams.log);
            update_progress(progress, progress_out);
            return true;
        },
        reading);
    switch (end) {
    case tav::StreamEnd::Blank: return LoopEnd::BlankLine;
    case tav::StreamEnd::ReadError: return LoopEnd::ReadError;
    default: return LoopEnd::EndOfInput;
    }
}

int run_batch(int argc, char** argv)
{
    guard_process();
    if (argc < 2) {
        std::fputs("Try ./tav2005_10.exe -h for help\n", stderr);
        return 1;
    }
    tav::Options options;
    int status = read_options(argv[1], options);
    if (status >= 0)
        return status;

    // The input must open and read as a file before anything is shown.
    std::FILE* input = open_checked_input(argc, argv);
    if (input == nullptr)
        return 1;
    const bool stdin_is_input = is_standard_input(input);

    print_banner();
    wait_for_enter(stdin_is_input);
    for (int i = 0; i < 25; ++i)
        std::fputs("\n", stdout);
    Progress progress;

    tav::WriteRun files;
    std::FILE* errlog = tav::open_run_log(kLogName, files);
    if (errlog == nullptr) {
        std::fclose(input);
        std::fputs("\nCannot create log file tav_errors.log.\n", stderr);
        return 1;
    }
    std::fputs("TAV 2005 ERROR LOG\n", errlog);
    std::fputs("------------------\n\n", errlog);
    std::fputs("Starting conversion...\n", stdout);

    LoopEnd end = convert_lines(input, options, ConsoleStreams{stdout, stderr, errlog}, progress,
                                stdout, &files);

    std::fclose(input);
    bool log_ok = std::fclose(errlog) == 0;
    if (end == LoopEnd::ReadError) {
        std::fputs("\nCannot read input file.\n", stderr);
        return 1;
    }
    if (!log_ok) {
        std::fputs("\nCannot write log file tav_errors.log.\n", stderr);
        return 1;
    }
    if (end == LoopEnd::BlankLine)
        return 0;  // a blank line ends the run without the closing message
    std::fputs("\nConversion done, press Enter to exit.\n", stdout);
    wait_for_enter(stdin_is_input);
    return 0;
}
