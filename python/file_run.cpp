// A file of records into a folder of files: see file_run.h.

#include "file_run.h"

#include "tav/marcxml.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <utility>

namespace {

struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

#ifdef _WIN32

// No inode numbers to compare: a name is the input only as the same path.
bool clash_possible(std::FILE*, const std::string&, const std::string&) { return false; }
bool is_input(std::FILE*, const std::string&) { return false; }

#else

bool same_file(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// An output can be the input only when the input is a regular file in the
// output folder itself: a record's file is the entry of its name there, a
// link to the input is replaced rather than written through, and a file
// with several links is made afresh.
bool clash_possible(std::FILE* input, const std::string& input_path, const std::string& folder)
{
    struct stat in, dir, in_dir;
    if (::fstat(fileno(input), &in) != 0 || !S_ISREG(in.st_mode) || in.st_nlink != 1 ||
        ::stat(folder.empty() ? "." : folder.c_str(), &dir) != 0)
        return false;
    std::error_code ec;
    std::filesystem::path real = std::filesystem::canonical(input_path, ec);
    return ec || (::stat(real.parent_path().c_str(), &in_dir) == 0 && same_file(dir, in_dir));
}

bool is_input(std::FILE* input, const std::string& path)
{
    struct stat in, out;
    return ::fstat(fileno(input), &in) == 0 && ::lstat(path.c_str(), &out) == 0 &&
           same_file(in, out);
}

#endif

std::string in_folder(const std::string& folder, const std::string& name)
{
    return folder.empty() || folder.back() == '/' ? folder + name : folder + '/' + name;
}

// The name of the first record whose file would be the input; empty when
// there is none. Reads the input once without converting, then rewinds it.
std::string find_input_clash(std::FILE* input, const std::string& folder,
                             const tav::Options& options)
{
    tav::Options names = options;
    names.parse_only = true;
    names.trace = nullptr;
    tav::Converter converter;
    std::string clash;
    tav::convert_stream(input, converter, names, [&](tav::Result& r) {
        if (!r.file_name.empty() && is_input(input, in_folder(folder, r.file_name)))
            clash = r.file_name;
        return clash.empty();
    });
    std::rewind(input);
    return clash;
}

// A record with messages, kept with all but its document (in its file).
void keep_problem(FileRun& run, long line, const tav::Result& r)
{
    if (r.messages.empty())
        return;
    tav::Result kept;
    kept.status = r.status;
    kept.file_name = r.file_name;
    kept.messages = r.messages;
    kept.identifier = r.identifier;
    kept.number = r.number;
    run.problems.emplace_back(line, std::move(kept));
}

// The incipits of a MARCXML input, each with its record's description; a
// record the reader cannot read is failed, with the reader's error. A
// record whose file would be the input stops the run before that write.
void convert_marcxml(std::FILE* input, std::unique_ptr<tav::InputStream> stream,
                     bool clash_possible, const std::string& folder,
                     const tav::Options& options, FileRun& run)
{
    tav::MarcxmlReader reader(std::move(stream));
    tav::Converter converter;
    tav::WriteRun writes;
    tav::MarcxmlItem item;
    while (reader.next(item)) {
        if (item.kind != tav::MarcxmlItem::Kind::Incipit) {
            // As the batch command reports them: a record not read fails; a
            // field passed over is no record, only its warning.
            const bool error = item.kind == tav::MarcxmlItem::Kind::Error;
            tav::Result unread;
            unread.messages.push_back(
                {error ? tav::MessageKind::Error : tav::MessageKind::Warning, item.text});
            run.failed += error ? 1 : 0;
            keep_problem(run, static_cast<long>(item.line), unread);
            continue;
        }
        converter.convert(item.record, options);
        tav::Result& r = tav::last_result(converter);
        if (clash_possible && !r.file_name.empty() &&
            is_input(input, in_folder(folder, r.file_name))) {
            run.end = FileRun::End::InputClash;
            run.clash = r.file_name;
            return;
        }
        tav::write_file(r, folder, &writes);
        tav::add_reader_warnings(item.warnings, r.messages);
        ++(r.status == tav::Status::Written ? run.written : run.failed);
        keep_problem(run, static_cast<long>(item.line), r);
    }
    if (reader.read_failed())
        run.end = FileRun::End::ReadError;
}

}  // namespace

FileRun convert_file(const std::string& input_path, const std::string& folder,
                     const tav::Options& options)
{
    FileRun run;
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            run.end = FileRun::End::CannotMakeFolder;
            run.error = ec.value();
            return run;
        }
    }
    std::unique_ptr<std::FILE, CloseFile> input(std::fopen(input_path.c_str(), "rb"));
    if (!input) {
        run.end = FileRun::End::CannotOpen;
        run.error = errno;
        return run;
    }
    // MARCXML is recognised by its start where the input can be read again
    // from there; a pipe or FIFO is read as tab-separated records.
    if (std::fseek(input.get(), 0, SEEK_CUR) == 0) {
        auto stream = std::make_unique<tav::InputStream>(input.get());
        if (tav::looks_like_marcxml(stream->peek())) {
            bool clash = clash_possible(input.get(), input_path, folder);
            convert_marcxml(input.get(), std::move(stream), clash, folder, options, run);
            return run;
        }
        std::rewind(input.get());
    }
    if (clash_possible(input.get(), input_path, folder)) {
        run.clash = find_input_clash(input.get(), folder, options);
        if (!run.clash.empty()) {
            run.end = FileRun::End::InputClash;
            return run;
        }
    }
    tav::Converter converter;
    tav::WriteRun writes;  // not started: it carries the cheaper way to open
    long line = 0;
    tav::StreamEnd end = tav::convert_stream(input.get(), converter, options, [&](tav::Result& r) {
        ++line;
        if (r.status == tav::Status::Blank) {
            ++run.blank_lines;
            return true;
        }
        tav::write_file(r, folder, &writes);
        ++(r.status == tav::Status::Written ? run.written : run.failed);
        keep_problem(run, line, r);
        return true;
    });
    if (end == tav::StreamEnd::ReadError)
        run.end = FileRun::End::ReadError;
    return run;
}
