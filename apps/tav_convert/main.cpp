// tav_convert: converts whole catalogue exports, for scripts and pipelines.
// Reads record files (or standard input), writes one MusicXML file per
// record, in parallel, and reports on every record that has messages.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "command_line.h"
#include "file_output.h"
#include "files.h"
#include "process_guard.h"
#include "pipeline.h"
#include "progress.h"
#include "run_report.h"


namespace {

// Exit statuses.
constexpr int kAllConverted = 0;
constexpr int kRecordsFailed = 1;
constexpr int kRunError = 2;

const char* const kProgram = "tav_convert";

int run_error(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, printable(message).c_str());
    return kRunError;
}

// The inputs that are named files, opened one after another.
struct InputFile {
    std::string name;
    std::FILE* file = nullptr;  // null until opened; stdin for "-"
};

// Checks before anything is written that the report and the document
// stream are not one of the input files; the message for the first clash.
// (A report replaces its name's directory entry, so it never writes into
// the file standard input reads.)
std::string clash(const CommandLine& cl)
{
    bool report_file = !cl.report.empty() && cl.report != "-";
    for (const std::string& name : cl.inputs) {
        if (name == "-") {
            if (cl.to_stdout && same_regular_file(stdout, stdin))
                return "standard output is standard input";
            continue;
        }
        std::error_code ec;
        if (report_file && std::filesystem::equivalent(cl.report, name, ec))
            return "the report file is the input file " + name;
        if (cl.to_stdout && same_file(stdout, name))
            return "standard output is the input file " + name;
    }
    return {};
}

int convert(const CommandLine& cl)
{
    auto start = std::chrono::steady_clock::now();

    if (std::string message = clash(cl); !message.empty())
        return run_error(message);
    // The report file, made afresh as the document files are.
    std::FILE* report = nullptr;
    if (cl.report == "-") {
        report = stderr;
    } else if (!cl.report.empty()) {
        tav::WriteRun report_run;
        report = tav::open_run_log(cl.report, report_run);
        if (report == nullptr)
            return run_error("cannot create report file " + cl.report);
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> report_owner(
        report != nullptr && report != stderr ? report : nullptr, &std::fclose);

    std::unique_ptr<FileOutput> files;
    if (!cl.dry_run && !cl.to_stdout) {
        files = std::make_unique<FileOutput>(cl.output_dir, cl.shard, cl.jobs > 1);
        std::string error;
        if (!files->prepare(error))
            return run_error(error);
        for (const std::string& name : cl.inputs)
            if (name != "-")
                files->protect(name);
    }
    std::FILE* documents = nullptr;
    if (cl.to_stdout) {
        set_binary(stdout);
        documents = stdout;
    }

    // Open every input first: their sizes give the progress bar its end.
    std::vector<InputFile> inputs;
    std::uint64_t total_bytes = 0;
    bool sizes_known = true;
    bool io_error = false;
    for (const std::string& name : cl.inputs) {
        InputFile input{name};
        if (name == "-") {
            input.file = stdin;
        } else {
            std::string error;
            input.file = open_input(name, error);
            if (input.file == nullptr) {
                run_error("cannot open " + name + ": " + error);
                io_error = true;
                continue;
            }
        }
        std::uint64_t size = regular_file_size(input.file);
        sizes_known = sizes_known && size > 0;
        total_bytes += size;
        inputs.push_back(input);
    }

    bool on_terminal = !cl.quiet && report != stderr && is_terminal(stderr);
    ProgressLine progress(on_terminal ? stderr : nullptr, sizes_known ? total_bytes : 0);
    RunReport run_report(report, cl.quiet || report != nullptr ? nullptr : stderr, cl.dry_run);
    {
        Pipeline pipeline(cl, files.get(), documents, run_report, progress);
        for (InputFile& input : inputs) {
            bool read = !pipeline.stream_failed() && pipeline.convert(input.file, input.name);
            if (input.file != stdin)
                std::fclose(input.file);
            if (pipeline.stream_failed())
                break;
            if (!read) {
                progress.finish();
                run_error("cannot read " + (input.name == "-" ? "standard input" : input.name));
                io_error = true;
            }
        }
        pipeline.finish();
        if (pipeline.stream_failed())
            io_error = true;
    }
    progress.finish();

    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (documents != nullptr && (std::fflush(documents) != 0 || std::ferror(documents) != 0)) {
        run_error("cannot write standard output");
        io_error = true;
    }
    if (!run_report.finish(seconds) ||
        (report_owner && std::fclose(report_owner.release()) != 0)) {
        run_error("cannot write report file " + cl.report);
        io_error = true;
    }
    if (!cl.quiet && report != stderr)
        std::fprintf(stderr, "%s: %s\n", kProgram,
                     summary_line(run_report.totals(), cl.dry_run, seconds).c_str());
    if (io_error)
        return kRunError;
    return run_report.totals().failed > 0 ? kRecordsFailed : kAllConverted;
}

}  // namespace

int main(int argc, char** argv)
{
    guard_process();
    CommandLine cl = parse_command_line(argc, argv, std::thread::hardware_concurrency());
    switch (cl.action) {
    case CommandLine::Action::Help:
        std::fputs(help_text(), stdout);
        return std::fflush(stdout) == 0 ? kAllConverted : kRunError;
    case CommandLine::Action::Version:
        std::printf("%s %s\n", kProgram, TAV_VERSION);
        return std::fflush(stdout) == 0 ? kAllConverted : kRunError;
    case CommandLine::Action::UsageError:
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram,
                     printable(cl.error).c_str(), kProgram);
        return kRunError;
    case CommandLine::Action::Convert: break;
    }
    cl.options.parse_only = cl.dry_run;
    return convert(cl);
}
