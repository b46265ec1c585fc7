// tav_convert: converts whole catalogue exports, for scripts and pipelines.
// Reads record files (or standard input), writes one MusicXML file per
// record, in parallel, and reports on every record that has messages (or
// on every record).

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <utility>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "tav/shared_options.h"
#include "command_line.h"
#include "file_output.h"
#include "files.h"
#include "interrupts.h"
#include "process_guard.h"
#include "pipeline.h"
#include "progress.h"
#include "run_report.h"


namespace {

// Exit statuses.
constexpr int kAllConverted = static_cast<int>(tav::ExitStatus::AllConverted);
constexpr int kRecordsFailed = static_cast<int>(tav::ExitStatus::RecordsFailed);
constexpr int kRunError = static_cast<int>(tav::ExitStatus::RunError);

const char* const kProgram = "tav_convert";

int run_error(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, tav::shown_text(message).c_str());
    return kRunError;
}

// The inputs that are named files, opened one after another.
struct InputFile {
    std::string name;
    std::FILE* file = nullptr;  // null until opened; stdin for "-"
};

std::string input_name(const std::string& name)
{
    return name == "-" ? "standard input" : name;
}

// The streams the run was asked to write, checked and opened before
// anything is written.
struct Streams {
    OutStream report;
    OutStream documents;
    FileIds inputs;                   // the inputs that are regular files
    std::optional<FileId> report_id;  // the report, when it is a regular file
};

// Checks that neither the report nor standard output is an input, nor the
// report standard output, then opens them; the message for the first fault.
std::string open_streams(const CommandLine& cl, unsigned closed,
                         const std::vector<InputFile>& inputs, Streams& streams)
{
    bool to_stdout = cl.to_stdout || cl.report == "-";
    bool report_file = !cl.report.empty() && cl.report != "-";
    if (to_stdout && (closed & 2u) != 0)
        return "standard output is closed";
    std::optional<FileId> out = regular_file_id(1);
    std::optional<FileId> report;
    if (report_file)
        report = regular_file_id(cl.report, true);
    for (const InputFile& input : inputs) {
        std::optional<FileId> id = regular_file_id(fileno(input.file));
        if (!id)
            continue;
        streams.inputs.push_back(*id);
        if (to_stdout && out == id)
            return "standard output is the input file " + input_name(input.name);
        if (report == id)
            return "the report file " + cl.report + " is the input file " + input_name(input.name);
    }
    if (cl.to_stdout && out && report == out)
        return "the report file " + cl.report + " is standard output";
    if (cl.report == "-") {
        streams.report.open(1, false);
    } else if (report_file) {
        FileIds keep = streams.inputs;
        if (cl.to_stdout && out)
            keep.push_back(*out);
        std::string error;
        int fd = open_user_path(cl.report, keep, error);
        if (fd < 0)
            return "cannot open report file " + cl.report + ": " + error;
        streams.report.open(fd, true);
        streams.report_id = regular_file_id(fd);
    }
    if (cl.to_stdout) {
        set_binary(stdout);
        streams.documents.open(1, false);
    }
    return {};
}

// Every input, opened before any is read (their sizes give the progress
// bar its end); one that cannot be opened is an error of the run and left
// out.
struct Inputs {
    std::vector<InputFile> files;
    std::vector<std::pair<std::string, std::string>> unopened;   // name, reason
    std::uint64_t total_bytes = 0;
    bool sizes_known = true;

    ~Inputs() { close(); }
    void close()
    {
        for (InputFile& input : files)
            if (input.file != nullptr && input.file != stdin)
                std::fclose(input.file);
        files.clear();
    }
};

void open_inputs(const CommandLine& cl, Inputs& inputs)
{
    for (const std::string& name : cl.inputs) {
        InputFile input{name};
        if (name == "-") {
            set_binary(stdin);
            input.file = stdin;
        } else {
            std::string error;
            input.file = open_input(name, error);
            if (input.file == nullptr) {
                inputs.unopened.emplace_back(name, "cannot open " + name + ": " + error);
                run_error(inputs.unopened.back().second);
                continue;
            }
        }
        std::uint64_t size = regular_file_size(input.file);
        inputs.sizes_known = inputs.sizes_known && size > 0;
        inputs.total_bytes += size;
        inputs.files.push_back(input);
    }
}

// The inputs in order through one pipeline: how the run ended (its stop
// reason, if any) and whether an input could not be read. Memory or threads
// that run out end the run as an error, with its report, never as an abort.
RunEnd convert_inputs(const CommandLine& cl, FileOutput* files, Streams& streams,
                      RunReport& report, ProgressLine& progress, Inputs& inputs, bool& io_error,
                      DatabaseOutput* database)
{
    RunEnd end;
    try {
        Pipeline pipeline(cl, files, cl.to_stdout ? &streams.documents : nullptr, report,
                          progress);
        pipeline.write_database(database);
        for (InputFile& input : inputs.files) {
            bool read = !pipeline.stopped() && pipeline.convert(input.file, input.name);
            if (pipeline.stopped())
                break;
            if (!read) {
                std::string reason = "cannot read " + input_name(input.name);
                if (!pipeline.read_failure().empty())
                    reason += ": " + pipeline.read_failure();
                progress.finish();
                run_error(reason);
                report.unreadable(input.name, reason);
                io_error = true;
            }
        }
        pipeline.finish();
        end.stopped = pipeline.stop_reason();
    } catch (const std::bad_alloc&) {
        end.stopped = "out of memory";
    } catch (const std::system_error& e) {
        end.stopped = std::string("cannot start a thread: ") + e.what();
    }
    return end;
}

// The run's end: its streams flushed, the report's summary, the closing
// line, and the exit status.
int finish_run(const CommandLine& cl, Streams& streams, RunReport& report, RunEnd& end,
               bool io_error)
{
    end.signal = interrupt_signal();
    if (!end.stopped.empty()) {
        run_error(end.stopped);
        io_error = true;
    }
    if (!streams.documents.flush() && end.stopped.empty()) {
        run_error("cannot write standard output: " + streams.documents.reason());
        io_error = true;
    }
    if (!report.finish(end) || !streams.report.close()) {
        run_error("cannot write report " + (cl.report == "-" ? "to standard output" : "file " + cl.report) +
                  ": " + streams.report.reason());
        io_error = true;
    }
    if (!cl.quiet)
        std::fprintf(stderr, "%s: %s\n", kProgram,
                     summary_line(report.totals(), cl.dry_run, end).c_str());
    if (end.signal != 0)
        return interrupted_status(end.signal);
    if (io_error)
        return kRunError;
    return report.totals().failed > 0 ? kRecordsFailed : kAllConverted;
}

int convert(const CommandLine& cl, unsigned closed)
{
    auto start = std::chrono::steady_clock::now();

    // The output folder first: the report may lie in it.
    std::unique_ptr<FileOutput> files;
    // With a database, files only where a folder is named.
    bool to_files = cl.database.empty() || !cl.output_dir.empty() || cl.shard;
    if (!cl.dry_run && !cl.to_stdout && to_files) {
        files = std::make_unique<FileOutput>(cl.output_dir, cl.shard, cl.jobs > 1);
        std::string error;
        if (!files->prepare(error))
            return run_error(error);
    }
    Inputs inputs;
    open_inputs(cl, inputs);

    // The report is opened (and a file there emptied) only once the run can
    // start.
    Streams streams;
    if (std::string error = open_streams(cl, closed, inputs.files, streams); !error.empty())
        return run_error(error);
    if (files)
        files->protect(streams.inputs, streams.report_id);

    bool on_terminal = !cl.quiet && is_terminal(stderr);
    ProgressLine progress(on_terminal ? stderr : nullptr,
                          inputs.sizes_known ? inputs.total_bytes : 0);
    RunReport report(streams.report, cl.report_csv ? ReportFormat::Csv : ReportFormat::JsonLines,
                     cl.report_all, cl.quiet || !cl.report.empty() ? nullptr : stderr, progress,
                     cl.dry_run);
    report.include_keys(cl.keys);
    for (const auto& [name, reason] : inputs.unopened)
        report.unreadable(name, reason);
    bool io_error = !inputs.unopened.empty();
    std::unique_ptr<DatabaseOutput> database;
    if (!cl.database.empty()) {
        database = std::make_unique<DatabaseOutput>();
        if (std::string error; !database->open(cl.database, cl.jobs, error))
            return run_error(error);
    }
    RunEnd end = convert_inputs(cl, files.get(), streams, report, progress, inputs, io_error,
                                database.get());
    inputs.close();
    progress.finish();
    if (database) {
        bool keep = end.stopped.empty() && !io_error && interrupt_signal() == 0;
        if (std::string error; !database->finish(keep, error)) {
            run_error(error);
            io_error = true;
        }
    }
    end.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return finish_run(cl, streams, report, end, io_error);
}

}  // namespace

int main(int argc, char** argv)
{
    unsigned closed = guard_process();
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
                     tav::shown_text(cl.error).c_str(), kProgram);
        return kRunError;
    case CommandLine::Action::Convert: break;
    }
    cl.options.parse_only = cl.dry_run;
    catch_interrupts();
    try {
        return convert(cl, closed);
    } catch (const std::bad_alloc&) {
        return run_error("out of memory");
    }
}
